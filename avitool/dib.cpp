// dib.cpp - the bitmap row decoders of the frame reader (dib_internal.h).
//
// Division: the layout of a format; the byte source's refill; the plain
// rows (palette words, 16, 24, 32 bits); the run-length rows; the picture
// loop.

#include "avitool/dib_internal.h"

#include <cstdio>

#include "image/image.h"

namespace avitool_detail {

// ---- Layout -------------------------------------------------------------------------

int dibcolours(int32_t bitcount) {
    switch (bitcount) {
    case 1: return 2;
    case 2: return 4;
    case 4: return 16;
    case 8: return 256;
    case 16:
    case 24:
    case 32: return 0;
    default: return -1;
    }
}

namespace {

// The highest of the four bytes in which mask has a bit.
int topbyte(uint32_t mask) {
    for (int j = 3; j >= 0; j--)
        if (mask >> (8 * j) & 0xFF) return j;
    return -1;
}

}  // namespace

int diblayoutof(const dibformat& f, diblayout* out) {
    diblayout l{};
    int colours = dibcolours(f.bitcount);
    if (colours < 0) return DIB_NO_DECODING;
    l.width = (uint32_t)f.width;
    l.topdown = f.height < 0;
    l.height = l.topdown ? (uint32_t)(-(int64_t)f.height) : (uint32_t)f.height;
    l.bits = f.bitcount;
    l.colours = colours;
    for (int c = 0; c < 4; c++) l.src[c] = -1;

    if (colours > 0) {
        l.kind = f.compression == 1 ? DIB_RLE8 : f.compression == 2 ? DIB_RLE4 : DIB_PALETTE;
    } else if (f.bitcount == 16) {
        l.kind = DIB_16;
        if (f.rmask == 0x7C00 && f.gmask == 0x3E0 && f.bmask == 0x1F) l.is565 = false;
        else if (f.rmask == 0xF800 && f.gmask == 0x7E0 && f.bmask == 0x1F) l.is565 = true;
        else l.is565 = f.compression != 0;
        l.rowpad = (uint32_t)(dibstride(l.width, 16) - 2ull * l.width);
    } else if (f.bitcount == 24) {
        l.kind = DIB_24;
        l.rowpad = (uint32_t)(dibstride(l.width, 24) - 3ull * l.width);
    } else {
        bool large = f.hdrsize == 108 || f.hdrsize == 124;
        l.kind = (large || f.compression == 3) ? DIB_32MASK : DIB_32;
        if (l.kind == DIB_32MASK) {
            uint32_t mask[4] = {f.rmask, f.gmask, f.bmask, large ? f.amask : 0};
            if (f.compression == 0 && !f.rmask && !f.gmask && !f.bmask) {
                mask[0] = 0xFF0000;
                mask[1] = 0xFF00;
                mask[2] = 0xFF;
            }
            bool taken[4] = {};
            for (int c = 0; c < 4; c++) {
                if (!mask[c]) continue;
                l.src[c] = (int8_t)topbyte(mask[c]);
                taken[l.src[c]] = true;
            }
            int defaults = large ? 4 : 3;
            for (int j = 0; j < defaults; j++)
                if (!taken[j] && l.src[j] < 0) l.src[j] = (int8_t)j;
        }
    }
    *out = l;
    return DIB_OK;
}

// ---- Byte source ----------------------------------------------------------------------

int dibsrc::more() {
    while (refill && !ended) {
        if (!refill(this)) break;
        if (p < end) return *p++;
    }
    ended = true;
    p = end;
    return -1;
}

namespace {

// ---- Plain rows -----------------------------------------------------------------------

inline uint8_t five(uint32_t x) { return (uint8_t)((x << 3) | (x >> 2)); }
inline uint8_t six(uint32_t x) { return (uint8_t)((x << 2) | (x >> 4)); }

// A missing byte reads as 0; the caller looks at s.ended after the row.
inline uint32_t byte(dibsrc& s) {
    int c = s.get();
    return c < 0 ? 0u : (uint32_t)c;
}

// Returns false when the source ended before the row's pixels were whole
// (missing padding after the last pixel of the picture does no harm).
bool plainrow(const diblayout& l, dibsrc& s, const dibpalette& pal, uint8_t* r, uint8_t* g,
              uint8_t* b, uint8_t* a) {
    const uint32_t w = l.width;
    switch (l.kind) {
    case DIB_PALETTE: {
        const int bits = l.bits;
        const uint32_t mask = (uint32_t)l.colours - 1;
        uint32_t word = 0;
        int left = 0;
        for (uint32_t x = 0; x < w; x++) {
            if (left == 0) {
                word = byte(s) << 24;
                word |= byte(s) << 16;
                word |= byte(s) << 8;
                word |= byte(s);
                left = 32;
            }
            uint32_t i = (word >> (32 - bits)) & mask;
            word <<= bits;
            left -= bits;
            r[x] = pal[i][0];
            g[x] = pal[i][1];
            b[x] = pal[i][2];
            a[x] = pal[i][3];
        }
        break;
    }
    case DIB_16:
        for (uint32_t x = 0; x < w; x++) {
            uint32_t v = byte(s);
            v |= byte(s) << 8;
            b[x] = five(v & 31);
            if (l.is565) {
                g[x] = six((v >> 5) & 63);
                r[x] = five((v >> 11) & 31);
            } else {
                g[x] = five((v >> 5) & 31);
                r[x] = five((v >> 10) & 31);
            }
            a[x] = 255;
        }
        break;
    case DIB_24:
        for (uint32_t x = 0; x < w; x++) {
            b[x] = (uint8_t)byte(s);
            g[x] = (uint8_t)byte(s);
            r[x] = (uint8_t)byte(s);
            a[x] = 255;
        }
        break;
    case DIB_32:
        for (uint32_t x = 0; x < w; x++) {
            b[x] = (uint8_t)byte(s);
            g[x] = (uint8_t)byte(s);
            r[x] = (uint8_t)byte(s);
            a[x] = (uint8_t)byte(s);
        }
        break;
    case DIB_32MASK: {
        uint8_t* dst[4] = {r, g, b, a};
        for (uint32_t x = 0; x < w; x++) {
            uint8_t px[4];
            for (int j = 0; j < 4; j++) px[j] = (uint8_t)byte(s);
            for (int c = 0; c < 4; c++) dst[c][x] = l.src[c] < 0 ? 255 : px[l.src[c]];
        }
        break;
    }
    default:
        break;
    }
    if (s.ended) return false;
    for (uint32_t k = 0; k < l.rowpad; k++) s.get();
    return true;
}

// ---- Run-length rows --------------------------------------------------------------------

// The run-length decoder's position: row r (counted as the outer loop
// counts, from the bottom up for a bottom-up picture), column c.
struct rlepos {
    int64_t r;
    int64_t c;
};

// A pixel is written only inside the picture; everything else is dropped.
inline void rleput(const diblayout& l, const dibplanes& o, const dibpalette& pal, const rlepos& q,
                   uint32_t i) {
    if (q.c < 0 || q.c >= (int64_t)l.width || q.r < 0 || q.r >= (int64_t)l.height) return;
    uint64_t row = l.topdown ? (uint64_t)(l.height - 1 - q.r) : (uint64_t)q.r;
    size_t at = (size_t)(row * l.width + (uint64_t)q.c);
    o.R[at] = pal[i][0];
    o.G[at] = pal[i][1];
    o.B[at] = pal[i][2];
    o.A[at] = pal[i][3];
}

enum { ROW_DONE, ROW_EOB, ROW_ENDED };

// One row of RLE8 or RLE4 data: runs until an end of line or an end of
// bitmap.  A row does not end when its runs pass the width: encoders write
// the row's padding pixels as runs too (ImageMagick fills every row to its
// stride), and only the end of line says where the next row begins.  The
// pixels past the width are dropped.
int rlerow(const diblayout& l, dibsrc& s, const dibpalette& pal, const dibplanes& o, rlepos& q) {
    const bool four = l.kind == DIB_RLE4;
    const int64_t w = l.width;
    q.c = 0;
    for (;;) {
        int n = s.get();
        int v = s.get();
        if (v < 0) return ROW_ENDED;
        if (n > 0) {
            for (int k = 0; k < n; k++, q.c++) {
                uint32_t i = four ? ((k & 1) ? (uint32_t)v & 15 : (uint32_t)v >> 4) : (uint32_t)v;
                rleput(l, o, pal, q, i);
            }
        } else if (v == 0) {
            if (q.c != w) std::printf("EOL incorrect.\n");
            return ROW_DONE;
        } else if (v == 1) {
            if (q.c != w && q.r != 0) std::printf("EOB incorrect.\n");
            return ROW_EOB;
        } else if (v == 2) {
            int dx = s.get();
            int dy = s.get();
            if (dy < 0) return ROW_ENDED;
            q.c += dx;
            q.r -= dy;
        } else if (!four) {
            for (int k = 0; k < v; k++, q.c++) {
                int i = s.get();
                if (i < 0) return ROW_ENDED;
                rleput(l, o, pal, q, (uint32_t)i);
            }
            if (v & 1) s.get();
        } else {
            // Two bytes for every four pixels; the pixels past v are dropped.
            int bytes = (v + 3) / 4 * 2;
            for (int k = 0; k < bytes; k++) {
                int pair = s.get();
                if (pair < 0) return ROW_ENDED;
                for (int h = 0; h < 2; h++) {
                    if (2 * k + h >= v) break;
                    rleput(l, o, pal, q, h == 0 ? (uint32_t)pair >> 4 : (uint32_t)pair & 15);
                    q.c++;
                }
            }
        }
        if (s.ended) return ROW_ENDED;
    }
}

}  // namespace

// ---- The picture ------------------------------------------------------------------------

int dibdecode(const diblayout& l, dibsrc& s, const dibpalette& pal, const dibplanes& o,
              dibrowhook hook, void* hookctx) {
    const bool rle = l.kind == DIB_RLE8 || l.kind == DIB_RLE4;
    rlepos q{(int64_t)l.height - 1, 0};
    for (; q.r >= 0; q.r--) {
        if (hook) {
            int stop = hook(hookctx);
            if (stop) return stop;
        }
        if (s.ended) return DIB_ENDED;  // not even the padding of the row before
        if (rle) {
            int how = rlerow(l, s, pal, o, q);
            if (how == ROW_ENDED) return DIB_ENDED;
            if (how == ROW_EOB) break;
        } else {
            uint64_t row = l.topdown ? (uint64_t)(l.height - 1 - q.r) : (uint64_t)q.r;
            size_t at = (size_t)(row * l.width);
            if (!plainrow(l, s, pal, o.R + at, o.G + at, o.B + at, o.A + at)) return DIB_ENDED;
        }
    }
    return DIB_OK;
}

}  // namespace avitool_detail
