// posix_time_test.cpp - file times to calendar times and UTC to local time on
// POSIX.  The calendar arithmetic is judged by the C library's gmtime_r over
// a sweep of four centuries and more; local time under zones with and
// without daylight saving, set through TZ.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform/posix_internal.h"

using namespace platform_detail;

namespace {

const uint64_t kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in 100 ns since 1601

struct Sys { int y, mo, wd, d, h, mi, s, ms; };

Sys sys_of(const os_systime& t) { return {t.year, t.month, t.weekday, t.day, t.hour, t.minute, t.second, t.ms}; }
bool operator==(const Sys& a, const Sys& b) {
    return a.y == b.y && a.mo == b.mo && a.wd == b.wd && a.d == b.d && a.h == b.h && a.mi == b.mi && a.s == b.s &&
           a.ms == b.ms;
}
std::ostream& operator<<(std::ostream& o, const Sys& t) {
    char buf[64];
    snprintf(buf, sizeof buf, "%04d-%02d-%02d (wd %d) %02d:%02d:%02d.%03d", t.y, t.mo, t.d, t.wd, t.h, t.mi, t.s, t.ms);
    return o << buf;
}

TEST(FileTimeToSystemTime, WorkedValues) {
    struct Case { uint64_t ft; Sys want; } cases[] = {
        {0, {1601, 1, 1, 1, 0, 0, 0, 0}},  // a Monday
        {kUnixEpoch, {1970, 1, 4, 1, 0, 0, 0, 0}},  // a Thursday
        {kUnixEpoch + 9999999, {1970, 1, 4, 1, 0, 0, 0, 999}},
        {kUnixEpoch + 10000ull * 1234, {1970, 1, 4, 1, 0, 0, 1, 234}},
        {126444736001234567ull, {2001, 9, 0, 9, 1, 46, 40, 123}},  // 1e9 s after 1970, a Sunday
        {kUnixEpoch + 951782400ull * 10000000, {2000, 2, 2, 29, 0, 0, 0, 0}},   // leap day of a 400-year leap year
        {kUnixEpoch + 4107456000ull * 10000000, {2100, 2, 0, 28, 0, 0, 0, 0}},  // 2100 has no 29 February
        {kUnixEpoch + 4107542400ull * 10000000, {2100, 3, 1, 1, 0, 0, 0, 0}},
        {0x7FFFFFFFFFFFFFFFull, {30828, 9, 4, 14, 2, 48, 5, 477}},  // the last time Windows takes
    };
    for (const auto& c : cases) {
        os_systime t;
        ASSERT_EQ(g_os.filetime_to_systime(c.ft, &t), 1) << c.ft;
        EXPECT_EQ(sys_of(t), c.want) << c.ft;
    }
    os_systime t;
    EXPECT_EQ(g_os.filetime_to_systime(0x8000000000000000ull, &t), 0);
    EXPECT_EQ(g_os.filetime_to_systime(~0ull, &t), 0);
}

// Against gmtime_r, from 1601 to 2600, in steps that walk through every day
// of the week, month and leap-year case (and a second offset that moves
// through the hours).
TEST(FileTimeToSystemTime, AgreesWithTheCLibrary) {
    const int64_t start = -11644473600;  // 1601-01-01 in seconds since 1970
    const int64_t end = 19880899200;     // 2600-01-01
    for (int64_t t = start; t < end; t += 86400 * 7 + 3601 * 5 + 17) {
        time_t tt = (time_t)t;
        struct tm tm;
        ASSERT_NE(gmtime_r(&tt, &tm), nullptr);
        uint64_t ft = (uint64_t)(t - start) * 10000000u + 4560000;
        os_systime s;
        ASSERT_EQ(g_os.filetime_to_systime(ft, &s), 1);
        Sys want = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_wday, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 456};
        ASSERT_EQ(sys_of(s), want) << t;
    }
}

TEST(CivilDays, RoundTripsEveryDay) {
    for (int64_t d = 0; d < 146097 * 3; d++) {  // 1200 years from 1601
        int y, m, dd;
        civil_of_days(d, &y, &m, &dd);
        ASSERT_EQ(days_of_civil(y, m, dd), d);
    }
}

