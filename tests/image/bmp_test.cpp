// bmp_test.cpp - the 32-bit BMP writer: its file against the format's
// header table (a golden file, and a Python builder for other sizes), read
// back by independent readers (a Python reader of the header's own fields,
// PIL, ImageMagick, ffmpeg), the size refusals, and every write failure,
// at each of its steps and on a full disk.
#include "pngfix.h"
#include "fulldisk.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;

template <class C>
    requires requires(const C& c) { c.name; }
void PrintTo(const C& c, std::ostream* os) {
    *os << c.name;
}

// Four planes of w * h + 16 bytes.
struct Planes4 {
    int w, h;
    std::vector<uint8_t> p[4];
    Planes4(int w_, int h_, uint32_t seed) : w(w_), h(h_) {
        std::mt19937 rng(seed);
        for (auto& v : p) {
            v.resize((size_t)w * h + 16);
            for (auto& b : v) b = (uint8_t)rng();
        }
    }
    // The planes one after the other, w * h bytes each, for the checker.
    std::vector<uint8_t> concat() const {
        std::vector<uint8_t> out;
        for (auto& v : p) out.insert(out.end(), v.begin(), v.begin() + (ptrdiff_t)((size_t)w * h));
        return out;
    }
};

struct Written {
    int result;
    std::string out;
};

Written write(const std::string& path, int w, int h, const uint8_t* p1, const uint8_t* p2, const uint8_t* p3,
              const uint8_t* p4) {
    testing::internal::CaptureStdout();
    int r = bmpwrite32(path.c_str(), w, h, p1, p2, p3, p4);
    return {r, testing::internal::GetCapturedStdout()};
}

Written write(const std::string& path, const Planes4& m) {
    return write(path, m.w, m.h, m.p[0].data(), m.p[1].data(), m.p[2].data(), m.p[3].data());
}

class Bmp : public pngfix::ImageTest {};

// The file the header table gives for a 2 x 2 image: size 150, pixels from
// 134, bottom row first, each pixel one byte of each plane in order.
TEST_F(Bmp, TwoByTwoEqualsTheTableByteForByte) {
    const uint8_t r[] = {0x01, 0x02, 0x03, 0x04}, g[] = {0x11, 0x12, 0x13, 0x14}, b[] = {0x21, 0x22, 0x23, 0x24},
                  a[] = {0x31, 0x32, 0x33, 0x34};
    std::string p = dir.str("2x2.bmp");
    Written w = write(p, 2, 2, r, g, b, a);
    ASSERT_EQ(w.result, 0);
    EXPECT_EQ(w.out, "Saved.\n");
    EXPECT_EQ(testutil::read_file(p), testutil::h2b(
        "42 4d 96 00 00 00 00 00 00 00 86 00 00 00 6c 00"
        "00 00 02 00 00 00 02 00 00 00 01 00 20 00 03 00"
        "00 00 00 00 00 00 ff 00 00 00 ff 00 00 00 00 00"
        "00 00 00 00 00 00 ff 00 00 00 00 ff 00 00 00 00"
        "ff 00 00 00 00 ff 42 47 52 73 00 00 00 00 00 00"
        "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
        "00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00"
        "00 00 01 00 00 00 01 00 00 00 ff 00 00 00 00 ff"
        "00 00 00 00 ff 00 03 13 23 33 04 14 24 34 01 11"
        "21 31 02 12 22 32"));
}

struct SizeCase {
    const char* name;
    int w, h;
};

// Rows of 4096 pixels and more go out in pieces; 4097 crosses one.
const SizeCase kSizes[] = {
    {"one_pixel", 1, 1}, {"three_by_five", 3, 5}, {"wide_33", 33, 2}, {"tall_1_wide", 1, 40}, {"row_past_one_piece", 4097, 2},
};

class BmpSize : public Bmp, public ::testing::WithParamInterface<SizeCase> {};

