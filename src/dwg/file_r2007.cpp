#include "file_r2007.h"

#include <algorithm>
#include <cstring>

#include "bits.h"
#include "lz77_r2007.h"
#include "reed_solomon.h"
#include "sections.h"

namespace dwg::detail {
namespace r2007 {
namespace {

// File layout [ODS "R2007 DWG file format organization"]:
// | offset | size  | what                                                   |
// |--------|-------|--------------------------------------------------------|
// | 0x00   | 0x80  | plain header as in 2004 (version, 0x0B maintenance,    |
// |        |       | 0x13 code page)                                        |
// | 0x80   | 0x3D8 | 3 interleaved RS(255,239) words (0x2FD bytes) + pad    |
// | 0x480  |       | pages; page addresses are counted from here            |
constexpr std::size_t rs_header_offset = 0x80;
constexpr std::size_t rs_header_words = 3;
constexpr std::size_t pages_start = 0x480;

// The 717 data bytes of the RS header:
// | offset | type | what                                                     |
// |--------|------|----------------------------------------------------------|
// | 0      | RLL  | sequence CRC                                             |
// | 8      | RLL  | sequence key                                             |
// | 16     | RLL  | compressed CRC                                           |
// | 24     | RL   | compressed length L (signed; <= 0: record stored plain) |
// | 28     | RL   | second length                                            |
// | 32     | L    | the header record, 2007-LZ77 compressed                  |
constexpr std::size_t record_size = 0x110;  // 34 RLL fields
constexpr std::size_t record_data_offset = 32;

// Indices of the RLL fields used from the header record.
enum RecordField : std::size_t {
    f_pages_map_correction = 3,
    f_pages_map_offset = 7,
    f_pages_map_size_comp = 10,
    f_pages_map_size_uncomp = 11,
    f_sections_map_size_comp = 22,
    f_sections_map_id = 24,
    f_sections_map_size_uncomp = 25,
    f_sections_map_correction = 27,
};

constexpr auto system_code = rs::Code::System;  // 239 data bytes per word
constexpr auto data_code = rs::Code::Data;      // 251 data bytes per word

// Nothing a drawing needs comes near these; they keep hostile sizes from
// turning into allocations. The corpus's largest ratios: 3.5 for an objects
// section to its file, 431 for one compressed page.
constexpr std::int64_t max_system_page = std::int64_t{64} << 20;
constexpr std::int64_t max_section = std::int64_t{1} << 30;
constexpr std::int64_t max_correction = 0x10000;
constexpr std::uint64_t max_expansion = 256;

// Section encodings seen: 1 plain pages (preview, summary and other
// metadata), 4 RS-coded pages (everything a drawing's objects need).
constexpr std::int64_t encoding_rs = 4;

std::int64_t sle64(std::span<const std::uint8_t> d, std::size_t at)
{
    return static_cast<std::int64_t>(le64_at(d, at));
}

// Reads a page coded in `words` interleaved RS words at `address`,
// appending the data bytes to `out`.
Error read_rs_page(std::span<const std::uint8_t> file, std::uint64_t address, std::uint64_t words, rs::Code code,
                   std::vector<std::uint8_t>& out, std::size_t& corrected)
{
    if (address > file.size() || words > (file.size() - address) / rs::word_size)
        return Error::Truncated;
    if (!rs::decode_interleaved(file.subspan(static_cast<std::size_t>(address)), static_cast<std::size_t>(words), code,
                                out, &corrected))
        return Error::Corrupt;
    return Error::Ok;
}

// Turns a page's stored bytes into `size_uncomp` bytes at `dst`.
Error expand(std::span<const std::uint8_t> stored, std::int64_t size_comp, std::span<std::uint8_t> dst)
{
    if (size_comp < 0 || static_cast<std::uint64_t>(size_comp) > stored.size())
        return Error::Corrupt;
    const auto comp = stored.first(static_cast<std::size_t>(size_comp));
    if (comp.size() >= dst.size()) {
        std::memcpy(dst.data(), comp.data(), dst.size());
        return Error::Ok;
    }
    std::size_t produced = 0;
    const Error e = lz77_r2007::decompress(comp, dst, produced);
    if (e != Error::Ok)
        return e;
    return produced == dst.size() ? Error::Ok : Error::Corrupt;
}

// System pages (pages map, sections map): the compressed bytes, padded to
// a multiple of 8, are repeated `correction` times and RS(255,239) coded.
Error read_system_page(std::span<const std::uint8_t> file, std::uint64_t address, std::int64_t size_comp,
                       std::int64_t size_uncomp, std::int64_t correction, std::vector<std::uint8_t>& out,
                       ReadStats* stats)
{
    if (size_comp <= 0 || size_uncomp <= 0 || correction <= 0)
        return Error::Corrupt;
    if (size_comp > max_system_page || size_uncomp > max_system_page || correction > max_correction ||
        static_cast<std::uint64_t>(size_uncomp) > max_expansion * static_cast<std::uint64_t>(size_comp))
        return Error::TooLarge;
    const std::uint64_t encoded =
        ((static_cast<std::uint64_t>(size_comp) + 7) & ~std::uint64_t{7}) * static_cast<std::uint64_t>(correction);
    const std::uint64_t words = (encoded + 238) / 239;
    std::vector<std::uint8_t> stored;
    std::size_t corrected = 0;
    if (Error e = read_rs_page(file, address, words, system_code, stored, corrected); e != Error::Ok)
        return e;
    if (stats)
        stats->corrected_system += corrected;
    out.assign(static_cast<std::size_t>(size_uncomp), 0);
    return expand(stored, size_comp, out);
}

}  // namespace

Error read_file_header(std::span<const std::uint8_t> file, FileHeader& out, ReadStats* stats)
{
    if (file.size() < pages_start)
        return Error::Truncated;
    std::vector<std::uint8_t> data;
    std::size_t corrected = 0;
    if (Error e = read_rs_page(file, rs_header_offset, rs_header_words, system_code, data, corrected); e != Error::Ok)
        return e;
    if (stats)
        stats->corrected_header += corrected;

    const auto comp_len = static_cast<std::int32_t>(le32_at(data, 24));
    std::uint8_t record[record_size];
    const auto payload = std::span<const std::uint8_t>(data).subspan(record_data_offset);
    if (comp_len <= 0) {
        std::memcpy(record, payload.data(), record_size);
    } else {
        if (static_cast<std::size_t>(comp_len) > payload.size())
            return Error::Corrupt;
        if (Error e = expand(payload, comp_len, record); e != Error::Ok)
            return e;
    }
    auto field = [&](RecordField f) { return sle64(record, 8 * f); };
    out.pages_map_correction = field(f_pages_map_correction);
    out.pages_map_offset = field(f_pages_map_offset);
    out.pages_map_size_comp = field(f_pages_map_size_comp);
    out.pages_map_size_uncomp = field(f_pages_map_size_uncomp);
    out.sections_map_size_comp = field(f_sections_map_size_comp);
    out.sections_map_id = field(f_sections_map_id);
    out.sections_map_size_uncomp = field(f_sections_map_size_uncomp);
    out.sections_map_correction = field(f_sections_map_correction);
    return Error::Ok;
}

// Decoded pages map: (RLL size, RLL id) pairs; pages lie one after the
// other from 0x480; a negative id marks free space.
Error read_pages_map(std::span<const std::uint8_t> file, const FileHeader& header, std::vector<Page>& out,
                     ReadStats* stats)
{
    if (header.pages_map_offset < 0)
        return Error::Corrupt;
    if (static_cast<std::uint64_t>(header.pages_map_offset) > file.size() - pages_start)
        return Error::Truncated;
    std::vector<std::uint8_t> map;
    if (Error e = read_system_page(file, pages_start + static_cast<std::uint64_t>(header.pages_map_offset),
                                   header.pages_map_size_comp, header.pages_map_size_uncomp,
                                   header.pages_map_correction, map, stats);
        e != Error::Ok)
        return e;
    if (map.size() % 16 != 0)
        return Error::Corrupt;
    out.clear();
    std::uint64_t address = pages_start;
    for (std::size_t i = 0; i < map.size(); i += 16) {
        const std::int64_t size = sle64(map, i);
        const std::int64_t id = sle64(map, i + 8);
        if (size <= 0)
            return Error::Corrupt;
        if (static_cast<std::uint64_t>(size) > file.size())
            return Error::Truncated;
        if (id > 0)
            out.push_back({id, address, static_cast<std::uint64_t>(size)});
        address += static_cast<std::uint64_t>(size);
    }
    std::sort(out.begin(), out.end(), [](const Page& a, const Page& b) { return a.id < b.id; });
    const auto dup =
        std::adjacent_find(out.begin(), out.end(), [](const Page& a, const Page& b) { return a.id == b.id; });
    return dup == out.end() ? Error::Ok : Error::Corrupt;
}

namespace {

const Page* find_page(const std::vector<Page>& pages, std::int64_t id)
{
    auto it = std::lower_bound(pages.begin(), pages.end(), id, [](const Page& p, std::int64_t v) { return p.id < v; });
    return it != pages.end() && it->id == id ? &*it : nullptr;
}

}  // namespace

// Decoded sections map, per section:
// | offset | type  | what                                               |
// |--------|-------|----------------------------------------------------|
// | 0      | RLL   | data size (bytes of the assembled section)         |
// | 8      | RLL   | max size (of one page, uncompressed)               |
// | 16     | RLL   | encrypted                                          |
// | 24     | RLL   | hash code                                          |
// | 32     | RLL   | name length in bytes (with the terminating 0)      |
// | 40     | RLL   | unknown                                            |
// | 48     | RLL   | encoding                                           |
// | 56     | RLL   | page count                                         |
// | 64     | name  | UTF-16LE                                           |
// | after  | 56×n  | per page: RLL offset in section, size on disk, page |
// |        |       | id, uncompressed size, compressed size, checksum,  |
// |        |       | CRC                                                |
Error read_sections_map(std::span<const std::uint8_t> file, const FileHeader& header, const std::vector<Page>& pages,
                        std::vector<Section>& out, ReadStats* stats)
{
    const Page* page = find_page(pages, header.sections_map_id);
    if (!page)
        return Error::Corrupt;
    std::vector<std::uint8_t> map;
    if (Error e = read_system_page(file, page->address, header.sections_map_size_comp, header.sections_map_size_uncomp,
                                   header.sections_map_correction, map, stats);
        e != Error::Ok)
        return e;
    out.clear();
    std::size_t pos = 0;
    while (map.size() - pos >= 64) {
        Section s;
        s.data_size = sle64(map, pos);
        s.max_size = sle64(map, pos + 8);
        s.encrypted = sle64(map, pos + 16);
        const std::int64_t name_length = sle64(map, pos + 32);
        s.encoding = sle64(map, pos + 48);
        const std::int64_t page_count = sle64(map, pos + 56);
        pos += 64;
        if (pos == map.size())
            break;  // a trailing record without name or pages
        const std::size_t left = map.size() - pos;
        if (name_length < 0 || static_cast<std::uint64_t>(name_length) > left || name_length % 2 != 0)
            return Error::Corrupt;
        for (std::int64_t i = 0; i + 1 < name_length; i += 2) {
            const char16_t c = le16_at(map, pos + static_cast<std::size_t>(i));
            if (c == 0)
                break;
            s.name.push_back(c);
        }
        pos += static_cast<std::size_t>(name_length);
        if (page_count < 0 || static_cast<std::uint64_t>(page_count) > (map.size() - pos) / 56)
            return Error::Corrupt;
        s.pages.reserve(static_cast<std::size_t>(page_count));
        for (std::int64_t i = 0; i < page_count; ++i) {
            s.pages.push_back({sle64(map, pos), sle64(map, pos + 16), sle64(map, pos + 24), sle64(map, pos + 32)});
            pos += 56;
        }
        out.push_back(std::move(s));
    }
    return Error::Ok;
}

namespace {

// A deferred page: its RS words, found intact when the section was read,
// and its compressed size.
Error expand_page(std::span<const std::uint8_t> words, std::span<std::uint8_t> target, std::size_t size_comp)
{
    std::vector<std::uint8_t> data;
    rs::deinterleave(words, words.size() / rs::word_size, data_code, data);
    return expand(data, static_cast<std::int64_t>(size_comp), target);
}

}  // namespace

// Data pages: the compressed bytes, padded to a multiple of 8, coded in
// RS(255,251) words when the section's encoding says so, else stored as
// they are; no page header. With `later`, RS pages whose words are intact
// are left as they are, to be decoded and expanded on first use, when the
// pages lie in order, apart; the others are read now.
namespace {

template <class Bytes>
Error assemble(std::span<const std::uint8_t> file, const std::vector<Page>& pages, const Section& section, Bytes& out,
               ReadStats* stats, DeferredPages* later)
{
    if (section.data_size < 0)
        return Error::Corrupt;
    // Pages may be longer than the section's "max size", so the only bounds
    // are the file's: no drawing section needs a ratio near this one.
    if (section.data_size > max_section || static_cast<std::uint64_t>(section.data_size) > max_expansion * file.size())
        return Error::TooLarge;
    if (section.pages.size() > file.size() / rs::word_size)
        return Error::Corrupt;
    // The pages tile the section, each from a page of its own: that keeps
    // the work proportional to the file, however the maps are damaged.
    std::vector<std::int64_t> ids;
    std::int64_t total = 0;
    for (const SectionPage& sp : section.pages) {
        if (sp.offset < 0 || sp.size_uncomp < 0 || sp.size_comp < 0 || sp.offset > section.data_size ||
            sp.size_uncomp > section.data_size - sp.offset || sp.size_uncomp > section.data_size - total)
            return Error::Corrupt;
        total += sp.size_uncomp;
        ids.push_back(sp.id);
    }
    std::sort(ids.begin(), ids.end());
    if (std::adjacent_find(ids.begin(), ids.end()) != ids.end())
        return Error::Corrupt;
    for (std::size_t k = 1; later && k < section.pages.size(); ++k)
        if (section.pages[k].offset < section.pages[k - 1].offset + section.pages[k - 1].size_uncomp)
            later = nullptr;

    // Each page fills its share whole: zero only the bytes none covers.
    out.resize(static_cast<std::size_t>(section.data_size));
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    spans.reserve(section.pages.size());
    for (const SectionPage& sp : section.pages)
        spans.emplace_back(static_cast<std::size_t>(sp.offset), static_cast<std::size_t>(sp.size_uncomp));
    std::sort(spans.begin(), spans.end());
    std::size_t covered = 0;
    for (const auto& [at, size] : spans) {
        if (at > covered)
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(covered), out.begin() + static_cast<std::ptrdiff_t>(at),
                      0);
        covered = std::max(covered, at + size);
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(covered), out.end(), 0);
    std::vector<std::uint8_t> stored;
    for (const SectionPage& sp : section.pages) {
        const Page* page = find_page(pages, sp.id);
        if (!page)
            return Error::Corrupt;
        if (page->address > file.size() || page->size > file.size() - page->address)
            return Error::Truncated;
        if (sp.size_comp > static_cast<std::int64_t>(page->size))
            return Error::Corrupt;
        auto dst = std::span<std::uint8_t>(out).subspan(static_cast<std::size_t>(sp.offset),
                                                        static_cast<std::size_t>(sp.size_uncomp));
        stored.clear();
        if (section.encoding == encoding_rs) {
            const std::uint64_t encoded = (static_cast<std::uint64_t>(sp.size_comp) + 7) & ~std::uint64_t{7};
            const std::uint64_t words = (encoded + 250) / 251;
            if (words * rs::word_size > page->size)
                return Error::Corrupt;
            const auto coded =
                file.subspan(static_cast<std::size_t>(page->address), static_cast<std::size_t>(words * rs::word_size));
            if (later && rs::intact_interleaved(coded, static_cast<std::size_t>(words), data_code)) {
                later->pages.push_back(
                    {static_cast<std::size_t>(sp.offset), dst.size(), static_cast<std::size_t>(sp.size_comp), coded});
                continue;
            }
            std::size_t corrected = 0;
            if (Error e = read_rs_page(file, page->address, words, data_code, stored, corrected); e != Error::Ok)
                return e;
            if (stats)
                stats->corrected_data += corrected;
        } else {
            stored.assign(file.begin() + static_cast<std::ptrdiff_t>(page->address),
                          file.begin() + static_cast<std::ptrdiff_t>(page->address + page->size));
        }
        if (Error e = expand(stored, sp.size_comp, dst); e != Error::Ok)
            return e;
    }
    if (later && !later->pages.empty()) {
        later->section = out.data();
        later->expand = expand_page;
    }
    return Error::Ok;
}

}  // namespace

Error read_section(std::span<const std::uint8_t> file, const std::vector<Page>& pages, const Section& section,
                   std::vector<std::uint8_t>& out, ReadStats* stats, DeferredPages* later)
{
    return assemble(file, pages, section, out, stats, later);
}

}  // namespace r2007

