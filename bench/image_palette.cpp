// image_palette.cpp - the palette builder on a 1920 x 1080 image of 256
// colours, against the plain rule it must agree with.
//
// The baseline is the rule written as linear scans (an entry's index is the
// first equal one, new colours appended, black then white moved by swaps,
// each pixel then looked up by a scan); the builder is paladd, palnormbw and
// palfind as the encoder calls them, once per pixel.  The colours are placed
// at random, so no run of equal pixels helps either side.  Both must give
// the same palette and the same index for every pixel; the bench fails
// otherwise.  Prints the best of five rounds of each, and the whole encode
// of the same image (pngsaveplanes to a temporary file, whose console lines
// go to standard output) for scale; the figures go to standard error.

#include "image/image.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kW = 1920, kH = 1080, kColours = 256, kRounds = 5;
constexpr size_t kPixels = (size_t)kW * kH;

using colour = std::array<uint8_t, 3>;

struct Result {
    std::vector<colour> palette;
    std::vector<int16_t> index;
};

// The rule with linear scans.
Result linear(const uint8_t* R, const uint8_t* G, const uint8_t* B) {
    Result r;
    auto scan = [&](colour c) {
        for (size_t i = 0; i < r.palette.size(); i++)
            if (r.palette[i] == c) return (int)i;
        return -1;
    };
    for (size_t i = 0; i < kPixels; i++) {
        colour c = {R[i], G[i], B[i]};
        if (scan(c) < 0) {
            if (r.palette.size() == 256) break;
            r.palette.push_back(c);
        }
    }
    auto& p = r.palette;
    const colour K = {0, 0, 0}, W = {255, 255, 255};
    if (!p.empty()) {
        if (p[0] != K)
            for (size_t i = 1; i < p.size(); i++)
                if (p[i] == K) { std::swap(p[0], p[i]); break; }
        for (size_t i = 0; i < p.size(); i++)
            if (p[i] == W) { std::swap(p[i], p.back()); break; }
    }
    r.index.resize(kPixels);
    for (size_t i = 0; i < kPixels; i++) r.index[i] = (int16_t)scan({R[i], G[i], B[i]});
    return r;
}

Result builder(const uint8_t* R, const uint8_t* G, const uint8_t* B) {
    Result r;
    palclear();
    for (size_t i = 0; i < kPixels; i++)
        if (paladd(R[i], G[i], B[i]) < 0) break;
    palnormbw();
    for (int i = 0; i < palcount(); i++) r.palette.push_back({paltable[i][0], paltable[i][1], paltable[i][2]});
    r.index.resize(kPixels);
    for (size_t i = 0; i < kPixels; i++) r.index[i] = (int16_t)palfind(R[i], G[i], B[i]);
    return r;
}

template <class F>
double best(F f) {
    double b = 1e30;
    for (int k = 0; k < kRounds; k++) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        b = std::min(b, s);
    }
    return b;
}

}  // namespace

int main() {
    std::vector<uint8_t> R(kPixels + 16), G(kPixels + 16), B(kPixels + 16), A(kPixels + 16, 255);
    std::vector<colour> set;
    for (int k = 0; k < kColours; k++)
        set.push_back({(uint8_t)(k * 37 + 3), (uint8_t)(k * 91 + 7), (uint8_t)(255 - k)});
    set[5] = {0, 0, 0};
    set[200] = {255, 255, 255};
    std::mt19937 rng(1);
    for (size_t i = 0; i < kPixels; i++) {
        const colour& c = set[i < (size_t)kColours ? (i * 97) % kColours : rng() % kColours];
        R[i] = c[0]; G[i] = c[1]; B[i] = c[2];
    }

    Result want, got;
    double tlin = best([&] { want = linear(R.data(), G.data(), B.data()); });
    double tbld = best([&] { got = builder(R.data(), G.data(), B.data()); });
    if (want.palette != got.palette || want.index != got.index) {
        std::printf("palette builder: DIFFERS from the linear rule\n");
        return 1;
    }

    std::string path = (std::filesystem::temp_directory_path() / ("rk-bench-palette-" + std::to_string(rng()) + ".png")).string();
    double tenc = best([&] { pngsaveplanes(path.c_str(), kW, kH, R.data(), G.data(), B.data(), A.data(), 0); });
    std::error_code ec;
    std::filesystem::remove(path, ec);

    std::fprintf(stderr, "palette of %d colours, %dx%d, identical palette and indices\n", kColours, kW, kH);
    std::fprintf(stderr, "  linear scans       %8.3f s   1.00\n", tlin);
    std::fprintf(stderr, "  palette builder    %8.3f s   %.3f\n", tbld, tbld / tlin);
    std::fprintf(stderr, "  whole PNG encode   %8.3f s   %.3f  (pngsaveplanes, 8-bit palette)\n", tenc, tenc / tlin);
    return 0;
}
