// avicreate: the program's own movie of one repeated image, byte for byte;
// the smallest movie's layout; what ffmpeg sees; every refusal before the
// file is created; a disk that fills leaves no partial movie behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "edit_fixture.h"
#include "movie/riff.h"

using editfix::planes;

namespace {

class Create : public avifix::fresh {
protected:
    moviefix::scene sc;
    int create(const std::string& name, const planes& p, int n, float fps, bool alpha, std::string* out = nullptr) {
        int r = -100;
        std::string o = moviefix::capture([&] {
            r = avicreate(sc.path(name).c_str(), p.w, p.h, p.R.data(), p.G.data(), p.B.data(),
                          p.A.data(), n, fps, alpha ? 1 : 0);
        });
        if (out) *out = o;
        return r;
    }
};

TEST_F(Create, SameBytesAsTheProgramOnAListOfTheImage) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "32-bit" : "24-bit");
        moviefix::image im = moviefix::pattern(5, 3, alpha, 4);  // odd width: padded rows
        std::vector<uint8_t> want = editfix::programmovie(sc, im, 3);
        ASSERT_EQ(create("made.avi", planes(im), 3, 60.0f, alpha), 0);
        EXPECT_EQ(sc.get("made.avi"), want);
    }
}

TEST_F(Create, OnePixelOneFrame) {
    planes p(moviefix::pattern(1, 1, false, 0));
    ASSERT_EQ(create("one.avi", p, 1, 60.0f, false), 0);
    std::vector<uint8_t> b = sc.get("one.avi");
    ASSERT_EQ(b.size(), 2560u);
    EXPECT_EQ(get_le32(&b[4]), 2076u);                      // RIFF size
    EXPECT_EQ(std::string(b.begin() + 2048, b.begin() + 2052), "00db");
    EXPECT_EQ(get_le32(&b[2052]), 4u);                      // fs: one padded row
    EXPECT_EQ(std::string(b.begin() + 2060, b.begin() + 2064), "idx1");
    EXPECT_EQ(get_le32(&b[2064]), 16u);
    EXPECT_EQ(get_le32(&b[2076]), 4u);                      // the offset from 'movi'
    EXPECT_EQ(std::string(b.begin() + 2084, b.begin() + 2092), "themewnd");
}

#ifndef _WIN32
TEST_F(Create, FfmpegSeesEveryFrame) {
    for (bool alpha : {false, true}) {
        moviefix::image im = moviefix::pattern(7, 5, alpha, 2);
        ASSERT_EQ(create("ff.avi", planes(im), 4, 30.0f, alpha), 0);
        auto v = e2e::probe(sc.path("ff.avi"), "v:0", sc.root());
        EXPECT_EQ(v["nb_read_packets"], "4");
        EXPECT_EQ(v["r_frame_rate"], "30/1");  // 30030/1001 by the 1000/1001 rule
        std::vector<uint8_t> frames = e2e::ffmpegframes(sc.path("ff.avi"), alpha ? "bgra" : "bgr24", sc.root());
        std::vector<uint8_t> one = moviefix::shownframe(im, 7, 5, alpha);
        ASSERT_EQ(frames.size(), 4 * one.size());
        for (int i = 0; i < 4; i++)
            EXPECT_TRUE(std::equal(one.begin(), one.end(), frames.begin() + (ptrdiff_t)(i * one.size()))) << i;
    }
}
#endif

