// avireplaceframe, aviappendframe and the assignment entries: the program's
// own movie of the matching list is the oracle, byte for byte (24 and 32
// bits); ffmpeg reads the edited frames of its own top-down movies back; a
// missing movie is created; every refusal leaves the movie byte-identical
// and no temporary file behind.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <climits>
#include <limits>
#include <string>
#include <vector>

#include "avitool/frames_internal.h"
#include "edit_fixture.h"
#include "movie/avi1.h"

using editfix::planes;
using moviefix::image;
using moviefix::pattern;

namespace {

class FrameEdit : public avifix::fresh {
protected:
    moviefix::scene sc;
    // The program's movie of a list of images (60 fps, no sound).
    std::vector<uint8_t> program(const std::vector<image>& imgs, const std::string& name) {
        std::string list;
        for (size_t i = 0; i < imgs.size(); i++) {
            std::string png = "p" + std::to_string(i) + ".png";
            sc.png(png, imgs[i]);
            list += png + "\r\n";
        }
        sc.put("list.txt", list);
        int r = 0;
        std::string out = moviefix::capture(
            [&] { r = mkavi1(sc.path(name).c_str(), sc.path("list.txt").c_str(), 60.0f, ""); });
        EXPECT_EQ(r, 0) << out;
        return sc.get(name);
    }
    int replace(const std::string& name, int frame, int total, const planes& p, float fps = 60.0f,
                std::string* out = nullptr, bool bit32 = false) {
        int r = -100;
        std::string o = moviefix::capture([&] {
            r = avireplaceframe(sc.path(name).c_str(), frame, total, p.w, p.h, p.R.data(), p.G.data(),
                                p.B.data(), p.A.data(), fps, bit32);
        });
        if (out) *out = o;
        return r;
    }
    int append(const std::string& name, int frame, int total, const planes& p, float fps = 60.0f,
               std::string* out = nullptr) {
        int r = -100;
        std::string o = moviefix::capture([&] {
            r = aviappendframe(sc.path(name).c_str(), frame, total, p.w, p.h, p.R.data(), p.G.data(),
                               p.B.data(), p.A.data(), fps, 0);
        });
        if (out) *out = o;
        return r;
    }
    bool notemp() { return !sc.exists("~qeltmp.avi"); }
};

TEST_F(FrameEdit, ReplaceGivesTheProgramsMovieOfTheNewList) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "32-bit" : "24-bit");
        image a = pattern(5, 3, alpha, 1), b = pattern(5, 3, alpha, 2), c = pattern(5, 3, alpha, 3),
              x = pattern(5, 3, alpha, 9);
        program({a, b, c}, "m.avi");
        std::vector<uint8_t> want = program({a, x, c}, "want.avi");
        std::string out;
        ASSERT_EQ(replace("m.avi", 1, 0, planes(x), 60.0f, &out), 0) << out;
        EXPECT_NE(out.find(alpha ? "(00dc).\n" : "(00db).\n"), std::string::npos) << out;
        EXPECT_NE(out.find("replace done. Copying ...\nCopy done.\ndone.\n"), std::string::npos) << out;
        EXPECT_EQ(sc.get("m.avi"), want);
        EXPECT_TRUE(notemp());
        // A negative frame is the last one.
        want = program({a, x, x}, "want2.avi");
        ASSERT_EQ(replace("m.avi", -1, 0, planes(x)), 0);
        EXPECT_EQ(sc.get("m.avi"), want);
    }
}

TEST_F(FrameEdit, AppendGivesTheProgramsMovieOfTheLongerList) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "32-bit" : "24-bit");
        image a = pattern(5, 3, alpha, 1), b = pattern(5, 3, alpha, 2), x = pattern(5, 3, alpha, 9);
        program({a, b}, "m.avi");
        std::vector<uint8_t> want = program({a, b, x, x}, "want.avi");
        std::string out;
        ASSERT_EQ(append("m.avi", 3, 0, planes(x), 60.0f, &out), 0) << out;
        EXPECT_NE(out.find("append done. Copying ...\nCopy done.\ndone.\n"), std::string::npos) << out;
        EXPECT_EQ(sc.get("m.avi"), want);
        EXPECT_TRUE(notemp());
        // No frame to add: frame 1 is replaced.
        want = program({a, x, x, x}, "want2.avi");
        ASSERT_EQ(append("m.avi", 1, 4, planes(x)), 0);
        EXPECT_EQ(sc.get("m.avi"), want);
        // A replacement past the end becomes an append.
        want = program({a, x, x, x, x}, "want3.avi");
        ASSERT_EQ(replace("m.avi", 4, 0, planes(x)), 0);
        EXPECT_EQ(sc.get("m.avi"), want);
    }
}

