// encode_test.cpp - the palette builder and the PNG encoder: the palette
// rule against a plain model, the format decision for every colour count it
// distinguishes, the files' chunks read byte by byte, the pixels decoded by
// independent decoders (python3-png, ImageMagick) and by the project's own
// loader, the console line, and every failure path.
//
// Rows that end exactly on a 32-bit word (1 bpp 32 wide, 4 bpp 8 wide, 8 bpp
// 4 wide) are in the format table: a partial word written there would run
// past the top row, which ends the record's block, and the sanitizer build
// catches that as a heap overflow.
#include "pngfix.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace {

namespace fs = std::filesystem;

template <class C>
    requires requires(const C& c) { c.name; }
void PrintTo(const C& c, std::ostream* os) {
    *os << c.name;
}

using pngfix::ImageTest;
using pngfix::Tap;

// ---- The palette rule as plainly as it can be said ------------------------------

// First appearance with linear scans; black to entry 0 and white to the last
// used entry by swaps; gray mode answers with the gray value.
struct Model {
    std::array<std::array<uint8_t, 3>, 256> e;
    int n = 0;
    bool gray = false;
    Model() { clear(); }
    void ramp() { for (int i = 0; i < 256; i++) e[i] = {(uint8_t)i, (uint8_t)i, (uint8_t)i}; }
    void clear() { n = 0; gray = false; ramp(); }
    void setgray() { n = 256; gray = true; ramp(); }
    int scan(std::array<uint8_t, 3> c) const {
        for (int i = 0; i < n; i++) if (e[i] == c) return i;
        return -1;
    }
    int add(std::array<uint8_t, 3> c) {
        int i = scan(c);
        if (i >= 0) return i;
        if (n == 256) return -1;
        e[n] = c;
        return n++;
    }
    int find(std::array<uint8_t, 3> c) const {
        if (gray) return c[0] == c[1] && c[1] == c[2] ? c[0] : -1;
        return scan(c);
    }
    void normbw() {
        if (n == 0) return;
        const std::array<uint8_t, 3> K = {0, 0, 0}, W = {255, 255, 255};
        if (e[0] != K) for (int i = 1; i < n; i++) if (e[i] == K) { std::swap(e[0], e[i]); break; }
        for (int i = 0; i < n; i++) if (e[i] == W) { std::swap(e[i], e[n - 1]); break; }
    }
};

std::vector<std::array<uint8_t, 3>> table() {
    std::vector<std::array<uint8_t, 3>> t;
    for (int i = 0; i < 256; i++) t.push_back({paltable[i][0], paltable[i][1], paltable[i][2]});
    return t;
}

class Palette : public ImageTest {
protected:
    void SetUp() override { ImageTest::SetUp(); palclear(); }
};

TEST_F(Palette, ClearAndGrayModeSetTheRamp) {
    paladd(9, 8, 7);
    palsetgray();
    EXPECT_EQ(palcount(), 256);
    EXPECT_EQ(palgray, 0xFF);
    for (int i = 0; i < 256; i++) EXPECT_EQ(paltable[i][0] + paltable[i][1] + paltable[i][2], 3 * i);
    EXPECT_EQ(palfind(77, 77, 77), 77);
    EXPECT_EQ(palfind(77, 77, 78), -1);
    EXPECT_EQ(paladd(5, 5, 5), 5) << "paladd ignores gray mode and finds the ramp entry";
    EXPECT_EQ(paladd(1, 2, 3), -1) << "256 entries are in use";
    palclear();
    EXPECT_EQ(palcount(), 0);
    EXPECT_EQ(palgray, 0);
    EXPECT_EQ(palfind(0, 0, 0), -1) << "no entry is in use after palclear";
    EXPECT_EQ(paltable[200][0], 200);
}

TEST_F(Palette, AddAppendsInFirstAppearanceOrderAndRefusesThe257th) {
    for (int i = 0; i < 256; i++) ASSERT_EQ(paladd((uint8_t)i, (uint8_t)(255 - i), 3), i);
    for (int i = 255; i >= 0; i--) ASSERT_EQ(paladd((uint8_t)i, (uint8_t)(255 - i), 3), i);
    EXPECT_EQ(paladd(1, 1, 1), -1);
    EXPECT_EQ(palcount(), 256);
    EXPECT_EQ(palfind(17, 238, 3), 17);
    EXPECT_EQ(palfind(17, 238, 4), -1);
}

