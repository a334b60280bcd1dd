// Writer of Access databases (Jet 3 = Access 97, Jet 4 = Access 2000) holding
// one table of Text(255) columns, filled one record per open/append/close.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

enum class Version { Jet3, Jet4 };

// Stable numbers: callers may store or compare them.
enum class Errc : int {
    ok = 0,
    io_error = 1,        // the file could not be read, written, renamed or removed
    file_exists = 2,     // create: the target already exists
    not_a_database = 3,  // open: not a file this writer made or understands
    bad_table_name = 4,
    bad_column_name = 5,     // empty, over 64 characters, forbidden characters, leading space
    duplicate_column = 6,    // two names equal ignoring case
    too_many_columns = 7,    // over 255, or none
    wrong_value_count = 8,   // append: not one value per column
    value_too_long = 9,      // a value over 255 characters
    record_too_large = 10,   // the record exceeds the engine's record size limit
    not_representable = 11,  // Jet 3: a name with a character outside code page 1252
    invalid_utf8 = 12,
    not_open = 13,        // append/close on a Database that is not open
    file_too_large = 14,  // the file would pass the format's size limit
};

const char* message(Errc code);

struct Status {
    Errc code = Errc::ok;
    std::string detail;    // names the cause: the column, the file, the system error
    int system_error = 0;  // errno of the failed system call, for a message without file names
    bool ok() const { return code == Errc::ok; }
    static Status success() { return {}; }
};

// Where the bytes of a new database go. The default writes a temporary file
// beside the target and renames it into place only when everything is written;
// tests substitute a sink that fails part way.
class Sink {
public:
    virtual ~Sink() = default;
    virtual Status write(const void* data, std::size_t size) = 0;
    virtual Status finish() = 0;  // flushes; the file is complete only after this
};

// The table is named `table` ("Main" for the run): letters A-Z, a-z and digits
// only, since its catalog key is computed here. Columns are UTF-8 names, each
// becoming Text(255), allow zero length, in order.
// Nothing is written when a name or a limit is wrong; an existing file at
// `path` is refused (file_exists), and on any failure no file remains there.
Status create(const std::filesystem::path& path, Version version, std::string_view table,
              const std::vector<std::string>& columns);

// Same, writing the bytes into `sink` (tests).
Status create(Sink& sink, Version version, std::string_view table, const std::vector<std::string>& columns);

// Checks a list of column names the way create() does, without writing.
// Without a version: the stricter Jet 3 rules (names in code page 1252).
Status check_columns(const std::vector<std::string>& columns);
Status check_columns(Version version, const std::vector<std::string>& columns);

class Database {
public:
    Database();
    ~Database();  // closes without reporting; call close() to learn of errors
    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    static Status open(const std::filesystem::path& path, Database& db);

    bool is_open() const;
    Version version() const;
    const std::vector<std::string>& columns() const;  // UTF-8 names, in order

    // One value per column: nullopt = null, "" = empty text. UTF-8. Jet 3
    // keeps text in code page 1252: a character it lacks becomes '?', as the
    // engine's own conversion does. A refused record leaves the file as it was.
    Status append(const std::vector<std::optional<std::string>>& values);

    Status close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Longest value a column holds, in characters (UTF-16 code units in Jet 4).
std::size_t max_text_chars();

// Bytes the record occupies as a row, and the most a row may occupy.
std::size_t row_size(Version version, const std::vector<std::optional<std::string>>& values);
std::size_t max_row_size(Version version);

// Whether append() would accept the record for its size and lengths
// (values longer than max_text_chars() do not fit).
bool row_fits(Version version, const std::vector<std::optional<std::string>>& values);

}  // namespace jet
