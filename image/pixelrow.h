// pixelrow.h - the pixel-row kernels: image-record rows into colour planes,
// colour planes into the rows a movie stores, and the decoder's swap of red
// and blue, each as plain loops and as x86-64 vector loops.
//
// Which loops run is one process-wide choice, pixelrow::level, made once at
// start from what the processor offers.  Every level gives the same bytes;
// the vector loops only take sixteen pixels a step where the plain ones take
// one (or four).  One thread: nothing here is reentrant while a test changes
// the level.

#ifndef REELKILN_IMAGE_PIXELROW_H
#define REELKILN_IMAGE_PIXELROW_H

#include <cstddef>
#include <cstdint>

namespace pixelrow {

// 0 the plain loops; 1 also SSE2 vectors (32-bit record rows, B G R A rows);
// 2 also SSSE3 byte shuffles (24-bit rows both ways, the red and blue swap).
// Set at start to best_level(); tests lower it to check every level against
// the plain loops and put it back.  Never set it above best_level().
extern int level;

// The highest level this processor runs: 2 with SSSE3, 1 on any other
// x86-64, 0 on every other processor.
int best_level();

// One row of a 24- or 32-bit image record (B G R or B G R A per pixel) into
// w bytes of each of the four planes; the alpha plane gets 255 from a 24-bit
// row.  Returns the AND of the row's alpha bytes (255 for a 24-bit row).  The
// destinations must not overlap the row or each other.
uint8_t toplanes(const uint8_t* src, uint32_t bpp, uint8_t* r, uint8_t* g, uint8_t* b, uint8_t* a,
                 uint32_t w);

// The first cols pixels of one stored movie row from the planes' rows: B G R
// per pixel, or B G R A when alpha is set (a is not read otherwise), into o
// (3 or 4 bytes a pixel).  The planes must not overlap o.
void torow(const uint8_t* r, const uint8_t* g, const uint8_t* b, const uint8_t* a, uint8_t* o, size_t cols,
           bool alpha);

// Swaps the first and third byte of each whole px-byte pixel (px 3 or 4) in
// the first n bytes of row, in place: R G B (A) into B G R (A).
void swaprb(uint8_t* row, size_t n, size_t px);

}  // namespace pixelrow

#endif
