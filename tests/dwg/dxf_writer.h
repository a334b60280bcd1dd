#pragma once
// Small DXF files for shaped and broken cases, as tag lists written in ASCII
// or binary, and a huge file written as a stream for bench/dwg's memory and
// speed figures.

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace dxf_writer {

struct Tag {
    int code;
    std::string value;
};
using Tags = std::vector<Tag>;

inline void append(Tags& to, const Tags& more) { to.insert(to.end(), more.begin(), more.end()); }

inline std::string ascii(const Tags& tags)
{
    std::string out;
    for (const Tag& t : tags) {
        const std::string code = std::to_string(t.code);
        out += std::string(code.size() < 3 ? 3 - code.size() : 0, ' ') + code + "\r\n" + t.value + "\r\n";
    }
    return out;
}

// Binary: one-byte group codes (255 escaping larger ones) before R13, two
// bytes from R13 on. Only the value types these fixtures use: points and
// reals, 16-bit integers, 32-bit extended data, text.
inline std::string binary(const Tags& tags, bool two_byte_codes)
{
    std::string out("AutoCAD Binary DXF\r\n\x1a\0", 22);
    auto le = [&out](std::uint64_t v, int size) {
        for (int i = 0; i < size; ++i) out += static_cast<char>(v >> (8 * i));
    };
    for (const Tag& t : tags) {
        if (two_byte_codes)
            le(static_cast<std::uint64_t>(t.code), 2);
        else if (t.code < 255)
            le(static_cast<std::uint64_t>(t.code), 1);
        else
            out += '\xff', le(static_cast<std::uint64_t>(t.code), 2);
        if ((t.code >= 10 && t.code < 60) || (t.code >= 1010 && t.code < 1060)) {
            const double d = std::stod(t.value);
            std::uint64_t bits;
            std::memcpy(&bits, &d, 8);
            le(bits, 8);
        } else if ((t.code >= 60 && t.code < 80) || (t.code >= 1060 && t.code <= 1070)) {
            le(static_cast<std::uint64_t>(std::stoll(t.value)), 2);
        } else if (t.code == 1071) {
            le(static_cast<std::uint64_t>(std::stoll(t.value)), 4);
        } else {
            out += t.value;
            out += '\0';
        }
    }
    return out;
}

inline Tags section(const std::string& name, const Tags& content)
{
    Tags t = {{0, "SECTION"}, {2, name}};
    append(t, content);
    t.push_back({0, "ENDSEC"});
    return t;
}

inline Tags header(const std::string& version, const std::string& codepage = "ANSI_1252")
{
    return section("HEADER", {{9, "$ACADVER"}, {1, version}, {9, "$DWGCODEPAGE"}, {3, codepage}});
}

struct Attribute {
    std::string tag, value;
};

// A block reference and its attributes; `paper` sets the 67 flag.
inline Tags insert(const std::vector<Attribute>& attributes, bool paper = false, const std::string& handle = "")
{
    Tags t = {{0, "INSERT"}};
    if (!handle.empty())
        t.push_back({5, handle});
    if (paper)
        t.push_back({67, "1"});
    append(t, {{8, "0"}, {66, attributes.empty() ? "0" : "1"}, {2, "TITLE"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}});
    if (attributes.empty())
        return t;
    for (const Attribute& a : attributes)
        append(t,
               {{0, "ATTRIB"}, {8, "0"}, {10, "1.5"}, {20, "2.5"}, {40, "2.5"}, {1, a.value}, {2, a.tag}, {70, "0"}});
    t.push_back({0, "SEQEND"});
    return t;
}

inline Tags line() { return {{0, "LINE"}, {8, "0"}, {10, "0.0"}, {20, "0.0"}, {11, "10.0"}, {21, "5.0"}}; }

inline Tags block(const std::string& name, const Tags& content)
{
    Tags t = {{0, "BLOCK"}, {8, "0"}, {2, name}, {70, "0"}, {10, "0.0"}, {20, "0.0"}, {3, name}};
    append(t, content);
    t.push_back({0, "ENDBLK"});
    return t;
}

inline Tags drawing(const Tags& head, const Tags& blocks, const Tags& entities)
{
    Tags t = head;
    if (!blocks.empty())
        append(t, section("BLOCKS", blocks));
    append(t, section("ENTITIES", entities));
    t.push_back({0, "EOF"});
    return t;
}

// An R2000 ASCII file of at least `bytes` bytes, written piece by piece:
// lines, and every `every`-th entity a block reference with two
// attributes. Returns the number of attributes written.
inline std::uint64_t write_huge(std::ostream& out, std::uint64_t bytes, std::uint64_t every = 1000)
{
    out << ascii(header("AC1015")) << ascii({{0, "SECTION"}, {2, "ENTITIES"}});
    const std::string plain = ascii(line());
    std::uint64_t written = 0, attributes = 0;
    for (std::uint64_t n = 1; written < bytes; ++n) {
        if (n % every == 0) {
            const std::string ref = ascii(insert({{"DWG_NO", std::to_string(n)}, {"REV", "A"}}));
            out << ref;
            written += ref.size();
            attributes += 2;
        } else {
            out << plain;
            written += plain.size();
        }
    }
    out << ascii({{0, "ENDSEC"}, {0, "EOF"}});
    return attributes;
}

}  // namespace dxf_writer
