// The database writer, checked from outside: every file goes through the
// independent checker (jetdump.py --check), libmdb and the npm reader
// mdb-reader, and its engine part is compared with an engine-made reference.
#include <glib.h>
#include <mdbtools.h>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace {

namespace fs = std::filesystem;
using Value = std::optional<std::string>;
using Record = std::vector<Value>;

const fs::path shared_dir = JET_SHARED_DIR;

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome run(const std::string& command)
{
    Outcome r;
    std::FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
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

const char* name(jet::Version v) { return v == jet::Version::Jet3 ? "Jet3" : "Jet4"; }

class TempDir {
public:
    TempDir()
    {
        path_ = fs::temp_directory_path() / ("jet_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

// Creates a database and appends every record with its own open and close.
::testing::AssertionResult write_db(const fs::path& file, jet::Version v, const std::vector<std::string>& columns,
                                    const std::vector<Record>& records)
{
    const jet::Status c = jet::create(file, v, "Main", columns);
    if (!c.ok()) return ::testing::AssertionFailure() << "create: " << jet::message(c.code) << ": " << c.detail;
    for (std::size_t i = 0; i < records.size(); ++i) {
        jet::Database db;
        jet::Status s = jet::Database::open(file, db);
        if (s.ok()) s = db.append(records[i]);
        const jet::Status closed = db.close();
        if (s.ok()) s = closed;
        if (!s.ok())
            return ::testing::AssertionFailure() << "record " << i << ": " << jet::message(s.code) << ": " << s.detail;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult jetdump_check(const fs::path& file, jet::Version v)
{
    const fs::path codes = shared_dir / "codes" /
                           (v == jet::Version::Jet3 ? "index_codes_gen_97.txt" : "index_codes_genleg.txt");
    const Outcome r = run(std::string(PYTHON_EXECUTABLE) + " " + quote(shared_dir / "tools" / "jetdump.py") + " " +
                      quote(file) + " --check --codes " + quote(codes));
    if (r.status != 0) return ::testing::AssertionFailure() << "jetdump --check failed:\n" << r.out;
    return ::testing::AssertionSuccess();
}

// What libmdb sees: column names, types and sizes, and the rows (libmdb
// reads a null and an empty text alike, both as "").
struct MdbTable {
    std::vector<std::string> columns;
    std::vector<int> types, sizes;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> tables;
};

bool read_with_libmdb(const fs::path& file, MdbTable& out)
{
    MdbHandle* mdb = mdb_open(file.string().c_str(), MDB_NOFLAGS);
    if (!mdb) return false;
    bool ok = false;
    if (mdb_read_catalog(mdb, MDB_ANY)) {
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (e->object_type == MDB_TABLE && !mdb_is_system_table(e)) out.tables.emplace_back(e->object_name);
        }
        char main_name[] = "Main";
        MdbTableDef* t = mdb_read_table_by_name(mdb, main_name, MDB_TABLE);
        if (t) {
            mdb_read_columns(t);
            mdb_rewind_table(t);
            const unsigned n = t->num_cols;
            std::vector<std::vector<char>> bufs(n, std::vector<char>(MDB_BIND_SIZE));
            std::vector<int> lens(n);
            for (unsigned c = 0; c < n; ++c) {
                auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c));
                out.columns.emplace_back(col->name);
                out.types.push_back(col->col_type);
                out.sizes.push_back(col->col_size);
                mdb_bind_column(t, static_cast<int>(c + 1), bufs[c].data(), &lens[c]);
            }
            while (mdb_fetch_row(t)) {
                std::vector<std::string> row;
                for (unsigned c = 0; c < n; ++c) row.emplace_back(bufs[c].data(), static_cast<std::size_t>(lens[c]));
                out.rows.push_back(std::move(row));
            }
            mdb_free_tabledef(t);
            ok = true;
        }
    }
    mdb_close(mdb);
    return ok;
}

std::string json_string(const std::string& s)
{
    std::string o = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': o += "\\\""; break;
        case '\\': o += "\\\\"; break;
        case '\n': o += "\\n"; break;
        case '\r': o += "\\r"; break;
        case '\t': o += "\\t"; break;
        case '\b': o += "\\b"; break;
        case '\f': o += "\\f"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                o += buf;
            } else {
                o += ch;
            }
        }
    }
    return o + "\"";
}

