// pngfix.h - fixtures for the image tests: PNG files made on the spot with
// libpng's writer from known samples, the planes those samples must give
// (mapped here independently of the loader), a message tap, scripted keys
// and a failing allocator.
#ifndef REELKILN_TESTS_PNGFIX_H
#define REELKILN_TESTS_PNGFIX_H

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/image.h"
#include "image/image_internal.h"
#include "platform/platform.h"
#include "stream/stream.h"
#include "testutil.h"

namespace pngfix {

// One image to write: samples unpacked, one value per channel per pixel,
// rows top first, at the file's depth (palette images: indices).
struct Pic {
    uint32_t width = 1, height = 1;
    int ctype = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool interlace = false;
    std::vector<uint16_t> samples;
    std::vector<png_color> palette;   // PLTE (palette images)
    std::vector<uint8_t> trnsalpha;   // tRNS of a palette image
    bool haskey = false;              // tRNS colour key (gray, RGB)
    png_color_16 key = {};
};

inline int channels(int ctype) {
    switch (ctype) {
    case PNG_COLOR_TYPE_GRAY: case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    default: return 4;
    }
}

// Deterministic samples that exercise every value of the depth: a mix of a
// ramp across the row, the row number and a small hash.
inline std::vector<uint16_t> samples(const Pic& s, uint32_t seed = 1) {
    std::vector<uint16_t> v;
    int ch = channels(s.ctype);
    uint32_t maxv = s.ctype == PNG_COLOR_TYPE_PALETTE
                        ? (s.palette.empty() ? (1u << s.depth) - 1 : (uint32_t)s.palette.size() - 1)
                        : (1u << s.depth) - 1;
    uint32_t h = seed * 2654435761u;
    for (uint32_t y = 0; y < s.height; y++)
        for (uint32_t x = 0; x < s.width; x++)
            for (int c = 0; c < ch; c++) {
                h = h * 1103515245u + 12345u;
                uint32_t val = (x * 7 + y * 13 + (uint32_t)c * 31 + (h >> 16)) % (maxv + 1);
                v.push_back((uint16_t)val);
            }
    return v;
}

inline void pushbytes(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
inline void noflush(png_structp) {}
[[noreturn]] inline void jumperr(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// The rows of s packed at its depth, most significant bits first.
inline std::vector<uint8_t> pack(const Pic& s, size_t* rowbytes) {
    int ch = channels(s.ctype);
    *rowbytes = ((size_t)s.width * ch * s.depth + 7) / 8;
    std::vector<uint8_t> rows((size_t)s.height * *rowbytes, 0);
    for (uint32_t y = 0; y < s.height; y++) {
        uint8_t* r = &rows[y * *rowbytes];
        for (uint32_t i = 0; i < s.width * (uint32_t)ch; i++) {
            uint16_t v = s.samples[(size_t)y * s.width * ch + i];
            if (s.depth == 16) { r[2 * i] = (uint8_t)(v >> 8); r[2 * i + 1] = (uint8_t)v; }
            else if (s.depth == 8) r[i] = (uint8_t)v;
            else {
                size_t bit = (size_t)i * s.depth;
                r[bit / 8] |= (uint8_t)(v << (8 - s.depth - bit % 8));
            }
        }
    }
    return rows;
}

// The file's bytes, written by libpng from s.  Only libpng calls run between
// the setjmp and the end; every object with a destructor exists before it.
inline std::vector<uint8_t> write(const Pic& s) {
    size_t rowbytes;
    std::vector<uint8_t> rows = pack(s, &rowbytes);
    std::vector<png_bytep> ptrs(s.height);
    for (uint32_t y = 0; y < s.height; y++) ptrs[y] = &rows[y * rowbytes];
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumperr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng refused the test image");
    }
    png_set_write_fn(png, &out, pushbytes, noflush);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.ctype,
                 s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), (int)s.palette.size());
    if (!s.trnsalpha.empty())
        png_set_tRNS(png, info, s.trnsalpha.data(), (int)s.trnsalpha.size(), nullptr);
    if (s.haskey) png_set_tRNS(png, info, nullptr, 0, &s.key);
    png_write_info(png, info);
    png_write_image(png, ptrs.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A finished picture: samples filled in when none were given.
inline Pic make(uint32_t w, uint32_t h, int ctype, int depth, bool interlace = false, uint32_t seed = 1) {
    Pic s;
    s.width = w; s.height = h; s.ctype = ctype; s.depth = depth; s.interlace = interlace;
    if (ctype == PNG_COLOR_TYPE_PALETTE) {
        size_t n = (size_t)1 << depth;
        s.palette = std::vector<png_color>(n);
        for (size_t i = 0; i < n; i++)
            s.palette[i] = png_color{(uint8_t)(i * 37 + 5), (uint8_t)(255 - i * 11), (uint8_t)(i * i + 3)};
    }
    s.samples = samples(s, seed);
    return s;
}

// The planes the loader must give for s, interleaved R G B A, top row first:
// gray below 8 bits as v * 255 / (2^d - 1), 16-bit samples by their high
// byte, palette entries with alpha from tRNS, a colour key to alpha 0.
inline std::vector<uint8_t> rgba(const Pic& s) {
    auto to8 = [&](uint32_t v) -> uint8_t {
        if (s.depth == 16) return (uint8_t)(v >> 8);
        if (s.depth == 8) return (uint8_t)v;
        return (uint8_t)(v * 255 / ((1u << s.depth) - 1));
    };
    std::vector<uint8_t> out;
    int ch = channels(s.ctype);
    for (size_t p = 0; p < (size_t)s.width * s.height; p++) {
        const uint16_t* px = &s.samples[p * ch];
        uint8_t r, g, b, a = 255;
        switch (s.ctype) {
        case PNG_COLOR_TYPE_PALETTE:
            if (px[0] < s.palette.size()) {
                r = s.palette[px[0]].red; g = s.palette[px[0]].green; b = s.palette[px[0]].blue;
            } else r = g = b = 0;
            if (px[0] < s.trnsalpha.size()) a = s.trnsalpha[px[0]];
            break;
        case PNG_COLOR_TYPE_GRAY:
            r = g = b = to8(px[0]);
            if (s.haskey && px[0] == s.key.gray) a = 0;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            r = g = b = to8(px[0]); a = to8(px[1]);
            break;
        case PNG_COLOR_TYPE_RGB:
            r = to8(px[0]); g = to8(px[1]); b = to8(px[2]);
            if (s.haskey && px[0] == s.key.red && px[1] == s.key.green && px[2] == s.key.blue) a = 0;
            break;
        default:
            r = to8(px[0]); g = to8(px[1]); b = to8(px[2]); a = to8(px[3]);
        }
        out.insert(out.end(), {r, g, b, a});
    }
    return out;
}

// ---- Hand-made files ----------------------------------------------------------

inline void be32(std::vector<uint8_t>& v, uint32_t x) {
    v.insert(v.end(), {(uint8_t)(x >> 24), (uint8_t)(x >> 16), (uint8_t)(x >> 8), (uint8_t)x});
}

inline std::vector<uint8_t> signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

// One chunk: length, type, data and its CRC.
inline std::vector<uint8_t> chunk(const char* type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> c;
    be32(c, (uint32_t)data.size());
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty()) crc = crc32(crc, data.data(), (uInt)data.size());
    be32(c, (uint32_t)crc);
    return c;
}

inline std::vector<uint8_t> ihdrdata(uint32_t w, uint32_t h, int depth, int ctype, int interlace = 0) {
    std::vector<uint8_t> d;
    be32(d, w);
    be32(d, h);
    d.insert(d.end(), {(uint8_t)depth, (uint8_t)ctype, 0, 0, (uint8_t)interlace});
    return d;
}

inline std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A valid image of any size whose every sample byte is `fill` (gray, gray
// with alpha, RGB or RGBA at depth 8, or gray at depth 1), its IDAT deflated
// at level 9 row by row, so that even a huge image costs little memory to
// make and compresses about as well as deflate can (some 1030 times).
inline std::vector<uint8_t> blank(uint32_t w, uint32_t h, int depth, int ctype, uint8_t fill) {
    size_t rowbytes = 1 + ((size_t)w * (size_t)(depth * channels(ctype)) + 7) / 8;
    std::vector<uint8_t> row(rowbytes, fill), idat(1 << 16), z;
    row[0] = 0;  // filter type None
    z_stream zs = {};
    deflateInit(&zs, 9);
    for (uint32_t y = 0; y <= h; y++) {
        bool last = y == h;
        zs.next_in = row.data();
        zs.avail_in = last ? 0 : (uInt)rowbytes;
        do {
            zs.next_out = idat.data();
            zs.avail_out = (uInt)idat.size();
            deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
            z.insert(z.end(), idat.data(), idat.data() + (idat.size() - zs.avail_out));
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    return cat({signature(), chunk("IHDR", ihdrdata(w, h, depth, ctype)), chunk("IDAT", z), chunk("IEND", {})});
}

// A valid all-black 1-bit gray image of any size.
inline std::vector<uint8_t> blankmono(uint32_t w, uint32_t h) { return blank(w, h, 1, PNG_COLOR_TYPE_GRAY, 0); }

// A plane set that frees itself.
struct Planes {
    int width = 0, height = 0;
    uint8_t *R = nullptr, *G = nullptr, *B = nullptr, *A = nullptr;
    uint8_t reallocated = 0x55, hasalpha = 0x55;
    Planes() = default;
    Planes(const Planes&) = delete;
    Planes& operator=(const Planes&) = delete;
    ~Planes() { std::free(R); std::free(G); std::free(B); std::free(A); }
    int load(const std::string& path) {
        return pngload(path.c_str(), &width, &height, &R, &G, &B, &A, &reallocated, &hasalpha);
    }
    int loadkeep(const std::string& path) {
        return pngloadkeep(path.c_str(), &width, &height, &R, &G, &B, &A, &reallocated, &hasalpha);
    }
    int loadW(const std::u16string& path) {
        return pngloadW(path.c_str(), &width, &height, &R, &G, &B, &A, &reallocated, &hasalpha);
    }
    // The planes interleaved as R G B A, for comparison with rgba().
    std::vector<uint8_t> rgba() const {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < (size_t)width * height; i++) out.insert(out.end(), {R[i], G[i], B[i], A[i]});
        return out;
    }
};

// What a load leaves for its caller, by the loader or by a worker's job:
// the result, the size, the alpha flag, the record's depth as the loader
// prints it, the planes interleaved (after a load) and the palette entries
// it set.
struct Loaded {
    int result = 0;
    int width = 0, height = 0;
    uint8_t hasalpha = 0;
    int bpp = 0;
    std::vector<uint8_t> rgba, pal;
    bool operator==(const Loaded&) const = default;
};

inline std::vector<uint8_t> interleave(const imgplanes& p) {
    std::vector<uint8_t> out;
    if (!p.R || !p.G || !p.B || !p.A) return out;
    for (size_t i = 0; i < (size_t)p.width * p.height; i++) out.insert(out.end(), {p.R[i], p.G[i], p.B[i], p.A[i]});
    return out;
}

// The one-thread loader (pngload, or pngloadW by the path's 16-bit form),
// its console text taken and its depth read from it.
inline Loaded byloader(const std::string& path, bool wide) {
    Planes p;
    testing::internal::CaptureStdout();
    Loaded l;
    l.result = wide ? p.loadW(testutil::u16(path)) : p.load(path);
    std::string said = testing::internal::GetCapturedStdout();
    if (l.result == 0) {
        l.width = p.width;
        l.height = p.height;
        l.hasalpha = p.hasalpha;
        size_t at = said.find("-bit");
        size_t from = said.rfind(' ', at);
        l.bpp = std::atoi(said.substr(from + 1, at - from - 1).c_str());
        imgplanes ip = {p.width, p.height, p.R, p.G, p.B, p.A, 0, 0};
        l.rgba = interleave(ip);
        if (l.bpp <= 8)
            for (int i = 0; i < (1 << l.bpp); i++) l.pal.insert(l.pal.end(), {palr[i], palg[i], palb[i], pala[i]});
    }
    return l;
}

// What a job's admit callback was asked: how often, and the last size.
struct Admitted {
    int calls = 0;
    uint32_t w = 0, h = 0;
    bool answer = true;
    static bool take(void* ctx, const pngjob*, uint32_t w, uint32_t h) {
        Admitted* a = (Admitted*)ctx;
        a->calls++;
        a->w = w;
        a->h = h;
        return a->answer;
    }
};

// The same file through a job with the loader's settings.  The job asks
// admission once, with the size its IHDR declares, before it decodes; not
// at all for a file it cannot open or that has no signature.
inline Loaded byjob(const std::string& path, bool wide, pngjob* keep = nullptr) {
    std::u16string w = testutil::u16(path);
    pngjob job{};
    if (wide) job.wpath = w.c_str();
    else job.path = path.c_str();
    job.alphamode = 2;
    job.trnsalpha = 1;
    Admitted seen;
    job.admit = Admitted::take;
    job.admitctx = &seen;
    Loaded l;
    l.result = pngloadjob(&job);
    EXPECT_EQ(l.result, job.result);
    if (l.result == -1 || l.result == 2) EXPECT_EQ(seen.calls, 0);
    else EXPECT_EQ(seen.calls, 1);
    if (l.result == 0) {
        // 0 x 0 only for a file whose first chunk is no IHDR, which the
        // decoder still reads in its own way (a damaged signature).
        if (seen.w || seen.h) {
            EXPECT_EQ(seen.w, (uint32_t)job.planes.width);
            EXPECT_EQ(seen.h, (uint32_t)job.planes.height);
        }
        EXPECT_EQ(job.recwidth, job.planes.width);
        EXPECT_EQ(job.recheight, job.planes.height);
        l.width = job.planes.width;
        l.height = job.planes.height;
        l.hasalpha = job.planes.hasalpha;
        l.bpp = job.bpp;
        l.rgba = interleave(job.planes);
        if (l.bpp <= 8) {
            EXPECT_EQ(job.palcount, 1 << l.bpp);
            for (int i = 0; i < job.palcount; i++)
                l.pal.insert(l.pal.end(), {job.pal[0][i], job.pal[1][i], job.pal[2][i], job.pal[3][i]});
        }
    } else if (l.result != -3) {
        EXPECT_TRUE(!job.planes.R && !job.planes.G && !job.planes.B && !job.planes.A) << "result " << l.result;
    }
    if (keep) *keep = job;
    else { std::free(job.planes.R); std::free(job.planes.G); std::free(job.planes.B); std::free(job.planes.A); }
    return l;
}

inline void PrintTo(const Loaded& l, std::ostream* os) {
    *os << "result " << l.result << ", " << l.width << " x " << l.height << ", " << l.bpp << "-bit, hasalpha "
        << (int)l.hasalpha << ", " << l.rgba.size() << " plane bytes, " << l.pal.size() / 4 << " palette entries";
}

// Both ways, by 8-bit and by 16-bit name: the job gives what the loader gives.
inline void expect_job_matches_loader(const std::string& path) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "by 16-bit name" : "by 8-bit name");
        Loaded a = byloader(path, wide);
        Loaded b = byjob(path, wide);
        EXPECT_TRUE(a == b) << testing::PrintToString(a) << "\n  job: " << testing::PrintToString(b);
    }
}

