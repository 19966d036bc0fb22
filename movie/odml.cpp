// odml.cpp - the OpenDML writer: its size plan and its one forward write pass.
//
// Division: the plan (pure arithmetic, no I/O); the write pass helpers; the
// writer's core mkodmlsub and its two entry points.

#include "movie/odml.h"

#include <cstdint>

// ---- The plan --------------------------------------------------------------------

namespace {

constexpr uint64_t kLimit = ODML_RIFF_LIMIT;

// The bytes of a first segment that do not depend on its frame count: the
// headers and pad up to the movi list (2040 for 24-bit, 8816 for 32-bit, each
// with the 16-byte super index header of the video counted apart), the odml
// list, the video super index, the ix00 header and the sound's share.
uint64_t riff1_base(const odmlplan* p) {
    const odmlfacts& f = p->facts;
    uint64_t b = (f.alpha ? 8816 : 2040) + 28 + (16 * (uint64_t)p->numIndex + 24) + 24;
    b += f.sound ? (uint64_t)f.datlen + 8 + 104 : 16;
    return b;
}

// The largest k <= cap whose first segment stays below the limit; 0 when not
// even an empty first segment does.  R1 grows by fs + 16 per frame, so this
// is the linear search "try cap, then one less" done in one division.
uint64_t lower_k1(const odmlplan* p, uint64_t cap) {
    uint64_t base = riff1_base(p);
    if (base >= kLimit) return 0;
    uint64_t fit = (kLimit - 1 - base) / (p->fs + 16);
    return fit < cap ? fit : cap;
}

// Segments needed when the first one holds k1 frames and each later one kx.
uint64_t segments_for(uint64_t n, uint64_t k1, uint64_t kx) {
    uint64_t left = n - k1;
    return 1 + (left + kx - 1) / kx;
}

}  // namespace

uint64_t odmlriff1(const odmlplan* p, uint64_t k) {
    return (p->fs + 8) * k + 8 * k + riff1_base(p);
}

uint64_t odmlriffx(const odmlplan* p, uint64_t k) {
    return (p->fs + 8) * k + 8 * k + 48;
}

