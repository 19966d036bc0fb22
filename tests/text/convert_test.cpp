// convert_test.cpp - the in-memory converters on hand-made cases: the walk
// rules (statuses, malformed sequences, leads at the end, low trails), the
// markers and messages they print, the appending forms and their 520 limit,
// comparison and length, and output buffers of exactly the documented size
// (which AddressSanitizer turns into a bounds check).  Every code and every
// unit is replayed against Python in convert_oracle_test.cpp.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"
#include "text/codes.h"
#include "text/convert.h"
#include "text_fixture.h"

using testutil::h2b;
using texttest::bytes_str;

namespace {

// UTF-16 units to their UTF-16LE bytes, without a terminator.
std::vector<uint8_t> le_units(std::initializer_list<uint16_t> units) {
    std::vector<uint8_t> out;
    for (uint16_t u : units) {
        out.push_back((uint8_t)u);
        out.push_back((uint8_t)(u >> 8));
    }
    return out;
}

// The same with the terminating unit.
std::vector<uint8_t> le(std::initializer_list<uint16_t> units) {
    std::vector<uint8_t> out = le_units(units);
    out.push_back(0);
    out.push_back(0);
    return out;
}

// The UTF-16LE string at p, without its terminator, as bytes.
std::vector<uint8_t> le_string(const uint8_t* p) {
    std::vector<uint8_t> out;
    for (; p[0] || p[1]; p += 2) {
        out.push_back(p[0]);
        out.push_back(p[1]);
    }
    return out;
}

std::vector<uint8_t> strbytes(const char* s) { return std::vector<uint8_t>(s, s + strlen(s)); }

// ---- Shift_JIS sources ----------------------------------------------------------------

struct SjisCase {
    const char* name;
    const char* in;        // hex
    const char* want8;     // hex, sjistoutf8
    int status;
    const char* printed8;  // sjistoutf8's standard output
    std::initializer_list<uint16_t> want16;
    const char* printed16;
};

const char kLow8120[] = "[81 20(x)](2nd byte==0x00-3F) ";

const SjisCase kSjisCases[] = {
    {"compat_dash", "81 5c", "e2 80 95", 7, "", {0x2015}, ""},
    {"kanji", "88 9f", "e4 ba 9c", 7, "", {0x4E9C}, ""},
    {"halfwidth_kana", "b1", "ef bd b1", 7, "", {0xFF71}, ""},
    {"two_char_code", "82 f5", "", 7, "<<<uni000000:sjis0082F5>>>", {'?'}, ""},
    {"lead_alone", "81", "", 3, "", {}, ""},
    {"lead_at_end", "41 81", "41", 3, "", {0x41}, ""},
    {"upper_lead", "e0 40", "e6 bc be", 15, "", {0x6F3E}, ""},
    {"low_trail_unmapped", "81 20", "", 1,
     "<<<uni000000:sjis008120>>>[81 20(x)](2nd byte==0x00-3F) ", {'?'}, kLow8120},
    {"upper_lead_low_trail", "e0 20", "", 1,
     "<<<uni000000:sjis00E020>>>[E0 20(x)](2nd byte==0x00-3F) ", {'?'},
     "[E0 20(x)](2nd byte==0x00-3F) "},
    {"lead_80", "80 41", "", 2, "<<<uni000000:sjis008041>>>", {'?'}, ""},
    {"lead_80_alone", "80", "", 3, "", {}, ""},
    {"lead_80_then_upper", "80 41 e0 40", "e6 bc be", 10, "<<<uni000000:sjis008041>>>",
     {'?', 0x6F3E}, ""},
    {"no_utf8_form_bytes", "fd 41 ff", "41", 15, "", {0x41}, ""},
    {"byte_a0", "a0", "c2 a0", 7, "", {0xA0}, ""},
    {"yen_tilde_bytes", "5c 7e", "5c 7e", 7, "", {0x5C, 0x7E}, ""},
    {"nec_row13", "87 90 87 9c", "e2 89 92 e2 88 aa", 7, "", {0x2252, 0x222A}, ""},
    {"wave_dash_code", "81 60", "ef bd 9e", 7, "", {0xFF5E}, ""},
    {"beyond_bmp", "fc f4", "f0 aa 9a b2", 15, "", {0xD869, 0xDEB2}, ""},
    {"kanji_and_beyond", "88 9f fc f4", "e4 ba 9c f0 aa 9a b2", 15, "", {0x4E9C, 0xD869, 0xDEB2}, ""},
    {"trail_is_any_byte", "81 81 41", "ef bc 9d 41", 7, "", {0xFF1D, 0x41}, ""},
    {"empty", "", "", 7, "", {}, ""},
};

TEST(ConvertSjis, ToUtf8AndUtf16) {
    for (const auto& c : kSjisCases) {
        SCOPED_TRACE(c.name);
        std::string in = bytes_str(c.in);
        char out8[64];
        testing::internal::CaptureStdout();
        int st8 = sjistoutf8(out8, in.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed8);
        EXPECT_EQ(st8, c.status);
        EXPECT_EQ(strbytes(out8), h2b(c.want8));

        uint8_t out16[64];
        testing::internal::CaptureStdout();
        int st16 = sjistoutf16(out16, in.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed16);
        EXPECT_EQ(st16, c.status);
        EXPECT_EQ(le_string(out16), le_units(c.want16));
    }
}

TEST(ConvertSjis, AppendingForms) {
    // The end of what dst holds is found and the text goes there.
    char dst8[64] = "ab";
    EXPECT_EQ(sjistoutf8cat(dst8, "\x88\x9f"), 7);
    EXPECT_EQ(strbytes(dst8), h2b("61 62 e4 ba 9c"));

    auto dst16 = le({'a', 'b'});
    dst16.resize(64);
    EXPECT_EQ(sjistoutf16cat(dst16.data(), "\x88\x9f"), 7);
    EXPECT_EQ(le_string(dst16.data()), h2b("6100 6200 9c4e"));

    // A pair of 0 bytes at an odd offset is no terminator.
    auto odd = le({0x0041, 0x4100});
    odd.resize(64);
    EXPECT_EQ(sjistoutf16cat(odd.data(), "B"), 7);
    EXPECT_EQ(le_string(odd.data()), h2b("4100 0041 4200"));
}

TEST(ConvertSjis, AppendingFormsLookWithin520) {
    struct Case {
        int end;    // where the first 0 byte or unit stands
        int want;
    } cases[] = {{0, 7}, {519, 7}, {520, -1}, {600, -1}};
    for (const auto& c : cases) {
        std::vector<char> d8(700, 'x');
        d8[c.end] = 0;
        auto before8 = d8;
        EXPECT_EQ(sjistoutf8cat(d8.data(), "A"), c.want) << c.end;
        if (c.want < 0) EXPECT_TRUE(d8 == before8) << c.end;
        else EXPECT_EQ(std::string(d8.data()), std::string(c.end, 'x') + "A");

        std::vector<uint8_t> d16(1400, 'x');
        d16[2 * c.end] = d16[2 * c.end + 1] = 0;
        auto before16 = d16;
        EXPECT_EQ(sjistoutf16cat(d16.data(), "A"), c.want) << c.end;
        if (c.want < 0) {
            EXPECT_TRUE(d16 == before16) << c.end;
        } else {
            EXPECT_EQ(d16[2 * c.end], 'A');
            EXPECT_EQ(d16[2 * c.end + 2], 0);
        }
    }
}

// ---- UTF-8 sources -----------------------------------------------------------------

struct Utf8Case {
    const char* name;
    const char* in;      // hex
    const char* sjis;    // hex, utf8tosjis
    std::initializer_list<uint16_t> wide;  // utf8towstr
    int status;
};

const Utf8Case kUtf8Cases[] = {
    {"wave_dash", "e3 80 9c", "81 60", {0x301C}, 7},
    {"fullwidth_tilde", "ef bd 9e", "81 60", {0xFF5E}, 7},
    {"yen", "c2 a5", "5c", {0xA5}, 7},
    {"e_acute_by_table", "c3 a9", "85 7e", {0xE9}, 7},
    {"horizontal_bar_compat", "e2 80 95", "81 5c", {0x2015}, 7},
    {"em_dash_table", "e2 80 94", "81 5c", {0x2014}, 7},
    {"emoji", "f0 9f 98 80", "3f", {'x', '0', '1', 'F', '6', '0', '0'}, 7},
    {"largest_four_byte", "f7 bf bf bf", "3f", {'x', '1', 'F', 'F', 'F', 'F', 'F'}, 7},
    {"overlong_four_byte", "f0 80 81 81", "41", {0x41}, 7},
    {"overlong_three_byte", "e0 81 81", "41", {0x41}, 7},
    {"overlong_two_byte", "c1 81", "41", {0x41}, 7},
    {"surrogate_value", "ed a0 80", "3f", {0xD800}, 7},
    {"second_malformed_stops", "80 41 80 42", "41", {0x41}, 0},
    {"bad_continuation_is_lost", "c3 41 42", "42", {0x42}, 0},
    {"cut_at_end", "41 e3 81", "41", {0x41}, 0},
    {"byte_f8", "f8 41", "41", {0x41}, 0},
    {"two_malformed_in_a_row", "80 80 41", "", {}, 0},
    {"kana", "41 e3 81 82", "41 82 a0", {0x41, 0x3042}, 7},
    {"empty", "", "", {}, 7},
};

TEST(ConvertUtf8, ToSjisAndUtf16) {
    for (const auto& c : kUtf8Cases) {
        SCOPED_TRACE(c.name);
        std::string in = bytes_str(c.in);
        char sj[64];
        EXPECT_EQ(utf8tosjis(sj, in.c_str()), c.status);
        EXPECT_EQ(strbytes(sj), h2b(c.sjis));

        uint8_t w[64];
        memset(w, 0xEE, sizeof w);
        EXPECT_EQ(utf8towstr(w, in.c_str()), c.status);
        auto want = le(c.wide);
        want.push_back(0);  // two 0 units end the output
        want.push_back(0);
        EXPECT_EQ(std::vector<uint8_t>(w, w + want.size()), want);
    }
}

struct UnescCase {
    const char* name;
    const char* in;  // hex
    const char* want;
    int status;
    const char* printed;
};

const UnescCase kUnescCases[] = {
    {"u_escape", "5c 75 33 30 34 32", "e3 81 82", 7, "(0x5C)"},
    {"u_escape_lower_hex", "5c 75 34 65 39 63", "e4 ba 9c", 7, "(0x5C)"},
    {"slash", "5c 2f", "2f", 7, "(0x5C)(0x2F)"},
    {"ampersand", "5c 26 41", "26 41", 7, "(0x5C)"},
    {"other_escape_kept", "5c 78", "5c 78", 7, "(0x5C)"},
    {"three_digits_kept", "5c 75 33 30 34", "5c 75 33 30 34", 7, "(0x5C)"},
    {"backslash_at_end", "41 5c", "41 5c", 7, "(0x5C)"},
    {"two_backslashes", "5c 5c 2f", "5c 2f", 7, "(0x5C)(0x5C)(0x2F)"},
    {"escape_without_code", "5c 75 30 30 38 30 41", "3f 41", 7, "(0x5C)"},
    {"overlong_shortened", "c1 81 e0 81 81 f0 80 81 81", "41 41 41", 7, ""},
    {"four_byte_kept", "f0 9f 98 80", "f0 9f 98 80", 7, ""},
    {"overlong_nul", "c0 80 41", "41", 7, "<<<uni000000:sjis000000>>>"},
    {"nul_after_escape", "5c 75 33 30 34 32 c0 80", "e3 81 82", 7,
     "(0x5C)<<<uni000000:sjis0082A0>>>"},
    {"malformed", "80 41 80 42", "41", 0, ""},
};

TEST(ConvertUtf8, Unescape) {
    for (const auto& c : kUnescCases) {
        SCOPED_TRACE(c.name);
        std::string in = bytes_str(c.in);
        char out[64];
        testing::internal::CaptureStdout();
        int st = utf8unesc(out, in.c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(strbytes(out), h2b(c.want));
    }
}

// ---- UTF-16LE sources ------------------------------------------------------------

struct Utf16Case {
    const char* name;
    std::initializer_list<uint16_t> in;
    const char* utf8;  // hex, wstrtoutf8
    int taken8;
    const char* sjis;  // hex, utf16tosjis
    int takensj;
};

const Utf16Case kUtf16Cases[] = {
    {"pair", {0xD83D, 0xDE00}, "f0 9f 98 80", 4, "3f", 4},
    {"high_then_letter", {0xD83D, 0x41}, "3f", 4, "3f", 4},
    {"high_at_end", {0xD83D}, "3f", 2, "3f", 2},
    {"lone_low", {0xDE00, 0x41}, "ed b8 80 41", 4, "3f 41", 4},
    {"high_high_low", {0xD83D, 0xD83D, 0xDE00}, "3f ed b8 80", 6, "3f 3f", 6},
    {"ascii_yen_e_acute", {0x41, 0xA5, 0xE9}, "41 c2 a5 c3 a9", 6, "41 5c 85 7e", 6},
    {"form_boundaries", {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}, "7f c2 80 df bf e0 a0 80 ef bf bf", 10,
     "7f 3f 3f 3f 3f", 10},
    {"compat_both_dashes", {0x301C, 0xFF5E, 0x2014, 0x2015}, "e3 80 9c ef bd 9e e2 80 94 e2 80 95", 8,
     "81 60 81 60 81 5c 81 5c", 8},
    {"ascii_without_table", {0x5C, 0x7E}, "5c 7e", 4, "5c 7e", 4},
    {"halfwidth_single_byte", {0xFF61}, "ef bd a1", 2, "a1", 2},
    {"empty", {}, "", 0, "", 0},
};

TEST(ConvertUtf16, ToUtf8AndSjis) {
    for (const auto& c : kUtf16Cases) {
        SCOPED_TRACE(c.name);
        auto in = le(c.in);
        char out[64];
        EXPECT_EQ(wstrtoutf8(out, in.data()), c.taken8);
        EXPECT_EQ(strbytes(out), h2b(c.utf8));
        EXPECT_EQ(utf16tosjis(out, in.data()), c.takensj);
        EXPECT_EQ(strbytes(out), h2b(c.sjis));

        // Byte by byte: the source need not be aligned.
        std::vector<uint8_t> shifted(in.size() + 1, 0xAA);
        std::copy(in.begin(), in.end(), shifted.begin() + 1);
        EXPECT_EQ(wstrtoutf8(out, shifted.data() + 1), c.taken8);
        EXPECT_EQ(strbytes(out), h2b(c.utf8));
    }
}

TEST(ConvertUtf16, CompareAndLength) {
    struct Case {
        std::initializer_list<uint16_t> a, b;
        int want;
    } cases[] = {
        {{'a', 'b'}, {'a', 'b'}, 0}, {{'a', 'b', 'c'}, {'a', 'b'}, 3}, {{'a', 'b'}, {'a', 'b', 'c'}, -1},
        {{}, {}, 0},                 {{}, {'a'}, -1},                  {{'a'}, {}, 3},
        {{'a', 'b'}, {'a', 'c'}, -1}, {{0x3042}, {0x3043}, -1},
    };
    for (const auto& c : cases) {
        auto a = le(c.a), b = le(c.b);
        EXPECT_EQ(utf16cmp(a.data(), b.data()), c.want);
        EXPECT_EQ(utf16len(a.data()), (int)(2 * c.a.size()));
    }
    std::vector<uint8_t> longer(12002, 'x');
    longer[12000] = longer[12001] = 0;
    EXPECT_EQ(utf16len(longer.data()), 12000);  // no cap
}

// ---- Output buffers of the documented size ------------------------------------------------
//
// Each converter is fed the input that makes its output longest per input
// byte, into a heap buffer of exactly the size its header comment promises;
// under AddressSanitizer a single byte too many is a failure.

TEST(ConvertSizing, WorstCaseOutputsFitTheStatedBounds) {
    const int n = 1200;  // source bytes, a multiple of 2, 3 and 4

    {   // sjistoutf8: half-width kana take three bytes each.
        std::string src(n, '\xb1');
        std::vector<char> dst(3 * n + 1);
        sjistoutf8(dst.data(), src.c_str());
        EXPECT_EQ(strlen(dst.data()), (size_t)(3 * n));
    }
    {   // sjistoutf16: every byte a unit.
        std::string src(n, 'A');
        std::vector<uint8_t> dst(2 * n + 2);
        sjistoutf16(dst.data(), src.c_str());
        EXPECT_EQ(utf16len(dst.data()), 2 * n);
    }
    {   // utf8towstr: a four-byte form becomes seven units; ASCII two bytes each.
        std::string src;
        for (int i = 0; i < n / 4; i++) src += "\xf0\x9f\x98\x80";
        std::vector<uint8_t> dst(n * 7 / 2 + 4);
        utf8towstr(dst.data(), src.c_str());
        EXPECT_EQ(utf16len(dst.data()), n * 7 / 2);
    }
    {   // wstrtoutf8: a unit from U+0800 up takes three bytes.
        std::vector<uint8_t> src(n + 2, 0);
        for (int i = 0; i < n; i += 2) src[i + 1] = 0x30;  // U+3000
        std::vector<char> dst(n * 3 / 2 + 1);
        wstrtoutf8(dst.data(), src.data());
        EXPECT_EQ(strlen(dst.data()), (size_t)(n * 3 / 2));
    }
    {   // utf16tosjis, utf8tosjis, utf8unesc: never more than the source.
        std::vector<uint8_t> src(n + 2, 0);
        for (int i = 0; i < n; i += 2) src[i] = 0xE9;  // U+00E9: two bytes
        std::vector<char> dst(n + 1);
        utf16tosjis(dst.data(), src.data());
        EXPECT_EQ(strlen(dst.data()), (size_t)n);

        std::string u8;
        for (int i = 0; i < n / 2; i++) u8 += "\xc3\xa9";
        std::vector<char> dst2(n + 1);
        utf8tosjis(dst2.data(), u8.c_str());
        EXPECT_EQ(strlen(dst2.data()), (size_t)n);

        std::string plain(n, 'a');
        std::vector<char> dst3(n + 1);
        utf8unesc(dst3.data(), plain.c_str());
        EXPECT_EQ(strlen(dst3.data()), (size_t)n);
    }
}

}  // namespace
