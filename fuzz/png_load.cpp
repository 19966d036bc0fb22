// png_load.cpp - the plane loader (and through it the PNG decoder) on any
// bytes.  Built twice: fuzz_png_load takes the bytes as they are, and
// fuzz_png_load_crc (RK_FUZZ_FIXCRC) first rewrites the CRC of every whole
// chunk, so that mutated chunks get past libpng's CRC check and reach the
// decoder and the conversion.
//
// Checks on every input:
//   - the result is one of the loader's codes, and a failure leaves the
//     caller's planes as documented;
//   - loading by wide and by 8-bit name gives the same result and planes, and
//     so does a worker's loader (pngloadjob) by either name, which asks
//     admission at most once, with the size it then loads (or 0 x 0);
//   - loading again with the keep flag into planes of the same size reuses
//     them and gives the same pixels;
//   - a loaded file probes as loaded (the probe's width and height are the
//     planes': the decoder reads the same IHDR), unless its stricter
//     signature rule refuses it.

#include <cstdlib>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "fuzz/harness.h"
#include "image/image.h"

namespace {

// What a job asked to be admitted with.
struct Asked {
    int calls = 0;
    uint32_t w = 0, h = 0;
    static bool take(void* ctx, const pngjob*, uint32_t w, uint32_t h) {
        Asked* a = (Asked*)ctx;
        a->calls++;
        a->w = w;
        a->h = h;
        return true;
    }
};

// The caller's planes, released when the run ends.
struct Planes : imgplanes {
    Planes() : imgplanes{} {}
    ~Planes() {
        std::free(R);
        std::free(G);
        std::free(B);
        std::free(A);
    }
    bool none() const { return !R && !G && !B && !A; }
    bool all() const { return R && G && B && A; }
    size_t pixels() const { return (size_t)width * (size_t)height; }
};

int load(Planes& p, bool wide, bool keep) {
    typedef int (*loader)(const char*, int*, int*, uint8_t**, uint8_t**, uint8_t**, uint8_t**,
                          uint8_t*, uint8_t*);
    typedef int (*loaderW)(const char16_t*, int*, int*, uint8_t**, uint8_t**, uint8_t**,
                           uint8_t**, uint8_t*, uint8_t*);
    if (wide) {
        loaderW f = keep ? pngloadkeepW : pngloadW;
        return f(fuzz::kInputNameW, &p.width, &p.height, &p.R, &p.G, &p.B, &p.A, &p.reallocated,
                 &p.hasalpha);
    }
    loader f = keep ? pngloadkeep : pngload;
    return f(fuzz::kInputName, &p.width, &p.height, &p.R, &p.G, &p.B, &p.A, &p.reallocated,
             &p.hasalpha);
}

bool same_pixels(const Planes& a, const Planes& b) {
    size_t n = a.pixels();
    return a.width == b.width && a.height == b.height && a.hasalpha == b.hasalpha &&
           std::memcmp(a.R, b.R, n) == 0 && std::memcmp(a.G, b.G, n) == 0 &&
           std::memcmp(a.B, b.B, n) == 0 && std::memcmp(a.A, b.A, n) == 0;
}

#ifdef RK_FUZZ_FIXCRC
// Rewrites the CRC of every chunk that lies whole in the file, from the
// signature on (at offset 0, or behind a 128-byte preamble when byte 0 is
// not 0x89, as the decoder looks for it).
void fix_crcs(std::vector<uint8_t>& f) {
    size_t pos = (!f.empty() && f[0] == 0x89) ? 8 : 136;
    while (pos + 12 <= f.size()) {
        uint32_t len = ((uint32_t)f[pos] << 24) | ((uint32_t)f[pos + 1] << 16) |
                       ((uint32_t)f[pos + 2] << 8) | f[pos + 3];
        if (len > f.size() - pos - 12) break;
        uint32_t crc = (uint32_t)crc32(0, f.data() + pos + 4, len + 4);
        uint8_t* out = f.data() + pos + 8 + len;
        out[0] = (uint8_t)(crc >> 24);
        out[1] = (uint8_t)(crc >> 16);
        out[2] = (uint8_t)(crc >> 8);
        out[3] = (uint8_t)crc;
        pos += 12 + (size_t)len;
    }
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
#ifdef RK_FUZZ_FIXCRC
    std::vector<uint8_t> file(data, data + size);
    fix_crcs(file);
    fuzz::serve(fuzz::kInputName, file.data(), file.size());
#else
    fuzz::serve(fuzz::kInputName, data, size);
#endif

    Planes w;
    int rw = load(w, true, false);
    FUZZ_CHECK(rw == 0 || rw == 2 || rw == -2 || rw == -3);

    // A worker's loader, by either name, gives the loader's result and planes.
    for (bool wide : {false, true}) {
        pngjob job{};
        if (wide) job.wpath = fuzz::kInputNameW;
        else job.path = fuzz::kInputName;
        job.alphamode = 2;
        job.trnsalpha = 1;
        Asked asked;
        job.admit = Asked::take;
        job.admitctx = &asked;
        Planes j;
        int rj = pngloadjob(&job);
        static_cast<imgplanes&>(j) = job.planes;
        FUZZ_CHECK(rj == rw);
        FUZZ_CHECK(asked.calls <= 1);
        if (rj == 0) {
            FUZZ_CHECK(j.all() && same_pixels(w, j));
            FUZZ_CHECK(asked.calls == 1);
            FUZZ_CHECK((asked.w == 0 && asked.h == 0) || (asked.w == (uint32_t)j.width && asked.h == (uint32_t)j.height));
            FUZZ_CHECK(job.recwidth == j.width && job.recheight == j.height);
        } else {
            FUZZ_CHECK(j.none());
        }
    }
    if (rw != 0) {
        // Nothing was allocated, and nothing is left behind.
        FUZZ_CHECK(w.none());
        return 0;
    }
    FUZZ_CHECK(w.all() && w.reallocated == 0xFF && w.width > 0 && w.height > 0);
    FUZZ_CHECK(w.hasalpha == 0 || w.hasalpha == 0xFF);

    Planes n;
    FUZZ_CHECK(load(n, false, false) == 0);
    FUZZ_CHECK(same_pixels(w, n));

    // The keep loader into the 8-bit run's planes: same size, so reused.
    uint8_t* r = n.R;
    n.reallocated = 0x5A;
    FUZZ_CHECK(load(n, true, true) == 0);
    FUZZ_CHECK(n.R == r && n.reallocated == 0x5A);
    FUZZ_CHECK(same_pixels(w, n));

    // The probe is the stricter sniffer: with 0x89 at offset 0 it wants the
    // whole signature there, where the decoder looks at offset 128 as well.
    int probed = pngscanW(fuzz::kInputNameW);
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && data[0] == 0x89 && std::memcmp(data, sig, 8) != 0) {
        FUZZ_CHECK(probed == 2);
    } else {
        FUZZ_CHECK(probed == 0);
        FUZZ_CHECK(pngwidth == (uint32_t)w.width && pngheight == (uint32_t)w.height);
    }
    return 0;
}
