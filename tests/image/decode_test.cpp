// decode_test.cpp - the PNG decoder: the record's format for every colour
// type and depth, its pixels against independently mapped samples, the
// preamble, interlacing, the settings, and every failure path.
#include "pngfix.h"

#include <filesystem>
#include <functional>

namespace {

// Cases print as their names in failure output.
template <class C>
    requires requires(const C& c) { c.name; }
void PrintTo(const C& c, std::ostream* os) {
    *os << c.name;
}

using pngfix::ImageTest;
using pngfix::Pic;
using pngfix::Tap;

// The record read back as R G B A, independently of the plane loader: palette
// indices from the most significant bit, B G R (A) for 24 and 32 bpp.
std::vector<uint8_t> recrgba(const imgrec& rec) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < rec.height; y++) {
        const uint8_t* row = rec.rows[y];
        for (uint32_t x = 0; x < rec.width; x++) {
            if (rec.bpp <= 8) {
                size_t bit = (size_t)x * rec.bpp;
                unsigned i = (row[bit / 8] >> (8 - rec.bpp - bit % 8)) & ((1u << rec.bpp) - 1);
                out.insert(out.end(), {rec.palette[3 * i], rec.palette[3 * i + 1], rec.palette[3 * i + 2], 255});
            } else if (rec.bpp == 24) {
                out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x], 255});
            } else {
                out.insert(out.end(), {row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]});
            }
        }
    }
    return out;
}

enum Trns { kNone, kPalAlpha, kKey };

struct KindCase {
    const char* name;
    int ctype, depth;
    Trns trns;
    bool interlace;
    uint32_t bpp, colors;
    int alpha;
};

constexpr int G = PNG_COLOR_TYPE_GRAY, P = PNG_COLOR_TYPE_PALETTE, RGB = PNG_COLOR_TYPE_RGB,
              GA = PNG_COLOR_TYPE_GRAY_ALPHA, RGBA = PNG_COLOR_TYPE_RGB_ALPHA;

const KindCase kKinds[] = {
    {"gray1", G, 1, kNone, false, 1, 2, 0},
    {"gray2", G, 2, kNone, false, 4, 16, 0},
    {"gray4", G, 4, kNone, false, 4, 16, 0},
    {"gray8", G, 8, kNone, false, 8, 256, 0},
    {"gray16", G, 16, kNone, false, 8, 256, 0},
    {"pal1", P, 1, kNone, false, 1, 2, 0},
    {"pal2", P, 2, kNone, false, 4, 16, 0},
    {"pal4", P, 4, kNone, false, 4, 16, 0},
    {"pal8", P, 8, kNone, false, 8, 256, 0},
    {"rgb8", RGB, 8, kNone, false, 24, 0, 0},
    {"rgb16", RGB, 16, kNone, false, 24, 0, 0},
    {"ga8", GA, 8, kNone, false, 32, 0, 1},
    {"ga16", GA, 16, kNone, false, 32, 0, 1},
    {"rgba8", RGBA, 8, kNone, false, 32, 0, 1},
    {"rgba16", RGBA, 16, kNone, false, 32, 0, 1},
    {"gray1key", G, 1, kKey, false, 32, 0, 1},
    {"gray2key", G, 2, kKey, false, 32, 0, 1},
    {"gray4key", G, 4, kKey, false, 32, 0, 1},
    {"gray8key", G, 8, kKey, false, 32, 0, 1},
    {"gray16key", G, 16, kKey, false, 32, 0, 1},
    {"pal1trns", P, 1, kPalAlpha, false, 32, 0, 1},
    {"pal2trns", P, 2, kPalAlpha, false, 32, 0, 1},
    {"pal8trns", P, 8, kPalAlpha, false, 32, 0, 1},
    {"rgb8key", RGB, 8, kKey, false, 32, 0, 1},
    {"rgb16key", RGB, 16, kKey, false, 32, 0, 1},
    {"igray2", G, 2, kNone, true, 4, 16, 0},
    {"igray16", G, 16, kNone, true, 8, 256, 0},
    {"ipal2", P, 2, kNone, true, 4, 16, 0},
    {"ipal4trns", P, 4, kPalAlpha, true, 32, 0, 1},
    {"irgb8", RGB, 8, kNone, true, 24, 0, 0},
    {"irgba16", RGBA, 16, kNone, true, 32, 0, 1},
    {"iga8", GA, 8, kNone, true, 32, 0, 1},
};

