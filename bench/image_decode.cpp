// image_decode.cpp - what the plane loader adds to a PNG decode.
//
// Makes a few 1920 x 1080 frames that compress like rendered scenes (smooth
// shading, a textured floor, soft edges and a little per-pixel noise; RGB,
// and RGBA with a transparent background), then times, over the same files,
// the decoder alone (pngdecode into the image record) against the whole
// loader (pngload: decode plus the record-to-planes conversion, the keyboard
// poll and the plane allocations).  Rounds alternate between the two and the
// best round of each counts.  RK_BENCH_KEEP=1 keeps the frames and prints
// where they are.  Prints both times per frame and their ratio;
// the goal is a ratio under 1.15.

#include "bench/scene.h"
#include "image/image.h"

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kW = 1920, kH = 1080;
constexpr int kFrames = 4, kRounds = 5;

uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

uint8_t clamp8(double v) { return (uint8_t)std::lround(std::min(255.0, std::max(0.0, v))); }

// One frame: a sky gradient over a perspective checker floor, three shaded
// spheres that move with the frame number, noise of a few levels.
std::vector<uint8_t> render(int frame, bool alpha) {
    int ch = alpha ? 4 : 3;
    std::vector<uint8_t> img((size_t)kW * kH * ch);
    struct Ball { double cx, cy, r, red, green, blue; } balls[3] = {
        {500.0 + 40 * frame, 600, 220, 0.9, 0.3, 0.2},
        {1100.0 - 25 * frame, 520, 170, 0.2, 0.6, 0.9},
        {1500.0, 700.0 - 30 * frame, 260, 0.8, 0.8, 0.3},
    };
    for (uint32_t y = 0; y < kH; y++) {
        for (uint32_t x = 0; x < kW; x++) {
            double r, g, b, a = 1.0;
            if (y < 480) {  // sky
                double t = y / 480.0;
                r = 90 + 80 * t; g = 140 + 70 * t; b = 230 - 20 * t;
                a = 0.0;
            } else {        // floor in perspective
                double depth = 480.0 / (y - 479.0);
                double u = (x - 960.0) * depth / 120.0, v = depth * 8.0;
                bool check = ((int)std::floor(u) + (int)std::floor(v)) & 1;
                double fade = std::min(1.0, 4.0 / depth);
                r = g = b = (check ? 200 : 60) * fade + 120 * (1 - fade);
                a = alpha ? std::min(1.0, (y - 480.0) / 40.0) : 1.0;
            }
            for (const Ball& s : balls) {
                double dx = (x - s.cx) / s.r, dy = (y - s.cy) / s.r, d2 = dx * dx + dy * dy;
                if (d2 >= 1.0) continue;
                double nz = std::sqrt(1.0 - d2);
                double light = std::max(0.0, -0.5 * dx - 0.6 * dy + 0.62 * nz);
                double spec = std::pow(light, 24.0) * 255;
                double edge = std::min(1.0, (1.0 - std::sqrt(d2)) * s.r / 1.5);  // soft rim
                double br = 40 + 200 * light * s.red + spec, bg = 40 + 200 * light * s.green + spec,
                       bb = 40 + 200 * light * s.blue + spec;
                r = r * (1 - edge) + br * edge;
                g = g * (1 - edge) + bg * edge;
                b = b * (1 - edge) + bb * edge;
                a = a * (1 - edge) + edge;
            }
            uint32_t n = hash(x + y * 7919u + (uint32_t)frame * 104729u);
            double noise = (double)(n & 7) - 3.5;
            uint8_t* p = &img[((size_t)y * kW + x) * ch];
            p[0] = clamp8(r + noise);
            p[1] = clamp8(g + noise);
            p[2] = clamp8(b + noise);
            if (alpha) p[3] = clamp8(a * 255);
        }
    }
    return img;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds for one pass over the files, or a negative value on a failure.
double decodeonly(const std::vector<std::string>& files) {
    double t0 = now();
    for (const std::string& f : files) {
        imgrec rec;
        if (!pngdecode(f.c_str(), &rec)) return -1;
        imgfree(&rec);
    }
    return now() - t0;
}

// The plane set lives across the files, as a movie writer keeps its planes
// from frame to frame; the plain loader still frees and allocates the four
// planes for every image.
double decodeplanes(const std::vector<std::string>& files) {
    int w = 0, h = 0;
    uint8_t *R = nullptr, *G = nullptr, *B = nullptr, *A = nullptr, re = 0, ha = 0;
    double t0 = now();
    int r = 0;
    for (const std::string& f : files)
        if ((r = pngload(f.c_str(), &w, &h, &R, &G, &B, &A, &re, &ha)) != 0) break;
    double t = now() - t0;
    std::free(R);
    std::free(G);
    std::free(B);
    std::free(A);
    return r == 0 ? t : -1;
}

}  // namespace

int main() {
    fs::path dir = fs::temp_directory_path() / ("rk-bench-image-" + std::to_string(std::rand()));
    fs::create_directories(dir);
    // The loader reports each image on standard output; the figures go to
    // standard error so that the report can be sent away while timing.
    std::printf("bench_image_decode: %u x %u, %d frames per kind, best of %d rounds\n", kW, kH, kFrames,
                kRounds);
    std::fflush(stdout);
    int status = 0;
    for (bool alpha : {false, true}) {
        std::vector<std::string> files;
        uintmax_t bytes = 0;
        for (int i = 0; i < kFrames; i++) {
            fs::path p = dir / ((alpha ? "rgba" : "rgb") + std::to_string(i) + ".png");
            if (!benchscene::writepng(p, kW, kH, render(i, alpha), alpha)) {
                std::fprintf(stderr, "cannot write %s\n", p.string().c_str());
                return 1;
            }
            files.push_back(p.string());
            bytes += fs::file_size(p);
        }
        double raw = (double)kW * kH * (alpha ? 4 : 3) * kFrames;
#ifdef _WIN32
        const char* nul = "NUL";
#else
        const char* nul = "/dev/null";
#endif
        std::fflush(stdout);
        FILE* quiet = std::freopen(nul, "w", stdout);
        double best1 = 1e9, best2 = 1e9;
        for (int r = 0; r < kRounds; r++) {
            double a = decodeonly(files), b = decodeplanes(files);
            if (a < 0 || b < 0) {
                status = 1;
                break;
            }
            best1 = std::min(best1, a);
            best2 = std::min(best2, b);
        }
        (void)quiet;
        std::fprintf(stderr, "%-4s  files at %.0f%% of raw  decode %.2f ms/frame  decode+planes %.2f ms/frame  ratio %.3f%s\n",
                     alpha ? "RGBA" : "RGB", 100.0 * (double)bytes / raw, 1000 * best1 / kFrames,
                     1000 * best2 / kFrames, best2 / best1, best2 / best1 < 1.15 ? "" : "  (goal: under 1.15)");
        if (status) std::fprintf(stderr, "a decode failed\n");
    }
    if (std::getenv("RK_BENCH_KEEP")) { std::fprintf(stderr, "kept %s\n", dir.string().c_str()); return status; }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
