// codes.cpp - the code-table lookups, the 16-bit string primitives and the
// plain converters between 8-bit and 16-bit strings (see codes.h).
//
// Division: the tables (generated, included once here); lookups; 16-bit
// primitives; sjis2wstr and wstr2sjis with their appending forms.
//
// Notes on invalid input:
//   - a double-byte code without a mapping becomes '?' (one unit for the two
//     bytes); a single byte from 0x80 up without a mapping keeps its value;
//   - a unit without a Shift_JIS code becomes '?', a surrogate pair two '?'
//     (characters beyond U+FFFF are not converted towards Shift_JIS);
//   - a lead byte right before the terminator is dropped, never paired with
//     the terminator;
//   - input past 9998 bytes or units is cut silently.

#include "text/codes.h"

#include <cstdio>

#include "platform/platform.h"
#include "text/sjis_tables.inc"

static_assert(sizeof sjisunitab_sb + sizeof sjisunitab_80 + sizeof sjisunitab_e0 +
                      sizeof unisjistab_00 + sizeof unisjistab_1e + sizeof unisjistab_f9 ==
                  136192,
              "the six code tables have a fixed shape");

namespace {

// The converters stop after this many input bytes or units have been
// counted; the one that reaches it is not converted.
constexpr int kConvertCap = 9999;

// wstrlen stops counting here.
constexpr int kWstrlenCap = 4999;

// Writes the UTF-16 form of a code point from the table (never 0) at *d and
// returns the position after it.  The table's code points beyond U+FFFF
// (U+2000B up) become surrogate pairs: storing only their low 16 bits would
// name a different character (U+2000B would become the control U+000B).
char16_t* put_unit(char16_t* d, int cp) {
    if (cp > 0xFFFF) {
        int v = cp - 0x10000;
        *d++ = (char16_t)(0xD800 + (v >> 10));
        *d++ = (char16_t)(0xDC00 + (v & 0x3FF));
    } else {
        *d++ = (char16_t)cp;
    }
    return d;
}

// The body of sjis2wstr and sjis2wstrcat: converts src at d.
int sjis_to_wide(char16_t* d, const char* src) {
    const uint8_t* s = (const uint8_t*)src;
    int count = 0;
    int lead = -1;  // a pending lead byte, or -1
    for (;;) {
        uint8_t c = *s;
        if (c == 0) break;
        s++;
        if (++count >= kConvertCap) break;
        if (lead >= 0) {
            int cp = sjis2uni(lead * 256 + c);
            if (cp) d = put_unit(d, cp);
            else *d++ = u'?';
            lead = -1;
        } else if (g_os.is_dbcs_lead(c)) {
            lead = c;
        } else if (c < 0x80) {
            *d++ = (char16_t)c;
        } else {
            int cp = sjisunitab_sb[c];
            *d++ = (char16_t)(cp ? cp : c);
        }
    }
    *d = 0;
    return count;
}

// The lookup of wstr2sjis and chkwstrsjis for a unit of 256 or more, with
// the self-test on U+2661 (WHITE HEART SUIT), which must give 0x83BB: a
// wrong answer means a damaged table and is reported, but the conversion
// goes on.
int wide_code(char16_t u) {
    int code = uni2sjis(u);
    if (u == 0x2661 && code != 0x83BB)
        printf("Assert fail converting unich0x2661 => sjisch0x83BB (%04X). \n", code);
    return code;
}

// The body of wstr2sjis and wstr2sjiscat: converts src at d.
int wide_to_sjis(char* dst, const char16_t* src) {
    uint8_t* d = (uint8_t*)dst;
    int count = 0;
    for (;;) {
        char16_t u = *src;
        if (u == 0) break;
        src++;
        if (++count >= kConvertCap) break;
        if (u < 256) {
            *d++ = (uint8_t)u;
            continue;
        }
        int code = wide_code(u);
        if (code == 0) code = '?';
        if (code >= 256) *d++ = (uint8_t)(code >> 8);
        *d++ = (uint8_t)code;
    }
    *d = 0;
    return count;
}

}  // namespace

// ---- Lookups ------------------------------------------------------------------

int issjislead(uint8_t c) {
    return ((c >= 0x80 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? -1 : 0;
}

int sjis2uni(int code) {
    unsigned c = (unsigned)code & 0xFFFF;
    if (c <= 0xFF) return sjisunitab_sb[c];
    if (c >= 0x8000 && c <= 0x9FFF) return sjisunitab_80[c - 0x8000];
    if (c >= 0xE000 && c <= 0xFCFF) return sjisunitab_e0[c - 0xE000];
    return 0;
}

int uni2sjis(int unit) {
    unsigned u = (unsigned)unit & 0xFFFF;
    if (u <= 0x04FF) return unisjistab_00[u];
    if (u >= 0x1E00 && u <= 0x9FFF) return unisjistab_1e[u - 0x1E00];
    if (u >= 0xF900) return unisjistab_f9[u - 0xF900];
    return 0;
}

// ---- 16-bit primitives -----------------------------------------------------------

int wstrcmp(const char16_t* a, const char16_t* b) {
    // a's terminator differs from any unit b still has, so a shorter a stops
    // the walk as a difference and nothing is read past either end.
    for (; *b; a++, b++)
        if (*a != *b) return -1;
    return *a == 0 ? 0 : -1;
}

int wstrlen(const char16_t* s) {
    int n = 0;
    while (n < kWstrlenCap && s[n]) n++;
    return n;
}

int wstrcpy(char16_t* dst, const char16_t* src) {
    int n = 0;
    while ((dst[n] = src[n]) != 0) n++;
    return n;
}

int wstrcat(char16_t* dst, const char16_t* src) {
    while (*dst) dst++;
    return wstrcpy(dst, src);
}

// ---- 8-bit <-> 16-bit ----------------------------------------------------------------

int sjis2wstr(char16_t* dst, const char* src) { return sjis_to_wide(dst, src); }

int sjis2wstrcat(char16_t* dst, const char* src) {
    int end = 0;
    while (end < kConvertCap && dst[end]) end++;
    return sjis_to_wide(dst + end, src);
}

int wstr2sjis(char* dst, const char16_t* src) { return wide_to_sjis(dst, src); }

int wstr2sjiscat(char* dst, const char16_t* src) {
    int end = 0;
    while (end < kConvertCap && dst[end]) end++;
    return wide_to_sjis(dst + end, src);
}

int chkwstrsjis(const char16_t* src) {
    int count = 0;
    for (;;) {
        char16_t u = *src;
        if (u == 0) return 0;
        src++;
        if (++count >= kConvertCap) return 0;
        if (u >= 256 && wide_code(u) == 0) return -1;
    }
}