// A picture of the case's kind, with a tRNS as the case asks: palette alphas
// for the first entries, or a key equal to one of the samples.
Pic kindpic(const KindCase& c, uint32_t w, uint32_t h) {
    Pic s = pngfix::make(w, h, c.ctype, c.depth, c.interlace);
    if (c.trns == kPalAlpha) {
        for (size_t i = 0; i < s.palette.size() && i < 5; i++) s.trnsalpha.push_back((uint8_t)(i * 60));
    } else if (c.trns == kKey) {
        s.haskey = true;
        const uint16_t* px = &s.samples[pngfix::channels(c.ctype) * (w + 1)];  // pixel (1, 1)
        if (c.ctype == G) s.key.gray = px[0];
        else { s.key.red = px[0]; s.key.green = px[1]; s.key.blue = px[2]; }
    }
    return s;
}

class DecodeKind : public ImageTest, public ::testing::WithParamInterface<KindCase> {};

// Widths around the byte and word boundaries of every depth.
TEST_P(DecodeKind, RecordFormatAndPixels) {
    const KindCase& c = GetParam();
    for (uint32_t w : {1u, 3u, 5u, 13u, 33u}) {
        Pic s = kindpic(c, w, 7);
        std::string path = put("k.png", pngfix::write(s));
        imgrec rec;
        ASSERT_EQ(pngdecode(path.c_str(), &rec), 1) << "width " << w;
        SCOPED_TRACE(testing::Message() << "width " << w);
        EXPECT_EQ(rec.width, w);
        EXPECT_EQ(rec.height, 7);
        EXPECT_EQ(rec.bpp, c.bpp);
        EXPECT_EQ(rec.colors, c.colors);
        EXPECT_EQ(rec.alpha, c.alpha);
        EXPECT_EQ(rec.topdown, 0);
        EXPECT_EQ(rec.palette != nullptr, c.colors > 0);
        EXPECT_EQ(recrgba(rec), pngfix::rgba(s));
        // Padding after the pixels is 0 in every row.
        size_t used = ((size_t)w * c.bpp + 7) / 8;
        for (int32_t y = 0; y < rec.height; y++)
            for (size_t i = used; i < rec.stride; i++) EXPECT_EQ(rec.rows[y][i], 0) << "row " << y;
        EXPECT_EQ(rfeof(), -1);  // RD closed
        imgfree(&rec);
    }
}

INSTANTIATE_TEST_SUITE_P(Decode, DecodeKind, ::testing::ValuesIn(kKinds),
                         [](const auto& i) { return std::string(i.param.name); });

class Decode : public ImageTest {
protected:
    // Decodes bytes written to a file; the record is released by the test.
    int decode(const std::vector<uint8_t>& bytes, imgrec* rec, const char* name = "d.png") {
        return pngdecode(put(name, bytes).c_str(), rec);
    }
};

// Width 5 at 2 bits: the widened row is 3 bytes in a 4-byte stride, and
// pixel 4 sits in the high four bits of the third byte.
TEST_F(Decode, TwoBitPaletteWidenedInPlace) {
    Pic s = pngfix::make(5, 2, P, 2);
    imgrec rec;
    ASSERT_EQ(decode(pngfix::write(s), &rec), 1);
    ASSERT_EQ(rec.stride, 4u);
    for (int y = 0; y < 2; y++) {
        const uint8_t* row = rec.rows[y];
        const uint16_t* px = &s.samples[5 * y];
        EXPECT_EQ(row[0], px[0] << 4 | px[1]);
        EXPECT_EQ(row[1], px[2] << 4 | px[3]);
        EXPECT_EQ(row[2] >> 4, px[4]);
        EXPECT_EQ(row[3], 0);
    }
    imgfree(&rec);
}