TEST_F(Palette, IsGrayLooksAtTheUsedEntriesOnly) {
    EXPECT_EQ(palisgray(), -1) << "no entry in use";
    paladd(4, 4, 4);
    paladd(200, 200, 200);
    EXPECT_EQ(palisgray(), -1);
    paladd(200, 200, 201);
    EXPECT_EQ(palisgray(), 0);
}

struct BwCase {
    const char* name;
    std::vector<std::array<uint8_t, 3>> in, want;
};

constexpr std::array<uint8_t, 3> K = {0, 0, 0}, W = {255, 255, 255}, R = {255, 0, 0}, Gr = {0, 255, 0};

const BwCase kBw[] = {
    {"white", {W}, {W}},
    {"white_black", {W, K}, {K, W}},
    {"white_red_black", {W, R, K}, {K, R, W}},
    {"red_white_black", {R, W, K}, {K, R, W}},
    {"white_red_green", {W, R, Gr}, {Gr, R, W}},
    {"black", {K}, {K}},
    {"black_red", {K, R}, {K, R}},
    {"empty", {}, {}},
};

class NormBw : public Palette, public ::testing::WithParamInterface<BwCase> {};

TEST_P(NormBw, BlackFirstWhiteLastAndLookupsFollowTheSwaps) {
    const BwCase& c = GetParam();
    for (auto& e : c.in) paladd(e[0], e[1], e[2]);
    EXPECT_EQ(palnormbw(), -1);
    ASSERT_EQ(palcount(), (int)c.want.size());
    auto t = table();
    for (size_t i = 0; i < c.want.size(); i++) {
        EXPECT_EQ(t[i], c.want[i]) << "entry " << i;
        EXPECT_EQ(palfind(c.want[i][0], c.want[i][1], c.want[i][2]), (int)i);
    }
    for (size_t i = c.want.size(); i < 256; i++) EXPECT_EQ(t[i], (std::array<uint8_t, 3>{(uint8_t)i, (uint8_t)i, (uint8_t)i}));
}

INSTANTIATE_TEST_SUITE_P(Cases, NormBw, ::testing::ValuesIn(kBw),
                         [](const auto& i) { return std::string(i.param.name); });

// Random runs of every operation, colours drawn from a small set so that
// repeats, the 256 limit and the black and white swaps all happen: each
// answer and the whole table equal the plain model's.
TEST_F(Palette, AnswersEqualThePlainRuleOverRandomRuns) {
    std::mt19937 rng(7);
    for (int run = 0; run < 60; run++) {
        Model m;
        palclear();
        int span = run % 3 == 0 ? 40 : 400;  // few colours, or more than fit
        for (int step = 0; step < 3000; step++) {
            int v = (int)(rng() % span);
            std::array<uint8_t, 3> c = {(uint8_t)(v * 7), (uint8_t)(v / 37 * 50), (uint8_t)(v % 3 * 100)};
            if (v == 0) c = K;
            if (v == 1) c = W;
            if (v == 2) c = {9, 9, 9};
            unsigned op = rng() % 100;
            if (op < 70) {
                ASSERT_EQ(paladd(c[0], c[1], c[2]), m.add(c)) << "run " << run << " step " << step;
            } else if (op < 95) {
                ASSERT_EQ(palfind(c[0], c[1], c[2]), m.find(c)) << "run " << run << " step " << step;
            } else if (op < 98) {
                palnormbw();
                m.normbw();
            } else if (op < 99) {
                palsetgray();
                m.setgray();
            } else {
                palclear();
                m.clear();
            }
            ASSERT_EQ(palcount(), m.n);
        }
        auto t = table();
        for (int i = 0; i < 256; i++) ASSERT_EQ(t[i], m.e[i]) << "run " << run << " entry " << i;
    }
}

// ---- Files ---------------------------------------------------------------------

// The chunks of a PNG file, read without libpng.
struct Chunks {
    bool ok = false;
    std::vector<std::string> order;
    uint32_t width = 0, height = 0;
    int depth = 0, ctype = -1, interlace = -1;
    std::vector<std::array<uint8_t, 3>> plte;
    bool phys = false;
    uint32_t physx = 0, physy = 0;
    int physunit = -1;
};

