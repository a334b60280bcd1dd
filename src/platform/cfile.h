// Opening a C stream by path. Header-only and free of Qt, so the plain
// libraries (the database writer) use it too without linking this library.
#pragma once

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace platform {

// Windows: through the wide-character name, since the narrow one is in the
// ANSI code page and loses characters outside it.
inline std::FILE* open_file(const std::filesystem::path& path, const char* mode)
{
#ifdef _WIN32
    const std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wmode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

}  // namespace platform
