// list.cpp - the list-line rule of "list.txt" on any bytes, read through the
// text reader by wide and by 8-bit name.  Both passes must give the same
// names in the same order, every name must be one the rule allows (0 to 63
// bytes, each from 32 to 127), and the list must end: no more names than
// the file has line ends plus one.

#include <cstring>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "movie/framelist.h"
#include "stream/stream.h"

namespace {

std::vector<std::string> names(bool wide, size_t size) {
    std::vector<std::string> out;
    int opened = wide ? tfopenW(fuzz::kInputNameW) : tfopen(fuzz::kInputName);
    FUZZ_CHECK(opened == 0);
    char name[LISTNAME_BUF + 16];
    for (;;) {
        std::memset(name, 0x55, sizeof name);
        if (listgetname(name) != 0) break;
        size_t len = strnlen(name, LISTNAME_BUF);
        FUZZ_CHECK(len <= (size_t)LISTNAME_MAX);
        for (size_t i = 0; i < len; i++) FUZZ_CHECK((uint8_t)name[i] >= 32 && (uint8_t)name[i] <= 127);
        // The buffer of LISTNAME_BUF bytes is all the rule may write.
        for (size_t i = LISTNAME_BUF; i < sizeof name; i++) FUZZ_CHECK((uint8_t)name[i] == 0x55);
        out.emplace_back(name, len);
        FUZZ_CHECK(out.size() <= size + 1);
    }
    tfclose();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::serve(fuzz::kInputName, data, size);
    std::vector<std::string> w = names(true, size);
    std::vector<std::string> n = names(false, size);
    FUZZ_CHECK(w == n);
    return 0;
}
