// The frame reader and the information reader: frames of the program's own
// movies and of ffmpeg's top-down movies read back, the strict and cut
// rules, and every refusal on small hand-made movies (each leaves the
// caller's planes freed or untouched as the reader promises, and nothing
// outside them written).

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "avitool/frames_internal.h"
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

// ---- Empty frame chunks ------------------------------------------------------------------

#ifndef _WIN32
// ffmpeg writes an empty video chunk for each frame a gap in the timestamps
// drops (frames selected away with passthrough timing: a run of three; video
// starting late beside mp3 sound: a run of four after the first frame).
// ffmpeg's demuxer gives no packet for an empty chunk: its packets' times
// are the filled chunks' numbers, so at an empty chunk's time the picture on
// show is the one decoded from the nearest earlier filled chunk.  Every frame,
// empty or not, must be that picture of ffmpeg's.
TEST_F(ReadFrame, EmptyChunksOfFfmpegGiveTheFrameBefore) {
    const std::string src = "ffmpeg -v error -nostdin ";
    const std::string out = " -c:v rawvideo -pix_fmt bgr24 -y ";
    struct ffcase {
        const char* name;
        std::string cmd;
    } cases[] = {
        {"gap.avi", src + "-f lavfi -i testsrc=size=7x5:rate=10 -vf \"select='not(between(n\\,2\\,4))'\" "
                          "-fps_mode passthrough -frames:v 5" + out},
        {"late.avi", src + "-itsoffset 0.2 -f lavfi -i testsrc=size=7x5:rate=10 -f lavfi -i "
                           "sine=frequency=440:sample_rate=8000 -map 0:v -map 1:a -frames:v 3 -t 0.6 "
                           "-c:a libmp3lame" + out},
    };
    for (const ffcase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = sc.path(c.name);
        std::string cmd = c.cmd + e2e::quote(path);
        ASSERT_EQ(e2e::sh(cmd, sc.root()), 0) << cmd;
        avifix::view v(path);
        auto chunks = v.frames();
        std::string filled;  // the filled chunks' numbers, one a line
        for (size_t k = 0; k < chunks.size(); k++)
            if (chunks[k]->size != 0) filled += std::to_string(k) + "\n";
        cmd = "ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 " + e2e::quote(path) +
              " > " + e2e::quote(sc.path("pts.txt"));
        ASSERT_EQ(e2e::sh(cmd, sc.root()), 0) << cmd;
        ASSERT_EQ(e2e::slurp(sc.path("pts.txt")), filled);
        std::vector<uint8_t> want = e2e::ffmpegframes(path, "rgba", sc.root(), "-fps_mode passthrough");
        ASSERT_LT(want.size(), chunks.size() * 35 * 4);  // the movie holds what the test is about
        int shown = -1, picture = -1;
        for (int k = 0; k < (int)chunks.size(); k++) {
            SCOPED_TRACE(k);
            if (chunks[k]->size != 0) {
                shown = k;
                picture++;
            }
            ASSERT_LT(((size_t)picture + 1) * 35 * 4, want.size() + 1);
            readout o = readframe(path, k);
            ASSERT_EQ(o.result, 0) << o.printed;
            ASSERT_EQ(o.frames, (int)chunks.size());
            ASSERT_EQ(o.rgba.size(), 35u);
            for (size_t i = 0; i < 35; i++) {
                const uint8_t* p = &want[((size_t)picture * 35 + i) * 4];
                uint32_t w = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | 0xFF;
                ASSERT_EQ(o.rgba[i], w) << "pixel " << i;
            }
            std::string line = "(frame " + std::to_string(k) + " is empty: frame " + std::to_string(shown) +
                               " repeated) Loading AVI frame image ... ";
            EXPECT_EQ(o.printed.find(line) != std::string::npos, k != shown) << o.printed;
            EXPECT_EQ(targetBMPaddr, (int64_t)chunks[shown]->pos);
        }
    }
}
#endif

