#include "jet/jet.h"

namespace jet {

const char* message(Errc code)
{
    switch (code) {
    case Errc::ok: return "no error";
    case Errc::io_error: return "the file could not be written";
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
    case Errc::file_too_large: return "the database would exceed its size limit";
    }
    return "unknown error";
}

struct Database::Impl {};
Database::Database() = default;
Database::~Database() = default;
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;

Status create(const std::filesystem::path&, Version, std::string_view, const std::vector<std::string>&)
{
    return {Errc::io_error, "not implemented yet"};
}
Status create(Sink&, Version, std::string_view, const std::vector<std::string>&)
{
    return {Errc::io_error, "not implemented yet"};
}
Status check_columns(const std::vector<std::string>&) { return {}; }
Status Database::open(const std::filesystem::path&, Database&) { return {Errc::not_a_database, "not implemented yet"}; }
bool Database::is_open() const { return false; }
Version Database::version() const { return Version::Jet4; }
const std::vector<std::string>& Database::columns() const { static const std::vector<std::string> none; return none; }
Status Database::append(const std::vector<std::optional<std::string>>&) { return {Errc::not_open, {}}; }
Status Database::close() { return {}; }
std::size_t max_text_chars() { return 255; }
std::size_t row_size(Version, const std::vector<std::optional<std::string>>&) { return 0; }
std::size_t max_row_size(Version v) { return v == Version::Jet3 ? 2012 : 4060; }
bool row_fits(Version, const std::vector<std::optional<std::string>>&) { return true; }

}  // namespace jet