// The append's plan, from the scan alone: the header fields in file order
// (the rate fields among them when the rate changes), and the 4 GB refusal
// at the exact frame count where a size field would pass 32 bits, which no
// write could show in a test.
TEST_F(FrameEdit, AppendPlanFromTheScan) {
    image a = pattern(5, 3, false, 1);
    program({a, a}, "m.avi");
    avitool_detail::scanfacts f{};
    moviefix::capture([&] { ASSERT_EQ(avitool_detail::scanmovie(sc.path("m.avi").c_str(), 0, &f), 0); });
    const aviscanrecord S = aviscaninfo;
    const uint64_t fs = 16 * 3;  // 5 pixels: 15 bytes a row, 16 stored
    const uint64_t per = fs + CHUNK_HDR + IDX1_ENTRY;
    using avitool_detail::planframeappend;

    for (bool rate : {false, true}) {
        SCOPED_TRACE(rate);
        auto p = planframeappend(S, 2, 5, fs, rate, 30.0f, false);
        ASSERT_TRUE(p.fits && p.ordered && p.index);
        EXPECT_EQ(p.k, 3);
        EXPECT_EQ(p.riff, S.aviriffsize + 3 * per);
        EXPECT_EQ(p.riffend, S.aviptrriffleng + 4 + (int64_t)p.riff);
        EXPECT_EQ(p.movisize, (uint64_t)(S.aviptrmoviend - S.aviptrmovi - 8) + 3 * (fs + CHUNK_HDR));
        EXPECT_EQ(p.idx1size, (uint64_t)(S.aviptridx1end - S.aviptridx1 - 8) + 3 * IDX1_ENTRY);
        ASSERT_EQ(p.patches.size(), rate ? 8u : 4u);
        EXPECT_EQ(p.patches.front().pos, S.aviptrriffleng);
        EXPECT_EQ(p.patches.back().pos, S.aviptrmovi + 4);
        for (size_t i = 1; i < p.patches.size(); i++)
            EXPECT_GE(p.patches[i].pos, p.patches[i - 1].pos + p.patches[i - 1].old);
    }
    const int64_t kmax = (int64_t)((UINT32_MAX - (uint64_t)S.aviriffsize) / per);
    EXPECT_TRUE(planframeappend(S, 2, 2 + kmax, fs, false, 60.0f, false).fits);
    EXPECT_FALSE(planframeappend(S, 2, 3 + kmax, fs, false, 60.0f, false).fits);
    EXPECT_FALSE(planframeappend(S, 2, 2 + ((int64_t)1 << 32), 4, false, 60.0f, false).fits);
}

TEST_F(FrameEdit, RateChangeOnTheWay) {
    image a = pattern(4, 2, false, 1), x = pattern(4, 2, false, 9);
    program({a, a}, "m.avi");
    ASSERT_EQ(append("m.avi", 2, 0, planes(x), 30.0f), 0);
    std::vector<uint8_t> b = sc.get("m.avi");
    EXPECT_EQ(get_le32(&b[32]), 33333u);                             // dwMicroSecPerFrame
    EXPECT_EQ(get_le32(&b[36]), (uint32_t)(24.0f * 30.0f + 2.0f));   // fs 24
    EXPECT_EQ(get_le32(&b[128]), 1001u);
    EXPECT_EQ(get_le32(&b[132]), 30030u);
    EXPECT_EQ(get_le32(&b[48]), 3u);                                 // dwTotalFrames
    EXPECT_EQ(get_le32(&b[140]), 3u);                                // dwLength
    // Within 0.05 % nothing but the frame changes.
    std::vector<uint8_t> before = sc.get("m.avi");
    ASSERT_EQ(replace("m.avi", 0, 0, planes(a), 30.012f), 0);
    EXPECT_EQ(sc.get("m.avi"), before);
}

TEST_F(FrameEdit, MissingMovieIsCreated) {
    image x = pattern(3, 2, false, 5);
    ASSERT_EQ(replace("new.avi", 2, 0, planes(x)), 0);
    std::vector<uint8_t> b = sc.get("new.avi");
    EXPECT_EQ(get_le32(&b[48]), 3u);  // frame 2: three copies
    // A negative frame in a new movie: one copy.
    ASSERT_EQ(append("one.avi", -2, 0, planes(x)), 0);
    EXPECT_EQ(get_le32(&sc.get("one.avi")[48]), 1u);
}

