// imgrec.cpp - the image record and the colour planes: allocation, release
// and the size rules.
//
// The record's pixel block is one bottom-up bitmap; its row table lets
// libpng write each decoded row straight to its place, top row at the end of
// the block, so nothing is copied or flipped afterwards.

#include "image/image.h"
#include "image/image_internal.h"

#include <cstdlib>
#include <cstring>

namespace image_detail {

void* (*imgmalloc)(size_t n) = std::malloc;

bool recsize(uint32_t width, uint32_t bpp, int32_t height, uint32_t* stride, uint32_t* size) {
    if (width == 0 || height <= 0) return false;
    const uint64_t s = dibstride(width, bpp);
    uint64_t total;
    if (s > UINT32_MAX || __builtin_mul_overflow(s, (uint64_t)height, &total) || total > UINT32_MAX)
        return false;
    *stride = (uint32_t)s;
    *size = (uint32_t)total;
    return true;
}

bool planebytes(int64_t width, int64_t height, int32_t* n) {
    int64_t px;
    if (width <= 0 || height <= 0) return false;
    if (__builtin_mul_overflow(width, height, &px) || px > (int64_t)INT32_MAX - 16) return false;
    *n = (int32_t)(px + 16);
    return true;
}

}  // namespace image_detail

using image_detail::imgmalloc;

void imginit(imgrec* rec) {
    rec->palette = nullptr;
    rec->rows = nullptr;
    rec->bits = nullptr;
}

void imgfree(imgrec* rec) {
    std::free(rec->palette);
    std::free(rec->rows);
    std::free(rec->bits);
}

// imgalloc: the palette first (colors * 3 bytes, or none), then stride and
// size, then the row table and the block, both attempted before either is
// checked.  The block is not cleared; only the last four bytes of each row,
// which hold its padding, are set to 0, because libpng never writes the
// padding.  Every failure leaves all three pointers null.
//
// The 32-bit stride and size of the record's fields are checked in 64-bit
// arithmetic: an image whose block would pass 4 GB - 1 is refused rather than
// given a wrapped, short block that its rows would overrun.
int imgalloc(imgrec* rec) {
    imginit(rec);
    if (rec->colors > 0) {
        rec->palette = (uint8_t*)imgmalloc((size_t)rec->colors * 3);
        if (!rec->palette) return 0;
    }
    uint32_t stride, size;
    if (!image_detail::recsize(rec->width, rec->bpp, rec->height, &stride, &size)) {
        imgfree(rec);
        imginit(rec);
        return 0;
    }
    rec->stride = stride;
    rec->size = size;
    size_t h = (size_t)rec->height;
    rec->rows = (uint8_t**)imgmalloc(h * sizeof(uint8_t*));
    rec->bits = (uint8_t*)imgmalloc(size);
    if (!rec->rows || !rec->bits) {
        imgfree(rec);
        imginit(rec);
        return 0;
    }
    uint8_t* bits = rec->bits;
    uint8_t** rows = rec->rows;
    // stride >= 4 because width >= 1.  A top-down record gets its padding
    // cleared as well, so no row ever carries stale bytes.
    for (size_t k = 0; k < h; k++) {
        uint8_t* row = rec->topdown ? bits + k * stride : bits + (size_t)size - (k + 1) * stride;
        std::memset(row + stride - 4, 0, 4);
        rows[k] = row;
    }
    return 1;
}

// ---- Colour planes ----------------------------------------------------------------

bool planesalloc(imgplanes* p, int64_t width, int64_t height) {
    int32_t n = 0;
    const bool sized = image_detail::planebytes(width, height, &n);
    planesfree(p);
    if (!sized) return false;
    p->R = (uint8_t*)imgmalloc((size_t)n);
    p->G = (uint8_t*)imgmalloc((size_t)n);
    p->B = (uint8_t*)imgmalloc((size_t)n);
    p->A = (uint8_t*)imgmalloc((size_t)n);
    if (!p->R || !p->G || !p->B || !p->A) {
        planesfree(p);
        return false;
    }
    p->width = (int)width;
    p->height = (int)height;
    p->reallocated = 0xFF;
    return true;
}

void planesfree(imgplanes* p) {
    for (uint8_t** q : {&p->A, &p->B, &p->G, &p->R}) {
        std::free(*q);
        *q = nullptr;
    }
    p->width = p->height = 0;
    p->reallocated = 0;
}

// Widths and heights come from an IHDR (below 2^31 each), so neither product
// wraps.
uint64_t planesbytes(uint64_t width, uint64_t height) { return 4 * (width * height + 16); }

// 8: a row pointer of the 64-bit builds.
uint64_t decodebytes(uint64_t width, uint64_t height) { return (width * 4 + 4 + 8) * height; }

uint64_t rowdecodebytes(uint64_t width) { return (width * 4 + 4) + 2 * (width * 8 + 1); }