TEST_F(Decode, GrayRampsFollowTheFilesDepth) {
    struct { int depth; std::vector<uint8_t> first; } cases[] = {
        {1, {0, 255}}, {2, {0, 85, 170, 255}}, {4, {0, 17, 34, 51}}, {16, {0, 1, 2, 3}},
    };
    for (auto& c : cases) {
        imgrec rec;
        ASSERT_EQ(decode(pngfix::write(pngfix::make(4, 4, G, c.depth)), &rec), 1);
        for (size_t i = 0; i < c.first.size(); i++) {
            EXPECT_EQ(rec.palette[3 * i], c.first[i]) << "depth " << c.depth << " entry " << i;
            EXPECT_EQ(rec.palette[3 * i + 2], c.first[i]);
        }
        if (c.depth == 2) {  // entries 4 to 15 of the widened palette are black
            for (uint32_t i = 4; i < 16; i++) EXPECT_EQ(rec.palette[3 * i + 1], 0);
        }
        if (c.depth == 4) {
            EXPECT_EQ(rec.palette[3 * 15], 255);
        }
        if (c.depth == 16) {
            EXPECT_EQ(rec.palette[3 * 255], 255);
        }
        imgfree(&rec);
    }
}

TEST_F(Decode, ShortPaletteLeavesTheRestBlack) {
    Pic s = pngfix::make(6, 2, P, 4);
    s.palette.resize(5);
    s.samples = pngfix::samples(s);  // indices 0 to 4 only
    imgrec rec;
    ASSERT_EQ(decode(pngfix::write(s), &rec), 1);
    ASSERT_EQ(rec.colors, 16u);
    for (uint32_t i = 0; i < 5; i++) EXPECT_EQ(rec.palette[3 * i], s.palette[i].red);
    for (uint32_t i = 5; i < 48 / 3; i++)
        EXPECT_TRUE(rec.palette[3 * i] == 0 && rec.palette[3 * i + 1] == 0 && rec.palette[3 * i + 2] == 0) << i;
    imgfree(&rec);
}

// The same image interlaced and not gives the same block, byte for byte
// (the 2-bit case runs the row transform on every pass).
TEST_F(Decode, InterlacedTwinIsIdentical) {
    struct { int ctype, depth; } kinds[] = {{RGB, 8}, {P, 2}, {G, 16}, {RGBA, 16}, {G, 1}, {P, 4}};
    for (auto& k : kinds)
        for (uint32_t w : {1u, 4u, 13u}) {
            Pic plain = pngfix::make(w, 11, k.ctype, k.depth, false, 7);
            Pic inter = plain;
            inter.interlace = true;
            imgrec a, b;
            ASSERT_EQ(decode(pngfix::write(plain), &a, "p.png"), 1);
            ASSERT_EQ(decode(pngfix::write(inter), &b, "i.png"), 1);
            ASSERT_EQ(a.size, b.size);
            EXPECT_EQ(std::memcmp(a.bits, b.bits, a.size), 0) << k.ctype << "/" << k.depth << " width " << w;
            imgfree(&a);
            imgfree(&b);
        }
}