// A hand-made movie of empty and filled chunks: an empty first frame (and the
// one after it) has nothing to repeat and is refused before anything is
// touched; later empty frames repeat the nearest earlier filled one, also at
// the end of a run and as the last frame; the same with and without idx1.
TEST_F(ReadFrame, EmptyChunksRepeatTheFrameBeforeOrAreRefused) {
    // 2 x 1 pixels at 24 bits: one row of 6 bytes and 2 of padding.
    const std::vector<uint8_t> a = {1, 2, 3, 4, 5, 6, 0, 0}, b = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0, 0};
    const std::vector<uint32_t> wanta = {0x030201FFu, 0x060504FFu}, wantb = {0x302010FFu, 0x605040FFu};
    const std::vector<std::vector<uint8_t>> data = {{}, {}, a, {}, {}, b, {}};
    for (bool idx1 : {true, false}) {
        SCOPED_TRACE(idx1 ? "idx1" : "no idx1");
        dibmovie m;
        m.w = 2;
        m.h = 1;
        m.strf = bmih(2, 1, 24);
        for (const auto& d : data) m.chunks.push_back({"00db", d});
        m.idx1 = idx1;
        sc.put("e.avi", build(m));
        avifix::view v(sc.path("e.avi"));
        auto chunks = v.frames();
        for (int k : {0, 1}) {
            SCOPED_TRACE(k);
            readout o = readframe(sc.path("e.avi"), k);
            EXPECT_EQ(o.result, 4) << o.printed;
            EXPECT_NE(o.printed.find("Frame " + std::to_string(k) +
                                     " is empty and no earlier frame has a picture (AVI): " + sc.path("e.avi") +
                                     ".\n"),
                      std::string::npos)
                << o.printed;
            EXPECT_EQ(o.printed.find("Loading AVI frame image"), std::string::npos);
            EXPECT_TRUE(o.planes);  // the caller's planes untouched
            EXPECT_EQ(o.reallocated, 0x77);
            EXPECT_EQ(o.hasalpha, 0x77);
            EXPECT_EQ(o.frames, 7);
            EXPECT_NE(rfeof(), 0);
        }
        struct shown {
            int frame, from;
            const std::vector<uint32_t>* want;
        };
        for (const shown& c : {shown{2, 2, &wanta}, shown{3, 2, &wanta}, shown{4, 2, &wanta}, shown{5, 5, &wantb},
                               shown{6, 5, &wantb}, shown{-1, 5, &wantb}}) {
            SCOPED_TRACE(c.frame);
            readout o = readframe(sc.path("e.avi"), c.frame);
            ASSERT_EQ(o.result, 0) << o.printed;
            EXPECT_EQ(o.rgba, *c.want);
            EXPECT_EQ(o.hasalpha, 0);
            EXPECT_EQ(targetBMPaddr, (int64_t)chunks[c.from]->pos);
            int k = c.frame < 0 ? 6 : c.frame;
            std::string line = "(frame " + std::to_string(k) + " is empty: frame " + std::to_string(c.from) + " repeated) ";
            EXPECT_EQ(o.printed.find(line) != std::string::npos, k != c.from) << o.printed;
            EXPECT_NE(o.printed.find("(00db) done.\n"), std::string::npos) << o.printed;
        }
    }
    // Past the end and cut to the last frame, which is empty.
    avisetstrict(0);
    readout o = readframe(sc.path("e.avi"), 9);
    ASSERT_EQ(o.result, 0) << o.printed;
    EXPECT_EQ(o.rgba, wantb);
    EXPECT_NE(o.printed.find("=> Cut to 6. Retrying.\n"), std::string::npos) << o.printed;
    EXPECT_NE(o.printed.find("(frame 6 is empty: frame 5 repeated) "), std::string::npos) << o.printed;
}

// An index that calls an empty chunk larger: the chunk itself says it holds
// no picture, and what follows it (the next chunk) is not read as one.
TEST_F(ReadFrame, EmptyChunkTheIndexCallsLarger) {
    dibmovie m;
    m.w = 2;
    m.h = 1;
    m.strf = bmih(2, 1, 24);
    m.chunks.push_back({"00db", std::vector<uint8_t>(8, 9)});
    m.chunks.push_back({"00db", {}});
    m.chunks.push_back({"00db", std::vector<uint8_t>(8, 7)});
    std::vector<uint8_t> bytes = build(m);
    // idx1 is last: three 16-byte entries; entry 1's size field.
    put_le32(&bytes[bytes.size() - 3 * 16 + 16 + 12], 8);
    sc.put("e.avi", bytes);
    readout o = readframe(sc.path("e.avi"), 1);
    EXPECT_EQ(o.result, 4) << o.printed;
    EXPECT_NE(o.printed.find("(00db) Empty frame chunk (AVI): "), std::string::npos) << o.printed;
    EXPECT_EQ(o.hasalpha, 0x77);
    EXPECT_NE(rfeof(), 0);
}

// ---- 12-byte bitmap headers --------------------------------------------------------------