#ifndef _WIN32
TEST_F(FrameEdit, FfmpegTopDownMovieTakesTheFrameTheRightWayUp) {
    avifix::ffmpegmovie(sc, "ff.avi", 7, 5, 3, "bgr24", true);
    std::vector<uint8_t> frames0 = e2e::ffmpegframes(sc.path("ff.avi"), "bgr24", sc.root());
    std::vector<uint8_t> audio0 = e2e::ffmpegaudio(sc.path("ff.avi"), 16, sc.root());
    image x = pattern(7, 5, false, 7);
    // ffmpeg's rate is 10 fps: the same rate, so only the frame changes.
    std::string out;
    ASSERT_EQ(replace("ff.avi", 1, 0, planes(x), 10.0f, &out), 0) << out;
    std::vector<uint8_t> frames = e2e::ffmpegframes(sc.path("ff.avi"), "bgr24", sc.root());
    ASSERT_EQ(frames.size(), frames0.size());
    const size_t one = 7 * 5 * 3;
    std::vector<uint8_t> want = moviefix::shownframe(x, 7, 5, false);
    EXPECT_TRUE(std::equal(frames.begin() + one, frames.begin() + 2 * one, want.begin()));
    EXPECT_TRUE(std::equal(frames.begin(), frames.begin() + one, frames0.begin()));
    EXPECT_TRUE(std::equal(frames.begin() + 2 * one, frames.end(), frames0.begin() + 2 * one));
    EXPECT_EQ(e2e::ffmpegaudio(sc.path("ff.avi"), 16, sc.root()), audio0);
}

// ffmpeg's 32-bit rawvideo movie: '00dc' chunks, top-down rows, the sound
// as stream 1.  ffmpeg writes the OpenDML header list into every AVI, so
// the append refuses it (its segments cannot be kept); the replacement
// copies the file whole and writes the frame the right way up.
TEST_F(FrameEdit, FfmpegThirtyTwoBitMovie) {
    avifix::ffmpegmovie(sc, "ff.avi", 6, 4, 2, "bgra", true);
    std::vector<uint8_t> frames0 = e2e::ffmpegframes(sc.path("ff.avi"), "bgra", sc.root());
    image x = pattern(6, 4, true, 3);
    std::string out;
    ASSERT_EQ(replace("ff.avi", 0, 0, planes(x), 10.0f, &out), 0) << out;
    EXPECT_NE(out.find("(00dc).\n"), std::string::npos) << out;
    std::vector<uint8_t> frames = e2e::ffmpegframes(sc.path("ff.avi"), "bgra", sc.root());
    std::vector<uint8_t> want = moviefix::shownframe(x, 6, 4, true);
    ASSERT_EQ(frames.size(), frames0.size());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), frames.begin()));
    EXPECT_TRUE(std::equal(frames.begin() + want.size(), frames.end(), frames0.begin() + want.size()));
    std::vector<uint8_t> before = sc.get("ff.avi");
    int r = append("ff.avi", 3, 0, planes(x), 10.0f, &out);
    if (aviscaninfo.aviodml) {
        EXPECT_EQ(r, 3) << out;
        EXPECT_EQ(sc.get("ff.avi"), before);
    } else {
        ASSERT_EQ(r, 0) << out;
        frames = e2e::ffmpegframes(sc.path("ff.avi"), "bgra", sc.root());
        ASSERT_EQ(frames.size(), 4 * want.size());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), frames.begin() + 3 * want.size()));
    }
}
#endif

// ---- Refusals ------------------------------------------------------------------------------

