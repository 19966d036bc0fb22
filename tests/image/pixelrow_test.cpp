// pixelrow_test.cpp - the pixel-row kernels at every level the processor
// offers (plain, SSE2, SSSE3) against a byte-by-byte reading of the layouts:
// record rows to planes, planes to the movie's B G R (A) rows, and the red
// and blue swap; widths around the vector steps, rows at every alignment,
// guard bytes around each row that must stay untouched.  Then whole images
// through the decoder and loader at every level.
#include "pngfix.h"

#include "image/pixelrow.h"

#include <random>

namespace {

// Restores the level the program chose at start.
struct Level {
    int saved = pixelrow::level;
    ~Level() { pixelrow::level = saved; }
};

struct RowCase {
    uint32_t bpp;
    uint32_t width;
};
// The case prints by its name, not as a dump of its bytes.
void PrintTo(const RowCase& c, std::ostream* os) { *os << c.bpp << "-bit record, " << c.width << " pixels"; }


std::vector<RowCase> rowcases() {
    std::vector<RowCase> v;
    for (uint32_t bpp : {24u, 32u}) {
        for (uint32_t w = 1; w <= 70; w++) v.push_back({bpp, w});
        for (uint32_t w : {95u, 96u, 97u, 1919u, 1920u}) v.push_back({bpp, w});
    }
    return v;
}

class RecordRow : public ::testing::TestWithParam<RowCase> {};

TEST_P(RecordRow, EveryLevelMatchesTheLayout) {
    const RowCase c = GetParam();
    const uint32_t bytes = c.bpp / 8;
    const size_t guard = 32;
    std::mt19937 rng(c.width * 131 + c.bpp);
    Level keep;
    for (int level = 0; level <= keep.saved; level++) {
        pixelrow::level = level;
        for (size_t shift = 0; shift < 4; shift++) {
            SCOPED_TRACE("level " + std::to_string(level) + ", row at +" + std::to_string(shift));
            std::vector<uint8_t> src(shift + (size_t)c.width * bytes);
            for (auto& b : src) b = (uint8_t)rng();
            // Opaque rows, rows with one translucent pixel (first, middle or
            // last) and fully random ones.
            int kind = (int)(shift % 4);
            if (c.bpp == 32 && kind < 3) {
                for (uint32_t x = 0; x < c.width; x++) src[shift + 4 * x + 3] = 255;
                if (kind > 0) {
                    uint32_t at = kind == 1 ? c.width / 2 : c.width - 1;
                    src[shift + 4 * at + 3] = 254;
                }
            }
            std::vector<uint8_t> planes[4];
            for (auto& p : planes) p.assign(shift + c.width + guard, 0xA7);
            uint8_t got = pixelrow::toplanes(src.data() + shift, c.bpp, planes[0].data() + shift,
                                             planes[1].data() + shift, planes[2].data() + shift,
                                             planes[3].data() + shift, c.width);
            uint8_t all = 255;
            for (uint32_t x = 0; x < c.width; x++) {
                const uint8_t* px = &src[shift + (size_t)x * bytes];
                uint8_t a = c.bpp == 32 ? px[3] : 255;
                all &= a;
                ASSERT_EQ(planes[0][shift + x], px[2]) << "red at " << x;
                ASSERT_EQ(planes[1][shift + x], px[1]) << "green at " << x;
                ASSERT_EQ(planes[2][shift + x], px[0]) << "blue at " << x;
                ASSERT_EQ(planes[3][shift + x], a) << "alpha at " << x;
            }
            EXPECT_EQ(got, all);
            for (auto& p : planes) {
                for (size_t i = 0; i < shift; i++) ASSERT_EQ(p[i], 0xA7) << "before the row";
                for (size_t i = shift + c.width; i < p.size(); i++) ASSERT_EQ(p[i], 0xA7) << "after the row";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RecordRow, ::testing::ValuesIn(rowcases()), [](const auto& i) {
    return std::to_string(i.param.bpp) + "bpp_w" + std::to_string(i.param.width);
});

// Planes to the rows a movie stores.
struct StoredCase {
    bool alpha;
    size_t cols;
};
// The case prints by its name, not as a dump of its bytes.
void PrintTo(const StoredCase& c, std::ostream* os) {
    *os << (c.alpha ? "B G R A" : "B G R") << ", " << c.cols << " pixels";
}


std::vector<StoredCase> storedcases() {
    std::vector<StoredCase> v;
    for (bool alpha : {false, true}) {
        for (size_t w = 0; w <= 70; w++) v.push_back({alpha, w});
        for (size_t w : {95u, 96u, 97u, 1919u, 1920u}) v.push_back({alpha, w});
    }
    return v;
}

class StoredRow : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredRow, EveryLevelStoresBgrOrder) {
    const StoredCase c = GetParam();
    const size_t bytes = c.alpha ? 4 : 3;
    const size_t guard = 64;
    std::mt19937 rng((unsigned)(c.cols * 7 + c.alpha));
    Level keep;
    for (int level = 0; level <= keep.saved; level++) {
        pixelrow::level = level;
        for (size_t shift = 0; shift < 4; shift++) {
            SCOPED_TRACE("level " + std::to_string(level) + ", planes at +" + std::to_string(shift));
            std::vector<uint8_t> p[4];
            for (auto& v : p) {
                v.resize(shift + c.cols);
                for (auto& b : v) b = (uint8_t)rng();
            }
            std::vector<uint8_t> out(shift + c.cols * bytes + guard, 0x3C);
            pixelrow::torow(p[0].data() + shift, p[1].data() + shift, p[2].data() + shift,
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

INSTANTIATE_TEST_SUITE_P(Rows, StoredRow, ::testing::ValuesIn(storedcases()), [](const auto& i) {
    return std::string(i.param.alpha ? "bgra" : "bgr") + "_w" + std::to_string(i.param.cols);
});

// The red and blue swap of 24- and 32-bit rows: the first and third byte of
// every whole pixel change places, the rest (green, alpha, a partial pixel at
// the end) stays, and nothing outside the n bytes is touched.
TEST(SwapRedBlue, EveryLevelSwapsWholePixels) {
    Level keep;
    std::mt19937 rng(7);
    for (size_t px : {3u, 4u}) {
        for (size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 15u, 16u, 17u, 47u, 48u, 49u, 50u, 63u, 64u, 95u, 96u, 97u,
                         144u, 5760u, 7680u, 7681u}) {
            for (int level = 0; level <= keep.saved; level++) {
                pixelrow::level = level;
                for (size_t shift = 0; shift < 4; shift++) {
                    SCOPED_TRACE(std::to_string(px) + " bytes a pixel, " + std::to_string(n) + " bytes, level " +
                                 std::to_string(level) + ", row at +" + std::to_string(shift));
                    std::vector<uint8_t> row(shift + n + 32);
                    for (auto& b : row) b = (uint8_t)rng();
                    std::vector<uint8_t> want = row;
                    for (size_t i = shift; i + px <= shift + n; i += px) std::swap(want[i], want[i + 2]);
                    pixelrow::swaprb(row.data() + shift, n, px);
                    ASSERT_EQ(row, want);
                }
            }
        }
    }
}

// Whole images through the decoder and the loader at the plain level and
// the processor's best give the planes the samples call for: 8- and 16-bit
// RGB and RGBA, interlaced, with a colour key, gray with alpha (which is not
// swapped).
TEST(RecordRowLevels, LoaderGivesTheSamePlanesAtEveryLevel) {
    Level keep;
    testutil::TempDir dir;
    struct Kind {
        int ctype, depth;
        bool interlace, key;
    };
    for (Kind k : {Kind{PNG_COLOR_TYPE_RGB, 8, false, false}, Kind{PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false},
                   Kind{PNG_COLOR_TYPE_RGB, 16, false, false}, Kind{PNG_COLOR_TYPE_RGB_ALPHA, 16, true, false},
                   Kind{PNG_COLOR_TYPE_RGB, 8, true, false}, Kind{PNG_COLOR_TYPE_RGB, 8, false, true},
                   Kind{PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false}}) {
        const int ctype = k.ctype;
        pngfix::Pic pic = pngfix::make(53, 9, k.ctype, k.depth, k.interlace);
        if (k.key) {
            // A colour key that some pixels match: RGB widened to RGBA.
            pic.haskey = true;
            pic.key.red = pic.samples[0];
            pic.key.green = pic.samples[1];
            pic.key.blue = pic.samples[2];
        }
        std::string path = dir.str("l.png");
        testutil::write_file(path, pngfix::write(pic));
        std::vector<uint8_t> want = pngfix::rgba(pic);
        for (int level = 0; level <= keep.saved; level++) {
            pixelrow::level = level;
            stream_reset();
            image_reset();
            pngfix::Planes p;
            ASSERT_EQ(p.load(path), 0);
            EXPECT_EQ(p.rgba(), want) << "level " << level << ", colour type " << ctype;
        }
    }
}

}  // namespace
