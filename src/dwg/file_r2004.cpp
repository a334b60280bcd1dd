#include "file_r2004.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bits.h"
#include "lz77_r2004.h"
#include "sections.h"
#include "version.h"

// Follows the published 2004 file format description ("R2004 DWG file
// format organization"); AC1024, AC1027 and AC1032 use the same container.
//
// Plain file header, offset / size / meaning:
//   0x00  6  version string        0x0B  1  maintenance release
//   0x13  2  code page              0x80  0x6C  encrypted file header
//
// Encrypted file header (after unmasking), offset / size / meaning:
//   0x00 12  "AcFssFcAJMB\0"        0x34  8  address of the copy of this header,
//                                           the file's last 0x6C bytes
//   0x50  4  page-map page id
//   0x54  8  page-map address - 0x100
//   0x5C  4  section-map page id    0x68  4  CRC-32 of the 0x6C bytes, field as 0
//
// System page (page map, section map): plain 20-byte header
//   +0 type · +4 decompressed size · +8 compressed size · +12 compression
//   (2 = LZ77) · +16 checksum; then the compressed bytes.
//
// Data page: 32-byte header, each RL masked with 0x4164536B ^ page address
//   +0 type · +4 section id · +8 compressed size · +12 decompressed size ·
//   +16 start offset in the section · +20 unused · +24 header checksum ·
//   +28 data checksum; then the compressed bytes.

