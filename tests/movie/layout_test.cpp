// layout_test.cpp - the header and filler sizes both plans add up, each held
// to what its put-function emits, and the AVI 1.0 sizes they give.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "avi1_fixtures.h"
#include "movie/chunks.h"
#include "movie/odml.h"
#include "stream/stream.h"

namespace {

using moviefix::scene;

struct EmitCase {
    const char* name;
    uint64_t size;                 // the constant the plans use
    std::function<int()> put;
};

void PrintTo(const EmitCase& c, std::ostream* os) { *os << c.name; }

const videohdr kVideo{3, 10, 6, false, 192, 60.0f, true};
const videohdr kVideo32{3, 10, 6, true, 240, 60.0f, false};

soundfacts sound() {
    soundfacts s{};
    s.present = true;
    s.datlen = 1001;
    s.ch = 1;
    s.bits = 8;
    s.rate = 8000;
    s.ba = 1;
    s.avgbytes = 8000;
    return s;
}

odmlplan plan(uint32_t n, bool snd) {
    odmlfacts f{n, 10, 6, false, snd, 1001};
    f.limit = 4000;
    odmlplan p;
    odmlmkplan(&f, &p);
    return p;
}

const EmitCase kEmits[] = {
    {"avih", AVIH_CHUNK, [] { return putavih(kVideo); }},
    {"hdrl_opening", HDRL_OPENING, [] { return puthdrlopen(2040, 206, 130, kVideo); }},
    {"strh_vids", STRH_CHUNK, [] { return putstrhvids(kVideo); }},
    {"strh_auds", STRH_CHUNK, [] { return putstrhauds(sound()); }},
    {"strf_vids", STRF_VIDS_CHUNK, [] { return putstrfvids(kVideo32); }},
    {"strf_auds", STRF_AUDS_CHUNK, [] { return putstrfauds(sound()); }},
    {"strn", STRN_CHUNK, [] { return putstrn("VIDEO"); }},
    {"strl_auds", STRL_AUDS_LIST, [] { return putstrlauds(sound()); }},
    {"junk_24", CHUNK_HDR + junksize1(false, true), [] { return putjunk(false, junksize1(false, true)); }},
    {"junq_32", CHUNK_HDR + junksize1(true, false), [] { return putjunk(true, junksize1(true, false)); }},
    {"indx_video", INDX_HDR + INDX_ENTRY * (uint64_t)plan(60, false).numIndex,
     [] { return putvidsindx(plan(60, false)); }},
    {"strl_auds_odml", STRL_AUDS_LIST + AUDS_INDX, [] { return putstrlaudsodml(plan(30, true), sound()); }},
    {"odml_list", ODML_LIST, [] { return putodmllist(60); }},
    {"ix00_of_7", IXNN_HDR + 7 * IXNN_ENTRY, [] { return putix00("00db", 7, 4096, 192); }},
    {"ix00_of_600", IXNN_HDR + 600 * IXNN_ENTRY, [] { return putix00("00db", 600, 4096, 192); }},
    {"ix01", IXNN_HDR + IXNN_ENTRY, [] { return putix01(4096, 1001); }},
};

class Emits : public testing::TestWithParam<EmitCase> {};

TEST_P(Emits, WhatItsConstantSays) {
    const EmitCase& c = GetParam();
    scene sc;
    ASSERT_EQ(wfcreate(sc.path("piece").c_str()), 0);
    ASSERT_EQ(c.put(), 0);
    ASSERT_EQ(wferr(), 0);
    ASSERT_EQ(wfclose(), 0);
    EXPECT_EQ(sc.get("piece").size(), c.size);
}

INSTANTIATE_TEST_SUITE_P(Chunks, Emits, testing::ValuesIn(kEmits),
                         [](const testing::TestParamInfo<EmitCase>& i) { return std::string(i.param.name); });

// The sizes the constants give for the AVI 1.0 header: its lists, and a
// filler that puts the first frame chunk at 2048 or 8824 in every form.
TEST(Layout, Avi1HeaderSizes) {
    EXPECT_EQ(strlvidssize(false), 130u);
    EXPECT_EQ(strlvidssize(true), 116u);
    EXPECT_EQ(hdrlsize1(false, false), 206u);
    EXPECT_EQ(hdrlsize1(true, false), 192u);
    EXPECT_EQ(hdrlsize1(false, true), 322u);
    EXPECT_EQ(junksize1(false, false), 1802u);
    EXPECT_EQ(junksize1(false, true), 1686u);
    EXPECT_EQ(junksize1(true, false), 8592u);
    EXPECT_EQ(junksize1(true, true), 8476u);
}

}  // namespace