// A movie of no frame, as avicreate makes it, is one the edits take: its
// index has no video entry, so it counts as counted from 'movi' (the
// toolkit's own form), not as absolute because two absent positions agree.
// Frames and sound go in; the edits that need a frame give their result for
// a movie without one and leave it as it is.
TEST_F(Create, EmptyMovieTakesFramesAndSound) {
    moviefix::image im = moviefix::pattern(7, 5, false, 3);
    planes p(im);
    ASSERT_EQ(create("e.avi", p, 0, 30.0f, false), 0);
    const std::vector<uint8_t> empty = sc.get("e.avi");
    const std::string e = sc.path("e.avi");
    int r = -100;
    std::string out = moviefix::capture([&] { r = avisetfps(e.c_str(), 25.0f); });
    EXPECT_EQ(r, FRAME_CANNOT) << out;
    EXPECT_NE(out.find("Cannot treat compressed AVI (fwrite:0).\n"), std::string::npos) << out;
    out = moviefix::capture([&] {
        r = avireplaceframe(e.c_str(), 0, 0, p.w, p.h, p.R.data(), p.G.data(), p.B.data(), p.A.data(), 30.0f, 0);
    });
    EXPECT_EQ(r, FRAME_CANNOT) << out;
    out = moviefix::capture([&] { r = aviremovewav(e.c_str()); });
    EXPECT_EQ(r, 0) << out;
    EXPECT_NE(out.find("WAV not exist in AVI.\n"), std::string::npos) << out;
    EXPECT_EQ(sc.get("e.avi"), empty);

    out = moviefix::capture([&] {
        r = aviappendframe(e.c_str(), 2, 0, p.w, p.h, p.R.data(), p.G.data(), p.B.data(), p.A.data(), 30.0f, 0);
    });
    ASSERT_EQ(r, 0) << out;
    EXPECT_EQ(out.find("Unsupported AVI layout"), std::string::npos) << out;
    sc.put("s.wav", avifix::soundof(16000).file);
    out = moviefix::capture([&] { r = aviappendwav(e.c_str(), sc.path("s.wav").c_str(), 0); });
    ASSERT_EQ(r, 0) << out;
#ifndef _WIN32
    auto v = e2e::probe(e, "v:0", sc.root());
    EXPECT_EQ(v["nb_read_packets"], "3");
    auto a = e2e::probe(e, "a:0", sc.root());
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    EXPECT_EQ(a["sample_rate"], "8000");
    std::vector<uint8_t> frames = e2e::ffmpegframes(e, "bgr24", sc.root());
    std::vector<uint8_t> one = moviefix::shownframe(im, 7, 5, false);
    ASSERT_EQ(frames.size(), 3 * one.size());
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(std::equal(one.begin(), one.end(), frames.begin() + (ptrdiff_t)(i * one.size()))) << i;
#endif
}

// A header chunk whose size runs past its list (here the video strf of a
// movie of no frame) makes the scan walk on through what follows: an edit
// that inserts into hdrl would write the new list inside that chunk.  The
// layout is refused and the movie left as it is.
TEST_F(Create, HeaderChunkPastItsListIsRefused) {
    planes p(moviefix::pattern(7, 5, false, 3));
    ASSERT_EQ(create("e.avi", p, 0, 30.0f, false), 0);
    std::vector<uint8_t> b = sc.get("e.avi");
    const std::string strf = "strf";
    auto at = std::search(b.begin(), b.end(), strf.begin(), strf.end());
    ASSERT_NE(at, b.end());
    // 10 bytes past the end of hdrl, into the JUNK's zeros, from where the
    // top-level walk steps in 8s of zero to movi: the scan still finds
    // every position the edit needs.
    put_le32(&*(at + 4), 40 + 14 + 10);
    sc.put("e.avi", b);
    sc.put("s.wav", avifix::soundof(1600).file);
    int r = -100;
    std::string out = moviefix::capture([&] { r = aviappendwav(sc.path("e.avi").c_str(), sc.path("s.wav").c_str(), 0); });
    EXPECT_EQ(r, EDIT_REFUSED) << out;
    EXPECT_NE(out.find("Unsupported AVI layout (a header chunk running past its list)."), std::string::npos) << out;
    EXPECT_EQ(sc.get("e.avi"), b);
}

