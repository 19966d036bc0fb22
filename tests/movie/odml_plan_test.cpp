// odml_plan_test.cpp - the OpenDML size plan against worked figures and
// against an independent walk of the layout.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "movie/odml.h"

namespace {

struct PlanCase {
    const char* name;
    odmlfacts facts;
    int32_t numIndex;
    uint32_t k1;
    uint32_t kx;
    uint32_t segments;
    uint32_t lastframes;
    uint32_t riff1;     // 0: not checked
    uint64_t movi1;     // 0: not checked
    uint64_t frame1;    // 0: not checked
    uint64_t seg2start; // 0: not checked
};

const PlanCase kPlanCases[] = {
    // 1000 frames of 1920x1080, the figures a hand calculation gives.
    {"hd24", {1000, 1920, 1080, false, false, 0}, 6, 172, 172, 6, 140, 1069982580u, 2200, 3612, 1069982588u},
    {"hd32", {1000, 1920, 1080, true, false, 0}, 8, 129, 129, 8, 97, 0, 0, 0, 0},
    // A large sound lowers k1 to 92, and the frames then need seven segments:
    // the reserve grows from the estimate's six to seven.
    {"hd24_bigsound", {1000, 1920, 1080, false, true, 500000000}, 7, 92, 172, 7, 48, 0, 0, 0, 0},
    // Fewer frames than one segment holds: one segment, one entry.
    {"small", {10, 64, 48, false, true, 12345}, 1, 10, 0, 1, 10, 0, 0, 0, 0},
    // A limit lowered to 4000 bytes: segments of 8, 18, 18 and 16 frames of
    // 10 x 6, as a hand calculation gives.
    {"kb_limit", {60, 10, 6, false, false, 0, 4000}, 8, 8, 18, 4, 16, 3924, 2232, 2332, 3932},
    // No frames at all still plans one (empty) segment.
    {"empty", {0, 16, 16, false, false, 0}, 1, 0, 0, 1, 0, 0, 0, 0, 0},
};

class Plan : public ::testing::TestWithParam<PlanCase> {};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Plan, MatchesWorkedFigures) {
    const PlanCase& c = GetParam();
    odmlplan p;
    ASSERT_EQ(odmlmkplan(&c.facts, &p), ODML_PLAN_OK);
    EXPECT_EQ(p.numIndex, c.numIndex);
    EXPECT_EQ(p.k1, c.k1);
    if (c.segments > 1) { EXPECT_EQ(p.kx, c.kx); }
    EXPECT_EQ(p.segments, c.segments);
    EXPECT_EQ(odmlsegment(&p, p.segments - 1).frames, c.lastframes);
    if (c.riff1) { EXPECT_EQ(p.riff1, c.riff1); }
    if (c.movi1) {
        EXPECT_EQ(p.movi1, c.movi1);
        EXPECT_EQ(p.ix00_1, c.movi1 + 4);
    }
    if (c.frame1) { EXPECT_EQ(p.frame1, c.frame1); }
    if (c.seg2start) {
        odmlseg s = odmlsegment(&p, 1);
        EXPECT_EQ(s.start, c.seg2start);
        EXPECT_EQ(s.movi, c.seg2start + 20);
    }
}

