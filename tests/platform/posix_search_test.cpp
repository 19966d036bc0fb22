// posix_search_test.cpp - the directory search on POSIX: which names a
// pattern takes (without regard to case, '*', '?', the "*.*" quirk), the
// order NTFS would list them in, "." and "..", attributes, 64-bit sizes and
// file times; and the pure matcher and order underneath.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix_internal.h"
#include "platform_fixture.h"
#include "testutil.h"

namespace fs = std::filesystem;
using namespace platform_detail;
using testutil::TempDir;

namespace {

struct Found {
    std::string name;
    uint32_t attrib;
    uint64_t size;
};

std::vector<Found> searchA(const std::string& pattern) {
    std::vector<Found> out;
    auto l = platformtest::search_all(pattern);
    for (const os_findA& fd : l.entries) out.push_back({fd.name, fd.attrib, fd.size});
    if (l.found) {
        EXPECT_EQ(l.end_error, (uint32_t)OS_ERR_NO_MORE_FILES);
    }
    return out;
}

std::vector<std::u16string> searchW(const std::u16string& pattern) {
    std::vector<std::u16string> out;
    for (const os_findW& fd : platformtest::search_all(pattern).entries) out.push_back(fd.name);
    return out;
}

std::vector<std::string> names(const std::vector<Found>& v) {
    std::vector<std::string> out;
    for (auto& f : v) out.push_back(f.name);
    return out;
}

class Search : public ::testing::Test {
protected:
    void SetUp() override {
        g_os = os_native;
        for (const char* n : {"b.png", "A.png", "c.PNG", "a10.png", "a2.png", "_x.png", "Z.png",
                              "note.txt", "noext", "x.png.bak"})
            testutil::write_file(dir.path() / n, std::string(std::strlen(n), 'q'));
        fs::create_directory(dir.path() / "d.png");
    }
    std::string pat(const std::string& last, char sep = '/') const { return dir.str() + sep + last; }
    TempDir dir;
};

// Each pattern with the names it must give, in order.  The order is that of
// the names uppercased: '.' (0x2E) < digits < letters < '_' (0x5F).
struct PatternCase {
    const char* pattern;
    std::vector<std::string> want;
};

TEST_F(Search, PatternsTakeNamesWithoutRegardToCaseInNtfsOrder) {
    const std::vector<std::string> pngs = {"A.png", "a10.png", "a2.png", "b.png", "c.PNG", "d.png", "Z.png", "_x.png"};
    const PatternCase cases[] = {
        {"*.png", pngs},
        {"*.PNG", pngs},
        {"*.Png", pngs},
        {"?.png", {"A.png", "b.png", "c.PNG", "d.png", "Z.png"}},
        {"a?.png", {"a2.png"}},
        {"a??.png", {"a10.png"}},
        {"A*", {"A.png", "a10.png", "a2.png"}},
        {"*.png*", {"A.png", "a10.png", "a2.png", "b.png", "c.PNG", "d.png", "x.png.bak", "Z.png", "_x.png"}},
        {"*", {".", "..", "A.png", "a10.png", "a2.png", "b.png", "c.PNG", "d.png", "noext", "note.txt",
               "x.png.bak", "Z.png", "_x.png"}},
        {"*.*", {".", "..", "A.png", "a10.png", "a2.png", "b.png", "c.PNG", "d.png", "noext", "note.txt",
                 "x.png.bak", "Z.png", "_x.png"}},
        {"no*.*", {"noext", "note.txt"}},
        {"*.", {".", "..", "noext"}},
        {"noext.*", {"noext"}},
        {"B.PNG", {"b.png"}},  // no wildcard: that one entry
        {"NOTE.TXT", {"note.txt"}},
        {".", {"."}},
        {"..", {".."}},
        {"*.jpg", {}},
        {"b.pn", {}},
        {"", {}},
    };
    for (const PatternCase& c : cases) {
        for (char sep : {'/', '\\'}) {
            SCOPED_TRACE(std::string(c.pattern) + " sep " + sep);
            EXPECT_EQ(names(searchA(pat(c.pattern, sep))), c.want);
            std::vector<std::u16string> w, want;
            for (auto& n : c.want) want.push_back(testutil::u16(n));
            EXPECT_EQ(searchW(testutil::u16(pat(c.pattern, sep))), want);
        }
    }
}

TEST_F(Search, NothingFoundAndMissingDirectories) {
    os_findA fa;
    os_findW fw;
    EXPECT_EQ(g_os.findfirstA(pat("*.jpg").c_str(), &fa), nullptr);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(g_os.findfirstA(pat("none\\*.png").c_str(), &fa), nullptr);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_PATH_NOT_FOUND);
    EXPECT_EQ(g_os.findfirstW(testutil::u16(pat("none/x/*")).c_str(), &fw), nullptr);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_PATH_NOT_FOUND);
    EXPECT_EQ(g_os.findfirstA(pat("note.txt/*").c_str(), &fa), nullptr);  // a file as directory
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_PATH_NOT_FOUND);
    EXPECT_EQ(g_os.findfirstA(pat("").c_str(), &fa), nullptr);  // "dir/" names no entry
    EXPECT_EQ(g_os.findnextA(nullptr, &fa), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    g_os.findclose(nullptr);
}

