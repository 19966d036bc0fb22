// pngload.cpp - the PNG probe and the plane loader, the current-image facts,
// the driver's planes and their exit handler.
//
// Division: the globals; the signature readers; the probe; the conversion
// of an image record into four colour planes; the loader; the exit handler;
// the test reset.

#include "image/image.h"
#include "image/image_internal.h"
#include "image/pixelrow.h"
#include "stream/stream.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

uint32_t pngwidth = 0;
uint32_t pngheight = 0;
int pngdepth = 0;
uint8_t pnghasalpha = 0;
curimgdesc curimg = {};

imgplanes mainplanes = {};

uint8_t palr[256], palg[256], palb[256], pala[256];

namespace {

// 0x89 at offset 0, or else at offset 128 after dropping bytes 1 to 127.
// Reads past the end give -1 and so fail the test.
bool sig89(void) {
    if (rfgetc() == 0x89) return true;
    for (int i = 1; i < 128; i++) rfgetc();
    return rfgetc() == 0x89;
}

bool sigbytes(const uint8_t* want, int n) {
    for (int i = 0; i < n; i++)
        if (rfgetc() != want[i]) return false;
    return true;
}

int openrd(const char* path, const char16_t* wpath, uint8_t wide) {
    if (wide) return wpath ? rfopenW(wpath) : -1;
    return path ? rfopen(path) : -1;
}

const uint8_t kSigRest[7] = {'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// The probe core.  The facts change only when the whole IHDR was read: a
// file that ends inside the chunk gives 3, like a missing IHDR, rather than
// facts made of end-of-file values (and "(IHDR passed) " is printed only
// then).
int scancore(const char* path, const char16_t* wpath, uint8_t wide) {
    if (openrd(path, wpath, wide) != 0) return -1;
    if (!sig89() || !sigbytes(kSigRest, 7)) {
        rfclose();
        return 2;
    }
    uint8_t head[8];
    if (rfread(head, 8) != 8 || get_be32(head) != 13 || std::memcmp(head + 4, "IHDR", 4) != 0) {
        rfclose();
        return 3;
    }
    uint8_t ihdr[13];  // width, height, depth, colour type, compression, filter, interlace
    if (rfread(ihdr, 13) != 13) {
        rfclose();
        return 3;
    }
    rfclose();
    std::printf("(IHDR passed) ");

    pngwidth = get_be32(ihdr);
    pngheight = get_be32(ihdr + 4);
    pngdepth = ihdr[8];
    pnghasalpha = (ihdr[9] & 4) ? 0xFF : 0;

    curimg.width = (int)pngwidth;
    curimg.height = (int)pngheight;
    curimg.bitcount = pngdepth;
    curimg.palcolors = pngdepth >= 9 ? -1 : 1 << pngdepth;
    curimg.planes = 1;
    curimg.kind = 3;
    curimg.hdrsize = pnghasalpha ? 108 : 40;
    curimg.compression = pnghasalpha ? 3 : 0;

    std::printf("(%ld,%ld) ", (long)pngwidth, (long)pngheight);
    std::printf("%d-bit ", pngdepth);
    if (pnghasalpha) std::printf("alpha-exist ");
    std::printf("done.\n");
    return 0;
}

// ---- Record to planes ---------------------------------------------------------------

// Palette rows: indices packed from the most significant bit, which is the
// order the bytes of a big-endian word give them; a row's padding bits are
// never looked at.
void rowpal(const uint8_t* __restrict s, uint8_t* __restrict r, uint8_t* __restrict g,
            uint8_t* __restrict b, uint8_t* __restrict a, uint32_t w, uint32_t bpp,
            const uint8_t* pr, const uint8_t* pg, const uint8_t* pb, const uint8_t* pa) {
    if (bpp == 8) {
        for (uint32_t x = 0; x < w; x++) {
            uint32_t i = s[x];
            r[x] = pr[i];
            g[x] = pg[i];
            b[x] = pb[i];
            a[x] = pa[i];
        }
        return;
    }
    uint32_t mask = (1u << bpp) - 1;
    uint32_t perbyte = 8 / bpp;
    uint32_t x = 0;
    while (x < w) {
        uint32_t byte = *s++;
        uint32_t n = w - x < perbyte ? w - x : perbyte;
        for (uint32_t k = 0; k < n; k++, x++) {
            uint32_t i = (byte >> (8 - bpp * (k + 1))) & mask;
            r[x] = pr[i];
            g[x] = pg[i];
            b[x] = pb[i];
            a[x] = pa[i];
        }
    }
}

// The conversion, bottom row of the block (the image's last row) first, so
// the block is read front to back.  The keyboard is polled once per row: ESC
// (27) or Ctrl-C (3) stops at once and is returned; any other key is taken
// and dropped.  *done receives the number of plane rows converted (they are
// the last ones, height - *done to height - 1); *anyalpha whether one of
// their alpha bytes is not 255.
int convert(const imgrec* rec, uint8_t* R, uint8_t* G, uint8_t* B, uint8_t* A, int32_t* done,
            bool* anyalpha) {
    const uint32_t w = rec->width;
    const int32_t h = rec->height;
    const uint32_t bpp = rec->bpp;
    uint8_t** const rows = rec->rows;
    uint8_t all = 255;
    int stop = 0;
    int32_t y = h - 1;
    // Local copies of the palette: the planes are byte pointers that may
    // alias anything, and locals keep the lookups out of that question.
    uint8_t pr[256], pg[256], pb[256], pa[256];
    if (bpp <= 8) {
        std::memcpy(pr, palr, 256);
        std::memcpy(pg, palg, 256);
        std::memcpy(pb, palb, 256);
        std::memcpy(pa, pala, 256);
    }
    for (; y >= 0; y--) {
        if (keypoll() != 0) {
            int key = getlastkey();
            if (key == 27 || key == 3) {
                stop = key;
                break;
            }
        }
        size_t at = (size_t)y * w;
        const uint8_t* src = rows[y];
        if (bpp >= 24)
            all &= pixelrow::toplanes(src, bpp, R + at, G + at, B + at, A + at, w);
        else
            rowpal(src, R + at, G + at, B + at, A + at, w, bpp, pr, pg, pb, pa);
    }
    *done = h - 1 - y;
    // Palette and 24-bit rows are opaque by construction (pala is all 255).
    *anyalpha = bpp == 32 && all != 255;
    return stop;
}

void freeplane(uint8_t** p) {
    if (*p) {
        std::free(*p);
        *p = nullptr;
    }
}

// The loader core.  See image.h for the results and what each leaves in the
// planes.  The plane size is width * height + 16 as an int; an image too
// large for that is refused with -3 instead of being given short planes.
int loadcore(const char* path, const char16_t* wpath, int* width, int* height, uint8_t** R,
             uint8_t** G, uint8_t** B, uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha,
             uint8_t keep, uint8_t wide) {
    if (openrd(path, wpath, wide) != 0) return -1;
    if (!sig89() || !sigbytes(kSigRest, 3)) {
        rfclose();
        return 2;
    }
    rfclose();

    pngalphamode = 2;
    pngtrnsalpha = 1;
    imgrec rec = {};
    int ok = wide ? pngdecodeW(wpath, &rec) : pngdecode(path, &rec);
    if (!ok) return -2;
    std::printf("(%ld,%ld) ", (long)rec.width, (long)rec.height);
    std::printf("%d-bit ", (int)rec.bpp);

    if (!keep) {
        *width = 0;
        *height = 0;
    }
    bool reuse = (int64_t)*width == (int64_t)rec.width && *height == rec.height && *R && *G && *B && *A;
    if (!reuse) {
        int32_t n = 0;
        bool sized = image_detail::planebytes(rec.width, rec.height, &n);
        freeplane(A);
        freeplane(B);
        freeplane(G);
        freeplane(R);
        *reallocated = 0;
        if (sized) {
            *R = (uint8_t*)image_detail::imgmalloc((size_t)n);
            *G = (uint8_t*)image_detail::imgmalloc((size_t)n);
            *B = (uint8_t*)image_detail::imgmalloc((size_t)n);
            *A = (uint8_t*)image_detail::imgmalloc((size_t)n);
        }
        if (!sized || !*R || !*G || !*B || !*A) {
            std::printf("Memory Allocation FAILED.\n");
            freeplane(A);
            freeplane(B);
            freeplane(G);
            freeplane(R);
            imgfree(&rec);
            return -3;
        }
        *reallocated = 0xFF;
        imgfree4reg();
        *width = (int)rec.width;
        *height = rec.height;
    }

    if (rec.bpp <= 8) {
        uint32_t n = 1u << rec.bpp;
        for (uint32_t i = 0; i < n && i < rec.colors; i++) {
            palr[i] = rec.palette[3 * i];
            palg[i] = rec.palette[3 * i + 1];
            palb[i] = rec.palette[3 * i + 2];
            pala[i] = 255;
        }
    }

    int32_t done = 0;
    bool anyalpha = false;
    int stop = convert(&rec, *R, *G, *B, *A, &done, &anyalpha);
    imgfree(&rec);
    // After a stop only the converted rows hold pixels; the rest of the
    // plane is uninitialised and is not looked at.
    *hasalpha = anyalpha ? 0xFF : 0;
    if (stop) return stop;
    std::printf("\n");
    return 0;
}

bool exitregistered = false;

}  // namespace

// ---- Entries ----------------------------------------------------------------------

int pngscan(const char* path) { return scancore(path, nullptr, 0); }

int pngscanW(const char16_t* path) { return scancore(nullptr, path, 0xFF); }

int pngload(const char* path, int* width, int* height, uint8_t** R, uint8_t** G, uint8_t** B,
            uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha) {
    return loadcore(path, nullptr, width, height, R, G, B, A, reallocated, hasalpha, 0, 0);
}

int pngloadW(const char16_t* path, int* width, int* height, uint8_t** R, uint8_t** G, uint8_t** B,
             uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha) {
    return loadcore(nullptr, path, width, height, R, G, B, A, reallocated, hasalpha, 0, 0xFF);
}

int pngloadkeep(const char* path, int* width, int* height, uint8_t** R, uint8_t** G, uint8_t** B,
                uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha) {
    return loadcore(path, nullptr, width, height, R, G, B, A, reallocated, hasalpha, 0xFF, 0);
}

int pngloadkeepW(const char16_t* path, int* width, int* height, uint8_t** R, uint8_t** G,
                 uint8_t** B, uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha) {
    return loadcore(nullptr, path, width, height, R, G, B, A, reallocated, hasalpha, 0xFF, 0xFF);
}

// ---- Exit handler -----------------------------------------------------------------

void imgfree4(void) {
    freeplane(&mainplanes.R);
    freeplane(&mainplanes.G);
    freeplane(&mainplanes.B);
    freeplane(&mainplanes.A);
    mainplanes.reallocated = 0;
}

void imgfree4reg(void) {
    if (exitregistered) return;
    exitregistered = true;
    std::atexit(imgfree4);
}

// ---- Tests -------------------------------------------------------------------------

void image_reset(void) {
    progmax = 100;
    progval = -1;
    progon = 0;
    progunits = 0;
    progrows = 0;
    progdone = 0;
    progcap = 0;
    pngalphamode = 2;
    pngtrnsalpha = 1;
    pngwidth = 0;
    pngheight = 0;
    pngdepth = 0;
    pnghasalpha = 0;
    curimg = {};
    std::memset(palr, 0, sizeof palr);
    std::memset(palg, 0, sizeof palg);
    std::memset(palb, 0, sizeof palb);
    std::memset(pala, 0, sizeof pala);
}
