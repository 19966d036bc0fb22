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

#include "image/image.h"
#include "movie/avi.h"
#include "platform/platform.h"
#include "e2e_util.h"
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
}  // namespace detail

// im as the bytes of an 8-bit PNG made by libpng (RGB, or RGBA when im.alpha).
inline std::vector<uint8_t> pngbytes(const image& im) {
    std::vector<uint8_t> bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng failed");
    }
    png_set_write_fn(png, &bytes, detail::pngappend, detail::pngnoflush);
    png_set_IHDR(png, info, (png_uint_32)im.w, (png_uint_32)im.h, 8,
                 im.alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row((size_t)im.w * 4);
    for (int y = 0; y < im.h; y++) {
        size_t k = 0;
        for (int x = 0; x < im.w; x++) {
            const uint8_t* p = im.at(x, y);
            row[k++] = p[0];
            row[k++] = p[1];
            row[k++] = p[2];
            if (im.alpha) row[k++] = p[3];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

// Writes im as a PNG file; path in UTF-8.
inline void writepng(const std::string& path, const image& im) { testutil::write_file(fspath(path), pngbytes(im)); }

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
