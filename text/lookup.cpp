// lookup.cpp - single-file lookup: the first entry that matches a wildcard
// pattern, with its name, last-write time, local date and time, or size
// (contracts in text/paths.h).
//
// All eight functions share one core that receives both pattern forms and the
// flag `wide` (0 or 0xFF) and searches with the form the flag selects; the
// search itself is the platform's FindFirstFile/FindNextFile (g_os).

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"
#include "text/paths.h"

namespace {

// The entry a lookup reports, as the search delivered it: by the 8-bit or
// the 16-bit pattern.
struct found_entry {
    os_findA a;
    os_findW w;
    uint8_t wide;
    uint32_t attrib() const { return wide ? w.attrib : a.attrib; }
    uint64_t wtime() const { return wide ? w.wtime : a.wtime; }
    uint64_t size() const { return wide ? w.size : a.size; }
};

// Finds the entry to report: the first match, or the second when the first is
// a directory (so a pattern such as "*" that meets "." first can still name a
// file).  Only one entry is ever skipped.  Returns 0 with *e filled, -1 (no
// match, or a directory alone) or -2 (two directories).  The search is closed
// before return, whatever the outcome.
int find_entry(const char* patA, const char16_t* patW, uint8_t wide, found_entry* e) {
    e->wide = wide;
    os_search s = wide ? (patW ? g_os.findfirstW(patW, &e->w) : nullptr)
                       : (patA ? g_os.findfirstA(patA, &e->a) : nullptr);
    if (!s) return -1;
    int rc = 0;
    if (e->attrib() & OS_ATTR_DIRECTORY) {
        int more = wide ? g_os.findnextW(s, &e->w) : g_os.findnextA(s, &e->a);
        if (!more) rc = -1;
        else if (e->attrib() & OS_ATTR_DIRECTORY) rc = -2;
    }
    g_os.findclose(s);
    return rc;
}

int findfirstname_core(char* dstA, char16_t* dstW, const char* patA, const char16_t* patW,
                       uint8_t wide) {
    if (wide) dstW[0] = 0;
    else dstA[0] = 0;
    found_entry e;
    int rc = find_entry(patA, patW, wide, &e);
    if (rc) return rc;
    // The entry's name is copied up to its terminator, or its 259th unit when
    // a platform left none.
    size_t i = 0;
    if (wide) {
        for (; i < 259 && e.w.name[i]; i++) dstW[i] = e.w.name[i];
        dstW[i] = 0;
    } else {
        for (; i < 259 && e.a.name[i]; i++) dstA[i] = e.a.name[i];
        dstA[i] = 0;
    }
    return 0;
}

// Bits 20 to 51 of the file time: the high half shifted left by 12, ORed with
// the low half shifted right by 20, kept to 32 bits.
int getfwtime_core(const char* patA, const char16_t* patW, uint8_t wide) {
    found_entry e;
    if (int rc = find_entry(patA, patW, wide, &e)) return rc;
    uint32_t hi = (uint32_t)(e.wtime() >> 32), lo = (uint32_t)e.wtime();
    return (int)((hi << 12) | (lo >> 20));
}

int getfdatetime_core(int* year, int* month, int* day, int* weekday, int* hour, int* minute,
                      int* second, int* millisecond, const char* patA, const char16_t* patW,
                      uint8_t wide) {
    *weekday = 0;
    found_entry e;
    if (int rc = find_entry(patA, patW, wide, &e)) return rc;
    os_systime utc, local;
    if (!g_os.filetime_to_systime(e.wtime(), &utc)) return -3;
    if (!g_os.systime_to_local(&utc, &local)) {
        std::printf("Failed to convert UTC to local time. \n");
        local = utc;
    }
    *year = local.year;
    *month = local.month;
    *day = local.day;
    *weekday = local.weekday + 1;
    *hour = local.hour;
    *minute = local.minute;
    *second = local.second;
    *millisecond = local.ms;
    return 0;
}

// A size above 0x7FFFFFFF has no int form: it is reported as 0x7FFFFFFF, so
// that 2 GiB to 4 GiB never read as negative, 0xFFFFFFFF never as the -1 of a
// failed search, and a multiple of 4 GiB never as 0.
int getfsize_core(const char* patA, const char16_t* patW, uint8_t wide) {
    found_entry e;
    if (int rc = find_entry(patA, patW, wide, &e)) return rc;
    return e.size() > 0x7FFFFFFFu ? 0x7FFFFFFF : (int)e.size();
}

}  // namespace

int findfirstnameW(char16_t* dst, const char16_t* pattern) {
    return findfirstname_core(nullptr, dst, nullptr, pattern, 0xFF);
}
int findfirstname(char* dst, const char* pattern) {
    return findfirstname_core(dst, nullptr, pattern, nullptr, 0);
}

int getfwtimeW(const char16_t* pattern) { return getfwtime_core(nullptr, pattern, 0xFF); }
int getfwtime(const char* pattern) { return getfwtime_core(pattern, nullptr, 0); }

int getfdatetimeW(int* year, int* month, int* day, int* weekday, int* hour, int* minute,
                  int* second, int* millisecond, const char16_t* pattern) {
    return getfdatetime_core(year, month, day, weekday, hour, minute, second, millisecond,
                             nullptr, pattern, 0xFF);
}
int getfdatetime(int* year, int* month, int* day, int* weekday, int* hour, int* minute,
                 int* second, int* millisecond, const char* pattern) {
    return getfdatetime_core(year, month, day, weekday, hour, minute, second, millisecond,
                             pattern, nullptr, 0);
}

int getfsizeW(const char16_t* pattern) { return getfsize_core(nullptr, pattern, 0xFF); }
int getfsize(const char* pattern) { return getfsize_core(pattern, nullptr, 0); }