// 128 bytes of anything before the signature, even starting with 0x89.
TEST_F(Decode, PreambleDecodesLikeTheBareFile) {
    auto file = pngfix::write(pngfix::make(9, 5, RGBA, 8));
    imgrec bare;
    ASSERT_EQ(decode(file, &bare, "bare.png"), 1);
    for (uint8_t first : {0x00, 0x89, 0x42}) {
        std::vector<uint8_t> pre(128, 0x5A);
        pre[0] = first;
        imgrec rec;
        ASSERT_EQ(decode(pngfix::cat({pre, file}), &rec, "pre.png"), 1) << (int)first;
        ASSERT_EQ(rec.size, bare.size);
        EXPECT_EQ(std::memcmp(rec.bits, bare.bits, bare.size), 0);
        imgfree(&rec);
    }
    imgfree(&bare);
}

TEST_F(Decode, AlphaSettings) {
    // Alpha stripped: RGBA gives 24 bpp, gray with alpha an 8-bit ramp.
    pngalphamode = 0;
    Pic rgba = pngfix::make(3, 3, RGBA, 8);
    imgrec rec;
    ASSERT_EQ(decode(pngfix::write(rgba), &rec), 1);
    EXPECT_EQ(rec.bpp, 24u);
    EXPECT_EQ(rec.alpha, 0);
    EXPECT_EQ(rec.rows[0][0], rgba.samples[2]);  // blue first
    imgfree(&rec);
    ASSERT_EQ(decode(pngfix::write(pngfix::make(3, 3, GA, 16)), &rec), 1);
    EXPECT_EQ(rec.bpp, 8u);
    EXPECT_EQ(rec.colors, 256u);
    imgfree(&rec);

    // tRNS kept as it is: the palette image stays a palette image.
    pngalphamode = 2;
    pngtrnsalpha = 0;
    Pic pal = pngfix::make(3, 3, P, 8);
    pal.trnsalpha = {0, 10, 20};
    ASSERT_EQ(decode(pngfix::write(pal), &rec), 1);
    EXPECT_EQ(rec.bpp, 8u);
    EXPECT_EQ(rec.alpha, 0);
    imgfree(&rec);
}

struct FailCase {
    const char* name;
    std::vector<uint8_t> (*bytes)();
    const char* message;  // a part of the text sent to the sink
};

std::vector<uint8_t> validfile() { return pngfix::write(pngfix::make(20, 20, RGB, 8)); }

// 68 bytes that declare a 1333 x 1000000 RGB image: a header, an IDAT of
// 11 bytes of a deflate stream, the end.
std::vector<uint8_t> hollowfile(int interlace) {
    return pngfix::cat({pngfix::signature(), pngfix::chunk("IHDR", pngfix::ihdrdata(1333, 1000000, 8, 2, interlace)),
                        pngfix::chunk("IDAT", {0x78, 0x9C, 0xED, 0xC1, 0x01, 0x0D, 0x00, 0x00, 0x00, 0xC2, 0xA0}),
                        pngfix::chunk("IEND", {})});
}

