// dwgattrs FILE: the attributes of a drawing's model space and active paper
// space as one JSON object, {"version": ..., "model": [[tag, value], ...],
// "paper": [...]}. On failure a message on stderr and exit code 1; what the
// reader passed over in a drawing it read is counted on stderr, exit code 0.

#include <cstdio>
#include <iostream>
#include <string>

#include "dwg/attributes.h"

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

void put_list(std::string& out, const dwg::TagValues& list)
{
    out += '[';
    bool first = true;
    for (const auto& [tag, value] : list) {
        out += first ? "[" : ", [";
        first = false;
        put_json_string(out, tag);
        out += ", ";
        put_json_string(out, value);
        out += ']';
    }
    out += ']';
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: dwgattrs FILE\n";
        return 2;
    }
    dwg::Spaces spaces;
    if (const dwg::Error e = dwg::read_spaces(argv[1], spaces); e != dwg::Error::Ok) {
        std::cerr << argv[1] << ": " << dwg::message(e) << " (" << static_cast<int>(e) << ")\n";
        return 1;
    }
    std::string out = "{\"version\": ";
    put_json_string(out, spaces.version);
    out += ", \"model\": ";
    put_list(out, spaces.model);
    out += ", \"paper\": ";
    put_list(out, spaces.paper);
    out += "}\n";
    std::cout << out;
    if (const dwg::Warnings& w = spaces.warnings; w.any())
        std::cerr << argv[1] << ": " << w.skipped_objects << " object(s) skipped, " << w.checksum_mismatches
                  << " checksum mismatch(es)\n";
    return 0;
}
