// make-samples FOLDER: writes the drawings shipped in "Samples", so that a
// first run works without a drawing of one's own. Each sheet has a title block
// with attributes in paper space (the sheet's) and one in model space (the
// drawn part's), so both spaces can be tried.
#include "synthetic.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Sheet {
    const char* file;
    Pairs paper;  // the sheet's title block
    Pairs model;  // the drawn part's title block
};

const Sheet kSheets[] = {
    {"Site plan.dwg",
     {{"DWG_NO", "QV-100"},
      {"TITLE", "SITE PLAN"},
      {"REV", "C"},
      {"DRAWN", "JM"},
      {"DATE", "2024-03-11"},
      {"SCALE", "1:500"}},
     {{"DWG_NO", "QV-100"}, {"TITLE", "SITE PLAN"}, {"PART", "SITE"}, {"MATERIAL", "-"}}},
    {"Ground floor.dwg",
     {{"DWG_NO", "QV-101"},
      {"TITLE", "GROUND FLOOR PLAN"},
      {"REV", "B"},
      {"DRAWN", "JM"},
      {"DATE", "2024-03-14"},
      {"SCALE", "1:100"}},
     {{"DWG_NO", "QV-101"}, {"TITLE", "GROUND FLOOR PLAN"}, {"PART", "FLOOR 0"}, {"MATERIAL", "CONCRETE"}}},
    {"First floor.dwg",
     {{"DWG_NO", "QV-102"},
      {"TITLE", "FIRST FLOOR PLAN"},
      {"REV", "A"},
      {"DRAWN", "AK"},
      {"DATE", "2024-03-18"},
      {"SCALE", "1:100"}},
     {{"DWG_NO", "QV-102"}, {"TITLE", "FIRST FLOOR PLAN"}, {"PART", "FLOOR 1"}, {"MATERIAL", "TIMBER"}}},
    {"Section A-A.dwg",
     {{"DWG_NO", "QV-110"},
      {"TITLE", "SECTION A-A"},
      {"REV", "A"},
      {"DRAWN", "AK"},
      {"DATE", "2024-04-02"},
      {"SCALE", "1:50"}},
     {{"DWG_NO", "QV-110"}, {"TITLE", "SECTION A-A"}, {"PART", "SECTION"}, {"MATERIAL", "MIXED"}}},
    {"Door details.dwg",
     {{"DWG_NO", "QV-120"},
      {"TITLE", "DOOR DETAILS"},
      {"REV", "0"},
      {"DRAWN", "RS"},
      {"DATE", "2024-04-09"},
      {"SCALE", "1:10"}},
     {{"DWG_NO", "QV-120"}, {"TITLE", "DOOR DETAILS"}, {"PART", "D-01"}, {"MATERIAL", "OAK"}}},
};

// A line, one block reference with its attributes and end marker, a line,
// from handle `first` on; entmode 2 is model space, 1 paper space. Returns
// the last handle.
std::uint64_t addBlock(synthetic::Drawing& d, std::uint64_t first, unsigned entmode, const Pairs& attributes)
{
    std::uint64_t h = first;
    synthetic::Entity line;
    line.entmode = entmode;
    d.entities[h++] = line;

    const std::uint64_t insertHandle = h++;
    synthetic::Entity insert;
    insert.type = 7;
    insert.entmode = entmode;
    insert.first_attrib = h;
    insert.last_attrib = h + attributes.size() - 1;
    insert.seqend = h + attributes.size();
    d.entities[insertHandle] = insert;
    for (const auto& [tag, value] : attributes) {
        synthetic::Entity attrib;
        attrib.type = 2;
        attrib.entmode = 0;
        attrib.owner = insertHandle;
        attrib.tag = tag;
        attrib.value = value;
        d.entities[h++] = attrib;
    }
    synthetic::Entity seqend;
    seqend.type = 6;
    seqend.entmode = 0;
    seqend.owner = insertHandle;
    d.entities[h++] = seqend;
    d.entities[h] = line;
    return h;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-samples FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const Sheet& sheet : kSheets) {
        synthetic::Drawing d;
        d.model_first = 0x40;
        d.model_last = addBlock(d, d.model_first, 2, sheet.model);
        d.paper_first = 0x80;
        d.paper_last = addBlock(d, d.paper_first, 1, sheet.paper);
        const std::vector<std::uint8_t> bytes = synthetic::build(d);
        const std::filesystem::path path = folder / sheet.file;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "make-samples: cannot write %s\n", path.string().c_str());
            return 1;
        }
    }
    return 0;
}
