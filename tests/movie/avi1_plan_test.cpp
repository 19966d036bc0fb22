// avi1_plan_test.cpp - the AVI 1.0 size plan and the header values, against
// worked numbers and at the 4 GB boundary.

#include <gtest/gtest.h>

#include <cmath>

#include "movie/avi1.h"

namespace {


struct PlanCase {
    const char* name;
    uint32_t n, w, h;
    bool alpha, sound;
    uint64_t datlen;
    // expected
    uint64_t stride, fs;
    uint32_t rowpad, hdrl, strl, junk, first;
    uint64_t movisize, total, filelen;
    uint32_t fill;
};

const PlanCase kPlans[] = {
    // One 24-bit pixel: the frame at 2048, 2076 in the RIFF size, 2084 up to
    // the end of idx1, 2092 with the trailer, 468 zero bytes to 2560.
    {"one_pixel_24", 1, 1, 1, false, false, 0, 4, 4, 1, 206, 130, 1802, 2048, 16, 2076, 2560, 468},
    {"one_pixel_32", 1, 1, 1, true, false, 0, 4, 4, 0, 192, 116, 8592, 8824, 16, 8852, 9216, 356},
    // With sound the hdrl grows by 116 and the filler shrinks by as much.
    {"one_pixel_24_sound", 1, 1, 1, false, true, 1001, 4, 4, 1, 322, 130, 1686, 2048, 1025, 3101, 3584,
     467},
    {"one_pixel_32_sound", 1, 1, 1, true, true, 1000, 4, 4, 0, 308, 116, 8476, 8824, 1024, 9876, 10240,
     356},
    // 3 pixels wide, 24-bit: 9 bytes a row padded to 12.
    {"width3_24", 2, 3, 2, false, false, 0, 12, 24, 3, 206, 130, 1802, 2048, 68, 2144, 2560, 400},
    {"vga_24", 10, 640, 480, false, false, 0, 1920, 921600, 0, 206, 130, 1802, 2048, 9216084,
     9218288, 9218560, 256},
    {"hd_32", 2, 1920, 1080, true, false, 0, 7680, 8294400, 0, 192, 116, 8592, 8824, 16588820,
     16597672, 16598016, 336},
};

class Avi1Plan : public testing::TestWithParam<PlanCase> {};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Avi1Plan, WorkedNumbers) {
    const PlanCase& c = GetParam();
    avi1plan p = planavi1(c.n, c.w, c.h, c.alpha, c.sound, c.datlen);
    EXPECT_TRUE(p.fits);
    EXPECT_EQ(p.stride, c.stride);
    EXPECT_EQ(p.fs, c.fs);
    EXPECT_EQ(p.rowpad, c.rowpad);
    EXPECT_EQ(p.hdrlsize, c.hdrl);
    EXPECT_EQ(p.strlsize, c.strl);
    EXPECT_EQ(p.junksize, c.junk);
    EXPECT_EQ(p.firstframe, c.first);
    EXPECT_EQ(p.movi, c.first - 4u);
    EXPECT_EQ(p.movisize, c.movisize);
    EXPECT_EQ(p.total, c.total);
    EXPECT_EQ(p.fill, c.fill);
    EXPECT_EQ(p.filelen, c.filelen);

    // The relations every plan keeps, from the layout itself.
    const uint64_t X = c.alpha ? 212 : 226;
    EXPECT_EQ(20 + p.hdrlsize, X + (c.sound ? 116 : 0)) << "hdrl ends where the filler starts";
    EXPECT_EQ(20 + p.hdrlsize + 8 + p.junksize + 12, p.firstframe) << "the filler ends at P - 12";
    EXPECT_EQ(p.idx1, p.firstframe + c.n * (p.fs + 8) + (c.sound ? c.datlen + 8 : 0));
    EXPECT_EQ(p.total + 8, p.idx1 + 8 + p.idx1size) << "RIFF size = file up to idx1's end - 8";
    EXPECT_EQ(p.idx1size, 16u * (c.n + (c.sound ? 1 : 0)));
    EXPECT_EQ(p.movisize + p.movi, p.idx1) << "movi ends where idx1 begins";
    EXPECT_EQ(p.trailer, c.alpha ? 0u : 8u);
    EXPECT_EQ(p.filelen % 512, 0u);
    EXPECT_GE(p.fill, 1u);
    EXPECT_LE(p.fill, 512u);
    EXPECT_EQ(p.total + 8 + p.trailer + p.fill, p.filelen);
    if (c.sound) { EXPECT_EQ(p.soundchunk, 4 + c.n * (p.fs + 8)); }
}

INSTANTIATE_TEST_SUITE_P(Cases, Avi1Plan, testing::ValuesIn(kPlans),
                         [](const testing::TestParamInfo<PlanCase>& i) { return std::string(i.param.name); });

