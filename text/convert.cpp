// convert.cpp - the in-memory converters between UTF-8, UTF-16LE and
// Shift_JIS (see convert.h).
//
// Division: the compatibility mappings and the UTF-8 encoder (shared in the
// folder, convert_internal.h); the decoding walkers over strings (the UTF-8
// and Shift_JIS walkers themselves live in convert_internal.h, shared with
// the file converters; the UTF-16LE walker here); the members built on
// them; compare and length.
//
// Notes on invalid input:
//   - malformed UTF-8 writes nothing; the first such sequence turns the
//     status to 0 and is skipped, the second ends the conversion;
//   - a character without a Shift_JIS code becomes '?';
//   - a Shift_JIS code without a Unicode mapping writes nothing in
//     sjistoutf8 (a marker naming the code is printed instead) and '?' in
//     sjistoutf16.  A UTF-16 unit holding the Shift_JIS code itself, as a
//     simpler design would store, is an unrelated character (0x82F5 would
//     read as a CJK ideograph) and silently corrupts the text;
//   - a lead byte right before the terminator, or a high surrogate right
//     before it, ends the conversion without reading past the terminator.

#include "text/convert.h"

#include <cstdio>

#include "stream/stream.h"
#include "text/codes.h"
#include "text/convert_internal.h"

// ---- Shared within the folder ------------------------------------------------------

