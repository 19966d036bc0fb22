// image_internal.h - what the files of image/ share; not for callers.
//
// The allocation seam and the message tap exist so that the tests can make
// an allocation fail and see which failure text the codec produced; the
// program leaves both at their defaults (malloc, no tap).  The size helpers
// hold the overflow rules of the record and the planes in one place.

#ifndef REELKILN_IMAGE_INTERNAL_H
#define REELKILN_IMAGE_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace image_detail {

// Every block of the image record and every colour plane comes from here.
// Released with free().
extern void* (*imgmalloc)(size_t n);

// When set, pngmsg formats its text and hands it here (the sink itself
// still prints nothing).
extern void (*msgtap)(const char* text);

// The record's row stride and block size: stride = ((width * bpp + 31) / 32)
// * 4 and size = stride * height, both computed without wrapping.  False when
// width or height is not positive or either value would not fit in 32 bits.
bool recsize(uint32_t width, uint32_t bpp, int32_t height, uint32_t* stride, uint32_t* size);

// Bytes of one colour plane: width * height + 16.  False when width or height
// is not positive or the sum passes INT32_MAX (the planes' sizes are ints).
bool planebytes(int64_t width, int64_t height, int32_t* n);

// One row of a 24- or 32-bit record (B G R or B G R A per pixel) into w
// bytes of each of the four planes; the alpha plane gets 255 from a 24-bit
// row.  Returns the AND of the row's alpha bytes (255 for a 24-bit row).
// The destinations must not overlap the row or each other.
uint8_t recordrow(const uint8_t* src, uint32_t bpp, uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a,
                  uint32_t w);

// Which loops recordrow uses: 0 the plain ones, 1 SSE2 vectors for 32-bit
// rows, 2 also SSSE3 shuffles for 24-bit rows and for the decoder's swap of
// red and blue.  Set at start to the best the
// processor offers (always 0 off x86-64); the tests lower it to check every
// level against the same rows.  Never raise it above its start value.
extern int rowlevel;

// The 8-bit form of a wide path for messages and libpng's error pointer:
// its Shift_JIS text cut after the last whole character that fits in cap - 1
// bytes, always ended by 0.  A null path gives "".
void sjisname(char* out, size_t cap, const char16_t* path);

}  // namespace image_detail

#endif
