// pixelrow.cpp - the pixel-row kernels and the one choice of vector level.
//
// Division: record rows to planes (the plain loops, then SSE2 and SSSE3);
// planes to stored rows (the same order); the red and blue swap; the level
// and the public entries, which pick a kernel by it.
//
// Every vector kernel does the multiple of its step it can and leaves the
// rest of the row to the plain loop of the same job, so each level gives the
// same bytes as level 0 for every width and every alignment.

#include "image/pixelrow.h"
#include "stream/stream.h"

#include <array>
#include <cstring>

// The vector loops are written for x86-64 (SSE2 always, SSSE3 when the
// processor has it); elsewhere the plain loops do all the work.
#if defined(__x86_64__) && defined(__SSE2__)
#define REELKILN_X86_VECTORS 1
#include <immintrin.h>
#else
#define REELKILN_X86_VECTORS 0
#endif

namespace {

#if REELKILN_X86_VECTORS
// One 16-byte shuffle control for SSSE3's pshufb.
struct shufmask {
    alignas(16) uint8_t m[16];
};
#endif

// ---- Record to planes ---------------------------------------------------------------

// One plane row from one record row.  Entry assumptions: src holds the row's
// w pixels at 24 or 32 bits; the four destinations hold w bytes each and do
// not overlap src or each other.  The plain loops take four
// pixels at a time through 32-bit words: the record's bytes are gathered by
// shifts into one word per plane and stored once, instead of a load and a
// store per byte.  The vector loops (below) take sixteen pixels at a time and
// leave the last fifteen or fewer to the plain ones.  The 32-bit rows return
// the AND of the row's alpha bytes (255 when all are opaque).
uint8_t row32plain(const uint8_t* __restrict s, uint8_t* __restrict r, uint8_t* __restrict g,
                   uint8_t* __restrict b, uint8_t* __restrict a, uint32_t w) {
    uint32_t all = 0xFFFFFFFFu;
    uint32_t x = 0;
    for (; x + 4 <= w; x += 4, s += 16) {
        uint32_t p0 = get_le32(s), p1 = get_le32(s + 4), p2 = get_le32(s + 8), p3 = get_le32(s + 12);
        put_le32(b + x, (p0 & 0xFF) | (p1 & 0xFF) << 8 | (p2 & 0xFF) << 16 | p3 << 24);
        put_le32(g + x, (p0 >> 8 & 0xFF) | (p1 >> 8 & 0xFF) << 8 | (p2 >> 8 & 0xFF) << 16 | (p3 >> 8) << 24);
        put_le32(r + x, (p0 >> 16 & 0xFF) | (p1 >> 16 & 0xFF) << 8 | (p2 >> 16 & 0xFF) << 16 | (p3 >> 16) << 24);
        uint32_t av = (p0 >> 24) | (p1 >> 24) << 8 | (p2 >> 24) << 16 | (p3 >> 24) << 24;
        put_le32(a + x, av);
        all &= av;
    }
    uint8_t one = (uint8_t)(all & all >> 8 & all >> 16 & all >> 24);
    for (; x < w; x++, s += 4) {
        b[x] = s[0];
        g[x] = s[1];
        r[x] = s[2];
        a[x] = s[3];
        one &= s[3];
    }
    return one;
}

// Four pixels are three words:  B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3.
void row24plain(const uint8_t* __restrict s, uint8_t* __restrict r, uint8_t* __restrict g,
                uint8_t* __restrict b, uint8_t* __restrict a, uint32_t w) {
    uint32_t x = 0;
    for (; x + 4 <= w; x += 4, s += 12) {
        uint32_t w0 = get_le32(s), w1 = get_le32(s + 4), w2 = get_le32(s + 8);
        put_le32(b + x, (w0 & 0xFF) | (w0 >> 24) << 8 | (w1 >> 16 & 0xFF) << 16 | (w2 >> 8 & 0xFF) << 24);
        put_le32(g + x, (w0 >> 8 & 0xFF) | (w1 & 0xFF) << 8 | (w1 >> 24) << 16 | (w2 >> 16 & 0xFF) << 24);
        put_le32(r + x, (w0 >> 16 & 0xFF) | (w1 >> 8 & 0xFF) << 8 | (w2 & 0xFF) << 16 | (w2 >> 24) << 24);
    }
    for (; x < w; x++, s += 3) {
        b[x] = s[0];
        g[x] = s[1];
        r[x] = s[2];
    }
    std::memset(a, 255, w);
}

#if REELKILN_X86_VECTORS

// Sixteen 32-bit pixels are four vectors; each plane's bytes are picked out
// by a shift and a mask per pixel word and packed down twice (32 to 16 to 8
// bits; the values are at most 255, so neither pack saturates).  SSE2, which
// every x86-64 processor has.
uint8_t row32sse2(const uint8_t* s, uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a, uint32_t w) {
    const __m128i lo = _mm_set1_epi32(0xFF);
    __m128i all = _mm_set1_epi8(-1);
    uint32_t x = 0;
    for (; x + 16 <= w; x += 16, s += 64) {
        const __m128i p0 = _mm_loadu_si128((const __m128i*)s);
        const __m128i p1 = _mm_loadu_si128((const __m128i*)(s + 16));
        const __m128i p2 = _mm_loadu_si128((const __m128i*)(s + 32));
        const __m128i p3 = _mm_loadu_si128((const __m128i*)(s + 48));
        auto plane = [&](int shift, bool mask) {
            __m128i q0 = _mm_srli_epi32(p0, shift), q1 = _mm_srli_epi32(p1, shift);
            __m128i q2 = _mm_srli_epi32(p2, shift), q3 = _mm_srli_epi32(p3, shift);
            if (mask) {
                q0 = _mm_and_si128(q0, lo);
                q1 = _mm_and_si128(q1, lo);
                q2 = _mm_and_si128(q2, lo);
                q3 = _mm_and_si128(q3, lo);
            }
            return _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_packs_epi32(q2, q3));
        };
        _mm_storeu_si128((__m128i*)(b + x), plane(0, true));
        _mm_storeu_si128((__m128i*)(g + x), plane(8, true));
        _mm_storeu_si128((__m128i*)(r + x), plane(16, true));
        const __m128i av = plane(24, false);
        _mm_storeu_si128((__m128i*)(a + x), av);
        all = _mm_and_si128(all, av);
    }
    uint8_t lanes[16];
    _mm_storeu_si128((__m128i*)lanes, all);
    uint8_t one = 255;
    for (uint8_t v : lanes) one &= v;
    return one & row32plain(s, r + x, g + x, b + x, a + x, w - x);
}

