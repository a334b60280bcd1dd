#include "jet/jet.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "jet/format.h"
#include "jet/schema.h"
#include "jet/text.h"
#include "text/files.h"

namespace jet {

using namespace detail;

const char* message(Errc code)
{
    switch (code) {
    case Errc::ok: return "no error";
    case Errc::io_error: return "the file could not be read or written";
    case Errc::file_exists: return "the file already exists";
    case Errc::not_a_database: return "the file is not a database this program can write to";
    case Errc::bad_table_name: return "the table name is not allowed";
    case Errc::bad_column_name: return "a column name is not allowed";
    case Errc::duplicate_column: return "two columns have the same name";
    case Errc::too_many_columns: return "the table has too many or no columns";
    case Errc::wrong_value_count: return "the record does not have one value per column";
    case Errc::value_too_long: return "a value is longer than a text column holds";
    case Errc::record_too_large: return "the record is too large";
    case Errc::not_representable: return "a name has a character the database code page cannot hold";
    case Errc::invalid_utf8: return "a text is not valid UTF-8";
    case Errc::not_open: return "the database is not open";
    case Errc::file_too_large: return "the database would exceed the size this writer supports";
    }
    return "unknown error";
}

namespace {

Status validate(Version v, std::string_view table, const std::vector<std::string>& columns)
{
    if (Status s = check_name(table, v, Errc::bad_table_name, "table name"); !s.ok())
        return s;
    if (text_key(table, v).empty())
        return {Errc::bad_table_name,
                "table name \"" + std::string(table) + "\" must consist of letters A-Z and digits"};
    if (columns.empty())
        return {Errc::too_many_columns, "a table needs at least one column"};
    if (columns.size() > max_columns)
        return {Errc::too_many_columns,
                std::to_string(columns.size()) + " columns, the most is " + std::to_string(max_columns)};
    std::vector<std::pair<std::u16string, std::size_t>> folded;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (Status s = check_name(columns[i], v, Errc::bad_column_name, "column name"); !s.ok())
            return s;
        std::u16string u;
        utf8_to_utf16(columns[i], u);
        folded.emplace_back(fold_case(u), i);
    }
    std::sort(folded.begin(), folded.end());
    for (std::size_t i = 1; i < folded.size(); ++i) {
        if (folded[i].first == folded[i - 1].first) {
            const std::size_t a = std::min(folded[i].second, folded[i - 1].second);
            const std::size_t b = std::max(folded[i].second, folded[i - 1].second);
            return {Errc::duplicate_column, "columns " + std::to_string(a + 1) + " \"" + columns[a] + "\" and " +
                                                std::to_string(b + 1) + " \"" + columns[b] + "\" have the same name"};
        }
    }
    return {};
}

// ---- files -----------------------------------------------------------------

class FileSink final : public Sink {
public:
    explicit FileSink(std::filesystem::path target) : target_(std::move(target))
    {
        temp_ = target_;
        temp_ += ".part";
    }
    ~FileSink() override
    {
        if (file_)
            std::fclose(file_);
        if (!done_) {
            std::error_code ec;
            std::filesystem::remove(temp_, ec);
        }
    }
    Status start()
    {
        errno = 0;
        file_ = text::open_file(temp_, "wb");
        if (!file_)
            return {Errc::io_error, "cannot create " + text::path_utf8(temp_) + ": " + std::strerror(errno), errno};
        return {};
    }
    Status write(const void* data, std::size_t size) override
    {
        if (std::fwrite(data, 1, size, file_) != size)
            return {Errc::io_error, "cannot write " + text::path_utf8(temp_) + ": " + std::strerror(errno), errno};
        return {};
    }
    Status finish() override
    {
        const bool flushed = std::fflush(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed)
            return {Errc::io_error, "cannot write " + text::path_utf8(temp_) + ": " + std::strerror(errno), errno};
        std::error_code ec;
        std::filesystem::rename(temp_, target_, ec);
        if (ec)
            return {Errc::io_error,
                    "cannot rename " + text::path_utf8(temp_) + " to " + text::path_utf8(target_) + ": " + ec.message(),
                    ec.value()};
        done_ = true;
        return {};
    }

private:
    std::filesystem::path target_, temp_;
    std::FILE* file_ = nullptr;
    bool done_ = false;
};

}  // namespace

Status check_columns(const std::vector<std::string>& columns) { return validate(Version::Jet3, "Main", columns); }

Status check_columns(Version version, const std::vector<std::string>& columns)
{
    return validate(version, "Main", columns);
}

Status create(Sink& sink, Version version, std::string_view table, const std::vector<std::string>& columns)
{
    if (Status s = validate(version, table, columns); !s.ok())
        return s;
    std::vector<Bytes> pages;
    if (Status s = build_database(version, table, columns, pages); !s.ok())
        return s;
    for (const Bytes& p : pages)
        if (Status s = sink.write(p.data(), p.size()); !s.ok())
            return s;
    return sink.finish();
}

Status create(const std::filesystem::path& path, Version version, std::string_view table,
              const std::vector<std::string>& columns)
{
    if (Status s = validate(version, table, columns); !s.ok())
        return s;
    std::error_code ec;
    if (std::filesystem::exists(path, ec))
        return {Errc::file_exists, text::path_utf8(path) + " already exists"};
    FileSink sink(path);
    if (Status s = sink.start(); !s.ok())
        return s;
    return create(sink, version, table, columns);
}

}  // namespace jet
