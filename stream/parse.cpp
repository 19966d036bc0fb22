// parse.cpp - token and parameter parsers on the text reader, and four small
// numeric helpers.
//
// Division: character classes; skippers; integer readers; the float reader;
// string readers; parameter readers; numeric helpers.
//
// Every reader works on the text reader's lookahead: it looks with tfpeek,
// takes with tfgetc and leaves the first character that does not belong to
// its token unread.  Every read is bounded: the integer readers stop after 5
// digits (10 for tfgetlong), the float reader after 120 collected
// characters, the string readers at the caller's size; the skippers have no
// bound but store nothing.  A divisor of 0 is the caller's business.
//
// Choices kept on purpose:
//   - tfgetfloat stops collecting after 120 characters; digits past that
//     stay unread and become the next value.  Only absurd input gets there.
//   - A number token that starts with no digit at all (a letter, or a sign
//     and then a letter) stores 0 and returns 0, taking only the signs.
//   - tfgetprm12p turns a missing second value, and an explicit 0 as the
//     second value, into a copy of the first.
//
// Where the plain design would go wrong, these readers do the sound thing:
//   - tfgetlong refuses a magnitude above 2147483647 (2147483648 with '-')
//     with its "too large" message instead of wrapping around in 32 bits;
//   - the integer readers keep a number that ends the file: the end of the
//     file ends it like any other non-digit, and only the next call gives -1;
//   - tfgetstr with a size below 1 reads and writes nothing, and it never
//     leaves a lead byte without its trail at the end of a full buffer;
//   - ffloor saturates where a float has no int value (see there).
//
// One thread: the readers share the text reader's global state.

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "stream/stream.h"

// ---- Character classes ------------------------------------------------------

int issep(int c) {
    switch (c) {
    case 32: case 44: case 9: case 13: case 10: case 26: case 61: case 59: case 58: case 34: return -1;
    default: return 0;
    }
}

int issepnq(int c) { return c == 34 ? 0 : issep(c); }

int isspc(int c) {
    switch (c) {
    case 32: case 9: case 13: case 10: case 26: return -1;
    default: return 0;
    }
}

// ',' '=' and ':' do not end a bare string; ';' and '"' do.
int isstrend(int c) { return isspc(c) || c == 59 || c == 34 ? -1 : 0; }

int ishexch(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') ? -1 : 0;
}

int hexchval(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

// ---- Skippers ---------------------------------------------------------------------

namespace {

template <class Member>
int skip_while(Member member) {
    while (tfpeek() != -1 && member(tfpeek())) tfgetc();
    return 0;
}

}  // namespace

int tfskipsep(void) { return skip_while(issep); }
int tfskipsepnq(void) { return skip_while(issepnq); }
int tfskipspc(void) { return skip_while(isspc); }
int tfskiplower(void) {
    return skip_while([](int c) { return c >= 'a' && c <= 'z'; });
}

// ---- Integer readers ------------------------------------------------------------------

namespace {

// One reader for the three: an optional '+', then an optional '-' (so "+-7"
// is -7, while "-+7" stores 0 and leaves the '+'), then at most `limit`
// digits of `base`.  0 stored; -1 when the file ends before any digit; -2
// with `too_large` printed when a digit more than the limit follows (the
// digits stay taken) or, with check_max, when the magnitude passes
// 2147483647 (2147483648 with '-'); nothing is stored then.
int read_int(int* out, int base, int limit, const char* too_large, bool check_max) {
    if (tfpeek() == '+') tfgetc();
    bool neg = false;
    if (tfpeek() == '-') {
        tfgetc();
        neg = true;
    }
    uint64_t v = 0;  // at most 10 decimal digits: no wrap in 64 bits
    int digits = 0;
    for (;;) {
        int c = tfpeek();
        if (c == -1) {
            if (digits == 0) return -1;
            break;  // the end of the file ends the number
        }
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && ishexch(c)) d = hexchval(c);
        else break;
        tfgetc();
        v = v * (uint64_t)base + (uint64_t)d;
        if (++digits > limit) {
            printf("%s", too_large);
            return -2;
        }
    }
    if (check_max && v > (neg ? 2147483648u : 2147483647u)) {
        printf("%s", too_large);
        return -2;
    }
    *out = neg ? (int)(0 - (uint32_t)v) : (int)(uint32_t)v;
    return 0;
}

}  // namespace

int tfgetint(int* out) { return read_int(out, 10, 5, "Integer too Large.\n", false); }
int tfgetlong(int* out) { return read_int(out, 10, 10, "Integer(long) too Large.\n", true); }
int tfgethex(int* out) { return read_int(out, 16, 5, "Hex value too Large.\n", false); }

// ---- The float reader -------------------------------------------------------------------