// The byte shuffles that split 48 bytes of B G R pixels (three vectors) into
// sixteen bytes of one plane: mask 3 * c + k picks, from vector k, the bytes
// of channel c (0 blue, 1 green, 2 red) that lie in it; 0x80 gives 0.
constexpr std::array<shufmask, 9> splitmasks() {
    std::array<shufmask, 9> t{};
    for (int c = 0; c < 3; c++)
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 16; i++) {
                int at = 3 * i + c;
                t[3 * c + k].m[i] = (uint8_t)(at / 16 == k ? at % 16 : 0x80);
            }
    return t;
}
constexpr std::array<shufmask, 9> kSplit24 = splitmasks();

// Sixteen 24-bit pixels per step through SSSE3's byte shuffle: nine shuffles
// and six ORs give the three planes, and the alpha plane is filled with 255.
__attribute__((target("ssse3"))) void row24ssse3(const uint8_t* s, uint8_t* r, uint8_t* g,
                                                 uint8_t* b, uint8_t* a, uint32_t w) {
    const __m128i* m = (const __m128i*)kSplit24.data();
    const __m128i b0 = _mm_load_si128(m), b1 = _mm_load_si128(m + 1), b2 = _mm_load_si128(m + 2);
    const __m128i g0 = _mm_load_si128(m + 3), g1 = _mm_load_si128(m + 4), g2 = _mm_load_si128(m + 5);
    const __m128i r0 = _mm_load_si128(m + 6), r1 = _mm_load_si128(m + 7), r2 = _mm_load_si128(m + 8);
    const __m128i opaque = _mm_set1_epi8(-1);
    uint32_t x = 0;
    for (; x + 16 <= w; x += 16, s += 48) {
        const __m128i v0 = _mm_loadu_si128((const __m128i*)s);
        const __m128i v1 = _mm_loadu_si128((const __m128i*)(s + 16));
        const __m128i v2 = _mm_loadu_si128((const __m128i*)(s + 32));
        _mm_storeu_si128((__m128i*)(b + x), _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, b0), _mm_shuffle_epi8(v1, b1)),
                                                         _mm_shuffle_epi8(v2, b2)));
        _mm_storeu_si128((__m128i*)(g + x), _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, g0), _mm_shuffle_epi8(v1, g1)),
                                                         _mm_shuffle_epi8(v2, g2)));
        _mm_storeu_si128((__m128i*)(r + x), _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, r0), _mm_shuffle_epi8(v1, r1)),
                                                         _mm_shuffle_epi8(v2, r2)));
        _mm_storeu_si128((__m128i*)(a + x), opaque);
    }
    row24plain(s, r + x, g + x, b + x, a + x, w - x);
}

#endif

// ---- Planes to rows ----------------------------------------------------------------