TEST_F(FrameEdit, RefusalsLeaveTheMovieAsItWas) {
    image a = pattern(6, 4, false, 1);
    program({a, a}, "m.avi");
    const std::vector<uint8_t> before = sc.get("m.avi");
    struct Case {
        const char* name;
        std::function<int(std::string*)> call;
        int want;
        const char* printed;
    };
    image small = pattern(5, 4, false, 2), large = pattern(7, 4, false, 2);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<Case> cases = {
        {"RateZero", [&](std::string* o) { return replace("m.avi", 0, 0, planes(a), 0.0f, o); }, 3, "Cannot use 0 fps"},
        {"RateNan", [&](std::string* o) { return append("m.avi", 3, 0, planes(a), nan, o); }, 3, "fps in AVI.\n"},
        {"SmallerImage", [&](std::string* o) { return replace("m.avi", 0, 0, planes(small), 60.0f, o); }, 2,
         "Different image size (outputting 5x4 != AVI 6x4).\n"},
        {"LargerImageLacksSpace", [&](std::string* o) { return replace("m.avi", 0, 0, planes(large), 60.0f, o); },
         23, "Not enough DIB frame file space (80<96) in AVI.\n"},
        {"AppendOtherSize", [&](std::string* o) { return append("m.avi", 3, 0, planes(small), 60.0f, o); }, 2,
         "Different image size (outputting 5x4 != AVI 6x4).\n"},
        {"AppendPast4GB",
         [&](std::string* o) { return append("m.avi", 2000000000, 0, planes(a), 60.0f, o); }, -7,
         "File size will be over 4 GB.  Cannot create file. \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        EXPECT_EQ(c.call(&out), c.want) << out;
        EXPECT_NE(out.find(c.printed), std::string::npos) << out;
        EXPECT_EQ(sc.get("m.avi"), before);
        EXPECT_TRUE(notemp());
    }
}

TEST_F(FrameEdit, CompressedMovieGetsNoRawPixels) {
    image a = pattern(6, 4, false, 1);
    std::vector<uint8_t> b = program({a, a}, "m.avi");
    // The format says MJPG; frame 0's chunk stays large enough for raw rows.
    std::memcpy(&b[188], "MJPG", 4);  // biCompression
    sc.put("c.avi", b);
    std::string out;
    EXPECT_EQ(replace("c.avi", 0, 0, planes(a), 60.0f, &out), 1) << out;
    EXPECT_NE(out.find("Cannot replace frame image (fwrite:15) in AVI.\n"), std::string::npos) << out;
    EXPECT_EQ(append("c.avi", 3, 0, planes(a), 60.0f, &out), 1) << out;
    EXPECT_EQ(sc.get("c.avi"), b);
}

TEST_F(FrameEdit, IndexPointingAtSoundIsRefused) {
    avifix::moviespec m;
    m.w = 6;
    m.h = 4;
    m.frames = 2;
    m.sound = 96;  // as large as a frame
    avifix::makemovie(sc, "s.avi", m);
    std::vector<uint8_t> b = sc.get("s.avi");
    std::string text(b.begin(), b.end());
    size_t idx1 = text.rfind("idx1"), wb = text.rfind("01wb", idx1);
    uint32_t soundoff = get_le32(&b[idx1 + 8 + 2 * 16 + 8]);  // the '01wb' entry
    ASSERT_EQ(std::string(&text[wb], 4), "01wb");
    put_le32(&b[idx1 + 8 + 8], soundoff);  // frame 0's entry now points at the sound
    sc.put("s.avi", b);
    std::string out;
    EXPECT_EQ(replace("s.avi", 0, 0, planes(pattern(6, 4, false, 3)), 60.0f, &out), 21) << out;
    EXPECT_NE(out.find("(01wb).\nIndex not pointing 00-99 in AVI.\n"), std::string::npos) << out;
    EXPECT_EQ(sc.get("s.avi"), b);
    EXPECT_TRUE(notemp());
}

TEST_F(FrameEdit, OpenDmlMovieIsNotAppendedTo) {
    avifix::moviespec m;
    m.odml = true;
    avifix::makemovie(sc, "o.avi", m);
    std::vector<uint8_t> before = sc.get("o.avi");
    std::string out;
    EXPECT_EQ(append("o.avi", 5, 0, planes(pattern(6, 4, false, 0)), 60.0f, &out), 3) << out;
    EXPECT_NE(out.find("OpenDML"), std::string::npos) << out;
    EXPECT_EQ(sc.get("o.avi"), before);
}

// A movie that exists but cannot be read is not replaced by a new one.
int refusingopen_calls = 0;
FILE* refusingopen(const char* name, const char* mode) {
    std::string s(name);
    if (s.size() >= 10 && s.compare(s.size() - 10, 10, "locked.avi") == 0 && mode[0] == 'r') {
        refusingopen_calls++;
        return nullptr;
    }
    return os_native.fopen(name, mode);
}

TEST_F(FrameEdit, UnreadableMovieIsNotCreatedAnew) {
    image a = pattern(6, 4, false, 1);
    std::vector<uint8_t> b = program({a}, "locked.avi");
    g_os.fopen = refusingopen;
    std::string out;
    EXPECT_EQ(replace("locked.avi", 0, 0, planes(a), 60.0f, &out), -1);
    EXPECT_NE(out.find("Cannot find AVI.("), std::string::npos) << out;
    EXPECT_EQ(append("locked.avi", 3, 0, planes(a), 60.0f, &out), -1);
    EXPECT_GT(refusingopen_calls, 0);
    g_os.fopen = os_native.fopen;
    EXPECT_EQ(sc.get("locked.avi"), b);
}

#ifdef __linux__
// A disk that fills while the temporary file is written: every edit fails
// with 3, the movie stays as it was and no temporary file is left.
TEST_F(FrameEdit, FullDiskDuringAnEditLeavesTheMovie) {
    image a = pattern(6, 4, false, 1), x = pattern(6, 4, false, 5);
    program({a, a}, "m.avi");
    const std::vector<uint8_t> before = sc.get("m.avi");
    g_os.fopen = editfix::fullfopen;
    editfix::g_fullname = "~qeltmp.avi";
    for (size_t budget : {(size_t)0, (size_t)40, (size_t)2050, (size_t)2200, before.size() - 1}) {
        SCOPED_TRACE(budget);
        editfix::g_budget = budget;
        std::string out;
        EXPECT_EQ(replace("m.avi", 1, 0, planes(x), 60.0f, &out), 3) << out;
        EXPECT_EQ(append("m.avi", 4, 0, planes(x), 60.0f, &out), 3) << out;
        int r = -100;
        out = moviefix::capture([&] { r = avisetfps(sc.path("m.avi").c_str(), 30.0f); });
        EXPECT_EQ(r, 3) << out;
        EXPECT_EQ(sc.get("m.avi"), before);
        EXPECT_TRUE(notemp());
    }
    editfix::g_fullname = "full.avi";
    g_os.fopen = os_native.fopen;
}
#endif

// The largest frame number: its frame count does not overflow, and the plan
// refuses the movie it would need.
TEST_F(FrameEdit, LargestFrameNumber) {
    image a = pattern(6, 4, false, 1);
    program({a}, "m.avi");
    const std::vector<uint8_t> before = sc.get("m.avi");
    std::string out;
    EXPECT_EQ(append("m.avi", INT32_MAX, 0, planes(a), 60.0f, &out), -7) << out;
    EXPECT_EQ(replace("m.avi", INT32_MAX, INT32_MAX, planes(a), 60.0f, &out), -7) << out;
    EXPECT_EQ(sc.get("m.avi"), before);
    EXPECT_EQ(replace("new.avi", INT32_MAX, 0, planes(a), 60.0f, &out), -7) << out;
    EXPECT_FALSE(sc.exists("new.avi"));
}

// ---- The assignment entries ------------------------------------------------------------------

TEST_F(FrameEdit, AssignmentsWriteFramesAndRates) {
    image a = pattern(4, 2, false, 1), x = pattern(4, 2, false, 8);
    program({a, a, a}, "m.avi");
    std::vector<uint8_t> want = program({a, x, a}, "want.avi");
    planes p(x);
    int r = -100;
    std::string text = sc.path("m.avi") + ";L2;FP60.0024";
    std::string out = moviefix::capture(
        [&] { r = aviassignframe(text.c_str(), 4, 2, p.R.data(), p.G.data(), p.B.data(), p.A.data(), 0); });
    ASSERT_EQ(r, 0) << out;
    EXPECT_EQ(sc.get("m.avi"), want);
    EXPECT_NE(out.find(", Frame 1, 60.0024 fps.\n"), std::string::npos) << out;

    text = sc.path("m.avi") + "; fp 30";
    out = moviefix::capture([&] { r = aviassignfps(text.c_str()); });
    ASSERT_EQ(r, 0) << out;
    EXPECT_EQ(get_le32(&sc.get("m.avi")[32]), 33333u);

    // 'new.avi;L' is frame -2: frame 0 of a new movie of one frame.
    text = sc.path("new.avi") + ";L";
    out = moviefix::capture(
        [&] { r = aviassignframe(text.c_str(), 4, 2, p.R.data(), p.G.data(), p.B.data(), p.A.data(), 0); });
    ASSERT_EQ(r, 0) << out;
    EXPECT_EQ(get_le32(&sc.get("new.avi")[48]), 1u);
    // Refused: not an AVI, a rate that cannot be used.
    out = moviefix::capture([&] { r = aviassignfps((sc.path("m.mov") + ";FP30").c_str()); });
    EXPECT_EQ(r, 1);
    out = moviefix::capture([&] { r = aviassignfps((sc.path("m.avi") + ";FPS").c_str()); });
    EXPECT_EQ(r, 3) << out;
}

}  // namespace