// What mdb-reader must print for the table (see tests/readers/dump_table.mjs).
std::string expected_json(jet::Version v, const std::vector<std::string>& columns, const std::vector<Record>& records)
{
    const int size = v == jet::Version::Jet3 ? 255 : 510;
    std::string j = "{\"tables\":[\"Main\"],\"columns\":[";
    for (std::size_t i = 0; i < columns.size(); ++i)
        j += (i ? "," : "") + std::string("{\"name\":") + json_string(columns[i]) + ",\"type\":\"text\",\"size\":" +
             std::to_string(size) + "}";
    j += "],\"rows\":[";
    for (std::size_t r = 0; r < records.size(); ++r) {
        j += r ? ",{" : "{";
        for (std::size_t i = 0; i < columns.size(); ++i)
            j += (i ? "," : "") + json_string(columns[i]) + ":" + (records[r][i] ? json_string(*records[r][i]) : "null");
        j += "}";
    }
    return j + "]}";
}

// libmdb converts text as UCS-2: a character beyond the BMP (a surrogate
// pair) comes back as two question marks.
std::string as_libmdb_reads(const std::string& s)
{
    std::string o;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xF8) == 0xF0) {
            o += "??";
            i += 3;
        } else {
            o += s[i];
        }
    }
    return o;
}

// Every reader must see exactly these columns and records.
void check_readers(const fs::path& file, jet::Version v, const std::vector<std::string>& columns,
                   const std::vector<Record>& records)
{
    EXPECT_TRUE(jetdump_check(file, v));

    MdbTable t;
    ASSERT_TRUE(read_with_libmdb(file, t)) << "libmdb cannot read " << file;
    EXPECT_EQ(t.tables, std::vector<std::string>{"Main"});
    std::vector<std::string> libmdb_columns;
    for (const std::string& c : columns) libmdb_columns.push_back(as_libmdb_reads(c));
    EXPECT_EQ(t.columns, libmdb_columns);
    for (std::size_t c = 0; c < t.types.size(); ++c) {
        EXPECT_EQ(t.types[c], MDB_TEXT) << "column " << c;
        EXPECT_EQ(t.sizes[c], v == jet::Version::Jet3 ? 255 : 510) << "column " << c;
    }
    ASSERT_EQ(t.rows.size(), records.size());
    for (std::size_t r = 0; r < records.size(); ++r)
        for (std::size_t c = 0; c < columns.size(); ++c)
            ASSERT_EQ(t.rows[r][c], as_libmdb_reads(records[r][c].value_or(""))) << "row " << r << " column " << c;

    const Outcome js = run(std::string(NODE_EXECUTABLE) + " " + quote(MDB_READER_SCRIPT) + " " + quote(file));
    ASSERT_EQ(js.status, 0) << js.out;
    EXPECT_TRUE(js.out == expected_json(v, columns, records)) << "mdb-reader read back something else:\n"
                                                               << js.out.substr(0, 2000);
}

std::vector<std::string> names(std::size_t n, const std::string& stem)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(stem + std::to_string(i + 1));
    return out;
}

class Writer : public ::testing::TestWithParam<jet::Version> {
protected:
    jet::Version v() const { return GetParam(); }
    fs::path file(const std::string& stem) const { return dir_.path() / (stem + ".mdb"); }
    TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Versions, Writer, ::testing::Values(jet::Version::Jet3, jet::Version::Jet4),
                         [](const auto& info) { return std::string(name(info.param)); });

// ---- content, read back by three readers -------------------------------------

struct Content {
    const char* label;
    std::vector<std::string> columns;
    std::vector<Record> records;
};