// A file that already ends on a multiple of 512 gets 512 more zero bytes.
TEST(Avi1PlanFill, WholeBlockWhenAligned) {
    // 12 frames of 1 x 2 pixels at 32 bits: 8824 + 12 * 32 + 8 = 9216.
    avi1plan p = planavi1(12, 1, 2, true, false, 0);
    EXPECT_EQ((p.total + 8) % 512, 0u);
    EXPECT_EQ(p.fill, 512u);
    EXPECT_EQ(p.filelen, 9216u + 512u);
}

// The 4 GB boundary: the RIFF size 0xFFFFFFFF still fits, one byte more
// does not.
TEST(Avi1PlanBoundary, RiffSizeExactlyAtFourGigabytes) {
    // one 1x1 24-bit frame with sound: total = 2048 + 28 + datlen + 24
    const uint64_t at = 0xFFFFFFFFull - 2100;
    avi1plan p = planavi1(1, 1, 1, false, true, at);
    EXPECT_EQ(p.total, 0xFFFFFFFFull);
    EXPECT_TRUE(p.fits);
    avi1plan q = planavi1(1, 1, 1, false, true, at + 1);
    EXPECT_EQ(q.total, 0x100000000ull);
    EXPECT_FALSE(q.fits);
}

// 640 x 480 24-bit frames: refused from 4661 frames on.
TEST(Avi1PlanBoundary, VgaFrameCount) {
    EXPECT_TRUE(planavi1(4660, 640, 480, false, false, 0).fits);
    avi1plan p = planavi1(4661, 640, 480, false, false, 0);
    EXPECT_FALSE(p.fits);
    EXPECT_EQ(p.total, 2048ull + 4661ull * 921624ull);
    // a sound can push a fitting movie over
    EXPECT_FALSE(planavi1(4660, 640, 480, false, true, 0x400000).fits);
}

// Sizes from a hostile header: the products overflow 64 bits, and the plan
// says so instead of wrapping into a small movie.
TEST(Avi1PlanBoundary, OverflowIsRefused) {
    avi1plan p = planavi1(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, true, true, 0xFFFFFFFFull);
    EXPECT_FALSE(p.fits);
    EXPECT_FALSE(planavi1(0xFFFFFFFFu, 0xFFFFFFFFu, 1, false, false, 0).fits);
    EXPECT_FALSE(planavi1(1, 70000, 70000, false, false, 0).fits);
}

// ---- Header values --------------------------------------------------------------

struct RateCase {
    float fps;
    uint32_t scale, rate, usec;
};

const RateCase kRates[] = {
    {60.0f, 1001, 60060, 16666},
    {30.0f, 1001, 30030, 33333},
    {29.97f, 1001, 29999, 33366},
    {1.0f, 1001, 1001, 1000000},
    {0.5f, 1000, 500, 2000000},
    {24.0f, 1001, 24024, 41666},
};

TEST(Avi1HeaderValues, RateRule) {
    for (const RateCase& c : kRates) {
        uint32_t scale = 0, rate = 0;
        raterule(c.fps, &scale, &rate);
        EXPECT_EQ(scale, c.scale) << c.fps;
        EXPECT_EQ(rate, c.rate) << c.fps;
        EXPECT_EQ(usecperframe(c.fps), c.usec) << c.fps;
    }
}

TEST(Avi1HeaderValues, MaxBytesPerSecond) {
    // 1 x 1 24-bit: (4 + 24) * 60
    EXPECT_EQ(maxbytespersec(4, 60.0f), 1680u);
    // 1920 x 1080 24-bit at 60: the single-precision product
    EXPECT_EQ(maxbytespersec(6220800, 60.0f), (uint32_t)(6220824.0f * 60.0f));
    // Past what the field holds: clamped, not wrapped.
    EXPECT_EQ(maxbytespersec(0xFFFFFFFFull, 60.0f), 0xFFFFFFFFu);
    EXPECT_EQ(maxbytespersec(100000000ull, 60.0f), 0xFFFFFFFFu);
    EXPECT_EQ(maxbytespersec(1000000 - 24, 30.0f), 30000000u);
}

TEST(Avi1HeaderValues, SaturatingConversions) {
    EXPECT_EQ(usecperframe(0.0f), 0xFFFFFFFFu);
    EXPECT_EQ(usecperframe(-1.0f), 0u);
    EXPECT_EQ(usecperframe(NAN), 0u);
    EXPECT_EQ(usecperframe(1e-6f), 0xFFFFFFFFu);
    uint32_t scale = 0, rate = 0;
    raterule(1e9f, &scale, &rate);  // r1 and r2 both saturate
    EXPECT_EQ(scale, 1000u);
    EXPECT_EQ(rate, 0x7FFFFFFFu);
}

}  // namespace