int odmlmkplan(const odmlfacts* facts, odmlplan* out) {
    odmlplan p{};
    p.facts = *facts;
    if (!p.facts.sound) p.facts.datlen = 0;
    const odmlfacts& f = p.facts;
    const uint64_t n = f.n;

    // Frame geometry.  Widths and heights come from a PNG header (below 2^31
    // each), so the stride fits; the product is checked.
    p.stride = f.alpha ? 4 * (uint64_t)f.w : (3 * (uint64_t)f.w + 3) & ~(uint64_t)3;
    p.rowpad = f.alpha ? 0 : (uint32_t)(p.stride - 3 * (uint64_t)f.w);
    if (__builtin_mul_overflow(p.stride, (uint64_t)f.h, &p.fs)) {
        *out = p;
        return ODML_TOO_LARGE;
    }
    // One frame chunk and its index entry must fit into a later segment;
    // beyond that the plan would never end.
    if (p.fs >= kLimit || odmlriffx(&p, 1) >= kLimit || (f.sound && f.datlen < 0)) {
        *out = p;
        return ODML_TOO_LARGE;
    }
    const int64_t fs = (int64_t)p.fs;

    // First estimate of the super index size I0 and of one ix00 X0, and from
    // them of k1.  These are the traditional formulas; where they break down
    // (tiny frames make fs - 24 zero or negative, tens of millions of frames
    // make the divisor of I0 negative) a plain estimate takes their place,
    // since the fixed point below settles the real figures anyway.
    int64_t i0;
    int64_t idiv = (int64_t)(f.alpha ? 0x3FFED670 : 0x3FFEF800) - 24 * (int64_t)n;
    int64_t inum = (fs + 24) * (int64_t)n + (f.alpha ? 8592 : 0);
    if (idiv > 0) i0 = inum / idiv * 16 + 24;
    else i0 = (inum / 0x3FF00000 + 1) * 16 + 24;
    int64_t x0 = fs > 32 ? 0x40000000 / (fs - 24) * 8 + 24 : 0x40000000 / (fs + 16) * 8 + 24;
    int64_t est = (0x40000000 - (i0 + x0 + (f.sound ? 104 : 16)) - (f.alpha ? 8844 : 2068)) / (fs + 8);
    if (est < 0) est = 0;
    if ((uint64_t)est > n) est = (int64_t)n;

    // Later segments: as many frames as fit, the same for every one.
    uint64_t kx = 0x3FFFFFE8 / (p.fs + 8);
    while (kx > 0 && odmlriffx(&p, kx) >= kLimit) kx--;
    p.kx = (uint32_t)kx;

    // Reserved super index entries: what the estimate of k1 would need.
    uint64_t k1 = (uint64_t)est;
    uint64_t reserve = n == 0 ? 1 : k1 > 0 ? (n + k1 - 1) / k1 : segments_for(n, 0, kx);
    p.numIndex = (int32_t)reserve;

    // Fixed point: lower k1 until the first segment fits with numIndex
    // entries; when the frames then need more segments than reserved, reserve
    // them and lower again.  Each round only grows numIndex and shrinks k1,
    // and the segment count is bounded, so this ends.
    for (;;) {
        k1 = lower_k1(&p, k1);
        uint64_t segs = segments_for(n, k1, kx);
        if (segs <= (uint64_t)p.numIndex) {
            p.segments = (uint32_t)segs;
            break;
        }
        p.numIndex = (int32_t)segs;
    }
    p.k1 = (uint32_t)k1;

    uint64_t r1 = odmlriff1(&p, k1);
    if (r1 > 0xFFFFFFFFu) {  // only a sound of nearly 4 GB gets here
        *out = p;
        return ODML_TOO_LARGE;
    }
    p.riff1 = (uint32_t)r1;

    // Walk the first segment.
    const uint64_t N = (uint64_t)p.numIndex;
    p.hdrlsize = (uint32_t)((16 * N + 24) + (f.alpha ? 228 : 242) + (f.sound ? 164 : 0));
    p.strlsize = (uint32_t)((16 * N + 24) + (f.alpha ? 124 : 138));
    p.junksize = f.alpha ? (f.sound ? 8476 : 8592) : (f.sound ? 1686 : 1802);
    // 'RIFF' size 'AVI ' | 'LIST' size [hdrl] | 'JUNK' J [J] | 'LIST' size 'movi'
    p.movi1 = 12 + 8 + p.hdrlsize + 8 + p.junksize + 8;
    p.ix00_1 = p.movi1 + 4;
    p.ix01 = f.sound ? p.ix00_1 + 32 + 8 * k1 : 0;
    p.frame1 = p.ix00_1 + 32 + 8 * k1 + (f.sound ? 40 : 0);
    p.wb = f.sound ? p.frame1 + k1 * (p.fs + 8) : 0;
    p.movi1size = (uint32_t)(4 + (8 * k1 + 32) + (f.sound ? 40 : 0) + k1 * (p.fs + 8) +
                             (f.sound ? 8 + (uint64_t)f.datlen : 0));
    odmlseg last = odmlsegment(&p, p.segments - 1);
    p.end = last.start + 8 + last.riffsize;
    *out = p;
    return ODML_PLAN_OK;
}

odmlseg odmlsegment(const odmlplan* p, uint32_t s) {
    odmlseg g{};
    if (s == 0) {
        g.frames = p->k1;
        g.start = 0;
        g.riffsize = p->riff1;
        g.movi = p->movi1;
        g.movisize = p->movi1size;
        g.ix00 = p->ix00_1;
        g.frame = p->frame1;
        return g;
    }
    const uint64_t end1 = 8 + (uint64_t)p->riff1;
    const uint64_t full = 8 + odmlriffx(p, p->kx);
    uint64_t left = (uint64_t)p->facts.n - p->k1 - (uint64_t)(s - 1) * p->kx;
    g.frames = (uint32_t)(left < p->kx ? left : p->kx);
    g.start = end1 + (uint64_t)(s - 1) * full;
    g.riffsize = (uint32_t)odmlriffx(p, g.frames);
    g.movi = g.start + 20;
    g.movisize = (uint32_t)((p->fs + 8) * g.frames + 8 * (uint64_t)g.frames + 36);
    g.ix00 = g.start + 24;
    g.frame = g.start + 56 + 8 * (uint64_t)g.frames;
    return g;
}