namespace text_detail {

int compat_sjis2uni(int code) {
    switch (code) {
    case 0x815C: return 0x2015;
    case 0x815F: return 0xFF3C;
    case 0x8160: return 0xFF5E;
    case 0x8161: return 0x2225;
    case 0x817C: return 0xFF0D;
    case 0x8191: return 0xFFE0;
    case 0x8192: return 0xFFE1;
    case 0x81CA: return 0xFFE2;
    case 0x8790: return 0x2252;
    case 0x8791: return 0x2261;
    case 0x8792: return 0x222B;
    case 0x8794: return 0x2211;
    case 0x8795: return 0x221A;
    case 0x8796: return 0x22A5;
    case 0x8797: return 0x2220;
    case 0x879A: return 0x2235;
    case 0x879B: return 0x2229;
    case 0x879C: return 0x222A;
    default: return 0;
    }
}

int compat_uni2sjis(int cp) {
    switch (cp) {
    case 0x301C: return 0x8160;  // towards Shift_JIS only
    case 0x2015: return 0x815C;
    case 0xFF3C: return 0x815F;
    case 0xFF5E: return 0x8160;
    case 0x2225: return 0x8161;
    case 0xFF0D: return 0x817C;
    case 0xFFE0: return 0x8191;
    case 0xFFE1: return 0x8192;
    case 0xFFE2: return 0x81CA;
    case 0x2252: return 0x8790;
    case 0x2261: return 0x8791;
    case 0x222B: return 0x8792;
    case 0x2211: return 0x8794;
    case 0x221A: return 0x8795;
    case 0x22A5: return 0x8796;
    case 0x2220: return 0x8797;
    case 0x2235: return 0x879A;
    case 0x2229: return 0x879B;
    case 0x222A: return 0x879C;
    default: return 0;
    }
}

int put_utf8(uint8_t* d, uint32_t cp) {
    if (cp < 0x80) {
        d[0] = (uint8_t)cp;
        return 1;
    }
    if (cp < 0x800) {
        d[0] = (uint8_t)(0xC0 | (cp >> 6));
        d[1] = (uint8_t)(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        d[0] = (uint8_t)(0xE0 | (cp >> 12));
        d[1] = (uint8_t)(0x80 | ((cp >> 6) & 0x3F));
        d[2] = (uint8_t)(0x80 | (cp & 0x3F));
        return 3;
    }
    d[0] = (uint8_t)(0xF0 | ((cp >> 18) & 0x07));
    d[1] = (uint8_t)(0x80 | ((cp >> 12) & 0x3F));
    d[2] = (uint8_t)(0x80 | ((cp >> 6) & 0x3F));
    d[3] = (uint8_t)(0x80 | (cp & 0x3F));
    return 4;
}

}  // namespace text_detail

using text_detail::compat_sjis2uni;
using text_detail::compat_uni2sjis;
using text_detail::put_utf8;
using text_detail::MemSource;
using text_detail::Utf8Seq;

namespace {

// The in-memory members hand each character to emit(cp, code): cp is its
// code point (0 when it has none), code its Shift_JIS code.
template <class Emit>
struct EmitSink : text_detail::SjisSink {
    Emit emit;
    void single(uint8_t b, int cp) { emit(cp, (int)b); }
    void dbcs(int cp, int code) { emit(cp, code); }
    void first80(int code) { emit(sjis2uni(code), code); }
};

template <class Emit>
int sjis_walk(const char* src, Emit emit) {
    MemSource s{(const uint8_t*)src};
    EmitSink<Emit> sink{{}, emit};
    return text_detail::sjis_walk(s, sink);
}

using Utf8Walk = text_detail::Utf8Walk<MemSource>;

Utf8Walk utf8_walk(const char* src) { return Utf8Walk{MemSource{(const uint8_t*)src}}; }

// ---- The UTF-16LE walker ------------------------------------------------------------------
//
// Reads a 0-ended UTF-16LE string (bytes, any alignment) and hands each unit
// to emit(u, next).  A high surrogate 0xD800-0xDBFF takes the unit after it
// along, pair or not, as next (0 for any other unit); a terminator right
// after a high surrogate is not taken (next is 0 and the walk ends at it).
// Returns the bytes taken before the terminator.

template <class Emit>
int utf16_walk(const uint8_t* src, Emit emit) {
    const uint8_t* s = src;
    for (;;) {
        uint32_t u = get_le16(s);
        if (u == 0) break;
        s += 2;
        uint32_t next = 0;
        if (u >= 0xD800 && u <= 0xDBFF) {
            next = get_le16(s);
            if (next != 0) s += 2;
        }
        emit(u, next);
    }
    return (int)(s - src);
}

// The marker printed for a Shift_JIS code without a Unicode mapping.
void print_unmapped(int code) { printf("<<<uni%06X:sjis%06X>>>", 0, code); }

// Writes a Shift_JIS code (0 meaning none: '?') at d; returns the new end.
uint8_t* put_sjis(uint8_t* d, int code) {
    if (code == 0) code = '?';
    if (code >= 256) *d++ = (uint8_t)(code >> 8);
    *d++ = (uint8_t)code;
    return d;
}

// The code of a UTF-16 unit through the compatibility mappings, then the
// table; 0 for none.
int unit_code(uint32_t u) {
    int code = compat_uni2sjis((int)u);
    return code ? code : uni2sjis((int)u);
}

// Where the appending forms look for the end of the existing string.
constexpr int kCatScan = 520;

}  // namespace

// ---- UTF-8 sources --------------------------------------------------------------------

int utf8towstr(uint8_t* dst, const char* src) {
    static const char kHex[] = "0123456789ABCDEF";
    Utf8Walk w = utf8_walk(src);
    uint8_t* d = dst;
    Utf8Seq q;
    while (w.next(&q)) {
        uint32_t cp = q.cp;
        if (cp > 0xFFFF) {
            put_le16(d, u'x');
            d += 2;
            for (int shift = 20; shift >= 0; shift -= 4) {
                put_le16(d, (uint16_t)kHex[(cp >> shift) & 0xF]);
                d += 2;
            }
        } else {
            put_le16(d, (uint16_t)cp);
            d += 2;
        }
    }
    put_le32(d, 0);  // two 0 units
    return w.status;
}

int utf8tosjis(char* dst, const char* src) {
    Utf8Walk w = utf8_walk(src);
    uint8_t* d = (uint8_t*)dst;
    Utf8Seq q;
    while (w.next(&q)) {
        uint32_t cp = q.cp;
        int code;
        switch (q.len) {
        case 1: *d++ = (uint8_t)cp; continue;
        case 2: code = uni2sjis((int)cp); break;
        case 3: code = unit_code(cp); break;
        default: code = cp >= 0x10000 ? 0 : uni2sjis((int)cp); break;
        }
        d = put_sjis(d, code);
    }
    *d = 0;
    return w.status;
}

// The choice for an escape "\uXXXX" whose code point has no Shift_JIS code:
// its six characters are replaced by one '?', the same mark the other
// converters leave for a character they cannot carry over, so that the loss
// stays visible in the text.
int utf8unesc(char* dst, const char* src) {
    Utf8Walk w = utf8_walk(src);
    uint8_t* d = (uint8_t*)dst;
    int last_code = 0;  // the Shift_JIS code of the latest "\u" escape
    Utf8Seq q;
    while (w.next(&q)) {
        uint32_t cp = q.cp;
        if (cp == 0) {
            printf("<<<uni%06X:sjis%06X>>>", 0, last_code);
            continue;
        }
        if (cp != '\\') {
            d += put_utf8(d, cp);
            continue;
        }
        printf("(0x5C)");
        const uint8_t* p = w.src.p;  // the bytes after the backslash
        if (p[0] == '&') {
            *d++ = '&';
            w.src.p++;
        } else if (p[0] == '/') {
            printf("(0x2F)");
            *d++ = '/';
            w.src.p++;
        } else if (p[0] == 'u' && ishexch(p[1]) && ishexch(p[2]) && ishexch(p[3]) && ishexch(p[4])) {
            // ishexch is false at a 0 byte, so this never reads past the end.
            uint32_t v = 0;
            for (int i = 1; i <= 4; i++) v = (v << 4) | (uint32_t)hexchval(p[i]);
            w.src.p += 5;
            last_code = uni2sjis((int)v);
            if (last_code) d += put_utf8(d, v);
            else *d++ = '?';
        } else {
            *d++ = '\\';
        }
    }
    *d = 0;
    return w.status;
}

// ---- UTF-16LE sources ---------------------------------------------------------------

int wstrtoutf8(char* dst, const uint8_t* src) {
    uint8_t* d = (uint8_t*)dst;
    int taken = utf16_walk(src, [&d](uint32_t u, uint32_t next) {
        if (u < 0xD800 || u > 0xDBFF)
            d += put_utf8(d, u);
        else if (next >= 0xDC00 && next <= 0xDFFF)
            d += put_utf8(d, 0x10000 + ((u & 0x3FF) << 10) + (next & 0x3FF));
        else
            *d++ = '?';  // no low surrogate after it (or the terminator)
    });
    *d = 0;
    return taken;
}

int utf16tosjis(char* dst, const uint8_t* src) {
    uint8_t* d = (uint8_t*)dst;
    int taken = utf16_walk(src, [&d](uint32_t u, uint32_t) {
        if (u <= 0x7F)
            *d++ = (uint8_t)u;
        else if (u >= 0xD800 && u <= 0xDBFF)
            *d++ = '?';  // nothing beyond the BMP has a Shift_JIS code
        else
            d = put_sjis(d, unit_code(u));
    });
    *d = 0;
    return taken;
}

// ---- Shift_JIS sources ----------------------------------------------------------------

int sjistoutf8(char* dst, const char* src) {
    uint8_t* d = (uint8_t*)dst;
    int st = sjis_walk(src, [&d](int cp, int code) {
        if (cp) d += put_utf8(d, (uint32_t)cp);
        else print_unmapped(code);
    });
    *d = 0;
    return st;
}

int sjistoutf8cat(char* dst, const char* src) {
    for (int i = 0; i < kCatScan; i++)
        if (dst[i] == 0) return sjistoutf8(dst + i, src);
    return -1;
}

int sjistoutf16(uint8_t* dst, const char* src) {
    uint8_t* d = dst;
    int st = sjis_walk(src, [&d](int cp, int) {
        if (cp > 0xFFFF) {
            uint32_t v = (uint32_t)cp - 0x10000;
            put_le16(d, (uint16_t)(0xD800 + (v >> 10)));
            put_le16(d + 2, (uint16_t)(0xDC00 + (v & 0x3FF)));
            d += 4;
        } else {
            put_le16(d, (uint16_t)(cp ? cp : '?'));
            d += 2;
        }
    });
    put_le16(d, 0);
    return st;
}

int sjistoutf16cat(uint8_t* dst, const char* src) {
    for (int i = 0; i < kCatScan; i++)
        if (get_le16(dst + 2 * i) == 0) return sjistoutf16(dst + 2 * i, src);
    return -1;
}

// ---- Compare and length -------------------------------------------------------------

int utf16cmp(const uint8_t* a, const uint8_t* b) {
    for (;; a += 2, b += 2) {
        uint16_t ub = get_le16(b);
        if (ub == 0) return get_le16(a) == 0 ? 0 : 3;
        if (get_le16(a) != ub) return -1;
    }
}

int utf16len(const uint8_t* s) {
    int n = 0;
    while (get_le16(s + n) != 0) n += 2;
    return n;
}
