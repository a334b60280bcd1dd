#include "csv_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

#include "platform/ansitext.h"
#include "text/files.h"

namespace output {
namespace {

using text::open_file;

Status system_failure(Errc code, int error) { return {code, std::strerror(error)}; }

Status write_file(const std::filesystem::path& path, const char* mode, std::string_view bytes)
{
    errno = 0;
    std::FILE* f = open_file(path, mode);
    if (!f)
        return system_failure(Errc::cannot_write, errno ? errno : EIO);
    const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    const int write_error = written == bytes.size() ? 0 : (errno ? errno : EIO);
    // Closed in every case, so that a later run can open the file again.
    const bool closed = std::fclose(f) == 0;
    if (write_error)
        return system_failure(Errc::cannot_write, write_error);
    if (!closed)
        return system_failure(Errc::cannot_write, errno ? errno : EIO);
    return {};
}

std::optional<std::string> read_file(const std::filesystem::path& path, int& error)
{
    errno = 0;
    std::FILE* f = open_file(path, "rb");
    if (!f) {
        error = errno ? errno : EIO;
        return std::nullopt;
    }
    std::string data;
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = EIO;
        return std::nullopt;
    }
    return data;
}

// Writes a copy beside the file and renames it over the file, so the file is
// either as it was or complete.
Status replace_file(const std::filesystem::path& path, std::string_view content)
{
    std::error_code ec;
    std::filesystem::path writing = path;
    writing += ".writing";
    if (Status written = write_file(writing, "wb", content); !written.ok()) {
        std::filesystem::remove(writing, ec);
        return written;
    }
    std::filesystem::rename(writing, path, ec);
    if (ec) {
        std::filesystem::remove(writing, ec);
        return {Errc::cannot_write, ec.message()};
    }
    return {};
}

}  // namespace

std::string csv_line(const std::vector<std::string_view>& cells)
{
    std::string line;
    for (std::string_view cell : cells) {
        line += '"';
        for (char c : cell) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += "\",";
    }
    line += "\r\n";
    return line;
}

CsvFile::CsvFile(std::filesystem::path path) : path_(std::move(path))
{
    if (std::FILE* f = open_file(path_, "rb")) {
        char start[3] = {};
        utf8_ = std::fread(start, 1, 3, f) == 3 && std::string_view(start, 3) == platform::utf8ByteOrderMark;
        std::fclose(f);
    }
}

Status CsvFile::WriteLine(const std::vector<std::string_view>& cells)
{
    const std::string line = csv_line(cells);
    if (!utf8_) {
        if (auto ansi = platform::utf8ToAnsi(line))
            return write_file(path_, "ab", *ansi);
        if (Status converted = ConvertToUtf8(); !converted.ok())
            return converted;
    }
    return write_file(path_, "ab", line);
}

Status CsvFile::StartUtf8()
{
    if (Status written = write_file(path_, "wb", platform::utf8ByteOrderMark); !written.ok())
        return written;
    utf8_ = true;
    return {};
}

Status CsvFile::ConvertToUtf8()
{
    std::string existing;
    std::error_code ec;
    if (std::filesystem::exists(path_, ec)) {
        int error = 0;
        auto data = read_file(path_, error);
        if (!data)
            return system_failure(Errc::cannot_write, error);
        existing = platform::ansiToUtf8(*data);
    }
    // The converted copy replaces the file only once it is complete, so a
    // failure leaves the lines written so far as they were.
    std::string content(platform::utf8ByteOrderMark);
    content += existing;
    if (Status replaced = replace_file(path_, content); !replaced.ok())
        return replaced;
    utf8_ = true;
    return {};
}

Status MergeCsvParts(const std::filesystem::path& out, const std::vector<std::filesystem::path>& parts)
{
    if (parts.empty())
        return {Errc::bad_part, "no part to merge"};
    std::string header;
    std::string lines;
    for (const auto& part : parts) {
        int error = 0;
        auto data = read_file(part, error);
        if (!data)
            return {Errc::cannot_read, part.string() + ": " + std::strerror(error)};
        std::string text = data->starts_with(platform::utf8ByteOrderMark)
                               ? data->substr(platform::utf8ByteOrderMark.size())
                               : platform::ansiToUtf8(*data);
        // Tags hold no line end (a template file could not keep one): the header is the first line.
        const std::size_t end = text.find("\r\n");
        if (end == std::string::npos)
            return {Errc::bad_part, part.string() + ": no header line"};
        const std::string_view partHeader(text.data(), end + 2);
        if (&part == &parts.front())
            header = partHeader;
        else if (partHeader != header)
            return {Errc::bad_part, part.string() + ": another header than " + parts.front().string()};
        lines.append(text, end + 2);
    }
    std::string content = header + lines;
    if (auto ansi = platform::utf8ToAnsi(content)) {
        content = std::move(*ansi);
    } else {
        content.insert(0, platform::utf8ByteOrderMark);
    }
    return replace_file(out, content);
}

}  // namespace output
