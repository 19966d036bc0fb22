// rows_test.cpp - the record-to-planes row loops at every level the
// processor offers (plain, SSE2, SSSE3) against a byte-by-byte reading of the
// record's layout: widths around the vector steps, rows at every alignment,
// guard bytes after each plane row that must stay untouched.
#include "pngfix.h"

#include <random>

namespace {

// Restores the level the program chose at start.
struct Level {
    int saved = image_detail::rowlevel;
    ~Level() { image_detail::rowlevel = saved; }
};

struct RowCase {
    uint32_t bpp;
    uint32_t width;
};

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
        image_detail::rowlevel = level;
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
            uint8_t got = image_detail::recordrow(src.data() + shift, c.bpp, planes[0].data() + shift,
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
            image_detail::rowlevel = level;
            stream_reset();
            image_reset();
            pngfix::Planes p;
            ASSERT_EQ(p.load(path), 0);
            EXPECT_EQ(p.rgba(), want) << "level " << level << ", colour type " << ctype;
        }
    }
}

}  // namespace
