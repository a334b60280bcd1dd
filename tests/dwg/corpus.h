#pragma once
// Shared by the corpus-driven tests: where the corpus is, which versions we
// read, the references and a drawing's attributes per space.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "dwg/attributes.h"

namespace corpus {

// The versions this reader decodes; a file-structure reader for more
// versions adds them here and their corpus drawings join every test. Of the
// releases before R13 those with corpus drawings; pre_r13_test.cpp covers
// the others.
inline const std::set<std::string>& read_versions()
{
    static const std::set<std::string> v = {"AC1.40", "AC2.10", "AC1003", "AC1004", "AC1006",
                                            "AC1009", "AC1012", "AC1013", "AC1014", "AC1015",
                                            "AC1018", "AC1021", "AC1024", "AC1027", "AC1032"};
    return v;
}

inline std::filesystem::path dir() { return QUORVANE_CORPUS_DIR; }

using Pairs = dwg::TagValues;

// The attributes of one space; a drawing without that space has none.
inline dwg::Error space(const dwg::Drawing& d, const char* name, Pairs& out)
{
    return dwg::space_attributes(d, name, out);
}

inline std::vector<std::uint8_t> read_file(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A [[tag, value, ...], ...] list.
inline Pairs pairs(const nlohmann::json& list)
{
    Pairs out;
    for (const auto& item : list) out.emplace_back(item.at(0).get<std::string>(), item.at(1).get<std::string>());
    return out;
}

struct Reference {
    std::string id;  // the reference file's stem
    std::string version;
    std::string file;  // relative to the corpus folder
    Pairs model, paper;
};

// Every reference, in id order.
inline std::vector<Reference> references()
{
    std::vector<Reference> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir() / "expected", ec)) {
        std::ifstream in(entry.path());
        const auto ref = nlohmann::json::parse(in);
        out.push_back({entry.path().stem().string(), ref.at("version"), ref.at("file"), pairs(ref.at("model")),
                       pairs(ref.at("paper"))});
    }
    std::sort(out.begin(), out.end(), [](const Reference& a, const Reference& b) { return a.id < b.id; });
    return out;
}

// A row of dxf/INDEX.tsv: a DXF save of a corpus drawing, whose reference
// is its drawing's when `agrees`.
struct DxfTwin {
    std::string id, version, kind, file;  // kind: ascii or binary
    bool agrees = false;
};

inline std::vector<DxfTwin> dxf_twins()
{
    std::vector<DxfTwin> out;
    std::ifstream in(dir() / "dxf" / "INDEX.tsv");
    std::string line;
    std::getline(in, line);  // column heads: id, dxf_version, dxf_kind, size, agrees_with_dwg_reference, file
    for (std::string cell[6]; std::getline(in, line);) {
        std::istringstream row(line);
        for (std::string& c : cell) std::getline(row, c, '\t');
        out.push_back({cell[0], cell[1], cell[2], cell[5], cell[4] == "yes"});
    }
    return out;
}

}  // namespace corpus
