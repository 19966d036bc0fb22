// The bitmap decoder on hand-made bitmaps: every form once with values that
// show a wrong channel, bit order, row order or padding; the run-length
// messages; hostile runs and deltas that must not write outside the planes.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dib_fixture.h"
#include "testutil.h"

using namespace dibtest;
using testutil::h2b;

namespace {

dibformat fmt(uint32_t hdr, int32_t w, int32_t h, int32_t bits, uint32_t comp = 0,
              uint32_t rm = 0, uint32_t gm = 0, uint32_t bm = 0, uint32_t am = 0) {
    return dibformat{hdr, w, h, 1, bits, comp, rm, gm, bm, am};
}

constexpr uint32_t F = 0x11111111;  // a pixel the decoder did not write

struct Case {
    const char* name;
    dibformat f;
    const char* data;
    int want;
    std::vector<uint32_t> rgba;  // row 0 at the top; palette entries by ramp()
    const char* printed;
};

uint32_t P(int i) { return ramp(i); }

std::vector<uint32_t> onebit33() {
    std::vector<uint32_t> v(33, P(0));
    v[0] = v[31] = v[32] = P(1);
    return v;
}

std::vector<Case> cases() {
    return {
        {"Bgr24BottomUp3x2", fmt(40, 3, 2, 24),
         "010203 040506 070809 000000  111213 141516 171819 000000", DIB_OK,
         {0x131211FF, 0x161514FF, 0x191817FF, 0x030201FF, 0x060504FF, 0x090807FF}, ""},
        {"Bgr24TopDown3x2", fmt(40, 3, -2, 24),
         "010203 040506 070809 000000  111213 141516 171819 000000", DIB_OK,
         {0x030201FF, 0x060504FF, 0x090807FF, 0x131211FF, 0x161514FF, 0x191817FF}, ""},
        {"Bgr24LastPaddingMissing", fmt(40, 3, 1, 24), "010203 040506 070809", DIB_OK,
         {0x030201FF, 0x060504FF, 0x090807FF}, ""},
        // The bytes that are not there read as 0.
        {"Bgr24EndsInsideRows", fmt(40, 3, 2, 24), "010203 040506 070809 000000  1112", DIB_ENDED,
         {0x001211FF, 0x000000FF, 0x000000FF, 0x030201FF, 0x060504FF, 0x090807FF}, ""},
        {"Rgb555White", fmt(40, 1, 1, 16), "ff7f 0000", DIB_OK, {0xFFFFFFFF}, ""},
        {"Rgb555OddWidthPads", fmt(40, 1, 2, 16), "1f00 0000  e003 0000", DIB_OK,
         {0x00FF00FF, 0x0000FFFF}, ""},
        {"Rgb565ByMasks", fmt(40, 2, 1, 16, 3, 0xF800, 0x7E0, 0x1F), "00f8 e007", DIB_OK,
         {0xFF0000FF, 0x00FF00FF}, ""},
        {"Rgb555ByMasks", fmt(40, 2, 1, 16, 3, 0x7C00, 0x3E0, 0x1F), "007c e003", DIB_OK,
         {0xFF0000FF, 0x00FF00FF}, ""},
        // Blue 16 of 31 widens to (16 << 3) | (16 >> 2) = 0x84.
        {"Rgb565ByCompression", fmt(40, 2, 1, 16, 3), "00f8 1000", DIB_OK,
         {0xFF0000FF, 0x000084FF}, ""},
        {"OneBit33WideTwoWords", fmt(40, 33, 1, 1), "80000001 80000000", DIB_OK, onebit33(), ""},
        {"TwoBitWord", fmt(40, 5, 1, 2), "1b000000", DIB_OK, {P(0), P(1), P(2), P(3), P(0)}, ""},
        {"FourBitWord", fmt(40, 3, 1, 4), "12300000", DIB_OK, {P(1), P(2), P(3)}, ""},
        {"EightBitWord", fmt(40, 2, 1, 8), "05ff0000", DIB_OK, {P(5), P(255)}, ""},
        {"EightBitBitFieldsIsPlain", fmt(40, 2, 1, 8, 3), "0506 0000", DIB_OK, {P(5), P(6)}, ""},
        {"Rle8RunEndOfBitmap", fmt(40, 3, 1, 8, 1), "0305 0000 0001", DIB_OK,
         {P(5), P(5), P(5)}, ""},
        {"Rle8ShortLine", fmt(40, 3, 1, 8, 1), "0205 0000", DIB_OK, {P(5), P(5), F},
         "EOL incorrect.\n"},
        {"Rle8Absolute", fmt(40, 3, 1, 8, 1), "0003 070809 00  0000", DIB_OK, {P(7), P(8), P(9)},
         ""},
        {"Rle8DeltaUp", fmt(40, 3, 2, 8, 1), "0002 0101 0109 0000", DIB_OK,
         {F, P(9), F, F, F, F}, "EOL incorrect.\n"},
        {"Rle8EarlyEndOfBitmap", fmt(40, 3, 2, 8, 1), "0104 0001 0505", DIB_OK,
         {F, F, F, P(4), F, F}, "EOB incorrect.\n"},
        {"Rle8EndsInsideRun", fmt(40, 3, 1, 8, 1), "0003 0708", DIB_ENDED, {P(7), P(8), F}, ""},
        {"Rle4RunAlternates", fmt(40, 5, 1, 4, 2), "0512 0000", DIB_OK,
         {P(1), P(2), P(1), P(2), P(1)}, ""},
        {"Rle4AbsoluteEvenBytes", fmt(40, 5, 1, 4, 2), "0005 12345000 0000", DIB_OK,
         {P(1), P(2), P(3), P(4), P(5)}, ""},
        {"Bgra32Plain", fmt(40, 1, 1, 32), "01020304", DIB_OK, {0x03020104}, ""},
        {"Bgra32OsTwoHeader", fmt(12, 1, 1, 32), "01020304", DIB_OK, {0x03020104}, ""},
        {"Masks32RgbOrderDropsByte3", fmt(40, 1, 1, 32, 3, 0xFF, 0xFF00, 0xFF0000), "01020304",
         DIB_OK, {0x010203FF}, ""},
        {"Masks32UsualOrder", fmt(40, 1, 1, 32, 3, 0xFF0000, 0xFF00, 0xFF), "01020304", DIB_OK,
         {0x030201FF}, ""},
        {"V4MasksWithAlpha", fmt(108, 1, 1, 32, 3, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
         "01020304", DIB_OK, {0x03020104}, ""},
        {"V4AlphaByDefault", fmt(108, 1, 1, 32, 3, 0xFF0000, 0xFF00, 0xFF), "01020304", DIB_OK,
         {0x03020104}, ""},
        {"V5AlphaFirst", fmt(124, 1, 1, 32, 3, 0xFF00, 0xFF0000, 0xFF000000, 0xFF), "01020304",
         DIB_OK, {0x02030401}, ""},
        {"V5PlainZeroMasksIsBgr", fmt(124, 1, 1, 32, 0), "01020304", DIB_OK, {0x03020104}, ""},
        {"MaskTakesChannelOverDefault", fmt(40, 1, 1, 32, 3, 0xFF000000, 0xFF00, 0xFF),
         "01020304", DIB_OK, {0x040201FF}, ""},
    };
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Decode : public testing::TestWithParam<Case> {};

TEST_P(Decode, GivesPlanes) {
    const Case& c = GetParam();
    dibpalette pal;
    rampalette(pal);
    decoded d = decode(c.f, pal, h2b(c.data));
    EXPECT_EQ(d.result, c.want);
    EXPECT_TRUE(d.guardsok);
    EXPECT_EQ(d.printed, c.printed);
    EXPECT_EQ(d.rgba, c.rgba);
}

INSTANTIATE_TEST_SUITE_P(Dib, Decode, testing::ValuesIn(cases()),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(DibLayout, BitCountsWithoutDecodingAreRefused) {
    for (int bits : {0, 3, 5, 7, 9, 15, 31, 33, 48, -1, 0x7FFF}) {
        diblayout l;
        EXPECT_EQ(diblayoutof(fmt(40, 1, 1, bits), &l), DIB_NO_DECODING) << bits;
    }
}

// The hook runs before every row; its stop keeps the rows done so far.
TEST(DibDecode, HookStopsBetweenRows) {
    dibpalette pal;
    rampalette(pal);
    int calls = 0;
    auto hook = [](void* ctx) { return ++*(int*)ctx == 2 ? 27 : 0; };
    decoded d = decode(fmt(40, 1, 2, 24), pal, h2b("010203 00  040506 00"), 0x11, hook, &calls);
    EXPECT_EQ(d.result, 27);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(d.rgba, (std::vector<uint32_t>{F, 0x030201FF}));
}

// Runs, absolute runs and deltas that leave the picture on every side: the
// pixels inside are written, the others dropped, nothing outside touched.
struct HostileCase {
    const char* name;
    dibformat f;
    const char* data;
    std::vector<uint32_t> rgba;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

std::vector<HostileCase> hostile() {
    return {
        {"RunPastWidth", fmt(40, 2, 2, 8, 1), "ff03 0104 0000 0105 0001", {P(5), F, P(3), P(3)}},
        {"RunAtWidthNotIntoNextRow", fmt(40, 2, 2, 8, 1), "0203 0107 0000 0001",
         {F, F, P(3), P(3)}},
        {"AbsolutePastWidth", fmt(40, 2, 1, 8, 1), "0005 0102030405 00 0000", {P(1), P(2)}},
        {"DeltaAboveTop", fmt(40, 2, 2, 8, 1), "0002 00ff 0209 0000 0001", {F, F, F, F}},
        {"DeltaPastRight", fmt(40, 2, 2, 8, 1), "0002 ff00 0209 0000 0209 0001", {P(9), P(9), F, F}},
        {"DeltaThenRunTopDown", fmt(40, 2, -2, 8, 1), "0002 0101 0209 0000", {F, F, F, P(9)}},
        {"Rle4RunPastWidth", fmt(40, 3, 1, 4, 2), "ff12 0000", {P(1), P(2), P(1)}},
        // 255 pixels take 128 bytes, given below.
        {"Rle4AbsolutePastWidth", fmt(40, 1, 1, 4, 2), "00ff", {P(14)}},
    };
}

class Hostile : public testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, WritesOnlyInsideThePicture) {
    const HostileCase& c = GetParam();
    dibpalette pal;
    rampalette(pal);
    std::vector<uint8_t> data = h2b(c.data);
    if (std::string(c.name) == "Rle4AbsolutePastWidth") data.insert(data.end(), 128, 0xEE);
    decoded d = decode(c.f, pal, data);
    EXPECT_TRUE(d.guardsok);
    EXPECT_EQ(d.rgba, c.rgba);
}

INSTANTIATE_TEST_SUITE_P(Dib, Hostile, testing::ValuesIn(hostile()),
                         [](const auto& i) { return std::string(i.param.name); });

// Random data in every run-length and plain form: the guards hold and every
// decode ends.  (The fuzz target goes further; this runs in every build.)
TEST(DibDecode, RandomDataStaysInside) {
    std::mt19937 rng(12345);
    dibpalette pal;
    rampalette(pal);
    const dibformat forms[] = {fmt(40, 7, 5, 8, 1),  fmt(40, 7, -5, 8, 1), fmt(40, 5, 7, 4, 2),
                               fmt(40, 1, 1, 8, 1),  fmt(40, 9, 3, 1),     fmt(40, 3, 3, 16),
                               fmt(108, 3, 3, 32, 3, 0, 0, 0xFF0000, 0x80)};
    for (const dibformat& f : forms) {
        for (int round = 0; round < 300; round++) {
            std::vector<uint8_t> data(rng() % 200);
            for (auto& b : data) b = (uint8_t)(rng() % 4 == 0 ? rng() % 3 : rng());
            decoded d = decode(f, pal, data);
            ASSERT_TRUE(d.guardsok) << round;
            ASSERT_TRUE(d.result == DIB_OK || d.result == DIB_ENDED) << d.result;
        }
    }
}

}  // namespace
