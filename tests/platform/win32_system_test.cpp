// win32_system_test.cpp - the Windows side of the platform layer beyond
// files: file times and local time, the version lookup, the process's
// command line and current directory, and the console poll.
//
// Oracles: the calendar values of the file times were computed by Python's
// datetime; the local times by Python's zoneinfo for the zones named below
// (tools/test-windows.sh runs this program once per zone, with TZ set, and
// wine takes the zone from it); the Windows version from the kernel's
// shared data page, which every Windows since NT keeps at 0x7FFE0000 and
// which no call of ours goes through.

#if defined(_WIN32)

#include <gtest/gtest.h>

#include <thread>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "testutil.h"

namespace {

// ---- File times to calendar times ---------------------------------------------

struct TimeCase {
    const char* label;
    uint64_t ft;
    os_systime want;  // year, month, weekday, day, hour, minute, second, ms
};

const TimeCase kTimes[] = {
    {"epoch_1601", 0, {1601, 1, 1, 1, 0, 0, 0, 0}},
    {"epoch_1970", 116444736000000000ull, {1970, 1, 4, 1, 0, 0, 0, 0}},
    {"leap_day_2000_last_ms", 125963423999990000ull, {2000, 2, 2, 29, 23, 59, 59, 999}},
    {"leap_day_2024", 133536836967890000ull, {2024, 2, 4, 29, 12, 34, 56, 789}},
    {"past_2038", 137919572480000000ull, {2038, 1, 2, 19, 3, 14, 8, 0}},
    {"half_second_before_2000", 125911583995000000ull, {1999, 12, 5, 31, 23, 59, 59, 500}},
    // Sub-millisecond units are cut, not rounded.
    {"truncates_below_ms", 116444736000009999ull, {1970, 1, 4, 1, 0, 0, 0, 0}},
    // The last file time the system converts.
    {"largest", 0x7FFFFFFFFFFFFFFFull, {30828, 9, 4, 14, 2, 48, 5, 477}},
};

class Win32FileTime : public ::testing::TestWithParam<TimeCase> {
protected:
    void SetUp() override { g_os = os_native; }
};

void expect_same(const os_systime& got, const os_systime& want) {
    EXPECT_EQ(got.year, want.year);
    EXPECT_EQ(got.month, want.month);
    EXPECT_EQ(got.day, want.day);
    EXPECT_EQ(got.weekday, want.weekday);
    EXPECT_EQ(got.hour, want.hour);
    EXPECT_EQ(got.minute, want.minute);
    EXPECT_EQ(got.second, want.second);
    EXPECT_EQ(got.ms, want.ms);
}

TEST_P(Win32FileTime, GivesTheCalendarTime) {
    os_systime t{};
    ASSERT_EQ(g_os.filetime_to_systime(GetParam().ft, &t), 1);
    expect_same(t, GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Table, Win32FileTime, ::testing::ValuesIn(kTimes),
                         [](const auto& i) { return std::string(i.param.label); });

TEST(Win32FileTimeRefusal, TopBitSetIsRefused) {
    os_systime t{};
    t.year = 7;
    EXPECT_EQ(g_os.filetime_to_systime(0x8000000000000000ull, &t), 0);
    EXPECT_EQ(g_os.filetime_to_systime(~0ull, &t), 0);
    EXPECT_EQ(t.year, 7);
}

// ---- Local time ------------------------------------------------------------------

// UTC instants and their local time in each zone, around both daylight-saving
// changes of 2024 where the zone has them.
struct LocalCase {
    const char* zone;
    os_systime utc;
    os_systime want;
};

constexpr os_systime at(uint16_t y, uint16_t mo, uint16_t wd, uint16_t d, uint16_t h, uint16_t mi) {
    return {y, mo, wd, d, h, mi, 0, 0};
}

const LocalCase kLocal[] = {
    {"UTC", at(2024, 7, 1, 15, 12, 0), at(2024, 7, 1, 15, 12, 0)},
    {"Asia/Tokyo", at(2024, 7, 1, 15, 12, 0), at(2024, 7, 1, 15, 21, 0)},
    {"Asia/Tokyo", at(2024, 12, 2, 31, 15, 0), at(2025, 1, 3, 1, 0, 0)},
    {"America/New_York", at(2024, 1, 1, 15, 12, 0), at(2024, 1, 1, 15, 7, 0)},
    {"America/New_York", at(2024, 7, 1, 15, 12, 0), at(2024, 7, 1, 15, 8, 0)},
    {"America/New_York", at(2024, 3, 0, 10, 6, 59), at(2024, 3, 0, 10, 1, 59)},
    {"America/New_York", at(2024, 3, 0, 10, 7, 0), at(2024, 3, 0, 10, 3, 0)},
    {"America/New_York", at(2024, 11, 0, 3, 5, 59), at(2024, 11, 0, 3, 1, 59)},
    {"America/New_York", at(2024, 11, 0, 3, 6, 0), at(2024, 11, 0, 3, 1, 0)},
    {"Europe/Berlin", at(2024, 3, 0, 31, 0, 59), at(2024, 3, 0, 31, 1, 59)},
    {"Europe/Berlin", at(2024, 3, 0, 31, 1, 0), at(2024, 3, 0, 31, 3, 0)},
    {"Europe/Berlin", at(2024, 10, 0, 27, 0, 59), at(2024, 10, 0, 27, 2, 59)},
    {"Europe/Berlin", at(2024, 10, 0, 27, 1, 0), at(2024, 10, 0, 27, 2, 0)},
};

// Runs the cases of the zone named by TZ; the other zones' cases wait for
// their own run.  Without TZ the program has no zone it knows for certain.
TEST(Win32LocalTime, FollowsTheZoneAndItsDaylightSaving) {
    const char* tz = std::getenv("TZ");
    if (!tz) GTEST_SKIP() << "TZ is not set; tools/test-windows.sh runs this once per zone";
    int ran = 0;
    for (const LocalCase& c : kLocal) {
        if (std::strcmp(c.zone, tz) != 0) continue;
        ran++;
        os_systime local{};
        ASSERT_EQ(g_os.systime_to_local(&c.utc, &local), 1);
        SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.utc.month) + "/" + std::to_string(c.utc.day) +
                     " " + std::to_string(c.utc.hour) + ":" + std::to_string(c.utc.minute));
        expect_same(local, c.want);
    }
    if (!ran) GTEST_SKIP() << "no cases for the zone " << tz;
}