const FailCase kFails[] = {
    {"empty", [] { return std::vector<uint8_t>(); }, "ERROR(libpng): Read Error - "},
    {"sevenBytes", [] { return std::vector<uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}; },
     "ERROR(libpng): Read Error - "},
    {"noSignature135", [] { return std::vector<uint8_t>(135, 7); }, "ERROR(libpng): Read Error - "},
    {"noSignature", [] { return std::vector<uint8_t>(500, 7); }, "No PNG file: "},
    {"signatureAt64",
     [] { return pngfix::cat({std::vector<uint8_t>(64, 1), validfile()}); }, "No PNG file: "},
    {"cutInIHDR", [] { auto f = validfile(); f.resize(20); return f; }, "ERROR(libpng): "},
    {"cutInIDAT", [] { auto f = validfile(); f.erase(f.end() - 30, f.end()); return f; }, "ERROR(libpng): "},
    {"noIEND", [] { auto f = validfile(); f.erase(f.end() - 12, f.end()); return f; }, "ERROR(libpng): Read Error"},
    {"badIdatCrc", [] { auto f = validfile(); f[f.size() - 17] ^= 0x40; return f; }, "ERROR(libpng): "},
    {"badIhdrCrc", [] { auto f = validfile(); f[29] ^= 1; return f; }, "ERROR(libpng): "},
    {"zeroWidth",
     [] { return pngfix::cat({pngfix::signature(), pngfix::chunk("IHDR", pngfix::ihdrdata(0, 5, 8, 2)),
                              pngfix::chunk("IEND", {})}); },
     "ERROR(libpng): "},
    {"depth3",
     [] { return pngfix::cat({pngfix::signature(), pngfix::chunk("IHDR", pngfix::ihdrdata(5, 5, 3, 0)),
                              pngfix::chunk("IEND", {})}); },
     "ERROR(libpng): "},
    // 65536 x 16384 RGBA is 2^32 bytes: refused before any pixel block.  The
    // IDAT is long enough (4.2 MB) for the file to hold that much deflated.
    {"blockOver4G",
     [] {
         std::vector<uint8_t> idat = {0x78, 0x9C, 0x03, 0x00};
         idat.resize(4200000);
         return pngfix::cat({pngfix::signature(), pngfix::chunk("IHDR", pngfix::ihdrdata(65536, 16384, 8, 6)),
                             pngfix::chunk("IDAT", idat), pngfix::chunk("IEND", {})});
     },
     "Out of memory: "},
    // A 68-byte file that declares a 1333 x 1000000 RGB image (4 GB of
    // record): deflate cannot make that from a few bytes.
    {"declaresMoreThanItHolds", [] { return hollowfile(PNG_INTERLACE_NONE); },
     "ERROR(libpng): Not enough image data - "},
    {"interlacedDeclaresMoreThanItHolds", [] { return hollowfile(PNG_INTERLACE_ADAM7); },
     "ERROR(libpng): Not enough image data - "},
};

class DecodeFail : public ImageTest, public ::testing::WithParamInterface<FailCase> {};

// Each failure: result 0, the record's pointers null (nothing for the caller
// to release, and the leak checker sees nothing left), RD closed, and the
// cause named in the sink with the file's name.
TEST_P(DecodeFail, CleanFailure) {
    const FailCase& c = GetParam();
    std::string path = put("bad.png", c.bytes());
    Tap tap;
    imgrec rec;
    rec.palette = rec.bits = reinterpret_cast<uint8_t*>(&rec);
    rec.rows = nullptr;
    EXPECT_EQ(pngdecode(path.c_str(), &rec), 0);
    EXPECT_EQ(rec.palette, nullptr);
    EXPECT_EQ(rec.rows, nullptr);
    EXPECT_EQ(rec.bits, nullptr);
    EXPECT_EQ(rfeof(), -1);
    EXPECT_TRUE(tap.saw(c.message)) << tap.all();
    EXPECT_TRUE(tap.saw(path)) << tap.all();
    EXPECT_EQ(progon, 0);
}

INSTANTIATE_TEST_SUITE_P(Decode, DecodeFail, ::testing::ValuesIn(kFails),
                         [](const auto& i) { return std::string(i.param.name); });

// A file too small for the image it declares is refused before the record
// is allocated: no block at all comes from the codec's allocator, through
// the decoder and through the plane loader (also a worker's), by either
// name, so a list frame of that kind costs no more memory than a normal one.
TEST_F(Decode, FileTooSmallForItsImageIsRefusedBeforeAllocating) {
    for (int interlace : {PNG_INTERLACE_NONE, PNG_INTERLACE_ADAM7}) {
        SCOPED_TRACE(interlace ? "interlaced" : "not interlaced");
        std::vector<uint8_t> f = hollowfile(interlace);
        ASSERT_EQ(f.size(), 68u);
        std::string path = put("hollow.png", f);
        // The first allocation is refused and the test stops at any, so that
        // a decoder that did ask for the 4 GB block fails without taking it.
        pngfix::Alloc alloc(1);
        imgrec rec;
        pngfix::Planes p;
        const std::function<int()> reads[] = {
            [&] { return pngdecode(path.c_str(), &rec); },
            [&] { return pngdecodeW(testutil::u16(path).c_str(), &rec); },
            [&] { return p.load(path) == 0 ? 1 : 0; },
            [&] { return p.loadW(testutil::u16(path)) == 0 ? 1 : 0; },
            [&] { return pngfix::byjob(path, false).result == 0 ? 1 : 0; },  // a worker's loader
            [&] { return pngfix::byjob(path, true).result == 0 ? 1 : 0; },
        };
        for (const auto& read : reads) {
            EXPECT_EQ(read(), 0);
            ASSERT_EQ(pngfix::Alloc::calls(), 0) << "largest block " << pngfix::Alloc::largest();
        }
    }
}

