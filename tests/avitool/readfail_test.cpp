// Every edit with one read or write call failing, for every call of the
// edit in turn: a read that fails is not the end of the data, so the edit
// never commits a movie made from what it read up to there.  Either the
// result is 0 and the movie is the one a clean run makes, or the result is
// not 0 and the movie is the old one, byte for byte.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "edit_fixture.h"
#include "failcall.h"
#include "frame_fixture.h"

using namespace avifix;
using editfix::planes;

namespace {

struct sweepcase {
    const char* name;
    std::string file;                // the movie edited
    std::vector<uint8_t> before;     // it before the edit (empty: missing)
    std::function<int()> run;
};

// Sweeps every call of c.run; returns the number of calls.
long sweep(const scene& sc, const sweepcase& c) {
    sc.put(c.file, c.before);
    int r = -100;
    long calls = 0;
    std::string out;
    {
        failcall::Use f(0);
        out = moviefix::capture([&] { r = c.run(); });
        calls = f.count();
    }
    EXPECT_EQ(r, 0) << out;
    const std::vector<uint8_t> after = sc.get(c.file);
    EXPECT_NE(after, c.before);
    for (long n = 1; n <= calls; n++) {
        sc.put(c.file, c.before);
        failcall::kind k = failcall::NONE;
        {
            failcall::Use f(n);
            out = moviefix::capture([&] { r = c.run(); });
            k = f.fired();
        }
        SCOPED_TRACE(std::string(c.name) + ": call " + std::to_string(n) + " of " + std::to_string(calls) +
                     (k == failcall::READ ? " (a read)" : k == failcall::SEEK ? " (a seek)" : " (a write)"));
        const std::vector<uint8_t> now = sc.get(c.file);
        if (r == 0) {
            EXPECT_EQ(now, after) << out;
        } else {
            EXPECT_EQ(now, c.before) << out;
        }
        if (k == failcall::READ) {
            // Every read of an edit is of the movie or the sound: its
            // failure ends the edit with the read's own result and line.
            EXPECT_EQ(r, EDIT_READFAIL) << out;
            EXPECT_NE(out.find("Read failed ("), std::string::npos) << out;
        }
        EXPECT_FALSE(sc.exists("~qeltmp.avi"));
        if (testing::Test::HasFailure()) break;  // one call's story is enough
    }
    return calls;
}

TEST(ReadFailures, NoEditCommitsAMovieFromAFailedRead) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 1600, false});
    makemovie(sc, "n.avi", {6, 4, 3, false, 0, false});
    sc.put("s.wav", soundof(1600).file);
    sc.put("t.wav", soundof(4000, 4).file);
    const auto m = sc.get("m.avi"), n = sc.get("n.avi");
    const planes img(moviefix::pattern(6, 4, false, 9));
    auto P = [&](const char* f) { return sc.path(f); };
    const std::vector<sweepcase> cases = {
        {"avisetfps", "e.avi", m, [&] { return avisetfps(P("e.avi").c_str(), 30.0f); }},
        {"aviremovewav", "e.avi", m, [&] { return aviremovewav(P("e.avi").c_str()); }},
        {"aviappendwav adding", "e.avi", n, [&] { return aviappendwav(P("e.avi").c_str(), P("s.wav").c_str(), 0); }},
        {"aviappendwav replacing", "e.avi", m,
         [&] { return aviappendwav(P("e.avi").c_str(), P("t.wav").c_str(), 1); }},
        {"aviappendframe", "e.avi", m,
         [&] {
             return aviappendframe(P("e.avi").c_str(), 4, 0, img.w, img.h, img.R.data(), img.G.data(), img.B.data(),
                                   img.A.data(), 60.0f, 0);
         }},
        {"avireplaceframe", "e.avi", m,
         [&] {
             return avireplaceframe(P("e.avi").c_str(), 1, 0, img.w, img.h, img.R.data(), img.G.data(),
                                    img.B.data(), img.A.data(), 60.0f, 0);
         }},
        // The rate changed on the way: the patches come from reads too.
        {"avireplaceframe at a new rate", "e.avi", m,
         [&] {
             return avireplaceframe(P("e.avi").c_str(), 0, 0, img.w, img.h, img.R.data(), img.G.data(),
                                    img.B.data(), img.A.data(), 25.0f, 0);
         }},
    };
    for (const sweepcase& c : cases) {
        long calls = sweep(sc, c);
        EXPECT_GT(calls, 50) << c.name;  // the sweep saw the edit's reads and writes
        if (HasFailure()) return;
    }
}

// The frame reader with every read and seek failing in turn, on a 24-bit movie with
// sound and on an 8-bit one with a palette: a failed read anywhere (the
// scan, the format, the palette, the chunk's header, the rows) gives 5 and
// its line, never a frame from the bytes read up to there, and never the
// "file ends inside the rows" (-2) a short file gives.
TEST(ReadFailures, TheFrameReaderNeverTakesAFailedReadForTheEnd) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 1600, false});
    framefix::dibmovie d;
    d.w = 5;
    d.h = 3;
    d.strf = framefix::bmih(5, 3, 8);
    for (int i = 0; i < 256; i++)
        for (int k = 0; k < 4; k++) d.strf.push_back((uint8_t)(i * (k + 1)));
    std::vector<uint8_t> rows;
    for (int y = 0; y < 3; y++) {
        for (int x = 0; x < 5; x++) rows.push_back((uint8_t)(40 * y + 7 * x));
        rows.insert(rows.end(), 3, 0);
    }
    d.chunks = {{"00db", rows}, {"00db", rows}};
    sc.put("p.avi", framefix::build(d));
    for (const char* name : {"m.avi", "p.avi"}) {
        for (int frame : {1, -1}) {
            SCOPED_TRACE(std::string(name) + " frame " + std::to_string(frame));
            framefix::readout clean;
            long calls = 0;
            {
                failcall::Use f(0);
                clean = framefix::readframe(sc.path(name), frame);
                calls = f.count();
            }
            ASSERT_EQ(clean.result, 0) << clean.printed;
            EXPECT_GT(calls, 4);
            for (long n = 1; n <= calls; n++) {
                SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls));
                framefix::readout o;
                failcall::kind k;
                {
                    failcall::Use f(n);
                    o = framefix::readframe(sc.path(name), frame);
                    k = f.fired();
                }
                ASSERT_TRUE(k == failcall::READ || k == failcall::SEEK);
                if (k == failcall::SEEK && o.result == 0) {
                    // A refused move that changed nothing the reader needed.
                    EXPECT_EQ(o.rgba, clean.rgba) << o.printed;
                } else {
                    EXPECT_EQ(o.result, AVISCAN_READFAIL) << o.printed;
                    EXPECT_NE(o.printed.find("Read failed (RD) while "), std::string::npos) << o.printed;
                }
                if (HasFailure()) return;
            }
        }
    }
}

}  // namespace
