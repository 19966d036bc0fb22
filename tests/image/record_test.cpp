// record_test.cpp - the image record: strides, layout, padding, failures and
// the 32-bit size limit.
#include "pngfix.h"

namespace {

// Cases print as their names in failure output.
template <class C>
    requires requires(const C& c) { c.name; }
void PrintTo(const C& c, std::ostream* os) {
    *os << c.name;
}

using pngfix::Alloc;

struct SizeCase {
    const char* name;
    uint32_t width, bpp;
    int32_t height;
    uint32_t stride, size;
};

const SizeCase kSizes[] = {
    {"rgb3", 3, 24, 5, 12, 60},
    {"mono1", 1, 1, 3, 4, 12},
    {"pal1", 1, 8, 1, 4, 4},
    {"nib5", 5, 4, 2, 4, 8},
    {"mono33", 33, 1, 1, 8, 8},
    {"rgb2", 2, 24, 1, 8, 8},
    {"rgba7", 7, 32, 3, 28, 84},
    {"hd", 1920, 24, 1080, 5760, 6220800},
};

class RecordSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RecordSize, StrideAndSize) {
    const SizeCase& c = GetParam();
    imgrec rec = {};
    rec.width = c.width;
    rec.height = c.height;
    rec.bpp = c.bpp;
    rec.colors = c.bpp <= 8 ? 1u << c.bpp : 0;
    ASSERT_EQ(imgalloc(&rec), 1);
    EXPECT_EQ(rec.stride, c.stride);
    EXPECT_EQ(rec.size, c.size);
    EXPECT_EQ(rec.palette != nullptr, c.bpp <= 8);
    imgfree(&rec);
}

INSTANTIATE_TEST_SUITE_P(Record, RecordSize, ::testing::ValuesIn(kSizes),
                         [](const auto& i) { return std::string(i.param.name); });

// The block is bottom-up, and each row's last word (its padding) is cleared
// while the rest of the block is left as it was.
TEST(Record, BottomUpRowsAndClearedPadding) {
    Alloc alloc(0, 0xAA);
    imgrec rec = {};
    rec.width = 5;  // 15 bytes of pixels in a 16-byte stride
    rec.height = 3;
    rec.bpp = 24;
    ASSERT_EQ(imgalloc(&rec), 1);
    ASSERT_EQ(rec.stride, 16u);
    EXPECT_EQ(rec.rows[0], rec.bits + 32);
    EXPECT_EQ(rec.rows[1], rec.bits + 16);
    EXPECT_EQ(rec.rows[2], rec.bits);
    for (int k = 0; k < 3; k++)
        for (uint32_t i = 0; i < rec.stride; i++)
            EXPECT_EQ(rec.rows[k][i], i >= rec.stride - 4 ? 0 : 0xAA) << "row " << k << " byte " << i;
    EXPECT_EQ(rec.palette, nullptr);
    imgfree(&rec);
}

TEST(Record, TopDownRows) {
    imgrec rec = {};
    rec.width = 2;
    rec.height = 3;
    rec.bpp = 32;
    rec.topdown = 1;
    ASSERT_EQ(imgalloc(&rec), 1);
    for (int k = 0; k < 3; k++) EXPECT_EQ(rec.rows[k], rec.bits + 8 * k);
    imgfree(&rec);
}

// Each of the three allocations failing in turn: nothing is kept (the
// leak checker of the sanitizer build sees a palette left behind) and all
// three pointers are null.
TEST(Record, EveryAllocationFailureLeavesNothing) {
    for (int fail = 1; fail <= 3; fail++) {
        Alloc alloc(fail);
        imgrec rec = {};
        rec.width = 4;
        rec.height = 4;
        rec.bpp = 4;
        rec.colors = 16;
        EXPECT_EQ(imgalloc(&rec), 0) << "failing allocation " << fail;
        EXPECT_EQ(rec.palette, nullptr);
        EXPECT_EQ(rec.rows, nullptr);
        EXPECT_EQ(rec.bits, nullptr);
    }
}

struct LimitCase {
    const char* name;
    uint32_t width, bpp;
    int32_t height;
    bool fits;
};