// Messages sent to the codec's sink, collected while a Tap lives.
struct Tap {
    static std::vector<std::string>& texts() { static std::vector<std::string> t; return t; }
    static void take(const char* s) { texts().push_back(s); }
    Tap() { texts().clear(); image_detail::msgtap = take; }
    ~Tap() { image_detail::msgtap = nullptr; }
    Tap(const Tap&) = delete;
    Tap& operator=(const Tap&) = delete;
    bool saw(const std::string& part) const {
        for (auto& t : texts()) if (t.find(part) != std::string::npos) return true;
        return false;
    }
    std::string all() const { std::string s; for (auto& t : texts()) s += t; return s; }
};

// Allocation seam: counts the codec's allocations, fails the Nth (from 1;
// 0 never), and fills what it hands out with a pattern so that reads of
// unwritten bytes show.
struct Alloc {
    static int& calls() { static int n; return n; }
    static int& failat() { static int n; return n; }
    static uint8_t& fill() { static uint8_t f; return f; }
    static size_t& largest() { static size_t n; return n; }  // the largest block asked for
    static void* take(size_t n) {
        int k = ++calls();
        if (n > largest()) largest() = n;
        if (failat() && k == failat()) return nullptr;
        void* p = std::malloc(n ? n : 1);
        if (p) std::memset(p, fill(), n);
        return p;
    }
    explicit Alloc(int fail = 0, uint8_t pattern = 0) {
        calls() = 0; failat() = fail; fill() = pattern; largest() = 0;
        image_detail::imgmalloc = take;
    }
    ~Alloc() { image_detail::imgmalloc = std::malloc; }
    Alloc(const Alloc&) = delete;
    Alloc& operator=(const Alloc&) = delete;
};