namespace dwg::detail {

namespace {

constexpr std::uint32_t kPageMapType = 0x41630E3B;
constexpr std::uint32_t kSectionMapType = 0x4163003B;
constexpr std::uint32_t kDataPageType = 0x4163043B;
constexpr std::uint32_t kDataPageMask = 0x4164536B;
constexpr std::size_t kFileHeaderAt = 0x80;
constexpr std::size_t kFileHeaderSize = 0x6C;
constexpr std::uint64_t kFirstPageAt = 0x100;
constexpr std::size_t kSystemPageHeader = 20;
constexpr std::size_t kDataPageHeader = 32;
// Largest page of a section we read; the writers use 0x7400.
constexpr std::uint32_t kMaxPageSize = 0x100000;
// Most bytes one compressed byte can stand for: a run length grows by 0xFF
// per zero byte.
constexpr std::uint64_t kMaxExpansion = 256;

struct PageLocation {
    std::uint64_t address = 0;
    std::uint64_t size = 0;
};

using PageMap = std::unordered_map<std::uint32_t, PageLocation>;

struct SectionPage {
    std::uint32_t id = 0;
    std::uint32_t data_size = 0;
    std::uint64_t start = 0;
};

struct SectionInfo {
    std::uint64_t size = 0;
    std::uint32_t max_page_size = 0;
    std::uint32_t compressed = 0;
    std::uint32_t id = 0;
    std::uint32_t encrypted = 0;
    std::vector<SectionPage> pages;
    bool found = false;
};

// A system page's decoded size is bounded by the file: the maps describe
// pages of the file, a handful of bytes per page.
std::uint64_t system_page_limit(std::span<const std::uint8_t> file) { return file.size() + 0x10000; }

Error read_system_page(std::span<const std::uint8_t> file, std::uint64_t address, std::uint32_t type,
                       std::vector<std::uint8_t>& out)
{
    if (address > file.size() || file.size() - address < kSystemPageHeader)
        return Error::Truncated;
    const auto h = file.subspan(address, kSystemPageHeader);
    ByteReader r(h);
    if (r.RL() != type)
        return Error::Corrupt;
    const std::uint32_t decompressed = r.RL();
    const std::uint32_t compressed = r.RL();
    const std::uint32_t method = r.RL();
    const std::uint32_t checksum = r.RL();
    if (compressed > file.size() - address - kSystemPageHeader)
        return Error::Truncated;
    if (decompressed > system_page_limit(file))
        return Error::TooLarge;
    const auto data = file.subspan(address + kSystemPageHeader, compressed);

    std::array<std::uint8_t, kSystemPageHeader> header{};
    std::copy_n(h.begin(), 16, header.begin());  // checksum field counts as 0
    if (page_checksum_r2004(page_checksum_r2004(0, header), data) != checksum)
        return Error::Corrupt;

    out.assign(decompressed, 0);
    if (method == 2) {
        std::size_t produced = 0;
        if (Error e = decompress_r2004(data, out, produced); e != Error::Ok)
            return e;
        if (produced != decompressed)
            return Error::Corrupt;
    } else if (method == 1) {
        if (compressed != decompressed)
            return Error::Corrupt;
        std::copy(data.begin(), data.end(), out.begin());
    } else {
        return Error::Corrupt;
    }
    return Error::Ok;
}

// Page map: (RL id, RL size) pairs; a negative id marks free space and is
// followed by 4 more RLs. Pages lie back to back from 0x100. The last page
// may run past the end of the file; pages are checked against the file
// where they are read.
Error parse_page_map(std::span<const std::uint8_t> map, PageMap& pages)
{
    ByteReader c(map);
    std::uint64_t address = kFirstPageAt;
    while (c.left() >= 8) {
        const std::uint32_t id = c.RL();
        const std::uint32_t size = c.RL();
        if (static_cast<std::int32_t>(id) < 0) {
            if (c.bytes(16).empty())
                return Error::Corrupt;
        } else if (!pages.emplace(id, PageLocation{address, size}).second) {
            return Error::Corrupt;
        }
        address += size;
    }
    return Error::Ok;
}

// Section map: RL count, RL 2, RL 0x7400, RL 0, RL count; then per section:
// RLL size · RL page count · RL max page size · RL unknown · RL compressed
// (2 = yes) · RL section id · RL encrypted · 64-byte name; then per page
// RL page id · RL compressed size · RLL start offset.
Error parse_section_map(std::span<const std::uint8_t> map, std::array<SectionInfo, 4>& wanted)
{
    static constexpr std::array<std::string_view, 4> kNames{"AcDb:Header", "AcDb:Classes", "AcDb:Handles",
                                                            "AcDb:AcDbObjects"};
    constexpr std::size_t kDescriptionSize = 8 + 6 * 4 + 64;
    constexpr std::size_t kPageEntrySize = 16;
    ByteReader c(map);
    const std::uint32_t count = c.RL();
    c.bytes(16);
    if (!c.ok())
        return Error::Corrupt;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (c.left() < kDescriptionSize)
            return Error::Corrupt;
        SectionInfo info;
        info.size = c.RLL();
        const std::uint32_t page_count = c.RL();
        info.max_page_size = c.RL();
        c.RL();  // unknown
        info.compressed = c.RL();
        info.id = c.RL();
        info.encrypted = c.RL();
        const std::span<const std::uint8_t> name = c.bytes(64);
        if (page_count > c.left() / kPageEntrySize)
            return Error::Corrupt;
        info.pages.resize(page_count);
        for (auto& p : info.pages) {
            p.id = c.RL();
            p.data_size = c.RL();
            p.start = c.RLL();
        }
        const auto nul = std::find(name.begin(), name.end(), std::uint8_t{0});
        const std::string_view text(reinterpret_cast<const char*>(name.data()),
                                    static_cast<std::size_t>(nul - name.begin()));
        for (std::size_t k = 0; k < kNames.size(); ++k) {
            if (text == kNames[k] && !wanted[k].found) {
                wanted[k] = std::move(info);
                wanted[k].found = true;
                break;
            }
        }
    }
    for (const auto& w : wanted) {
        if (!w.found)
            return Error::Corrupt;
    }
    return Error::Ok;
}

// A data page's compressed bytes into its place; pages decode to whole
// pages of max_page_size bytes (`target`), also the last one (padding),
// and must fill their share of the section (`need`).
Error expand_page(std::span<const std::uint8_t> stored, std::span<std::uint8_t> target, std::size_t need)
{
    std::size_t produced = 0;
    const Error e = decompress_r2004(stored, target, produced);
    std::fill(target.begin() + static_cast<std::ptrdiff_t>(std::min(produced, target.size())), target.end(), 0);
    if (e != Error::Ok)
        return e;
    return produced < need ? Error::Corrupt : Error::Ok;
}

// With `later`, compressed pages are checked now and expanded on first use,
// provided each keeps to its own max_page_size bytes (else all are expanded
// now, so that overlapping pages land as they always did).
template <class Bytes>
Error read_section(std::span<const std::uint8_t> file, const PageMap& pages, const SectionInfo& info, Bytes& out,
                   DeferredPages* later = nullptr)
{
    if (info.encrypted == 1)
        return Error::Encrypted;
    if (info.compressed != 1 && info.compressed != 2)
        return Error::Corrupt;
    if (info.max_page_size == 0 || info.max_page_size > kMaxPageSize)
        return Error::Corrupt;
    const bool compressed = info.compressed == 2;

    // Before allocating: every page must lie in the file, and the section
    // may not claim more bytes than its pages can hold.
    std::uint64_t capacity = 0;
    for (const auto& p : info.pages) {
        const auto it = pages.find(p.id);
        if (it == pages.end())
            return Error::Corrupt;
        const PageLocation& where = it->second;
        if (where.size < kDataPageHeader || p.data_size > where.size - kDataPageHeader)
            return Error::Corrupt;
        if (where.address + kDataPageHeader + p.data_size > file.size())
            return Error::Truncated;
        const std::uint64_t most = compressed ? kMaxExpansion * (std::uint64_t{p.data_size} + 8) : p.data_size;
        capacity += std::min<std::uint64_t>(info.max_page_size, most);
    }
    if (info.size > capacity)
        return Error::Corrupt;
    for (std::size_t k = 1; later && k < info.pages.size(); ++k)
        if (info.pages[k].start < info.pages[k - 1].start ||
            info.pages[k].start - info.pages[k - 1].start < info.max_page_size)
            later = nullptr;
    if (!compressed)
        later = nullptr;

    if (later) {
        // The pages lie apart in order and each fills its room: zero only
        // the bytes between them.
        out.resize(static_cast<std::size_t>(info.size) + info.max_page_size);
        std::size_t covered = 0;
        for (const auto& p : info.pages) {
            const std::size_t at = static_cast<std::size_t>(std::min<std::uint64_t>(p.start, out.size()));
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(covered), out.begin() + static_cast<std::ptrdiff_t>(at),
                      0);
            covered = std::min(out.size(), at + info.max_page_size);
        }
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(covered), out.end(), 0);
    } else {
        out.assign(static_cast<std::size_t>(info.size) + info.max_page_size, 0);
    }
    for (const auto& p : info.pages) {
        const PageLocation& where = pages.find(p.id)->second;
        ByteReader raw(file.subspan(where.address, kDataPageHeader));
        const std::uint32_t mask = kDataPageMask ^ static_cast<std::uint32_t>(where.address);
        std::array<std::uint32_t, 8> f{};
        for (std::size_t k = 0; k < f.size(); ++k) f[k] = raw.RL() ^ mask;
        if (f[0] != kDataPageType || f[1] != info.id || f[2] != p.data_size ||
            f[4] != static_cast<std::uint32_t>(p.start)) {
            return Error::Corrupt;
        }
        const auto data = file.subspan(where.address + kDataPageHeader, p.data_size);
        const std::uint32_t data_sum = page_checksum_r2004(0, data);
        std::array<std::uint8_t, kDataPageHeader> plain{};
        for (std::size_t k = 0; k < f.size(); ++k) {
            const std::uint32_t v = k == 6 ? 0 : f[k];
            for (std::size_t b = 0; b < 4; ++b) plain[4 * k + b] = static_cast<std::uint8_t>(v >> (8 * b));
        }
        if (data_sum != f[7] || page_checksum_r2004(data_sum, plain) != f[6])
            return Error::Corrupt;

        // The slack behind the section takes the last page's padding.
        if (p.start > info.size)
            return Error::Corrupt;
        const std::size_t share =
            static_cast<std::size_t>(std::min<std::uint64_t>(info.max_page_size, info.size - p.start));
        const auto target = std::span<std::uint8_t>(out).subspan(static_cast<std::size_t>(p.start), info.max_page_size);
        if (later) {
            later->pages.push_back({static_cast<std::size_t>(p.start), info.max_page_size, share, data});
        } else if (compressed) {
            if (Error e = expand_page(data, target, share); e != Error::Ok)
                return e;
        } else {
            if (data.size() < share)
                return Error::Corrupt;
            std::copy_n(data.begin(), share, target.begin());
        }
    }
    if (later && !later->pages.empty()) {
        later->section = out.data();
        later->expand = expand_page;
    } else {
        out.resize(static_cast<std::size_t>(info.size));
    }
    return Error::Ok;
}

}  // namespace

