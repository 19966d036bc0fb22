// scene.h - the files the benchmarks make their scenes of: a PNG frame from
// 8-bit RGB or RGBA rows, a 16-bit stereo PCM WAV, and the landscape the
// movie benchmarks film.  Header-only, for the bench programs alone.

#ifndef REELKILN_BENCH_SCENE_H
#define REELKILN_BENCH_SCENE_H

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace benchscene {

[[noreturn]] inline void pngfail(png_structp png, png_const_charp msg) {
    std::fprintf(stderr, "libpng: %s\n", msg);
    png_longjmp(png, 1);
}

// w x h pixels of RGB (or RGBA with alpha), rows packed, as a PNG; level is
// the deflate level, -1 libpng's default.  false when it cannot be written.
inline bool writepng(const std::filesystem::path& p, int w, int h, const std::vector<uint8_t>& px,
                     bool alpha = false, int level = -1) {
    FILE* f = std::fopen(p.string().c_str(), "wb");
    if (!f) return false;
    const size_t stride = (size_t)w * (alpha ? 4 : 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngfail, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    if (level >= 0) png_set_compression_level(png, level);
    png_set_IHDR(png, info, w, h, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; y++) png_write_row(png, const_cast<png_bytep>(&px[(size_t)y * stride]));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

inline void le(std::ofstream& o, uint32_t v, int n) {
    for (int i = 0; i < n; i++) o.put((char)(v >> (8 * i)));
}

// A 16-bit stereo PCM WAV of `frames` sample pairs at `rate`, both channels
// sample(i) for pair i.  false when it cannot be written.
template <class F>
bool writewav(const std::filesystem::path& p, uint32_t rate, uint32_t frames, F sample) {
    std::ofstream w(p, std::ios::binary);
    const uint32_t data = frames * 4;
    w << "RIFF";
    le(w, 36 + data, 4);
    w << "WAVEfmt ";
    le(w, 16, 4);
    le(w, 1, 2);                                   /* PCM */
    le(w, 2, 2);                                   /* channels */
    le(w, rate, 4);
    le(w, rate * 4, 4);                            /* bytes per second */
    le(w, 4, 2);                                   /* block align */
    le(w, 16, 2);                                  /* bits per sample */
    w << "data";
    le(w, data, 4);
    for (uint32_t i = 0; i < frames; i++) {
        const uint32_t v = (uint32_t)(int32_t)sample(i) & 0xFFFF;
        le(w, v, 2);
        le(w, v, 2);
    }
    w.close();
    return (bool)w;
}

inline uint32_t mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x21F0AAADu;
    x ^= x >> 15;
    x *= 0x735A2D97u;
    x ^= x >> 15;
    return x;
}

inline uint8_t to8(double v) { return (uint8_t)std::clamp(std::lround(v), 0L, 255L); }

// Frame f of a w x h landscape into rgb (w * h * 3 bytes): rolling hills
// under a sky whose light moves across the frame, two soft discs drifting,
// and grain of about two levels; the geometry is laid out for 1920 pixels
// across and scaled to w (exactly, at 1920).
inline void landscape(int f, int w, int h, std::vector<uint8_t>& rgb) {
    const double k = w / 1920.0;
    const double sunx = k * (200 + 5.0 * f), suny = k * (260 - 0.4 * f);
    std::vector<double> horizonof(w), shadeof(w);
    for (int x = 0; x < w; x++) {
        const double X = x / k;
        horizonof[x] = k * (620 + 60 * std::sin(X / 240.0 + f / 50.0) + 25 * std::sin(X / 73.0));
        shadeof[x] = 0.55 + 0.45 * std::cos((X - sunx / k) / 900.0);
    }
    for (int y = 0; y < h; y++) {
        uint8_t* row = &rgb[(size_t)y * w * 3];
        for (int x = 0; x < w; x++) {
            const double horizon = horizonof[x];
            double r, g, b;
            if (y < horizon) {
                double t = y / horizon;
                double d = std::hypot(x - sunx, y - suny) / k;
                double glow = 160 * std::exp(-d / 180.0);
                r = 70 + 90 * t + glow;
                g = 110 + 80 * t + glow * 0.85;
                b = 200 - 30 * t + glow * 0.4;
            } else {
                double depth = (y - horizon) / (h - horizon + 1);
                double shade = shadeof[x];
                r = (50 + 60 * depth) * shade;
                g = (90 + 100 * depth) * shade;
                b = (40 + 30 * depth) * shade;
            }
            for (int j = 0; j < 2; j++) {
                double cx = k * (600 + 700 * j + 3.0 * f * (j ? -1 : 1)), cy = k * (500 + 120 * j),
                       rad = k * (150 + 40 * j);
                double d = std::hypot(x - cx, y - cy) / rad;
                if (d < 1.0) {
                    double e = std::min(1.0, (1.0 - d) * rad / 3.0);
                    double lit = 0.6 + 0.4 * std::sqrt(1.0 - d * d);
                    r = r * (1 - e) + (j ? 230 : 120) * lit * e;
                    g = g * (1 - e) + (j ? 120 : 200) * lit * e;
                    b = b * (1 - e) + (j ? 60 : 230) * lit * e;
                }
            }
            uint32_t n = mix((uint32_t)(y * w + x) ^ (uint32_t)f * 0x9E3779B9u);
            double grain = (double)(n & 3) - 1.5;
            row[3 * x] = to8(r + grain);
            row[3 * x + 1] = to8(g + grain);
            row[3 * x + 2] = to8(b + grain);
        }
    }
}

}  // namespace benchscene

#endif
