#pragma once
// A small writer of R2000 drawings for deliberately shaped and deliberately
// broken fixtures: a block control object (handle 1 unless chosen),
// *Model_Space (0x1F) and *Paper_Space (0x20) records, and entities (plain, INSERT, MINSERT,
// ATTRIB, SEQEND) with chosen links. The header variables section is left
// empty, so the reader finds the spaces through the block control object.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "dwg/bits.h"

namespace synthetic {

class BitWriter {
public:
    void B(unsigned v) { bit(v & 1); }
    void BB(unsigned v) { B(v >> 1), B(v); }
    void RC(std::uint8_t v)
    {
        for (int i = 7; i >= 0; --i) bit((v >> i) & 1);
    }
    void RS(std::uint16_t v) { RC(v & 0xFF), RC(v >> 8); }
    void RL(std::uint32_t v) { RS(v & 0xFFFF), RS(v >> 16); }
    void RD(double d)
    {
        std::uint64_t v;
        std::memcpy(&v, &d, 8);
        RL(static_cast<std::uint32_t>(v)), RL(static_cast<std::uint32_t>(v >> 32));
    }
    void BS(std::uint16_t v)
    {
        if (v == 0)
            return BB(2);
        if (v == 256)
            return BB(3);
        if (v < 256)
            return BB(1), RC(static_cast<std::uint8_t>(v));
        BB(0), RS(v);
    }
    void BL(std::uint32_t v)
    {
        if (v == 0)
            return BB(2);
        if (v < 256)
            return BB(1), RC(static_cast<std::uint8_t>(v));
        BB(0), RL(v);
    }
    void BD(double v)
    {
        if (v == 0.0)
            return BB(2);
        if (v == 1.0)
            return BB(1);
        BB(0), RD(v);
    }
    void H(std::uint8_t code, std::uint64_t value)
    {
        std::uint8_t bytes[8];
        int n = 0;
        for (std::uint64_t v = value; v; v >>= 8) bytes[n++] = static_cast<std::uint8_t>(v);
        RC(static_cast<std::uint8_t>(code << 4 | n));
        while (n) RC(bytes[--n]);
    }
    void TV(const std::string& s)
    {
        BS(static_cast<std::uint16_t>(s.size()));
        for (const char c : s) RC(static_cast<std::uint8_t>(c));
    }
    void append(const BitWriter& o)
    {
        for (std::size_t i = 0; i < o.bits_; ++i) bit((o.bytes_[i / 8] >> (7 - i % 8)) & 1);
    }
    std::size_t bits() const { return bits_; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    void bit(unsigned b)
    {
        if (bits_ % 8 == 0)
            bytes_.push_back(0);
        if (b)
            bytes_.back() |= static_cast<std::uint8_t>(0x80 >> (bits_ % 8));
        ++bits_;
    }
    std::vector<std::uint8_t> bytes_;
    std::size_t bits_ = 0;
};

struct Entity {
    std::uint16_t type = 1;  // TEXT: an entity the reader only skips
    unsigned entmode = 2;
    bool nolinks = true;
    std::uint64_t prev = 0, next = 0;  // used when !nolinks
    std::uint64_t owner = 0;           // used when entmode == 0
    std::uint32_t reactors = 0;
    // INSERT / MINSERT
    std::uint64_t first_attrib = 0, last_attrib = 0, seqend = 0;
    // ATTRIB
    std::string tag, value;
};

struct Drawing {
    std::uint16_t codepage = 30;
    std::uint64_t model_first = 0, model_last = 0;
    std::uint64_t paper_first = 0, paper_last = 0;
    std::map<std::uint64_t, Entity> entities;
    // Damage applied after the objects are laid out.
    std::map<std::uint64_t, std::int64_t> offset_shift;    // moves an object's map entry
    std::map<std::uint64_t, std::uint16_t> size_override;  // replaces an object's MS size
    bool bad_map_crc = false;                              // stores a wrong CRC on the object map's page
    // Handles of the block control object and the space records.
    std::uint64_t control = 1, model = 0x1F, paper = 0x20;
};

constexpr std::uint64_t kControl = 1, kModel = 0x1F, kPaper = 0x20;

// One object record: MS size, the bit stream (BS type, RL bit size, H own
// handle, no extended data, for entities no preview, then `data`; the handle
// stream from `handles` at the bit size), CRC.
template <class Data, class Handles>
std::vector<std::uint8_t> record(std::uint16_t type, std::uint64_t handle, bool entity, Data data, Handles handles)
{
    auto assemble = [&](std::uint32_t bitsize) {
        BitWriter w;
        w.BS(type);
        w.RL(bitsize);
        w.H(0, handle);
        w.BS(0);
        if (entity)
            w.B(0);
        data(w);
        return w;
    };
    BitWriter w = assemble(static_cast<std::uint32_t>(assemble(0).bits()));
    BitWriter h;
    handles(h);
    w.append(h);
    const auto& b = w.bytes();
    std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(b.size() & 0xFF),
                                     static_cast<std::uint8_t>((b.size() >> 8) & 0x7F)};
    out.insert(out.end(), b.begin(), b.end());
    const std::uint16_t crc = dwg::detail::crc16(0xC0C1, out);
    out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    return out;
}

inline std::vector<std::uint8_t> entity_record(std::uint64_t handle, const Entity& e)
{
    return record(
        e.type, handle, true,
        [&](BitWriter& w) {
            w.BB(e.entmode);
            w.BL(e.reactors);
            w.B(e.nolinks);
            w.BS(256);  // colour by layer
            w.BD(1.0);  // linetype scale
            w.BB(0);    // linetype by layer
            w.BB(0);    // plot style by layer
            w.BS(0);    // visible
            w.RC(29);   // line weight
            if (e.type == 7 || e.type == 8) {
                w.BD(0), w.BD(0), w.BD(0);  // insertion point
                w.BB(3);                    // scale 1,1,1
                w.BD(0);                    // rotation
                w.BD(0), w.BD(0), w.BD(1);  // extrusion
                w.B(e.first_attrib != 0);
                if (e.type == 8)
                    w.BS(1), w.BS(1), w.BD(0), w.BD(0);
            } else if (e.type == 2) {
                w.RC(0xFF);  // every optional field left out
                w.RD(1.0), w.RD(2.0);
                w.B(1), w.B(1);  // default extrusion, no thickness
                w.RD(2.5);       // height
                w.TV(e.value);
                w.TV(e.tag);
                w.BS(0), w.RC(0);
            }
        },
        [&](BitWriter& h) {
            if (e.entmode == 0)
                h.H(4, e.owner);
            for (std::uint32_t i = 0; i < std::min<std::uint32_t>(e.reactors, 4); ++i) h.H(4, 0x99);
            h.H(3, 0);  // no extension dictionary
            if (!e.nolinks)
                h.H(4, e.prev), h.H(4, e.next);
            h.H(5, 0x10);  // layer
            if (e.type == 7 || e.type == 8) {
                h.H(5, 0x30);  // block header of the inserted block
                if (e.first_attrib)
                    h.H(4, e.first_attrib), h.H(4, e.last_attrib), h.H(3, e.seqend);
            } else if (e.type == 2) {
                h.H(5, 0x11);  // text style
            }
        });
}

inline std::vector<std::uint8_t> block_header(std::uint64_t handle, const std::string& name, std::uint64_t first,
                                              std::uint64_t last, std::uint64_t control = kControl)
{
    return record(
        49, handle, false,
        [&](BitWriter& w) {
            w.BL(0);
            w.TV(name);
            w.B(0), w.BS(0), w.B(0);         // 64-flag, xref index, xdep
            w.B(0), w.B(0), w.B(0), w.B(0);  // anonymous, has attributes, xref, overlaid
            w.B(0);                          // xref loaded
        },
        [&](BitWriter& h) {
            h.H(4, control), h.H(3, 0), h.H(5, 0);
            h.H(3, handle + 0x100);  // BLOCK entity (not stored)
            h.H(4, first), h.H(4, last);
            h.H(3, handle + 0x200);  // ENDBLK entity (not stored)
        });
}

inline std::vector<std::uint8_t> build(const Drawing& d)
{
    static const std::uint8_t header_begin[16] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                                  0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
    static const std::uint8_t classes_begin[16] = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                                   0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};
    static const std::uint8_t file_end[16] = {0x95, 0xA0, 0x4E, 0x28, 0x99, 0x82, 0x1A, 0xE5,
                                              0x5E, 0x41, 0xE0, 0x5F, 0x9D, 0x3A, 0x4D, 0x00};
    std::vector<std::uint8_t> f(0x19 + 3 * 9 + 2 + 16, 0);
    std::memcpy(f.data(), "AC1015", 6);
    f[0x13] = static_cast<std::uint8_t>(d.codepage & 0xFF);
    f[0x14] = static_cast<std::uint8_t>(d.codepage >> 8);
    f[0x15] = 3;
    auto section = [&](const std::uint8_t* sentinel) {
        const std::size_t at = f.size();
        f.insert(f.end(), sentinel, sentinel + 16);
        f.insert(f.end(), {0, 0, 0, 0, 0, 0});  // RL size 0, CRC
        f.insert(f.end(), 16, 0);               // end sentinel (not read)
        return at;
    };
    const std::size_t header_at = section(header_begin);
    const std::size_t classes_at = section(classes_begin);

