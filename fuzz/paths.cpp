// paths.cpp - the path parts, the prefix test, the field splitter and the
// number readers on any strings, with and without the system's Shift_JIS
// lead bytes.  The first byte holds the switches (bit 0: code page 932; the
// rest: the field number), then come two 0-ended strings (a path and a
// reference, or a list and a prefix); the 16-bit forms take the whole
// payload as units.
//
// Output buffers have exactly the room each function can need for the given
// input (a part is never longer than the path; setext adds four bytes;
// relpath adds "../" per separator of the reference), so AddressSanitizer
// turns those bounds into checks.  Beyond that: results are the documented
// codes, and parts are pieces of the path they were taken from.

#include <cstring>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "platform/platform.h"
#include "text/paths.h"

namespace {

int cp932_lead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
int no_lead(uint8_t) { return 0; }

std::vector<char> cstring(const std::string& s) {
    std::vector<char> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

bool is_prefix(const char* part, const std::string& of) {
    return std::strncmp(part, of.c_str(), std::strlen(part)) == 0;
}

bool is_suffix(const char* part, const std::string& of) {
    size_t k = std::strlen(part);
    return k <= of.size() && of.compare(of.size() - k, k, part) == 0;
}

void eight_bit(const std::string& a, const std::string& b, int field) {
    std::vector<char> path = cstring(a);
    std::vector<char> ref = cstring(b);
    size_t n = a.size();
    std::vector<char> dst(n + 1);

    FUZZ_CHECK(getdir(dst.data(), path.data()) == 0);
    FUZZ_CHECK(is_prefix(dst.data(), a));
    FUZZ_CHECK(getfname(dst.data(), path.data()) == 0);
    FUZZ_CHECK(is_suffix(dst.data(), a));
    FUZZ_CHECK(cutext(dst.data(), path.data()) == 0);
    FUZZ_CHECK(is_prefix(dst.data(), a));
    int r = getext(dst.data(), path.data());
    FUZZ_CHECK((r == -1 && dst[0] == '.') || (r == 0 && dst[0] == 0));
    FUZZ_CHECK(is_suffix(dst.data(), a));

    std::vector<char> fix(5);
    r = getextfix(path.data(), fix.data());
    FUZZ_CHECK((r == -1 && fix[0] == '.') || (r == 0 && fix[0] == 0));

    std::vector<char> cut = path;
    FUZZ_CHECK(cuttailsep(cut.data()) == 0);
    FUZZ_CHECK(is_prefix(cut.data(), a));

    std::vector<char> withext(n + 5);
    std::memcpy(withext.data(), path.data(), n + 1);
    r = setext(withext.data(), ref.data());
    FUZZ_CHECK(r == 0 || r == -1);

    r = isabspath(path.data());
    FUZZ_CHECK(r == 0 || r == -1);
    std::vector<char> slashed = path;
    FUZZ_CHECK(slash2bs(slashed.data()) == 0);
    FUZZ_CHECK(std::strlen(slashed.data()) == n);

    size_t seps = 0;
    for (char c : b) seps += c == '\\' || c == '/';
    std::vector<char> rel(3 * seps + n + 1);
    FUZZ_CHECK(relpath(rel.data(), path.data(), ref.data()) == 0);

    r = strheadcmp(path.data(), ref.data());
    FUZZ_CHECK(r == 0 || r == -1);
    FUZZ_CHECK(strheadcmp(path.data(), path.data()) == 0);

    r = getfield(dst.data(), path.data(), field);
    FUZZ_CHECK((r == 0 && std::strstr(a.c_str(), dst.data())) || (r == -1 && dst[0] == 0));

    r = strtailint(path.data());
    FUZZ_CHECK(r >= -1 || (n > 0 && a.back() >= '0' && a.back() <= '9'));
    r = strheadint(path.data());
    FUZZ_CHECK(r >= -1 || (n > 0 && a[0] >= '0' && a[0] <= '9'));
    float f = strtailnum(path.data());
    FUZZ_CHECK(n > 0 || f == -99999.0f);
}

void sixteen_bit(const uint8_t* p, size_t size) {
    std::vector<char16_t> path;
    for (size_t i = 0; i + 1 < size; i += 2) path.push_back((char16_t)(p[i] | (p[i + 1] << 8)));
    path.push_back(0);
    size_t n = 0;
    while (path[n]) n++;
    std::vector<char16_t> dst(n + 1);

    FUZZ_CHECK(getdirW(dst.data(), path.data()) == 0);
    FUZZ_CHECK(getfnameW(dst.data(), path.data()) == 0);
    FUZZ_CHECK(cutextW(dst.data(), path.data()) == 0);
    int r = getextW(dst.data(), path.data());
    FUZZ_CHECK((r == -1 && dst[0] == u'.') || (r == 0 && dst[0] == 0));
    std::vector<char16_t> cut = path;
    FUZZ_CHECK(cuttailsepW(cut.data()) == 0);
    r = strheadcmpW(path.data(), path.data());
    FUZZ_CHECK(r == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::Input in{data, size};
    uint8_t flags = in.byte();
    g_os.is_dbcs_lead = (flags & 1) ? cp932_lead : no_lead;
    const uint8_t* rest = in.p;
    size_t restn = in.n;
    std::string a = in.cstr();
    std::string b = in.cstr();
    eight_bit(a, b, (int)(flags >> 1) - 8);
    sixteen_bit(rest, restn);
    return 0;
}
