// pngdecode.cpp - the PNG decoder: one PNG file through libpng into an image
// record, a bottom-up bitmap of 1, 4, 8, 24 or 32 bits per pixel.
//
// What the record holds, by PNG image (with the settings at their start
// values):
//   gray 1, 4, 8 bits       1, 4, 8 bpp, indices into a gray ramp
//   gray 2 bits             4 bpp (2-bit values widened), ramp of 4 grays
//   gray 16 bits            8 bpp, high bytes, ramp of 256
//   palette 1, 4, 8 bits    the same bpp, PLTE colours
//   palette 2 bits          4 bpp, indices widened
//   RGB 8 or 16 bits        24 bpp, B G R
//   gray+alpha, RGBA        32 bpp, B G R A (gray copied to all three)
//   any of the first five with tRNS   32 bpp, alpha from tRNS
//
// Division: the 2-bit to 4-bit row transform; the signature check; the
// decode body (everything that may end in libpng's error jump); the core
// that owns the libpng structures and the recovery point; the two entries.
//
// The recovery point: the core calls setjmp right after creating libpng's
// structures, in its own frame, and only pointers assigned before the setjmp
// and never changed afterwards live in that frame, so they hold their values
// when the error callback jumps back.  Everything after it runs in the body,
// whose locals are dead once the jump has left it.

#include "image/image.h"
#include "image/image_internal.h"
#include "image/pixelrow.h"
#include "stream/stream.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

int pngalphamode = 2;
int pngtrnsalpha = 1;

