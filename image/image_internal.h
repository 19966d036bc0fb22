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
struct png_struct_def;

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

// How one decode reads and reports.  pngdecode reads RD through pngreadcb
// with the settings pngalphamode and pngtrnsalpha; the plane loader's job
// reads through its own callback and io pointer, with the settings it was
// given.  Unless quiet (a worker thread's decode) the decode sends its
// failures to pngmsg and meters its rows; a quiet one neither prints,
// meters nor touches a global.
//
// A quiet decode may hand its rows to a sink instead of the record's block:
// a decode of a whole frame then holds one row beside what the sink keeps,
// not the block of up to 4 bytes a pixel.  Only images that are not
// interlaced go this way (an Adam7 image's rows are whole only after the
// last pass); begin is told the record's shape first and may decline, and
// the decode then fills the block as usual.  The rows are the bytes the
// record's rows would hold (row 0 the top one, each given once, in order);
// the record then has its size, bpp and palette but no block (rows and
// bits null).
struct rowsink {
    bool (*begin)(void* ctx, uint32_t width, int32_t height, uint32_t bpp);
    void (*row)(void* ctx, const imgrec* rec, uint32_t y, const uint8_t* row);
    void* ctx;
};

struct decodeio {
    void (*read)(png_struct_def* png, uint8_t* data, size_t length);  // must raise png_error when short
    bool (*size)(void* io, int64_t* out);  // the file's size, false when it cannot be told
    void* io;  // libpng's io pointer for read
    int alphamode, trnsalpha;
    bool quiet;
    const char* name;  // the file's 8-bit name, libpng's error pointer and the messages' (null: "")
    const rowsink* sink = nullptr;  // quiet decodes only; null: the rows go to the block
};

// The decoder on an input that io already has open at its first byte: 1
// decoded into rec (the caller frees it), 0 failed (rec's pointers null).
int pngdecodeio(const decodeio& io, imgrec* rec);

}  // namespace image_detail

#endif