std::uint32_t crc32_r2004(std::uint32_t seed, std::span<const std::uint8_t> data)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = ~seed;
    for (std::uint8_t b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t page_checksum_r2004(std::uint32_t seed, std::span<const std::uint8_t> data)
{
    std::uint32_t s1 = seed & 0xFFFF;
    std::uint32_t s2 = seed >> 16;
    while (!data.empty()) {
        const std::size_t chunk = std::min<std::size_t>(data.size(), 0x15B0);
        std::size_t i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Eight bytes d0..d7 at a time: s2 gains 8 * s1 + sum (8 - k) dk,
            // s1 gains sum dk. The sums come from the bytes spread into four
            // 16-bit lanes each, multiplied so that the top lane collects
            // every lane times its weight (no lane carries into the next).
            constexpr std::uint64_t low = 0x00FF00FF00FF00FFull;
            for (; i + 8 <= chunk; i += 8) {
                std::uint64_t v = 0;
                std::memcpy(&v, data.data() + i, 8);
                const std::uint64_t even = v & low, odd = (v >> 8) & low;
                const auto sum = static_cast<std::uint32_t>(((even + odd) * 0x0001000100010001ull) >> 48);
                const auto weighted = static_cast<std::uint32_t>((even * 0x0008000600040002ull) >> 48) +
                                      static_cast<std::uint32_t>((odd * 0x0007000500030001ull) >> 48);
                s2 += 8 * s1 + weighted;
                s1 += sum;
            }
        }
        for (; i < chunk; ++i) {
            s1 += data[i];
            s2 += s1;
        }
        s1 %= 0xFFF1;
        s2 %= 0xFFF1;
        data = data.subspan(chunk);
    }
    return (s2 << 16) | s1;
}

