// e2e_program_test.cpp - the built programs run end to end, each in a fresh
// directory of its own, on PNG sequences of every kind made by libpng and
// WAVs built by hand;
// ffprobe and ffmpeg then read the movie back, and every frame and every
// audio byte is compared with what the inputs say it must be.  And Ctrl-C
// in the first moments of a run stops it with no movie.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "avi1_fixtures.h"
#include "e2e_util.h"
#include "testutil.h"

#if !defined(_WIN32) && defined(RK_REELKILN_BIN)


namespace {

using namespace e2e;

enum ListKind {
    NO_LIST,          // the program makes list.txt from "*.png"
    LIST_CRLF,        // names in the given order, each ended by CR LF
    LIST_LF_COMMENT,  // a comment line, LF line ends, no line end after the last name
};

struct Case {
    const char* name;
    std::vector<pngspec> pngs;        // written into the directory
    ListKind list;
    std::vector<std::string> order;   // the listed names (LIST_*); empty: every PNG, sorted
    bool wav;
    wavspec ws;
    bool fps30;
    int exitcode;                     // as the shell sees it
    const char* out;                  // a text stdout must hold ("" for none)
    const char* err;                  // a text stderr must hold ("" for none)
    bool sound;                       // the movie must have an audio stream
};

std::vector<pngspec> seq(const char* prefix, int count, int w, int h, const char* mode, int seed0 = 1) {
    std::vector<pngspec> v;
    for (int i = 0; i < count; i++) {
        char name[64];
        snprintf(name, sizeof name, "%s%03d.png", prefix, i);
        v.push_back({name, w, h, mode, seed0 + i});
    }
    return v;
}

std::vector<pngspec> cat(std::vector<pngspec> a, const std::vector<pngspec>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

wavspec W(int ch, int bits, int rate, uint32_t len, bool extras = false, bool pre = false) {
    wavspec s;
    s.channels = ch;
    s.bits = bits;
    s.rate = rate;
    s.datalen = len;
    s.extras = extras;
    s.preamble = pre;
    return s;
}

const char* kOK = "movie.AVI save OK.";

std::vector<Case> cases() {
    return {
        // 24-bit, odd width (row padding), no list and no sound.
        {"rgb_nolist_nowav", seq("f", 10, 33, 17, "rgb8"), NO_LIST, {}, false, {}, false, 0, kOK, "", false},
        // 32-bit frames with a 16-bit stereo sound, listed out of name order.
        {"rgba_list_wav16",
         seq("a", 8, 20, 10, "rgba8"),
         LIST_CRLF,
         {"a003.png", "a000.png", "a001.png", "a002.png", "a007.png", "a004.png", "a005.png", "a006.png"},
         true, W(2, 16, 44100, 8000), false, 0, kOK, "", true},
        // The first image is the largest: later ones are cut or filled white.
        // 8-bit mono sound of odd length behind a preamble, with extra chunks.
        {"first_larger",
         cat(cat(seq("b", 1, 40, 30, "rgb8"), seq("c", 2, 25, 20, "rgb8", 5)),
             cat(seq("d", 2, 50, 44, "rgb8", 9), seq("e", 1, 40, 30, "gray8", 3))),
         NO_LIST, {}, true, W(1, 8, 22050, 3001, true, true), false, 0, kOK, "", true},
        // The first image is the smallest, with alpha: larger ones are cut,
        // smaller ones filled white with alpha 0; opaque sources give 255.
        {"first_smaller_alpha",
         cat(cat(seq("g", 1, 16, 12, "rgba8"), seq("h", 2, 30, 30, "rgba8", 4)),
             cat(seq("i", 1, 10, 8, "graya8", 7), seq("j", 2, 16, 12, "rgb8", 8))),
         NO_LIST, {}, true, W(1, 16, 48000, 2001), false, 0, kOK, "", true},
        // Every other source kind into a 24-bit movie, at 30 frames per second.
        {"sources_to_24bit_30fps",
         {{"k0.png", 21, 13, "pal8", 1}, {"k1.png", 21, 13, "palt8", 2}, {"k2.png", 21, 13, "rgb16", 3},
          {"k3.png", 21, 13, "gray16", 4}, {"k4.png", 21, 13, "gray8", 5}, {"k5.png", 21, 13, "rgb8", 6}},
         NO_LIST, {}, true, W(2, 8, 11025, 1500, true), true, 0, kOK, "", true},
        // A list saved with LF line ends, a comment, and no end after the last
        // name: every listed name is a frame.
        {"list_lf_comment", seq("m", 5, 12, 12, "rgb8"), LIST_LF_COMMENT,
         {"m004.png", "m002.png", "m000.png", "m001.png", "m003.png"}, false, {}, false, 0, kOK, "", false},
        // A sound below 8 bits per sample is left out; the movie is made.
        {"wav_4bit", seq("n", 3, 8, 8, "rgb8"), NO_LIST, {}, true, W(1, 4, 8000, 100), false, 0, kOK, "", false},
        // A listed image that does not exist: -6, and the message box (on
        // POSIX: standard error) names it.
        {"missing_image", seq("p", 2, 8, 8, "rgb8"), LIST_CRLF, {"p000.png", "gone.png", "p001.png"}, false, {},
         false, 250, "AVI save failed. (-6)", "gone.png", false},
        // No PNG at all: an empty list is made and the first-image check fails.
        {"no_png", {}, NO_LIST, {}, false, {}, false, 3,
         "Sorry. Cannot access in PNG file(s) in ANSI/UTF-8/UTF-16 modes.", "", false},
    };
}

class Program : public ::testing::TestWithParam<Case> {};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }


TEST_P(Program, MakesTheMovieItsInputsDescribe) {
    const Case& c = GetParam();
    testutil::TempDir tmp;
    const fs::path dir = tmp.path();
    const fs::path bin = dir / (c.fps30 ? "reelkiln30" : "reelkiln");
    fs::copy_file(c.fps30 ? RK_REELKILN30_BIN : RK_REELKILN_BIN, bin);
    if (!c.pngs.empty()) moviefix::writepngs(dir, c.pngs);

    std::vector<std::string> frames = c.order;
    if (c.list == NO_LIST) {
        for (const pngspec& s : c.pngs) frames.push_back(s.name);
        std::sort(frames.begin(), frames.end());
    } else {
        std::string text;
        if (c.list == LIST_LF_COMMENT) {
            text = "// frames of the test\n";
            for (size_t i = 0; i < frames.size(); i++) text += frames[i] + (i + 1 < frames.size() ? "\n" : "");
        } else {
            for (const std::string& f : frames) text += f + "\r\n";
        }
        testutil::write_file(dir / "list.txt", text);
    }
    wavfile wav;
    if (c.wav) {
        wav = makewav(c.ws);
        testutil::write_file(dir / "music.wav", wav.file);
    }

    // Run it from elsewhere: the program works beside itself, not in the
    // current directory.
    int rc = sh("cd / && " + quote(bin.string()) + " > " + quote((dir / "out.txt").string()) + " 2> " +
                    quote((dir / "err.txt").string()),
                dir);
    std::string out = slurp(dir / "out.txt"), err = slurp(dir / "err.txt");
    ASSERT_EQ(rc, c.exitcode) << out << err;
    // The two builds differ in their banner and their frame rate only.
    EXPECT_EQ(out.rfind(c.fps30 ? "reelkiln (30 FPS)   V1.04\n" : "reelkiln (60 FPS)  V1.04\n", 0), 0u) << out;
    if (*c.out) {
        EXPECT_NE(out.find(c.out), std::string::npos) << out;
    }
    if (*c.err) {
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
    }
    EXPECT_EQ(out.find("!!!"), std::string::npos) << out;

    if (c.list == NO_LIST) {
        std::string want;
        for (const std::string& f : frames) want += f + "\r\n";
        EXPECT_EQ(slurp(dir / "list.txt"), want);
    }
    if (c.exitcode != 0) {
        EXPECT_FALSE(fs::exists(dir / "movie.avi"));
        return;
    }

    // The movie's facts, as ffprobe reads them.
    const fs::path movie = dir / "movie.avi";
    rgba first = decodepng(dir / frames[0], dir);
    const bool alpha = c.pngs.end() != std::find_if(c.pngs.begin(), c.pngs.end(), [&](const pngspec& s) {
                           return s.name == frames[0] && (s.mode == "rgba8" || s.mode == "graya8");
                       });
    auto v = probe(movie, "v:0", dir);
    EXPECT_EQ(v["codec_name"], "rawvideo");
    EXPECT_EQ(v["pix_fmt"], alpha ? "bgra" : "bgr24");
    EXPECT_EQ(v["width"], std::to_string(first.w));
    EXPECT_EQ(v["height"], std::to_string(first.h));
    EXPECT_EQ(v["nb_read_packets"], std::to_string(frames.size()));
    EXPECT_EQ(v["r_frame_rate"], c.fps30 ? "30/1" : "60/1");
    auto a = probe(movie, "a:0", dir);
    if (c.sound) {
        EXPECT_EQ(a["codec_name"], c.ws.bits == 8 ? "pcm_u8" : "pcm_s16le");
        EXPECT_EQ(a["channels"], std::to_string(c.ws.channels));
        EXPECT_EQ(a["sample_rate"], std::to_string(c.ws.rate));
        EXPECT_EQ(ffmpegaudio(movie, c.ws.bits, dir), wav.data);
    } else {
        EXPECT_TRUE(a.empty());
    }

    // Every frame, byte for byte, against the independently decoded images.
    std::vector<uint8_t> want;
    for (const std::string& f : frames) {
        std::vector<uint8_t> e = expectframe(decodepng(dir / f, dir), first.w, first.h, alpha);
        want.insert(want.end(), e.begin(), e.end());
    }
    std::vector<uint8_t> got = ffmpegframes(movie, alpha ? "bgra" : "bgr24", dir);
    ASSERT_EQ(got.size(), want.size());
    size_t fsz = (size_t)first.w * first.h * (alpha ? 4 : 3);
    for (size_t i = 0; i < frames.size(); i++)
        EXPECT_TRUE(std::equal(want.begin() + i * fsz, want.begin() + (i + 1) * fsz, got.begin() + i * fsz))
            << "frame " << i << " (" << frames[i] << ")";
    EXPECT_EQ(fs::file_size(movie) % 512, 0u);
}

INSTANTIATE_TEST_SUITE_P(E2e, Program, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// Ctrl-C (SIGINT) at random moments of the start-up: the pause before the
// banner, the list, the checks and the load of the first image, all before
// the movie is created.  Each run ends with 3 and "STOP - Aborted." and
// leaves no movie.avi; none goes on to make the movie.
//
// The moments are counted from the handler's arrival, which the test sees in
// the kernel's record of the process's caught signals (SigCgt in
// /proc/PID/status), not from the start: under a sanitizer on a busy machine
// the program may take any time to get there.  A signal before the handler
// exists (the first round sends one at once) kills the program as it would
// any other, which a user accepts as long as no movie is left.  A round whose
// signal was held up until after the movie was created (the test itself
// delayed by the machine) is not a start-up stop and is judged only by its
// end; the program's pauses (500 ms, then 100 ms each) give the latest moment
// drawn, 900 ms after the handler, about 100 ms to spare before that.
namespace stopfix {

// The caught-signal mask of a live process, or -1 when it cannot be read.
long long caughtsignals(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("SigCgt:", 0) == 0) return std::stoll(line.substr(7), nullptr, 16);
    return -1;
}

// Waits until pid has its SIGINT handler; false when it ended first, or after
// two minutes (a hang, not a slow machine).
bool handlerset(pid_t pid) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < end) {
        const long long m = caughtsignals(pid);
        if (m < 0) return false;
        if (m & (1LL << (SIGINT - 1))) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

}  // namespace stopfix

TEST(ProgramStop, CtrlCDuringStartUpStopsTheRunWithNoMovie) {
    if (stopfix::caughtsignals(getpid()) < 0) GTEST_SKIP() << "no /proc/PID/status to see the handler in";
    testutil::TempDir tmp;
    const fs::path dir = tmp.path();
    constexpr int kDistinct = 4, kN = 60;
    for (int i = 0; i < kDistinct; i++)
        moviefix::writepng((dir / ("f" + std::to_string(i) + ".png")).string(),
                           moviefix::pattern(640, 360, false, i));
    std::string list;
    for (int i = 0; i < kN; i++) list += "f" + std::to_string(i % kDistinct) + ".png\r\n";
    testutil::write_file(dir / "list.txt", list);
    fs::copy_file(RK_REELKILN_BIN, dir / "reelkiln");

    std::mt19937 rng(1211);
    for (int round = 0; round < 7; round++) {
        // Round 0 at once; then from the handler's arrival to 900 ms after:
        // the pause is 500 ms, the list is read after 100 ms more and two
        // of 100 ms come before the first image is probed and loaded (about
        // 800 ms); the movie is created 200 ms after that.
        const int ms = round == 0 ? -1 : (int)(rng() % 901);
        SCOPED_TRACE(round == 0 ? std::string("SIGINT at once")
                                : "SIGINT " + std::to_string(ms) + " ms after the handler was set");
        fs::remove(dir / "movie.avi");
        const pid_t pid = spawn(dir / "reelkiln", dir / "out.txt");
        ASSERT_GT(pid, 0);
        bool set = true;
        if (round > 0) {
            set = stopfix::handlerset(pid);
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
        kill(pid, SIGINT);
        const bool late = fs::exists(dir / "movie.avi");
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        const std::string out = slurp(dir / "out.txt");
        ASSERT_TRUE(set) << "the program ended or hung before it set its SIGINT handler\n" << out;
        if (late) {
            EXPECT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 3 || WEXITSTATUS(status) == 0)) << out;
            continue;
        }
        EXPECT_FALSE(fs::exists(dir / "movie.avi")) << out;
        if (round == 0 && WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), SIGINT) << out;
            continue;
        }
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << "\n" << out;
        EXPECT_EQ(WEXITSTATUS(status), 3) << out;
        EXPECT_NE(out.find("STOP - Aborted. \nAVI save failed. (3)\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("PNG load failed"), std::string::npos) << out;
    }
}

}  // namespace

#endif
