// parse.cpp - the token and parameter parsers of the text reader on any
// text.  The input is a small program and a file: the first byte n, then n
// operation bytes, then the file.  The operations run in turn, round after
// round, over the file opened by wide name and again by 8-bit name; both
// runs must give the same results, values and strings.  Each operation's
// result must be one its header documents, strings must fit the buffers
// they were given (allocated at exactly the size passed; a size below 1
// must read and write nothing), and the reader
// must reach the end of the file within a bounded number of rounds or stop
// moving (a parser that takes nothing at a character it refuses is allowed
// to; the run then ends).  The top bit of the first byte makes the lead
// bytes those of code page 932, so that the string reader keeps its
// double-byte characters whole.

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "platform/platform.h"
#include "stream/stream.h"

namespace {

int cp932_lead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
int no_lead(uint8_t) { return 0; }

// What one run produced, in order.
struct Trace {
    std::vector<int64_t> values;
    void add(int64_t v) { values.push_back(v); }
    void addf(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        // NaN payloads may differ between runs that read the same text; the
        // fact that it is a NaN may not.
        values.push_back(std::isnan(f) ? -7 : (int64_t)bits);
    }
    void adds(const char* s, size_t cap) { values.push_back((int64_t)std::hash<std::string>()(std::string(s, strnlen(s, cap)))); }
};

void run_op(uint8_t op, Trace& t) {
    int i = 0;
    float f[4] = {0, 0, 0, 0};
    int r;
    switch (op % 23) {
    case 0: t.add(tfskipsep()); break;
    case 1: t.add(tfskipsepnq()); break;
    case 2: t.add(tfskipspc()); break;
    case 3: t.add(tfskiplower()); break;
    case 4:
        r = tfgetint(&i);
        FUZZ_CHECK(r == 0 || r == -1 || r == -2);
        FUZZ_CHECK(r != 0 || (i > -100000 && i < 100000));
        t.add(r); t.add(i);
        break;
    case 5:
        r = tfgetlong(&i);
        FUZZ_CHECK(r == 0 || r == -1 || r == -2);
        t.add(r); t.add(i);
        break;
    case 6:
        r = tfgethex(&i);
        FUZZ_CHECK(r == 0 || r == -1 || r == -2);
        FUZZ_CHECK(r != 0 || (i >= -0xFFFFF && i <= 0xFFFFF));
        t.add(r); t.add(i);
        break;
    case 7:
        r = tfgetfloat(&f[0]);
        FUZZ_CHECK(r == 0 || r == -1);
        t.add(r); t.addf(f[0]);
        {
            int fl = ffloor(f[0]);  // saturated outside int, else the floor
            FUZZ_CHECK(std::isnan(f[0]) || fl == INT_MAX || fl == INT_MIN ||
                       ((double)fl <= (double)f[0] && (double)f[0] < (double)fl + 1.0));
        }
        break;
    case 8: case 9: {
        size_t size = 1 + (op >> 3);  // 1 to 32 bytes, the NUL included
        std::vector<char> buf(size, 'x');
        r = tfgetstr(buf.data(), (int)size);
        FUZZ_CHECK(r == -1 || (r >= 1 && (size_t)r <= size));
        if (r >= 1) FUZZ_CHECK(buf[r - 1] == 0);
        t.add(r); t.adds(buf.data(), size);
        break;
    }
    case 10: case 11: {
        size_t size = 1 + (op >> 3);
        std::vector<char> buf(size, 'x');
        r = tfgetlinestr(buf.data(), (int)size);
        FUZZ_CHECK(r >= 0 && (size < 3 ? r == 0 : (size_t)r <= size - 2));
        if (size >= 3) FUZZ_CHECK(buf[r] == 0);
        t.add(r); if (size >= 3) t.adds(buf.data(), size);
        break;
    }
    case 12: r = tfgetprm2d(f, 4.0f); FUZZ_CHECK(r == 0 || r == -1); t.add(r); t.addf(f[0]); t.addf(f[1]); break;
    case 13: r = tfgetprm1p(f); FUZZ_CHECK(r == 0 || r == -1); t.add(r); t.addf(f[0]); break;
    case 14:
        r = tfgetprm12p(f);
        FUZZ_CHECK(r == 0 || r == -1);
        FUZZ_CHECK(r != 0 || f[1] != 0.0f || f[0] == 0.0f);  // a 0.0 second is the first
        t.add(r); t.addf(f[0]); t.addf(f[1]);
        break;
    case 15: case 16:
        r = (op % 23 == 15) ? tfgetprm4d(f, 2.0f) : tfgetprm4dq(f, 2.0f);
        FUZZ_CHECK(r >= 0 && r <= 4);
        for (int k = r; k < 4; k++) FUZZ_CHECK(f[k] == 0.0f);
        t.add(r);
        for (float v : f) t.addf(v);
        break;
    case 17: r = tfgetprm2(f); FUZZ_CHECK(r == 0 || r == -1); t.add(r); t.addf(f[0]); t.addf(f[1]); break;
    case 18: r = tfgetprm1(f); FUZZ_CHECK(r == 0 || r == -1); t.add(r); t.addf(f[0]); break;
    case 19: r = tfgetprm1q(f); FUZZ_CHECK(r == 0 || r == -1); t.add(r); t.addf(f[0]); break;
    case 20: t.add(tfskipline()); break;
    case 21: t.add(tfgetc()); break;
    case 22: {  // no room at all: nothing is read or written
        int count = tfgetcount(), peek = tfpeek();
        FUZZ_CHECK(tfgetstr(nullptr, op & 1 ? 0 : -1) == -1);
        FUZZ_CHECK(tfgetcount() == count && tfpeek() == peek);
        break;
    }
    }
    t.add(tfgetline());
    t.add(tfpeek());
}

Trace run(const uint8_t* ops, size_t nops, size_t filesize, bool wide) {
    Trace t;
    FUZZ_CHECK((wide ? tfopenW(fuzz::kInputNameW) : tfopen(fuzz::kInputName)) == 0);
    if (nops == 0) {
        tfclose();
        return t;
    }
    // Every round that moves takes at least one character, so 2 * size + 2
    // rounds reach the end; a round that takes nothing ends the run.
    for (size_t round = 0; round < 2 * filesize + 2; round++) {
        int before = tfgetcount();
        for (size_t k = 0; k < nops; k++) run_op(ops[k], t);
        if (tfpeek() < 0 || tfgetcount() == before) break;
    }
    tfclose();
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::Input in{data, size};
    uint8_t first = in.byte();
    g_os.is_dbcs_lead = first & 0x80 ? cp932_lead : no_lead;
    size_t nops = first % 16;
    if (nops > in.n) nops = in.n;
    const uint8_t* ops = in.p;
    fuzz::serve(fuzz::kInputName, in.p + nops, in.n - nops);
    Trace w = run(ops, nops, in.n - nops, true);
    Trace n = run(ops, nops, in.n - nops, false);
    FUZZ_CHECK(w.values == n.values);
    return 0;
}