TEST(Win32LocalTime, RefusesAnImpossibleDate) {
    os_systime utc = at(2024, 2, 0, 30, 12, 0), local{};
    EXPECT_EQ(g_os.systime_to_local(&utc, &local), 0);
    utc = at(2024, 13, 0, 1, 0, 0);
    EXPECT_EQ(g_os.systime_to_local(&utc, &local), 0);
}

// ---- Version -----------------------------------------------------------------

// The kernel's own figures from the shared data page: NtMajorVersion at
// 0x26C, NtMinorVersion at 0x270, NtBuildNumber at 0x260 (Windows 10 and
// later; earlier systems leave it 0).
struct KernelVersion {
    uint32_t major, minor, build;
};
KernelVersion kernel_version() {
    const volatile uint8_t* page = reinterpret_cast<const volatile uint8_t*>(uintptr_t{0x7FFE0000});
    auto get = [&](unsigned off) {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++) v |= (uint32_t)page[off + i] << (8 * i);
        return v;
    };
    return {get(0x26C), get(0x270), get(0x260)};
}

// Every processor the system has active (one group on the machines the
// tests run on, where the runtime's count agrees).
TEST(Win32Processors, ActiveProcessorsCount) {
    const int n = g_os.cpu_count();
    EXPECT_GE(n, 1);
    EXPECT_EQ((unsigned)n, std::thread::hardware_concurrency());
}

