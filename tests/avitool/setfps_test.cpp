// avisetfps: the five rate fields and nothing else change (the 30 fps
// build's movie of the same scene gives the values), with and without sound
// and on an OpenDML movie; a rate within the tolerance, a missing movie and
// every refusal leave the file as it was and no temporary file behind.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "edit_fixture.h"

namespace {

namespace fs = std::filesystem;

class SetFps : public avifix::fresh {
protected:
    moviefix::scene sc;
    int setfps(const std::string& name, float fps, std::string* out = nullptr) {
        int r = -100;
        std::string o = moviefix::capture([&] { r = avisetfps(sc.path(name).c_str(), fps); });
        if (out) *out = o;
        return r;
    }
    // The movie of the scene at a rate, by the writer (frames "f0.png" ...
    // as avifix::makemovie makes them).
    std::vector<uint8_t> at(float fps, const char* name) {
        int r = 0;
        std::string wav = sc.exists("music.wav") ? sc.path("music.wav") : "";
        moviefix::capture([&] { r = mkavi1(sc.path(name).c_str(), sc.path("list.txt").c_str(), fps, wav.c_str()); });
        EXPECT_EQ(r, 0);
        return sc.get(name);
    }
    bool notemp() { return !sc.exists("~qeltmp.avi"); }
};

// Positions of the five fields in the program's AVI 1.0 layout.
constexpr size_t USPF = 32, MAXB = 36, SCALE = 128, RATE = 132, BUF = 144;

TEST_F(SetFps, FiveFieldsTakeTheNewRate) {
    for (uint32_t sound : {0u, 4000u}) {
        SCOPED_TRACE(sound ? "with sound" : "without sound");
        avifix::moviespec m;
        m.w = 7;
        m.h = 5;
        m.sound = sound;
        avifix::makemovie(sc, "m.avi", m);
        std::vector<uint8_t> before = sc.get("m.avi");
        std::vector<uint8_t> thirty = at(30.0f, "thirty.avi");
        std::string out;
        ASSERT_EQ(setfps("m.avi", 30.0f, &out), 0) << out;
        EXPECT_NE(out.find("FPS changed. Copying ...\nCopy done.\ndone.\n"), std::string::npos) << out;
        std::vector<uint8_t> after = sc.get("m.avi");
        ASSERT_EQ(after.size(), before.size());
        const uint32_t fs = 24 * 5;
        EXPECT_EQ(get_le32(&after[USPF]), get_le32(&thirty[USPF]));  // 33333
        EXPECT_EQ(get_le32(&after[USPF]), 33333u);
        EXPECT_EQ(get_le32(&after[MAXB]), (uint32_t)((float)fs * 30.0f + 2.0f) + (sound ? 32000u : 0u));
        EXPECT_EQ(get_le32(&after[SCALE]), get_le32(&thirty[SCALE]));  // 1001
        EXPECT_EQ(get_le32(&after[RATE]), get_le32(&thirty[RATE]));    // 30030
        EXPECT_EQ(get_le32(&after[RATE]), 30030u);
        EXPECT_EQ(get_le32(&after[BUF]), (uint32_t)((float)fs * 30.0f + 2.0f));
        for (size_t i = 0; i < after.size(); i++) {
            if ((i >= USPF && i < MAXB + 4) || (i >= SCALE && i < RATE + 4) || (i >= BUF && i < BUF + 4)) continue;
            ASSERT_EQ(after[i], before[i]) << "byte " << i;
        }
        EXPECT_TRUE(notemp());
#ifndef _WIN32
        EXPECT_EQ(e2e::probe(sc.path("m.avi"), "v:0", sc.root())["r_frame_rate"], "30/1");
#endif
    }
}

TEST_F(SetFps, WithinTheToleranceNothingIsTouched) {
    avifix::moviespec m;
    avifix::makemovie(sc, "m.avi", m);
    auto t = fs::last_write_time(moviefix::fspath(sc.path("m.avi")));
    std::vector<uint8_t> before = sc.get("m.avi");
    float movie = 1e6f / 16666.0f;
    for (float f : {movie, movie * 1.00009f, movie * 0.99991f}) {
        std::string out;
        EXPECT_EQ(setfps("m.avi", f, &out), 0);
        EXPECT_EQ(out.find("FPS changed"), std::string::npos) << out;
    }
    EXPECT_EQ(sc.get("m.avi"), before);
    EXPECT_EQ(fs::last_write_time(moviefix::fspath(sc.path("m.avi"))), t);
    EXPECT_TRUE(notemp());
    // Just outside it the rate changes.
    EXPECT_EQ(setfps("m.avi", movie * 1.0002f), 0);
    EXPECT_NE(sc.get("m.avi"), before);
}

TEST_F(SetFps, OpenDmlMovieIsCopiedWhole) {
    avifix::moviespec m;
    m.odml = true;
    m.frames = 4;
    avifix::makemovie(sc, "o.avi", m);
    std::vector<uint8_t> before = sc.get("o.avi");
    ASSERT_EQ(setfps("o.avi", 24.0f), 0);
    std::vector<uint8_t> after = sc.get("o.avi");
    ASSERT_EQ(after.size(), before.size());
    size_t changed = 0;
    for (size_t i = 0; i < after.size(); i++) changed += after[i] != before[i];
    EXPECT_GE(changed, 4u);
    EXPECT_LE(changed, 20u);  // five fields of four bytes
    EXPECT_EQ(get_le32(&after[USPF]), 41666u);
#ifndef _WIN32
    EXPECT_EQ(e2e::probe(sc.path("o.avi"), "v:0", sc.root())["nb_read_packets"], "4");
#endif
}

struct RefusalCase {
    const char* name;
    float fps;
    int want;
    const char* printed;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

const RefusalCase kRefusals[] = {
    {"RateZero", 0.0f, 3, "Cannot set AVI to 0 fps.\n"},
    {"RateNegative", -1.0f, 3, "Cannot set AVI to -1 fps.\n"},
    {"RateNan", std::numeric_limits<float>::quiet_NaN(), 3, "fps.\n"},
    {"RateInfinite", std::numeric_limits<float>::infinity(), 3, "fps.\n"},
    {"RateTooSmall", 1e-5f, 3, "fps.\n"},
};

class SetFpsRefusal : public SetFps, public testing::WithParamInterface<RefusalCase> {};

TEST_P(SetFpsRefusal, MovieUntouched) {
    const RefusalCase& c = GetParam();
    avifix::moviespec m;
    avifix::makemovie(sc, "m.avi", m);
    std::vector<uint8_t> before = sc.get("m.avi");
    std::string out;
    EXPECT_EQ(setfps("m.avi", c.fps, &out), c.want);
    EXPECT_NE(out.find(c.printed), std::string::npos) << out;
    EXPECT_EQ(sc.get("m.avi"), before);
    EXPECT_TRUE(notemp());
}

INSTANTIATE_TEST_SUITE_P(SetFps, SetFpsRefusal, testing::ValuesIn(kRefusals),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(SetFps, MissingMovieIsNotASuccess) {
    std::string out;
    EXPECT_EQ(setfps("none.avi", 30.0f, &out), -1);
    EXPECT_NE(out.find("AVI file not found: "), std::string::npos);
    EXPECT_TRUE(notemp());
}

TEST_F(SetFps, SmallFrameChunkIsCompressed) {
    avifix::moviespec m;
    avifix::makemovie(sc, "m.avi", m);
    std::vector<uint8_t> b = sc.get("m.avi");
    // Frame 0's size field in the chunk and in idx1 made smaller than a frame.
    put_le32(&b[2052], 10);
    std::string text(b.begin(), b.end());
    size_t idx1 = text.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    put_le32(&b[idx1 + 8 + 12], 10);
    sc.put("c.avi", b);
    std::string out;
    EXPECT_EQ(setfps("c.avi", 30.0f, &out), 1);
    EXPECT_NE(out.find("Cannot treat compressed AVI (fwrite:0).\n"), std::string::npos) << out;
}

TEST_F(SetFps, TheTemporaryFileItselfIsRefused) {
    avifix::moviespec m;
    avifix::makemovie(sc, "~qeltmp.avi", m);
    std::vector<uint8_t> before = sc.get("~qeltmp.avi");
    std::string out;
    EXPECT_EQ(setfps("~qeltmp.avi", 30.0f, &out), 3);
    EXPECT_NE(out.find("AVI is the temporary file of the AVI edits."), std::string::npos) << out;
    EXPECT_EQ(sc.get("~qeltmp.avi"), before);
}

#ifndef _WIN32
TEST_F(SetFps, ReadOnlyMovieIsNotReplaced) {
    avifix::moviespec m;
    avifix::makemovie(sc, "m.avi", m);
    std::vector<uint8_t> before = sc.get("m.avi");
    fs::permissions(moviefix::fspath(sc.path("m.avi")), fs::perms::owner_read | fs::perms::group_read);
    std::string out;
    EXPECT_EQ(setfps("m.avi", 30.0f, &out), -1) << out;
    fs::permissions(moviefix::fspath(sc.path("m.avi")), fs::perms::owner_all);
    EXPECT_EQ(sc.get("m.avi"), before);
    EXPECT_TRUE(notemp());
}
#endif

}  // namespace
