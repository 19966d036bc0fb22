// scene.h - the files the benchmarks make their scenes of: a PNG frame from
// 8-bit RGB or RGBA rows, and a 16-bit stereo PCM WAV.  Header-only, for the
// bench programs alone; the samples and pixels are each bench's own.

#ifndef REELKILN_BENCH_SCENE_H
#define REELKILN_BENCH_SCENE_H

#include <png.h>

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

}  // namespace benchscene

#endif