// A 12-byte header with 16-bit fields; its palette, when it has one, is
// 3-byte entries (blue, green, red) and every entry's alpha 255.
std::vector<uint8_t> coreheader(int16_t w, int16_t h, int bits) {
    std::vector<uint8_t> b;
    le32(b, 12);
    le16(b, (uint16_t)w);
    le16(b, (uint16_t)h);
    le16(b, 1);
    le16(b, (uint32_t)bits);
    return b;
}

TEST_F(ReadFrame, TwelveByteHeadersReadBack) {
    // 3 x 2 pixels; rows of 9 bytes + 3 of padding at 24 bits, 3 indexes + 1
    // at 8 bits.  The file's first row is the bottom one unless the height
    // is negative.
    std::vector<uint8_t> pal = coreheader(3, 2, 8);
    for (int i = 0; i < 256; i++) pal.insert(pal.end(), {(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i ^ 0x55)});
    auto entry = [](int i) { return (uint32_t)(i ^ 0x55) << 24 | (uint32_t)(255 - i) << 16 | (uint32_t)i << 8 | 0xFF; };
    const std::vector<uint8_t> px24 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
    const std::vector<uint32_t> first24 = {0x030201FFu, 0x060504FFu, 0x090807FFu},
                                second24 = {0x0D0C0BFFu, 0x100F0EFFu, 0x131211FFu};
    auto rows = [](const std::vector<uint32_t>& top, const std::vector<uint32_t>& bottom) {
        std::vector<uint32_t> v = top;
        v.insert(v.end(), bottom.begin(), bottom.end());
        return v;
    };
    struct corecase {
        const char* name;
        std::vector<uint8_t> strf, pixels;
        std::vector<uint32_t> want;
    } cases[] = {
        {"24-bit", coreheader(3, 2, 24), px24, rows(second24, first24)},
        {"24-bit top-down", coreheader(3, -2, 24), px24, rows(first24, second24)},
        {"8-bit palette", pal, {0, 7, 200, 0, 255, 1, 128, 0},
         {entry(255), entry(1), entry(128), entry(0), entry(7), entry(200)}},
    };
    for (const corecase& c : cases) {
        SCOPED_TRACE(c.name);
        dibmovie m;
        m.w = 3;
        m.h = 2;
        m.strf = c.strf;
        m.chunks.push_back({"00db", c.pixels});
        m.chunks.push_back({"00db", c.pixels});
        sc.put("c.avi", build(m));
        for (int frame : {0, 1}) {
            readout o = readframe(sc.path("c.avi"), frame);
            ASSERT_EQ(o.result, 0) << o.printed;
            EXPECT_EQ(o.rgba, c.want);
            EXPECT_EQ(o.hasalpha, 0);
            EXPECT_EQ(o.printed.find("Shortened"), std::string::npos) << o.printed;
        }

        int r = -100;
        std::string out = moviefix::capture([&] { r = aviinfo(sc.path("c.avi").c_str()); });
        ASSERT_EQ(r, 0) << out;
        bool eight = c.strf.size() > 12;
        EXPECT_NE(out.find(std::string("(3,2)(60.0024 fps) ") + (eight ? "8" : "24") + "-bit (3,2) "),
                  std::string::npos)
            << out;
        EXPECT_EQ(curimg.hdrsize, 12);
        EXPECT_EQ(curimg.planes, 1);
        EXPECT_EQ(curimg.bitcount, eight ? 8 : 24);
        EXPECT_EQ(curimg.compression, 0);
        EXPECT_EQ(curimg.imagesize, 0);
        EXPECT_EQ(curimg.clrused, 0);
        EXPECT_EQ(curimg.width, 3);
        EXPECT_EQ(curimg.height, 2);
        EXPECT_EQ(curimg.palcolors, eight ? 256 : -1);
        EXPECT_EQ(curimg.rowstride, eight ? 4 : 12);
        EXPECT_EQ(curimg.rowpad, eight ? 0 : 3);
    }
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

// Frame 0's chunk empty: nothing earlier can stand for it.  The format is
// described; the result says there is no picture at the chunk.
TEST_F(Info, EmptyFirstChunkIsRefused) {
    dibmovie m = small(bmih(2, 2, 24));
    m.chunks.insert(m.chunks.begin(), {"00db", {}});
    sc.put("e.avi", build(m));
    int r = -100;
    std::string out = moviefix::capture([&] { r = aviinfo(sc.path("e.avi").c_str()); });
    EXPECT_EQ(r, 4) << out;
    EXPECT_NE(out.find("24-bit (2,2) Frame 0 is empty and no earlier frame has a picture (AVI): " +
                       sc.path("e.avi") + ".\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(curimg.bitcount, 24);
    EXPECT_EQ(curimg.frames, 2);
    EXPECT_EQ(curimg.chunkend, curimg.chunkoff);
}

// ---- The plans on hand-built scan records ----------------------------------------------

using avitool_detail::framechunkplan;
using avitool_detail::framereadplan;
using avitool_detail::scanfacts;

// A scan of a movie of 5 frames of 3 x 2 whose asked-for chunk is at 1000.
struct planscan {
    aviscanrecord S{};
    scanfacts s{};
    planscan() {
        S.aviptrvidsstrf = 200;
        S.aviptrusperframe = 32;
        s.total = 5;
        s.width = 3;
        s.height = 2;
        s.chunkoff = 1000;
        s.chunksize = 24;
    }
};

struct ChunkCase {
    const char* name;
    int32_t frame;
    bool strict;
    int64_t chunksize;   // of the asked-for chunk
    int64_t shownptr;    // the scan's nearest earlier non-empty chunk (0: none)
    int64_t strf;
    int code;
    int32_t rescan;
    int64_t shown, chunkoff, size;
    const char* line;
};

TEST(ReadPlan, ChunkPlans) {
    const ChunkCase cases[] = {
        {"Normal", 2, true, 24, 0, 200, 0, -1, 2, 1000, 24, "Loading AVI frame image ... "},
        {"EmptyWithEarlier", 3, true, 0, 900, 200, 0, -1, 1, 900, 24,
         "(frame 3 is empty: frame 1 repeated) Loading AVI frame image ... "},
        {"EmptyFirst", 0, true, 0, 0, 200, 4, -1, 0, 1000, 0,
         "Frame 0 is empty and no earlier frame has a picture (AVI): m.avi.\n"},
        {"PastTheEndStrict", 7, true, 24, 0, 200, -2, -1, 4, 1000, 24,
         "Assigned frame 7 not recorded in AVI (<=max. 4).\n"},
        {"PastTheEndCut", 7, false, 24, 0, 200, 0, 4, 4, 1000, 24,
         "Assigned frame 7 not recorded in AVI (<=max. 4).\n=> Cut to 4. Retrying.\n"},
        {"NegativeIsTheLast", -1, true, 0, 900, 200, 0, -1, 1, 900, 24,
         "(frame 4 is empty: frame 1 repeated) Loading AVI frame image ... "},
        {"NoFormat", 2, true, 24, 0, 0, 6, -1, 2, 1000, 24,
         "Loading AVI frame image ... No video format (strf) in AVI.\n"},
    };
    for (const ChunkCase& k : cases) {
        SCOPED_TRACE(k.name);
        planscan m;
        m.s.chunksize = k.chunksize;
        m.S.aviptrshown = k.shownptr;
        m.S.avishownsize = 24;
        m.S.avishownframe = 1;
        m.S.aviptrvidsstrf = k.strf;
        framechunkplan p = avitool_detail::planframechunk(m.S, m.s, k.frame, k.strict, "m.avi");
        EXPECT_EQ(p.code, k.code);
        EXPECT_EQ(p.rescan, k.rescan);
        EXPECT_EQ(p.last, 4);
        EXPECT_EQ(p.shown, k.shown);
        EXPECT_EQ(p.chunkoff, k.chunkoff);
        EXPECT_EQ(p.chunksize, k.size);
        EXPECT_EQ(p.line, k.line);
    }
    // A movie of 0 frames: frame 0 is past its end.
    planscan m;
    m.s.total = 0;
    framechunkplan p = avitool_detail::planframechunk(m.S, m.s, 0, false, "m.avi");
    EXPECT_EQ(p.rescan, -1);
    EXPECT_EQ(p.line, "Assigned frame 0 not recorded in AVI (<=max. -1).\n=> Cut to -1. Retrying.\n");
}

struct RowsCase {
    const char* name;
    avitool_detail::dibformat f;
    int64_t palstart;    // where the format ended (the chunk is at 1000)
    int64_t filelen;
    int code;
    const char* line;
    bool topdown;
    int colours;
    int64_t entry, entries;
    uint64_t rowbytes, need;
    uint8_t hasalpha;
};

TEST(ReadPlan, RowPlans) {
    using avitool_detail::dibformat;
    const dibformat bgr{40, 3, 2, 1, 24, 0, 0, 0, 0, 0};
    const RowsCase cases[] = {
        // 9 bytes of pixels and 3 of padding a row; the last row's padding may be missing.
        {"Bgr", bgr, 240, 1029, 0, "", false, 0, 4, 0, 12, 21, 0},
        {"TopDown32", {108, 3, -2, 1, 32, 0, 0, 0, 0, 0}, 308, 1032, 0, "", true, 0, 4, 0, 12, 24, 1},
        {"Plain32NoAlpha", {40, 3, 2, 1, 32, 0, 0, 0, 0, 0}, 240, 1032, 0, "", false, 0, 4, 0, 12, 24, 0},
        // 3-byte entries; 10 of them fit before the chunk.
        {"TwelveByte8Bit", {12, 3, 2, 1, 8, 0, 0, 0, 0, 0}, 970, 1016, 0, "", false, 256, 3, 10, 4, 8, 0},
        {"FullPalette", {40, 3, 2, 1, 1, 0, 0, 0, 0, 0}, 240, 1016, 0, "", false, 2, 4, 2, 4, 8, 0},
        {"Rle8", {40, 3, 2, 1, 8, 1, 0, 0, 0, 0}, 240, 1008, 0, "", false, 256, 4, 190, 0, 0, 0},
        {"NoDecoding", {40, 3, 2, 1, 7, 0, 0, 0, 0, 0}, 240, 2000, 15, "", false, -1, 0, 0, 0, 0, 0},
        {"NoWidth", {40, 0, 2, 1, 24, 0, 0, 0, 0, 0}, 240, 2000, 6, "Cannot treat DIB size (0,2).\n", false, 0, 0,
         0, 0, 0, 0},
        {"HeightMin", {40, 3, INT32_MIN, 1, 24, 0, 0, 0, 0, 0}, 240, 2000, 6,
         "Cannot treat DIB size (3,-2147483648).\n", false, 0, 0, 0, 0, 0, 0},
        {"OtherSize", {40, 4, -2, 1, 24, 0, 0, 0, 0, 0}, 240, 2000, 6, "DIB size (4,2) does not match AVI (3,2).\n",
         false, 0, 0, 0, 0, 0, 0},
        {"ChunkBeforeFormat", bgr, 1004, 2000, 3, "Cannot extract compressed image (AVI): m.avi.\n", false, 0, 4, 0,
         0, 0, 0},
        {"ShortFile", bgr, 240, 1028, -2, "", false, 0, 4, 0, 12, 21, 0},
    };
    for (const RowsCase& k : cases) {
        SCOPED_TRACE(k.name);
        planscan m;
        framechunkplan c = avitool_detail::planframechunk(m.S, m.s, 0, true, "m.avi");
        ASSERT_EQ(c.code, 0);
        framereadplan p = avitool_detail::planframeread(m.S, m.s, c, k.f, k.palstart, k.filelen, "m.avi");
        EXPECT_EQ(p.code, k.code);
        EXPECT_EQ(p.line, k.line);
        EXPECT_EQ(p.colours, k.colours);
        if (k.code == 0 || k.code == -2) {
            EXPECT_EQ(p.layout.topdown, k.topdown);
            EXPECT_EQ(p.layout.width, 3u);
            EXPECT_EQ(p.layout.height, 2u);
            EXPECT_EQ(p.entry, k.entry);
            EXPECT_EQ(p.entries, k.entries);
            EXPECT_EQ(p.rowbytes, k.rowbytes);
            EXPECT_EQ(p.need, k.need);
        }
        if (k.code == 0) {
            EXPECT_EQ(p.hasalpha, k.hasalpha);
        }
    }
    // Without a frame duration the main header's size is not trusted; a
    // chunk the scan did not find (offset 0) is refused.
    planscan m;
    m.S.aviptrusperframe = 0;
    framechunkplan c = avitool_detail::planframechunk(m.S, m.s, 0, true, "m.avi");
    EXPECT_EQ(avitool_detail::planframeread(m.S, m.s, c, bgr, 240, 2000, "m.avi").code, 6);
    m.S.aviptrusperframe = 32;
    c.chunkoff = 0;
    framereadplan p = avitool_detail::planframeread(m.S, m.s, c, bgr, 240, 2000, "m.avi");
    EXPECT_EQ(p.code, 3);
    EXPECT_EQ(p.line, "Cannot extract compressed image (AVI): m.avi.\n");
}

}  // namespace