// One stored row's first cols pixels from the planes' row: B G R per pixel
// (24-bit) or B G R A (32-bit).  The plain loops go byte by byte; the vector
// loops take sixteen pixels a step and leave the rest to the plain ones.

void bgrplain(const uint8_t* __restrict r, const uint8_t* __restrict g, const uint8_t* __restrict b,
              uint8_t* __restrict o, size_t cols) {
    for (size_t x = 0; x < cols; x++, o += 3) {
        o[0] = b[x];
        o[1] = g[x];
        o[2] = r[x];
    }
}

void bgraplain(const uint8_t* __restrict r, const uint8_t* __restrict g, const uint8_t* __restrict b,
               const uint8_t* __restrict a, uint8_t* __restrict o, size_t cols) {
    for (size_t x = 0; x < cols; x++, o += 4) {
        o[0] = b[x];
        o[1] = g[x];
        o[2] = r[x];
        o[3] = a[x];
    }
}

#if REELKILN_X86_VECTORS

// Two rounds of byte and word interleaving (SSE2) turn sixteen bytes of each
// plane into four vectors of four B G R A pixels.
void bgrasse2(const uint8_t* r, const uint8_t* g, const uint8_t* b, const uint8_t* a, uint8_t* o,
              size_t cols) {
    size_t x = 0;
    for (; x + 16 <= cols; x += 16, o += 64) {
        const __m128i vb = _mm_loadu_si128((const __m128i*)(b + x));
        const __m128i vg = _mm_loadu_si128((const __m128i*)(g + x));
        const __m128i vr = _mm_loadu_si128((const __m128i*)(r + x));
        const __m128i va = _mm_loadu_si128((const __m128i*)(a + x));
        const __m128i bglo = _mm_unpacklo_epi8(vb, vg), bghi = _mm_unpackhi_epi8(vb, vg);
        const __m128i ralo = _mm_unpacklo_epi8(vr, va), rahi = _mm_unpackhi_epi8(vr, va);
        _mm_storeu_si128((__m128i*)o, _mm_unpacklo_epi16(bglo, ralo));
        _mm_storeu_si128((__m128i*)(o + 16), _mm_unpackhi_epi16(bglo, ralo));
        _mm_storeu_si128((__m128i*)(o + 32), _mm_unpacklo_epi16(bghi, rahi));
        _mm_storeu_si128((__m128i*)(o + 48), _mm_unpackhi_epi16(bghi, rahi));
    }
    bgraplain(r + x, g + x, b + x, a + x, o, cols - x);
}

// The byte shuffles that merge sixteen pixels of the three planes into 48
// bytes B G R B G R ...: mask 3 * k + c picks, for output vector k, the bytes
// of plane c (0 blue, 1 green, 2 red) that land in it; 0x80 gives 0.
constexpr std::array<shufmask, 9> mergemasks() {
    std::array<shufmask, 9> t{};
    for (int k = 0; k < 3; k++)
        for (int c = 0; c < 3; c++)
            for (int i = 0; i < 16; i++) {
                int at = 16 * k + i;
                t[3 * k + c].m[i] = (uint8_t)(at % 3 == c ? at / 3 : 0x80);
            }
    return t;
}
constexpr std::array<shufmask, 9> kMerge24 = mergemasks();

// Sixteen 24-bit pixels per step through SSSE3's byte shuffle: nine
// shuffles and six ORs.
__attribute__((target("ssse3"))) void bgrssse3(const uint8_t* r, const uint8_t* g, const uint8_t* b,
                                               uint8_t* o, size_t cols) {
    const __m128i* m = (const __m128i*)kMerge24.data();
    const __m128i m0b = _mm_load_si128(m), m0g = _mm_load_si128(m + 1), m0r = _mm_load_si128(m + 2);
    const __m128i m1b = _mm_load_si128(m + 3), m1g = _mm_load_si128(m + 4), m1r = _mm_load_si128(m + 5);
    const __m128i m2b = _mm_load_si128(m + 6), m2g = _mm_load_si128(m + 7), m2r = _mm_load_si128(m + 8);
    size_t x = 0;
    for (; x + 16 <= cols; x += 16, o += 48) {
        const __m128i vb = _mm_loadu_si128((const __m128i*)(b + x));
        const __m128i vg = _mm_loadu_si128((const __m128i*)(g + x));
        const __m128i vr = _mm_loadu_si128((const __m128i*)(r + x));
        _mm_storeu_si128((__m128i*)o, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(vb, m0b), _mm_shuffle_epi8(vg, m0g)),
                                                   _mm_shuffle_epi8(vr, m0r)));
        _mm_storeu_si128((__m128i*)(o + 16), _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(vb, m1b), _mm_shuffle_epi8(vg, m1g)),
                                                          _mm_shuffle_epi8(vr, m1r)));
        _mm_storeu_si128((__m128i*)(o + 32), _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(vb, m2b), _mm_shuffle_epi8(vg, m2g)),
                                                          _mm_shuffle_epi8(vr, m2r)));
    }
    bgrplain(r + x, g + x, b + x, o, cols - x);
}

