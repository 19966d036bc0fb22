// win32_files_test.cpp - the Windows side of the platform layer: files by
// handle, the runtime's fopen, and directory search, against real files in
// a fresh folder.
//
// What is checked is what the stream layer and the driver build on: the
// Windows error codes of a failed open (2, 3, 5, and 32 for a file another
// open holds, since every open is exclusive), seeks that the system refuses
// without moving the file pointer, the low part 0xFFFFFFFF that is a valid
// position and not a refusal, and searches that match without regard to
// case, report directories and end with ERROR_NO_MORE_FILES.  Independent
// judges are std::filesystem (file sizes, existence of wide names) and plain
// arithmetic on the clock.

#if defined(_WIN32)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform_fixture.h"
#include "testutil.h"

namespace fs = std::filesystem;
using platformtest::Handle;
using platformtest::search_all;
using platformtest::wide;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

namespace {

int64_t tell(os_file f) {
    int64_t pos = -1;
    EXPECT_EQ(g_os.seek(f, 0, OS_SEEK_CURRENT, &pos), 1);
    return pos;
}

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        g_os = os_native;
        write_file(dir.path() / "ten.bin", "0123456789");
        fs::create_directory(dir.path() / "sub");
    }
    TempDir dir;
};

// ---- Opening: the codes a failed open leaves, and what each mode does ----

struct OpenCase {
    const char* label;
    const char* name;  // below the test folder
    int how;
    uint32_t want_error;
};

const OpenCase kOpenFailures[] = {
    {"missing_file_read", "missing.bin", OS_OPEN_READ, 2},
    {"missing_dir_read", "nodir\\missing.bin", OS_OPEN_READ, 3},
    {"missing_dir_create", "nodir\\new.bin", OS_CREATE_WRITE, 3},
    {"missing_dir_open_always", "nodir\\new.bin", OS_OPEN_WRITE, 3},
    {"directory_read", "sub", OS_OPEN_READ, 5},
    {"directory_create", "sub", OS_CREATE_WRITE, 5},
    {"directory_open_always", "sub", OS_OPEN_WRITE, 5},
    {"file_as_directory", "ten.bin\\x.bin", OS_OPEN_READ, 3},
};

class Win32OpenFailure : public Win32Files, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(Win32OpenFailure, GivesTheWindowsCode) {
    const OpenCase& c = GetParam();
    std::u16string name = wide(dir.path() / c.name);
    os_file f = g_os.openW(name.c_str(), c.how);
    uint32_t err = g_os.lasterror();
    if (f) g_os.close(f);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(err, c.want_error);
    // A refused create leaves nothing behind.
    EXPECT_FALSE(fs::exists(dir.path() / "nodir"));
}

INSTANTIATE_TEST_SUITE_P(Codes, Win32OpenFailure, ::testing::ValuesIn(kOpenFailures),
                         [](const auto& i) { return std::string(i.param.label); });

TEST_F(Win32Files, EveryOpenIsExclusive) {
    std::u16string name = wide(dir.path() / "ten.bin");
    const int hows[] = {OS_OPEN_READ, OS_OPEN_WRITE};
    for (int first : hows) {
        for (int second : hows) {
            Handle a(g_os.openW(name.c_str(), first));
            ASSERT_NE(a.f, nullptr);
            os_file b = g_os.openW(name.c_str(), second);
            uint32_t err = g_os.lasterror();
            if (b) g_os.close(b);
            EXPECT_EQ(b, nullptr) << first << " then " << second;
            EXPECT_EQ(err, (uint32_t)OS_ERR_SHARING) << first << " then " << second;
        }
    }
    // Once closed, the file opens again at once.
    Handle c(g_os.openW(name.c_str(), OS_OPEN_READ));
    EXPECT_NE(c.f, nullptr);
}

