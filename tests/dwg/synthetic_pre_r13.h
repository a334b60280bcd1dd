#pragma once
// A small writer of drawings before R13 for shaped and broken fixtures.
// Family B (AC1.50 .. AC1009): header, entities section, BLOCK table, blocks
// section and extras section, with R11's record CRCs; entities marked `moved`
// go to the extras section behind a JUMP and a JUMP back.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dwg/bits.h"

namespace synthetic_pre_r13 {

enum Type : std::uint8_t {
    kLine = 1,
    kBlock = 12,
    kEndblk = 13,
    kInsert = 14,
    kAttrib = 16,
    kSeqend = 17,
    kJump = 18,
};

struct Attribute {
    std::string tag, value;
    bool erased = false;
    bool overrun = false;  // its value's byte count runs past the record
};

struct Entity {
    std::uint8_t type = kLine;
    bool erased = false;
    bool paper = false;          // R11: extended flags 0x04 and their field
    bool extended_data = false;  // R11: extended flags 0x02 and a few bytes
    bool follows = true;         // INSERT: flag 0x80 (attributes follow)
    std::uint16_t block = 0;     // INSERT: BLOCK table record number
    std::vector<Attribute> attribs;
    bool moved = false;             // into the extras section
    std::uint16_t length = 0;       // replaces the record length when set
    std::uint32_t jump_target = 0;  // replaces a moved entity's forward jump target when set
};

struct Block {
    std::string name;
    bool anonymous = false;
    std::vector<Entity> entities;
};

struct Drawing {
    std::string version = "AC1009";
    std::uint16_t codepage = 0;  // R10 on
    std::vector<Entity> entities;
    std::vector<Block> blocks;
};

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::uint16_t v) { b.push_back(v & 0xFF), b.push_back(v >> 8); }
inline void put32(Bytes& b, std::uint32_t v) { put16(b, v & 0xFFFF), put16(b, v >> 16); }
inline void set16(Bytes& b, std::size_t at, std::uint16_t v) { b[at] = v & 0xFF, b[at + 1] = v >> 8; }
inline void set32(Bytes& b, std::size_t at, std::uint32_t v) { set16(b, at, v & 0xFFFF), set16(b, at + 2, v >> 16); }
inline void put_text(Bytes& b, const std::string& s, std::uint16_t count)
{
    put16(b, count);
    b.insert(b.end(), s.begin(), s.end());
}
inline void put_doubles(Bytes& b, int n) { b.insert(b.end(), std::size_t(8) * n, 0); }

class Writer {
public:
    explicit Writer(const Drawing& d) : d_(d)
    {
        r11_ = d.version == "AC1007" || d.version == "AC1008" || d.version == "AC1009";
        r10_ = r11_ || d.version == "AC1006";
        if (r11_)
            start_ = 0x6CF, variables_ = 205;
        else if (r10_)
            start_ = 0x512, variables_ = 158;
        else if (d.version == "AC1004" || d.version == "AC1005")
            start_ = 0x3EF, variables_ = 129;
        else if (d.version == "AC1001" || d.version == "AC1002" || d.version == "AC1003")
            start_ = 0x3D5, variables_ = 122;
        else
            start_ = 0x2E5, variables_ = 83;
    }