// Keys delivered through the platform's console: key k at poll number n
// (from 1), nothing otherwise.
struct Keys {
    static std::vector<std::pair<int, int>>& script() { static std::vector<std::pair<int, int>> s; return s; }
    static int& polls() { static int n; return n; }
    static int event(int* key) {
        int n = ++polls();
        for (auto& [at, k] : script())
            if (at == n) { *key = k; return 1; }
        return 0;
    }
    static void nothing() {}
    os_api saved;
    explicit Keys(std::vector<std::pair<int, int>> s) : saved(g_os) {
        script() = std::move(s);
        polls() = 0;
        g_os.console_event = event;
        g_os.pump_messages = nothing;
    }
    ~Keys() { g_os = saved; }
    Keys(const Keys&) = delete;
    Keys& operator=(const Keys&) = delete;
};

// The full disk: /dev/full, seen as Z:\dev\full from the Windows build under
// wine.  Empty when it cannot be opened here (the caller skips).
inline std::string fulldisk() {
#ifdef _WIN32
    std::string p = "Z:\\dev\\full";
#else
    std::string p = "/dev/full";
#endif
    FILE* f = g_os.fopen(p.c_str(), "wb");
    if (!f) return "";
    std::fclose(f);
    return p;
}

// Every image test starts from closed streams, a clear key latch and the
// codec's start state, in a fresh directory.
class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        stream_reset();
        image_reset();
    }
    void TearDown() override {
        stream_reset();
    }
    std::string put(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string p = dir.str(name);
        testutil::write_file(p, bytes);
        return p;
    }
    testutil::TempDir dir;
};

}  // namespace pngfix

#endif
