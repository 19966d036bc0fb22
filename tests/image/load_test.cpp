// load_test.cpp - the plane loader: planes for every kind of PNG against
// independently mapped samples, the keep rule, keys, and the state of the
// planes after every failure.
#include "pngfix.h"

#include <filesystem>

namespace {

// Cases print as their names in failure output.
template <class C>
    requires requires(const C& c) { c.name; }
void PrintTo(const C& c, std::ostream* os) {
    *os << c.name;
}

using pngfix::Alloc;
using pngfix::ImageTest;
using pngfix::Keys;
using pngfix::Planes;
using pngfix::Pic;

constexpr int G = PNG_COLOR_TYPE_GRAY, P = PNG_COLOR_TYPE_PALETTE, RGB = PNG_COLOR_TYPE_RGB,
              GA = PNG_COLOR_TYPE_GRAY_ALPHA, RGBA = PNG_COLOR_TYPE_RGB_ALPHA;

struct KindCase {
    const char* name;
    int ctype, depth;
    bool trns, interlace;
    uint32_t w, h;
};

const KindCase kKinds[] = {
    {"gray1w33", G, 1, false, false, 33, 3},   // two words per row
    {"gray2", G, 2, false, false, 7, 4},
    {"gray4", G, 4, false, false, 9, 3},
    {"gray8", G, 8, false, false, 5, 5},
    {"gray16", G, 16, false, false, 5, 5},
    {"pal1", P, 1, false, false, 31, 2},
    {"pal2", P, 2, false, false, 5, 3},
    {"pal4", P, 4, false, false, 3, 3},
    {"pal8", P, 8, false, false, 17, 4},
    {"rgb8w3", RGB, 8, false, false, 3, 4},    // 3 padding bytes per row
    {"rgb16", RGB, 16, false, false, 6, 2},
    {"ga8", GA, 8, false, false, 4, 4},
    {"ga16", GA, 16, false, false, 4, 4},
    {"rgba8", RGBA, 8, false, false, 10, 3},
    {"rgba16", RGBA, 16, false, false, 3, 3},
    {"pal4trns", P, 4, true, false, 9, 9},
    {"gray8key", G, 8, true, false, 8, 8},
    {"rgb16key", RGB, 16, true, false, 5, 6},
    {"ipal1", P, 1, false, true, 9, 9},
    {"irgba8", RGBA, 8, false, true, 11, 10},
    {"igray4key", G, 4, true, true, 10, 11},
};

Pic kindpic(const KindCase& c) {
    Pic s = pngfix::make(c.w, c.h, c.ctype, c.depth, c.interlace, 3);
    if (c.trns && c.ctype == P) {
        s.trnsalpha = {0, 128, 255, 7};
    } else if (c.trns) {
        s.haskey = true;
        const uint16_t* px = &s.samples[pngfix::channels(c.ctype) * (c.w + 2)];  // pixel (2, 1)
        if (c.ctype == G) s.key.gray = px[0];
        else { s.key.red = px[0]; s.key.green = px[1]; s.key.blue = px[2]; }
    }
    return s;
}

class LoadKind : public ImageTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(LoadKind, PlanesMatchTheSamples) {
    const KindCase& c = GetParam();
    Pic s = kindpic(c);
    std::string path = put("k.png", pngfix::write(s));
    Planes p;
    ASSERT_EQ(p.load(path), 0);
    EXPECT_EQ(p.width, (int)c.w);
    EXPECT_EQ(p.height, (int)c.h);
    EXPECT_EQ(p.reallocated, 0xFF);
    std::vector<uint8_t> want = pngfix::rgba(s);
    EXPECT_EQ(p.rgba(), want);
    bool anyalpha = false;
    for (size_t i = 3; i < want.size(); i += 4) anyalpha |= want[i] != 255;
    EXPECT_EQ(p.hasalpha, anyalpha ? 0xFF : 0);
    EXPECT_EQ(rfeof(), -1);
}

INSTANTIATE_TEST_SUITE_P(Load, LoadKind, ::testing::ValuesIn(kKinds),
                         [](const auto& i) { return std::string(i.param.name); });

class Load : public ImageTest {};

TEST_F(Load, HasAlphaOnlyWhenAnAlphaByteIsNot255) {
    for (uint16_t lowest : {255, 254, 0}) {
        Pic s = pngfix::make(4, 3, RGBA, 8);
        for (size_t i = 3; i < s.samples.size(); i += 4) s.samples[i] = 255;
        s.samples[4 * 7 + 3] = lowest;
        Planes p;
        ASSERT_EQ(p.load(put("a.png", pngfix::write(s))), 0);
        EXPECT_EQ(p.hasalpha, lowest == 255 ? 0 : 0xFF) << lowest;
    }
}

// The plain loader frees and allocates the four planes every time; the keep
// loader reuses same-sized planes and leaves reallocated alone.
TEST_F(Load, KeepRule) {
    std::string a = put("a.png", pngfix::write(pngfix::make(8, 6, RGB, 8, false, 1)));
    std::string b = put("b.png", pngfix::write(pngfix::make(8, 6, RGB, 8, false, 2)));
    std::string c = put("c.png", pngfix::write(pngfix::make(9, 6, RGB, 8, false, 3)));
    Alloc alloc;
    Planes p;
    ASSERT_EQ(p.load(a), 0);
    EXPECT_EQ(Alloc::calls(), 2 + 4);  // record rows and block, four planes
    EXPECT_EQ(p.reallocated, 0xFF);

    Alloc::calls() = 0;
    p.reallocated = 0x11;
    ASSERT_EQ(p.load(b), 0);
    EXPECT_EQ(Alloc::calls(), 2 + 4);
    EXPECT_EQ(p.reallocated, 0xFF);

    Alloc::calls() = 0;
    p.reallocated = 0x11;
    uint8_t* r = p.R;
    ASSERT_EQ(p.loadkeep(a), 0);
    EXPECT_EQ(Alloc::calls(), 2);
    EXPECT_EQ(p.reallocated, 0x11);
    EXPECT_EQ(p.R, r);
    EXPECT_EQ(p.rgba(), pngfix::rgba(pngfix::make(8, 6, RGB, 8, false, 1)));

    Alloc::calls() = 0;
    ASSERT_EQ(p.loadkeep(c), 0);  // another size
    EXPECT_EQ(Alloc::calls(), 2 + 4);
    EXPECT_EQ(p.reallocated, 0xFF);
    EXPECT_EQ(p.width, 9);
}

// Keys are polled once per row, bottom row first.  ESC at the third poll
// stops after two rows; only those rows count for hasalpha, while the rows
// above them (unconverted, here filled with 0 by the allocator) would look
// transparent.
TEST_F(Load, EscStopsAndHasAlphaSeesOnlyConvertedRows) {
    Pic s = pngfix::make(5, 6, RGBA, 8);
    for (uint32_t y = 0; y < 6; y++)
        for (uint32_t x = 0; x < 5; x++) s.samples[4 * (y * 5 + x) + 3] = y >= 4 ? 255 : 9;
    std::string path = put("e.png", pngfix::write(s));
    auto want = pngfix::rgba(s);
    struct { int key; int result; } cases[] = {{27, 27}, {3, 3}};
    for (auto& c : cases) {
        Alloc alloc(0, 0);
        Keys keys({{3, c.key}});
        Planes p;
        EXPECT_EQ(p.load(path), c.result);
        ASSERT_NE(p.A, nullptr);
        EXPECT_EQ(p.reallocated, 0xFF);
        EXPECT_EQ(p.hasalpha, 0) << "key " << c.key;
        EXPECT_EQ(Keys::polls(), 3);
        auto got = p.rgba();
        EXPECT_TRUE(std::equal(got.begin() + 4 * 20, got.end(), want.begin() + 4 * 20));
        EXPECT_EQ(getlastkey(), 0);  // the key was taken
    }
    // A stop in the transparent rows sees them.
    Keys keys({{5, 27}});
    Planes p;
    EXPECT_EQ(p.load(path), 27);
    EXPECT_EQ(p.hasalpha, 0xFF);
}

TEST_F(Load, OtherKeysAreDropped) {
    Pic s = pngfix::make(4, 4, RGB, 8);
    std::string path = put("k.png", pngfix::write(s));
    Keys keys({{1, 'a'}, {3, ' '}});
    Planes p;
    EXPECT_EQ(p.load(path), 0);
    EXPECT_EQ(Keys::polls(), 4);
    EXPECT_EQ(p.rgba(), pngfix::rgba(s));
    EXPECT_EQ(getlastkey(), 0);
}

TEST_F(Load, KeyLatchedBeforeTheLoadStopsAtOnce) {
    std::string path = put("k.png", pngfix::write(pngfix::make(4, 4, RGBA, 8)));
    Keys keys({});
    setlastkey(27);
    Planes p;
    EXPECT_EQ(p.load(path), 27);
    EXPECT_EQ(p.hasalpha, 0);  // no row converted
    EXPECT_NE(p.R, nullptr);
}

// Before the planes are touched: the file, its signature, the decode.
struct EarlyCase {
    const char* name;
    std::vector<uint8_t> (*bytes)();  // null: no file
    int result;
};

std::vector<uint8_t> good() { return pngfix::write(pngfix::make(4, 4, RGB, 8)); }

const EarlyCase kEarly[] = {
    {"missing", nullptr, -1},
    {"empty", [] { return std::vector<uint8_t>(); }, 2},
    {"notPng", [] { return std::vector<uint8_t>(300, 'x'); }, 2},
    {"badLetters", [] { auto f = good(); f[2] = 'M'; return f; }, 2},
    // 0x89 at 0 and then not "PNG": offset 128 is not looked at.
    {"x89ThenGarbageThenPng",
     [] { std::vector<uint8_t> pre(128, 0); pre[0] = 0x89; return pngfix::cat({pre, good()}); }, 2},
    {"truncated", [] { auto f = good(); f.erase(f.end() - 20, f.end()); return f; }, -2},
    {"badCrc", [] { auto f = good(); f[29] ^= 1; return f; }, -2},
    // Only the first four signature bytes are the loader's; the rest fail
    // in the decoder.
    {"badSignatureTail", [] { auto f = good(); f[6] = 0; return f; }, -2},
};

class LoadEarly : public ImageTest, public ::testing::WithParamInterface<EarlyCase> {};

TEST_P(LoadEarly, PlanesUntouched) {
    const EarlyCase& c = GetParam();
    std::string path = c.bytes ? put("f.png", c.bytes()) : dir.str("none.png");
    Planes p;
    p.width = 4;
    p.height = 4;
    for (uint8_t** pl : {&p.R, &p.G, &p.B, &p.A}) *pl = (uint8_t*)std::malloc(32);
    uint8_t* r = p.R;
    EXPECT_EQ(p.load(path), c.result);
    EXPECT_EQ(p.R, r);
    EXPECT_EQ(p.width, 4);
    EXPECT_EQ(p.reallocated, 0x55);
    EXPECT_EQ(p.hasalpha, 0x55);
    EXPECT_EQ(rfeof(), -1);
}

INSTANTIATE_TEST_SUITE_P(Load, LoadEarly, ::testing::ValuesIn(kEarly),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Load, PreambleLoadsLikeTheBareFile) {
    Pic s = pngfix::make(7, 5, P, 4, true);
    std::vector<uint8_t> pre(128, 0x33);
    Planes p;
    ASSERT_EQ(p.load(put("p.png", pngfix::cat({pre, pngfix::write(s)}))), 0);
    EXPECT_EQ(p.rgba(), pngfix::rgba(s));
}

// A plane that cannot be allocated: all four null, reallocated 0, the size 0
// unless keeping, and nothing leaked (record and planes alike).
TEST_F(Load, PlaneAllocationFails) {
    std::string path = put("a.png", pngfix::write(pngfix::make(4, 4, RGB, 8)));
    for (int plane = 1; plane <= 4; plane++)
        for (bool keep : {false, true}) {
            Planes p;
            p.width = 3;
            p.height = 3;
            Alloc alloc(2 + plane);  // after the record's rows and block
            EXPECT_EQ(keep ? p.loadkeep(path) : p.load(path), -3);
            EXPECT_TRUE(!p.R && !p.G && !p.B && !p.A) << "plane " << plane;
            EXPECT_EQ(p.reallocated, 0);
            EXPECT_EQ(p.width, keep ? 3 : 0);
            EXPECT_EQ(p.height, keep ? 3 : 0);
        }
}

// 46341 x 46341 pixels pass 2^31 - 17: the planes' int size would wrap, so
// the load is refused with -3 after a successful decode (a 1-bit image keeps
// the record itself small).
TEST_F(Load, PlanesTooLargeForAnInt) {
    std::string path = put("big.png", pngfix::blankmono(46341, 46341));
    Alloc alloc;
    Planes p;
    EXPECT_EQ(p.load(path), -3);
    EXPECT_TRUE(!p.R && !p.G && !p.B && !p.A);
    EXPECT_EQ(p.width, 0);
    EXPECT_EQ(Alloc::calls(), 3);  // palette, rows and block of the record; no plane
}

TEST_F(Load, WidePath) {
    Pic s = pngfix::make(6, 2, GA, 16);
    testutil::write_file(dir.path() / std::filesystem::u8path("\xE3\x81\x82.png"), pngfix::write(s));
    Planes p;
    ASSERT_EQ(p.loadW(testutil::u16(dir.str()) + u"/\u3042.png"), 0);
    EXPECT_EQ(p.rgba(), pngfix::rgba(s));
    EXPECT_EQ(pngloadkeepW((testutil::u16(dir.str()) + u"/\u3042.png").c_str(), &p.width, &p.height, &p.R,
                           &p.G, &p.B, &p.A, &p.reallocated, &p.hasalpha),
              0);
    Planes q;
    EXPECT_EQ(q.loadW(testutil::u16(dir.str()) + u"/\u3044.png"), -1);
}

TEST_F(Load, LoaderSetsTheDecoderSettings) {
    pngalphamode = 0;
    pngtrnsalpha = 0;
    Pic s = pngfix::make(3, 3, RGBA, 8);
    Planes p;
    ASSERT_EQ(p.load(put("s.png", pngfix::write(s))), 0);
    EXPECT_EQ(p.rgba(), pngfix::rgba(s));
    EXPECT_EQ(pngalphamode, 2);
    EXPECT_EQ(pngtrnsalpha, 1);
}

TEST_F(Load, ExitHandlerReleasesTheDriversPlanes) {
    std::string path = put("m.png", pngfix::write(pngfix::make(4, 4, RGB, 8)));
    ASSERT_EQ(pngload(path.c_str(), &mainplanes.width, &mainplanes.height, &mainplanes.R, &mainplanes.G,
                      &mainplanes.B, &mainplanes.A, &mainplanes.reallocated, &mainplanes.hasalpha),
              0);
    EXPECT_EQ(mainplanes.reallocated, 0xFF);
    imgfree4();
    EXPECT_TRUE(!mainplanes.R && !mainplanes.G && !mainplanes.B && !mainplanes.A);
    EXPECT_EQ(mainplanes.reallocated, 0);
    imgfree4();  // twice is harmless
    imgfree4reg();
    imgfree4reg();
}

}  // namespace