    Bytes build()
    {
        Bytes file(start_, 0);
        std::memcpy(file.data(), d_.version.data(), d_.version.size());
        set16(file, 0x0D, 3);
        set16(file, 0x0F, 5);
        set16(file, 0x11, variables_);
        if (r10_)
            set16(file, 0x3F9, d_.codepage);
        for (const Entity& e : d_.entities) unit(file, e, true, true);
        const auto entities_end = static_cast<std::uint32_t>(file.size());

        // Blocks section apart first: the table records its offsets.
        Bytes blocks;
        std::vector<std::uint32_t> offsets;
        for (const Block& b : d_.blocks) {
            offsets.push_back(static_cast<std::uint32_t>(blocks.size()));
            Bytes body;
            put_doubles(body, 2);
            if (r11_)
                put_text(body, b.name, static_cast<std::uint16_t>(b.name.size()));
            record(blocks, kBlock, 0, false, false, r11_ ? 0x004 : 0, body);
            for (const Entity& e : b.entities) unit(blocks, e, false, false);
            record(blocks, kEndblk, 0, false, false, 0, {});
        }
        const std::uint16_t size = r11_ ? 45 : 37;
        const auto table = static_cast<std::uint32_t>(file.size());
        for (std::size_t i = 0; i < d_.blocks.size(); ++i) {
            Bytes rec(size, 0);
            rec[0] = d_.blocks[i].anonymous ? 0x01 : 0x00;
            std::memcpy(rec.data() + 1, d_.blocks[i].name.data(), std::min<std::size_t>(32, d_.blocks[i].name.size()));
            std::size_t at = 33;
            if (r11_)
                set16(rec, at, 0xFFFF), at += 2;
            set32(rec, at, offsets[i] | 0x40000000);
            if (r11_)
                set16(rec, 43, dwg::detail::crc16(0xC0C1, {rec.data(), 43}));
            file.insert(file.end(), rec.begin(), rec.end());
        }
        const auto blocks_start = static_cast<std::uint32_t>(file.size());
        file.insert(file.end(), blocks.begin(), blocks.end());
        const auto extras_start = static_cast<std::uint32_t>(file.size());
        file.insert(file.end(), extras_.begin(), extras_.end());

        set32(file, 0x14, start_);
        set32(file, 0x18, entities_end);
        set32(file, 0x1C, blocks_start);
        set32(file, 0x20, static_cast<std::uint32_t>(blocks.size()) | 0x40000000);
        set32(file, 0x24, extras_.empty() ? 0 : extras_start);
        set32(file, 0x28, static_cast<std::uint32_t>(extras_.size()) | 0x80000000);
        set16(file, 0x2C, size);
        set16(file, 0x2E, static_cast<std::uint16_t>(d_.blocks.size()));
        set32(file, 0x32, table);
        if (r11_)
            set16(file, start_ - 18, dwg::detail::crc16(0xC0C1, {file.data(), start_ - 18u}));
        return file;
    }

private:
    // One record: common part, `body`, R11's CRC; returns its offset in `out`.
    std::size_t record(Bytes& out, std::uint8_t type, std::uint8_t flags, bool paper, bool extended_data,
                       std::uint16_t opts, const Bytes& body, std::uint16_t length = 0, bool erased = false)
    {
        const std::size_t at = out.size();
        if (r11_ && (paper || extended_data))
            flags |= 0x40;
        if (r10_)
            flags |= 0x20;
        out.push_back(static_cast<std::uint8_t>(type | (erased ? 0x80 : 0)));
        out.push_back(flags);
        put16(out, 0);
        put16(out, 0);  // layer
        put16(out, opts);
        if (flags & 0x40) {
            out.push_back(static_cast<std::uint8_t>((paper ? 0x04 : 0) | (extended_data ? 0x02 : 0)));
            if (extended_data)
                put_text(out, "EED", 3);
        }
        if (r10_)
            out.push_back(1), out.push_back(static_cast<std::uint8_t>(++handle_));
        if (paper)
            put16(out, 1);
        out.insert(out.end(), body.begin(), body.end());
        set16(out, at + 2, length ? length : static_cast<std::uint16_t>(out.size() - at + (r11_ ? 2 : 0)));
        if (r11_)
            put16(out, dwg::detail::crc16(0xC0C1, {out.data() + at, out.size() - at}));
        return at;
    }

    std::size_t jump(Bytes& out, std::uint32_t target)
    {
        const std::size_t at = out.size();
        out.push_back(kJump);
        out.push_back(0);
        put16(out, r11_ ? 10 : 8);
        put32(out, target);
        if (r11_)
            put16(out, dwg::detail::crc16(0xC0C1, {out.data() + at, 8}));
        return at;
    }

    // An entity with its attribute run; `in_file` when out[0] is the file's
    // first byte, so that the SEQEND can point back.
    void unit(Bytes& out, const Entity& e, bool in_file, bool may_move)
    {
        if (may_move && e.moved) {
            jump(out, e.jump_target ? e.jump_target : 0x80000000u | static_cast<std::uint32_t>(extras_.size()));
            const auto back = static_cast<std::uint32_t>(out.size());
            unit(extras_, e, false, false);
            jump(extras_, back);
            return;
        }
        Bytes body;
        std::uint8_t flags = 0;
        if (e.type == kInsert) {
            put16(body, e.block);
            put_doubles(body, 2);
            if (e.follows && !e.attribs.empty())
                flags |= 0x80;
        } else {
            put_doubles(body, 4);
        }
        const std::size_t at = record(out, e.type, flags, e.paper, e.extended_data, 0, body, e.length, e.erased);
        if (e.attribs.empty())
            return;
        for (const Attribute& a : e.attribs) {
            Bytes ab;
            put_doubles(ab, 3);
            put_text(ab, a.value, a.overrun ? 0xFFF0 : static_cast<std::uint16_t>(a.value.size()));
            put_text(ab, a.tag, static_cast<std::uint16_t>(a.tag.size()));
            ab.push_back(0);
            record(out, kAttrib, 0, e.paper, false, 0, ab, 0, a.erased);
        }
        Bytes sb;
        put32(sb, in_file ? static_cast<std::uint32_t>(at) : 0);
        record(out, kSeqend, 0, e.paper, false, 0, sb);
    }

    const Drawing& d_;
    bool r10_ = false, r11_ = false;
    std::uint32_t start_ = 0;
    std::uint16_t variables_ = 0;
    std::uint8_t handle_ = 0;
    Bytes extras_;
};

inline Bytes build(const Drawing& d) { return Writer(d).build(); }

}  // namespace synthetic_pre_r13