// Shared reads admit each other and nothing else: an exclusive open, for
// reading or writing, is refused while one is open, and a shared read is
// refused while an exclusive open holds the file.
TEST_F(Win32Files, SharedReadsAdmitOnlyEachOther) {
    std::u16string name = wide(dir.path() / "ten.bin");
    {
        Handle a(g_os.openW(name.c_str(), OS_OPEN_READ_SHARED));
        Handle b(g_os.openW(name.c_str(), OS_OPEN_READ_SHARED));
        ASSERT_NE(a.f, nullptr);
        ASSERT_NE(b.f, nullptr);
        uint8_t x = 0, y = 0;
        uint32_t got = 0;
        EXPECT_EQ(g_os.read(a.f, &x, 1, &got), 1);
        EXPECT_EQ(g_os.read(b.f, &y, 1, &got), 1);
        EXPECT_EQ(x, '0');
        EXPECT_EQ(y, '0');
        for (int how : {OS_OPEN_READ, OS_OPEN_WRITE}) {
            os_file c = g_os.openW(name.c_str(), how);
            uint32_t err = g_os.lasterror();
            if (c) g_os.close(c);
            EXPECT_EQ(c, nullptr) << how;
            EXPECT_EQ(err, (uint32_t)OS_ERR_SHARING) << how;
        }
    }
    Handle d(g_os.openW(name.c_str(), OS_OPEN_READ));
    ASSERT_NE(d.f, nullptr);
    EXPECT_EQ(g_os.openW(name.c_str(), OS_OPEN_READ_SHARED), nullptr);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_SHARING);
}

TEST_F(Win32Files, CreateEmptiesAndOpenAlwaysKeepsWritingFromTheStart) {
    std::u16string name = wide(dir.path() / "ten.bin");
    {
        Handle f(g_os.openW(name.c_str(), OS_OPEN_WRITE));
        ASSERT_NE(f.f, nullptr);
        EXPECT_EQ(tell(f.f), 0);
        uint32_t put = 0;
        ASSERT_EQ(g_os.write(f.f, "ab", 2, &put), 1);
        EXPECT_EQ(put, 2u);
    }
    EXPECT_EQ(read_file(dir.path() / "ten.bin"), std::vector<uint8_t>({'a', 'b', '2', '3', '4', '5', '6', '7', '8', '9'}));
    {
        Handle f(g_os.openW(name.c_str(), OS_CREATE_WRITE));
        ASSERT_NE(f.f, nullptr);
        int64_t size = -1;
        ASSERT_EQ(g_os.size(f.f, &size), 1);
        EXPECT_EQ(size, 0);
    }
    EXPECT_EQ(fs::file_size(dir.path() / "ten.bin"), 0u);
    // OPEN_ALWAYS also creates.
    std::u16string fresh = wide(dir.path() / "fresh.bin");
    { Handle f(g_os.openW(fresh.c_str(), OS_OPEN_WRITE)); ASSERT_NE(f.f, nullptr); }
    EXPECT_TRUE(fs::exists(dir.path() / "fresh.bin"));
}

TEST_F(Win32Files, WideNamesReachTheFileSystemAsTheyAre) {
    // Japanese, a character beyond the BMP (a surrogate pair), and a Latin
    // letter that has no place in the ANSI code page.
    const char* names[] = {"\xE3\x83\x95\xE3\x83\xAC\xE3\x83\xBC\xE3\x83\xA0 001.png",
                           "\xF0\x9F\x8E\xAC.bin", "\xC5\x81" "od\xC5\xBA.wav"};
    for (const char* utf8 : names) {
        std::u16string name = wide(dir.path()) + u"\\" + testutil::u16(utf8);
        {
            Handle f(g_os.openW(name.c_str(), OS_CREATE_WRITE));
            ASSERT_NE(f.f, nullptr) << utf8;
            uint32_t put = 0;
            ASSERT_EQ(g_os.write(f.f, "xyz", 3, &put), 1);
        }
        fs::path p(name);
        ASSERT_TRUE(fs::exists(p)) << utf8;
        EXPECT_EQ(fs::file_size(p), 3u);
    }
}

// ---- Reading and writing ------------------------------------------------------

TEST_F(Win32Files, ReadsToTheEndThenDeliversNothing) {
    std::u16string name = wide(dir.path() / "ten.bin");
    Handle f(g_os.openW(name.c_str(), OS_OPEN_READ));
    ASSERT_NE(f.f, nullptr);
    char buf[16] = {};
    uint32_t got = 99;
    ASSERT_EQ(g_os.read(f.f, buf, 4, &got), 1);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    ASSERT_EQ(g_os.read(f.f, buf, 16, &got), 1);  // short: the end comes first
    EXPECT_EQ(got, 6u);
    EXPECT_EQ(std::string(buf, 6), "456789");
    ASSERT_EQ(g_os.read(f.f, buf, 16, &got), 1);  // at the end: success, nothing
    EXPECT_EQ(got, 0u);
}

