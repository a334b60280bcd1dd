#pragma once
// Shared by the corpus-driven tests: where the corpus is, which versions we
// read, the references, and a drawing's attributes per space.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dwg/attributes.h"
#include "json_lite.h"

namespace corpus {

// The versions this reader decodes; a file-structure reader for more
// versions adds them here and their corpus drawings join every test.
inline const std::set<std::string>& read_versions()
{
    static const std::set<std::string> v = {"AC1012", "AC1013", "AC1014", "AC1015", "AC1018",
                                             "AC1021", "AC1024", "AC1027", "AC1032"};
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

// A test name from a drawing's file stem: letters and digits kept, the rest '_'.
inline std::string test_name(std::string stem)
{
    for (char& c : stem)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return stem;
}

// A reference's [tag, value] list.
inline Pairs pairs(const json_lite::Value* list)
{
    Pairs out;
    if (!list)
        return out;
    for (const json_lite::Value& item : list->array)
        if (item.array.size() >= 2)
            out.emplace_back(item.array[0].string, item.array[1].string);
    return out;
}

struct Reference {
    std::string id;  // the reference file's stem
    std::string version;
    std::string file;  // relative to the corpus folder
    Pairs model, paper;
};

// Every reference that names its drawing and version, in id order.
inline std::vector<Reference> references()
{
    std::vector<Reference> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir() / "expected", ec)) {
        if (entry.path().extension() != ".json")
            continue;
        const auto bytes = read_file(entry.path());
        json_lite::Value ref;
        if (!json_lite::Parser(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())).parse(ref))
            continue;
        const json_lite::Value* version = ref.get("version");
        const json_lite::Value* file = ref.get("file");
        if (!version || !file)
            continue;
        out.push_back({entry.path().stem().string(), version->string, file->string, pairs(ref.get("model")),
                       pairs(ref.get("paper"))});
    }
    std::sort(out.begin(), out.end(), [](const Reference& a, const Reference& b) { return a.id < b.id; });
    return out;
}

}  // namespace corpus