std::vector<Content> contents(jet::Version v)
{
    std::vector<Content> out;
    out.push_back({"no record", {"Location", "Tag"}, {}});
    out.push_back({"one short column", {"A"}, {{"x"}, {std::nullopt}, {""}}});
    out.push_back({"one record", {"Location", "TITLE", "DRAWN BY"}, {{"C:\\drawings\\a.dwg", "Plan", "JS"}}});
    out.push_back({"nulls and empty texts",
                   {"Location", "A", "B", "C"},
                   {{"x", std::nullopt, "", "c"}, {"y", "", std::nullopt, std::nullopt}, {"", "", "", ""},
                    {std::nullopt, std::nullopt, std::nullopt, std::nullopt}}});
    out.push_back({"quotes and separators", {"Location", "Note"}, {{"a,b", "say \"hi\"\r\nnext line\ttab"}}});
    if (v == jet::Version::Jet3) {
        out.push_back({"Latin-1 names and values",
                       {"Location", "Größe", "Prix €", "Ñandú"},
                       {{"C:\\Pläne\\Übersicht.dwg", "Straße", "12,50 €", "àéîõü ÀÉÎÕÜ ß ÿ"}}});
    } else {
        out.push_back({"any Unicode",
                       {"Location", "図面番号", "Ωμέγα", "Имя"},
                       {{"C:\\図面\\平面図.dwg", "A-001 😀", "αβγ", "Пётр ∑ ≠ ∞"}}});
    }
    // Longest values: every column full, as many columns as a record holds.
    const std::size_t full = v == jet::Version::Jet3 ? 7 : 7;
    std::vector<std::string> cols = names(full, "Field");
    Record big;
    for (std::size_t i = 0; i < full; ++i) big.push_back(std::string(255, static_cast<char>('a' + i)));
    out.push_back({"full-length values", cols, {big, big}});
    // Several data pages: thousands of varied records.
    {
        Content c{"thousands of records", {"Location", "Title", "Number", "Rev"}, {}};
        std::mt19937 rng(7);
        for (int i = 0; i < 3000; ++i) {
            Record r{"C:\\work\\dwg" + std::to_string(i) + ".dwg", std::string(rng() % 60, 'T'), std::to_string(rng()),
                     std::nullopt};
            if (i % 7 == 0) r[3] = "";
            if (i % 11 == 0) r[3] = "B";
            c.records.push_back(std::move(r));
        }
        out.push_back(std::move(c));
    }
    // The table definition over several pages, the properties chained.
    {
        Content c{"255 columns", {}, {}};
        for (int i = 0; i < 255; ++i)
            c.columns.push_back("Attribute tag number " + std::to_string(i + 1) + " of the title block");
        Record r(255, std::nullopt);
        for (int i = 0; i < 255; i += 3) r[i] = std::to_string(i);
        c.records = {r, Record(255, std::string("")), Record(255, std::nullopt)};
        out.push_back(std::move(c));
    }
    return out;
}

TEST_P(Writer, ReadersSeeExactlyWhatWasWritten)
{
    for (const Content& c : contents(v())) {
        SCOPED_TRACE(c.label);
        const fs::path f = file("content");
        fs::remove(f);
        ASSERT_TRUE(write_db(f, v(), c.columns, c.records));
        check_readers(f, v(), c.columns, c.records);
    }
}

// Random tables and records, seeded: whatever append accepts reads back the
// same, whatever it refuses is refused for its size.
TEST_P(Writer, RandomRecordsRoundTrip)
{
    const std::vector<std::string> alphabet =
        v() == jet::Version::Jet3
            ? std::vector<std::string>{"a", "Z", "0", " ", "-", "\"", ",", "\\", "é", "ß", "€", "Ø", "\n", "'"}
            : std::vector<std::string>{"a", "Z", "0", " ", "-", "\"", ",", "\\", "é", "€", "図", "Ж", "😀", "\n"};
    std::mt19937 rng(20240501u + static_cast<unsigned>(v()));
    auto text = [&](std::size_t max) {
        std::string t;
        const std::size_t n = rng() % (max + 1);
        for (std::size_t i = 0; i < n; ++i) t += alphabet[rng() % alphabet.size()];
        return t;
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::string> cols;
        const std::size_t ncols = 1 + rng() % 40;
        for (std::size_t c = 0; c < ncols; ++c) {
            std::string n = "C" + std::to_string(c) + "_" + text(20);
            while (n.back() == ' ' || n.back() == '\n') n.pop_back();
            for (char& ch : n)
                if (ch == '\n') ch = '_';
            cols.push_back(n);
        }
        const fs::path f = file("random" + std::to_string(round));
        ASSERT_TRUE(jet::create(f, v(), "Main", cols).ok());
        std::vector<Record> kept;
        for (int r = 0; r < 150; ++r) {
            Record rec;
            for (std::size_t c = 0; c < ncols; ++c) {
                const unsigned pick = rng() % 8;
                if (pick == 0) rec.emplace_back(std::nullopt);
                else if (pick == 1) rec.emplace_back("");
                else rec.emplace_back(text(pick == 2 ? 120 : 20));
            }
            jet::Database db;
            ASSERT_TRUE(jet::Database::open(f, db).ok());
            const jet::Status s = db.append(rec);
            ASSERT_TRUE(db.close().ok());
            if (jet::row_fits(v(), rec)) {
                ASSERT_TRUE(s.ok()) << s.detail;
                kept.push_back(rec);
            } else {
                ASSERT_TRUE(s.code == jet::Errc::record_too_large || s.code == jet::Errc::value_too_long) << s.detail;
            }
        }
        check_readers(f, v(), cols, kept);
    }
}

