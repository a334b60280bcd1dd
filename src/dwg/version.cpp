#include "version.h"

#include <cstring>

#include "dxf.h"

namespace dwg::detail {

namespace {

// Adding a release is one line here (and, for a new family, its reader in
// drawing.cpp). Releases without a drawing to check against take their
// neighbours' layouts.
constexpr Release kReleases[] = {
    {"MC0.0", {}, OldLayout::NoEntities},
    {"AC1.2", {}, OldLayout::NoEntities},
    {"AC1.3", {}, OldLayout::NoEntities},
    {"AC1.40", {}, OldLayout::A},
    {"AC1.50", {}, OldLayout::B},
    {"AC2.10", {}, OldLayout::B},
    {"AC2.21", {}, OldLayout::B},
    {"AC2.22", {}, OldLayout::B},
    {"AC1001", {}, OldLayout::B},
    {"AC1002", {}, OldLayout::B},
    {"AC1003", {}, OldLayout::B},
    {"AC1004", {}, OldLayout::B},
    {"AC1005", {}, OldLayout::B},
    {"AC1006", {}, OldLayout::B, true},
    {"AC1007", {}, OldLayout::B, true, true},
    {"AC1008", {}, OldLayout::B, true, true},
    {"AC1009", {}, OldLayout::B, true, true},
    {"AC1012", Version::R13},
    {"AC1013", Version::R13},
    {"AC1014", Version::R14},
    {"AC1015", Version::R2000},
    {"AC1018", Version::R2004},
    {"AC1021", Version::R2007},
    {"AC1024", Version::R2010},
    {"AC1027", Version::R2013},
    {"AC1032", Version::R2018},
};

bool starts_with(std::span<const std::uint8_t> head, const Release& r)
{
    if (r.magic[5] != '\0')
        return head.size() >= 6 && std::memcmp(head.data(), r.magic, 6) == 0;
    // The five-character releases are followed by a NUL, never a digit.
    return head.size() >= 5 && std::memcmp(head.data(), r.magic, 5) == 0 &&
           (head.size() == 5 || head[5] < '0' || head[5] > '9');
}

// "AC" and four digits or dots ("AC1015", "AC2.10"): every DWG release,
// readable here or not.
bool dwg_like(std::span<const std::uint8_t> head)
{
    if (head.size() < 6 || head[0] != 'A' || head[1] != 'C')
        return false;
    for (std::size_t i = 2; i < 6; ++i)
        if ((head[i] < '0' || head[i] > '9') && head[i] != '.')
            return false;
    return true;
}

}  // namespace

FileFormat file_format(std::span<const std::uint8_t> head)
{
    for (const Release& r : kReleases)
        if (starts_with(head, r))
            return {r.layout == OldLayout::None ? FileKind::Dwg : FileKind::DwgOld, &r};
    switch (dxf_kind(head)) {
    case DxfKind::Ascii: return {FileKind::DxfAscii};
    case DxfKind::Binary: return {FileKind::DxfBinary};
    case DxfKind::Keyword: return {FileKind::DxfKeyword};
    case DxfKind::None: break;
    }
    return {dwg_like(head) ? FileKind::DwgUnread : FileKind::Unknown};
}

std::optional<Version> dwg_version(std::span<const std::uint8_t> head)
{
    const FileFormat f = file_format(head);
    if (f.kind != FileKind::Dwg)
        return std::nullopt;
    return f.release->version;
}

}  // namespace dwg::detail