Chunks readchunks(const std::vector<uint8_t>& f) {
    Chunks c;
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (f.size() < 8 || std::memcmp(f.data(), sig, 8) != 0) return c;
    size_t i = 8;
    while (i + 12 <= f.size()) {
        uint32_t n = get_be32(&f[i]);
        if (i + 12 + n > f.size()) return c;
        std::string type(reinterpret_cast<const char*>(&f[i + 4]), 4);
        const uint8_t* d = &f[i + 8];
        if (crc32(0, &f[i + 4], 4 + n) != get_be32(d + n)) return c;
        c.order.push_back(type);
        if (type == "IHDR" && n == 13) {
            c.width = get_be32(d);
            c.height = get_be32(d + 4);
            c.depth = d[8];
            c.ctype = d[9];
            c.interlace = d[12];
        } else if (type == "PLTE") {
            for (uint32_t k = 0; k + 3 <= n; k += 3) c.plte.push_back({d[k], d[k + 1], d[k + 2]});
        } else if (type == "pHYs" && n == 9) {
            c.phys = true;
            c.physx = get_be32(d);
            c.physy = get_be32(d + 4);
            c.physunit = d[8];
        }
        i += 12 + n;
    }
    c.ok = i == f.size() && !c.order.empty() && c.order.back() == "IEND";
    return c;
}

// Four planes of w * h + 16 bytes, as the loader makes them.
struct Img {
    int w = 0, h = 0;
    std::vector<uint8_t> R, G, B, A;
    Img(int w_, int h_) : w(w_), h(h_) {
        size_t n = (size_t)w * h + 16;
        R.assign(n, 0); G.assign(n, 0); B.assign(n, 0); A.assign(n, 255);
    }
    void set(size_t i, std::array<uint8_t, 3> c, uint8_t a = 255) { R[i] = c[0]; G[i] = c[1]; B[i] = c[2]; A[i] = a; }
    // What a decoder must give, R G B A top row first.
    std::vector<uint8_t> rgba(bool alpha) const {
        std::vector<uint8_t> v;
        for (size_t i = 0; i < (size_t)w * h; i++) v.insert(v.end(), {R[i], G[i], B[i], alpha ? A[i] : (uint8_t)255});
        return v;
    }
};

// Colour k of n distinct ones: grays (k * 151 mod 256 reaches every value
// once for k < 256), or colours that are never gray.
std::array<uint8_t, 3> colour(int k, bool gray) {
    if (gray) { uint8_t v = (uint8_t)(k * 151 % 256); return {v, v, v}; }
    return {(uint8_t)(k % 256), (uint8_t)((k * 37 + 11) % 256 ^ 0x80), (uint8_t)(k / 256 * 90 + 1)};
}

// An image of exactly n colours: every colour at least once (when w * h
// allows), in a scattered order, so that first appearance is not index order.
Img image(int w, int h, int n, bool gray, uint32_t seed = 1) {
    Img m(w, h);
    std::mt19937 rng(seed);
    size_t count = (size_t)w * h;
    for (size_t i = 0; i < count; i++) {
        int k = i < (size_t)n ? (int)((i * 7 + seed) % (size_t)n) : (int)(rng() % (uint32_t)n);
        m.set(i, colour(k, gray));
    }
    return m;
}

std::string saveout;  // the console text of the last save

int save(const std::string& path, const Img& m, int8_t trns) {
    testing::internal::CaptureStdout();
    int r = pngsaveplanes(path.c_str(), m.w, m.h, m.R.data(), m.G.data(), m.B.data(), m.A.data(), trns);
    saveout = testing::internal::GetCapturedStdout();
    return r;
}

enum AlphaPlane { kOpaque, kClear, kMixed };

struct FormatCase {
    const char* name;
    int w, h, colours;
    bool gray;
    AlphaPlane alpha;
    int trns;
    int depth, ctype, plte;  // what the file must hold (plte 0: none)
};

constexpr int kPal = PNG_COLOR_TYPE_PALETTE, kRGB = PNG_COLOR_TYPE_RGB, kRGBA = PNG_COLOR_TYPE_RGB_ALPHA;

