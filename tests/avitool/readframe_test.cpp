// The frame reader and the information reader: frames of the program's own
// movies and of ffmpeg's top-down movies read back, the strict and cut
// rules, and every refusal on small hand-made movies (each leaves the
// caller's planes freed or untouched as the reader promises, and nothing
// outside them written).

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "avitool_fixtures.h"
#include "frame_fixture.h"
#include "image/image.h"
#include "stream/stream.h"

using namespace framefix;

namespace {

class ReadFrame : public avifix::fresh {
protected:
    void SetUp() override {
        avifix::fresh::SetUp();
        avisetstrict(0xFF);
        setlastkey(0);
    }
    void TearDown() override {
        avisetstrict(0xFF);
        setlastkey(0);
    }
    moviefix::scene sc;
};

// The picture a 24-bit or 32-bit movie of the program holds for an image.
std::vector<uint32_t> rgbaof(const moviefix::image& im, bool alpha) {
    std::vector<uint32_t> v;
    for (int y = 0; y < im.h; y++)
        for (int x = 0; x < im.w; x++) {
            const uint8_t* p = im.at(x, y);
            v.push_back((uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 |
                        (alpha ? p[3] : 255));
        }
    return v;
}

TEST_F(ReadFrame, ProgramMoviesGiveTheirImagesBack) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "32-bit" : "24-bit");
        avifix::moviespec m;
        m.w = 5;  // odd: 24-bit rows carry padding
        m.h = 3;
        m.frames = 3;
        m.alpha = alpha;
        avifix::makemovie(sc, "m.avi", m);
        for (int frame : {1, -1}) {
            readout o = readframe(sc.path("m.avi"), frame);
            ASSERT_EQ(o.result, 0) << o.printed;
            EXPECT_EQ(o.width, 5);
            EXPECT_EQ(o.height, 3);
            EXPECT_EQ(o.frames, 3);
            EXPECT_FLOAT_EQ(o.fps, 1e6f / 16666.0f);
            EXPECT_EQ(o.hasalpha, 0);  // 40-byte header without bit fields
            EXPECT_EQ(o.reallocated, 0xFF);
            EXPECT_EQ(o.rgba, rgbaof(moviefix::pattern(5, 3, alpha, frame < 0 ? 2 : frame), alpha));
            EXPECT_NE(o.printed.find(alpha ? "(00dc) done.\n" : "(00db) done.\n"), std::string::npos)
                << o.printed;
        }
    }
}

#ifndef _WIN32
// ffmpeg's rawvideo movies store top-down rows ('00dc', negative height).
TEST_F(ReadFrame, FfmpegTopDownMoviesAgreeWithFfmpeg) {
    for (const char* pixfmt : {"bgr24", "bgra"}) {
        SCOPED_TRACE(pixfmt);
        avifix::ffmpegmovie(sc, "ff.avi", 7, 5, 3, pixfmt, true);
        std::vector<uint8_t> want = e2e::ffmpegframes(sc.path("ff.avi"), "rgba", sc.root());
        ASSERT_EQ(want.size(), 3u * 7 * 5 * 4);
        for (int frame = 0; frame < 3; frame++) {
            readout o = readframe(sc.path("ff.avi"), frame);
            ASSERT_EQ(o.result, 0) << o.printed;
            ASSERT_EQ(o.rgba.size(), 35u);
            for (size_t i = 0; i < 35; i++) {
                const uint8_t* p = &want[((size_t)frame * 35 + i) * 4];
                uint32_t w = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
                if (std::string(pixfmt) == "bgr24") w |= 0xFF;
                ASSERT_EQ(o.rgba[i], w) << "frame " << frame << " pixel " << i;
            }
        }
    }
}
#endif

TEST_F(ReadFrame, PastTheEndStrictFailsElseCuts) {
    avifix::moviespec m;
    m.frames = 3;
    avifix::makemovie(sc, "m.avi", m);
    EXPECT_EQ(avisetstrict(0x1FF00), 0x1FF00u);  // low byte 0: not strict
    EXPECT_EQ(avistrictframe, 0);
    avisetstrict(0xFF);

    readout o = readframe(sc.path("m.avi"), 3);
    EXPECT_EQ(o.result, -2);
    EXPECT_NE(o.printed.find("Assigned frame 3 not recorded in AVI (<=max. 2).\n"), std::string::npos);
    EXPECT_EQ(o.printed.find("Cut to"), std::string::npos);
    EXPECT_EQ(o.frames, 3);  // set by the first scan
    EXPECT_EQ(o.hasalpha, 0x77);

    avisetstrict(0);
    o = readframe(sc.path("m.avi"), 3);
    ASSERT_EQ(o.result, 0) << o.printed;
    EXPECT_NE(o.printed.find("=> Cut to 2. Retrying.\n"), std::string::npos);
    EXPECT_EQ(o.rgba, rgbaof(moviefix::pattern(6, 4, false, 2), false));
    EXPECT_EQ(avifix::count(o.printed, "targetBMPaddr= "), 2);
}