// Past 512 (Jet 4) / 1024 (Jet 3) pages the table's page map turns into a
// bitmap page and the file's page map grows.
TEST_P(Writer, LargeFileKeepsItsPageMapsRight)
{
    const std::size_t per_row = v() == jet::Version::Jet3 ? 7 : 7;
    const std::size_t chars = v() == jet::Version::Jet3 ? 250 : 255;
    const int rows = v() == jet::Version::Jet3 ? 1100 : 560;
    const std::vector<std::string> cols = names(per_row, "C");
    std::vector<Record> records;
    for (int i = 0; i < rows; ++i) {
        Record r;
        for (std::size_t k = 0; k < per_row; ++k) r.push_back(std::to_string(i) + std::string(chars - 6, 'x'));
        records.push_back(std::move(r));
    }
    const fs::path f = file("large");
    ASSERT_TRUE(write_db(f, v(), cols, records));
    EXPECT_GT(fs::file_size(f) / (v() == jet::Version::Jet3 ? 2048 : 4096), v() == jet::Version::Jet3 ? 1024u : 512u);
    check_readers(f, v(), cols, records);
}

TEST_P(Writer, EnginePartMatchesTheEngineReference)
{
    const fs::path f = file("ref");
    ASSERT_TRUE(write_db(f, v(), {"Location", "Tag"}, {{"a", "b"}}));
    auto compare = [&](const char* ref, const char* how) {
        const Outcome r = run(std::string(PYTHON_EXECUTABLE) + " " + quote(fs::path(JET_TEST_DIR) / "compare_ref.py") +
                              " " + quote(shared_dir / "tools") + " " + quote(f) + " " + quote(shared_dir / ref) + " " + how);
        EXPECT_EQ(r.status, 0) << ref << ":\n" << r.out;
    };
    // Engine-only references exist for Jet 4 alone; Access-made files hold the
    // engine's objects too, next to Access's own, and a user table "Table" of
    // text columns as Access defines them.
    if (v() == jet::Version::Jet4) {
        compare("ref/jet4/jackcess_adox_jet4.mdb", "--catalog");
        compare("ref/jet4/jackcess_delTestV2000.mdb", "--user-table Table");
    } else {
        compare("ref/jet3/jackcess_delTestV1997.mdb", "--subset --user-table Table");
    }
}

// ---- refusals: nothing written, nothing damaged ------------------------------

struct BadColumns {
    const char* label;
    std::vector<std::string> columns;
    jet::Errc expected;
};

TEST_P(Writer, RefusesBadColumnsBeforeWritingAnything)
{
    const std::vector<BadColumns> cases = {
        {"no column", {}, jet::Errc::too_many_columns},
        {"256 columns", names(256, "F"), jet::Errc::too_many_columns},
        {"empty name", {"Location", ""}, jet::Errc::bad_column_name},
        {"65 characters", {"Location", std::string(65, 'n')}, jet::Errc::bad_column_name},
        {"dot", {"Location", "a.b"}, jet::Errc::bad_column_name},
        {"exclamation mark", {"Location", "a!"}, jet::Errc::bad_column_name},
        {"grave accent", {"Location", "`a"}, jet::Errc::bad_column_name},
        {"brackets", {"Location", "[a]"}, jet::Errc::bad_column_name},
        {"leading space", {"Location", " a"}, jet::Errc::bad_column_name},
        {"control character", {"Location", "a\tb"}, jet::Errc::bad_column_name},
        {"same name twice", {"Location", "Tag", "Location"}, jet::Errc::duplicate_column},
        {"differing in case only", {"Location", "TAG", "tag"}, jet::Errc::duplicate_column},
        {"differing in case only, accented", {"Location", "ÉTÉ", "été"}, jet::Errc::duplicate_column},
        {"malformed UTF-8", {"Location", "a\xC3"}, jet::Errc::invalid_utf8},
    };
    for (const BadColumns& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path f = file("bad");
        EXPECT_EQ(jet::check_columns(v(), c.columns).code, c.expected);
        const jet::Status s = jet::create(f, v(), "Main", c.columns);
        EXPECT_EQ(s.code, c.expected) << s.detail;
        EXPECT_FALSE(s.detail.empty());
        EXPECT_FALSE(fs::exists(f));
        EXPECT_TRUE(fs::is_empty(dir_.path()));
    }
    // 64 characters and 255 columns are still fine.
    EXPECT_TRUE(jet::create(file("limits"), v(), "Main", {std::string(64, 'n')}).ok());
    EXPECT_TRUE(jet::create(file("limits255"), v(), "Main", names(255, "F")).ok());
}