// Images that deflate about as well as deflate can (blank frames of 6 to 17
// MB of filtered data, 700 to 1030 times smaller in the file, where deflate
// cannot pass 1032) are not refused and load whole.
TEST_F(Decode, BlankImagesNearTheDeflateLimitLoad) {
    struct Blank {
        const char* name;
        uint32_t w, h;
        int depth, ctype;
        uint8_t fill;
        uint64_t ratio;  // at least this many filtered bytes per file byte
    };
    const Blank kBlanks[] = {
        {"white 1080p RGB", 1920, 1080, 8, PNG_COLOR_TYPE_RGB, 0xFF, 700},
        {"clear 1080p RGBA", 1920, 1080, 8, PNG_COLOR_TYPE_RGB_ALPHA, 0, 1000},
        {"black 4096 square gray", 4096, 4096, 8, PNG_COLOR_TYPE_GRAY, 0, 1000},
        {"black 16384 x 8192 one-bit gray", 16384, 8192, 1, PNG_COLOR_TYPE_GRAY, 0, 1000},
    };
    for (const Blank& b : kBlanks) {
        SCOPED_TRACE(b.name);
        std::vector<uint8_t> f = pngfix::blank(b.w, b.h, b.depth, b.ctype, b.fill);
        uint64_t filtered = (uint64_t)b.h * (1 + ((uint64_t)b.w * b.depth * pngfix::channels(b.ctype) + 7) / 8);
        EXPECT_GE(filtered / f.size(), b.ratio) << f.size() << " bytes";
        std::string path = put("blank.png", f);
        pngfix::Alloc alloc;
        imgrec rec;
        ASSERT_EQ(pngdecode(path.c_str(), &rec), 1);
        EXPECT_EQ(rec.width, b.w);
        EXPECT_EQ(rec.height, (int32_t)b.h);
        imgfree(&rec);
    }
}

TEST_F(Decode, MissingFileAndNullPath) {
    Tap tap;
    imgrec rec;
    std::string path = dir.str("none.png");
    EXPECT_EQ(pngdecode(path.c_str(), &rec), 0);
    EXPECT_TRUE(tap.saw("File not found: " + path)) << tap.all();
    EXPECT_EQ(pngdecode(nullptr, &rec), 0);
    EXPECT_EQ(pngdecodeW(nullptr, &rec), 0);
    EXPECT_EQ(rec.bits, nullptr);
}

// An ancillary chunk with a bad CRC is a warning: the image still decodes.
TEST_F(Decode, WarningsDoNotStopTheDecode) {
    auto f = validfile();
    auto text = pngfix::chunk("tEXt", {'k', 0, 'v'});
    text.back() ^= 1;
    f.insert(f.begin() + 33, text.begin(), text.end());  // after IHDR
    Tap tap;
    imgrec rec;
    ASSERT_EQ(decode(f, &rec), 1);
    EXPECT_TRUE(tap.saw("WARNING(libpng): ")) << tap.all();
    imgfree(&rec);
}