TEST_F(ReadFrame, EscStopsBetweenRowsAndKeepsThem) {
    avifix::moviespec m;
    avifix::makemovie(sc, "m.avi", m);
    setlastkey(27);
    readout o = readframe(sc.path("m.avi"), 0);
    EXPECT_EQ(o.result, 27);
    EXPECT_EQ(o.hasalpha, 0);
    EXPECT_TRUE(o.planes);
    EXPECT_NE(o.printed.find("done.\n"), std::string::npos);
    // Ctrl-C is taken and dropped.
    setlastkey(3);
    o = readframe(sc.path("m.avi"), 0);
    EXPECT_EQ(o.result, 0);
}

// ---- Refusals on hand-made movies --------------------------------------------------------

// A one-frame movie of 2 x 2 24-bit pixels around the given format.
dibmovie small(std::vector<uint8_t> strf, uint32_t w = 2, uint32_t h = 2) {
    dibmovie m;
    m.w = w;
    m.h = h;
    m.strf = std::move(strf);
    m.chunks.push_back({"00db", std::vector<uint8_t>(16, 0x40)});
    return m;
}

std::vector<uint8_t> v4(int32_t w, int32_t h, int bits, uint32_t comp) {
    std::vector<uint8_t> b = bmih(w, h, bits, comp, 1, 108);
    b.resize(108, 0);
    return b;
}

struct RefusalCase {
    const char* name;
    dibmovie movie;
    int frame;
    size_t cut;          // the file cut to this many bytes (0: whole)
    int want;
    const char* printed; // a part of the output
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

// The first byte of the format chunk's data in small()'s layout: RIFF 12,
// hdrl 12, avih 64, strl 12, strh 64, the strf header 8.
constexpr size_t STRF = 172;

std::vector<RefusalCase> refusals() {
    dibmovie nostrf = small({});
    nostrf.hasstrf = false;
    dibmovie unfound = small(bmih(2, 2, 24));
    unfound.length = 2;
    dibmovie notframe = small(bmih(2, 2, 24));
    notframe.chunks[0].first = "x0db";
    notframe.idxid = "00db";
    dibmovie audio = small(bmih(2, 2, 24));
    audio.chunks[0].first = "01wb";  // an index entry pointing at audio
    audio.idxid = "00db";
    std::vector<uint8_t> os2 = {12, 0, 0, 0, 2, 0, 2, 0, 1, 0, 24, 0};
    return {
        {"NoFormatChunk", nostrf, 0, 0, 6, "No video format (strf) in AVI.\n"},
        {"UnknownHeaderSize", small(bmih(2, 2, 24, 0, 1, 20)), 0, 0, 6, "Cannot treat 0014-type BMP.\n"},
        {"TwoPlanes", small(bmih(2, 2, 24, 0, 2)), 0, 0, 13, "Loading AVI frame image ... "},
        {"CompressionSeven", small(bmih(2, 2, 24, 7)), 0, 0, 10, "(compression type 0007) "},
        {"LargeHeaderJpeg", small(v4(2, 2, 24, 4)), 0, 0, 10, "(compression type 0004) "},
        {"BitCountThree", small(bmih(2, 2, 3)), 0, 0, 15, "Loading AVI frame image ... "},
        {"WidthNotTheMainHeaders", small(bmih(3, 2, 24)), 0, 0, 6, "DIB size (3,2) does not match AVI (2,2).\n"},
        {"HeightNotTheMainHeaders", small(bmih(2, -3, 24)), 0, 0, 6, "does not match AVI"},
        {"NegativeWidth", small(bmih(-2, 2, 24)), 0, 0, 6, "Cannot treat DIB size (-2,2).\n"},
        {"HeightIntMin", small(bmih(2, INT_MIN, 24)), 0, 0, 6, "Cannot treat DIB size"},
        // Run-length data can be short for any picture, so only the planes'
        // bound stops this one; plain rows that the file cannot hold end
        // before any allocation.
        {"PlanesPastAnInt", small(bmih(65536, 65536, 8, 1), 65536, 65536), 0, 0, -3, "Memory Allocation FAILED.\n"},
        {"RowsPastTheFile", small(bmih(65536, 65536, 24), 65536, 65536), 0, 0, -2, "Loading AVI frame image ... "},
        {"ChunkNotFound", unfound, 1, 0, 3, "Cannot extract compressed image (AVI): "},
        {"ChunkNotAFrame", notframe, 0, 0, 3, "(x0db) Cannot extract compressed image (AVI): "},
        {"AudioChunkPasses", audio, 0, 0, 0, "(01wb) done.\n"},
        {"EndAtHeaderSize", small(bmih(2, 2, 24)), 0, STRF, 5, "Loading AVI frame image ... "},
        {"EndInHeader", small(bmih(2, 2, 24)), 0, STRF + 20, 11, "Loading AVI frame image ... "},
        {"EndInOs2Header", small(os2), 0, STRF + 6, 14, "Loading AVI frame image ... "},
    };
}

class Refusal : public ReadFrame, public testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, GivesItsCode) {
    const RefusalCase& c = GetParam();
    std::vector<uint8_t> bytes = build(c.movie);
    if (c.cut) bytes.resize(c.cut);
    sc.put("m.avi", bytes);
    readout o = readframe(sc.path("m.avi"), c.frame);
    EXPECT_EQ(o.result, c.want) << o.printed;
    EXPECT_NE(o.printed.find(c.printed), std::string::npos) << o.printed;
    if (c.want != 0) {
        EXPECT_EQ(o.hasalpha, 0x77);
    }
    if (c.want == -3) {
        EXPECT_FALSE(o.planes);
        EXPECT_EQ(o.reallocated, 0);
    }
    // Every return closes the read stream.
    EXPECT_NE(rfeof(), 0);
}

