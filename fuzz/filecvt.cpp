// filecvt.cpp - the whole-file encoding checks and the UTF-8 <-> Shift_JIS
// file converters on any bytes.  On every input:
//   - the checks by wide and by 8-bit name agree;
//   - each converter returns the status of the check of the same walk (the
//     converters and the checks share their walkers), and writes an output;
//   - for a file without 0 bytes, the checks agree with the in-memory
//     converters' statuses on the same bytes as a string;
//   - the Shift_JIS converter's counters and output stay within what the
//     input can give;
//   - a converter asked to write over its own input refuses, and the input
//     is still there.

#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "text/convert.h"
#include "text/filecvt.h"

namespace {
constexpr char kOutput[] = "fuzz-output";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::serve(fuzz::kInputName, data, size);

    int u8w = chkifutf8W(fuzz::kInputNameW);
    int u8n = chkifutf8(fuzz::kInputName);
    FUZZ_CHECK(u8w == u8n && (u8w == 0 || u8w == 7));
    int sjw = chkifsjisW(fuzz::kInputNameW);
    int sjn = chkifsjisA(fuzz::kInputName);
    FUZZ_CHECK(sjw == sjn && sjw >= 0 && sjw <= 15);

    FUZZ_CHECK(utf8file2sjis(kOutput, fuzz::kInputName) == u8w);
    std::vector<uint8_t> out = fuzz::written(kOutput);
    FUZZ_CHECK(out.size() <= 24 * size);  // "<<<uni%06X>>>" is the longest a character gives
    FUZZ_CHECK(sjisfile2utf8(kOutput, fuzz::kInputName) == sjw);
    FUZZ_CHECK(ctnoutf >= 0 && ctsecond003F >= 0 && ctfirst80 >= 0);
    FUZZ_CHECK((size_t)ctnoutf + 2 * (size_t)(ctsecond003F + ctfirst80) <= size);
    // A marker of 26 bytes for two input bytes, or three UTF-8 bytes for one.
    FUZZ_CHECK(fuzz::written(kOutput).size() <= 13 * size);

    FUZZ_CHECK(utf8file2sjis(fuzz::kInputName, fuzz::kInputName) == 255);
    FUZZ_CHECK(sjisfile2utf8(fuzz::kInputName, fuzz::kInputName) == 255);
    FUZZ_CHECK(chkifsjisA(fuzz::kInputName) == sjw);

    if (std::string((const char*)data, size).find('\0') == std::string::npos) {
        std::string s((const char*)data, size);
        std::vector<uint8_t> wide(7 * size / 2 + 8);
        FUZZ_CHECK(utf8towstr(wide.data(), s.c_str()) == u8w);
        std::vector<char> u8(3 * size + 1);
        FUZZ_CHECK(sjistoutf8(u8.data(), s.c_str()) == sjw);
    }
    return 0;
}
