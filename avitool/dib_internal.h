// dib_internal.h - the device-independent bitmap decoder of the frame
// reader.  Internal to avitool/: not for callers outside the folder.
//
// A frame's format (dibformat, read from the stream format chunk) is turned
// once into a layout (diblayout); the pixel data is then decoded row by row
// from a byte source (dibsrc) into the four colour planes of image.h's
// imgplanes (row 0 at the top, alpha 255 opaque).  The decoder knows nothing
// of files: the frame reader gives it a source over the read stream, the
// tests one over bytes in memory.
//
// Forms: 1, 2, 4 and 8 bits with a palette, plain (whole big-endian 32-bit
// words per row), RLE8 or RLE4; 16 bits as 5-5-5 or 5-6-5; 24 bits; 32 bits
// plain or routed by bit-field masks; rows bottom-up or top-down.
//
// Notes on hostile data: nothing a file says can make the decoder write
// outside the planes.  Run-length runs, absolute runs and deltas that move
// the position outside the picture (at or past the width, above the top or
// below the bottom row) drop those pixels and go on; a row ends at its end
// of line, not where its runs pass the width; the end-of-line and
// end-of-bitmap checks report as usual.  A source that ends inside the rows
// ends the decode with DIB_ENDED.

#ifndef REELKILN_AVITOOL_DIB_INTERNAL_H
#define REELKILN_AVITOOL_DIB_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace avitool_detail {

// The bitmap header as the format chunk gives it (12-byte headers have no
// compression and no masks: they read as 0).
struct dibformat {
    uint32_t hdrsize;       // 12, 40, 108 or 124
    int32_t width;
    int32_t height;         // negative: rows stored top-down
    int32_t planes;
    int32_t bitcount;
    uint32_t compression;   // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    uint32_t rmask, gmask, bmask, amask;
};

// How the rows are decoded.
enum dibkind {
    DIB_PALETTE,   // 1, 2, 4, 8 bits, whole 32-bit words per row
    DIB_RLE8,
    DIB_RLE4,
    DIB_16,
    DIB_24,
    DIB_32,        // B G R A
    DIB_32MASK     // four bytes routed by the masks
};

struct diblayout {
    dibkind kind;
    uint32_t width;        // pixels per row
    uint32_t height;       // rows (|height| of the format)
    bool topdown;
    int bits;              // bits per pixel
    int colours;           // palette entries: 2^bits for 1 to 8 bits, else 0
    bool is565;            // DIB_16: 5-6-5, else 5-5-5
    int8_t src[4];         // DIB_32MASK: the byte (0 to 3) that gives R, G, B, A; -1: 255
    uint32_t rowpad;       // bytes after each plain row's pixels (16 and 24 bits)
};

// Results of diblayoutof; dibdecode's are below.
enum { DIB_OK = 0, DIB_NO_DECODING = 15 };

// The palette colours of a bit count: 2, 4, 16, 256 for 1, 2, 4, 8 bits;
// 0 for 16, 24 and 32; -1 for any other (no decoding).
int dibcolours(int32_t bitcount);

// diblayoutof: the layout of a format.  Width and height must already be
// valid (width > 0, height neither 0 nor INT32_MIN): the frame reader
// refuses the others first.  Returns DIB_OK, or DIB_NO_DECODING for a bit
// count without a decoding.
//
// 16 bits: 5-5-5 when the masks are exactly 0x7C00, 0x3E0, 0x1F; 5-6-5 when
// they are 0xF800, 0x7E0, 0x1F; otherwise 5-5-5 for compression 0 and 5-6-5
// for the others.  Compression 1 and 2 select run-length decoding only for 1
// to 8 bits.
//
// 32 bits are routed by the masks with a 108- or 124-byte header or
// compression 3, else read as B G R A.  Each of the red, green, blue masks
// (and the alpha mask of a 108- or 124-byte header) that is not 0 takes the
// highest of the pixel's four bytes in which it has a bit.  A byte that no
// mask took goes to its default channel (byte 0 red, 1 green, 2 blue, 3
// alpha; a 40-byte header gives byte 3 none), unless a mask already gave that
// channel its byte: the masks are what the file says, the defaults only fill
// in.  Without a byte for alpha, alpha is 255.  A larger header without bit
// fields (compression 0) whose colour masks are all 0 means what compression
// 0 means everywhere else, B G R: the default order would give red and blue
// swapped.
int diblayoutof(const dibformat& f, diblayout* out);

// A byte source: an inline fast path over a block and an out-of-line refill
// that ends safely.  refill, when set, puts the next block in p..end and
// returns false when there is none; without it the block is all there is.
// After the end, get() returns -1 and ended is set.
struct dibsrc {
    const uint8_t* p = nullptr;
    const uint8_t* end = nullptr;
    bool (*refill)(dibsrc* s) = nullptr;
    void* ctx = nullptr;
    bool ended = false;

    int get() { return p < end ? *p++ : more(); }
    int more();
};

// The planes the decoder writes: width x height bytes each, row 0 at the
// top, pixel (x, y) at y * width + x.
struct dibplanes {
    uint8_t* R;
    uint8_t* G;
    uint8_t* B;
    uint8_t* A;
};

// One palette entry: red, green, blue, alpha.
using dibpalette = uint8_t[256][4];

// Called before each row; a nonzero result stops the decode with that
// result (the frame reader's key poll returns 27 for ESC).
using dibrowhook = int (*)(void* ctx);

// Results of dibdecode beside DIB_OK and the hook's.
enum { DIB_ENDED = -2 };

// dibdecode: decodes the picture's rows from s into the planes, the file's
// first row first (the bottom row of a bottom-up picture).  The hook, when
// set, runs before every row.  Returns DIB_OK, the hook's nonzero result
// (rows decoded so far stay in the planes), or DIB_ENDED when the source
// ended inside the rows.  RLE prints "EOL incorrect.\n" for an end of line
// that is not at the row's end and "EOB incorrect.\n" for an end of bitmap
// that is neither at the end of a row nor in the last row.
int dibdecode(const diblayout& l, dibsrc& s, const dibpalette& pal, const dibplanes& out,
              dibrowhook hook, void* hookctx);

}  // namespace avitool_detail

#endif
