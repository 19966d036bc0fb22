// convert.cpp - the in-memory converters, the 16-bit string converters and
// the escape reader on any bytes.  The first byte picks the function, the rest is its source (and,
// for the appending forms, first the string already in dst, up to a 0 byte).
//
// Every source and every output buffer is allocated at exactly the size the
// headers promise is enough, so AddressSanitizer turns each bound into a
// check: no converter may write past its documented worst case or read past
// its source's terminator.  Beyond that: statuses are in range, results
// count within the source, an appending form refuses exactly when dst has no
// end in its first 520 bytes or units and then leaves dst alone, and a
// string compares equal to itself.

#include <cstring>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "text/codes.h"
#include "text/convert.h"
#include "text/filecvt.h"

namespace {

// A 0-ended 8-bit string of exactly its own size.
std::vector<char> cstring(const std::string& s) {
    std::vector<char> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

// The payload as UTF-16LE: pairs of bytes, an odd last byte dropped, ended by
// a 0 unit; units holds the count before the first 0 unit.
std::vector<uint8_t> le_string(const uint8_t* p, size_t n, size_t* units) {
    std::vector<uint8_t> v(p, p + (n & ~(size_t)1));
    v.push_back(0);
    v.push_back(0);
    size_t k = 0;
    while (v[2 * k] || v[2 * k + 1]) k++;
    *units = k;
    return v;
}

// The payload as a 0-ended char16_t string (native order; the tests' machines
// are little-endian).
std::vector<char16_t> wide_string(const uint8_t* p, size_t n, size_t* units) {
    std::vector<char16_t> v;
    for (size_t i = 0; i + 1 < n; i += 2) v.push_back((char16_t)(p[i] | (p[i + 1] << 8)));
    v.push_back(0);
    size_t k = 0;
    while (v[k]) k++;
    *units = k;
    return v;
}

bool utf8_status(int s) { return s == 0 || s == 7; }
bool sjis_status(int s) { return s >= 0 && s <= 15; }

// The appending forms: dst holds prefix (no 0 inside) and its terminator,
// then room for the conversion (need bytes); width 1 or 2 (bytes per unit).
template <typename F>
void appending(const std::string& prefix, size_t need, int width, F convert) {
    size_t units = prefix.size() + 1;
    std::vector<uint8_t> dst(units * width + need, 0xEE);
    for (size_t i = 0; i < prefix.size(); i++) {
        dst[i * width] = (uint8_t)prefix[i];
        if (width == 2) dst[i * width + 1] = 0;
    }
    std::memset(dst.data() + prefix.size() * width, 0, width);
    std::vector<uint8_t> before = dst;
    int r = convert(dst.data());
    if (prefix.size() >= 520) {
        FUZZ_CHECK(r == -1);
        FUZZ_CHECK(dst == before);
    } else {
        FUZZ_CHECK(sjis_status(r));
        FUZZ_CHECK(std::memcmp(dst.data(), before.data(), prefix.size() * width) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::Input in{data, size};
    int pick = in.byte() % 15;
    const uint8_t* rest = in.p;
    size_t restn = in.n;
    std::string text = in.cstr();  // the source of the 8-bit-source functions
    size_t n = text.size();
    size_t units = 0;

    switch (pick) {
    case 0: {  // dst: 3.5 bytes per source byte, plus 4
        std::vector<char> src = cstring(text);
        std::vector<uint8_t> dst((7 * n + 1) / 2 + 4);
        FUZZ_CHECK(utf8_status(utf8towstr(dst.data(), src.data())));
        break;
    }
    case 1: {  // dst: one byte per source byte, plus 1
        std::vector<char> src = cstring(text);
        std::vector<char> dst(n + 1);
        FUZZ_CHECK(utf8_status(utf8tosjis(dst.data(), src.data())));
        FUZZ_CHECK(std::strlen(dst.data()) <= n);
        break;
    }
    case 2: {
        std::vector<char> src = cstring(text);
        std::vector<char> dst(n + 1);
        FUZZ_CHECK(utf8_status(utf8unesc(dst.data(), src.data())));
        break;
    }
    case 3: {  // dst: 1.5 bytes per source byte, plus 1
        std::vector<uint8_t> src = le_string(rest, restn, &units);
        std::vector<char> dst(3 * units + 1);
        int taken = wstrtoutf8(dst.data(), src.data());
        FUZZ_CHECK(taken >= 0 && (size_t)taken <= 2 * units + 2 && taken % 2 == 0);
        break;
    }
    case 4: {  // dst: one byte per source byte, plus 1
        std::vector<uint8_t> src = le_string(rest, restn, &units);
        std::vector<char> dst(2 * units + 1);
        int taken = utf16tosjis(dst.data(), src.data());
        FUZZ_CHECK(taken >= 0 && (size_t)taken <= 2 * units + 2 && taken % 2 == 0);
        break;
    }
    case 5: {  // dst: three bytes per source byte, plus 1
        std::vector<char> src = cstring(text);
        std::vector<char> dst(3 * n + 1);
        FUZZ_CHECK(sjis_status(sjistoutf8(dst.data(), src.data())));
        break;
    }
    case 6: {  // dst: two bytes per source byte, plus 2
        std::vector<char> src = cstring(text);
        std::vector<uint8_t> dst(2 * n + 2);
        FUZZ_CHECK(sjis_status(sjistoutf16(dst.data(), src.data())));
        FUZZ_CHECK((size_t)utf16len(dst.data()) <= 2 * n);
        break;
    }
    case 7: {
        std::vector<char> src = cstring(in.cstr());
        size_t m = src.size() - 1;
        appending(text, 3 * m + 1, 1,
                  [&](uint8_t* d) { return sjistoutf8cat((char*)d, src.data()); });
        break;
    }
    case 8: {
        std::vector<char> src = cstring(in.cstr());
        size_t m = src.size() - 1;
        appending(text, 2 * m + 2, 2, [&](uint8_t* d) { return sjistoutf16cat(d, src.data()); });
        break;
    }
    case 9: {  // compare: the payload's two halves, and each with itself
        size_t half = restn / 2;
        size_t ua = 0, ub = 0;
        std::vector<uint8_t> a = le_string(rest, half, &ua);
        std::vector<uint8_t> b = le_string(rest + half, restn - half, &ub);
        int r = utf16cmp(a.data(), b.data());
        FUZZ_CHECK(r == 0 || r == -1 || r == 3);
        FUZZ_CHECK(utf16cmp(a.data(), a.data()) == 0);
        FUZZ_CHECK((size_t)utf16len(a.data()) == 2 * ua && (size_t)utf16len(b.data()) == 2 * ub);
        break;
    }
    case 10: {  // 8-bit to 16-bit strings: one unit per byte, plus 1
        std::vector<char> src = cstring(text);
        std::vector<char16_t> dst(n + 1);
        int taken = sjis2wstr(dst.data(), src.data());
        FUZZ_CHECK(taken >= 0 && (size_t)taken <= n);
        break;
    }
    case 11: {  // 16-bit to 8-bit strings: two bytes per unit, plus 1
        std::vector<char16_t> src = wide_string(rest, restn, &units);
        std::vector<char> dst(2 * units + 1);
        int taken = wstr2sjis(dst.data(), src.data());
        FUZZ_CHECK(taken >= 0 && (size_t)taken <= units);
        int ok = chkwstrsjis(src.data());
        FUZZ_CHECK(ok == 0 || ok == -1);
        break;
    }
    case 12: {  // appending 8-bit to 16-bit: the prefix widened, then the source
        std::vector<char> src = cstring(in.cstr());
        std::vector<char16_t> dst(text.size() + 1 + src.size());
        for (size_t i = 0; i < text.size(); i++) dst[i] = (char16_t)(uint8_t)text[i];
        dst[text.size()] = 0;
        sjis2wstrcat(dst.data(), src.data());
        for (size_t i = 0; i < text.size(); i++) FUZZ_CHECK(dst[i] == (char16_t)(uint8_t)text[i]);
        break;
    }
    case 13: {  // appending 16-bit to 8-bit
        std::vector<char16_t> src = wide_string(in.p, in.n, &units);
        std::vector<char> dst(text.size() + 1 + 2 * units + 1);
        std::memcpy(dst.data(), text.data(), text.size());
        dst[text.size()] = 0;
        wstr2sjiscat(dst.data(), src.data());
        FUZZ_CHECK(std::memcmp(dst.data(), text.data(), text.size()) == 0);
        break;
    }
    case 14: {  // the escape reader: at most one code point per byte
        std::vector<char> src = cstring(text);
        int found = sjisesc2uni(src.data());
        FUZZ_CHECK(found >= 0 && (size_t)found <= n);
        break;
    }
    }
    return 0;
}
