// avi1_fixtures.h - fixtures for the movie tests: PNG images written with
// libpng, WAV files built by hand, and a scene directory that stands in for
// the program's own directory.

#ifndef REELKILN_TESTS_AVI1_FIXTURES_H
#define REELKILN_TESTS_AVI1_FIXTURES_H

#include <gtest/gtest.h>
#include <png.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "e2e_util.h"
#include "image/image.h"
#include "movie/framelist.h"
#include "movie/writer.h"
#include "platform/platform.h"
#include "stream/stream.h"
#include "testutil.h"

namespace moviefix {

// ---- Images ---------------------------------------------------------------------

// An image as the test knows it: RGBA, 4 bytes per pixel, top row first.
struct image {
    int w = 0, h = 0;
    bool alpha = false;  // written as RGBA (colour type 6), else RGB
    std::vector<uint8_t> px;
    const uint8_t* at(int x, int y) const { return &px[((size_t)y * w + x) * 4]; }
};

// Content that varies in every channel and position, so a swapped channel,
// a flipped row or a shifted column shows.  Alpha varies too when present.
inline image pattern(int w, int h, bool alpha, int seed) {
    image im;
    im.w = w;
    im.h = h;
    im.alpha = alpha;
    im.px.resize((size_t)w * h * 4);
    uint32_t s = 0x9E3779B9u * (uint32_t)(seed + 1);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            s = s * 1664525u + 1013904223u;
            uint8_t* p = &im.px[((size_t)y * w + x) * 4];
            p[0] = (uint8_t)(x * 7 + seed * 31);
            p[1] = (uint8_t)(y * 13 + seed * 17);
            p[2] = (uint8_t)(s >> 24);
            p[3] = alpha ? (uint8_t)(s >> 16) : 255;
        }
    return im;
}

// A UTF-8 path as the file system's path (on Windows a std::string would be
// taken in the ANSI code page).
inline std::filesystem::path fspath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