namespace {

constexpr int kFloatCap = 120;  // characters the digit loops collect at most

// The collector's worst case: a sign and 119 digits reach the cap of 120;
// then '.', 'e' and the exponent's sign are still collected (their loops
// collect no digit any more), and the terminator follows: 123 characters
// and a NUL.  128 leaves room.
constexpr int kFloatBuf = 128;
static_assert(kFloatBuf >= kFloatCap + 3 + 1, "the float collector's worst case does not fit");

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Takes digits while fewer than kFloatCap characters are collected.
void collect_digits(char* buf, int* n, bool* seen) {
    while (*n < kFloatCap && is_digit(tfpeek())) {
        buf[(*n)++] = (char)tfgetc();
        *seen = true;
    }
}

// The value of the collected text as the C runtime's atof gives it in the
// "C" locale, without depending on the locale: from_chars takes no leading
// '+', and it reports a result that a double cannot hold instead of giving
// atof's infinity or zero.  Which of the two it is follows from the text: a
// mantissa of at most 120 characters lies between 1e-120 and 1e120, so only
// an exponent can leave the range, and its sign says which way.
double text_value(const char* text, int n) {
    const char* p = text;
    bool neg = *p == '-';
    if (*p == '+') p++;
    double v = 0;
    auto r = std::from_chars(p, text + n, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        bool small = false;
        for (const char* q = p; q < text + n; q++)
            if (*q == 'e' || *q == 'E') small = q[1] == '-';
        v = small ? 0.0 : HUGE_VAL;
        if (neg) v = -v;
    } else if (r.ec != std::errc()) {
        v = 0;
    }
    return v;
}

}  // namespace

// One sign, digits, '.', digits, then e or E (only after a digit), an
// exponent sign and digits.  0 with *out stored; -1 when no digit came (the
// characters collected stay taken: "+-5" leaves the '-' unread).  "1e" is
// 1.0: the 'e' is taken and ignored.
int tfgetfloat(float* out) {
    char buf[kFloatBuf];
    int n = 0;
    bool seen = false;
    if (tfpeek() == '+' || tfpeek() == '-') buf[n++] = (char)tfgetc();
    collect_digits(buf, &n, &seen);
    if (tfpeek() == '.') {
        buf[n++] = (char)tfgetc();
        collect_digits(buf, &n, &seen);
    }
    if (seen && (tfpeek() == 'e' || tfpeek() == 'E')) {
        buf[n++] = (char)tfgetc();
        if (tfpeek() == '+' || tfpeek() == '-') buf[n++] = (char)tfgetc();
        collect_digits(buf, &n, &seen);
    }
    buf[n] = 0;
    if (!seen) return -1;
    *out = (float)text_value(buf, n);
    return 0;
}

// ---- String readers ------------------------------------------------------------------------

// Skips separators other than '"', then reads one token: from a '"' to the
// next '"' (blanks, commas and semicolons included; the end of the file ends
// it too), or bare up to a character of isstrend.  The closing character is
// taken and not stored.  A lead byte of the system's code page and its trail
// are stored as one, whatever the trail is.  Returns the bytes stored plus
// one, or -1 when the token does not fit in size - 1 bytes: what fits is
// terminated, the character that did not fit is taken and lost (a lead byte
// together with its trail, so that the buffer never ends in half a
// character), and the rest of the token stays unread.  size < 1: -1 at once,
// nothing read or written.
int tfgetstr(char* buf, int size) {
    if (size < 1) return -1;
    tfskipsepnq();
    bool quoted = false;
    if (tfpeek() == 34) {
        tfgetc();
        quoted = true;
    }
    int n = 0;
    while (tfpeek() != -1) {
        int c = tfgetc();
        if (g_os.is_dbcs_lead((uint8_t)c)) {
            bool trail = tfpeek() != -1;
            if (n + (trail ? 2 : 1) > size - 1) {
                if (trail) tfgetc();
                buf[n] = 0;
                return -1;
            }
            buf[n++] = (char)c;
            if (trail) buf[n++] = (char)tfgetc();
            continue;
        }
        if (quoted ? c == 34 : isstrend(c) != 0) break;
        if (n >= size - 1) {
            buf[n] = 0;
            return -1;
        }
        buf[n++] = (char)c;
    }
    buf[n] = 0;
    return n + 1;
}

// Copies the rest of the line (up to CR, LF, Ctrl-Z or the end), at most
// size - 2 bytes, and writes two NULs after them; then takes every CR, LF and
// Ctrl-Z that follows, so blank lines go too.  A longer line is split: the
// next call goes on with its rest.  Returns the bytes copied; 0 with buf
// untouched when size < 3.
int tfgetlinestr(char* buf, int size) {
    if (size < 3) return 0;
    auto line_end = [](int c) { return c == 13 || c == 10 || c == 26; };
    int n = 0;
    while (n < size - 2 && tfpeek() != -1 && !line_end(tfpeek())) buf[n++] = (char)tfgetc();
    buf[n] = 0;
    buf[n + 1] = 0;
    while (line_end(tfpeek())) tfgetc();
    return n;
}