// 32-bit arithmetic would wrap the first cases to small blocks (65536 x
// 16384 at 32 bpp is exactly 2^32, that is 0), and the rows would then
// point far outside what was allocated.
const LimitCase kLimits[] = {
    {"wrapsToZero", 65536, 32, 16384, false},
    {"wrapsSmall", 65536, 32, 16385, false},
    {"strideOver32Bits", 0x7FFFFFFF, 32, 1, false},
    // width * bpp is 2^33 here: the 32-bit product would be 0, the true
    // stride of 2^30 bytes is fine.
    {"bitsPerRowPast32Bits", 0x40000000, 8, 1, true},
    {"justBelow4G", 65536, 32, 16383, true},
    {"zeroWidth", 0, 8, 1, false},
    {"zeroHeight", 1, 8, 0, false},
    {"negativeHeight", 1, 8, -1, false},
};

class RecordLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(RecordLimit, SizeCheckedIn64Bits) {
    const LimitCase& c = GetParam();
    uint32_t stride = 0, size = 0;
    EXPECT_EQ(image_detail::recsize(c.width, c.bpp, c.height, &stride, &size), c.fits);
    if (c.fits) {
        EXPECT_EQ((uint64_t)stride, ((uint64_t)c.width * c.bpp + 31) / 32 * 4);
        EXPECT_EQ((uint64_t)stride * (uint64_t)c.height, (uint64_t)size);
        return;
    }
    // imgalloc refuses before it asks for the row table or the block.
    Alloc alloc;
    imgrec rec = {};
    rec.width = c.width;
    rec.height = c.height;
    rec.bpp = c.bpp;
    EXPECT_EQ(imgalloc(&rec), 0);
    EXPECT_EQ(Alloc::calls(), 0);
    EXPECT_EQ(rec.rows, nullptr);
    EXPECT_EQ(rec.bits, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Record, RecordLimit, ::testing::ValuesIn(kLimits),
                         [](const auto& i) { return std::string(i.param.name); });

struct PlaneCase {
    const char* name;
    int64_t width, height;
    bool fits;
    int32_t bytes;
};

// Planes are width * height + 16 bytes as an int: 2^31 - 17 pixels at most.
const PlaneCase kPlanes[] = {
    {"one", 1, 1, true, 17},
    {"hd", 1920, 1080, true, 2073616},
    {"largest", 0x7FFFFFEF, 1, true, 0x7FFFFFFF},
    {"oneMore", 0x7FFFFFF0, 1, false, 0},
    {"square46341", 46341, 46341, false, 0},
    {"wraps32", 65536, 65536, false, 0},
    {"zero", 0, 5, false, 0},
};

class PlaneSize : public ::testing::TestWithParam<PlaneCase> {};

TEST_P(PlaneSize, Limit) {
    const PlaneCase& c = GetParam();
    int32_t n = -1;
    EXPECT_EQ(image_detail::planebytes(c.width, c.height, &n), c.fits);
    if (c.fits) {
        EXPECT_EQ(n, c.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Record, PlaneSize, ::testing::ValuesIn(kPlanes),
                         [](const auto& i) { return std::string(i.param.name); });

// planesalloc replaces what the set holds with four planes of the size rule,
// or leaves it empty (all null, size 0, reallocated 0) when any one of the
// four fails or the size does not fit; hasalpha is never touched.
TEST(Record, PlaneSetAllocatesAllFourOrNone) {
    for (int fail = 0; fail <= 4; fail++) {
        imgplanes p = {};
        ASSERT_TRUE(planesalloc(&p, 2, 2));
        p.hasalpha = 0x5A;
        Alloc alloc(fail);
        EXPECT_EQ(planesalloc(&p, 3, 5), fail == 0) << "fail " << fail;
        if (fail == 0) {
            EXPECT_TRUE(p.R && p.G && p.B && p.A);
            EXPECT_EQ(p.width, 3);
            EXPECT_EQ(p.height, 5);
            EXPECT_EQ(p.reallocated, 0xFF);
            EXPECT_EQ(Alloc::largest(), 3u * 5 + 16);
        } else {
            EXPECT_TRUE(!p.R && !p.G && !p.B && !p.A);
            EXPECT_EQ(p.width, 0);
            EXPECT_EQ(p.reallocated, 0);
        }
        EXPECT_EQ(p.hasalpha, 0x5A);
        planesfree(&p);
        EXPECT_TRUE(!p.R && !p.G && !p.B && !p.A && p.width == 0 && p.height == 0);
        planesfree(&p);  // an empty set is released again harmlessly
    }
    imgplanes big = {};
    Alloc alloc;
    EXPECT_FALSE(planesalloc(&big, 46341, 46341));
    EXPECT_EQ(Alloc::calls(), 0);
    EXPECT_EQ(planesbytes(1920, 1080), 4u * (1920 * 1080 + 16));
}

}  // namespace
