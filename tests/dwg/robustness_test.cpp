// Damaged input of every kind ends in an error code, never a crash, a hang
// or a wild allocation (this suite also runs under ASan/UBSan).

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <thread>

#include "corpus.h"

namespace {

bool known(dwg::Error e) { return std::strcmp(dwg::message(e), "unknown error") != 0; }

// Reads everything an extraction would; the result only has to be clean.
dwg::Error read_all(std::vector<std::uint8_t> bytes)
{
    dwg::Drawing d;
    dwg::Error e = dwg::Drawing::parse(std::move(bytes), d);
    if (e != dwg::Error::Ok)
        return e;
    corpus::Pairs model, paper;
    e = corpus::space(d, "*Model_Space", model);
    const dwg::Error p = corpus::space(d, "*Paper_Space", paper);
    return e != dwg::Error::Ok ? e : p;
}

std::vector<std::filesystem::path> readable_drawings()
{
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (const char* sub : {"dwg", "generated", "unsettled"}) {
        for (const auto& entry : std::filesystem::directory_iterator(corpus::dir() / sub, ec)) {
            if (entry.path().extension() != ".dwg")
                continue;
            char magic[7] = {};
            std::ifstream(entry.path(), std::ios::binary).read(magic, 6);
            if (corpus::read_versions().count(magic))
                out.push_back(entry.path());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Robustness, NotADrawing)
{
    EXPECT_EQ(read_all({}), dwg::Error::NotDwg);
    const std::string text = "This is a text file that someone named .dwg\r\n";
    EXPECT_EQ(read_all({text.begin(), text.end()}), dwg::Error::NotDwg);
    EXPECT_EQ(read_all({'A', 'C'}), dwg::Error::NotDwg);
    const std::string acme = "ACME Corporation drawing list\r\n";
    EXPECT_EQ(read_all({acme.begin(), acme.end()}), dwg::Error::NotDwg);
    // Older and newer releases are recognised but not decoded here.
    const std::string r12 = "AC1009" + std::string(200, '\0');
    EXPECT_EQ(read_all({r12.begin(), r12.end()}), dwg::Error::UnsupportedVersion);
}

// Each refusal names its fault, in a phrase that reads after a sentence.
TEST(Robustness, RefusalsNameTheirReason)
{
    const auto r2000 = corpus::read_file(corpus::dir() / "generated" / "a_title_block.dwg");
    const auto r2004 = corpus::read_file(corpus::dir() / "dwg" / "archimed_examples_dwg_circle2004.dwg");
    ASSERT_GT(r2000.size(), 0x100u);
    ASSERT_GT(r2004.size(), 0x100u);
    auto changed = [](std::vector<std::uint8_t> b, std::size_t at, std::uint8_t x) {
        b[at] ^= x;
        return b;
    };
    const std::string text = "meeting notes";
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        dwg::Error error;
    } cases[] = {
        {"text", {text.begin(), text.end()}, dwg::Error::NotDwg},
        {"R2000 cut", {r2000.begin(), r2000.begin() + 0x30}, dwg::Error::Truncated},
        {"2004 cut", {r2004.begin(), r2004.begin() + static_cast<std::ptrdiff_t>(r2004.size() / 2)},
         dwg::Error::Truncated},
        {"R2000 records' sentinel", changed(r2000, 0x19 + 6 * 9 + 2, 0x40), dwg::Error::Corrupt},
        {"2004 file header", changed(r2004, 0x85, 0x40), dwg::Error::Corrupt},
        // Security flags: data encrypted with a password.
        {"2004 encrypted", changed(changed(r2004, 0x85, 0x40), 0x18, 1), dwg::Error::Encrypted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read_all(c.bytes), c.error);
        const std::string reason = dwg::message(c.error);
        EXPECT_TRUE(std::islower(static_cast<unsigned char>(reason.front())) && reason.back() != '.') << reason;
    }
}

TEST(Robustness, FileSystem)
{
    dwg::Drawing d;
    EXPECT_EQ(dwg::Drawing::open(corpus::dir() / "no such drawing.dwg", d), dwg::Error::FileNotFound);
    EXPECT_EQ(dwg::Drawing::open(corpus::dir(), d), dwg::Error::ReadFailed);
    std::uint64_t block = 0;
    EXPECT_EQ(d.find_block("*Model_Space", block), dwg::Error::BadArgument);
}

TEST(Robustness, RandomBytes)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(rng() % 4096));
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(rng());
        // Give half of them a version we read so that the parser goes deeper.
        if (round % 2 && bytes.size() >= 6)
            std::memcpy(bytes.data(), round % 4 == 1 ? "AC1015" : "AC1014", 6);
        EXPECT_TRUE(known(read_all(std::move(bytes))));
    }
}

TEST(Robustness, TruncatedAndFlipped)
{
    const auto files = readable_drawings();
    ASSERT_FALSE(files.empty());
    std::mt19937 rng(11);
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<std::uint8_t> whole = corpus::read_file(path);
        // Fewer cuts for the big drawings keep the suite quick.
        const int points = whole.size() > 200000 ? 6 : 16;
        for (int i = 0; i < points; ++i) {
            const std::size_t cut = i == 0 ? 0x30 : rng() % whole.size();
            const dwg::Error e = read_all({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)});
            EXPECT_TRUE(known(e)) << "cut at " << cut;
            // A cut may spare everything an extraction needs, but not this one.
            if (i == 0) {
                EXPECT_NE(e, dwg::Error::Ok);
            }
        }
        for (int i = 0; i < points; ++i) {
            std::vector<std::uint8_t> copy = whole;
            // Mostly single bits, sometimes a run of garbage.
            const std::size_t at = rng() % copy.size();
            const std::size_t n = i % 4 == 3 ? std::min<std::size_t>(64, copy.size() - at) : 1;
            for (std::size_t k = 0; k < n; ++k)
                copy[at + k] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            EXPECT_TRUE(known(read_all(std::move(copy)))) << "flip at " << at;
        }
    }
}

TEST(Robustness, BrokenAndUnsettledDrawingsReadCleanly)
{
    std::error_code ec;
    int n = 0;
    for (const char* sub : {"broken", "unsettled"}) {
        for (const auto& entry : std::filesystem::directory_iterator(corpus::dir() / sub, ec)) {
            EXPECT_TRUE(known(read_all(corpus::read_file(entry.path())))) << entry.path();
            ++n;
        }
    }
    EXPECT_GT(n, 0);
}

TEST(Robustness, UnsettledDrawingsOpen)
{
    // Their references are withdrawn, but they are sound drawings.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(corpus::dir() / "unsettled", ec))
        EXPECT_EQ(read_all(corpus::read_file(entry.path())), dwg::Error::Ok) << entry.path();
}

TEST(Robustness, DrawingsOnSeveralThreadsAtOnce)
{
    // Readers share nothing: the same results whether read one after the
    // other or side by side.
    std::vector<std::filesystem::path> files = readable_drawings();
    files.resize(std::min<std::size_t>(files.size(), 24));
    auto read = [](const std::filesystem::path& p, corpus::Pairs& out) {
        dwg::Drawing d;
        if (dwg::Drawing::open(p, d) == dwg::Error::Ok)
            corpus::space(d, "*Model_Space", out);
    };
    std::vector<corpus::Pairs> alone(files.size()), together(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        read(files[i], alone[i]);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (std::size_t i = t; i < files.size(); i += 4)
                read(files[i], together[i]);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(alone, together);
}

}  // namespace
