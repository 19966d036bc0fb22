// lookup_test.cpp - single-file lookup with real files in a temporary
// directory: the directory-skip rules, names, last-write times (as file-time
// bits and as local calendar time under several time zones), and sizes past
// 2 GiB and 4 GiB through sparse files.  Failures of the time conversions are
// injected through g_os.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testutil.h"
#include "text/paths.h"

namespace fs = std::filesystem;
using testutil::TempDir;
using testutil::u16;

namespace {

// The C++ runtime's setter of file times keeps whole seconds only on Windows
// (it goes through the C runtime's utime there).
#if defined(_WIN32)
const bool kSetterKeepsFraction = false;
#else
const bool kSetterKeepsFraction = true;
#endif

// Sets a file's last-write time to a UTC instant.
void set_mtime(const fs::path& p, int y, unsigned mo, unsigned d, int h, int mi, int s, int ms) {
    using namespace std::chrono;
    sys_time<nanoseconds> t = sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} +
                              seconds{s} + milliseconds{ms};
    fs::last_write_time(p, file_clock::from_sys(t));
}

// The Windows file time (100 ns units since 1601) of a calendar instant.
uint64_t filetime_of(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms) {
    using namespace std::chrono;
    sys_time<milliseconds> t = sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} +
                               seconds{s} + milliseconds{ms};
    return (uint64_t)(t.time_since_epoch().count() * 10000 + 116444736000000000);
}

// Counts the searches opened and closed, so every test can check that each
// lookup closed what it opened.
int g_opened, g_closed;
os_search counting_firstA(const char* p, os_findA* o) {
    os_search s = os_native.findfirstA(p, o);
    if (s) g_opened++;
    return s;
}
os_search counting_firstW(const char16_t* p, os_findW* o) {
    os_search s = os_native.findfirstW(p, o);
    if (s) g_opened++;
    return s;
}
void counting_close(os_search s) {
    g_closed++;
    os_native.findclose(s);
}

// getfdatetime and its wide twin, into v[0..7]: year, month, day, weekday,
// hour, minute, second, milliseconds.
int datetime(int* v, const std::string& name) {
    return getfdatetime(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], name.c_str());
}
int datetime(int* v, const std::u16string& name) {
    return getfdatetimeW(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], name.c_str());
}

class Lookup : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_os;
        g_opened = g_closed = 0;
        g_os.findfirstA = counting_firstA;
        g_os.findfirstW = counting_firstW;
        g_os.findclose = counting_close;
    }
    void TearDown() override {
        EXPECT_EQ(g_opened, g_closed) << "a search was left open";
        g_os = saved_;
    }
    void touch(const std::string& name) { testutil::write_file(dir_.path() / name, "x"); }
    void mkdir(const std::string& name) { fs::create_directory(dir_.path() / name); }
    std::string pat(const std::string& name) const { return dir_.str(name); }
    std::u16string patW(const std::string& name) const { return u16(dir_.str(name)); }

    TempDir dir_;
    os_api saved_;
};

// ---- Which entry is taken -----------------------------------------------------------

struct Entry {
    const char* name;
    bool is_dir;
};

struct SkipCase {
    const char* name;
    std::vector<Entry> entries;
    const char* pattern;
    int rc;
    const char* want;  // the name found, when rc is 0
};
void PrintTo(const SkipCase& c, std::ostream* os) { *os << c.name; }

const SkipCase kSkipCases[] = {
    {"single_file", {{"a.png", false}}, "a.png", 0, "a.png"},
    {"no_match", {{"a.png", false}}, "*.bmp", -1, ""},
    {"empty_dir", {}, "*.png", -1, ""},
    {"first_file", {{"f1", false}, {"f2", true}}, "f*", 0, "f1"},
    {"dir_then_file", {{"x", true}, {"xa", false}}, "x*", 0, "xa"},
    {"two_dirs_then_file", {{"x1", true}, {"x2", true}, {"x3", false}}, "x*", -2, ""},
    {"only_a_dir", {{"x", true}}, "x*", -1, ""},
    {"dir_exact", {{"sub", true}}, "sub", -1, ""},
    // "." and ".." come first under "*" and ".*": two directories.
    {"star_meets_dots", {{"a.png", false}}, "*", -2, ""},
    {"dot_star_meets_dots", {{".hidden", false}}, ".*", -2, ""},
    // Matching ignores case, as on Windows.
    {"case_insensitive", {{"A.PNG", false}}, "*.png", 0, "A.PNG"},
    {"question_mark", {{"f1.png", false}}, "f?.png", 0, "f1.png"},
};

class LookupSkip : public Lookup, public ::testing::WithParamInterface<SkipCase> {};

