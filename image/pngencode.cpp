// pngencode.cpp - the PNG encoder: four colour planes into an image record
// of the smallest fitting format, and a record into a PNG file through
// libpng and the write stream WR.
//
// Division: the front end pngsaveplanes (the format decision, the record's
// rows); the encode body (everything that may end in libpng's error jump);
// the cell that owns libpng's structures and the recovery point; the core
// that opens and closes WR; the entries.
//
// The format decision, for an image without alpha:
//   1 or 2 colours       1 bpp, a palette of 2
//   3 to 16 colours      4 bpp, a palette of 16
//   17 to 256 colours    8 bpp, a palette of 256 (a gray ramp, each pixel's
//                        index its gray value, when every colour is gray and
//                        there are 129 or more)
//   more than 256        24 bpp RGB
// The palette holds the colours in the order they first appear, black moved
// to entry 0 and white to the last used entry; the entries past the used
// ones are (i, i, i).  A 2-bit depth is never written.  An image with alpha
// is 32 bpp RGBA.

#include "image/image.h"
#include "image/image_internal.h"
#include "image/pixelrow.h"
#include "stream/stream.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

// 72 dots per inch in pixels per metre, (1 / 0.0254) * 72 = 2834.65...,
// rounded up as the files have always had it: 2835.
uint32_t dpi72permetre() {
    double ppm = (1.0 / 0.0254) * 72.0;
    double up = std::ceil(ppm);
    return up < 1.0 ? 1u : (uint32_t)up;
}

// One plane row into a row of palette indices of bpp bits, most significant
// bits first, packed into big-endian 32-bit words.  A row that ends on a word
// boundary has no partial word: the last word was written when it filled,
// and writing another would run past the row (past the block, for the top
// row, which ends it).  The row is (w * bpp + 31) / 32 words long.
void packrow(uint8_t* out, const uint8_t* r, const uint8_t* g, const uint8_t* b, int w, int bpp) {
    const uint32_t mask = (1u << bpp) - 1;
    uint32_t acc = 0;
    int bits = 0;
    // The last colour looked up: runs of one colour are the rule in images
    // of few colours, and the lookup is the loop's only real cost.
    int lastkey = -1, lastidx = 0;
    for (int x = 0; x < w; x++) {
        int k = (int)((uint32_t)r[x] | ((uint32_t)g[x] << 8) | ((uint32_t)b[x] << 16));
        if (k != lastkey) {
            int i = palfind(r[x], g[x], b[x]);
            lastidx = i < 0 ? 0 : i;
            lastkey = k;
        }
        acc = (acc << bpp) | ((uint32_t)lastidx & mask);
        bits += bpp;
        if (bits == 32) {
            put_be32(out, acc);
            out += 4;
            acc = 0;
            bits = 0;
        }
    }
    if (bits > 0) put_be32(out, acc << (32 - bits));
}

// Everything from binding the output to the end of the image.  Returns 1;
// libpng's errors leave by the jump.  The record's fields are read only.
int encodebody(png_structp png, png_infop info, const imgrec* rec) {
    png_set_write_fn(png, nullptr, pngwritecb, pngflushcb);
    png_set_compression_level(png, 6);
    uint32_t ppm = dpi72permetre();
    png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);

    const bool truecolour = rec->bpp == 24 || rec->bpp == 32;
    int depth, ctype;
    if (truecolour) {
        depth = 8;
        ctype = rec->bpp == 32 && rec->alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        png_set_compression_mem_level(png, 9);
    } else {
        depth = (int)rec->bpp;
        ctype = PNG_COLOR_TYPE_PALETTE;
    }
    // IHDR before PLTE, so that libpng checks the palette's length against
    // the depth as it takes it.
    png_set_IHDR(png, info, rec->width, (png_uint_32)rec->height, depth, ctype, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!truecolour) {
        png_color plte[256];
        int n = rec->palette ? (int)(rec->colors > 256 ? 256 : rec->colors) : 0;
        for (int i = 0; i < n; i++)
            plte[i] = png_color{rec->palette[3 * i], rec->palette[3 * i + 1], rec->palette[3 * i + 2]};
        png_set_PLTE(png, info, plte, n);
    }
    // No sBIT for full 8-bit samples: it would say nothing.
    const uint8_t* sb = rec->sbit;
    if (!(sb[0] == 8 && sb[1] == 8 && sb[2] == 8 && (ctype != PNG_COLOR_TYPE_RGB_ALPHA || sb[4] == 8))) {
        png_color_8 sig = {sb[0], sb[1], sb[2], sb[3], sb[4]};
        png_set_sBIT(png, info, &sig);
    }
    png_write_info(png, info);
    if (rec->bpp == 32 && !rec->alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
    if (truecolour) png_set_bgr(png);

    png_set_write_status_fn(png, pngrowcb);
    progbegin(png, rec->width, (uint32_t)rec->height);
    png_write_image(png, rec->rows);
    png_write_end(png, info);
    return 1;
}

// The cell that owns libpng's structures and the recovery point.  WR is
// open; name is the file's 8-bit name, libpng's error pointer.  Returns 1
// encoded, 0 failed (the message sent).  No value in this frame changes
// after the setjmp except ok, which is volatile.
int encodecell(const char* name, const imgrec* rec) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, (png_voidp)name, pngerrcb, pngwarncb);
    if (!png) {
        pngmsg("Out of memory: %s\n", name);
        return 0;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        pngmsg("Out of memory: %s\n", name);
        return 0;
    }
    volatile int ok = 0;
    if (setjmp(png_jmpbuf(png)) == 0) ok = encodebody(png, info, rec);
    png_destroy_write_struct(&png, &info);
    if (ok) progend();
    return ok;
}

}  // namespace

