// pixelrow_test.cpp - the planes-to-frame-row loops of the movie writers at
// every level the processor offers (plain, SSE2, SSSE3) against the stored
// row's byte order (B G R or B G R A per pixel): widths around the vector
// steps, rows at every alignment, guard bytes after the row that must stay
// untouched.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "movie/avi_internal.h"

namespace {

struct Level {
    int saved = movie_detail::rowlevel;
    ~Level() { movie_detail::rowlevel = saved; }
};

struct RowCase {
    bool alpha;
    size_t cols;
};

std::vector<RowCase> rowcases() {
    std::vector<RowCase> v;
    for (bool alpha : {false, true}) {
        for (size_t w = 0; w <= 70; w++) v.push_back({alpha, w});
        for (size_t w : {95u, 96u, 97u, 1919u, 1920u}) v.push_back({alpha, w});
    }
    return v;
}

class PixelRow : public ::testing::TestWithParam<RowCase> {};

TEST_P(PixelRow, EveryLevelStoresBgrOrder) {
    const RowCase c = GetParam();
    const size_t bytes = c.alpha ? 4 : 3;
    const size_t guard = 64;
    std::mt19937 rng((unsigned)(c.cols * 7 + c.alpha));
    Level keep;
    for (int level = 0; level <= keep.saved; level++) {
        movie_detail::rowlevel = level;
        for (size_t shift = 0; shift < 4; shift++) {
            SCOPED_TRACE("level " + std::to_string(level) + ", planes at +" + std::to_string(shift));
            std::vector<uint8_t> p[4];
            for (auto& v : p) {
                v.resize(shift + c.cols);
                for (auto& b : v) b = (uint8_t)rng();
            }
            std::vector<uint8_t> out(shift + c.cols * bytes + guard, 0x3C);
            movie_detail::pixelrow(p[0].data() + shift, p[1].data() + shift, p[2].data() + shift,
                                   p[3].data() + shift, out.data() + shift, c.cols, c.alpha);
            for (size_t x = 0; x < c.cols; x++) {
                const uint8_t* o = &out[shift + x * bytes];
                ASSERT_EQ(o[0], p[2][shift + x]) << "blue at " << x;
                ASSERT_EQ(o[1], p[1][shift + x]) << "green at " << x;
                ASSERT_EQ(o[2], p[0][shift + x]) << "red at " << x;
                if (c.alpha) {
                    ASSERT_EQ(o[3], p[3][shift + x]) << "alpha at " << x;
                }
            }
            for (size_t i = 0; i < shift; i++) ASSERT_EQ(out[i], 0x3C) << "before the row";
            for (size_t i = shift + c.cols * bytes; i < out.size(); i++) ASSERT_EQ(out[i], 0x3C) << "after the row";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PixelRow, ::testing::ValuesIn(rowcases()), [](const auto& i) {
    return std::string(i.param.alpha ? "bgra" : "bgr") + "_w" + std::to_string(i.param.cols);
});

}  // namespace
