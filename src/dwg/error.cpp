#include "error.h"

namespace dwg {

const char* message(Error e) noexcept
{
    switch (e) {
    case Error::Ok: return "no error";
    case Error::FileNotFound: return "the file does not exist";
    case Error::ReadFailed: return "the file could not be read";
    case Error::NotDwg: return "the file is not a DWG drawing";
    case Error::UnsupportedVersion: return "drawings of this version cannot be read yet";
    case Error::Truncated: return "the drawing is truncated";
    case Error::Corrupt: return "the drawing is damaged";
    case Error::TooLarge: return "the drawing is too large to read";
    case Error::Encrypted: return "the drawing is protected by a password";
    case Error::BlockNotFound: return "the drawing has no block of that name";
    case Error::BadArgument: return "a handle, id or key that was never given out";
    }
    return "unknown error";
}

}  // namespace dwg