#endif

// ---- The red and blue swap ---------------------------------------------------------

#if REELKILN_X86_VECTORS
// 24-bit rows go 48 bytes (sixteen pixels, three vectors) a step, so that no
// load overlaps a store of the step before (an overlapping one would wait
// for that store to land): output vector k takes its byte j from row byte
// s = the same pixel's other end, which lies in input vector s / 16; mask
// 3 * k + v holds the picks from input vector v, 0x80 elsewhere.  32-bit rows
// go one vector (four pixels) a step.
constexpr std::array<shufmask, 10> swapmasks() {
    std::array<shufmask, 10> t{};
    for (int k = 0; k < 3; k++)
        for (int v = 0; v < 3; v++)
            for (int j = 0; j < 16; j++) {
                int at = 16 * k + j, from = at - at % 3 + (2 - at % 3);
                t[3 * k + v].m[j] = (uint8_t)(from / 16 == v ? from % 16 : 0x80);
            }
    for (int j = 0; j < 16; j++) t[9].m[j] = (uint8_t)(j % 4 == 3 ? j : j - j % 4 + (2 - j % 4));
    return t;
}
constexpr std::array<shufmask, 10> kSwap = swapmasks();

// Returns the number of bytes done (whole pixels).
__attribute__((target("ssse3"))) size_t swapssse3(uint8_t* row, size_t n, size_t px) {
    const __m128i* m = (const __m128i*)kSwap.data();
    size_t i = 0;
    if (px == 4) {
        const __m128i s4 = _mm_load_si128(m + 9);
        for (; i + 16 <= n; i += 16)
            _mm_storeu_si128((__m128i*)(row + i), _mm_shuffle_epi8(_mm_loadu_si128((const __m128i*)(row + i)), s4));
        return i;
    }
    for (; i + 48 <= n; i += 48) {
        const __m128i v0 = _mm_loadu_si128((const __m128i*)(row + i));
        const __m128i v1 = _mm_loadu_si128((const __m128i*)(row + i + 16));
        const __m128i v2 = _mm_loadu_si128((const __m128i*)(row + i + 32));
        for (int k = 0; k < 3; k++) {
            __m128i o = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, _mm_load_si128(m + 3 * k)),
                                                  _mm_shuffle_epi8(v1, _mm_load_si128(m + 3 * k + 1))),
                                     _mm_shuffle_epi8(v2, _mm_load_si128(m + 3 * k + 2)));
            _mm_storeu_si128((__m128i*)(row + i + 16 * k), o);
        }
    }
    return i;
}
#endif

}  // namespace

namespace pixelrow {

int best_level() {
#if REELKILN_X86_VECTORS
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") ? 2 : 1;
#else
    return 0;
#endif
}

int level = best_level();

uint8_t toplanes(const uint8_t* src, uint32_t bpp, uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a,
                 uint32_t w) {
#if REELKILN_X86_VECTORS
    if (bpp == 32) return level >= 1 ? row32sse2(src, r, g, b, a, w) : row32plain(src, r, g, b, a, w);
    if (level >= 2)
        row24ssse3(src, r, g, b, a, w);
    else
        row24plain(src, r, g, b, a, w);
    return 255;
#else
    if (bpp == 32) return row32plain(src, r, g, b, a, w);
    row24plain(src, r, g, b, a, w);
    return 255;
#endif
}

void torow(const uint8_t* r, const uint8_t* g, const uint8_t* b, const uint8_t* a, uint8_t* o, size_t cols,
           bool alpha) {
#if REELKILN_X86_VECTORS
    if (alpha) {
        if (level >= 1)
            bgrasse2(r, g, b, a, o, cols);
        else
            bgraplain(r, g, b, a, o, cols);
    } else if (level >= 2) {
        bgrssse3(r, g, b, o, cols);
    } else {
        bgrplain(r, g, b, o, cols);
    }
#else
    if (alpha)
        bgraplain(r, g, b, a, o, cols);
    else
        bgrplain(r, g, b, o, cols);
#endif
}

void swaprb(uint8_t* row, size_t n, size_t px) {
    size_t i = 0;
#if REELKILN_X86_VECTORS
    if (level >= 2) i = swapssse3(row, n, px);
#endif
    for (; i + px <= n; i += px) {
        uint8_t t = row[i];
        row[i] = row[i + 2];
        row[i + 2] = t;
    }
}

}  // namespace pixelrow