// The builder of the table's layout and the readers live in bmp_check.py;
// they are Linux programs, so the Windows build checks the golden file only.
TEST_P(BmpSize, IndependentReadersGiveThePlanesBack) {
#ifdef _WIN32
    GTEST_SKIP() << "the Python checker and the readers run on Linux only";
#else
    const SizeCase& c = GetParam();
    Planes4 m(c.w, c.h, (uint32_t)c.w * 31 + (uint32_t)c.h);
    std::string p = dir.str("t.bmp"), raw = dir.str("t.planes"), out = dir.str("t.txt");
    ASSERT_EQ(write(p, m).result, 0);
    testutil::write_file(raw, m.concat());
    std::string cmd = testutil::python() + " '" + std::string(RK_SOURCE_DIR) + "/tests/image/bmp_check.py' '" + p + "' '" +
                      raw + "' " + std::to_string(c.w) + " " + std::to_string(c.h) + " > '" + out + "' 2>&1";
    int rc = std::system(cmd.c_str());
    std::ifstream f(out);
    std::string said((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(rc, 0) << said;
#endif
}

INSTANTIATE_TEST_SUITE_P(Cases, BmpSize, ::testing::ValuesIn(kSizes),
                         [](const auto& i) { return std::string(i.param.name); });

// Refused before anything is created; the planes are null, so a refusal
// that came after reading them would crash.
const SizeCase kRefused[] = {
    {"zero_width", 0, 4},
    {"zero_height", 4, 0},
    {"negative_width", -4, 4},
    {"negative_height", 4, -4},
    {"size_field_one_past_4_gb", 1073741791, 1},
    {"size_field_wraps", 32768, 32768},
    {"int_products_overflow", INT32_MAX, INT32_MAX},
};

class BmpRefused : public Bmp, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(BmpRefused, NothingIsCreated) {
    const SizeCase& c = GetParam();
    std::string p = dir.str("no.bmp");
    Written w = write(p, c.w, c.h, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(w.result, -1);
    EXPECT_EQ(w.out, "Image size not writable as BMP: " + p + "\n");
    EXPECT_FALSE(fs::exists(p));
}

INSTANTIATE_TEST_SUITE_P(Cases, BmpRefused, ::testing::ValuesIn(kRefused),
                         [](const auto& i) { return std::string(i.param.name); });

// The largest image whose size field holds (4 * w * h + 134 = 0xFFFFFFFE) is
// not refused: it reaches the open, which is made to fail here.
FILE* noopen(const char*, const char*) { return nullptr; }

TEST_F(Bmp, LargestWritableSizeReachesTheOpen) {
    os_api saved = g_os;
    g_os.fopen = noopen;
    Written w = write("big.bmp", 1073741790, 1, nullptr, nullptr, nullptr, nullptr);
    g_os = saved;
    EXPECT_EQ(w.result, -1);
    EXPECT_EQ(w.out, "Cannot open writing file: big.bmp\n");
}

TEST_F(Bmp, PathThatCannotBeOpenedGivesMinusOne) {
    Planes4 m(2, 2, 1);
    for (std::string p : {dir.str("missing/x.bmp"), dir.str()}) {
        Written w = write(p, m);
        EXPECT_EQ(w.result, -1) << p;
        EXPECT_EQ(w.out, "Cannot open writing file: " + p + "\n");
    }
    Written w = write("", m);
    EXPECT_EQ(w.result, -1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(bmpwrite32(nullptr, 2, 2, m.p[0].data(), m.p[1].data(), m.p[2].data(), m.p[3].data()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot open writing file: \n");
}

// A 2 x 2 file lies whole in the runtime's buffer until the close; a row of
// 1920 pixels is 7680 bytes, so the first failed write-out falls inside the
// first row, where a check of the row's last byte alone would miss it.
TEST_F(Bmp, FullDiskNeverGivesSaved) {
    const std::string full = pngfix::fulldisk();
    if (full.empty()) GTEST_SKIP() << "no full disk device here";
    struct { const char* name; int w, h, want; } cases[] = {{"at_close", 2, 2, 5}, {"inside_a_row", 1920, 3, 4}};
    for (auto& c : cases) {
        Planes4 m(c.w, c.h, 9);
        Written w = write(full, m);
        EXPECT_EQ(w.result, c.want) << c.name;
        EXPECT_EQ(w.out, "Error outputting file (" + std::to_string(c.want) + "): " + full + "\n") << c.name;
    }
}

// A disk with room for a set number of bytes, behind the runtime's buffer of
// 8 KiB: a cut in any row, or one that only the last write-out meets, is a
// failure with its code, and only room for the whole file saves.
TEST_F(Bmp, DiskCutAnywhereNeverGivesSaved) {
    const uint64_t file = 134 + 4ull * 1920 * 3;  // 23174
    struct { const char* name; int w; uint64_t room; int want; } cases[] = {
        {"small_file_at_close", 64, 0, 5}, {"small_file_one_byte_short", 64, 134 + 4 * 64 * 3 - 1, 5},
        {"small_file_fits", 64, 134 + 4 * 64 * 3, 0}, {"headers_only_fit", 1920, 100, 4},
        {"last_row", 1920, file - 8000, 4}, {"last_write_out", 1920, file - 1, 5}, {"fits", 1920, file, 0}};
    for (auto& c : cases) {
        Planes4 m(c.w, 3, 4);
        std::string p = dir.str("cut.bmp");
        Written w;
        {
            fulldisk::Use disk(c.room);
            w = write(p, m);
        }
        EXPECT_EQ(w.result, c.want) << c.name;
        EXPECT_EQ(w.out, c.want ? "Error outputting file (" + std::to_string(c.want) + "): " + p + "\n" : "Saved.\n")
            << c.name;
    }
}

#ifndef _WIN32
// A FILE that takes only budget bytes, unbuffered, so that the write that
// crosses the budget is the one that fails: each step's own code shows.
size_t budget = 0;
char memory[1 << 16];
FILE* tightfile(const char*, const char*) {
    FILE* f = fmemopen(memory, budget, "w");
    if (f) setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

TEST_F(Bmp, EachStepThatFailsHasItsCode) {
    struct { const char* name; size_t budget; int want; } cases[] = {
        {"file_header", 10, 1}, {"bitmap_header", 100, 2}, {"masks", 130, 3},
        {"first_row", 134 + 5, 4}, {"last_row", 134 + 3 * 16 + 1, 4}};
    Planes4 m(4, 4, 2);
    os_api saved = g_os;
    g_os.fopen = tightfile;
    for (auto& c : cases) {
        budget = c.budget;
        Written w = write("tight.bmp", m);
        EXPECT_EQ(w.result, c.want) << c.name;
        EXPECT_EQ(w.out, "Error outputting file (" + std::to_string(c.want) + "): tight.bmp\n") << c.name;
    }
    budget = 134 + 4 * 16 + 1;  // room for the whole file
    Written w = write("tight.bmp", m);
    g_os = saved;
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.out, "Saved.\n");
}
#endif

}  // namespace
