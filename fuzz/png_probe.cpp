// png_probe.cpp - the PNG probe (signature and IHDR) on any bytes, by wide
// and by 8-bit name: both must give the same result and the same facts.

#include <cstring>

#include "fuzz/harness.h"
#include "image/image.h"

namespace {

struct Facts {
    int result;
    uint32_t width, height;
    int depth;
    uint8_t alpha;
    curimgdesc desc;
};

Facts probe(bool wide) {
    // A failed probe leaves the facts alone: start both runs from the same.
    pngwidth = pngheight = 0;
    pngdepth = 0;
    pnghasalpha = 0;
    std::memset(&curimg, 0, sizeof curimg);
    Facts f;
    std::memset(&f, 0, sizeof f);   // padding included, for the memcmp below
    f.result = wide ? pngscanW(fuzz::kInputNameW) : pngscan(fuzz::kInputName);
    f.width = pngwidth;
    f.height = pngheight;
    f.depth = pngdepth;
    f.alpha = pnghasalpha;
    f.desc = curimg;
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::serve(fuzz::kInputName, data, size);
    Facts w = probe(true);
    Facts n = probe(false);
    FUZZ_CHECK(w.result == 0 || w.result == 2 || w.result == 3);
    FUZZ_CHECK(std::memcmp(&w, &n, sizeof w) == 0);
    if (w.result == 0) FUZZ_CHECK(w.alpha == 0 || w.alpha == 0xFF);
    return 0;
}
