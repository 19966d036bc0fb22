// platform_fixture.h - what the platform tests share: a file handle closed
// whatever the test asserted, wide paths, and a directory search run to its
// end.
#ifndef REELKILN_TESTS_PLATFORM_FIXTURE_H
#define REELKILN_TESTS_PLATFORM_FIXTURE_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platformtest {

// A file handle closed when the test ends, whatever it asserted.
struct Handle {
    os_file f = nullptr;
    explicit Handle(os_file h) : f(h) {}
    ~Handle() { if (f) g_os.close(f); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    // Hands the handle over (to a close whose answer the test checks).
    os_file release() { os_file h = f; f = nullptr; return h; }
};

// A path as the 16-bit name the wide services take.
inline std::u16string wide(const std::filesystem::path& p) { return p.u16string(); }

// Every entry of one search in the order given, and the last error once it
// ended: the error of the first call when nothing matched (found false),
// otherwise the one left by the find-next that ended the search.
template <class Find>
struct Listing {
    bool found = false;
    std::vector<Find> entries;
    uint32_t end_error = 0;
};

namespace detail {
template <class Find, class Char>
Listing<Find> search_with(const Char* pattern, os_search (*first)(const Char*, Find*),
                          int (*next)(os_search, Find*)) {
    Listing<Find> l;
    Find e;
    os_search s = first(pattern, &e);
    if (!s) {
        l.end_error = g_os.lasterror();
        return l;
    }
    l.found = true;
    do l.entries.push_back(e);
    while (next(s, &e));
    l.end_error = g_os.lasterror();
    g_os.findclose(s);
    return l;
}
}  // namespace detail

inline Listing<os_findA> search_all(const std::string& pattern) {
    return detail::search_with(pattern.c_str(), g_os.findfirstA, g_os.findnextA);
}
inline Listing<os_findW> search_all(const std::u16string& pattern) {
    return detail::search_with(pattern.c_str(), g_os.findfirstW, g_os.findnextW);
}

}  // namespace platformtest

#endif