// Walks the layout item by item, as a reader would, and checks that every
// size and position the plan gives agrees with the bytes that precede it, that
// every segment fits the limit and that the frames add up.
TEST_P(Plan, AgreesWithLayoutWalk) {
    const PlanCase& c = GetParam();
    odmlplan p;
    ASSERT_EQ(odmlmkplan(&c.facts, &p), ODML_PLAN_OK);
    const odmlfacts& f = c.facts;
    const uint64_t N = (uint64_t)p.numIndex;
    const uint64_t fs = p.fs;
    EXPECT_EQ(fs, (f.alpha ? 4ull * f.w : (3ull * f.w + 3) / 4 * 4) * f.h);

    // The first segment, item by item.
    uint64_t pos = 12;                   // RIFF size 'AVI '
    uint64_t hdrl = 4 + 64;              // 'hdrl', avih
    uint64_t strl = 4 + 64 + 48 + 8 + 16 * N + 24 + (f.alpha ? 0 : 14);
    EXPECT_EQ(p.strlsize, strl);
    hdrl += 8 + strl;
    if (f.sound) hdrl += 164;
    hdrl += 28;                          // odml list
    EXPECT_EQ(p.hdrlsize, hdrl);
    pos += 8 + hdrl;
    pos += 8 + p.junksize;
    pos += 8;                            // 'LIST' size
    EXPECT_EQ(p.movi1, pos);
    uint64_t movistart = pos;
    pos += 4;
    EXPECT_EQ(p.ix00_1, pos);
    pos += 32 + 8ull * p.k1;
    if (f.sound) {
        EXPECT_EQ(p.ix01, pos);
        pos += 40;
    }
    EXPECT_EQ(p.frame1, pos);
    pos += (uint64_t)p.k1 * (fs + 8);
    if (f.sound) {
        EXPECT_EQ(p.wb, pos);
        pos += 8 + (uint64_t)f.datlen;
    }
    EXPECT_EQ(p.movi1size, pos - movistart);
    EXPECT_EQ(p.riff1, pos - 8);
    EXPECT_EQ(p.riff1, odmlriff1(&p, p.k1));
    EXPECT_LT(p.riff1, f.limit);
    // The fixed pad puts the first frame where an AVI 1.0 movie has it (2048
    // or 8824), moved on by what only this layout holds before it: the odml
    // list, the super index chunks and the standard indexes.
    EXPECT_EQ(p.frame1, (f.alpha ? 8824u : 2048u) + 28 + 8 + 16 * N + 24 + (f.sound ? 48 : 0) + 32 + 8ull * p.k1 + (f.sound ? 40 : 0));

    uint64_t frames = p.k1;
    for (uint32_t s = 1; s < p.segments; s++) {
        odmlseg g = odmlsegment(&p, s);
        EXPECT_EQ(g.start, pos) << "segment " << s;
        EXPECT_GT(g.frames, 0u);
        EXPECT_EQ(g.movi, pos + 20);
        EXPECT_EQ(g.ix00, pos + 24);
        EXPECT_EQ(g.frame, pos + 24 + 32 + 8ull * g.frames);
        EXPECT_EQ(g.movisize, 4 + 32 + 8ull * g.frames + g.frames * (fs + 8));
        EXPECT_EQ(g.riffsize, 4 + 8 + g.movisize);
        EXPECT_LT(g.riffsize, f.limit);
        // As many frames as fit: one more would not.
        if (s + 1 < p.segments) { EXPECT_GE(odmlriffx(&p, g.frames + 1), f.limit); }
        pos = g.start + 8 + g.riffsize;
        frames += g.frames;
    }
    EXPECT_EQ(frames, f.n);
    EXPECT_EQ(p.end, pos);
    EXPECT_LE((uint64_t)p.segments, N);
}

INSTANTIATE_TEST_SUITE_P(Odml, Plan, ::testing::ValuesIn(kPlanCases),
                         [](const ::testing::TestParamInfo<PlanCase>& i) { return std::string(i.param.name); });

// The later segments of the 24-bit worked movie: 172 frames each, RIFF size
// 1069980400, the last one 140 frames of 870914288.
TEST(OdmlPlan, LaterSegmentsOfWorkedMovie) {
    odmlfacts f{1000, 1920, 1080, false, false, 0};
    odmlplan p;
    ASSERT_EQ(odmlmkplan(&f, &p), ODML_PLAN_OK);
    for (uint32_t s = 1; s < 5; s++) EXPECT_EQ(odmlsegment(&p, s).riffsize, 1069980400u);
    EXPECT_EQ(odmlsegment(&p, 5).riffsize, 870914288u);
    EXPECT_EQ(odmlsegment(&p, 1).frame, 1069984020u);
}