namespace {

// Creations of the temporary file: a refusal must come before the first.
int g_tmpcreated = 0;
FILE* countingopen(const char* name, const char* mode) {
    if (std::strchr(mode, 'w') && std::strstr(name, "~qeltmp.avi")) g_tmpcreated++;
    return os_native.fopen(name, mode);
}

// Movies the frame edits cannot reach, refused before the temporary file
// with the edits' refusal code and a line that says why: an index cut off
// by the end of the file (it read as a movie past 4 GB), and a frame past
// the first RIFF segment of an OpenDML movie (it read as a failed write).
TEST_F(FrameEdit, UnreachableFramesAreRefusedBeforeAnyWrite) {
    image a = pattern(6, 4, false, 1);
    std::vector<uint8_t> whole = program({a, a, a}, "m.avi");
    std::string text(whole.begin(), whole.end());
    const size_t idx1 = text.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    // Cut in the entries, and right after the fourcc (the missing size
    // field then reads as a huge index).
    sc.put("cut.avi", std::vector<uint8_t>(whole.begin(), whole.begin() + (ptrdiff_t)idx1 + 8 + 20));
    sc.put("cutsize.avi", std::vector<uint8_t>(whole.begin(), whole.begin() + (ptrdiff_t)idx1 + 4));

    // An OpenDML movie of several segments: the first holds a few frames.
    std::vector<image> many;
    for (int i = 0; i < 30; i++) many.push_back(pattern(6, 4, false, i));
    std::string list;
    for (size_t i = 0; i < many.size(); i++) {
        sc.png("o" + std::to_string(i) + ".png", many[i]);
        list += "o" + std::to_string(i) + ".png\r\n";
    }
    sc.put("olist.txt", list);
    odmlrifflimit = 3000;
    int w = -100;
    std::string made = moviefix::capture(
        [&] { w = mkodml(sc.path("o.avi").c_str(), sc.path("olist.txt").c_str(), 60.0f, ""); });
    odmlrifflimit = ODML_RIFF_LIMIT;
    ASSERT_EQ(w, 0) << made;
    ASSERT_NE(sc.get("o.avi").size(), 0u);

    struct Case {
        const char* name;
        const char* movie;
        std::function<int(std::string*)> call;
        const char* printed;
    };
    const Case cases[] = {
        {"AppendToCutIndex", "cut.avi", [&](std::string* o) { return append("cut.avi", 5, 0, planes(a), 60.0f, o); },
         "Unsupported AVI layout (an index cut off by the end of the file). Failure abort in appending image to "
         "AVI.\n"},
        {"AppendToCutIndexSize", "cutsize.avi",
         [&](std::string* o) { return append("cutsize.avi", 5, 0, planes(a), 60.0f, o); },
         "Unsupported AVI layout (an index cut off by the end of the file). Failure abort in appending image to "
         "AVI.\n"},
        {"ReplacePastTheFirstSegment", "o.avi",
         [&](std::string* o) { return replace("o.avi", 25, 0, planes(a), 60.0f, o); },
         "Unsupported AVI layout (a frame past the first RIFF segment of an OpenDML movie). Failure abort in "
         "replacing image in AVI.\n"},
        {"ReplaceLastFramePastTheFirstSegment", "o.avi",
         [&](std::string* o) { return replace("o.avi", -1, 0, planes(a), 60.0f, o); },
         "Unsupported AVI layout (a frame past the first RIFF segment of an OpenDML movie). Failure abort in "
         "replacing image in AVI.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> before = sc.get(c.movie);
        g_tmpcreated = 0;
        g_os.fopen = countingopen;
        std::string out;
        int r = c.call(&out);
        g_os.fopen = os_native.fopen;
        EXPECT_EQ(r, 3) << out;
        EXPECT_NE(out.find(c.printed), std::string::npos) << out;
        EXPECT_EQ(g_tmpcreated, 0);
        EXPECT_EQ(sc.get(c.movie), before);
        EXPECT_TRUE(notemp());
    }
    // A frame inside the first segment is still replaced.
    std::string out;
    EXPECT_EQ(replace("o.avi", 0, 0, planes(pattern(6, 4, false, 9)), 60.0f, &out), 0) << out;
}

}  // namespace