Error read_sections_r2007(std::span<const std::uint8_t> file, Sections& out)
{
    if (file.size() < 6)
        return Error::Truncated;
    if (std::memcmp(file.data(), "AC1021", 6) != 0)
        return Error::NotDwg;
    r2007::FileHeader header;
    if (Error e = r2007::read_file_header(file, header); e != Error::Ok)
        return e;
    std::vector<r2007::Page> pages;
    if (Error e = r2007::read_pages_map(file, header, pages); e != Error::Ok)
        return e;
    std::vector<r2007::Section> sections;
    if (Error e = r2007::read_sections_map(file, header, pages, sections); e != Error::Ok)
        return e;

    auto load = [&](std::u16string_view name, auto& dst, DeferredPages* later) {
        for (const r2007::Section& s : sections)
            if (s.name == name) {
                if (s.encrypted != 0)
                    return Error::Encrypted;
                return r2007::assemble(file, pages, s, dst, nullptr, later);
            }
        return Error::Corrupt;
    };
    out.deferred = {};
    out.version = Version::R2007;
    out.maintenance = file[0x0B];
    if (Error e = load(u"AcDb:Header", out.header, nullptr); e != Error::Ok)
        return e;
    if (Error e = load(u"AcDb:Classes", out.classes, nullptr); e != Error::Ok)
        return e;
    if (Error e = load(u"AcDb:Handles", out.handles, nullptr); e != Error::Ok)
        return e;
    if (Error e = load(u"AcDb:AcDbObjects", out.objects_storage, out.defer_objects ? &out.deferred : nullptr);
        e != Error::Ok)
        return e;
    out.objects = out.objects_storage;
    return Error::Ok;
}

}  // namespace dwg::detail
