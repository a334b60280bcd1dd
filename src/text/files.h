// File names: opening a C stream by path, and naming a path in a message.
#pragma once

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace text {

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

// A path as UTF-8 for messages: path::string() throws on Windows for a name
// outside the ANSI code page.
inline std::string path_utf8(const std::filesystem::path& path)
{
    const std::u8string u = path.u8string();
    return {u.begin(), u.end()};
}

}  // namespace text