const FormatCase kFormats[] = {
    {"one_colour", 5, 3, 1, false, kOpaque, 0, 1, kPal, 2},
    {"two_colours_33_wide", 33, 3, 2, false, kOpaque, 0, 1, kPal, 2},
    {"two_colours_32_wide_word_end", 32, 3, 2, false, kOpaque, 0, 1, kPal, 2},
    {"three_colours_1_wide", 1, 5, 3, false, kOpaque, 0, 4, kPal, 16},
    {"sixteen_colours_8_wide_word_end", 8, 4, 16, false, kOpaque, 0, 4, kPal, 16},
    {"sixteen_colours_33_wide", 33, 2, 16, false, kOpaque, 0, 4, kPal, 16},
    {"seventeen_colours_4_wide_word_end", 4, 9, 17, false, kOpaque, 0, 8, kPal, 256},
    {"seventeen_colours_33_wide", 33, 3, 17, false, kOpaque, 0, 8, kPal, 256},
    {"two_grays", 7, 2, 2, true, kOpaque, 0, 1, kPal, 2},
    {"grays_128", 16, 8, 128, true, kOpaque, 0, 8, kPal, 256},
    {"grays_129_mono", 33, 5, 129, true, kOpaque, 0, 8, kPal, 256},
    {"grays_256_mono", 16, 16, 256, true, kOpaque, 0, 8, kPal, 256},
    {"colours_256", 16, 17, 256, false, kOpaque, 0, 8, kPal, 256},
    {"colours_257", 33, 8, 257, false, kOpaque, 0, 8, kRGB, 0},
    {"colours_257_1_wide", 1, 257, 257, false, kOpaque, 0, 8, kRGB, 0},
    {"one_pixel", 1, 1, 1, false, kOpaque, 0, 1, kPal, 2},
    {"opaque_alpha_decided", 9, 3, 3, false, kOpaque, -1, 4, kPal, 16},
    {"clear_alpha_decided_opaque", 9, 3, 3, false, kClear, -1, 4, kPal, 16},
    {"mixed_alpha_decided", 9, 3, 3, false, kMixed, -1, 8, kRGBA, 0},
    {"mixed_alpha_1_wide", 1, 3, 3, false, kMixed, -1, 8, kRGBA, 0},
    {"alpha_asked_for", 33, 3, 2, false, kOpaque, 1, 8, kRGBA, 0},
    {"alpha_ignored_without_trns", 9, 3, 3, false, kMixed, 0, 4, kPal, 16},
};

Img formatimage(const FormatCase& c) {
    Img m = image(c.w, c.h, c.colours, c.gray);
    for (size_t i = 0; i < (size_t)c.w * c.h; i++)
        m.A[i] = c.alpha == kOpaque ? 255 : c.alpha == kClear ? 0 : (uint8_t)(i * 91 % 256);
    if (c.alpha == kMixed) { m.A[0] = 255; m.A[1 % (c.w * c.h)] = 0; }
    return m;
}

bool haschunk(const Chunks& c, const char* t) {
    for (auto& o : c.order) if (o == t) return true;
    return false;
}

class Format : public ImageTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(Format, FileHoldsTheDecidedFormatAndThePixels) {
    const FormatCase& c = GetParam();
    Img m = formatimage(c);
    std::string p = dir.str("out.png");
    ASSERT_EQ(save(p, m, (int8_t)c.trns), 0) << saveout;
    EXPECT_NE(saveout.find("(trns " + std::to_string(c.trns) + ") "), std::string::npos) << saveout;
    EXPECT_NE(saveout.find(std::to_string(c.ctype == kPal ? c.depth : c.ctype == kRGB ? 24 : 32) + "-bit "),
              std::string::npos) << saveout;
    EXPECT_TRUE(saveout.ends_with("PNG \ndone.\n")) << saveout;