TEST_F(Search, AttributesAndSizes) {
    auto found = searchA(pat("*"));
    ASSERT_FALSE(found.empty());
    for (const Found& f : found) {
        SCOPED_TRACE(f.name);
        bool isdir = f.name == "." || f.name == ".." || f.name == "d.png";
        EXPECT_EQ(f.attrib, isdir ? 0x10u : 0x20u);
        EXPECT_EQ(f.size, isdir ? 0u : f.name.size());  // each file holds one byte per letter of its name
    }
    // The owner may not write: read-only as well.
    chmod((dir.path() / "b.png").c_str(), 0444);
    auto b = searchA(pat("b.png"));
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].attrib, 0x21u);
}

TEST_F(Search, SizesPastFourGigabytes) {
    fs::path p = dir.path() / "big.avi";
    const uint64_t size = ((uint64_t)5 << 30) + 7;
    int fd = open(p.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (off_t)size), 0);
    close(fd);
    os_findA fa;
    os_search s = g_os.findfirstA(pat("BIG.AVI").c_str(), &fa);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(fa.size, size);
    g_os.findclose(s);
    os_findW fw;
    s = g_os.findfirstW(testutil::u16(pat("*.avi")).c_str(), &fw);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(fw.size, size);
    EXPECT_EQ(std::u16string(fw.name), u"big.avi");
    g_os.findclose(s);
}

// Last-write and last-access times as Windows file times, nanoseconds kept
// to the 100 ns unit.  1e9 seconds after 1970 is 126444736000000000 in
// 100 ns units since 1601.
TEST_F(Search, TimesAreWindowsFileTimes) {
    struct timespec ts[2] = {{1000000000, 999999999}, {1000000000, 123456789}};  // access, write
    ASSERT_EQ(utimensat(AT_FDCWD, (dir.path() / "b.png").c_str(), ts, 0), 0);
    os_findA fa;
    os_search s = g_os.findfirstA(pat("b.png").c_str(), &fa);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(fa.wtime, 126444736001234567ull);
    EXPECT_EQ(fa.atime, 126444736009999999ull);
    EXPECT_NE(fa.ctime, 0u);
    g_os.findclose(s);
    os_findW fw;
    s = g_os.findfirstW(testutil::u16(pat("B.png")).c_str(), &fw);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(fw.wtime, 126444736001234567ull);
    g_os.findclose(s);

    struct Case { int64_t sec; long nsec; uint64_t want; } cases[] = {
        {0, 0, 116444736000000000ull},
        {-11644473600, 0, 0},            // 1601-01-01
        {-11644473601, 0, 0},            // before it: nothing earlier exists
        {-11644473600, 150, 1},
        {1, 99, 116444736010000000ull},  // below 100 ns is dropped
    };
    for (const Case& c : cases) EXPECT_EQ(filetime_of(c.sec, c.nsec), c.want) << c.sec;
}

TEST_F(Search, EmptyDirectoryPartIsTheCurrentDirectory) {
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    auto a = names(searchA("?.PNG"));
    auto w = searchW(u"z.*");
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(a, (std::vector<std::string>{"A.png", "b.png", "c.PNG", "d.png", "Z.png"}));
    EXPECT_EQ(w, std::vector<std::u16string>{u"Z.png"});
}

