#pragma once
// Result codes of the DWG reader. The values are stable: the drawing
// component hands them on as its 16-bit LastError, where 0 means success and
// 3 a missing file.
//
// | code | name               | meaning                                              |
// |------|--------------------|------------------------------------------------------|
// | 0    | Ok                 | no error                                             |
// | 3    | FileNotFound       | the path names no file                               |
// | 5    | ReadFailed         | the file exists but could not be read                |
// | 10   | NotDwg             | the file does not start like a drawing               |
// | 11   | UnsupportedVersion | a drawing of a version this reader does not decode   |
// | 12   | Truncated          | the file ends before a structure it announces        |
// | 13   | Corrupt            | a structure is inconsistent (bad CRC, size, pointer) |
// | 14   | TooLarge           | a size in the file exceeds what the reader accepts   |
// | 15   | Encrypted          | the drawing's data is encrypted (password-protected) |
// | 20   | BlockNotFound      | the drawing has no block of the requested name       |
// | 30   | BadArgument        | a handle, id or key the reader never gave out        |

#include <cstdint>

namespace dwg {

enum class Error : std::uint16_t {
    Ok = 0,
    FileNotFound = 3,
    ReadFailed = 5,
    NotDwg = 10,
    UnsupportedVersion = 11,
    Truncated = 12,
    Corrupt = 13,
    TooLarge = 14,
    Encrypted = 15,
    BlockNotFound = 20,
    BadArgument = 30,
};

// A short lower-case English phrase that reads as the reason after a
// sentence ("... could not be read: the drawing is damaged").
const char* message(Error e) noexcept;

}  // namespace dwg