    Chunks ch = readchunks(testutil::read_file(p));
    ASSERT_TRUE(ch.ok);
    EXPECT_EQ(ch.order.front(), "IHDR");
    EXPECT_EQ(ch.width, (uint32_t)c.w);
    EXPECT_EQ(ch.height, (uint32_t)c.h);
    EXPECT_EQ(ch.depth, c.depth);
    EXPECT_EQ(ch.ctype, c.ctype);
    EXPECT_EQ(ch.interlace, 0);
    EXPECT_EQ(ch.plte.size(), (size_t)c.plte);
    EXPECT_FALSE(haschunk(ch, "tRNS"));
    EXPECT_FALSE(haschunk(ch, "sBIT"));
    EXPECT_TRUE(ch.phys);
    EXPECT_EQ(ch.physx, 2835u);
    EXPECT_EQ(ch.physy, 2835u);
    EXPECT_EQ(ch.physunit, 1);

    pngfix::Planes back;
    ASSERT_EQ(back.load(p), 0);
    EXPECT_EQ(back.rgba(), m.rgba(c.ctype == kRGBA));
}

INSTANTIATE_TEST_SUITE_P(Cases, Format, ::testing::ValuesIn(kFormats),
                         [](const auto& i) { return std::string(i.param.name); });

// Every file of the format table, decoded by python3-png (through the
// project's PNG oracle) and by ImageMagick, must give the planes exactly,
// and python3-png must read the same format facts from its chunks.
// Both readers are Linux programs; the Windows build checks its files with
// the chunk reader and the loader above.
TEST_F(ImageTest, IndependentDecodersReadEveryFormatBack) {
#ifdef _WIN32
    GTEST_SKIP() << "python3-png and ImageMagick run on Linux only";
#else
    std::string list = dir.str("jobs.txt");
    std::ofstream jobs(list);
    for (const FormatCase& c : kFormats) {
        Img m = formatimage(c);
        std::string p = dir.str(std::string(c.name) + ".png");
        ASSERT_EQ(save(p, m, (int8_t)c.trns), 0) << c.name;
        std::string want = dir.str(std::string(c.name) + ".rgba");
        testutil::write_file(want, m.rgba(c.ctype == kRGBA));
        jobs << p << '\t' << want << '\t' << c.depth << '\t' << c.ctype << '\t' << c.plte << '\n';
    }
    jobs.close();
    std::string out = dir.str("check.txt");
    std::string cmd = testutil::python() + " '" + std::string(RK_SOURCE_DIR) + "/tests/image/png_check.py' '" + list +
                      "' > '" + out + "' 2>&1";
    int rc = std::system(cmd.c_str());
    std::ifstream f(out);
    std::string said((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(rc, 0) << said;
#endif
}

// ---- The palettes the edge cases call for ---------------------------------------

std::vector<std::array<uint8_t, 3>> saveplte(const std::string& p, const Img& m, int* depth) {
    EXPECT_EQ(save(p, m, 0), 0) << saveout;
    Chunks ch = readchunks(testutil::read_file(p));
    EXPECT_TRUE(ch.ok);
    *depth = ch.depth;
    return ch.plte;
}

TEST_F(ImageTest, OneWhiteColourGivesTwoEntriesWhiteThenOne) {
    Img m(4, 2);
    for (size_t i = 0; i < 8; i++) m.set(i, W);
    int depth;
    auto plte = saveplte(dir.str("w.png"), m, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(plte, (std::vector<std::array<uint8_t, 3>>{W, {1, 1, 1}}));
}

TEST_F(ImageTest, BlackGoesFirstWhiteLastRestInOrderOfAppearance) {
    const std::array<uint8_t, 3> seq[] = {R, W, Gr, K, {0, 0, 255}, {0, 255, 255}, {255, 0, 255}};
    Img m(7, 3);
    for (size_t i = 0; i < 21; i++) m.set(i, seq[i % 7]);
    int depth;
    auto plte = saveplte(dir.str("bw.png"), m, &depth);
    EXPECT_EQ(depth, 4);
    std::vector<std::array<uint8_t, 3>> want = {K, {255, 0, 255}, Gr, R, {0, 0, 255}, {0, 255, 255}, W};
    for (uint8_t i = 7; i < 16; i++) want.push_back({i, i, i});
    EXPECT_EQ(plte, want);
    pngfix::Planes back;
    ASSERT_EQ(back.load(dir.str("bw.png")), 0);
    EXPECT_EQ(back.rgba(), m.rgba(false));
}

TEST_F(ImageTest, HundredGraysKeepTheirOrderTwoHundredGetTheRamp) {
    // 100 grays, black and white among them but neither first nor last.
    Img few(10, 10);
    std::vector<std::array<uint8_t, 3>> order;
    for (int k = 0; k < 100; k++) {
        uint8_t v = k == 40 ? 255 : k == 60 ? 0 : (uint8_t)(k * 2 + 30);
        few.set(k, {v, v, v});
        order.push_back({v, v, v});
    }
    std::swap(order[0], order[60]);   // black to entry 0
    std::swap(order[40], order[99]);  // white to the last used entry
    for (int i = 100; i < 256; i++) order.push_back({(uint8_t)i, (uint8_t)i, (uint8_t)i});
    int depth;
    EXPECT_EQ(saveplte(dir.str("g100.png"), few, &depth), order);
    EXPECT_EQ(depth, 8);

    Img many = image(20, 10, 200, true);
    std::vector<std::array<uint8_t, 3>> ramp;
    for (int i = 0; i < 256; i++) ramp.push_back({(uint8_t)i, (uint8_t)i, (uint8_t)i});
    EXPECT_EQ(saveplte(dir.str("g200.png"), many, &depth), ramp);
    EXPECT_EQ(depth, 8);
    pngfix::Planes back;
    ASSERT_EQ(back.load(dir.str("g200.png")), 0);
    EXPECT_EQ(back.rgba(), many.rgba(false)) << "each index is its gray value";
}

// ---- The console line -----------------------------------------------------------

struct LineCase {
    const char* name;
    int colours;
    bool gray;
    AlphaPlane alpha;
    int trns;
    const char* want;
};

const LineCase kLines[] = {
    {"grays_200_mono", 200, true, kOpaque, 0,
     "Checking PNG type ... (trns 0) (200 colors)(mono)8-bit (mono) PNG \ndone.\n"},
    {"grays_128", 128, true, kOpaque, 0, "Checking PNG type ... (trns 0) (128 colors)8-bit PNG \ndone.\n"},
    {"colours_5", 5, false, kOpaque, 0, "Checking PNG type ... (trns 0) (5 colors)4-bit PNG \ndone.\n"},
    {"colours_257", 257, false, kOpaque, 0, "Checking PNG type ... (trns 0) 24-bit PNG \ndone.\n"},
    {"decided_opaque", 2, false, kOpaque, -1,
     "Checking PNG type ... (trns -1) (and 255 or 255) (2 colors)1-bit PNG \ndone.\n"},
    {"decided_clear", 2, false, kClear, -1,
     "Checking PNG type ... (trns -1) (and 0 or 0) (2 colors)1-bit PNG \ndone.\n"},
    {"decided_alpha", 2, false, kMixed, -1, "Checking PNG type ... (trns -1) (and 0 or 255) 32-bit (trans) PNG \ndone.\n"},
    {"alpha_asked_for", 2, false, kOpaque, 1, "Checking PNG type ... (trns 1) 32-bit (trans) PNG \ndone.\n"},
};

class Line : public ImageTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(Line, ComesInItsOrder) {
    const LineCase& c = GetParam();
    Img m = image(20, 20, c.colours, c.gray);
    for (size_t i = 0; i < 400; i++) m.A[i] = c.alpha == kOpaque ? 255 : c.alpha == kClear ? 0 : (uint8_t)(i % 2 * 255);
    ASSERT_EQ(save(dir.str("l.png"), m, (int8_t)c.trns), 0);
    EXPECT_EQ(saveout, c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, Line, ::testing::ValuesIn(kLines),
                         [](const auto& i) { return std::string(i.param.name); });

// ---- Failures ---------------------------------------------------------------------

struct SizeCase {
    const char* name;
    int w, h;
};

// The planes are null: a refused size must be refused before any is read.
const SizeCase kBadSizes[] = {
    {"zero_width", 0, 5},
    {"zero_height", 5, 0},
    {"negative_height", 5, -3},
    {"negative_width", -5, 3},
    {"count_wraps_32_bits", 50000, 50000},
    {"planes_just_past_int32", INT32_MAX - 15, 1},
};

class BadSize : public ImageTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(BadSize, IsRefusedBeforeThePlanesAreReadAndNothingIsCreated) {
    const SizeCase& c = GetParam();
    std::string p = dir.str("no.png");
    for (int trns : {0, -1, 1}) {
        testing::internal::CaptureStdout();
        int r = pngsaveplanes(p.c_str(), c.w, c.h, nullptr, nullptr, nullptr, nullptr, (int8_t)trns);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(r, -2);
        EXPECT_EQ(out, "Checking PNG type ... (trns " + std::to_string(trns) + ") Cannot allocate imgbuf memory. \n");
        EXPECT_FALSE(fs::exists(p));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadSize, ::testing::ValuesIn(kBadSizes),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(ImageTest, RecordThatCannotBeAllocatedCreatesNothing) {
    Img m = image(9, 4, 5, false);
    for (int failat = 1; failat <= 3; failat++) {  // palette, row table, block
        pngfix::Alloc fail(failat);
        std::string p = dir.str("no.png");
        EXPECT_EQ(save(p, m, 0), -2) << "allocation " << failat;
        EXPECT_NE(saveout.find("PNG \nCannot allocate imgbuf memory. \n"), std::string::npos) << saveout;
        EXPECT_FALSE(fs::exists(p));
    }
}

struct KeyCase {
    const char* name;
    std::vector<std::pair<int, int>> keys;
    int want;
};

// ESC stops; Ctrl-C and other keys are taken and dropped.
const KeyCase kKeys[] = {
    {"esc_first_row", {{1, 27}}, 27},
    {"esc_last_row", {{6, 27}}, 27},
    {"letter", {{1, 'a'}}, 0},
    {"ctrl_c", {{2, 3}}, 0},
    {"letter_then_esc", {{1, 'x'}, {3, 27}}, 27},
};

class Key : public ImageTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(Key, EscStopsBeforeAnythingIsWritten) {
    const KeyCase& c = GetParam();
    Img m = image(10, 6, 300, false);
    pngfix::Keys keys(c.keys);
    std::string p = dir.str("k.png");
    EXPECT_EQ(save(p, m, 0), c.want);
    EXPECT_EQ(fs::exists(p), c.want == 0);
    EXPECT_EQ(saveout.find("done.") != std::string::npos, c.want == 0);
    EXPECT_EQ(getlastkey(), 0) << "the key was taken";
}

INSTANTIATE_TEST_SUITE_P(Cases, Key, ::testing::ValuesIn(kKeys),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(ImageTest, FileThatCannotBeCreatedFailsWithItsName) {
    Img m = image(3, 3, 2, false);
    std::string p = dir.str("missing/x.png");
    Tap tap;
    testing::internal::CaptureStdout();
    int r = pngsaveplanes(p.c_str(), 3, 3, m.R.data(), m.G.data(), m.B.data(), m.A.data(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, -3);
    EXPECT_TRUE(tap.saw("Cannot create: " + p + "\n")) << tap.all();
    EXPECT_EQ(out.find("done."), std::string::npos);
}

// A small file lies whole in WR's buffer until the close, a large one fails
// in libpng's writes: neither may end in "done." or 0.
TEST_F(ImageTest, FullDiskNeverGivesDone) {
    const std::string full = pngfix::fulldisk();
    if (full.empty()) GTEST_SKIP() << "no full disk device here";
    std::mt19937 rng(3);
    struct { const char* name; int w, h; bool noise; } cases[] = {
        {"small_palette", 4, 4, false}, {"small_rgb", 30, 30, true}, {"large_rgb", 300, 300, true}};
    for (auto& c : cases) {
        Img m = image(c.w, c.h, 3, false);
        if (c.noise)
            for (size_t i = 0; i < (size_t)c.w * c.h; i++) m.set(i, {(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()});
        Tap tap;
        EXPECT_EQ(save(full, m, 0), -3) << c.name;
        EXPECT_EQ(saveout.find("done."), std::string::npos) << c.name;
        EXPECT_TRUE(tap.saw("ERROR(libpng): Write Error - " + full + "\n")) << c.name << ": " << tap.all();
        EXPECT_EQ(wferr(), -1) << "WR is closed";
    }
}

// ---- The encoder on records it is given -----------------------------------------

imgrec record(uint32_t w, int32_t h, uint32_t bpp, uint32_t colors, int alpha) {
    imgrec r;
    imginit(&r);
    r.width = w; r.height = h; r.bpp = bpp; r.colors = colors; r.topdown = 0; r.alpha = alpha;
    EXPECT_EQ(imgalloc(&r), 1);
    std::memset(r.sbit, 8, 5);
    for (int32_t y = 0; y < h; y++) for (uint32_t x = 0; x < r.stride; x++) r.rows[y][x] = (uint8_t)(x * 3 + y * 5);
    for (uint32_t i = 0; i < colors * 3; i++) r.palette[i] = (uint8_t)(i * 7);
    return r;
}

TEST_F(ImageTest, RecordOf32BitsWithoutAlphaDropsItsFourthByte) {
    imgrec r = record(5, 3, 32, 0, 0);
    std::vector<uint8_t> want;
    for (int32_t y = 0; y < 3; y++)
        for (uint32_t x = 0; x < 5; x++) want.insert(want.end(), {r.rows[y][4 * x + 2], r.rows[y][4 * x + 1], r.rows[y][4 * x], 255});
    std::string p = dir.str("r.png");
    ASSERT_EQ(pngencode(p.c_str(), &r), 1);
    EXPECT_EQ(r.bits, nullptr) << "the record is released";
    Chunks ch = readchunks(testutil::read_file(p));
    EXPECT_EQ(ch.ctype, kRGB);
    pngfix::Planes back;
    ASSERT_EQ(back.load(p), 0);
    EXPECT_EQ(back.rgba(), want);
}

TEST_F(ImageTest, RecordWithFewerSignificantBitsGetsAnSbitChunk) {
    imgrec r = record(4, 2, 24, 0, 0);
    r.sbit[0] = 5; r.sbit[1] = 6; r.sbit[2] = 5;
    std::string p = dir.str("s.png");
    ASSERT_EQ(pngencode(p.c_str(), &r), 1);
    std::vector<uint8_t> f = testutil::read_file(p);
    Chunks ch = readchunks(f);
    ASSERT_TRUE(haschunk(ch, "sBIT"));
    auto at = std::search(f.begin(), f.end(), std::begin("sBIT"), std::begin("sBIT") + 4);
    EXPECT_EQ(std::vector<uint8_t>(at + 4, at + 7), (std::vector<uint8_t>{5, 6, 5}));
}

TEST_F(ImageTest, RecordLibpngRefusesFailsWithItsMessage) {
    imgrec r = record(4, 2, 16, 0, 0);  // a palette of 16-bit indices
    Tap tap;
    std::string p = dir.str("bad.png");
    EXPECT_EQ(pngencode(p.c_str(), &r), 0);
    EXPECT_TRUE(tap.saw("ERROR(libpng): ")) << tap.all();
    EXPECT_TRUE(tap.saw(" - " + p + "\n")) << tap.all();
    EXPECT_EQ(r.bits, nullptr);
    EXPECT_EQ(progactive(), 0);
}

TEST_F(ImageTest, RecordWithoutPathFails) {
    imgrec r = record(4, 2, 8, 256, 0);
    Tap tap;
    EXPECT_EQ(pngencode(nullptr, &r), 0);
    EXPECT_TRUE(tap.saw("Cannot create: \n")) << tap.all();
    EXPECT_EQ(r.bits, nullptr);
}

TEST_F(ImageTest, WideNameCreatesTheFileAndNamesItInMessages) {
    imgrec r = record(6, 2, 4, 16, 0);
    std::u16string wp = testutil::u16(dir.str("\xE7\x94\xBB\xE5\x83\x8F.png"));  // two kanji
    char buf[272];
    ASSERT_EQ(image_detail::pngencodecore(nullptr, buf, wp.c_str(), 0xFF, &r), 1);
    EXPECT_TRUE(fs::exists(fs::path(wp)));

    imgrec bad = record(6, 2, 4, 16, 0);
    std::u16string missing = testutil::u16(dir.str("none/x.png"));
    Tap tap;
    EXPECT_EQ(image_detail::pngencodecore(nullptr, buf, missing.c_str(), 0xFF, &bad), 0);
    EXPECT_TRUE(tap.saw("Cannot create: " + dir.str("none/x.png") + "\n")) << tap.all();
}

}  // namespace
