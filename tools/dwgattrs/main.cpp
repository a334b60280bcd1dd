// dwgattrs FILE: the attributes of a drawing's (DWG or DXF) model space and
// active paper space as one JSON object, {"version": ..., "model": [[tag,
// value], ...], "paper": [...]}. On failure a message on stderr and exit code 1.

#include <cstdio>
#include <iostream>
#include <string>

#include "dwg/drawing.h"

namespace {

void put_json_string(std::string& out, const std::string& s)
{
    out += '"';
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

dwg::Error space(const dwg::Drawing& d, const char* name, std::string& out)
{
    std::uint64_t block = 0;
    std::vector<dwg::Entity> list;
    dwg::Error e = d.find_block(name, block);
    if (e == dwg::Error::Ok)
        e = d.entities(block, list);
    else if (e == dwg::Error::BlockNotFound)
        e = dwg::Error::Ok;  // a drawing without that space has no attributes in it
    out += '[';
    bool first = true;
    for (const dwg::Entity& entity : list) {
        if (entity.kind != dwg::EntityKind::Attribute)
            continue;
        out += first ? "[" : ", [";
        first = false;
        put_json_string(out, entity.tag);
        out += ", ";
        put_json_string(out, entity.value);
        out += ']';
    }
    out += ']';
    return e;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: dwgattrs FILE (a .dwg or .dxf drawing)\n";
        return 2;
    }
    dwg::Drawing d;
    if (const dwg::Error e = dwg::Drawing::open(argv[1], d); e != dwg::Error::Ok) {
        std::cerr << argv[1] << ": " << dwg::message(e) << " (" << static_cast<int>(e) << ")\n";
        return 1;
    }
    std::string out = "{\"version\": ";
    put_json_string(out, std::string(d.version()));
    out += ", \"model\": ";
    const dwg::Error model = space(d, "*Model_Space", out);
    out += ", \"paper\": ";
    const dwg::Error paper = space(d, "*Paper_Space", out);
    out += "}\n";
    for (const dwg::Error e : {model, paper}) {
        if (e != dwg::Error::Ok) {
            std::cerr << argv[1] << ": " << dwg::message(e) << " (" << static_cast<int>(e) << ")\n";
            return 1;
        }
    }
    std::cout << out;
    return 0;
}