    std::map<std::uint64_t, std::size_t> offsets;
    auto place = [&](std::uint64_t handle, const std::vector<std::uint8_t>& rec) {
        offsets[handle] = f.size();
        f.insert(f.end(), rec.begin(), rec.end());
        if (const auto it = d.size_override.find(handle); it != d.size_override.end()) {
            f[offsets[handle]] = static_cast<std::uint8_t>(it->second & 0xFF);
            f[offsets[handle] + 1] = static_cast<std::uint8_t>((it->second >> 8) & 0x7F);
        }
    };
    place(d.control, record(
                         48, d.control, false, [](BitWriter& w) { w.BL(0), w.BL(2); },
                         [&](BitWriter& h) {
                             h.H(4, 0), h.H(3, 0);
                             h.H(2, d.model), h.H(2, d.paper);
                             h.H(3, d.model), h.H(3, d.paper);
                         }));
    place(d.model, block_header(d.model, "*Model_Space", d.model_first, d.model_last, d.control));
    place(d.paper, block_header(d.paper, "*Paper_Space", d.paper_first, d.paper_last, d.control));
    for (const auto& [handle, e] : d.entities) place(handle, entity_record(handle, e));

    // Object map: one page of (UMC handle delta, MC offset delta) pairs.
    std::vector<std::uint8_t> page = {0, 0};
    std::uint64_t last_handle = 0;
    std::int64_t last_offset = 0;
    for (const auto& [handle, at] : offsets) {
        std::int64_t offset = static_cast<std::int64_t>(at);
        if (const auto it = d.offset_shift.find(handle); it != d.offset_shift.end())
            offset += it->second;
        for (std::uint64_t v = handle - last_handle;;) {
            const std::uint8_t b = v & 0x7F;
            v >>= 7;
            page.push_back(static_cast<std::uint8_t>(b | (v ? 0x80 : 0)));
            if (!v)
                break;
        }
        std::int64_t delta = offset - last_offset;
        const bool negative = delta < 0;
        std::uint64_t v = static_cast<std::uint64_t>(negative ? -delta : delta);
        while (v >= 0x40) {
            page.push_back(static_cast<std::uint8_t>((v & 0x7F) | 0x80));
            v >>= 7;
        }
        page.push_back(static_cast<std::uint8_t>(v | (negative ? 0x40 : 0)));
        last_handle = handle;
        last_offset = offset;
    }
    page[0] = static_cast<std::uint8_t>(page.size() >> 8);
    page[1] = static_cast<std::uint8_t>(page.size() & 0xFF);
    const std::uint16_t page_crc = dwg::detail::crc16(0xC0C1, page) ^ (d.bad_map_crc ? 0x5A5A : 0);
    page.push_back(static_cast<std::uint8_t>(page_crc >> 8));
    page.push_back(static_cast<std::uint8_t>(page_crc & 0xFF));
    page.insert(page.end(), {0, 2, 0, 0});
    const std::size_t map_at = f.size();
    f.insert(f.end(), page.begin(), page.end());

    auto locator = [&](int i, std::size_t at, std::size_t size) {
        std::uint8_t* p = f.data() + 0x19 + 9 * i;
        p[0] = static_cast<std::uint8_t>(i);
        for (int k = 0; k < 4; ++k) {
            p[1 + k] = static_cast<std::uint8_t>(at >> (8 * k));
            p[5 + k] = static_cast<std::uint8_t>(size >> (8 * k));
        }
    };
    locator(0, header_at, 38);
    locator(1, classes_at, 38);
    locator(2, map_at, page.size());
    const std::size_t crc_at = 0x19 + 27;
    const std::uint16_t crc = dwg::detail::crc16(0xC0C1, {f.data(), crc_at});
    f[crc_at] = static_cast<std::uint8_t>(crc & 0xFF);
    f[crc_at + 1] = static_cast<std::uint8_t>(crc >> 8);
    std::memcpy(f.data() + crc_at + 2, file_end, 16);
    return f;
}

}  // namespace synthetic
