// The database writer, checked from outside: every file goes through the
// independent checker (jetdump.py --check), libmdb and the npm reader
// mdb-reader, and its engine part is compared with engine-made references.
#include <glib.h>
#include <mdbtools.h>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "jet/jet.h"

namespace {

namespace fs = std::filesystem;
using Record = std::vector<std::optional<std::string>>;
using Columns = std::vector<std::string>;
const fs::path shared_dir = JET_SHARED_DIR;

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome run(const std::string& command)
{
    Outcome r;
    std::FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    std::array<char, 4096> buf{};
    for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string quote(const fs::path& p) { return "'" + p.string() + "'"; }

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Columns names(std::size_t n, const std::string& stem)
{
    Columns out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(stem + std::to_string(i + 1));
    return out;
}

// Creates a database and appends every record with its own open and close.
// A record append refuses must be one row_fits and row_size (which the run
// uses to shorten records) call too large; the others land in `kept`.
::testing::AssertionResult write_db(const fs::path& file, jet::Version v, const Columns& columns,
                                    const std::vector<Record>& records, std::vector<Record>* kept = nullptr)
{
    jet::Status s = jet::create(file, v, "Main", columns);
    for (std::size_t i = 0; s.ok() && i < records.size(); ++i) {
        jet::Database db;
        s = jet::Database::open(file, db);
        if (s.ok())
            s = db.append(records[i]);
        if (const jet::Status closed = db.close(); s.ok())
            s = closed;
        const bool fits = jet::row_fits(v, records[i]);
        if (fits != s.ok() || fits != (jet::row_size(v, records[i]) <= jet::max_row_size(v)))
            return ::testing::AssertionFailure() << "record " << i << ": row_fits disagrees with append";
        if (s.ok() && kept)
            kept->push_back(records[i]);
        if (!fits && kept && s.code == jet::Errc::record_too_large)
            s = {};
    }
    if (s.ok())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << jet::message(s.code) << ": " << s.detail;
}

::testing::AssertionResult jetdump_check(const fs::path& file, jet::Version v)
{
    const char* codes = v == jet::Version::Jet3 ? "index_codes_gen_97.txt" : "index_codes_genleg.txt";
    const Outcome r = run(std::string(PYTHON_EXECUTABLE) + " " + quote(shared_dir / "tools" / "jetdump.py") + " " +
                          quote(file) + " --check --codes " + quote(shared_dir / "codes" / codes));
    if (r.status == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "jetdump --check failed:\n" << r.out;
}

// Rows as libmdb reads them: a null and an empty text alike as "", and text as
// UCS-2, so a character beyond the BMP as "??". (Names are mdb-reader's to check.)
bool read_with_libmdb(const fs::path& file, std::vector<Columns>& rows)
{
    MdbHandle* mdb = mdb_open(file.string().c_str(), MDB_NOFLAGS);
    if (!mdb)
        return false;
    char main_name[] = "Main";
    MdbTableDef* t = mdb_read_catalog(mdb, MDB_ANY) ? mdb_read_table_by_name(mdb, main_name, MDB_TABLE) : nullptr;
    if (t) {
        mdb_read_columns(t);
        mdb_rewind_table(t);
        std::vector<std::vector<char>> bufs(t->num_cols, std::vector<char>(MDB_BIND_SIZE));
        std::vector<int> lens(t->num_cols);
        for (unsigned c = 0; c < t->num_cols; ++c)
            mdb_bind_column(t, static_cast<int>(c + 1), bufs[c].data(), &lens[c]);
        while (mdb_fetch_row(t)) {
            rows.emplace_back();
            for (unsigned c = 0; c < t->num_cols; ++c) rows.back().emplace_back(bufs[c].data(), lens[c]);
        }
        mdb_free_tabledef(t);
    }
    mdb_close(mdb);
    return t != nullptr;
}

std::string as_libmdb_reads(const std::string& s)
{
    std::string o;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool four_bytes = (static_cast<unsigned char>(s[i]) & 0xF8) == 0xF0;
        o += four_bytes ? "??" : s.substr(i, 1);
        if (four_bytes)
            i += 3;
    }
    return o;
}

// As JSON.stringify writes it.
std::string json_string(const std::string& s)
{
    std::string o = "\"";
    for (const char ch : s) {
        char u[8];
        std::snprintf(u, sizeof u, "\\u%04x", static_cast<unsigned char>(ch));
        o += ch == '"' || ch == '\\'                 ? std::string{'\\', ch}
             : ch == '\n'                            ? "\\n"
             : ch == '\r'                            ? "\\r"
             : ch == '\t'                            ? "\\t"
             : static_cast<unsigned char>(ch) < 0x20 ? u
                                                     : std::string(1, ch);
    }
    return o + "\"";
}

// What mdb-reader must print for the table (tests/readers/dump_table.mjs).
std::string expected_json(jet::Version v, const Columns& columns, const std::vector<Record>& records)
{
    const std::string size = v == jet::Version::Jet3 ? "255" : "510";
    std::string j = "{\"tables\":[\"Main\"],\"columns\":[";
    for (std::size_t i = 0; i < columns.size(); ++i)
        j += (i ? ",{\"name\":" : "{\"name\":") + json_string(columns[i]) + ",\"type\":\"text\",\"size\":" + size + "}";
    j += "],\"rows\":[";
    for (std::size_t r = 0; r < records.size(); ++r) {
        j += r ? ",{" : "{";
        for (std::size_t i = 0; i < columns.size(); ++i)
            j +=
                (i ? "," : "") + json_string(columns[i]) + ":" + (records[r][i] ? json_string(*records[r][i]) : "null");
        j += "}";
    }
    return j + "]}";
}

// Every reader must see exactly these columns and records.
void check_readers(const fs::path& file, jet::Version v, const Columns& columns, const std::vector<Record>& records)
{
    EXPECT_TRUE(jetdump_check(file, v));
    std::vector<Columns> mdb_rows, expected_rows;
    ASSERT_TRUE(read_with_libmdb(file, mdb_rows)) << "libmdb cannot read " << file;
    for (const Record& r : records) {
        expected_rows.emplace_back();
        for (const auto& value : r) expected_rows.back().push_back(as_libmdb_reads(value.value_or("")));
    }
    EXPECT_TRUE(mdb_rows == expected_rows) << "libmdb read back other rows";
    const Outcome js = run(std::string(NODE_EXECUTABLE) + " " + quote(MDB_READER_SCRIPT) + " " + quote(file));
    ASSERT_EQ(js.status, 0) << js.out;
    EXPECT_TRUE(js.out == expected_json(v, columns, records)) << "mdb-reader read back:\n" << js.out.substr(0, 2000);
}

class Writer : public ::testing::TestWithParam<jet::Version> {
protected:
    Writer() { fs::create_directories(dir_); }
    ~Writer() override { fs::remove_all(dir_); }
    jet::Version v() const { return GetParam(); }
    bool jet3() const { return GetParam() == jet::Version::Jet3; }
    fs::path file(const std::string& stem) const { return dir_ / (stem + ".mdb"); }
    fs::path copy_ref(const char* jet3_ref, const char* jet4_ref, const std::string& stem) const
    {
        const fs::path f = file(stem);
        fs::copy_file(shared_dir / (jet3() ? jet3_ref : jet4_ref), f);
        fs::permissions(f, fs::perms::owner_write, fs::perm_options::add);
        return f;
    }
    const fs::path dir_ = fs::temp_directory_path() / ("jet_test_" + std::to_string(::getpid()));
};

INSTANTIATE_TEST_SUITE_P(Versions, Writer, ::testing::Values(jet::Version::Jet3, jet::Version::Jet4),
                         [](const auto& info) { return info.param == jet::Version::Jet3 ? "Jet3" : "Jet4"; });

// ---- content, read back by three readers -------------------------------------

struct Content {
    const char* label;
    Columns columns;
    std::vector<Record> records;
};

// Random columns and records, seeded; some records too large to be kept.
Content random_content(jet::Version v, unsigned seed)
{
    const Columns alphabet = v == jet::Version::Jet3
                                 ? Columns{"a", "Z", "0", " ", "-", "\"", ",", "\\", "é", "ß", "€", "Ø", "\n", "'"}
                                 : Columns{"a", "Z", "0", " ", "-", "\"", ",", "\\", "é", "€", "図", "Ж", "😀", "\n"};
    std::mt19937 rng(seed);
    auto text = [&](std::size_t max) {
        std::string t;
        for (std::size_t n = rng() % (max + 1); n > 0; --n) t += alphabet[rng() % alphabet.size()];
        return t;
    };
    Content c{"random", {}, {}};
    for (std::size_t i = 0, n = 1 + rng() % 40; i < n; ++i) {
        std::string name = "C" + std::to_string(i) + "_" + text(20);
        std::replace(name.begin(), name.end(), '\n', '_');
        while (name.back() == ' ') name.pop_back();
        c.columns.push_back(name);
    }
    for (int r = 0; r < 150; ++r) {
        c.records.emplace_back();
        for (std::size_t i = 0; i < c.columns.size(); ++i) {
            const unsigned pick = rng() % 8;
            c.records.back().push_back(pick == 0 ? std::nullopt
                                                 : std::optional<std::string>(text(pick == 1   ? 0
                                                                                   : pick == 2 ? 120
                                                                                               : 20)));
        }
    }
    return c;
}

TEST_P(Writer, ReadersSeeExactlyWhatWasWritten)
{
    std::vector<Content> contents = {
        {"no record", {"Location", "Tag"}, {}},
        {"nulls, empty texts, quotes and separators",
         {"Location", "A", "B"},
         {{"x", std::nullopt, ""}, {"a,b", "", "say \"hi\"\r\nnext\ttab"}, {std::nullopt, std::nullopt, std::nullopt}}},
        jet3()
            ? Content{"Latin-1", {"Location", "Größe", "Prix €"}, {{"C:\\Pläne\\Ü.dwg", "Straße", "12,50 €"}}}
            : Content{"any Unicode", {"Location", "図面番号", "Имя"}, {{"C:\\図面\\平面図.dwg", "A-001 😀", "Пётр ∑"}}},
        // Full-length values, one record a page: past 512 (Jet 4) / 1024
        // (Jet 3) pages the table's page map turns into bitmap pages and the
        // file's page map grows.
        {"one record a page", names(7, "Field"), {}},
    };
    for (int i = 0; i < (jet3() ? 1100 : 560); ++i)
        contents.back().records.emplace_back(7, std::to_string(i) + std::string(255 - std::to_string(i).size(), 'x'));
    // Rows of varied lengths over many data pages.
    Content many{"thousands of records", {"Location", "Title", "Number", "Rev"}, {}};
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i)
        many.records.push_back({"C:\\work\\dwg" + std::to_string(i) + ".dwg", std::string(rng() % 60, 'T'),
                                std::to_string(rng()), i % 7 == 0 ? std::optional<std::string>("") : std::nullopt});
    contents.push_back(std::move(many));
    // The table definition over several pages, the properties chained.
    Content wide{"255 columns", {}, {Record(255, std::string("")), Record(255, std::nullopt)}};
    for (int i = 0; i < 255; ++i)
        wide.columns.push_back("Attribute tag number " + std::to_string(i + 1) + " of the title block");
    for (int i = 0; i < 255; i += 3) wide.records[1][i] = std::to_string(i);
    contents.push_back(std::move(wide));
    for (unsigned round = 0; round < 3; ++round)
        contents.push_back(random_content(v(), 20240501u + 7 * round + jet3()));

    for (const Content& c : contents) {
        SCOPED_TRACE(c.label);
        const fs::path f = file("content");
        fs::remove(f);
        std::vector<Record> kept;
        ASSERT_TRUE(write_db(f, v(), c.columns, c.records, &kept));
        check_readers(f, v(), c.columns, kept);
    }
}

TEST_P(Writer, EnginePartMatchesTheEngineReference)
{
    const fs::path f = file("ref");
    ASSERT_TRUE(write_db(f, v(), {"Location", "Tag"}, {{"a", "b"}}));
    auto compare = [&](const char* ref, const char* how) {
        const Outcome r =
            run(std::string(PYTHON_EXECUTABLE) + " " + quote(fs::path(JET_TEST_DIR) / "compare_ref.py") + " " +
                quote(shared_dir / "tools") + " " + quote(f) + " " + quote(shared_dir / ref) + " " + how);
        EXPECT_EQ(r.status, 0) << ref << ":\n" << r.out;
    };
    // Engine-only references exist for Jet 4 alone; Access-made files hold the
    // engine's objects too, next to Access's own, and a user table "Table" of
    // text columns as Access defines them.
    if (jet3()) {
        compare("ref/jet3/jackcess_delTestV1997.mdb", "--subset --user-table Table");
    } else {
        compare("ref/jet4/jackcess_adox_jet4.mdb", "--catalog");
        compare("ref/jet4/jackcess_delTestV2000.mdb", "--user-table Table");
    }
}

// ---- refusals: nothing written, nothing damaged ------------------------------

TEST_P(Writer, RefusesBadNamesBeforeWritingAnything)
{
    std::vector<std::pair<Columns, jet::Errc>> cases = {
        {{}, jet::Errc::too_many_columns},
        {names(256, "F"), jet::Errc::too_many_columns},
        {{"Location", "Tag", "Location"}, jet::Errc::duplicate_column},
        {{"Location", "TAG", "tag"}, jet::Errc::duplicate_column},
        {{"Location", "図面"}, jet3() ? jet::Errc::not_representable : jet::Errc::ok},
        {{std::string(64, 'n')}, jet::Errc::ok},
        {names(255, "F"), jet::Errc::ok},
    };
    for (const std::string bad : {"", "a.b", "a!", "`a", "[a]", " a", "a\tb"})
        cases.push_back({{"Location", bad}, jet::Errc::bad_column_name});
    cases.push_back({{"Location", std::string(65, 'n')}, jet::Errc::bad_column_name});
    for (const auto& [columns, expected] : cases) {
        SCOPED_TRACE(columns.empty() ? "" : columns.back());
        EXPECT_EQ(jet::check_columns(v(), columns).code, expected);
        const jet::Status s = jet::create(file("bad"), v(), "Main", columns);
        EXPECT_EQ(s.code, expected) << s.detail;
        EXPECT_EQ(s.detail.empty(), s.ok());
        EXPECT_EQ(fs::remove(file("bad")), s.ok());
    }
    for (const char* table : {"", "Ma in", "Größe", "_Main"})
        EXPECT_EQ(jet::create(file("bad"), v(), table, {"Location"}).code, jet::Errc::bad_table_name) << table;
    EXPECT_TRUE(fs::is_empty(dir_));
}

// A sink that takes `limit` bytes and then fails, like a full disk.
struct FailingSink : jet::Sink {
    explicit FailingSink(std::size_t limit) : limit(limit) {}
    jet::Status write(const void*, std::size_t n) override
    {
        return (size += n) > limit ? jet::Status{jet::Errc::io_error, "disk full"} : jet::Status{};
    }
    jet::Status finish() override { return {jet::Errc::io_error, "finished"}; }  // shows it was called
    std::size_t limit, size = 0;
};

// Runs `body` in a child process whose files cannot grow past `limit` bytes,
// so writing fails part way as on a full disk; returns the child's exit code.
int with_file_size_limit(std::uintmax_t limit, const std::function<jet::Status()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        setrlimit(RLIMIT_FSIZE, &rl);
        const jet::Status s = body();
        _exit(s.ok() || !s.detail.empty() ? static_cast<int>(s.code) : 255);  // an error says why
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_P(Writer, FailedCreateLeavesNothingAndKeepsWhatWasThere)
{
    const fs::path f = file("exists");
    std::ofstream(f) << "precious";
    EXPECT_EQ(jet::create(f, v(), "Main", {"Location"}).code, jet::Errc::file_exists);
    EXPECT_EQ(slurp(f), "precious");
    fs::remove(f);
    const fs::path missing = dir_ / "no such folder" / "x.mdb";
    const jet::Status s = jet::create(missing, v(), "Main", {"Location"});
    EXPECT_EQ(s.code, jet::Errc::io_error);
    EXPECT_NE(s.detail.find("no such folder"), std::string::npos) << s.detail;
    const int full = with_file_size_limit(3 * 4096, [&] { return jet::create(f, v(), "Main", names(100, "Column ")); });
    EXPECT_EQ(full, static_cast<int>(jet::Errc::io_error));
    EXPECT_TRUE(fs::is_empty(dir_));
    // A sink failing anywhere: its error, and never finished.
    FailingSink whole(SIZE_MAX);
    EXPECT_EQ(jet::create(whole, v(), "Main", names(200, "Some attribute ")).detail, "finished");
    for (const std::size_t limit : {std::size_t{0}, std::size_t{2048}, std::size_t{4096 * 3 + 5}, whole.size - 1}) {
        FailingSink sink(limit);
        EXPECT_EQ(jet::create(sink, v(), "Main", names(200, "Some attribute ")).detail, "disk full") << limit;
    }
}

// A refused record, bad or one the full disk cannot take, leaves the file as
// it was, and later records still go in.
TEST_P(Writer, RefusedRecordLeavesTheFileAsItWas)
{
    const fs::path f = file("refused");
    const Columns cols = names(10, "F");
    Record big(10, std::nullopt), too_long(10, std::nullopt), bad_utf8(10, std::nullopt);
    std::fill_n(big.begin(), 7, std::string(250, 'z'));  // one record a page
    too_long[3] = std::string(256, 'x');
    bad_utf8[0] = "\xFF";
    ASSERT_TRUE(write_db(f, v(), cols, {big}));
    const std::string before = slurp(f);
    const std::vector<std::pair<Record, jet::Errc>> cases = {
        {too_long, jet::Errc::value_too_long},
        {Record(10, std::string(255, 'x')), jet::Errc::record_too_large},
        {bad_utf8, jet::Errc::invalid_utf8},
        {Record(9, "x"), jet::Errc::wrong_value_count},
        {big, jet::Errc::io_error},
    };
    for (const auto& [values, expected] : cases) {
        const int code = with_file_size_limit(before.size(), [&] {
            jet::Database db;
            const jet::Status s = jet::Database::open(f, db);
            return s.ok() ? db.append(values) : s;
        });
        EXPECT_EQ(code, static_cast<int>(expected));
        EXPECT_TRUE(slurp(f) == before) << code;
    }
    jet::Database db;
    ASSERT_TRUE(jet::Database::open(f, db).ok());
    ASSERT_TRUE(db.append(big).ok());
    ASSERT_TRUE(db.close().ok());
    check_readers(f, v(), cols, {big, big});
}

// A table of text columns that Access made, with its own column sizes and
// deleted rows, takes records within its sizes; what open cannot append to it
// leaves alone.
TEST_P(Writer, OpenTakesWhatItCanAppendToAndLeavesTheRest)
{
    const fs::path f = copy_ref("ref/jet3/jackcess_delTestV1997.mdb", "ref/jet4/jackcess_delTestV2000.mdb", "access");
    jet::Database db;
    ASSERT_TRUE(jet::Database::open(f, db).ok());
    EXPECT_EQ(db.columns(), (Columns{"a", "b"}));
    EXPECT_EQ(db.append({std::string(51, 'x'), std::nullopt}).code, jet::Errc::value_too_long);
    EXPECT_TRUE(db.append({std::string(50, 'x'), std::nullopt}).ok());
    EXPECT_TRUE(db.append({"", "é"}).ok());
    EXPECT_TRUE(db.close().ok());
    EXPECT_TRUE(jetdump_check(f, v()));

    std::ofstream(file("text")) << std::string(5000, 'x');
    EXPECT_EQ(jet::Database::open(file("text"), db).code, jet::Errc::not_a_database);
    EXPECT_EQ(jet::Database::open(file("missing"), db).code, jet::Errc::io_error);
    EXPECT_EQ(db.append({"x"}).code, jet::Errc::not_open);
    // Several tables, none of them "Main", with indexes.
    const fs::path other = copy_ref("ref/jet3/jackcess_testV1997.mdb", "ref/jet4/jackcess_queryTestV2000.mdb", "other");
    const std::string before = slurp(other);
    EXPECT_EQ(jet::Database::open(other, db).code, jet::Errc::not_a_database);
    EXPECT_TRUE(slurp(other) == before);
}

// Damage in the pages an append reads and writes gives an error or a result,
// never a crash (the sanitizer build watches every byte).
TEST_P(Writer, DamagedPagesGiveAnErrorOrAResult)
{
    const fs::path f = file("damaged");
    ASSERT_TRUE(write_db(f, v(), {"Location"}, {{"a"}, {"b"}}));
    const std::string good = slurp(f);
    const std::size_t page = jet3() ? 2048 : 4096, head = jet3() ? 10 : 14, last = good.size() - page;
    // Free space, the last row's slot, the row count of the table's page; the
    // global map's row count.
    for (const auto& [at, value] : std::vector<std::pair<std::size_t, unsigned>>{{last + 2, 0xFFFF},
                                                                                 {last + head + 2, 0},
                                                                                 {last + head + 2, 0x1FFF},
                                                                                 {last + head - 2, 0xFFFF},
                                                                                 {page + head - 2, 0xFFFF}}) {
        std::string d = good;
        d[at] = static_cast<char>(value & 0xFF);
        d[at + 1] = static_cast<char>(value >> 8);
        std::ofstream(f, std::ios::binary | std::ios::trunc) << d;
        jet::Database db;
        if (jet::Database::open(f, db).ok())
            db.append({"c"});
    }
}

// ---- csv2mdb -----------------------------------------------------------------

// Quoted empty cells are empty texts, unquoted ones nulls; bad input, an
// unknown format or an existing output file give a non-zero exit.
TEST_P(Writer, Csv2mdb)
{
    auto csv2mdb = [&](const std::string& format, const std::string& text, const fs::path& mdb) {
        std::ofstream(dir_ / "in.csv", std::ios::binary) << text;
        return run(quote(CSV2MDB) + " --format " + format + " " + quote(dir_ / "in.csv") + " " + quote(mdb));
    };
    const Outcome r = csv2mdb(jet3() ? "97" : "2000",
                              "Location,Title,\"Rev, No\"\r\nC:\\a.dwg,\"\",\r\n"
                              "\"C:\\b \"\"x\"\".dwg\",\"two\nlines\",Ä\r\nc,,\"\"\n",
                              file("csv"));
    ASSERT_EQ(r.status, 0) << r.out;
    check_readers(file("csv"), v(), {"Location", "Title", "Rev, No"},
                  {{"C:\\a.dwg", "", std::nullopt}, {"C:\\b \"x\".dwg", "two\nlines", "Ä"}, {"c", std::nullopt, ""}});
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"2000", "Location\n\"abc\n"}, {"97", "Location\n" + std::string(256, 'x') + "\n"}, {"2003", "Location\n"}};
    for (const auto& [format, text] : bad) {
        const Outcome e = csv2mdb(format, text, file("out"));
        EXPECT_TRUE(e.status != 0 && !e.out.empty()) << text;
        fs::remove(file("out"));
    }
    const std::string made = slurp(file("csv"));
    EXPECT_NE(csv2mdb("97", "Location\n", file("csv")).status, 0);
    EXPECT_TRUE(slurp(file("csv")) == made);
}

}  // namespace