TEST_P(LookupSkip, NameEightBitAndWide) {
    const SkipCase& c = GetParam();
    for (const Entry& e : c.entries) e.is_dir ? mkdir(e.name) : touch(e.name);

    char name[260] = "garbage";
    EXPECT_EQ(findfirstname(name, pat(c.pattern).c_str()), c.rc);
    EXPECT_STREQ(name, c.want);

    char16_t nameW[260] = u"garbage";
    EXPECT_EQ(findfirstnameW(nameW, patW(c.pattern).c_str()), c.rc);
    EXPECT_EQ(std::u16string(nameW), u16(c.want));

    // The other lookups take the same entry, or fail the same way.
    if (c.rc != 0) {
        EXPECT_EQ(getfsize(pat(c.pattern).c_str()), c.rc);
        EXPECT_EQ(getfsizeW(patW(c.pattern).c_str()), c.rc);
        EXPECT_EQ(getfwtime(pat(c.pattern).c_str()), c.rc);
        EXPECT_EQ(getfwtimeW(patW(c.pattern).c_str()), c.rc);
        int v[8] = {-77, -77, -77, -77, -77, -77, -77, -77};
        EXPECT_EQ(datetime(v, pat(c.pattern)), c.rc);
        EXPECT_EQ(v[3], 0) << "weekday is cleared before the search";
        EXPECT_EQ(v[0], -77) << "the others stay untouched";
        EXPECT_EQ(datetime(v, patW(c.pattern)), c.rc);
    } else {
        EXPECT_EQ(getfsize(pat(c.pattern).c_str()), 1);
        EXPECT_EQ(getfsizeW(patW(c.pattern).c_str()), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LookupSkip, ::testing::ValuesIn(kSkipCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Lookup, MissingDirectoryIsNoMatch) {
    char name[260];
    EXPECT_EQ(findfirstname(name, pat("nodir/x*").c_str()), -1);
    EXPECT_EQ(getfsizeW(patW("nodir/x*").c_str()), -1);
}

// ---- Sizes -----------------------------------------------------------------------------

TEST_F(Lookup, SizesPastTwoAndFourGiB) {
    struct {
        uint64_t size;
        int want;
    } cases[] = {
        {0, 0},
        {1, 1},
        {0x7FFFFFFE, 0x7FFFFFFE},
        {0x7FFFFFFF, 0x7FFFFFFF},
        {0x80000000, 0x7FFFFFFF},      // would read as negative
        {0xFFFFFFFF, 0x7FFFFFFF},      // would read as the -1 of a failed search
        {0x100000000ull, 0x7FFFFFFF},  // would read as 0
        {0x140000123ull, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
        fs::path p = dir_.path() / "big.bin";
        touch("big.bin");
        fs::resize_file(p, c.size);  // sparse: no disk space is used
        EXPECT_EQ(getfsize(pat("big.bin").c_str()), c.want) << c.size;
        EXPECT_EQ(getfsizeW(patW("big.bin").c_str()), c.want) << c.size;
        fs::remove(p);
    }
}

// ---- Times -----------------------------------------------------------------------------

// Bits 20 to 51 of the Windows file time, worked out independently from the
// calendar (100 ns units since 1601-01-01 UTC).
TEST_F(Lookup, WriteTimeBits) {
    struct {
        int y, mo, d, h, mi, s, ms;
        int want;
    } cases[] = {
        {2023, 7, 15, 12, 34, 56, 789, -1687057356},  // file time 0x01D9B718C34DBC50
        {1980, 1, 1, 0, 0, 0, 0, -1904607715},        // 0x01A8E79FE1D58000
        {2038, 1, 19, 3, 14, 8, 0, -1613632173},      // 0x01E9FD1ED53E8000
        {2107, 12, 31, 23, 59, 59, 990, -2037676416}, // 0x023868B868023960
    };
    touch("t.png");
    for (const auto& c : cases) {
        set_mtime(dir_.path() / "t.png", c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms);
        // Where the fraction of a second could not be set, the bits of the
        // whole second are expected instead.
        int want = (kSetterKeepsFraction || c.ms == 0)
                       ? c.want
                       : (int)(uint32_t)(filetime_of(c.y, c.mo, c.d, c.h, c.mi, c.s, 0) >> 20);
        EXPECT_EQ(getfwtime(pat("t.png").c_str()), want) << c.y;
        EXPECT_EQ(getfwtimeW(patW("t.png").c_str()), want) << c.y;
    }
}

struct ZoneCase {
    const char* name;
    const char* tz;  // a POSIX zone rule, so no zone database is needed
    int y, mo, d, h, mi, s, ms;  // UTC
    int want[8];                 // local year, month, day, weekday (Sunday 1), h, m, s, ms
};
void PrintTo(const ZoneCase& c, std::ostream* os) { *os << c.name; }

const ZoneCase kZoneCases[] = {
    {"utc", "UTC0", 2023, 7, 15, 12, 34, 56, 789, {2023, 7, 15, 7, 12, 34, 56, 789}},
    {"cet_summer", "CET-1CEST,M3.5.0,M10.5.0/3", 2023, 7, 15, 12, 34, 56, 789,
     {2023, 7, 15, 7, 14, 34, 56, 789}},
    {"cet_winter", "CET-1CEST,M3.5.0,M10.5.0/3", 2023, 1, 15, 12, 0, 0, 250,
     {2023, 1, 15, 1, 13, 0, 0, 250}},
    {"cet_before_spring_change", "CET-1CEST,M3.5.0,M10.5.0/3", 2023, 3, 26, 0, 59, 59, 0,
     {2023, 3, 26, 1, 1, 59, 59, 0}},
    {"cet_after_spring_change", "CET-1CEST,M3.5.0,M10.5.0/3", 2023, 3, 26, 1, 0, 0, 0,
     {2023, 3, 26, 1, 3, 0, 0, 0}},
    {"jst_next_day", "JST-9", 2023, 7, 15, 23, 30, 0, 0, {2023, 7, 16, 1, 8, 30, 0, 0}},
    {"est_leap_day", "EST5EDT,M3.2.0,M11.1.0", 2024, 3, 1, 2, 0, 0, 0,
     {2024, 2, 29, 5, 21, 0, 0, 0}},
    {"edt_year_back", "EST5EDT,M3.2.0,M11.1.0", 2024, 1, 1, 3, 0, 0, 5,
     {2023, 12, 31, 1, 22, 0, 0, 5}},
};

class LookupZone : public Lookup, public ::testing::WithParamInterface<ZoneCase> {
protected:
    void SetUp() override {
        Lookup::SetUp();
        const char* old = std::getenv("TZ");
        had_tz_ = old != nullptr;
        if (old) old_tz_ = old;
    }
    void TearDown() override {
#if !defined(_WIN32)
        if (had_tz_) setenv("TZ", old_tz_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
#endif
        Lookup::TearDown();
    }
    bool had_tz_ = false;
    std::string old_tz_;
};

TEST_P(LookupZone, LocalDateTime) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows takes its zone from the system, not from TZ";
#else
    const ZoneCase& c = GetParam();
    setenv("TZ", c.tz, 1);
    tzset();
    touch("m.png");
    set_mtime(dir_.path() / "m.png", c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms);
    int v[8];
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(datetime(v, pat("m.png")), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(std::vector<int>(v, v + 8), std::vector<int>(c.want, c.want + 8));
    int w[8];
    EXPECT_EQ(datetime(w, patW("m.png")), 0);
    EXPECT_EQ(std::vector<int>(w, w + 8), std::vector<int>(c.want, c.want + 8));
#endif
}

INSTANTIATE_TEST_SUITE_P(Zones, LookupZone, ::testing::ValuesIn(kZoneCases),
                         [](const auto& info) { return std::string(info.param.name); });

int fail_local(const os_systime*, os_systime*) { return 0; }
int fail_systime(uint64_t, os_systime*) { return 0; }

// When the change to local time fails, the UTC values are delivered after
// one message, and the result is still 0.
TEST_F(Lookup, LocalFailureGivesUtc) {
    g_os.systime_to_local = fail_local;
    touch("m.png");
    set_mtime(dir_.path() / "m.png", 2023, 7, 15, 23, 30, 1, 0);
    int v[8];
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(datetime(v, pat("m.png")), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Failed to convert UTC to local time. \n");
    EXPECT_EQ(std::vector<int>(v, v + 8), (std::vector<int>{2023, 7, 15, 7, 23, 30, 1, 0}));
}

// A file time without a calendar form: -3, weekday 0, the rest untouched.
TEST_F(Lookup, CalendarFailure) {
    g_os.filetime_to_systime = fail_systime;
    touch("m.png");
    for (int wide = 0; wide < 2; wide++) {
        int v[8] = {-77, -77, -77, 9, -77, -77, -77, -77};
        int rc = wide ? datetime(v, patW("m.png")) : datetime(v, pat("m.png"));
        EXPECT_EQ(rc, -3);
        EXPECT_EQ(std::vector<int>(v, v + 8),
                  (std::vector<int>{-77, -77, -77, 0, -77, -77, -77, -77}));
    }
}

}  // namespace
