// plan_held_test.cpp - both write passes held to their plans: a plan that
// disagrees with what the pass writes (one position moved, one size
// changed) must end the run with -1 and a line saying where, never with a
// movie reported as saved.  Run on a small scene of three segments (the
// OpenDML limit lowered) with a sound, so that every check point is met.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "avi1_fixtures.h"
#include "movie/avi1.h"
#include "movie/odml.h"
#include "movie/prepass.h"

namespace {

using moviefix::capture;
using moviefix::scene;

// 30 frames of 10 x 6 and a sound of 1001 bytes; with a 4000-byte limit the
// OpenDML movie has three segments.
void heldscene(const scene& sc) {
    std::string list;
    for (int i = 0; i < 30; i++) {
        std::string name = "f" + std::to_string(i) + ".png";
        sc.png(name, moviefix::pattern(10, 6, false, i));
        list += name + "\r\n";
    }
    sc.put("list.txt", list);
    sc.put("music.wav", moviefix::pcmwav(1, 8000, 8, moviefix::samples(1001)));
}

struct run {
    int r = -100;
    std::string out;
};

// The steps before a writer's plan, as the writers take them.
template <typename Pass>
run beforeplan(const scene& sc, bool odml, Pass pass) {
    static std::string avi, list, wav;
    static std::u16string aviW, listW, wavW;
    avi = sc.path("movie.avi"), list = sc.path("list.txt"), wav = sc.path("music.wav");
    aviW = sc.pathW("movie.avi"), listW = sc.pathW("list.txt"), wavW = sc.pathW("music.wav");
    const moviepaths p{avi.c_str(), aviW.c_str(), list.c_str(), listW.c_str(), wav.c_str(), wavW.c_str(), 0};
    run m;
    m.out = capture([&] {
        listfacts lf;
        soundfacts snd;
        if ((m.r = listprepass(p, &lf)) || (m.r = firstimage(p, lf, odml))) return;
        soundscan(p, &snd);
        m.r = pass(p, lf, snd);
    });
    return m;
}

struct OdmlCase {
    const char* name;
    std::function<void(odmlplan&)> tamper;
    const char* line;   // in the disagreement line
    bool created;       // the pass had begun the file
};

const OdmlCase kOdml[] = {
    {"ix00_moved", [](odmlplan& p) { p.ix00_1 += 8; }, "!!! StdIndex[ix00]p ", true},
    {"ix01_moved", [](odmlplan& p) { p.ix01 += 8; }, "!!! StdIndex[ix01]p!=", true},
    {"first_frame_moved", [](odmlplan& p) { p.frame1 += 8; }, "!!! baseAddrBMP0 ", true},
    // A smaller frame size in the plan: the frames written are larger, so
    // the second chunk is not at the offset the plan (and the ix00) gives.
    {"frame_size_smaller", [](odmlplan& p) { p.fs -= 4; }, "!!! DIBchunkadr[00dx]s ", true},
    {"sound_chunk_moved", [](odmlplan& p) { p.wb += 8; }, "!!! WAVchunkadr[01wb]s ", true},
    {"first_riff_longer", [](odmlplan& p) { p.riff1 += 8; }, "!!! RIFF0 end ", true},
    {"end_later", [](odmlplan& p) { p.end += 512; }, "frames to ", true},
    // Segments that do not add up to the frames: refused before anything.
    {"segments_short", [](odmlplan& p) { p.segments -= 1; }, "index entries and 30 frames disagreed", false},
    {"segments_past_index", [](odmlplan& p) { p.numIndex = 1; }, "for 1 index entries", false},
};

class OdmlHeld : public testing::TestWithParam<OdmlCase> {};
void PrintTo(const OdmlCase& c, std::ostream* os) { *os << c.name; }


TEST_P(OdmlHeld, DisagreementEndsTheRun) {
    const OdmlCase& c = GetParam();
    scene sc;
    heldscene(sc);
    run m = beforeplan(sc, true, [&](const moviepaths& p, const listfacts& lf, const soundfacts& snd) {
        odmlfacts f{lf.n, pngwidth, pngheight, false, snd.present, snd.datlen};
        f.limit = 4000;
        odmlplan plan;
        if (odmlmkplan(&f, &plan) != ODML_PLAN_OK) return -100;
        EXPECT_EQ(plan.segments, 3u);
        c.tamper(plan);
        return odmlwritepass(p, plan, snd, 60.0f);
    });
    EXPECT_EQ(m.r, -1) << m.out;
    EXPECT_NE(m.out.find(c.line), std::string::npos) << m.out;
    EXPECT_NE(m.out.find(" disagreed."), std::string::npos) << m.out;
    EXPECT_EQ(m.out.find("Output   frames"), std::string::npos) << m.out;
    EXPECT_EQ(sc.exists("movie.avi"), c.created);
}

INSTANTIATE_TEST_SUITE_P(Plans, OdmlHeld, testing::ValuesIn(kOdml),
                         [](const testing::TestParamInfo<OdmlCase>& i) { return std::string(i.param.name); });

struct Avi1Case {
    const char* name;
    std::function<void(avi1plan&)> tamper;
    const char* line;
};

const Avi1Case kAvi1[] = {
    {"movi_moved", [](avi1plan& p) { p.movi += 4; }, "!!! movi at "},
    {"frame_size_smaller", [](avi1plan& p) { p.fs -= 4; }, "!!! frame chunk at "},
    {"sound_chunk_moved", [](avi1plan& p) { p.soundchunk += 8; }, "!!! sound chunk at "},
    {"idx1_moved", [](avi1plan& p) { p.idx1 += 8; }, "!!! idx1 at "},
    {"riff_longer", [](avi1plan& p) { p.total += 8; }, "!!! RIFF end at "},
    // The length on disk is checked against the plan's too.
    {"file_longer", [](avi1plan& p) { p.filelen += 512; }, "*** Disk Full *** \n"},
};

class Avi1Held : public testing::TestWithParam<Avi1Case> {};
void PrintTo(const Avi1Case& c, std::ostream* os) { *os << c.name; }


TEST_P(Avi1Held, DisagreementEndsTheRun) {
    const Avi1Case& c = GetParam();
    scene sc;
    heldscene(sc);
    run m = beforeplan(sc, false, [&](const moviepaths& p, const listfacts& lf, const soundfacts& snd) {
        avi1plan plan = planavi1(lf.n, pngwidth, pngheight, false, snd.present, (uint64_t)snd.datlen);
        c.tamper(plan);
        return avi1writepass(p, plan, snd, 60.0f);
    });
    EXPECT_EQ(m.r, -1) << m.out;
    EXPECT_NE(m.out.find(c.line), std::string::npos) << m.out;
}

INSTANTIATE_TEST_SUITE_P(Plans, Avi1Held, testing::ValuesIn(kAvi1),
                         [](const testing::TestParamInfo<Avi1Case>& i) { return std::string(i.param.name); });

// The untouched plans write whole movies: the checks themselves agree with
// the writers.
TEST(PlanHeld, UntouchedPlansWrite) {
    for (bool odml : {false, true}) {
        scene sc;
        heldscene(sc);
        run m = beforeplan(sc, odml, [&](const moviepaths& p, const listfacts& lf, const soundfacts& snd) {
            if (!odml)
                return avi1writepass(p, planavi1(lf.n, pngwidth, pngheight, false, true, (uint64_t)snd.datlen),
                                     snd, 60.0f);
            odmlfacts f{lf.n, pngwidth, pngheight, false, true, snd.datlen};
            f.limit = 4000;
            odmlplan plan;
            odmlmkplan(&f, &plan);
            return odmlwritepass(p, plan, snd, 60.0f);
        });
        EXPECT_EQ(m.r, 0) << m.out;
        EXPECT_EQ(m.out.find("!!!"), std::string::npos) << m.out;
    }
}

}  // namespace