TEST_P(Writer, RefusesTableNamesItCannotKey)
{
    for (const char* bad : {"", "Ma in", "Main!", "Größe", "_Main"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(jet::create(file("t"), v(), bad, {"Location"}).code, jet::Errc::bad_table_name);
    }
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST(WriterJet3, RefusesNamesOutsideCodePage1252)
{
    TempDir dir;
    const jet::Status s = jet::create(dir.path() / "x.mdb", jet::Version::Jet3, "Main", {"Location", "図面"});
    EXPECT_EQ(s.code, jet::Errc::not_representable);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_TRUE(jet::create(dir.path() / "y.mdb", jet::Version::Jet4, "Main", {"Location", "図面"}).ok());
}

TEST(WriterJet3, TextOutsideCodePage1252BecomesQuestionMarks)
{
    TempDir dir;
    const fs::path f = dir.path() / "x.mdb";
    ASSERT_TRUE(write_db(f, jet::Version::Jet3, {"Location"}, {{"A図B€"}}));
    MdbTable t;
    ASSERT_TRUE(read_with_libmdb(f, t));
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0][0], "A?B€");
}

TEST_P(Writer, ExistingFileIsNotOverwritten)
{
    const fs::path f = file("exists");
    { std::ofstream(f) << "precious"; }
    EXPECT_EQ(jet::create(f, v(), "Main", {"Location"}).code, jet::Errc::file_exists);
    EXPECT_EQ(slurp(f), "precious");
}

TEST_P(Writer, MissingFolderLeavesNoFile)
{
    const fs::path f = dir_.path() / "no such folder" / "x.mdb";
    const jet::Status s = jet::create(f, v(), "Main", {"Location"});
    EXPECT_EQ(s.code, jet::Errc::io_error);
    EXPECT_NE(s.detail.find("no such folder"), std::string::npos) << s.detail;
    EXPECT_FALSE(fs::exists(f.parent_path()));
}

// A sink that takes `limit` bytes and then fails, like a full disk.
class FailingSink : public jet::Sink {
public:
    explicit FailingSink(std::size_t limit) : limit_(limit) {}
    jet::Status write(const void* data, std::size_t size) override
    {
        if (bytes_.size() + size > limit_) return {jet::Errc::io_error, "disk full"};
        bytes_.append(static_cast<const char*>(data), size);
        return {};
    }
    jet::Status finish() override
    {
        finished_ = true;
        return {};
    }
    bool finished() const { return finished_; }
    std::size_t size() const { return bytes_.size(); }

private:
    std::size_t limit_;
    std::string bytes_;
    bool finished_ = false;
};

TEST_P(Writer, FailingSinkReportsTheErrorAndNeverFinishes)
{
    const std::vector<std::string> cols = names(200, "Some attribute ");
    FailingSink whole(SIZE_MAX);
    ASSERT_TRUE(jet::create(whole, v(), "Main", cols).ok());
    ASSERT_TRUE(whole.finished());
    const std::size_t total = whole.size();
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{2048}, std::size_t{4096 * 3 + 5},
                                    total / 2, total - 1}) {
        SCOPED_TRACE(limit);
        FailingSink sink(limit);
        const jet::Status s = jet::create(sink, v(), "Main", cols);
        EXPECT_EQ(s.code, jet::Errc::io_error);
        EXPECT_EQ(s.detail, "disk full");
        EXPECT_FALSE(sink.finished());
    }
}