INSTANTIATE_TEST_SUITE_P(ReadFrame, Refusal, testing::ValuesIn(refusals()),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(ReadFrame, FileEndingInsideTheRows) {
    dibmovie m = small(bmih(2, 2, 24));
    std::vector<uint8_t> bytes = build(m);
    // Cut inside the first row of the chunk's data (the frame chunk is the
    // movi list's first item, the idx1 follows the chunk).
    size_t data = bytes.size() - 8 - 16 - 16;
    bytes.resize(data + 5);
    sc.put("m.avi", bytes);
    readout o = readframe(sc.path("m.avi"), 0);
    EXPECT_EQ(o.result, -2) << o.printed;
    EXPECT_TRUE(o.planes);
}

TEST_F(ReadFrame, PaletteRunningIntoTheChunkIsShortened) {
    // An 8-bit format whose 256-entry palette would run past the frame's
    // pixel data: the entries that fit are read, then the rows.
    dibmovie m;
    m.w = 4;
    m.h = 1;
    m.strf = bmih(4, 1, 8);
    for (int i = 0; i < 3; i++) m.strf.insert(m.strf.end(), {(uint8_t)(10 * i), (uint8_t)(20 * i), (uint8_t)(30 * i), 0});
    m.chunks.push_back({"00db", {0, 1, 2, 1}});
    sc.put("m.avi", build(m));
    readout o = readframe(sc.path("m.avi"), 0);
    ASSERT_EQ(o.result, 0) << o.printed;
    EXPECT_NE(o.printed.find(" (Shortened Palette Table) \n"), std::string::npos);
    EXPECT_EQ(o.rgba[0], 0x000000FFu);
    EXPECT_EQ(o.rgba[1], 0x1E140AFFu);
    EXPECT_EQ(o.rgba[2], 0x3C2814FFu);
}

// ---- aviinfo -----------------------------------------------------------------------------

class Info : public ReadFrame {};

TEST_F(Info, DescribesTheProgramsMovie) {
    avifix::moviespec m;
    m.w = 5;
    m.h = 3;
    m.frames = 2;
    avifix::makemovie(sc, "m.avi", m);
    curimg.is565 = 0xFF;
    int r = -100;
    std::string out = moviefix::capture([&] { r = aviinfo(sc.path("m.avi").c_str()); });
    ASSERT_EQ(r, 0) << out;
    EXPECT_NE(out.find("(5,3)(60.0024 fps) 24-bit (5,3) "), std::string::npos) << out;
    EXPECT_EQ(curimg.kind, 3);
    EXPECT_EQ(curimg.frames, 2);
    EXPECT_EQ(curimg.chunkoff, 2048);
    EXPECT_EQ(curimg.chunkend, 2048 + 48);
    EXPECT_EQ(curimg.hdrsize, 40);
    EXPECT_EQ(curimg.bitcount, 24);
    EXPECT_EQ(curimg.palcolors, -1);
    EXPECT_EQ(curimg.pixperword, 1);
    EXPECT_EQ(curimg.rowstride, 16);
    EXPECT_EQ(curimg.rowpad, 1);
    EXPECT_EQ(curimg.is565, 0);  // cleared: nothing here sets it
}

struct InfoCase {
    const char* name;
    std::vector<uint8_t> strf;
    int want;
    int palcolors, pixperword, rowstride, rowpad;
    const char* printed;
};

void PrintTo(const InfoCase& c, std::ostream* os) { *os << c.name; }

std::vector<InfoCase> infocases() {
    return {
        {"OneBit", bmih(33, 2, 1), 0, 2, 32, 8, 0, "1-bit (33,2) "},
        {"FourBit", bmih(33, 2, 4), 0, 16, 8, 20, 0, "4-bit (33,2) "},
        {"Rle8", bmih(33, 2, 8, 1), 0, 256, 4, 36, 0, "(compression type 0001) 8-bit (33,2) "},
        {"Sixteen", bmih(33, 2, 16), 0, -1, 2, 68, 2, "16-bit (33,2) "},
        {"ThirtyTwo", bmih(33, 2, 32), 0, -1, 1, 132, 0, "32-bit (33,2) "},
        {"BitCountZero", bmih(33, 2, 0), 15, 0, -9, -9, -9, "0-bit (33,2) "},
        {"BitCount48", bmih(33, 2, 48), 15, 0, -9, -9, -9, "48-bit (33,2) "},
        {"TwoPlanes", bmih(33, 2, 24, 0, 2), 13, -9, -9, -9, -9, "plane 2  sizeY 2 \n"},
        {"CompressionFour", bmih(33, 2, 24, 4), 10, -9, -9, -9, -9, "(compression type 0004) "},
    };
}

class InfoKinds : public Info, public testing::WithParamInterface<InfoCase> {};

TEST_P(InfoKinds, FillsTheDescription) {
    const InfoCase& c = GetParam();
    dibmovie m = small(c.strf, 33, 2);
    sc.put("m.avi", build(m));
    curimg.pixperword = curimg.rowstride = curimg.rowpad = -9;
    curimg.palcolors = -9;
    int r = -100;
    std::string out = moviefix::capture([&] { r = aviinfo(sc.path("m.avi").c_str()); });
    EXPECT_EQ(r, c.want) << out;
    EXPECT_NE(out.find(c.printed), std::string::npos) << out;
    EXPECT_EQ(curimg.palcolors, c.palcolors);
    EXPECT_EQ(curimg.pixperword, c.pixperword);
    EXPECT_EQ(curimg.rowstride, c.rowstride);
    EXPECT_EQ(curimg.rowpad, c.rowpad);
}

INSTANTIATE_TEST_SUITE_P(Info, InfoKinds, testing::ValuesIn(infocases()),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(Info, SixteenBitsWithoutFieldsIs555AndNoFormatIsRefused) {
    sc.put("m.avi", build(small(bmih(2, 2, 16))));
    std::string out = moviefix::capture([&] { EXPECT_EQ(aviinfo(sc.path("m.avi").c_str()), 0); });
    EXPECT_EQ(curimg.is555, 0xFF);

    dibmovie m = small({});
    m.hasstrf = false;
    sc.put("n.avi", build(m));
    out = moviefix::capture([&] { EXPECT_EQ(aviinfo(sc.path("n.avi").c_str()), 6); });
    EXPECT_EQ(curimg.is555, 0);  // nothing of the earlier movie is reported
    EXPECT_NE(out.find("No video format (strf) in AVI.\n"), std::string::npos);
    out = moviefix::capture([&] { EXPECT_EQ(aviinfo(sc.path("missing.avi").c_str()), -1); });
}

}  // namespace