void unmask_file_header_r2004(std::span<std::uint8_t> data)
{
    std::uint32_t state = 1;
    for (auto& b : data) {
        state = state * 0x343FD + 0x269EC3;
        b ^= static_cast<std::uint8_t>(state >> 16);
    }
}

Error read_sections_r2004(std::span<const std::uint8_t> file, Sections& out)
{
    if (file.size() < 6)
        return Error::NotDwg;
    const std::optional<Version> release = dwg_version(file);
    if (!release || *release < Version::R2004 || *release == Version::R2007)
        return Error::UnsupportedVersion;
    const Version version = *release;
    if (file.size() < kFirstPageAt)
        return Error::Truncated;
    out.version = version;
    out.maintenance = file[0x0B];

    std::array<std::uint8_t, kFileHeaderSize> header{};
    std::copy_n(file.begin() + kFileHeaderAt, kFileHeaderSize, header.begin());
    unmask_file_header_r2004(header);
    if (std::memcmp(header.data(), "AcFssFcAJMB", 12) != 0)
        return Error::Corrupt;
    const std::uint32_t stored_crc = le32_at(header, 0x68);
    std::fill_n(header.begin() + 0x68, 4, std::uint8_t{0});
    if (crc32_r2004(0, header) != stored_crc)
        return Error::Corrupt;
    // The header's copy ends the file, so a file cut short is known before
    // any page is read, even where the pages left would still do.
    const std::uint64_t copy_at = le64_at(header, 0x34);
    if (copy_at > file.size() || file.size() - copy_at < kFileHeaderSize)
        return Error::Truncated;
    const std::uint64_t page_map_at = le64_at(header, 0x54);
    const std::uint32_t section_map_id = le32_at(header, 0x5C);
    if (page_map_at > file.size())
        return Error::Truncated;

    std::vector<std::uint8_t> buffer;
    if (Error e = read_system_page(file, page_map_at + kFirstPageAt, kPageMapType, buffer); e != Error::Ok) {
        return e;
    }
    PageMap pages;
    if (Error e = parse_page_map(buffer, pages); e != Error::Ok)
        return e;

    const auto map_page = pages.find(section_map_id);
    if (map_page == pages.end())
        return Error::Corrupt;
    if (Error e = read_system_page(file, map_page->second.address, kSectionMapType, buffer); e != Error::Ok) {
        return e;
    }
    std::array<SectionInfo, 4> sections;
    if (Error e = parse_section_map(buffer, sections); e != Error::Ok)
        return e;

    if (Error e = read_section(file, pages, sections[0], out.header); e != Error::Ok)
        return e;
    if (Error e = read_section(file, pages, sections[1], out.classes); e != Error::Ok)
        return e;
    if (Error e = read_section(file, pages, sections[2], out.handles); e != Error::Ok)
        return e;
    out.deferred = {};
    if (Error e =
            read_section(file, pages, sections[3], out.objects_storage, out.defer_objects ? &out.deferred : nullptr);
        e != Error::Ok)
        return e;
    out.objects = std::span<const std::uint8_t>(out.objects_storage).first(static_cast<std::size_t>(sections[3].size));
    return Error::Ok;
}

}  // namespace dwg::detail