// ---- Parameter readers ------------------------------------------------------------------------
//
// A value is read with tfgetfloat after tfskipsep, so values may be
// separated by blanks, commas, '=', ';', ':' and line ends, and a list may
// run over several lines; the messages name the line where the value was
// missing (tfgetline when they are printed).  A '%' after a value (blanks
// allowed between) multiplies it by 0.01 in double precision, so that "10%"
// is exactly 0.1f (a float multiply gives 0.099999994f).

namespace {

enum Scale { kAsRead, kPercent, kPercentOrDivide };

const char kNoParam[] = "\nNo parameter found. <line %d>\n";
const char k2ndParam[] = "\n2nd parameter not found. <line %d>\n";

// tfskipsep, one value, tfskipsep, then its scaling.  0, or -1 when there
// is no value.
int read_value(float* v, Scale scale, float divisor) {
    tfskipsep();
    if (tfgetfloat(v) != 0) return -1;
    tfskipsep();
    if (scale != kAsRead && tfpeek() == '%') {
        tfgetc();
        *v = (float)((double)*v * 0.01);
    } else if (scale == kPercentOrDivide) {
        *v = *v / divisor;  // the same in float as in double
    }
    return 0;
}

void open_paren() {
    tfskipsep();
    if (tfpeek() == '(') tfgetc();
}

void close_paren() {
    tfskipsep();
    if (tfpeek() == ')') tfgetc();
}

int fail(const char* msg, bool quiet) {
    if (!quiet) printf(msg, tfgetline());
    return -1;
}

// One value, parentheses optional.
int read_one(float* out, Scale scale, bool quiet) {
    open_paren();
    if (read_value(&out[0], scale, 1.0f) != 0) return fail(kNoParam, quiet);
    close_paren();
    return 0;
}

// Two values, parentheses optional.
int read_two(float* out, Scale scale, float divisor) {
    open_paren();
    if (read_value(&out[0], scale, divisor) != 0) return fail(kNoParam, false);
    if (read_value(&out[1], scale, divisor) != 0) return fail(k2ndParam, false);
    close_paren();
    return 0;
}

// Up to four values, no parentheses; the places not read become 0.0.
int read_four(float* out, float divisor, bool quiet) {
    int n = 0;
    while (n < 4 && read_value(&out[n], kPercentOrDivide, divisor) == 0) n++;
    for (int i = n; i < 4; i++) out[i] = 0.0f;
    if (n == 0) fail(kNoParam, quiet);
    return n;
}

}  // namespace

int tfgetprm2d(float* out, float divisor) { return read_two(out, kPercentOrDivide, divisor); }
int tfgetprm2(float* out) { return read_two(out, kAsRead, 1.0f); }
int tfgetprm1p(float* out) { return read_one(out, kPercent, false); }
int tfgetprm1(float* out) { return read_one(out, kAsRead, false); }
int tfgetprm1q(float* out) { return read_one(out, kAsRead, true); }
int tfgetprm4d(float* out, float divisor) { return read_four(out, divisor, false); }
int tfgetprm4dq(float* out, float divisor) { return read_four(out, divisor, true); }

// The second value is set to 0.0 before it is read and a failed read of it
// is ignored; a second that ends up 0.0 (missing, or written as 0) becomes
// a copy of the first.
int tfgetprm12p(float* out) {
    open_paren();
    if (read_value(&out[0], kPercent, 1.0f) != 0) return fail(kNoParam, false);
    out[1] = 0.0f;
    read_value(&out[1], kPercent, 1.0f);
    if (out[1] == 0.0f) out[1] = out[0];
    close_paren();
    return 0;
}

// ---- Numeric helpers ------------------------------------------------------------------------------

float sindummy(void) { return (float)std::sin(1.0); }
uint32_t hidword(uint64_t v) { return (uint32_t)(v >> 32); }
uint32_t lodword(uint64_t v) { return (uint32_t)v; }

// The largest int not above x.  A float from 2147483648 up gives INT_MAX;
// one below -2147483648, and NaN, give INT_MIN, the value the x86
// conversion yields there.  (Converting such a float to int is undefined in
// C++; within range every float of magnitude 2^23 or more is a whole number,
// so the step down never leaves the range.)
int ffloor(float x) {
    if (std::isnan(x) || x < -2147483648.0f) return INT_MIN;
    if (x >= 2147483648.0f) return INT_MAX;
    int i = (int)x;
    if ((float)i > x) i--;
    return i;
}
