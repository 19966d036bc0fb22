// codes_test.cpp - the code tables, their lookups, the 16-bit string
// primitives and the plain 8-bit <-> 16-bit converters.
//
// The tables are checked three ways: their counts and one-to-one shape over
// every code and every unit, the lookups users depend on, and a rerun of
// the generator that must reproduce the committed file byte for byte.  The
// converters are checked here on hand-made cases (walk rules, caps,
// appending); convert_oracle_test.cpp replays them over every code and unit
// against Python's codecs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testutil.h"
#include "text/codes.h"
#include "text_fixture.h"

using testutil::h2b;
using namespace texttest;

namespace {

// The converters take their lead bytes from the platform; every test here
// says which code page it assumes and gets the table back afterwards.
class Codes : public WithCp932 {};

std::u16string units(std::initializer_list<char16_t> u) { return std::u16string(u); }

// ---- Tables ----------------------------------------------------------------------

TEST(CodeTables, CountsAndOneToOne) {
    int mapped = 0, singles = 0, beyond = 0;
    std::set<int> seen;
    for (int code = 0; code <= 0xFFFF; code++) {
        int cp = sjis2uni(code);
        if (cp == 0) continue;
        mapped++;
        if (code <= 0xFF) singles++;
        if (cp > 0xFFFF) beyond++;
        EXPECT_TRUE(seen.insert(cp).second) << std::hex << "U+" << cp << " twice, again at " << code;
        EXPECT_LE(cp, 0x2A6B2);
    }
    EXPECT_EQ(mapped, 11398);
    EXPECT_EQ(singles, 190);
    EXPECT_EQ(beyond, 303);

    // The inverse holds exactly the BMP code points the forward table makes,
    // each pointing back at its one code.
    int inverse = 0;
    for (int u = 0; u <= 0xFFFF; u++) {
        int code = uni2sjis(u);
        if (code == 0) continue;
        inverse++;
        EXPECT_EQ(sjis2uni(code), u) << std::hex << "U+" << u << " -> " << code;
    }
    EXPECT_EQ(inverse, 11095);
    for (int cp : seen) {
        if (cp > 0xFFFF) continue;
        EXPECT_NE(uni2sjis(cp), 0) << std::hex << "U+" << cp;
    }
}

TEST(CodeTables, UnmappedCodes) {
    // The 25 codes that stand for a letter plus a combining mark, and the
    // row-13 codes JIS X 0213 leaves unassigned.
    std::vector<int> none = {0x8663, 0x8685, 0x8686, 0x83F6, 0x8790, 0x8791, 0x8792,
                             0x8794, 0x8795, 0x8796, 0x8797, 0x879A, 0x879B, 0x879C};
    for (int c = 0x82F5; c <= 0x82F9; c++) none.push_back(c);
    for (int c = 0x8397; c <= 0x839E; c++) none.push_back(c);
    for (int c = 0x8667; c <= 0x866E; c++) none.push_back(c);
    for (int code : none) EXPECT_EQ(sjis2uni(code), 0) << std::hex << code;
    // Single bytes: 0x00, 0x80-0xA0 and 0xE0-0xFF have none.
    for (int b : {0x00, 0x80, 0x9F, 0xA0, 0xE0, 0xFD, 0xFF}) EXPECT_EQ(sjis2uni(b), 0) << b;
}

struct Lookup {
    int in, want;
};

TEST(CodeTables, Sjis2uniSamples) {
    const Lookup cases[] = {
        {0x815C, 0x2014},  {0x81D4, 0xFF5F},   {0x81D5, 0xFF60},  {0x82F5, 0},
        {0xFCF4, 0x2A6B2}, {0x5C, 0xA5},       {0x7E, 0x203E},    {0x41, 0x41},
        {0x80, 0},         {0xA1, 0xFF61},     {0xDF, 0xFF9F},    {0x1815C, 0x2014},
        {0x10041, 0x41},   {-1, 0},            {0x889F, 0x4E9C},  {0x83BB, 0x2661},
        {0x8140, 0x3000},  {0x815F, 0x5C},     {0x81B0, 0x7E},    {0x857E, 0xE9},
        {0xA040, 0},       {0xFD40, 0},        {0xFCFF, 0},       {0x7FFF, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(sjis2uni(c.in), c.want) << std::hex << c.in;
}

TEST(CodeTables, Uni2sjisSamples) {
    const Lookup cases[] = {
        {0x2661, 0x83BB}, {0xD83D, 0},        {0xDC00, 0},       {0xA5, 0x5C},
        {0x203E, 0x7E},   {0x5C, 0x815F},     {0x7E, 0x81B0},    {0x2014, 0x815C},
        {0x2015, 0},      {0xFF5F, 0x81D4},   {0xFF60, 0x81D5},  {0x2985, 0},
        {0x2986, 0},      {0x80, 0},          {0x9F, 0},         {0xB5, 0},
        {0xE9, 0x857E},   {0x3042, 0x82A0},   {0x10041, 0x41},   {0x4E9C, 0x889F},
        {0xFF61, 0xA1},   {0x0500, 0},        {0xE000, 0},       {0x3000, 0x8140},
    };
    for (const auto& c : cases) EXPECT_EQ(uni2sjis(c.in), c.want) << std::hex << c.in;
}

TEST(CodeTables, FixedRangeLeadByte) {
    const Lookup cases[] = {{0x00, 0},  {0x7F, 0},  {0x80, -1}, {0x81, -1}, {0x9F, -1}, {0xA0, 0},
                            {0xDF, 0},  {0xE0, -1}, {0xFC, -1}, {0xFD, 0},  {0xFF, 0}};
    for (const auto& c : cases) EXPECT_EQ(issjislead((uint8_t)c.in), c.want) << std::hex << c.in;
}

// The committed tables are exactly what the generator makes today.
TEST(CodeTables, GeneratorReproducesCommittedFile) {
    if (!testutil::have_python()) GTEST_SKIP() << "no Python in this build";
    testutil::TempDir dir;
    std::string out = dir.str("tables.inc");
    std::string cmd = testutil::python() + " \"" + RK_SOURCE_DIR + "/tools/gen_sjis_tables.py\" \"" + out + "\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    auto made = testutil::read_file(out);
    auto committed = testutil::read_file(std::string(RK_SOURCE_DIR) + "/text/sjis_tables.inc");
    ASSERT_EQ(made.size(), committed.size());
    EXPECT_TRUE(made == committed) << "text/sjis_tables.inc differs from the generator's output";
}

// ---- 16-bit primitives --------------------------------------------------------------

TEST(WideStrings, Compare) {
    struct Case {
        const char16_t *a, *b;
        int want;
    } cases[] = {
        {u"ab", u"ab", 0}, {u"ab", u"abc", -1}, {u"abc", u"ab", -1}, {u"", u"", 0},
        {u"", u"a", -1},   {u"a", u"", -1},     {u"ab", u"ac", -1},  {u"\u3042", u"\u3042", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(wstrcmp(c.a, c.b), c.want);
}

TEST(WideStrings, LengthIsCappedAt4999) {
    for (int n : {0, 1, 4998, 4999, 5000, 6000}) {
        std::u16string s(n, u'a');
        EXPECT_EQ(wstrlen(s.c_str()), n < 4999 ? n : 4999) << n;
    }
}

TEST(WideStrings, CopyAndAppend) {
    char16_t buf[16];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(wstrcpy(buf, u"abc"), 3);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(buf[4], u'#');
    EXPECT_EQ(wstrcat(buf, u"de"), 2);
    EXPECT_EQ(std::u16string(buf), u"abcde");
    EXPECT_EQ(buf[6], u'#');
    EXPECT_EQ(wstrcat(buf, u""), 0);
    EXPECT_EQ(wstrcpy(buf, u""), 0);
    EXPECT_EQ(buf[0], 0);

    // Past the 4999 units that wstrlen counts: copy and append have no cap.
    std::u16string longer(6000, u'x');
    std::vector<char16_t> big(12010, u'#');
    EXPECT_EQ(wstrcpy(big.data(), longer.c_str()), 6000);
    EXPECT_EQ(wstrcat(big.data(), longer.c_str()), 6000);
    EXPECT_EQ(big[12000], 0);
    EXPECT_EQ(big[11999], u'x');
}

// ---- 8-bit -> 16-bit ------------------------------------------------------------------

struct ToWide {
    const char* name;
    const char* in;  // hex
    std::u16string want;
    int result;
};

const ToWide kToWide932[] = {
    {"ascii_kana", "41 83 41 b1", units({0x41, 0x30A2, 0xFF71}), 4},
    {"lead_at_end", "41 82", units({0x41}), 2},
    {"unmapped_pair", "82 f5 41", units({'?', 0x41}), 3},
    {"unassigned_trail", "81 20", units({'?'}), 2},
    {"yen_and_tilde_bytes_stay", "5c 7e", units({0x5C, 0x7E}), 2},
    {"no_compat_mapping", "81 5c 87 90", units({0x2014, '?'}), 4},
    {"trail_that_is_a_lead", "81 81 41", units({0xFF1D, 0x41}), 3},
    {"upper_single_bytes", "80 a0 fd ff df", units({0x80, 0xA0, 0xFD, 0xFF, 0xFF9F}), 5},
    {"beyond_bmp_pair", "fc f4 88 9f", units({0xD869, 0xDEB2, 0x4E9C}), 4},
    {"empty", "", u"", 0},
};

const ToWide kToWideNoLeads[] = {
    {"every_byte_single", "82 a0 41", units({0x82, 0xA0, 0x41}), 3},
    {"kana_still_mapped", "b1 5c", units({0xFF71, 0x5C}), 2},
};

void check_to_wide(const ToWide& c) {
    SCOPED_TRACE(c.name);
    std::string in = bytes_str(c.in);
    char16_t out[32];
    std::fill(std::begin(out), std::end(out), u'#');
    EXPECT_EQ(sjis2wstr(out, in.c_str()), c.result);
    EXPECT_EQ(std::u16string(out), c.want);

    // The appending form continues after what dst holds.
    char16_t cat[40] = u"ab";
    EXPECT_EQ(sjis2wstrcat(cat, in.c_str()), c.result);
    EXPECT_EQ(std::u16string(cat), u"ab" + c.want);
}

TEST_F(Codes, Sjis2wstrCodePage932) {
    for (const auto& c : kToWide932) check_to_wide(c);
}

TEST_F(Codes, Sjis2wstrWithoutLeadBytes) {
    g_os.is_dbcs_lead = no_lead;
    for (const auto& c : kToWideNoLeads) check_to_wide(c);
}

// The cap: at most 9998 bytes are converted, the result is then 9999, and
// a double-byte character cut by it is dropped whole.
TEST_F(Codes, Sjis2wstrCap) {
    struct Case {
        int len;         // 'A' bytes
        const char* tail;
        int result, units;
    } cases[] = {
        {9997, "", 9997, 9997}, {9998, "", 9998, 9998}, {9999, "", 9999, 9998},
        {10000, "", 9999, 9998}, {9996, "82 a0", 9998, 9997}, {9997, "82 a0", 9999, 9997},
    };
    for (const auto& c : cases) {
        std::string in(c.len, 'A');
        in += bytes_str(c.tail);
        std::vector<char16_t> out(10010, u'#');
        EXPECT_EQ(sjis2wstr(out.data(), in.c_str()), c.result) << c.len << c.tail;
        EXPECT_EQ(std::u16string(out.data()).size(), (size_t)c.units) << c.len << c.tail;
    }
}

TEST_F(Codes, Sjis2wstrcatWithNoEndWithinCap) {
    // No 0 among the first 9999 units: the text goes after them.
    std::vector<char16_t> dst(10010, u'z');
    EXPECT_EQ(sjis2wstrcat(dst.data(), "Q"), 1);
    EXPECT_EQ(dst[9999], u'Q');
    EXPECT_EQ(dst[10000], 0);
    EXPECT_EQ(dst[9998], u'z');
}

// ---- 16-bit -> 8-bit -------------------------------------------------------------------

struct FromWide {
    const char* name;
    std::u16string in;
    const char* want;  // hex
    int result;
    int check;         // chkwstrsjis
};

const FromWide kFromWide[] = {
    {"kana_yen_emoji", units({0x3042, 0xA5, 0xD83D, 0xDE00}), "82 a0 a5 3f 3f", 4, -1},
    {"below_256_bytes_as_they_are", units({0x5C, 0xE9, 0x80, 0xFF}), "5c e9 80 ff", 4, 0},
    {"table_without_compat", units({0x2014, 0x2015, 0xFF5E}), "81 5c 3f 3f", 3, -1},
    {"deviations", units({0xFF5F, 0xFF60, 0x2985}), "81 d4 81 d5 3f", 3, -1},
    {"single_byte_codes", units({0xFF61, 0x203E}), "a1 7e", 2, 0},
    {"heart_self_test", units({0x2661}), "83 bb", 1, 0},
    {"lone_low_surrogate", units({0xDC00, 0x41}), "3f 41", 2, -1},
    {"euro", units({0x20AC}), "85 40", 1, 0},
    {"empty", u"", "", 0, 0},
};

TEST_F(Codes, Wstr2sjis) {
    for (const auto& c : kFromWide) {
        SCOPED_TRACE(c.name);
        std::string want = bytes_str(c.want);
        char out[32];
        std::fill(std::begin(out), std::end(out), '#');
        testing::internal::CaptureStdout();
        int result = wstr2sjis(out, c.in.c_str());
        int check = chkwstrsjis(c.in.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the self-test fired";
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(check, c.check);
        EXPECT_EQ(std::string(out), want);

        char cat[40] = "ab";
        EXPECT_EQ(wstr2sjiscat(cat, c.in.c_str()), c.result);
        EXPECT_EQ(std::string(cat), "ab" + want);
    }
}

TEST_F(Codes, Wstr2sjisCap) {
    struct Case {
        int len;  // 'A' units before the tail
        std::u16string tail;
        int result;
        size_t bytes;
        int check;
    } cases[] = {
        {9998, u"", 9998, 9998, 0},
        {10000, u"", 9999, 9998, 0},
        {9997, units({0x4E9C}), 9998, 9999, 0},  // a two-byte code last
        {9997, units({0xD83D}), 9998, 9998, -1},               // the last unit converted fails
        {9998, units({0xD83D}), 9999, 9998, 0},                // beyond the cap: never looked at
    };
    ASSERT_NE(uni2sjis(0x4E9C), 0);
    for (const auto& c : cases) {
        std::u16string in(c.len, u'A');
        in += c.tail;
        std::vector<char> out(10010, '#');
        EXPECT_EQ(wstr2sjis(out.data(), in.c_str()), c.result) << c.len;
        EXPECT_EQ(std::string(out.data()).size(), c.bytes) << c.len;
        EXPECT_EQ(chkwstrsjis(in.c_str()), c.check) << c.len;
    }
}

TEST_F(Codes, Wstr2sjiscatWithNoEndWithinCap) {
    std::vector<char> dst(10010, 'z');
    EXPECT_EQ(wstr2sjiscat(dst.data(), u"\u3042"), 1);
    EXPECT_EQ((uint8_t)dst[9999], 0x82);
    EXPECT_EQ((uint8_t)dst[10000], 0xA0);
    EXPECT_EQ(dst[10001], 0);
}

// A file name survives the trip to 16 bits and back when every character
// has a Shift_JIS code and none needs the compatibility list.
TEST_F(Codes, RoundTripOfEveryBmpCode) {
    for (int code = 0x8000; code <= 0xFCFF; code++) {
        int cp = sjis2uni(code);
        if (cp == 0 || cp > 0xFFFF || cp < 256) continue;
        char in[3] = {(char)(code >> 8), (char)code, 0};
        char16_t wide[4];
        char back[4];
        ASSERT_EQ(sjis2wstr(wide, in), 2);
        ASSERT_EQ(wstr2sjis(back, wide), 1);
        ASSERT_STREQ(back, in) << std::hex << code;
    }
}

}  // namespace