namespace image_detail {

// The core behind the entry.  For a wide path, widebuf (272 bytes) receives
// the path's Shift_JIS form, which names the file from then on.  WR is
// closed on every return, and the record released.
//
// WR holds the last 8 KiB or less of every file (all of a small one) until
// its close writes them out, so the close is where a full disk shows for
// most files: its failure fails the encode like any short write.  The
// partial file stays where it is.
int pngencodecore(const char* path, char* widebuf, const char16_t* wpath, uint8_t wide, imgrec* rec) {
    const char* name = path;
    int created;
    if (wide) {
        image_detail::sjisname(widebuf, 272, wpath);
        name = widebuf;
        created = wpath ? wfcreateW(wpath) : -1;
    } else {
        created = path ? wfcreate(path) : -1;
    }
    const char* shown = name ? name : "";
    int ok = 0;
    if (created != 0)
        pngmsg("Cannot create: %s\n", shown);
    else
        ok = encodecell(shown, rec);
    if (wfclose() != 0 && ok) {
        pngmsg("ERROR(libpng): %s - %s\n", "Write Error", shown);
        ok = 0;
    }
    imgfree(rec);
    imginit(rec);
    return ok;
}

}  // namespace image_detail

int pngencode(const char* path, imgrec* rec) {
    return image_detail::pngencodecore(path, nullptr, nullptr, 0, rec);
}

// ---- The front end ----------------------------------------------------------------

// The steps print on one line as they go, for instance for 200 grays
//   Checking PNG type ... (trns 0) (200 colors)(mono)8-bit (mono) PNG
// and "done." on the next.  Sizes are checked before a plane is read: the
// planes of an image of width * height + 16 bytes past INT32_MAX cannot
// exist, and a count past it would wrap the pixel loops.  A negative height
// has no meaning here (the rows would never be filled) and is refused too.
int pngsaveplanes(const char* path, int width, int height, const uint8_t* R, const uint8_t* G,
                  const uint8_t* B, const uint8_t* A, int8_t trns) {
    std::printf("Checking PNG type ... (trns %d) ", (int)trns);
    int32_t planesize;
    if (!image_detail::planebytes(width, height, &planesize)) {
        std::printf("Cannot allocate imgbuf memory. \n");
        return -2;
    }
    const int32_t count = planesize - 16;

    if (trns < 0) {
        uint8_t andv = 255, orv = 0;
        for (int32_t i = 0; i < count; i++) {
            andv &= A[i];
            orv |= A[i];
        }
        // All opaque, or all fully transparent (which may be a cleared plane
        // meaning "no alpha"): no alpha channel.
        trns = andv == 255 || orv == 0 ? 0 : 1;
        std::printf("(and %d or %d) ", andv, orv);
    }
    int bpp = trns ? 32 : 24;
    int colors = -1;
    bool mono = false;
    palclear();
    if (trns == 0) {
        bool fits = true;
        // Runs of one colour are looked up once.
        int lastkey = -1;
        for (int32_t i = 0; i < count; i++) {
            int k = (int)((uint32_t)R[i] | ((uint32_t)G[i] << 8) | ((uint32_t)B[i] << 16));
            if (k == lastkey) continue;
            lastkey = k;
            if (paladd(R[i], G[i], B[i]) < 0) {
                fits = false;
                break;
            }
        }
        if (fits) {
            palnormbw();
            colors = palcount();
            std::printf("(%d colors)", colors);
            mono = palisgray() && colors >= 129;
            if (colors >= 17) {
                colors = 256;
                bpp = 8;
            } else if (colors >= 3) {
                colors = 16;
                bpp = 4;
            } else {
                colors = 2;
                bpp = 1;
            }
            if (mono) {
                palsetgray();
                std::printf("(mono)");
            }
        }
    }
    std::printf("%d-bit ", bpp);
    if (trns == 1) std::printf("(trans) ");
    if (mono) std::printf("(mono) ");
    std::printf("PNG \n");

    imgrec rec;
    imginit(&rec);
    rec.width = (uint32_t)width;
    rec.height = height;
    rec.bpp = (uint32_t)bpp;
    rec.topdown = 0;
    rec.alpha = trns ? 1 : 0;
    rec.colors = trns == 0 && bpp <= 8 ? (uint32_t)colors : 0;
    if (!imgalloc(&rec)) {
        std::printf("Cannot allocate imgbuf memory. \n");
        return -2;
    }
    for (uint32_t i = 0; i < rec.colors; i++) std::memcpy(rec.palette + 3 * i, paltable[i], 3);
    std::memset(rec.sbit, 8, sizeof rec.sbit);

    // Bottom row first, as the block stores them; the poll runs once a row.
    for (int y = height - 1; y >= 0; y--) {
        if (keypoll() != 0 && getlastkey() == 27) {
            imgfree(&rec);
            return 27;
        }
        const size_t at = (size_t)y * (size_t)width;
        uint8_t* row = rec.rows[y];
        if (bpp > 8)  // B G R (A), as the movie writers store their rows
            pixelrow::torow(R + at, G + at, B + at, A + at, row, (size_t)width, bpp == 32);
        else
            packrow(row, R + at, G + at, B + at, width, bpp);
    }

    if (!pngencode(path, &rec)) return -3;
    std::printf("done.\n");
    return 0;
}