TEST_F(Search, RootHasNoDotEntries) {
    for (const char* p : {"/*", "\\*", "/.", "/..", "//*"}) {
        SCOPED_TRACE(p);
        for (auto& n : names(searchA(p))) {
            EXPECT_NE(n, ".");
            EXPECT_NE(n, "..");
        }
    }
    auto tmp = names(searchA("/TMP"));
    EXPECT_EQ(tmp, std::vector<std::string>{"tmp"});
}

TEST_F(Search, WideNamesFoldBeyondAscii) {
    TempDir d;
    for (const char* n : {"\xC3\xA9t\xC3\xA9.png",       // été
                          "\xC3\x89T\xC3\x89" "2.png",   // ÉTÉ2
                          "\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE.png",  // Фото
                          "\xE6\x98\xA0.png",            // 映
                          "\xF0\x9F\x98\x80.png",        // U+1F600
                          "\xFF" "bad.png",              // not UTF-8
                          "zed.png"})
        testutil::write_file(d.path() / n, "x");
    std::u16string base = testutil::u16(d.str() + "/");
    // Order by uppercased units: Z (5A) < É (C9) < Ф (424) < 映 (6620) <
    // the surrogate D83D < U+FFFD.
    std::vector<std::u16string> all = {u"zed.png", u"\u00e9t\u00e9.png", u"\u00c9T\u00c92.png", u"\u0424\u043e\u0442\u043e.png",
                                       u"\u6620.png", u"\U0001F600.png", u"\uFFFDbad.png"};
    EXPECT_EQ(searchW(base + u"*.png"), all);
    EXPECT_EQ(searchW(base + u"\u00c9T\u00c9*"), (std::vector<std::u16string>{u"\u00e9t\u00e9.png", u"\u00c9T\u00c92.png"}));
    EXPECT_EQ(searchW(base + u"\u0444\u041e\u0422\u041e.PNG"), std::vector<std::u16string>{u"\u0424\u043e\u0442\u043e.png"});
    EXPECT_EQ(searchW(base + u"?.png"),
              (std::vector<std::u16string>{u"\u6620.png", u"\U0001F600.png"}));  // '?' is one character
    // The 8-bit form gives the bytes as they are, in the same order, and its
    // '?' takes one UTF-8 character too.
    auto a = names(searchA(d.str() + "/*.png"));
    EXPECT_EQ(a, (std::vector<std::string>{"zed.png", "\xC3\xA9t\xC3\xA9.png", "\xC3\x89T\xC3\x89" "2.png",
                                           "\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE.png", "\xE6\x98\xA0.png",
                                           "\xF0\x9F\x98\x80.png", "\xFF" "bad.png"}));
    EXPECT_EQ(names(searchA(d.str() + "/?.PNG")), (std::vector<std::string>{"\xE6\x98\xA0.png", "\xF0\x9F\x98\x80.png"}));
    EXPECT_EQ(names(searchA(d.str() + "/?BAD.png")), std::vector<std::string>{"\xFF" "bad.png"});
}

// ---- The pure pieces ---------------------------------------------------------------

