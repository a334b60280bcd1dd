#pragma once
// What a file is, from its first bytes: every DWG release by its version
// string, and DXF in its forms. The one place that tells them apart.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "sections.h"

namespace dwg::detail {

// How a release before R13 lays out its entity records.
enum class OldLayout : std::uint8_t {
    None,        // R13 on: objects and an object map
    NoEntities,  // AC1.2, AC1.3, MC0.0: no attributes can exist; empty
    A,           // AC1.40: fixed-size records, blocks inline
    B,           // AC1.50 .. AC1009: records with a length, sections
};

struct Release {
    char magic[7];                       // five characters (then never a digit) or six
    Version version = Version::R13;      // from R13 on
    OldLayout layout = OldLayout::None;  // before R13
    bool r10 = false;                    // entity handles (AC1006 on)
    bool r11 = false;                    // RS linetype, extended flags, CRCs, paper space (AC1007 on)
};

enum class FileKind : std::uint8_t {
    Unknown,
    Dwg,        // R13 on
    DwgOld,     // before R13
    DwgUnread,  // "AC" and four digits or dots: a release not read here
    DxfAscii,
    DxfBinary,
    DxfKeyword,  // the pre-group-code format: refused
};

struct FileFormat {
    FileKind kind = FileKind::Unknown;
    const Release* release = nullptr;  // Dwg and DwgOld
    bool dxf() const { return kind >= FileKind::DxfAscii; }
};

// kFormatProbe bytes suffice.
inline constexpr std::size_t kFormatProbe = 64;
FileFormat file_format(std::span<const std::uint8_t> head);

// The release of a DWG file from R13 on, or nothing.
std::optional<Version> dwg_version(std::span<const std::uint8_t> head);

}  // namespace dwg::detail
