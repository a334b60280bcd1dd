#pragma once
// Why a run could not go on. The numbers are stable.
//
// | code | name            | meaning                                                   |
// |------|-----------------|-----------------------------------------------------------|
// | 0    | ok              |                                                           |
// | 1    | no_fields       | no row of the template list is ticked                     |
// | 2    | duplicate_field | two fields would give database columns of the same name   |
// | 3    | bad_field_name  | a field name the database does not accept as a column     |
// | 4    | too_many_fields | more fields than a database table holds                   |
// | 5    | cannot_replace  | an existing output file could not be deleted              |
// | 6    | cannot_create   | the output file could not be created                      |
// | 7    | cannot_write    | a row could not be added to the output file               |
// | 8    | cannot_read     | a CSV part to merge could not be read                     |
// | 9    | bad_part        | a CSV part is not one of this run's: no header, or another |

#include <string>

namespace output {

enum class Errc : int {
    ok = 0,
    no_fields = 1,
    duplicate_field = 2,
    bad_field_name = 3,
    too_many_fields = 4,
    cannot_replace = 5,
    cannot_create = 6,
    cannot_write = 7,
    cannot_read = 8,
    bad_part = 9,
};

const char* message(Errc code);

struct Status {
    Errc code = Errc::ok;
    std::string detail;  // the cause, in words: the system's error, the offending name
    bool ok() const { return code == Errc::ok; }
};

}  // namespace output
