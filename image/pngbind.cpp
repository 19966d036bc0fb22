// pngbind.cpp - the binding of libpng to the program: byte input from RD,
// byte output to WR, the error and warning callbacks, the silent message
// sink pngmsg, the row-progress meter, and the 8-bit form of wide names.
//
// libpng calls these functions from inside its own C frames.  pngerrcb
// leaves by png_longjmp to the recovery point that the decoder or encoder
// set with setjmp; nothing here owns an object with a destructor, so the
// jump skips no cleanup.

#include "image/image.h"
#include "image/image_internal.h"
#include "stream/stream.h"
#include "text/codes.h"

#include <png.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace image_detail {

void (*msgtap)(const char* text) = nullptr;

// One unit at a time, so that the cut falls between characters: each unit
// converts on its own exactly as it would inside the whole string (a unit
// below 256 is one byte, any other one or two bytes, a surrogate '?').
void sjisname(char* out, size_t cap, const char16_t* path) {
    if (cap == 0) return;
    out[0] = 0;
    if (!path) return;
    size_t used = 0;
    for (const char16_t* p = path; *p; p++) {
        char16_t one[2] = {*p, 0};
        char piece[8] = {0};
        wstr2sjis(piece, one);
        size_t n = std::strlen(piece);
        if (used + n > cap - 1) break;
        std::memcpy(out + used, piece, n);
        used += n;
    }
    out[used] = 0;
}

}  // namespace image_detail

// ---- Byte input and output ------------------------------------------------------

// The stream's block calls take an int count; libpng's requests are far
// smaller, but a size_t is split all the same rather than truncated.
namespace {
constexpr size_t kMaxPiece = (size_t)1 << 30;
}

void pngreadcb(png_structp png, png_bytep data, size_t length) {
    while (length > 0) {
        int n = (int)(length > kMaxPiece ? kMaxPiece : length);
        if (rfread(data, n) != n) png_error(png, "Read Error");
        data += n;
        length -= (size_t)n;
    }
}

void pngwritecb(png_structp png, png_bytep data, size_t length) {
    while (length > 0) {
        int n = (int)(length > kMaxPiece ? kMaxPiece : length);
        if (wfwrite(data, n) != n) png_error(png, "Write Error");
        data += n;
        length -= (size_t)n;
    }
}

// WR is written out when its owner closes it.
void pngflushcb(png_structp) {}

void pngerrcb(png_structp png, png_const_charp msg) {
    const char* name = (const char*)png_get_error_ptr(png);
    pngmsg("ERROR(libpng): %s - %s\n", msg ? msg : "", name ? name : "");
    png_longjmp(png, 1);
}

void pngwarncb(png_structp png, png_const_charp msg) {
    const char* name = (const char*)png_get_error_ptr(png);
    pngmsg("WARNING(libpng): %s - %s\n", msg ? msg : "", name ? name : "");
}

// Nothing is printed or kept: a failed decode or encode shows only in its
// caller's result.  The tap is the tests' window on the text.
void pngmsg(const char* fmt, ...) {
    if (image_detail::msgtap) {
        char text[1024];
        va_list ap;
        va_start(ap, fmt);
        std::vsnprintf(text, sizeof text, fmt, ap);
        va_end(ap);
        image_detail::msgtap(text);
    }
    progon = 0;
    progval = -1;
}

// ---- The meter ----------------------------------------------------------------------

int progmax = 100;
int progval = -1;
int progon = 0;
int progunits = 0;
int progrows = 0;
int progdone = 0;
int progcap = 0;

void progstart(int units) {
    progcap = units > progmax ? progmax : units;
    progval = 0;
    progon = 1;
}

void progset(int v) {
    if (!progon) {
        if (progcap > progmax) progcap = progmax;
        progval = 0;
        progon = 1;
    }
    if (v > progmax) v = progmax;
    if (progval == -1) progval = 0;
    if (v > progval) progval = v;
}

void progend(void) {
    progon = 0;
    progval = -1;
}

// Each Adam7 pass's rows, weighted by the eighths of a full row's pixels that
// one of its rows carries; a pass is counted only when the image is wide
// enough to give it pixels, as libpng reports rows only for such passes.
uint32_t adam7rows(uint32_t width, uint32_t height) {
    uint32_t n = (height + 7) / 8;                // pass 1
    if (width > 4) n += (height + 7) / 8;         // pass 2
    n += 2 * ((height + 3) / 8);                  // pass 3
    if (width > 2) n += 2 * ((height + 3) / 4);   // pass 4
    n += 4 * ((height + 1) / 4);                  // pass 5
    if (width > 1) n += 4 * ((height + 1) / 2);   // pass 6
    n += 8 * (height / 2);                        // pass 7
    return n;
}

// 786432 pixels (1024 x 768) or more are metered on the full scale, smaller
// images on a proportionally smaller one, rounded up.  The products are taken
// in 64 bits so that a raised progmax cannot wrap them.
void progbegin(png_structp png, uint32_t width, uint32_t height) {
    int passes = png_set_interlace_handling(png);
    progrows = (int)(passes == 7 ? adam7rows(width, height) : height);
    if (width != 0 && height > 786432u / width)
        progunits = progmax;
    else
        progunits = (int)(((uint64_t)(uint32_t)progmax * width * height + 786431) / 786432);
    progdone = 0;
    progstart(progunits);
}

// libpng reports the row number and pass as they stand after the row: row 0
// means the row just done closed the previous pass.  Passes 0 to 6 weigh
// 1, 1, 2, 2, 4, 4, 8; a plain image always reports pass 0.
void pngrowcb(png_structp, png_uint_32 row, int pass) {
    int p = row == 0 ? pass - 1 : pass;
    if (p < 0) p = 0;
    if (p > 6) p = 6;
    progdone += 1 << (p / 2);
    if (progrows > 0)
        progset((int)((uint64_t)(uint32_t)progunits * (uint32_t)progdone / (uint32_t)progrows));
}

int progsetmax(int v) {
    progmax = v;
    return progmax;
}

int progget(void) { return progval; }

int progactive(void) { return progon; }
