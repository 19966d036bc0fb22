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

struct imgrec;

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

// The 8-bit form of a wide path for messages and libpng's error pointer:
// its Shift_JIS text cut after the last whole character that fits in cap - 1
// bytes, always ended by 0.  A null path gives "".
void sjisname(char* out, size_t cap, const char16_t* path);

// The PNG encoder's core, as pngencode calls it with wide 0.  With wide
// nonzero it creates WR by wpath and names the file by wpath's 8-bit form,
// written into widebuf (272 bytes).  Only the 8-bit entry is offered to
// callers; the tests reach the wide branch here.
int pngencodecore(const char* path, char* widebuf, const char16_t* wpath, uint8_t wide, imgrec* rec);

}  // namespace image_detail

#endif
