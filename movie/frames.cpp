// frames.cpp - the frame loop's step and the pixel rows of each frame; see
// frames.h.  The frames decoded ahead of the writer are ahead.cpp's, behind
// the interface of frames_internal.h.
//
// Division: the block buffer; begin; one frame's step (key poll, name, the
// frame's line, load); the pixel rule; done.

#include "movie/frames.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/image.h"
#include "image/pixelrow.h"
#include "movie/frames_internal.h"
#include "movie/prepass.h"
#include "movie/writer_internal.h"
#include "stream/stream.h"

using movie_detail::aheadname;
using movie_detail::aheadstart;
using movie_detail::aheadstop;
using movie_detail::aheadtake;
using movie_detail::copyname;

// ---- Frames ---------------------------------------------------------------------------

namespace {

// A block of any length through wfwrite (whose count is an int).
bool putblock(const uint8_t* p, size_t n) {
    while (n > 0) {
        int k = n < (size_t)(1 << 30) ? (int)n : (1 << 30);
        if (wfwrite(p, k) != k) return false;
        p += k;
        n -= (size_t)k;
    }
    return true;
}


// Writes the gathered rows; false when the output failed.
bool flushrows(framestate* f) {
    bool ok = putblock(f->buf, f->buffill);
    f->buffill = 0;
    return ok;
}

}  // namespace

framestate::~framestate() { framesdone(this); }

int framesbegin(framestate* f, const moviepaths& p, uint32_t n, uint32_t W, uint32_t H,
                bool alpha) {
    framesdone(f);
    f->paths = &p;
    f->n = n;
    f->W = W;
    f->H = H;
    f->alpha = alpha;
    f->stride = dibstride(W, alpha ? 32 : 24);
    f->rowpad = alpha ? 0 : (uint32_t)(f->stride - 3ull * W);

    // Up to 1 MiB of whole rows (always at least one row): a 1080p frame
    // goes out in six block writes instead of six million byte calls.
    constexpr uint64_t TARGET = 1u << 20;
    uint64_t rows = f->stride ? TARGET / f->stride : 1;
    if (rows < 1) rows = 1;
    if (rows > H) rows = H ? H : 1;
    uint64_t cap = 0;
    if (__builtin_mul_overflow(rows, f->stride ? f->stride : 1, &cap) || cap > SIZE_MAX ||
        !(f->buf = (uint8_t*)malloc((size_t)cap))) {
        printf("Memory Allocation for frame buffer FAILED.\n");
        return AVI1_FAILED;
    }
    f->bufcap = (size_t)cap;
    f->buffill = 0;
    f->listopen = listopen(p) == 0;
    f->ahead = aheadstart(n, W, H, p.wide, f->listopen);
    return 0;
}

namespace {

// Frame i's load on the writer's thread, once its name is taken.  The
// planes of the last frame are handed back with their size: a frame of the
// same size is converted into them, instead of four planes (8 MB at 1080p)
// being freed and allocated, and their pages faulted in afresh, for every
// frame.  Another size gets new planes as before.
int loadhere(framestate* f) {
    const uint8_t wide = f->paths->wide;
    imgplanes& q = f->planes;
    char path[JOINED_CAP];
    char16_t pathW[JOINED_CAP];
    if (!joinlisted(path, pathW, f->name, wide)) return -1;
    return wide ? pngloadkeepW(pathW, &q.width, &q.height, &q.R, &q.G, &q.B, &q.A, &q.reallocated,
                               &q.hasalpha)
                : pngloadkeep(path, &q.width, &q.height, &q.R, &q.G, &q.B, &q.A, &q.reallocated,
                              &q.hasalpha);
}

}  // namespace

int framenext(framestate* f, uint32_t i) {
    if (int k = stopkey()) return k;
    // The name, with the list rule's lines that came before it, and the
    // frame's line: the same whether the frame was loaded ahead or is
    // loaded now.
    if (f->ahead) fputs(aheadname(f->ahead, i, f->name), stdout);
    else if (!f->listopen || listgetname(f->name) != 0) f->name[0] = 0;
    printf("%d/%d:  %s  ", (int)(i + 1), (int)f->n, f->name);
    int r = f->ahead ? aheadtake(f->ahead, i, &f->planes) : loadhere(f);
    if (r == 27 || r == 3) {
        // ESC or Ctrl-C while the image was converted: a stop, as between
        // frames, not a missing image.
        printf("\n");
        planesfree(&f->planes);
        return r;
    }
    if (r != 0) {
        printf("PNG load failed. (%d)\n", r);
        planesfree(&f->planes);
        printf("Memory released. \n");
        copyname(badpngname, f->name, BADPNGNAME_CAP);
        name2wide(badpngnameW, f->name);
        printf("Aborted. \n");
        return AVI1_BAD_IMAGE;
    }
    if ((uint32_t)f->planes.width != f->W) printf(" != pngsizex= %d \n", f->planes.width);
    if ((uint32_t)f->planes.height != f->H) printf(" != pngsizey= %d \n", f->planes.height);
    return 0;
}

// framepixels: the pixel rule.  Entry assumptions: a load succeeded (planes
// of pw x ph, each at least pw * ph bytes); the buffer holds at least one
// stored row.  Rows go out bottom-up; columns and rows outside the loaded
// image are white (alpha 0 in 32-bit frames).
int framepixels(framestate* f) {
    const uint32_t W = f->W, H = f->H;
    const imgplanes& q = f->planes;
    const uint64_t w2 = q.width > 0 ? (uint64_t)q.width : 0;
    const uint64_t h2 = q.height > 0 ? (uint64_t)q.height : 0;
    const uint64_t cols = W < w2 ? W : w2;
    const size_t stride = (size_t)f->stride;
    const uint8_t *R = q.R, *G = q.G, *B = q.B, *A = q.A;
    uint8_t* const buf = f->buf;
    size_t fill = f->buffill;

    for (uint32_t yy = H; yy-- > 0;) {
        if (fill + stride > f->bufcap) {
            f->buffill = fill;
            if (!flushrows(f)) return AVI1_FAILED;
            fill = 0;
        }
        uint8_t* o = buf + fill;
        uint64_t x = 0;
        if (yy < h2) {
            const size_t base = (size_t)(yy * w2);
            pixelrow::torow(R + base, G + base, B + base, A + base, o, (size_t)cols, f->alpha);
            x = cols;
            o += (size_t)cols * (f->alpha ? 4 : 3);
        }
        if (f->alpha) {
            for (; x < W; x++, o += 4) {
                o[0] = 255;
                o[1] = 255;
                o[2] = 255;
                o[3] = 0;
            }
        } else {
            size_t white = (size_t)(W - x) * 3;
            memset(o, 255, white);
            o += white;
            memset(o, 0, f->rowpad);
        }
        fill += stride;
    }
    f->buffill = fill;
    if (!flushrows(f)) return AVI1_FAILED;
    return wferr() ? AVI1_FAILED : 0;
}

void framesdone(framestate* f) {
    aheadstop(f->ahead);
    f->ahead = nullptr;
    if (f->listopen) tfclose();
    f->listopen = false;
    planesfree(&f->planes);
    free(f->buf);
    f->buf = nullptr;
    f->bufcap = f->buffill = 0;
}
