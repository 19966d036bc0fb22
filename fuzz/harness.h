// harness.h - what every fuzz target shares: the input served as a file from
// memory through the platform table, a quiet console and a check that ends
// the run.
//
// A target includes this header, calls fuzz::setup() once (it is cheap to
// call on every input) and serves each input under a name before it calls the
// reader under test:
//
//     extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
//         fuzz::setup();
//         fuzz::serve(fuzz::kInputName, data, size);
//         wavscanW(fuzz::kInputNameW, ...);   // handle mode, through g_os.openW
//         wavscan(fuzz::kInputName, ...);     // FILE mode, through g_os.fopen
//         FUZZ_CHECK(...);                    // the results must agree
//         return 0;
//     }
//
// The served bytes are not copied: they must stay valid until the reader
// returns (libFuzzer's input does), and are read from memory by both name
// widths.  Files the code under test creates go, by their base name, to a
// private folder of the process on a memory file system (/dev/shm, or
// RK_FUZZ_TMP), which is removed at exit; nothing outside it is touched.
// Names that were neither served nor created are missing files (error 2).
//
// The library is used as it is: only the platform table g_os is swapped, as
// the unit tests do.  The console: standard output goes to /dev/null (the
// readers print a line per chunk) unless RK_FUZZ_VERBOSE is set; no key is
// ever pressed; sleeps return at once.
#ifndef REELKILN_FUZZ_HARNESS_H
#define REELKILN_FUZZ_HARNESS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

// The name under which targets serve their input, in both widths.
inline constexpr char kInputName[] = "fuzz-input";
inline constexpr char16_t kInputNameW[] = u"fuzz-input";

// Installs the memory files and the quiet console in g_os (once).
void setup();

// Serves size bytes at data as the file name (8-bit names are looked up as
// the same bytes widened, so kInputName and kInputNameW name one file).
// Serving a name again replaces it; serve_clear() forgets every file.
void serve(const char* name, const uint8_t* data, size_t size);
void serve_clear();

// The bytes last written to a file the code under test created (empty when
// there is none).
std::vector<uint8_t> written(const char* name);

// Takes bytes from the front of a fuzz input: a byte for switches, the rest
// as the payload.  Reading past the end gives 0.
struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (n == 0) return 0;
        n--;
        return *p++;
    }
    // The bytes up to (not including) the next 0 byte, which is taken; all
    // that is left when there is none.
    std::string cstr() {
        size_t k = 0;
        while (k < n && p[k] != 0) k++;
        std::string s((const char*)p, k);
        p += k < n ? k + 1 : k;
        n -= k < n ? k + 1 : k;
        return s;
    }
};

}  // namespace fuzz

// Ends the run as a crash that libFuzzer records, with the broken rule.
#define FUZZ_CHECK(cond)                                                          \
    do {                                                                          \
        if (!(cond)) {                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                         #cond);                                                  \
            std::abort();                                                         \
        }                                                                         \
    } while (0)

#endif