// Runs `body` in a child process whose files cannot grow past `limit` bytes,
// so writing fails part way as on a full disk; returns the child's exit code.
int with_file_size_limit(std::uintmax_t limit, const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        setrlimit(RLIMIT_FSIZE, &rl);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_P(Writer, CreateOnAFullDiskLeavesNoFile)
{
    const fs::path f = file("full");
    const int code = with_file_size_limit(3 * 4096, [&] {
        return static_cast<int>(jet::create(f, v(), "Main", names(100, "Column ")).code);
    });
    EXPECT_EQ(code, static_cast<int>(jet::Errc::io_error));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_P(Writer, AppendOnAFullDiskLeavesTheFileAsItWas)
{
    const fs::path f = file("full");
    const std::vector<std::string> cols = names(7, "F");
    const Record full(7, std::string(250, 'z'));
    ASSERT_TRUE(write_db(f, v(), cols, {full}));
    const std::string before = slurp(f);
    // The next record needs a page of its own, which the disk refuses.
    const int code = with_file_size_limit(before.size(), [&] {
        jet::Database db;
        if (!jet::Database::open(f, db).ok()) return 100;
        const jet::Status s = db.append(full);
        db.close();
        return static_cast<int>(s.code);
    });
    EXPECT_EQ(code, static_cast<int>(jet::Errc::io_error));
    EXPECT_TRUE(slurp(f) == before);
    // Later records still go in.
    jet::Database db;
    ASSERT_TRUE(jet::Database::open(f, db).ok());
    ASSERT_TRUE(db.append(full).ok());
    ASSERT_TRUE(db.close().ok());
    check_readers(f, v(), cols, {full, full});
}

struct BadRecord {
    const char* label;
    Record values;
    jet::Errc expected;
};

TEST_P(Writer, RefusedRecordLeavesTheFileAsItWas)
{
    const fs::path f = file("refused");
    const std::vector<std::string> cols = names(10, "F");
    ASSERT_TRUE(write_db(f, v(), cols, {Record(10, "kept")}));
    const std::string before = slurp(f);
    Record too_long(10, std::nullopt);
    too_long[3] = std::string(256, 'x');
    Record too_large(10, std::string(255, 'x'));
    Record bad_utf8(10, std::nullopt);
    bad_utf8[0] = "\xFF";
    Record wrong_count(9, "x");
    const std::vector<BadRecord> cases = {
        {"a value of 256 characters", too_long, jet::Errc::value_too_long},
        {"a record over the size limit", too_large, jet::Errc::record_too_large},
        {"malformed UTF-8", bad_utf8, jet::Errc::invalid_utf8},
        {"too few values", wrong_count, jet::Errc::wrong_value_count},
    };
    for (const BadRecord& c : cases) {
        SCOPED_TRACE(c.label);
        jet::Database db;
        ASSERT_TRUE(jet::Database::open(f, db).ok());
        EXPECT_FALSE(jet::row_fits(v(), c.values) && c.values.size() == cols.size());
        const jet::Status s = db.append(c.values);
        EXPECT_EQ(s.code, c.expected) << s.detail;
        EXPECT_FALSE(s.detail.empty());
        EXPECT_TRUE(db.close().ok());
        EXPECT_TRUE(slurp(f) == before);
    }
    check_readers(f, v(), cols, {Record(10, "kept")});
}

// The size the run uses to shorten records agrees with what append accepts.
TEST_P(Writer, RowFitsAgreesWithAppend)
{
    const fs::path f = file("fits");
    const std::vector<std::string> cols = names(20, "F");
    ASSERT_TRUE(jet::create(f, v(), "Main", cols).ok());
    jet::Database db;
    ASSERT_TRUE(jet::Database::open(f, db).ok());
    EXPECT_EQ(jet::max_text_chars(), 255u);
    for (std::size_t len = 60; len <= 255; len += 5) {
        const Record r(20, std::string(len, 'e'));
        const bool fits = jet::row_fits(v(), r);
        EXPECT_EQ(fits, jet::row_size(v(), r) <= jet::max_row_size(v())) << len;
        EXPECT_EQ(db.append(r).ok(), fits) << len;
    }
    EXPECT_TRUE(db.close().ok());
    EXPECT_TRUE(jetdump_check(f, v()));
}

TEST_P(Writer, OpenRefusesWhatItCannotAppendTo)
{
    const fs::path text = file("text");
    { std::ofstream(text) << std::string(5000, 'x'); }
    jet::Database db;
    EXPECT_EQ(jet::Database::open(text, db).code, jet::Errc::not_a_database);
    EXPECT_EQ(jet::Database::open(file("missing"), db).code, jet::Errc::io_error);
    EXPECT_EQ(db.append({"x"}).code, jet::Errc::not_open);

    // Several tables, none of them "Main", with indexes: left alone.
    const fs::path other = file("other");
    fs::copy_file(shared_dir / (v() == jet::Version::Jet3 ? "ref/jet3/jackcess_testV1997.mdb"
                                                          : "ref/jet4/jackcess_queryTestV2000.mdb"),
                  other);
    fs::permissions(other, fs::perms::owner_write, fs::perm_options::add);
    const std::string before = slurp(other);
    const jet::Status s = jet::Database::open(other, db);
    EXPECT_EQ(s.code, jet::Errc::not_a_database) << s.detail;
    EXPECT_TRUE(slurp(other) == before);
}

// A table of text columns that Access made, with its own column sizes and
// deleted rows, takes records too, within its sizes.
TEST_P(Writer, AppendsToATableAccessMade)
{
    const fs::path f = file("access");
    fs::copy_file(shared_dir / (v() == jet::Version::Jet3 ? "ref/jet3/jackcess_delTestV1997.mdb"
                                                          : "ref/jet4/jackcess_delTestV2000.mdb"),
                  f);
    fs::permissions(f, fs::perms::owner_write, fs::perm_options::add);
    jet::Database db;
    ASSERT_TRUE(jet::Database::open(f, db).ok());
    EXPECT_EQ(db.columns(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(db.append({std::string(51, 'x'), std::nullopt}).code, jet::Errc::value_too_long);
    EXPECT_TRUE(db.append({std::string(50, 'x'), std::nullopt}).ok());
    EXPECT_TRUE(db.append({"", "é"}).ok());
    EXPECT_TRUE(db.close().ok());
    EXPECT_TRUE(jetdump_check(f, v()));
}

}  // namespace

// ---- csv2mdb -----------------------------------------------------------------

namespace {

Outcome csv2mdb(const std::string& format, const fs::path& csv, const fs::path& mdb)
{
    return run(quote(CSV2MDB) + " --format " + format + " " + quote(csv) + " " + quote(mdb));
}

}  // namespace

TEST_P(Writer, Csv2mdbTellsQuotedEmptyFromUnquoted)
{
    const fs::path csv = dir_.path() / "in.csv";
    std::ofstream(csv, std::ios::binary) << "Location,Title,\"Rev, No\"\r\n"
                                            "C:\\a.dwg,\"\",\r\n"
                                            "\"C:\\b \"\"x\"\".dwg\",\"two\nlines\",Ä\r\n"
                                            "c,,\"\"\n";
    const fs::path f = file("csv");
    const Outcome r = csv2mdb(v() == jet::Version::Jet3 ? "97" : "2000", csv, f);
    ASSERT_EQ(r.status, 0) << r.out;
    check_readers(f, v(), {"Location", "Title", "Rev, No"},
                  {{"C:\\a.dwg", "", std::nullopt}, {"C:\\b \"x\".dwg", "two\nlines", "Ä"}, {"c", std::nullopt, ""}});
}

TEST(Csv2mdb, ReportsErrorsWithANonZeroExit)
{
    TempDir dir;
    struct Case {
        const char* label;
        std::string csv;
        std::string args;
    };
    const std::vector<Case> cases = {
        {"unclosed quote", "Location\n\"abc\n", "--format 2000"},
        {"same column twice", "Location,A,a\n", "--format 2000"},
        {"empty header cell", "Location,,B\n", "--format 97"},
        {"value too long", "Location\n" + std::string(256, 'x') + "\n", "--format 97"},
        {"unknown format", "Location\n", "--format 2003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path csv = dir.path() / "in.csv";
        const fs::path mdb = dir.path() / "out.mdb";
        fs::remove(mdb);
        std::ofstream(csv, std::ios::binary) << c.csv;
        const Outcome r = run(quote(CSV2MDB) + " " + c.args + " " + quote(csv) + " " + quote(mdb));
        EXPECT_NE(r.status, 0);
        EXPECT_FALSE(r.out.empty());
    }
    // An existing output file is kept.
    const fs::path csv = dir.path() / "in.csv";
    std::ofstream(csv, std::ios::binary) << "Location\n";
    const fs::path mdb = dir.path() / "keep.mdb";
    std::ofstream(mdb) << "keep";
    EXPECT_NE(csv2mdb("97", csv, mdb).status, 0);
    EXPECT_EQ(slurp(mdb), "keep");
}