TEST_F(Win32Files, WrongDirectionIsRefused) {
    std::u16string name = wide(dir.path() / "ten.bin");
    {
        Handle f(g_os.openW(name.c_str(), OS_OPEN_READ));
        ASSERT_NE(f.f, nullptr);
        uint32_t put = 99;
        EXPECT_EQ(g_os.write(f.f, "x", 1, &put), 0);
        EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
        EXPECT_EQ(put, 0u);
    }
    {
        Handle f(g_os.openW(name.c_str(), OS_OPEN_WRITE));
        ASSERT_NE(f.f, nullptr);
        char c;
        uint32_t got = 99;
        EXPECT_EQ(g_os.read(f.f, &c, 1, &got), 0);
        EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
        EXPECT_EQ(got, 0u);
    }
    EXPECT_EQ(fs::file_size(dir.path() / "ten.bin"), 10u);
}

TEST_F(Win32Files, NullHandleIsRefusedEverywhere) {
    char c = 0;
    uint32_t n = 99;
    int64_t v = 77;
    EXPECT_EQ(g_os.read(nullptr, &c, 1, &n), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    EXPECT_EQ(n, 0u);
    n = 99;
    EXPECT_EQ(g_os.write(nullptr, &c, 1, &n), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(g_os.seek(nullptr, 0, OS_SEEK_BEGIN, &v), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(g_os.size(nullptr, &v), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
    EXPECT_EQ(g_os.close(nullptr), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_INVALID_HANDLE);
}

// ---- Seeking --------------------------------------------------------------------

// Each case starts on a 100-byte file with the pointer at 10.
struct SeekCase {
    const char* label;
    int64_t dist;
    int origin;
    bool ok;
    int64_t want;        // the new position when ok; the pointer stays at 10 otherwise
    uint32_t want_error; // when refused
};

const int64_t k5G = 5LL << 30;

const SeekCase kSeeks[] = {
    {"begin_0", 0, OS_SEEK_BEGIN, true, 0, 0},
    {"begin_negative", -1, OS_SEEK_BEGIN, false, 0, OS_ERR_NEGATIVE_SEEK},
    {"current_back_to_0", -10, OS_SEEK_CURRENT, true, 0, 0},
    {"current_before_start", -11, OS_SEEK_CURRENT, false, 0, OS_ERR_NEGATIVE_SEEK},
    {"current_forward", 25, OS_SEEK_CURRENT, true, 35, 0},
    {"end_0", 0, OS_SEEK_END, true, 100, 0},
    {"end_back", -100, OS_SEEK_END, true, 0, 0},
    {"end_before_start", -101, OS_SEEK_END, false, 0, OS_ERR_NEGATIVE_SEEK},
    {"past_end", 1000, OS_SEEK_END, true, 1100, 0},
    // The low part all ones is a position, not INVALID_SET_FILE_POINTER.
    {"low_part_all_ones", 0xFFFFFFFFLL, OS_SEEK_BEGIN, true, 0xFFFFFFFFLL, 0},
    {"beyond_4G", k5G + 3, OS_SEEK_BEGIN, true, k5G + 3, 0},
    {"minus_4G_from_current", -(4LL << 30), OS_SEEK_CURRENT, false, 0, OS_ERR_NEGATIVE_SEEK},
    {"bad_origin", 0, 7, false, 0, 87 /* ERROR_INVALID_PARAMETER */},
};

class Win32Seek : public Win32Files, public ::testing::WithParamInterface<SeekCase> {};

TEST_P(Win32Seek, MovesOrLeavesThePointer) {
    const SeekCase& c = GetParam();
    write_file(dir.path() / "hundred.bin", std::string(100, 'h'));
    std::u16string name = wide(dir.path() / "hundred.bin");
    Handle f(g_os.openW(name.c_str(), OS_OPEN_READ));
    ASSERT_NE(f.f, nullptr);
    ASSERT_EQ(g_os.seek(f.f, 10, OS_SEEK_BEGIN, nullptr), 1);
    // A stale error from an earlier call must not make a good move look
    // refused (the test of INVALID_SET_FILE_POINTER reads the last error).
    g_os.close(nullptr);
    int64_t pos = -123;
    int r = g_os.seek(f.f, c.dist, c.origin, &pos);
    uint32_t err = g_os.lasterror();
    if (c.ok) {
        EXPECT_EQ(r, 1);
        EXPECT_EQ(pos, c.want);
        EXPECT_EQ(tell(f.f), c.want);
    } else {
        EXPECT_EQ(r, 0);
        EXPECT_EQ(err, c.want_error);
        EXPECT_EQ(pos, -123);  // nothing stored
        EXPECT_EQ(tell(f.f), 10);
    }
    // Seeking never changes the file.
    int64_t size = -1;
    ASSERT_EQ(g_os.size(f.f, &size), 1);
    EXPECT_EQ(size, 100);
}

INSTANTIATE_TEST_SUITE_P(Table, Win32Seek, ::testing::ValuesIn(kSeeks),
                         [](const auto& i) { return std::string(i.param.label); });

TEST_F(Win32Files, SizeDoesNotMoveThePointerAndSeesPastFourGigabytes) {
    std::u16string name = wide(dir.path() / "big.bin");
    Handle f(g_os.openW(name.c_str(), OS_CREATE_WRITE));
    ASSERT_NE(f.f, nullptr);
    // One byte past 4 GB + 1: a sparse-enough file on NTFS and on wine's
    // host file system; only the last byte is written.
    const int64_t last = (4LL << 30) + 1;
    ASSERT_EQ(g_os.seek(f.f, last, OS_SEEK_BEGIN, nullptr), 1);
    uint32_t put = 0;
    ASSERT_EQ(g_os.write(f.f, "z", 1, &put), 1);
    int64_t size = -1;
    ASSERT_EQ(g_os.size(f.f, &size), 1);
    EXPECT_EQ(size, last + 1);
    EXPECT_EQ(tell(f.f), last + 1);
    ASSERT_EQ(g_os.seek(f.f, 3, OS_SEEK_BEGIN, nullptr), 1);
    ASSERT_EQ(g_os.size(f.f, &size), 1);
    EXPECT_EQ(tell(f.f), 3);
    g_os.close(f.f);
    f.f = nullptr;
    EXPECT_EQ(fs::file_size(dir.path() / "big.bin"), (uintmax_t)(last + 1));
}

// ---- The runtime's files --------------------------------------------------------

TEST_F(Win32Files, RuntimeOpenTakesTheNameAsItIsAndRefusesDirectories) {
    std::string base = dir.str();
    FILE* f = g_os.fopen((base + "\\ten.bin").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[4] = {};
    EXPECT_EQ(std::fread(buf, 1, 3, f), 3u);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, 3), "012");
    // '/' is a separator for Windows itself.
    f = g_os.fopen((base + "/ten.bin").c_str(), "rb");
    EXPECT_NE(f, nullptr);
    if (f) std::fclose(f);
    // A directory does not open as a file.
    EXPECT_EQ(g_os.fopen((base + "\\sub").c_str(), "rb"), nullptr);
    // "wb" creates; remove deletes.
    std::string made = base + "\\made.bin";
    f = g_os.fopen(made.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputc('q', f);
    std::fclose(f);
    EXPECT_EQ(fs::file_size(dir.path() / "made.bin"), 1u);
    EXPECT_EQ(g_os.remove(made.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.path() / "made.bin"));
    EXPECT_NE(g_os.remove(made.c_str()), 0);
}

// ---- Directory search -----------------------------------------------------------

struct Entry {
    uint32_t attrib;
    uint64_t size;
    uint64_t wtime;
};

// A search's entries by name, and the error it ended with.
template <class Name, class Find>
std::map<Name, Entry> by_name(const platformtest::Listing<Find>& l, uint32_t* end_error) {
    std::map<Name, Entry> got;
    for (const Find& e : l.entries) got[e.name] = {e.attrib, e.size, e.wtime};
    *end_error = l.end_error;
    return got;
}
std::map<std::string, Entry> list_all_A(const std::string& pattern, uint32_t* end_error) {
    return by_name<std::string>(search_all(pattern), end_error);
}
std::map<std::u16string, Entry> list_all_W(const std::u16string& pattern, uint32_t* end_error) {
    return by_name<std::u16string>(search_all(pattern), end_error);
}

// The clock as a Windows file time: 100 ns units since 1601.
uint64_t now_filetime() { return ((uint64_t)std::time(nullptr) + 11644473600ull) * 10000000ull; }

class Win32Search : public ::testing::Test {
protected:
    void SetUp() override {
        g_os = os_native;
        write_file(dir.path() / "b.png", "bbb");
        write_file(dir.path() / "A.PNG", "aaaaa");
        write_file(dir.path() / "c.txt", "c");
        write_file(dir.path() / "e.png.bak", "e");
        fs::create_directory(dir.path() / "d.png");
    }
    TempDir dir;
};

TEST_F(Win32Search, MatchesWithoutRegardToCaseAndReportsDirectories) {
    uint32_t end = 0;
    auto got = list_all_A(dir.str() + "\\*.png", &end);
    EXPECT_EQ(end, (uint32_t)OS_ERR_NO_MORE_FILES);
    ASSERT_EQ(got.size(), 3u);
    ASSERT_TRUE(got.count("A.PNG") && got.count("b.png") && got.count("d.png"));
    EXPECT_EQ(got["A.PNG"].size, 5u);
    EXPECT_EQ(got["b.png"].size, 3u);
    EXPECT_EQ(got["A.PNG"].attrib & OS_ATTR_DIRECTORY, 0u);
    EXPECT_NE(got["d.png"].attrib & OS_ATTR_DIRECTORY, 0u);
    // Written just now: within a few minutes of the clock (file systems keep
    // coarser or finer times; the point is the epoch and the unit).
    const uint64_t now = now_filetime(), slack = 300ull * 10000000ull;
    EXPECT_LT(got["b.png"].wtime, now + slack);
    EXPECT_GT(got["b.png"].wtime, now - slack);
}

TEST_F(Win32Search, WideSearchFindsNamesOutsideTheCodePage) {
    const std::u16string jp = testutil::u16("\xE7\x94\xBB\xE5\x83\x8F_01.PNG");
    write_file(dir.path() / fs::path(jp), "12345678");
    uint32_t end = 0;
    auto got = list_all_W(wide(dir.path()) + u"\\*.png", &end);
    EXPECT_EQ(end, (uint32_t)OS_ERR_NO_MORE_FILES);
    ASSERT_EQ(got.size(), 4u);
    ASSERT_TRUE(got.count(jp));
    EXPECT_EQ(got[jp].size, 8u);
    EXPECT_NE(got[u"d.png"].attrib & OS_ATTR_DIRECTORY, 0u);
}

TEST_F(Win32Search, EveryNameAndTheDotEntries) {
    fs::create_directory(dir.path() / "d.png" / "inner");
    uint32_t end = 0;
    auto got = list_all_A(dir.str() + "\\d.png\\*", &end);
    EXPECT_EQ(end, (uint32_t)OS_ERR_NO_MORE_FILES);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(got.count(".") && got.count("..") && got.count("inner"));
    // '?' stands for one character.
    got = list_all_A(dir.str() + "\\?.png", &end);
    EXPECT_EQ(got.size(), 3u);
}

struct NoMatchCase {
    const char* label;
    const char* pattern;  // below the test folder
    uint32_t want_error;
};

const NoMatchCase kNoMatch[] = {
    {"no_such_name", "\\*.avi", OS_ERR_FILE_NOT_FOUND},
    {"no_such_directory", "\\nodir\\*.png", OS_ERR_PATH_NOT_FOUND},
    {"plain_missing_name", "\\frame0001.png", OS_ERR_FILE_NOT_FOUND},
};

class Win32NoMatch : public Win32Search, public ::testing::WithParamInterface<NoMatchCase> {};

TEST_P(Win32NoMatch, IsNullWithTheCode) {
    const NoMatchCase& c = GetParam();
    os_findA a;
    EXPECT_EQ(g_os.findfirstA((dir.str() + c.pattern).c_str(), &a), nullptr);
    EXPECT_EQ(g_os.lasterror(), c.want_error);
    os_findW w;
    std::u16string wp = wide(dir.path()) + testutil::u16(c.pattern);
    EXPECT_EQ(g_os.findfirstW(wp.c_str(), &w), nullptr);
    EXPECT_EQ(g_os.lasterror(), c.want_error);
}

INSTANTIATE_TEST_SUITE_P(Codes, Win32NoMatch, ::testing::ValuesIn(kNoMatch),
                         [](const auto& i) { return std::string(i.param.label); });

TEST_F(Win32Search, NullSearchIsRefused) {
    os_findA a;
    os_findW w;
    EXPECT_EQ(g_os.findnextA(nullptr, &a), 0);
    EXPECT_EQ(g_os.findnextW(nullptr, &w), 0);
    g_os.findclose(nullptr);  // no effect, no crash
}

}  // namespace

#endif  // _WIN32
