#pragma once
// File structure of 2007 drawings (AC1021): a Reed-Solomon protected file
// header, a pages map and a sections map stored as RS-coded, compressed
// system pages, and sections made of RS-coded, compressed data pages.
// read_sections_r2007 (sections.h) is the entry point; the steps are
// exposed for the tests.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "error.h"
#include "sections.h"

namespace dwg::detail::r2007 {

// The decoded header record: only the fields this reader uses. All are
// stored as 64-bit signed values; checked before use.
struct FileHeader {
    std::int64_t pages_map_correction = 0;
    std::int64_t pages_map_offset = 0;  // from 0x480
    std::int64_t pages_map_size_comp = 0;
    std::int64_t pages_map_size_uncomp = 0;
    std::int64_t sections_map_size_comp = 0;
    std::int64_t sections_map_id = 0;
    std::int64_t sections_map_size_uncomp = 0;
    std::int64_t sections_map_correction = 0;
};

struct Page {
    std::int64_t id = 0;
    std::uint64_t address = 0;  // file offset
    std::uint64_t size = 0;     // bytes on disk
};

struct SectionPage {
    std::int64_t offset = 0;  // in the assembled section
    std::int64_t id = 0;      // page id in the pages map
    std::int64_t size_uncomp = 0;
    std::int64_t size_comp = 0;
};

struct Section {
    std::u16string name;
    std::int64_t data_size = 0;
    std::int64_t max_size = 0;
    std::int64_t encrypted = 0;
    std::int64_t encoding = 0;
    std::vector<SectionPage> pages;
};

// What was read, kept for the tests: how many bytes the RS code repaired.
struct ReadStats {
    std::size_t corrected_header = 0;
    std::size_t corrected_system = 0;
    std::size_t corrected_data = 0;
};

Error read_file_header(std::span<const std::uint8_t> file, FileHeader& out, ReadStats* stats = nullptr);
Error read_pages_map(std::span<const std::uint8_t> file, const FileHeader& header, std::vector<Page>& out,
                     ReadStats* stats = nullptr);
Error read_sections_map(std::span<const std::uint8_t> file, const FileHeader& header, const std::vector<Page>& pages,
                        std::vector<Section>& out, ReadStats* stats = nullptr);
// Assembles one section from its pages (pages sorted by id); with `later`,
// may leave pages to be expanded on first use (Sections::load_objects).
Error read_section(std::span<const std::uint8_t> file, const std::vector<Page>& pages, const Section& section,
                   std::vector<std::uint8_t>& out, ReadStats* stats = nullptr, DeferredPages* later = nullptr);

}  // namespace dwg::detail::r2007