TEST(Win32Version, RtlGetVersionTellsTheTruth) {
    os_osversion v{99, 99, 99};
    int32_t status = -1;
    ASSERT_EQ(g_os.rtl_get_version(&v, &status), 1);
    EXPECT_EQ(status, 0);  // STATUS_SUCCESS
    KernelVersion k = kernel_version();
    EXPECT_EQ(v.major, k.major);
    EXPECT_EQ(v.minor, k.minor);
    if (k.build) {
        EXPECT_EQ(v.build, k.build & 0xFFFF);
    }
    EXPECT_GE(v.major, 6u);
}

TEST(Win32Version, GetVersionIsTheManifestlessAnswer) {
    // Without a compatibility manifest, GetVersion claims at most 6.2 on
    // Windows 8 and later: the reason the driver asks RtlGetVersion.
    uint32_t gv = g_os.get_version();
    uint32_t major = gv & 0xFF, minor = (gv >> 8) & 0xFF;
    KernelVersion k = kernel_version();
    EXPECT_GE(major, 5u);
    EXPECT_LE(major * 10 + minor, k.major * 10 + k.minor);
    if (k.major * 10 + k.minor >= 62) {
        EXPECT_EQ(major, 6u);
        EXPECT_EQ(minor, 2u);
    }
    EXPECT_EQ(g_os.host_system(), nullptr);
}

TEST(Win32Version, LookupCanBeCalledAgainAndAgain) {
    // Every call takes and gives back its reference to ntdll; a leak or an
    // extra release would show after many calls as a failure or a crash.
    for (int i = 0; i < 2000; i++) {
        os_osversion v{};
        int32_t status = -1;
        ASSERT_EQ(g_os.rtl_get_version(&v, &status), 1);
        ASSERT_EQ(status, 0);
    }
}

// ---- Process ---------------------------------------------------------------------

TEST(Win32Process, CommandLineNamesThisProgram) {
    std::string a = g_os.command_lineA();
    std::u16string w = g_os.command_lineW();
    ASSERT_FALSE(a.empty());
    // The program's name is in both forms; for a line of ASCII, the two
    // forms are the same characters.
    EXPECT_NE(a.find("test_platform"), std::string::npos) << a;
    bool ascii = true;
    for (char c : a) ascii = ascii && (uint8_t)c < 0x80;
    if (ascii) {
        ASSERT_EQ(w.size(), a.size());
        for (size_t i = 0; i < a.size(); i++) EXPECT_EQ(w[i], (char16_t)a[i]);
    }
}

TEST(Win32Process, CurrentDirectoryInBothFormsAndTooSmallBuffers) {
    char a[600];
    char16_t w[600];
    uint32_t na = g_os.current_dirA(sizeof a, a);
    uint32_t nw = g_os.current_dirW(600, w);
    ASSERT_GT(na, 0u);
    ASSERT_GT(nw, 0u);
    EXPECT_EQ(na, std::strlen(a));
    EXPECT_EQ(std::filesystem::path(std::u16string(w, nw)), std::filesystem::current_path());
    // Exactly the length is one unit short of room for the 0.
    char small[600];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(g_os.current_dirA(na, small), 0u);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(g_os.current_dirA(na + 1, small), na);
    EXPECT_STREQ(small, a);
    char16_t wsmall[600];
    wsmall[0] = u'x';
    EXPECT_EQ(g_os.current_dirW(nw, wsmall), 0u);
    EXPECT_EQ(wsmall[0], 0);
    EXPECT_EQ(g_os.current_dirW(0, wsmall), 0u);
}

TEST(Win32Process, InitGivesArgvBack) {
    char arg0[] = "prog", arg1[] = "x y";
    char* argv[] = {arg0, arg1, nullptr};
    EXPECT_EQ(os_init(2, argv), argv);
}

// ---- Console ---------------------------------------------------------------------

TEST(Win32Console, NoConsoleInputMeansNoEvent) {
    // The tests run with standard input from a file or a pipe (CI has no
    // console), which is no console input queue: nothing is read from it.
    int key = 12345;
    g_os.pump_messages();
    EXPECT_EQ(g_os.console_event(&key), 0);
    EXPECT_EQ(key, 12345);
}

}  // namespace

#endif  // _WIN32