namespace detail {
inline void pngappend(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
inline void pngnoflush(png_structp) {}

// What libpng writes: every value fixed before its setjmp.
struct pngcell {
    std::vector<uint8_t>* out;
    uint32_t w, h;
    int depth, type;
    const uint8_t* rows;
    size_t rowbytes;
    png_color* plte;
    int nplte;
    png_byte* trns;
    int ntrns;  // 0: no tRNS
};

// The file of c into *c.out; false when libpng failed.
inline bool pngwrite(const pngcell& c) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, c.out, pngappend, pngnoflush);
    png_set_IHDR(png, info, c.w, c.h, c.depth, c.type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (c.nplte) png_set_PLTE(png, info, c.plte, c.nplte);
    if (c.ntrns) png_set_tRNS(png, info, c.trns, c.ntrns, nullptr);
    png_write_info(png, info);
    for (uint32_t y = 0; y < c.h; y++) png_write_row(png, c.rows + c.rowbytes * y);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
}  // namespace detail

// The kinds of PNG file the tests write, by libpng: 8-bit RGB (rgb8) or RGBA
// (rgba8), 16-bit RGB (rgb16), 8- and 16-bit gray (gray8, gray16), gray with
// alpha (graya8), and a palette (pal8) or a palette with tRNS (palt8).  Gray
// is (r + g + b) / 3; 16-bit samples are v * 257, so every way of reducing
// them to 8 bits gives v; a palette holds the image's distinct colours (at
// most 256, see palpattern), with their alphas in tRNS for palt8.
inline std::vector<uint8_t> pngbytes(const image& im, const std::string& mode) {
    struct kind {
        const char* name;
        int type, depth, channels;
    };
    static const kind kinds[] = {
        {"rgb8", PNG_COLOR_TYPE_RGB, 8, 3},       {"rgba8", PNG_COLOR_TYPE_RGBA, 8, 4},
        {"rgb16", PNG_COLOR_TYPE_RGB, 16, 3},     {"gray8", PNG_COLOR_TYPE_GRAY, 8, 1},
        {"gray16", PNG_COLOR_TYPE_GRAY, 16, 1},   {"graya8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2},
        {"pal8", PNG_COLOR_TYPE_PALETTE, 8, 1},   {"palt8", PNG_COLOR_TYPE_PALETTE, 8, 1},
    };
    const kind* k = nullptr;
    for (const kind& c : kinds)
        if (mode == c.name) k = &c;
    if (!k) throw std::runtime_error("unknown PNG kind " + mode);

    // The palette: the distinct colours in order of first use.
    std::vector<uint32_t> pal;
    std::vector<uint8_t> index((size_t)im.w * im.h);
    if (k->type == PNG_COLOR_TYPE_PALETTE) {
        for (size_t i = 0; i < index.size(); i++) {
            const uint8_t* p = &im.px[i * 4];
            uint32_t c = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
            size_t j = 0;
            while (j < pal.size() && pal[j] != c) j++;
            if (j == pal.size()) pal.push_back(c);
            if (pal.size() > 256) throw std::runtime_error("more than 256 colours for a palette");
            index[i] = (uint8_t)j;
        }
    }

    // Every row's samples, then libpng in a cell of its own.
    const size_t rowbytes = (size_t)im.w * k->channels * (k->depth / 8);
    std::vector<uint8_t> rows(rowbytes * im.h);
    size_t n = 0;
    auto put = [&](unsigned v) {
        rows[n++] = (uint8_t)v;
        if (k->depth == 16) rows[n++] = (uint8_t)v;  // v * 257: both bytes are v
    };
    for (int y = 0; y < im.h; y++)
        for (int x = 0; x < im.w; x++) {
            const uint8_t* p = im.at(x, y);
            const unsigned gray = (p[0] + p[1] + p[2]) / 3;
            switch (k->type) {
            case PNG_COLOR_TYPE_RGB: put(p[0]), put(p[1]), put(p[2]); break;
            case PNG_COLOR_TYPE_RGBA: put(p[0]), put(p[1]), put(p[2]), put(p[3]); break;
            case PNG_COLOR_TYPE_GRAY: put(gray); break;
            case PNG_COLOR_TYPE_GRAY_ALPHA: put(gray), put(p[3]); break;
            default: put(index[(size_t)y * im.w + x]); break;
            }
        }
    std::vector<png_color> plte;
    std::vector<png_byte> trns;
    for (uint32_t c : pal) {
        plte.push_back({(png_byte)c, (png_byte)(c >> 8), (png_byte)(c >> 16)});
        trns.push_back((png_byte)(c >> 24));
    }
    std::vector<uint8_t> bytes;
    detail::pngcell cell{&bytes, (uint32_t)im.w, (uint32_t)im.h, k->depth, k->type, rows.data(), rowbytes,
                         plte.data(), (int)plte.size(), trns.data(), mode == "palt8" ? (int)trns.size() : 0};
    if (!detail::pngwrite(cell)) throw std::runtime_error("libpng failed");
    return bytes;
}

// im as the bytes of an 8-bit PNG made by libpng (RGB, or RGBA when im.alpha).
inline std::vector<uint8_t> pngbytes(const image& im) { return pngbytes(im, im.alpha ? "rgba8" : "rgb8"); }

// Writes im as a PNG file; path in UTF-8.
inline void writepng(const std::string& path, const image& im) { testutil::write_file(fspath(path), pngbytes(im)); }

// Content for a palette: 40 colours (with varied alphas) placed in a pattern
// that moves with x, y and the seed.
inline image palpattern(int w, int h, int seed) {
    image im;
    im.w = w;
    im.h = h;
    im.alpha = true;
    im.px.resize((size_t)w * h * 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const int c = (x * 7 + y * 3 + seed) % 40;
            uint8_t* p = &im.px[((size_t)y * w + x) * 4];
            p[0] = (uint8_t)(c * 53 + seed);
            p[1] = (uint8_t)(c * 97 + 11);
            p[2] = (uint8_t)(c * 29 + 200);
            p[3] = (uint8_t)(c * 53 % 256);
        }
    return im;
}

// Writes the end-to-end fixtures into dir: each spec's kind of PNG, with
// content from pattern (palpattern for the palette kinds) and its seed.
inline void writepngs(const std::filesystem::path& dir, const std::vector<e2e::pngspec>& specs) {
    for (const e2e::pngspec& s : specs) {
        const bool pal = s.mode == "pal8" || s.mode == "palt8";
        const bool alpha = s.mode == "rgba8" || s.mode == "graya8";
        const image im = pal ? palpattern(s.w, s.h, s.seed) : pattern(s.w, s.h, alpha, s.seed);
        testutil::write_file(dir / s.name, pngbytes(im, s.mode));
    }
}

// A file that passes the probe (signature and a 13-byte IHDR) but holds no
// image data: enough for the steps that never decode it.
inline std::vector<uint8_t> pngheader(uint32_t w, uint32_t h, bool alpha) {
    std::vector<uint8_t> b = testutil::h2b("89504e470d0a1a0a 0000000d 49484452");
    for (uint32_t v : {w, h})
        for (int s = 24; s >= 0; s -= 8) b.push_back((uint8_t)(v >> s));
    b.push_back(8);
    b.push_back(alpha ? 6 : 2);
    b.push_back(0);
    b.push_back(0);
    b.push_back(0);
    for (int i = 0; i < 4; i++) b.push_back(0);  // the CRC is not looked at
    return b;
}

// im as the end-to-end helpers' image record (the same RGBA pixels).
inline e2e::rgba asrgba(const image& im) {
    e2e::rgba r;
    r.w = im.w;
    r.h = im.h;
    r.px = im.px;
    return r;
}

// What a player shows of im in a movie of W x H frames, as ffmpeg decodes it
// (bgr24 or bgra, top row first, no padding): the pixel rule of
// e2e::expectframe, the image cut to the frame or filled out with white
// (alpha 0).
inline std::vector<uint8_t> shownframe(const image& im, int W, int H, bool alpha32) {
    return e2e::expectframe(asrgba(im), W, H, alpha32);
}

// The frame chunk's bytes of im in a movie of W x H frames: the rows that are
// shown, stored bottom-up, 24-bit rows padded to 4 bytes with zeros.
inline std::vector<uint8_t> expectframe(const image& im, int W, int H, bool alpha32) {
    const std::vector<uint8_t> shown = shownframe(im, W, H, alpha32);
    const size_t row = (size_t)W * (alpha32 ? 4 : 3);
    const size_t stride = (row + 3) & ~(size_t)3;
    std::vector<uint8_t> out;
    out.reserve(stride * H);
    for (int y = H - 1; y >= 0; y--) {
        out.insert(out.end(), shown.begin() + (ptrdiff_t)(row * y), shown.begin() + (ptrdiff_t)(row * (y + 1)));
        out.resize(out.size() + (stride - row), 0);
    }
    return out;
}

// ---- WAV files --------------------------------------------------------------------

// Little-endian numbers appended to a byte vector: e2e::le16, e2e::le32.
using e2e::le16;
using e2e::le32;

// One chunk: id, size field (the data's length unless given), data.  No pad
// byte is added; pad = true appends one after odd data.
inline std::vector<uint8_t> chunkbytes(const char* id, const std::vector<uint8_t>& data,
                                       bool pad = false, int64_t sizefield = -1) {
    std::vector<uint8_t> b(id, id + 4);
    le32(b, sizefield < 0 ? (uint32_t)data.size() : (uint32_t)sizefield);
    b.insert(b.end(), data.begin(), data.end());
    if (pad && (data.size() & 1)) b.push_back(0);
    return b;
}

// The data of a fmt chunk of the given size (16, 18, 40, ...).
inline std::vector<uint8_t> fmtdata(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t bits,
                                    int size = 16, uint16_t extra = 0) {
    std::vector<uint8_t> b;
    uint16_t ba = (uint16_t)((bits + 7) / 8 * ch);
    le16(b, tag);
    le16(b, ch);
    le32(b, rate);
    le32(b, rate * ba);
    le16(b, ba);
    le16(b, bits);
    if (size >= 18) le16(b, extra);
    while ((int)b.size() < size) b.push_back(0xEE);
    b.resize((size_t)size);  // a short (malformed) fmt keeps its first bytes
    return b;
}

// 'RIFF', size, 'WAVE' and the chunks; the RIFF size counts everything after
// its field unless riffsize is given; a 128-byte preamble of 'x' may lead.
inline std::vector<uint8_t> wavfile(const std::vector<std::vector<uint8_t>>& chunks,
                                    bool preamble = false, int64_t riffsize = -1) {
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    for (auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
    std::vector<uint8_t> b;
    if (preamble) b.assign(128, 'x');
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    le32(b, riffsize < 0 ? (uint32_t)body.size() : (uint32_t)riffsize);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// Sample bytes that differ from byte to byte.
inline std::vector<uint8_t> samples(size_t n, int seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++) v[i] = (uint8_t)(i * 37 + (i >> 8) * 11 + seed);
    return v;
}

// A canonical PCM file: fmt of 16 bytes, then data.
inline std::vector<uint8_t> pcmwav(uint16_t ch, uint32_t rate, uint16_t bits,
                                   const std::vector<uint8_t>& data, bool preamble = false) {
    return wavfile({chunkbytes("fmt ", fmtdata(1, ch, rate, bits)), chunkbytes("data", data)},
                   preamble);
}

// ---- The scene ----------------------------------------------------------------------

namespace detail {
inline void nosleep(uint32_t) {}
}  // namespace detail

// A fresh directory that stands in for the program's directory: exedir and
// exedirW point at it (with the trailing separator), the streams start
// closed, and the writers' pauses are skipped.  Everything is put back when
// the scene goes.
class scene {
public:
    explicit scene(const std::string& sub = "") {
        saved_ = g_os;
        g_os.sleep_ms = detail::nosleep;
        stream_reset();
        image_reset();
        std::string base = dir_.str();
        if (!sub.empty()) {
            base += "/" + sub;
            std::filesystem::create_directories(fspath(base));
        }
        root_ = base + "/";
        set_exedir(root_);
    }
    ~scene() {
        stream_reset();
        g_os = saved_;
        exedir[0] = 0;
        exedirW[0] = 0;
    }
    scene(const scene&) = delete;
    scene& operator=(const scene&) = delete;

    static void set_exedir(const std::string& d) {
        std::snprintf(exedir, EXEDIR_CAP, "%s", d.c_str());
        std::u16string w = testutil::u16(d);
        size_t k = 0;
        for (; k < w.size() && k + 1 < (size_t)EXEDIR_CAP; k++) exedirW[k] = w[k];
        exedirW[k] = 0;
    }

    // The directory with its trailing '/'.
    const std::string& root() const { return root_; }
    std::string path(const std::string& name) const { return root_ + name; }
    std::u16string pathW(const std::string& name) const { return testutil::u16(root_ + name); }

    void put(const std::string& name, const std::vector<uint8_t>& bytes) const {
        testutil::write_file(fspath(path(name)), bytes);
    }
    void put(const std::string& name, std::string_view text) const {
        testutil::write_file(fspath(path(name)), text);
    }
    void png(const std::string& name, const image& im) const { writepng(path(name), im); }
    std::vector<uint8_t> get(const std::string& name) const { return testutil::read_file(fspath(path(name))); }
    bool exists(const std::string& name) const { return std::filesystem::exists(fspath(path(name))); }

private:
    testutil::TempDir dir_;
    os_api saved_;
    std::string root_;
};

// Runs f with standard output captured; returns what it printed.
template <typename F>
std::string capture(F&& f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

}  // namespace moviefix

#endif