// Every segment keeps its super index entry whatever the sound's size: the
// reserve always covers the segments.  Sweep the sound over the range where
// the lowering of k1 moves frames out of the first segment.
TEST(OdmlPlan, ReserveCoversSegmentsForAnySound) {
    for (int64_t datlen = 0; datlen <= 1000000000; datlen += 23456789) {
        for (bool alpha : {false, true}) {
            odmlfacts f{700, 1280, 720, alpha, true, datlen};
            odmlplan p;
            ASSERT_EQ(odmlmkplan(&f, &p), ODML_PLAN_OK) << datlen;
            EXPECT_LE((uint64_t)p.segments, (uint64_t)p.numIndex) << datlen;
            EXPECT_LT(p.riff1, ODML_RIFF_LIMIT) << datlen;
            uint64_t frames = 0;
            for (uint32_t s = 0; s < p.segments; s++) frames += odmlsegment(&p, s).frames;
            EXPECT_EQ(frames, 700u);
        }
    }
}

// A sound too large for any first segment leaves it without frames (its RIFF
// size is then over the segment limit but still a 32-bit number); one that
// would pass 32 bits is refused.
TEST(OdmlPlan, HugeSound) {
    odmlfacts f{20, 640, 480, false, true, 1500000000};
    odmlplan p;
    ASSERT_EQ(odmlmkplan(&f, &p), ODML_PLAN_OK);
    EXPECT_EQ(p.k1, 0u);
    EXPECT_GE(p.segments, 2u);
    EXPECT_LE((uint64_t)p.segments, (uint64_t)p.numIndex);
    EXPECT_EQ(p.riff1, odmlriff1(&p, 0));

    f.datlen = 0xFFFFFF00;
    EXPECT_EQ(odmlmkplan(&f, &p), ODML_TOO_LARGE);
}

struct TooLargeCase {
    const char* name;
    odmlfacts facts;
    int want;
};

const TooLargeCase kTooLarge[] = {
    // 16384 x 16384 x 4 is exactly 1 GiB: no chunk of it fits a segment.
    {"gib_frame", {4, 16384, 16384, true, false, 0}, ODML_TOO_LARGE},
    // The largest 32-bit frame that fits: fs + 8 + 8 + 48 < 0x3FFFFFF0.
    {"just_fits", {4, 4, 0x3FFFFFF0 / 16 - 5, true, false, 0}, ODML_PLAN_OK},
    {"just_over", {4, 4, 0x3FFFFFF0 / 16 - 4, true, false, 0}, ODML_TOO_LARGE},
    // A product that passes 64 bits.
    {"overflow", {1, 0xFFFFFFFFu, 0xFFFFFFFFu, true, false, 0}, ODML_TOO_LARGE},
};

class TooLarge : public ::testing::TestWithParam<TooLargeCase> {};
void PrintTo(const TooLargeCase& c, std::ostream* os) { *os << c.name; }


TEST_P(TooLarge, RefusedBeforeAnything) {
    const TooLargeCase& c = GetParam();
    odmlplan p;
    EXPECT_EQ(odmlmkplan(&c.facts, &p), c.want);
    if (c.want == ODML_PLAN_OK) {
        EXPECT_EQ(p.kx, 1u);
        EXPECT_LT(odmlsegment(&p, 1).riffsize, ODML_RIFF_LIMIT);
    }
}

INSTANTIATE_TEST_SUITE_P(Odml, TooLarge, ::testing::ValuesIn(kTooLarge),
                         [](const ::testing::TestParamInfo<TooLargeCase>& i) { return std::string(i.param.name); });

// Tiny frames break the first estimate (it divides by fs - 24); the
// plan must still end and lay out every frame.
TEST(OdmlPlan, TinyFrames) {
    for (uint32_t w : {1u, 2u, 3u, 8u}) {
        odmlfacts f{100000, w, 1, false, false, 0};
        odmlplan p;
        ASSERT_EQ(odmlmkplan(&f, &p), ODML_PLAN_OK) << w;
        EXPECT_EQ(p.segments, 1u);
        EXPECT_EQ(p.k1, 100000u);
    }
    // Enough 1x1 frames that they need a second segment.
    odmlfacts f{80000000, 1, 1, false, false, 0};
    odmlplan p;
    ASSERT_EQ(odmlmkplan(&f, &p), ODML_PLAN_OK);
    EXPECT_EQ(p.segments, 2u);
    EXPECT_LE((uint64_t)p.segments, (uint64_t)p.numIndex);
    EXPECT_EQ(p.k1 + odmlsegment(&p, 1).frames, 80000000u);
}

}  // namespace
