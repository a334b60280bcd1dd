// File structure of R13, R14 and 2000 drawings: the sections sit in the file
// as they are, located by the records that follow the fixed header.
//
// File header:
// | offset | size  | meaning                                         |
// |--------|-------|-------------------------------------------------|
// | 0x00   | 6     | version "AC1012" .. "AC1015"                    |
// | 0x0B   | 1     | maintenance release                             |
// | 0x13   | 2     | DWGCODEPAGE                                     |
// | 0x15   | 4     | number N of locator records                     |
// | 0x19   | N × 9 | RC record number, RL file offset, RL size       |
// | then   | 2     | CRC-16 (seed 0xC0C1) of bytes 0 .. end of records |
// | then   | 16    | end sentinel                                    |
// Record 0 is the header variables, 1 the classes, 2 the object map.

#include <algorithm>
#include <array>
#include <cstring>

#include "bits.h"
#include "sections.h"
#include "version.h"

namespace dwg::detail {

namespace {

constexpr std::array<std::uint8_t, 16> kHeaderEnd = {0x95, 0xA0, 0x4E, 0x28, 0x99, 0x82, 0x1A, 0xE5,
                                                     0x5E, 0x41, 0xE0, 0x5F, 0x9D, 0x3A, 0x4D, 0x00};

}  // namespace

Error read_sections_r13(std::span<const std::uint8_t> file, Sections& out)
{
    const std::optional<Version> release = dwg_version(file);
    const Version version = release && *release <= Version::R2000 ? *release : Version::R13;
    ByteReader r(file);
    r.seek(0x0B);
    const std::uint8_t maintenance = r.RC();
    r.seek(0x15);
    const std::uint32_t count = r.RL();
    if (!r.ok())
        return Error::Truncated;
    // The format knows six records; allow a few more, never thousands.
    if (count < 3 || count > 16)
        return Error::Corrupt;

    struct Locator {
        std::uint32_t offset = 0, size = 0;
        bool present = false;
    };
    std::array<Locator, 3> loc{};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t number = r.RC();
        const std::uint32_t offset = r.RL();
        const std::uint32_t size = r.RL();
        if (number < loc.size())
            loc[number] = {offset, size, true};
    }
    if (!r.ok())
        return Error::Truncated;
    // A file that locates no header variables holds no drawing data at all
    // (some writers emit such stubs); it reads as a drawing without blocks.
    if (loc[0].present && loc[0].size == 0 && loc[1].size == 0) {
        out.version = version;
        out.maintenance = maintenance;
        out.header.clear();
        out.classes.clear();
        out.handles.clear();
        out.objects = {};
        return Error::Ok;
    }
    const std::size_t crc_at = r.pos();
    const std::uint16_t crc = r.RS();
    if (!r.ok() || r.left() < kHeaderEnd.size())
        return Error::Truncated;
    if (!std::equal(kHeaderEnd.begin(), kHeaderEnd.end(), file.begin() + static_cast<std::ptrdiff_t>(r.pos())))
        return Error::Corrupt;

    for (const Locator& l : loc) {
        if (!l.present)
            return Error::Corrupt;
        if (l.offset > file.size() || l.size > file.size() - l.offset)
            return Error::Truncated;
    }
    // Records that end on the sentinel and locate sections inside the file
    // are taken despite a wrong CRC; the sections are checked as they are read.
    out.checksum_mismatches = crc16(0xC0C1, file.first(crc_at)) != crc ? 1 : 0;
    auto section = [&](const Locator& l) {
        const auto s = file.subspan(l.offset, l.size);
        return std::vector<std::uint8_t>(s.begin(), s.end());
    };
    out.version = version;
    out.maintenance = maintenance;
    out.header = section(loc[0]);
    out.classes = section(loc[1]);
    out.handles = section(loc[2]);
    out.objects = file;
    out.objects_storage.clear();
    return Error::Ok;
}

}  // namespace dwg::detail