namespace {

// Entry n turns one 4-bit group of two 2-bit pixels into one byte of two
// 4-bit pixels of the same values: n = a * 4 + b gives a * 16 + b.
constexpr uint8_t k2to4[16] = {0x00, 0x01, 0x02, 0x03, 0x10, 0x11, 0x12, 0x13,
                               0x20, 0x21, 0x22, 0x23, 0x30, 0x31, 0x32, 0x33};

// The user transform for 2-bit images, in place from the end of the row:
// (width + 1) / 2 output bytes from (width + 3) / 4 input bytes.  libpng
// sizes its row buffer for the 4-bit result (set_user_transform_info), and
// the write position never falls below twice the read position, so no input
// byte is overwritten before it is read.
void widen2to4(png_structp, png_row_infop info, png_bytep row) {
    if (info->bit_depth != 2) return;
    size_t out = ((size_t)info->width + 1) / 2;
    uint8_t* w = row + out;
    const uint8_t* r = row + out / 2;
    if (out & 1) *--w = k2to4[*r >> 4];  // the last one or two pixels
    while (r > row) {
        uint8_t b = *--r;
        *--w = k2to4[b & 15];
        *--w = k2to4[b >> 4];
    }
    info->bit_depth = 4;
    info->pixel_depth = 4;
    info->rowbytes = out;
}

// Red and blue change places in each pixel of an 8-bit RGB or RGBA row, in
// place, as libpng's own BGR transform does, by the pixel-row swap (sixteen
// bytes a step where the processor has SSSE3).  It runs as the user
// transform, the last of libpng's row transforms, where the row is final in
// every other respect (tRNS expanded, 16-bit samples cut), so the bytes it
// leaves are the same as the BGR transform's.  The plain byte swap of that
// transform took about 3 % of the decode of a 1080p RGB frame.
void swaprb(png_structp, png_row_infop info, png_bytep row) {
    if (info->bit_depth != 8 || !(info->color_type & PNG_COLOR_MASK_COLOR) || info->channels < 3) return;
    const size_t px = info->channels;
    const size_t n = (size_t)info->width * px;
    pixelrow::swaprb(row, n, px);
}

// The signature at offset 0, or at 128 after a 128-byte preamble (file bytes
// 128 to 135 land at buffer bytes 120 to 127 of the second read).  Returns the
// signature's length, 8, or 0 after sending "No PNG file"; a file too short
// for the reads ends in the read callback's error jump.
int sigcheck(png_structp png, const image_detail::decodeio& io, const char* name) {
    uint8_t buf[136];
    io.read(png, buf, 8);
    if (png_sig_cmp(buf, 0, 8) == 0) return 8;
    io.read(png, buf, 128);
    if (png_sig_cmp(buf + 120, 0, 8) == 0) return 8;
    if (!io.quiet) pngmsg("No PNG file: %s\n", name);
    return 0;
}

// A gray ramp of 2^depth entries from 0 to 255, as png_build_grayscale_palette
// spaces it (steps 255, 85, 17 and 1 for depths 1, 2, 4 and 8).
void grayramp(uint8_t* pal, uint32_t colors, int depth) {
    uint32_t n = 1u << depth;
    if (n > colors) n = colors;
    uint32_t step = 255 / ((1u << depth) - 1);
    for (uint32_t i = 0; i < n; i++) {
        uint8_t v = (uint8_t)(i * step);
        pal[3 * i] = pal[3 * i + 1] = pal[3 * i + 2] = v;
    }
}

// The bytes of filtered image data a PNG of this header inflates to: per
// row one filter byte and the row's packed pixels, per pass of an Adam7
// image.  At most about 2^53 for the largest header libpng takes, so no sum
// wraps.
uint64_t filteredbytes(uint32_t width, uint32_t height, int depth, int channels, int interlace) {
    const uint64_t bits = (uint64_t)depth * (uint64_t)channels;
    auto rows = [&](uint64_t w, uint64_t h) { return w == 0 || h == 0 ? 0 : h * (1 + (w * bits + 7) / 8); };
    if (interlace != PNG_INTERLACE_ADAM7) return rows(width, height);
    uint64_t sum = 0;
    for (int pass = 0; pass < 7; pass++) sum += rows(PNG_PASS_COLS(width, pass), PNG_PASS_ROWS(height, pass));
    return sum;
}

// Whether a file of filesize bytes can hold that much filtered data.
// Deflate expands at most 1032 times: its densest code spends one bit on a
// 258-byte match and one on its distance.  So every valid file holds at
// least filtered / 1032 compressed bytes, and a file that cannot is damaged
// or hostile; refusing it before the record is allocated keeps a 68-byte
// file that claims a 1333 x 1000000 image from costing gigabytes.  The
// slack (a further 1032 x 4096 filtered bytes) keeps the rule far from the
// real limit, for frames that compress as well as deflate can (a blank
// frame comes close to 1030 times); a size the stream cannot tell is no
// reason to refuse.
bool fileholds(int64_t filesize, uint64_t filtered) {
    constexpr uint64_t kDeflateMaxRatio = 1032;
    constexpr uint64_t kSlackBytes = 4096;
    if (filesize < 0) return true;
    return filtered / kDeflateMaxRatio <= (uint64_t)filesize + kSlackBytes;
}

// Everything from binding the input to the end of the image.  Returns 1
// decoded, 0 failed with a message sent; libpng's errors leave by the jump.
int decodebody(png_structp png, png_infop info, png_infop endinfo, imgrec* rec, const char* name,
               const image_detail::decodeio& io) {
    png_set_read_fn(png, io.io, io.read);
    int sig = sigcheck(png, io, name);
    if (sig == 0) return 0;
    png_set_sig_bytes(png, sig);
    // Only IHDR, PLTE, tRNS, IDAT and IEND shape the pixels this decoder
    // delivers (no gamma, colour space or background is applied), so every
    // other chunk is skipped unread.  That also keeps a damaged file from
    // making libpng allocate a buffer for a text or profile chunk whose
    // length field claims a gigabyte.  An unknown critical chunk still fails.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_IGNORE_ADLER32)
    // The Adler-32 at the end of the inflated data is not checked: every
    // compressed byte already lies inside an IDAT chunk whose CRC-32 libpng
    // checks (those CRC checks stay on), so a damaged file is caught all
    // the same, and the second checksum over the ~6 MB of every 1080p frame
    // costs about a twelfth of the decode.  A stream that ends early or runs
    // on still fails in inflate itself.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);

    png_uint_32 width, height;
    int depth, ctype, interlace;
    png_get_IHDR(png, info, &width, &height, &depth, &ctype, &interlace, nullptr, nullptr);
    int64_t filesize = -1;
    if (!io.size(io.io, &filesize)) filesize = -1;
    if (!fileholds(filesize, filteredbytes(width, height, depth, png_get_channels(png, info), interlace))) {
        // As libpng says it when the image data runs out before the image.
        png_error(png, "Not enough image data");
    }

    // The transforms, on a working copy of the colour type.
    int work = ctype;
    if ((work & PNG_COLOR_MASK_ALPHA) && io.alphamode == 0) {
        png_set_strip_alpha(png);
        work &= ~PNG_COLOR_MASK_ALPHA;
    } else if (!(work & PNG_COLOR_MASK_ALPHA) && png_get_valid(png, info, PNG_INFO_tRNS) &&
               io.alphamode && io.trnsalpha) {
        png_set_tRNS_to_alpha(png);
        work = (work | PNG_COLOR_MASK_ALPHA) & ~PNG_COLOR_MASK_PALETTE;
    }
    if (work == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    // Gray widened to RGB needs no BGR order: its three bytes are equal.
    // (swaprb stands in for png_set_bgr; the 2-bit widening below never
    // meets it, as RGB has no 2-bit form.)
    if (work == PNG_COLOR_TYPE_RGB || work == PNG_COLOR_TYPE_RGB_ALPHA) png_set_read_user_transform_fn(png, swaprb);
    if (!(work & PNG_COLOR_MASK_ALPHA) && depth == 2) {
        png_set_user_transform_info(png, nullptr, 4, 1);
        png_set_read_user_transform_fn(png, widen2to4);
    }
    if (depth == 16) png_set_strip_16(png);
    // libpng 1.6 must know about interlace handling before it works out the
    // transformed rows; asked later (as progbegin does again below) every
    // interlaced image fails with "bad adaptive filter value".
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    int newdepth, newtype;
    png_get_IHDR(png, info, &width, &height, &newdepth, &newtype, nullptr, nullptr, nullptr);
    int channels = png_get_channels(png, info);
    rec->width = width;
    rec->height = (int32_t)height;
    rec->bpp = (uint32_t)(newdepth * channels);
    rec->colors = rec->bpp <= 8 ? 1u << rec->bpp : 0;
    rec->topdown = 0;
    rec->alpha = (newtype & PNG_COLOR_MASK_ALPHA) ? 1 : 0;
    // Rows to the sink: the record gets its palette and, in place of the
    // block, one row (refused at the sizes imgalloc refuses, so a decode
    // ends alike either way); bits holds the row so that the recovery
    // point's imgfree releases it.  The sink's planes come last, as the
    // loader's do after the record.
    bool direct = false;
    uint32_t stride = 0, size = 0;
    if (io.sink && io.quiet && interlace == PNG_INTERLACE_NONE &&
        image_detail::recsize(rec->width, rec->bpp, rec->height, &stride, &size)) {
        imginit(rec);
        rec->stride = stride;
        rec->size = size;
        if (rec->colors > 0 && !(rec->palette = (uint8_t*)image_detail::imgmalloc((size_t)rec->colors * 3)))
            return 0;
        if (!(rec->bits = (uint8_t*)image_detail::imgmalloc(stride))) return 0;
        direct = io.sink->begin(io.sink->ctx, rec->width, rec->height, rec->bpp);
        if (!direct) {
            imgfree(rec);
            imginit(rec);
        }
    }
    if (!direct && !imgalloc(rec)) {
        if (!io.quiet) pngmsg("Out of memory: %s\n", name);
        return 0;
    }

    if (rec->colors > 0) {
        std::memset(rec->palette, 0, (size_t)rec->colors * 3);
        if (newtype == PNG_COLOR_TYPE_PALETTE) {
            png_colorp plte = nullptr;
            int num = 0;
            if (!png_get_PLTE(png, info, &plte, &num)) num = 0;
            if (num > (int)rec->colors) num = (int)rec->colors;
            for (int i = 0; i < num; i++) {
                rec->palette[3 * i] = plte[i].red;
                rec->palette[3 * i + 1] = plte[i].green;
                rec->palette[3 * i + 2] = plte[i].blue;
            }
        } else {
            // The ramp follows the file's own depth, not the widened one.
            grayramp(rec->palette, rec->colors, depth == 16 ? 8 : depth);
        }
    }

    if (!io.quiet) {
        png_set_read_status_fn(png, pngrowcb);
        progbegin(png, width, height);
    }
    if (direct) {
        for (uint32_t y = 0; y < height; y++) {
            png_read_row(png, rec->bits, nullptr);
            io.sink->row(io.sink->ctx, rec, y, rec->bits);
        }
    } else {
        png_read_image(png, rec->rows);
    }
    png_read_end(png, endinfo);
    return 1;
}

// A quiet decode's error callback: back to the recovery point, touching
// nothing the writer's thread owns (pngmsg ends the process-wide meter).
[[noreturn]] void quieterrcb(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietwarncb(png_structp, png_const_charp) {}

// The cell that owns libpng's structures and the recovery point.  The input
// is open; name is the file's 8-bit name, libpng's error pointer.  Returns 1
// decoded, 0 failed (a message sent unless quiet, the record's buffers
// released and its pointers null).  No value in this frame changes after
// the setjmp except ok, which is volatile.
int decodecell(const char* name, imgrec* rec, const image_detail::decodeio& io) {
    png_structp png = io.quiet
                          ? png_create_read_struct(PNG_LIBPNG_VER_STRING, (png_voidp)name, quieterrcb, quietwarncb)
                          : png_create_read_struct(PNG_LIBPNG_VER_STRING, (png_voidp)name, pngerrcb, pngwarncb);
    if (!png) {
        if (!io.quiet) pngmsg("Out of memory: %s\n", name);
        return 0;
    }
    png_infop info = png_create_info_struct(png);
    png_infop endinfo = png_create_info_struct(png);
    if (!info || !endinfo) {
        png_destroy_read_struct(&png, &info, &endinfo);
        if (!io.quiet) pngmsg("Out of memory: %s\n", name);
        return 0;
    }
    volatile int ok = 0;
    if (setjmp(png_jmpbuf(png)) == 0) ok = decodebody(png, info, endinfo, rec, name, io);
    png_destroy_read_struct(&png, &info, &endinfo);
    if (!ok) {
        imgfree(rec);
        imginit(rec);
    }
    return ok;
}

// RD's file size, for the one-thread decode.
bool rdsize(void*, int64_t* out) { return rfgetsize64(out) != 0; }

// The core behind both entries.  For a wide path, widebuf (272 bytes)
// receives the path's Shift_JIS form, which names the file from then on.
// RD is closed on every return.
int decodecore(const char* name, char* widebuf, const char16_t* wname, uint8_t wide, imgrec* rec) {
    imginit(rec);
    int opened;
    if (wide) {
        image_detail::sjisname(widebuf, 272, wname);
        name = widebuf;
        opened = wname ? rfopenW(wname) : -1;
    } else {
        opened = name ? rfopen(name) : -1;
    }
    const char* shown = name ? name : "";
    int ok = 0;
    const image_detail::decodeio io = {pngreadcb, rdsize, nullptr, pngalphamode, pngtrnsalpha, false, shown};
    if (opened != 0)
        pngmsg("File not found: %s\n", shown);
    else
        ok = decodecell(shown, rec, io);
    rfclose();
    return ok;
}

}  // namespace

int image_detail::pngdecodeio(const decodeio& io, imgrec* rec) {
    imginit(rec);
    return decodecell(io.name ? io.name : "", rec, io);
}

int pngdecode(const char* path, imgrec* rec) {
    return decodecore(path, nullptr, nullptr, 0, rec);
}

int pngdecodeW(const char16_t* path, imgrec* rec) {
    char name[272];  // the Shift_JIS form of path, cut to fit
    name[0] = 0;
    return decodecore(nullptr, name, path, 0xFF, rec);
}