TEST(Wildcards, MatchTable) {
    struct Case { const char* pat; const char* name; bool want; } cases[] = {
        {"*.png", "a.png", true},        {"*.png", "A.PNG", true},       {"*.png", ".png", true},
        {"*.png", "a.png.bak", false},   {"*.png", "apng", false},       {"*.png", "a.pn", false},
        {"*", "x", true},                {"**", "x", true},              {"*?", "x", true},
        {"?", "x", true},                {"?", "xy", false},             {"??", "x", false},
        {"a?c", "abc", true},            {"a?c", "ac", false},           {"a*c", "ac", true},
        {"a*c", "abcbc", true},          {"a*c", "abcb", false},         {"*a*b", "xaxb", true},
        {"*a*b", "xaxbx", false},        {"*ab*ab", "abab", true},       {"*ab*ab", "aab", false},
        {"*.*", "noext", true},          {"*.*", ".", true},             {"*.*", "a.b.c", true},
        {"a.*", "a", true},              {"a.*", "a.", true},            {"a.*", "ab", false},
        {"a.*.*", "a", true},            {"*.", "a", true},              {"*.", "a.b", false},
        {"a.", "a", true},               {"a.", "ab", false},             {"a", "A", true},
        {"frame_????.png", "FRAME_0001.png", true},  {"frame_????.png", "frame_001.png", false},
        {"\xC3\xA9*", "\xC3\x89t\xC3\xA9", true},      // é* takes Été
        {"?", "\xC3\xA9", true},                       // one character of two bytes
        {"?", "\xFF", true},                           // a byte that is no UTF-8 is one character
        {"??", "\xC3\xA9", false},
        {"\xCE\xA3", "\xCF\x83", true},                // Σ and σ
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pat) + " ~ " + c.name);
        EXPECT_EQ(wild_match(points_of_bytes(c.pat, false), points_of_bytes(c.name, false)), c.want);
        std::u16string p16 = utf8_to_utf16(c.pat), n16 = utf8_to_utf16(c.name);
        if (std::string(c.name) != "\xFF") {
            EXPECT_EQ(wild_match(points_of_utf16(p16), points_of_utf16(n16)), c.want);
        }
    }
}

TEST(Wildcards, PointsOfBytesUnderCodePage932) {
    // 0x95 0x5C is one double-byte character: '?' takes it whole, and its
    // trail byte is not a backslash or a letter to fold.
    std::string sj = "\x95\x5C.png";
    EXPECT_EQ(points_of_bytes(sj, true).size(), 5u);
    EXPECT_TRUE(wild_match(points_of_bytes("?.png", true), points_of_bytes(sj, true)));
    EXPECT_FALSE(wild_match(points_of_bytes("??.png", true), points_of_bytes(sj, true)));
    // A half-width katakana byte (0xB1) is a character of its own; 'a' still folds.
    EXPECT_TRUE(wild_match(points_of_bytes("?A", true), points_of_bytes("\xB1" "a", true)));
    // "\x82\x61" (a full-width 'a') is not 'A' + something: no folding inside.
    EXPECT_FALSE(wild_match(points_of_bytes("\x82\x41", true), points_of_bytes("\x82\x61", true)));
    // A lead byte at the very end stands alone.
    EXPECT_EQ(points_of_bytes("a\x95", true).size(), 2u);
}

TEST(Wildcards, NameOrderTable) {
    struct Case { std::u16string a, b; int want; } cases[] = {
        {u"a", u"B", -1},           {u"B", u"a", 1},            {u"a", u"A", 1},  // same letters: plain units
        {u"A", u"a", -1},           {u"a", u"a", 0},            {u"a.png", u"a10.png", -1},
        {u"a10", u"a2", -1},        {u"Z", u"_", -1},           {u"z", u"_", -1},
        {u"ab", u"abc", -1},        {u"", u"a", -1},            {u"\u00e9", u"z", 1},
        {u"\u00e9", u"\u00c9", 1},  {u"\u00e9a", u"\u00c9b", -1}, {u"\U0001F600", u"\uFFFD", -1},
        {u"\u03c3", u"\u03a4", -1},  // σ folds to Σ (3A3) < Τ (3A4)
    };
    for (const Case& c : cases) {
        EXPECT_EQ(name_order(c.a, c.b), c.want);
        EXPECT_EQ(name_order(c.b, c.a), -c.want);
    }
}

TEST(Wildcards, UpperCoversTheBmp) {
    struct Case { char32_t in, want; } cases[] = {
        {U'a', U'A'}, {U'z', U'Z'}, {U'A', U'A'}, {U'0', U'0'}, {U'_', U'_'},
        {0xE9, 0xC9}, {0xFF, 0x178}, {0x3C3, 0x3A3}, {0x444, 0x424}, {0x6620, 0x6620},
        {0xFF41, 0xFF21},  // full-width a
        {0xDC00, 0xDC00}, {0x1F600, 0x1F600}, {0x10428, 0x10428},  // beyond the BMP: unchanged, as NTFS
    };
    for (const Case& c : cases) EXPECT_EQ((uint32_t)upper(c.in), (uint32_t)c.want) << std::hex << (uint32_t)c.in;
}

}  // namespace

#endif
