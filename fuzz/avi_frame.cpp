// avi_frame.cpp - the frame reader and the information reader on any bytes.
// The first byte picks the frame (its low 7 bits, minus 8: the last frame,
// the first ones, and frames past the end) and, by its top bit, whether a
// frame past the end fails or is cut to the last.  The rest is the movie.
//
// Rules: the result is one the reader documents; planes are there exactly
// when it says so, every byte of them can be read (the sanitizers see a
// plane smaller than width x height), and the reader leaves RD closed.

#include <cstdlib>

#include "avitool/avitool.h"
#include "fuzz/harness.h"
#include "image/image.h"
#include "stream/stream.h"

namespace {

bool documented(int r) {
    switch (r) {
    case 0: case 27: case -1: case 2: case 3: case -2: case 5: case 11: case 14:
    case 13: case 10: case 6: case 15: case -3: case 4:
        return true;
    default:
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::Input in{data, size};
    uint8_t sw = in.byte();
    fuzz::serve(fuzz::kInputName, in.p, in.n);
    aviscanreset();
    avisetstrict((sw & 0x80) ? 0xFF : 0);
    int frame = (int)(sw & 0x7F) - 8;

    int w = -1, h = -1, frames = -1;
    float fps = 0;
    uint8_t hasalpha = 0, reallocated = 0;
    uint8_t *R = nullptr, *G = nullptr, *B = nullptr, *A = nullptr;
    int r = avireadframe(&w, &h, &hasalpha, &frames, &fps, &R, &G, &B, &A, &reallocated,
                         fuzz::kInputName, frame);
    FUZZ_CHECK(documented(r));
    FUZZ_CHECK(rfeof() != 0);
    bool all = R && G && B && A;
    FUZZ_CHECK(all == (reallocated == 0xFF));
    FUZZ_CHECK(all || (!R && !G && !B && !A));
    if (r == 0 || r == 27) {
        FUZZ_CHECK(all);
        FUZZ_CHECK(hasalpha == 0 || hasalpha == 1);
        // The planes hold the main header's width x height (the reader
        // refuses a format of another size).
        size_t n = (size_t)(unsigned)w * (size_t)(unsigned)h;
        unsigned sum = 0;
        for (size_t i = 0; i < n; i += 97) sum += R[i] + G[i] + B[i];
        if (n) sum += R[n - 1] + G[n - 1] + B[n - 1] + A[n - 1];
        (void)sum;
    }
    std::free(R);
    std::free(G);
    std::free(B);
    std::free(A);

    r = aviinfo(fuzz::kInputName);
    FUZZ_CHECK(r == 0 || r == -1 || r == 2 || r == 3 || r == 4 || r == 6 || r == 10 || r == 13 ||
               r == 15);
    return 0;
}