TEST_F(Decode, OutOfMemoryForTheRecord) {
    std::string path = put("m.png", pngfix::write(pngfix::make(4, 4, P, 8)));
    for (int fail = 1; fail <= 3; fail++) {
        pngfix::Alloc alloc(fail);
        Tap tap;
        imgrec rec;
        EXPECT_EQ(pngdecode(path.c_str(), &rec), 0);
        EXPECT_TRUE(tap.saw("Out of memory: " + path)) << tap.all();
        EXPECT_EQ(rec.palette, nullptr);
    }
}

// A wide name: the file is opened by it, and the messages name it in
// Shift_JIS, cut to the 271 bytes the name buffer holds.
TEST_F(Decode, WidePaths) {
    std::u16string dirw = testutil::u16(dir.str());
    std::string dir8 = dir.str();
    auto file = pngfix::write(pngfix::make(6, 6, RGB, 8));
    // "あ.png": U+3042 is 0x82 0xA0 in Shift_JIS.
    testutil::write_file(dir.path() / std::filesystem::u8path("\xE3\x81\x82.png"), file);
    imgrec rec;
    ASSERT_EQ(pngdecodeW((dirw + u"/\u3042.png").c_str(), &rec), 1);
    EXPECT_EQ(rec.width, 6u);
    imgfree(&rec);

    Tap tap;
    EXPECT_EQ(pngdecodeW((dirw + u"/\u3044.png").c_str(), &rec), 0);
    EXPECT_TRUE(tap.saw("File not found: " + dir8 + "/\x82\xA2.png")) << tap.all();

    // A long path of double-byte characters: three directories of 80 "あ"
    // (160 Shift_JIS bytes each) hold the file.
    std::u16string longw = dirw;
    std::filesystem::path longp = dir.path();
    std::string a80;
    for (int i = 0; i < 80; i++) a80 += "\xE3\x81\x82";
    for (int d = 0; d < 3; d++) {
        longw += u"/";
        longw += testutil::u16(a80);
        longp /= std::filesystem::u8path(a80);
    }
    std::filesystem::create_directories(longp);
    testutil::write_file(longp / "x.png", file);
    ASSERT_EQ(pngdecodeW((longw + u"/x.png").c_str(), &rec), 1);
    imgfree(&rec);
    Tap tap2;
    EXPECT_EQ(pngdecodeW((longw + u"/y.png").c_str(), &rec), 0);
    ASSERT_EQ(tap2.texts().size(), 1u);
    std::string msg = tap2.texts()[0];
    std::string name = msg.substr(std::string("File not found: ").size());
    name.pop_back();  // the newline
    EXPECT_LE(name.size(), 271u);
    EXPECT_GE(name.size(), 270u);
    EXPECT_EQ(name.compare(0, dir8.size(), dir8), 0);
}

struct NameCase {
    const char* name;
    std::u16string path;
    size_t cap;
    std::string want;
};

const NameCase kNames[] = {
    {"ascii", u"a\\b.png", 272, "a\\b.png"},
    {"kana", u"\u3042\u3044", 272, "\x82\xA0\x82\xA2"},
    {"latin1AsBytes", u"\u00E9\u00A5", 272, "\xE9\xA5"},
    {"noMapping", u"\u0500x", 272, "?x"},
    {"cutBeforeDoubleByte", u"ab\u3042", 4, "ab"},
    {"exactFit", u"ab\u3042", 5, "ab\x82\xA0"},
    {"empty", u"", 272, ""},
};

class WideName : public ::testing::TestWithParam<NameCase> {};

TEST_P(WideName, ShiftJisFormCutAtACharacter) {
    const NameCase& c = GetParam();
    std::vector<char> out(c.cap + 8, '#');
    image_detail::sjisname(out.data(), c.cap, c.path.c_str());
    EXPECT_EQ(std::string(out.data()), c.want);
    EXPECT_EQ(out[c.cap], '#');  // nothing written past the buffer
}

INSTANTIATE_TEST_SUITE_P(Decode, WideName, ::testing::ValuesIn(kNames),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