// Sets TZ for one test and puts it back.
class LocalTime : public ::testing::Test {
protected:
    void SetUp() override {
        g_os = os_native;
        const char* tz = getenv("TZ");
        had_ = tz != nullptr;
        if (tz) old_ = tz;
    }
    void TearDown() override {
        if (had_) setenv("TZ", old_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    static void zone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    bool had_ = false;
    std::string old_;
};

struct LocalCase {
    const char* tz;
    Sys utc;   // weekday ignored on input
    Sys want;
};

TEST_F(LocalTime, ZonesWithAndWithoutDaylightSaving) {
    const LocalCase cases[] = {
        {"UTC", {2024, 7, 0, 1, 12, 0, 0, 5}, {2024, 7, 1, 1, 12, 0, 0, 5}},
        {"Europe/Berlin", {2024, 7, 0, 1, 12, 0, 0, 0}, {2024, 7, 1, 1, 14, 0, 0, 0}},     // summer, +2
        {"Europe/Berlin", {2024, 1, 0, 15, 12, 30, 0, 999}, {2024, 1, 1, 15, 13, 30, 0, 999}},  // winter, +1
        {"Europe/Berlin", {2024, 12, 0, 31, 23, 30, 0, 0}, {2025, 1, 3, 1, 0, 30, 0, 0}},  // into a new year
        {"Europe/Berlin", {2024, 3, 0, 31, 0, 59, 59, 0}, {2024, 3, 0, 31, 1, 59, 59, 0}},  // just before the change
        {"Europe/Berlin", {2024, 3, 0, 31, 1, 0, 0, 0}, {2024, 3, 0, 31, 3, 0, 0, 0}},      // just after it
        {"America/New_York", {2024, 7, 0, 4, 3, 0, 0, 0}, {2024, 7, 3, 3, 23, 0, 0, 0}},  // summer, -4, day before
        {"America/New_York", {2024, 1, 0, 15, 12, 0, 0, 0}, {2024, 1, 1, 15, 7, 0, 0, 0}},  // winter, -5
        {"America/New_York", {2024, 3, 0, 10, 6, 59, 59, 0}, {2024, 3, 0, 10, 1, 59, 59, 0}},
        {"America/New_York", {2024, 3, 0, 10, 7, 0, 0, 0}, {2024, 3, 0, 10, 3, 0, 0, 0}},
        {"America/New_York", {2024, 2, 0, 29, 4, 0, 0, 0}, {2024, 2, 3, 28, 23, 0, 0, 0}},  // out of a leap day
        {"Asia/Tokyo", {1999, 12, 0, 31, 15, 0, 0, 0}, {2000, 1, 6, 1, 0, 0, 0, 0}},
    };
    for (const LocalCase& c : cases) {
        zone(c.tz);
        os_systime in = {(uint16_t)c.utc.y, (uint16_t)c.utc.mo, 6, (uint16_t)c.utc.d,
                         (uint16_t)c.utc.h, (uint16_t)c.utc.mi, (uint16_t)c.utc.s, (uint16_t)c.utc.ms};
        os_systime out;
        ASSERT_EQ(g_os.systime_to_local(&in, &out), 1) << c.tz;
        EXPECT_EQ(sys_of(out), c.want) << c.tz << " " << c.utc;
    }
}

TEST_F(LocalTime, FollowsAChangeOfTzAtOnce) {
    os_systime in = {2024, 7, 0, 1, 12, 0, 0, 0}, out;
    zone("UTC");
    ASSERT_EQ(g_os.systime_to_local(&in, &out), 1);
    EXPECT_EQ(out.hour, 12);
    zone("Asia/Tokyo");
    ASSERT_EQ(g_os.systime_to_local(&in, &out), 1);
    EXPECT_EQ(out.hour, 21);
}

TEST_F(LocalTime, RefusesFieldsWindowsRefuses) {
    zone("UTC");
    const os_systime bad[] = {
        {2023, 2, 0, 29, 0, 0, 0, 0}, {2100, 2, 0, 29, 0, 0, 0, 0}, {2024, 4, 0, 31, 0, 0, 0, 0},
        {2024, 13, 0, 1, 0, 0, 0, 0}, {2024, 0, 0, 1, 0, 0, 0, 0},  {2024, 1, 0, 0, 0, 0, 0, 0},
        {2024, 1, 0, 1, 24, 0, 0, 0}, {2024, 1, 0, 1, 0, 60, 0, 0}, {2024, 1, 0, 1, 0, 0, 60, 0},
        {2024, 1, 0, 1, 0, 0, 0, 1000}, {1600, 12, 0, 31, 0, 0, 0, 0}, {30828, 1, 0, 1, 0, 0, 0, 0},
    };
    for (const os_systime& b : bad) {
        os_systime out;
        EXPECT_EQ(g_os.systime_to_local(&b, &out), 0) << b.year << "-" << b.month << "-" << b.day;
    }
    os_systime leap = {2000, 2, 0, 29, 23, 59, 59, 999}, out;
    ASSERT_EQ(g_os.systime_to_local(&leap, &out), 1);
    EXPECT_EQ(sys_of(out), (Sys{2000, 2, 2, 29, 23, 59, 59, 999}));
}

}  // namespace

#endif
