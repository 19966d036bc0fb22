// create.cpp - movies of one repeated image (avicreate) and the frame-row
// helpers that the frame edits share with it (frames_internal.h).
//
// avicreate makes the movie the program makes from a list that names one
// image n times without a sound: the same plan (planavi1) and the same write
// pass (avi1writepass), only the frames' pixels come from the caller's
// planes instead of the list.  So avicreate(image, n, 60) and the 60 fps
// program on that list give the same bytes.

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "avitool/avitool.h"
#include "avitool/frames_internal.h"
#include "image/image.h"
#include "image/pixelrow.h"
#include "movie/avi1.h"
#include "platform/platform.h"
#include "stream/stream.h"
#include "text/paths.h"

namespace avitool_detail {

bool usablerate(float fps) {
    return std::isfinite(fps) && fps > 0.0f && 1000000.0 / (double)fps <= (double)UINT32_MAX;
}

bool pathexists(const char* path) {
    char name[512];
    return findfirstname(name, path) == 0;
}

uint64_t framebytes(uint32_t w, uint32_t h, bool alpha) {
    const uint64_t row = dibstride(w, alpha ? 32 : 24);
    uint64_t fs;
    return __builtin_mul_overflow(row, (uint64_t)h, &fs) ? 0 : fs;
}

int putplanes(const uint8_t* R, const uint8_t* G, const uint8_t* B, const uint8_t* A, uint32_t w,
              uint32_t h, bool alpha, bool topdown) {
    // Rows go out in pieces of at most this many pixels, so that any width
    // passes through a small buffer and every wfwrite count fits an int.
    constexpr uint32_t PIECE = 16384;
    static uint8_t buf[PIECE * 4 + 4];
    const uint32_t px = alpha ? 4 : 3;
    const uint32_t pad = (uint32_t)(dibstride(w, alpha ? 32 : 24) - (uint64_t)px * w);
    for (uint32_t k = 0; k < h; k++) {
        uint64_t y = topdown ? k : h - 1 - k;
        size_t base = (size_t)(y * w);
        for (uint32_t x = 0; x < w; x += PIECE) {
            uint32_t cols = w - x < PIECE ? w - x : PIECE;
            pixelrow::torow(R + base + x, G + base + x, B + base + x, alpha ? A + base + x : nullptr,
                            buf, cols, alpha);
            size_t n = (size_t)cols * px;
            if (x + cols == w)
                for (uint32_t q = 0; q < pad; q++) buf[n++] = 0;
            wfwrite(buf, (int)n);
        }
        if (wferr()) return -1;
    }
    return 0;
}

}  // namespace avitool_detail

using namespace avitool_detail;

namespace {

struct repeated {
    const uint8_t *R, *G, *B, *A;
    uint32_t w, h;
    bool alpha;
};

int fillrepeated(void* ctx, uint32_t) {
    const repeated* m = static_cast<const repeated*>(ctx);
    return putplanes(m->R, m->G, m->B, m->A, m->w, m->h, m->alpha, false);
}

}  // namespace

int avicreate(const char* path, int width, int height, const uint8_t* R, const uint8_t* G,
              const uint8_t* B, const uint8_t* A, int n, float fps, uint8_t bit32) {
    const bool alpha = bit32 != 0;
    if (!usablerate(fps)) {
        std::printf("Cannot make AVI at %g fps.\n", (double)fps);
        return -1;
    }
    if (width <= 0 || height <= 0 || n < 0 || !R || !G || !B || (alpha && !A)) {
        std::printf("Cannot make AVI of %d frames of (%d,%d).\n", n, width, height);
        return -1;
    }
    // The plan refuses a movie whose sizes would pass 32 bits before
    // anything is created, so nothing is written wrapped.
    const avi1plan plan = planavi1((uint32_t)n, (uint32_t)width, (uint32_t)height, alpha, false, 0);
    if (!plan.fits) {
        std::printf("File size will be over 4 GB.  Cannot create file. \n");
        return AVI1_TOO_LARGE;
    }
    const bool existed = pathexists(path);
    const moviepaths p{path, u"", "", u"", "", u"", 0};
    soundfacts snd{};
    snd.present = false;
    repeated m{R, G, B, A, (uint32_t)width, (uint32_t)height, alpha};
    const framesource src{fillrepeated, &m};
    int r = avi1writepass(p, plan, snd, fps, &src);
    if (r != 0) {
        // A partial file that this call made is of no use to anybody; one
        // that was there before has been emptied by the create already and
        // stays, as the writer's do.
        wfclose();
        if (!existed && pathexists(path)) g_os.remove(path);
    }
    return r;
}