struct RefusalCase {
    const char* name;
    int w, h, n;
    float fps;
    bool alpha, noA, noR;
    int want;
    const char* printed;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

const RefusalCase kRefusals[] = {
    {"RateZero", 2, 2, 1, 0.0f, false, false, false, -1, "Cannot make AVI at 0 fps.\n"},
    {"RateNegative", 2, 2, 1, -1.0f, false, false, false, -1, "Cannot make AVI at -1 fps.\n"},
    {"RateNan", 2, 2, 1, std::numeric_limits<float>::quiet_NaN(), false, false, false, -1, "fps.\n"},
    {"RateInfinite", 2, 2, 1, std::numeric_limits<float>::infinity(), false, false, false, -1, "fps.\n"},
    {"RateTooSmallForTheHeader", 2, 2, 1, 1e-4f, false, false, false, -1, "fps.\n"},
    {"WidthZero", 0, 2, 1, 60.0f, false, false, false, -1, "Cannot make AVI of 1 frames of (0,2).\n"},
    {"HeightNegative", 2, -2, 1, 60.0f, false, false, false, -1, "(2,-2)"},
    {"FramesNegative", 2, 2, -1, 60.0f, false, false, false, -1, "Cannot make AVI of -1 frames"},
    {"NoRedPlane", 2, 2, 1, 60.0f, false, false, true, -1, "Cannot make AVI"},
    {"NoAlphaFor32Bits", 2, 2, 1, 60.0f, true, true, false, -1, "Cannot make AVI"},
    {"Past4GB", 65535, 65535, 1, 60.0f, false, false, false, -7,
     "File size will be over 4 GB.  Cannot create file. \n"},
    {"Past4GBByFrames", 640, 480, 4700, 60.0f, false, false, false, -7, "over 4 GB"},
};

class CreateRefusal : public Create, public testing::WithParamInterface<RefusalCase> {};

TEST_P(CreateRefusal, NothingCreated) {
    const RefusalCase& c = GetParam();
    std::vector<uint8_t> px(16, 7);
    int r = -100;
    std::string out = moviefix::capture([&] {
        r = avicreate(sc.path("x.avi").c_str(), c.w, c.h, c.noR ? nullptr : px.data(), px.data(), px.data(),
                      c.noA ? nullptr : px.data(), c.n, c.fps, c.alpha ? 1 : 0);
    });
    EXPECT_EQ(r, c.want);
    EXPECT_NE(out.find(c.printed), std::string::npos) << out;
    EXPECT_FALSE(sc.exists("x.avi"));
}

INSTANTIATE_TEST_SUITE_P(Create, CreateRefusal, testing::ValuesIn(kRefusals),
                         [](const auto& i) { return std::string(i.param.name); });

// A rate just above the smallest the header holds (1e6 / 2^32 frames per
// second) is taken.
TEST_F(Create, SmallestUsableRate) {
    planes p(moviefix::pattern(2, 2, false, 0));
    EXPECT_EQ(create("slow.avi", p, 1, 0.0002333f, false), 0);
    std::vector<uint8_t> b = sc.get("slow.avi");
    EXPECT_EQ(get_le32(&b[32]), (uint32_t)(1000000.0 / (double)0.0002333f));
}

#ifdef __linux__
TEST_F(Create, FullDiskLeavesNoPartialMovie) {
    planes p(moviefix::pattern(9, 7, false, 0));
    g_os.fopen = editfix::fullfopen;
    for (size_t budget : {(size_t)0, (size_t)100, (size_t)2048, (size_t)2300, (size_t)2600}) {
        SCOPED_TRACE(budget);
        editfix::g_budget = budget;
        std::string out;
        EXPECT_EQ(create("full.avi", p, 3, 60.0f, false, &out), -1);
        EXPECT_NE(out.find("*** Disk Full *** \n"), std::string::npos) << out;
        EXPECT_FALSE(sc.exists("full.avi"));
    }
    // With room for all of it the same call succeeds.
    editfix::g_budget = 1 << 20;
    EXPECT_EQ(create("full.avi", p, 3, 60.0f, false), 0);
    EXPECT_TRUE(sc.exists("full.avi"));
}
#endif

}  // namespace
