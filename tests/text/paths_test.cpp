// paths_test.cpp - path parts, relative paths, fields, the prefix test and the
// number readers.
//
// Inputs are copied into heap buffers of exactly their length plus the 0, so
// that the sanitizer build catches any read past a terminator (a lead byte
// right before the 0 is the case that matters).  8-bit cases run under a
// code-page-932 lead-byte answer injected through g_os; ASCII cases run
// through the 16-bit twins as well.  Where '/' separates only on POSIX, a
// case carries the Windows answer beside the POSIX one.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "testutil.h"
#include "text/paths.h"
#include "text_fixture.h"

using namespace texttest;

namespace {

bool is_ascii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// The expected answer on this system: `win` where it is given and only '\'
// separates.
const char* on_this_os(const char* posix, const char* win) {
    return (!OS_SLASH_SEPARATES && win) ? win : posix;
}

// ---- getdir, getfname, cutext, getext ------------------------------------------------

enum PartFn { kDir, kFname, kCutext, kGetext };

struct PartCase {
    const char* name;
    PartFn fn;
    std::string_view in;
    const char* want;
    const char* want_win;  // null: the same as want
    int rc;
};
void PrintTo(const PartCase& c, std::ostream* os) { *os << c.name; }

const PartCase kPartCases[] = {
    {"dir_of_file", kDir, "C:\\movies\\a.avi", "C:\\movies\\", nullptr, 0},
    {"dir_none", kDir, "a.avi", "", nullptr, 0},
    {"dir_empty", kDir, "", "", nullptr, 0},
    {"dir_root", kDir, "\\", "\\", nullptr, 0},
    {"dir_trailing", kDir, "dir\\", "dir\\", nullptr, 0},
    {"dir_slashes", kDir, "C:/x/y.png", "C:/x/", "", 0},
    {"dir_mixed", kDir, "C:\\x/y.png", "C:\\x/", "C:\\", 0},
    {"dir_keeps_double_byte", kDir, "C:\\d\\\x95\x5C\\a.png", "C:\\d\\\x95\x5C\\", nullptr, 0},
    {"dir_trail_5c_is_no_separator", kDir, "C:\\d\\\x95\x5Cx.png", "C:\\d\\", nullptr, 0},
    {"dir_lead_before_end", kDir, "ab\\\x95", "ab\\", nullptr, 0},
    {"dir_only_trail_sep", kDir, "ab\x95\\", "", nullptr, 0},
    {"fname_slashes", kFname, "C:/x/y.png", "y.png", nullptr, 0},
    {"fname_backslashes", kFname, "C:\\x\\y.png", "y.png", nullptr, 0},
    {"fname_mixed", kFname, "a\\b/c", "c", nullptr, 0},
    {"fname_none", kFname, "y.png", "y.png", nullptr, 0},
    {"fname_dir_only", kFname, "dir\\", "", nullptr, 0},
    {"fname_double_byte", kFname, "C:\\d\\\x95\x5Cx.png", "\x95\x5Cx.png", nullptr, 0},
    {"fname_lead_before_end", kFname, "ab\\\x95", "\x95", nullptr, 0},
    {"cutext_noext", kCutext, "noext", "noext", nullptr, 0},
    {"cutext_last_dot", kCutext, "a.b.c", "a.b", nullptr, 0},
    {"cutext_dot_in_dir", kCutext, "dir.old\\file", "dir", nullptr, 0},
    {"cutext_hidden", kCutext, ".hidden", "", nullptr, 0},
    {"cutext_lead_before_end", kCutext, "a.b\x95", "a", nullptr, 0},
    {"getext_dot_in_dir", kGetext, "dir.old\\file", ".old\\file", nullptr, -1},
    {"getext_upper", kGetext, "movie.AVI", ".AVI", nullptr, -1},
    {"getext_none", kGetext, "noext", "", nullptr, 0},
    {"getext_bare_dot", kGetext, "a.", ".", nullptr, -1},
    {"getext_lead_before_end", kGetext, "a.b\x95", ".b\x95", nullptr, -1},
};

class PathParts : public WithCp932, public ::testing::WithParamInterface<PartCase> {};

template <class C>
int call_part(PartFn fn, C* dst, const C* in) {
    if constexpr (std::is_same_v<C, char>) {
        switch (fn) {
        case kDir: return getdir(dst, in);
        case kFname: return getfname(dst, in);
        case kCutext: return cutext(dst, in);
        case kGetext: return getext(dst, in);
        }
    } else {
        switch (fn) {
        case kDir: return getdirW(dst, in);
        case kFname: return getfnameW(dst, in);
        case kCutext: return cutextW(dst, in);
        case kGetext: return getextW(dst, in);
        }
    }
    return 99;
}

TEST_P(PathParts, EightBitAndWide) {
    const PartCase& c = GetParam();
    std::string want = on_this_os(c.want, c.want_win);

    auto in = exact8(c.in);
    char dst[300];
    std::memset(dst, 'Z', sizeof dst);
    EXPECT_EQ(call_part<char>(c.fn, dst, in.get()), c.rc);
    EXPECT_EQ(std::string(dst), want);

    if (is_ascii(c.in)) {
        auto inw = exact<char16_t>(widen(c.in));
        char16_t dstw[300];
        std::fill(std::begin(dstw), std::end(dstw), u'Z');
        EXPECT_EQ(call_part<char16_t>(c.fn, dstw, inw.get()), c.rc);
        EXPECT_EQ(std::u16string(dstw), widen(want));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PathParts, ::testing::ValuesIn(kPartCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Without a double-byte code page, 0x95 is a byte like any other and the
// following 0x5C separates: the walkers follow the system's answer, not a
// fixed range.
TEST(PathPartsSingleByte, TrailByteSeparatesWithoutLeadBytes) {
    os_api saved = g_os;
    g_os.is_dbcs_lead = no_lead;
    char dst[64];
    getdir(dst, "C:\\d\\\x95\x5Cx.png");
    EXPECT_STREQ(dst, "C:\\d\\\x95\x5C");
    getfname(dst, "C:\\d\\\x95\x5Cx.png");
    EXPECT_STREQ(dst, "x.png");
    g_os = saved;
}

// Every byte value as the first byte of a file name followed by '\': a lead
// byte swallows the '\' as its trail byte, any other byte leaves it a
// separator.
TEST_F(WithCp932, EveryByteBeforeBackslash) {
    for (int b = 1; b < 256; b++) {
        std::string path = std::string("d\\") + (char)b + "\\x";
        auto in = exact8(path);
        char dst[16];
        getdir(dst, in.get());
        std::string want_dir = cp932_lead((uint8_t)b) ? "d\\" : path.substr(0, 4);
        EXPECT_EQ(std::string(dst), want_dir) << "byte " << b;
        getfname(dst, in.get());
        std::string want_name = cp932_lead((uint8_t)b) ? path.substr(2) : "x";
        EXPECT_EQ(std::string(dst), want_name) << "byte " << b;

        // The same pair at the end of a path: cuttailsep must not take the
        // trail byte for the trailing separator.
        std::string tail = std::string("C:\\d") + (char)b + "\\";
        auto t = exact8(tail);
        cuttailsep(t.get());
        std::string want_tail = cp932_lead((uint8_t)b) ? tail : tail.substr(0, 5);
        EXPECT_EQ(std::string(t.get()), want_tail) << "byte " << b;
    }
}

// getfname and getdir may write over their own input.
TEST_F(WithCp932, InPlace) {
    char buf[32] = "C:\\x\\y.png";
    getfname(buf, buf);
    EXPECT_STREQ(buf, "y.png");
    char buf2[32] = "C:\\x\\y.png";
    getdir(buf2, buf2);
    EXPECT_STREQ(buf2, "C:\\x\\");
}

// ---- cuttailsep ---------------------------------------------------------------------

struct TailCase {
    const char* name;
    std::string in;
    std::string want;
};
void PrintTo(const TailCase& c, std::ostream* os) { *os << c.name; }

const TailCase kTailCases[] = {
    {"drive_root", "C:\\", "C:\\"},
    {"drive_root_slash", "C:/", "C:/"},
    {"lone_backslash", "\\", "\\"},
    {"empty", "", ""},
    {"one_unit", "a", "a"},
    {"drive_dir", "C:\\a\\", "C:\\a"},
    {"only_one_of_two", "C:\\a\\\\", "C:\\a\\"},
    {"drive_relative_four", "C:a\\", "C:a"},
    {"relative_slash", "a/", "a"},
    {"two_backslashes", "\\\\", "\\"},
    {"no_separator", "ab", "ab"},
    {"separator_inside", "a\\b", "a\\b"},
    {"at_258", std::string(257, 'a') + "\\", std::string(257, 'a')},
    {"at_259_untouched", std::string(258, 'a') + "\\", std::string(258, 'a') + "\\"},
    {"long_cut_to_259", std::string(300, 'a'), std::string(259, 'a')},
    {"long_sep_cut_to_259", std::string(258, 'a') + "\\\\b", std::string(258, 'a') + "\\"},
    {"double_byte_end", "C:\\d\\\x95\x5C", "C:\\d\\\x95\x5C"},
    {"double_byte_then_sep", "C:\\d\\\x95\x5C\\", "C:\\d\\\x95\x5C"},
    // A double-byte character across the 259-unit cap goes whole.
    {"pair_at_cap_fits", std::string(257, 'a') + "\x95\x5C", std::string(257, 'a') + "\x95\x5C"},
    {"pair_across_cap", std::string(258, 'a') + "\x95\x5C", std::string(258, 'a')},
};

class CutTailSep : public WithCp932, public ::testing::WithParamInterface<TailCase> {};

TEST_P(CutTailSep, EightBitAndWide) {
    const TailCase& c = GetParam();
    auto p = exact8(c.in);
    EXPECT_EQ(cuttailsep(p.get()), 0);
    EXPECT_EQ(std::string(p.get()), c.want);
    if (is_ascii(c.in)) {
        auto w = exact<char16_t>(widen(c.in));
        EXPECT_EQ(cuttailsepW(w.get()), 0);
        EXPECT_EQ(std::u16string(w.get()), widen(c.want));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CutTailSep, ::testing::ValuesIn(kTailCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- getextfix, setext, isabspath, slash2bs ---------------------------------------

struct ExtFixCase {
    const char* name;
    std::string_view path;
    const char* want;
    const char* want_win;
    int rc;
};
void PrintTo(const ExtFixCase& c, std::ostream* os) { *os << c.name; }

const ExtFixCase kExtFixCases[] = {
    {"three", "movie.avi", ".avi", nullptr, -1},
    {"cut_to_three", "a.jpeg", ".jpe", nullptr, -1},
    {"last_dot", "a.b.c", ".c", nullptr, -1},
    {"bare_dot", "x.", ".", nullptr, -1},
    {"none", "noext", "", nullptr, 0},
    {"dot_in_dir_only", "dir.x\\file", "", nullptr, 0},
    {"dot_in_dir_slash", "dir.x/file", "", ".x/f", 0},
    {"double_byte_fits", "a.b\x95\x5C", ".b\x95\x5C", nullptr, -1},
    {"double_byte_left_out", "a.bc\x95\x5C", ".bc", nullptr, -1},
    {"lead_before_end", "a.b\x95", ".b\x95", nullptr, -1},
};

class GetExtFix : public WithCp932, public ::testing::WithParamInterface<ExtFixCase> {};

TEST_P(GetExtFix, Table) {
    const ExtFixCase& c = GetParam();
    const char* want = on_this_os(c.want, c.want_win);
    int rc = (!OS_SLASH_SEPARATES && c.want_win) ? -1 : c.rc;
    auto p = exact8(c.path);
    char dst[16];
    std::memset(dst, 'Z', sizeof dst);
    EXPECT_EQ(getextfix(p.get(), dst), rc);
    EXPECT_STREQ(dst, want);
}

INSTANTIATE_TEST_SUITE_P(Cases, GetExtFix, ::testing::ValuesIn(kExtFixCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct SetExtCase {
    const char* name;
    std::string_view path, ext;
    const char* want;
    int rc;
    const char* want_win;  // with its rc below, when '/' does not separate
    int rc_win;
};
void PrintTo(const SetExtCase& c, std::ostream* os) { *os << c.name; }

const SetExtCase kSetExtCases[] = {
    {"replace", "movie.png", "avi", "movie.avi", -1, nullptr, 0},
    {"append", "movie", ".avi", "movie.avi", 0, nullptr, 0},
    {"replace_longer", "a.jpeg", "png", "a.png", -1, nullptr, 0},
    {"ext_cut_to_three", "a.txt", "avif", "a.avi", -1, nullptr, 0},
    // A short ext stops at its terminator.
    {"short_ext", "a.bmp", "x", "a.x", -1, nullptr, 0},
    {"empty_ext", "a", "", "a.", 0, nullptr, 0},
    {"dot_in_dir", "dir.x\\movie", "avi", "dir.x\\movie.avi", 0, nullptr, 0},
    {"dot_in_dir_slash", "dir.x/movie", "avi", "dir.x/movie.avi", 0, "dir.avi", -1},
    {"double_byte_name", "\x95\x5C.png", "avi", "\x95\x5C.avi", -1, nullptr, 0},
    {"double_byte_ext_left_out", "a.png", "ab\x95\x5C", "a.ab", -1, nullptr, 0},
};

class SetExt : public WithCp932, public ::testing::WithParamInterface<SetExtCase> {};

TEST_P(SetExt, Table) {
    const SetExtCase& c = GetParam();
    bool win = !OS_SLASH_SEPARATES && c.want_win;
    char buf[64];
    std::memset(buf, 'Z', sizeof buf);
    std::memcpy(buf, c.path.data(), c.path.size());
    buf[c.path.size()] = 0;
    auto ext = exact8(c.ext);
    EXPECT_EQ(setext(buf, ext.get()), win ? c.rc_win : c.rc);
    EXPECT_STREQ(buf, win ? c.want_win : c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, SetExt, ::testing::ValuesIn(kSetExtCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IsAbsPath, Table) {
    struct {
        std::string_view path;
        int want;
    } cases[] = {
        {"\\a", -1}, {"/a", -1}, {"\\\\srv\\s", -1}, {"C:x", -1}, {"z:", -1}, {"C:\\", -1},
        {"a", 0},    {"", 0},    {"1:", 0},         {"@:", 0},   {"[:", 0},  {"a\\b", 0},
    };
    for (const auto& c : cases) {
        auto p = exact8(c.path);
        EXPECT_EQ(isabspath(p.get()), c.want) << c.path;
    }
}

TEST_F(WithCp932, Slash2bs) {
    struct {
        std::string_view in;
        const char* want;
    } cases[] = {
        {"a/b/c", "a\\b\\c"},
        {"/", "\\"},
        {"none", "none"},
        // The byte after a lead byte is its trail byte, even a '/'.
        {"\x95/x/", "\x95/x\\"},
        {"x/\x95", "x\\\x95"},
    };
    for (const auto& c : cases) {
        auto p = exact8(c.in);
        EXPECT_EQ(slash2bs(p.get()), 0);
        EXPECT_STREQ(p.get(), c.want) << c.in;
    }
}

// ---- relpath ----------------------------------------------------------------------------

struct RelCase {
    const char* name;
    std::string_view tgt, ref;
    const char* want;
    const char* want_win;
};
void PrintTo(const RelCase& c, std::ostream* os) { *os << c.name; }

const RelCase kRelCases[] = {
    {"sibling", "C:\\a\\b\\c.txt", "C:\\a\\d\\", "../b/c.txt", nullptr},
    {"ref_file_name_no_level", "C:\\a\\b\\c.txt", "C:\\a\\d\\e.txt", "../b/c.txt", nullptr},
    {"other_drive", "C:\\a\\b\\c.txt", "D:\\a\\", "C:\\a\\b\\c.txt", nullptr},
    {"drive_case_differs", "C:\\a\\b\\c.txt", "c:\\a\\", "C:\\a\\b\\c.txt", nullptr},
    {"server_and_drive", "\\\\srv\\s\\f.txt", "C:\\a\\", "\\\\srv\\s\\f.txt", nullptr},
    {"drive_and_server", "C:\\a\\f.txt", "\\\\srv\\s\\", "C:\\a\\f.txt", nullptr},
    {"same_dir", "C:\\a\\c.txt", "C:\\a\\", "c.txt", nullptr},
    {"two_up", "C:\\a\\c.txt", "C:\\a\\x\\y\\", "../../c.txt", nullptr},
    {"down", "C:\\a\\x\\y\\c.txt", "C:\\a\\", "x/y/c.txt", nullptr},
    {"case_counts", "C:\\A\\f.txt", "C:\\a\\", "../A/f.txt", nullptr},
    {"partial_name", "C:\\ab\\f.txt", "C:\\a\\", "../ab/f.txt", nullptr},
    {"both_relative", "a\\b.txt", "a\\", "b.txt", nullptr},
    {"empty", "", "", "", nullptr},
    {"empty_tgt", "", "C:", "", nullptr},
    // A trail byte 0x5C is neither a level of ref nor a separator to convert.
    {"double_byte_common", "C:\\\x95\x5C" "f.txt", "C:\\\x95\x5Cg\\", "../\x95\x5C" "f.txt", nullptr},
    {"double_byte_kept", "C:\\x\\\x95\x5C.txt", "C:\\", "x/\x95\x5C.txt", nullptr},
    {"lead_before_end", "C:\\a\\\x95", "C:\\b\\", "../a/\x95", nullptr},
    {"posix_paths", "/home/u/a/b.png", "/home/u/c/", "../a/b.png", "/home/u/a/b.png"},
};

class RelPath : public WithCp932, public ::testing::WithParamInterface<RelCase> {};

TEST_P(RelPath, Table) {
    const RelCase& c = GetParam();
    auto tgt = exact8(c.tgt);
    auto ref = exact8(c.ref);
    char dst[128];
    std::memset(dst, 'Z', sizeof dst);
    ::testing::internal::CaptureStdout();
    int rc = relpath(dst, tgt.get(), ref.get());
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0);
    EXPECT_STREQ(dst, on_this_os(c.want, c.want_win));
    std::string trace = "\nTgt: ";
    trace.append(c.tgt).append("\nRef: ").append(c.ref).append("\n");
    EXPECT_EQ(out.substr(0, trace.size()), trace);
}

INSTANTIATE_TEST_SUITE_P(Cases, RelPath, ::testing::ValuesIn(kRelCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WithCp932, RelPathTraceLines) {
    char dst[64];
    ::testing::internal::CaptureStdout();
    relpath(dst, "C:\\a\\b\\c.txt", "C:\\a\\d\\");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "\nTgt: C:\\a\\b\\c.txt\nRef: C:\\a\\d\\\n=> ../b/c.txt\n");
    // Paths on different drives are given back without the result line.
    ::testing::internal::CaptureStdout();
    relpath(dst, "C:\\a.txt", "D:\\");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\nTgt: C:\\a.txt\nRef: D:\\\n");
}

// ---- strheadcmp --------------------------------------------------------------------------

TEST_F(WithCp932, StrHeadCmp) {
    struct {
        std::string_view s, prefix;
        int want;
    } cases[] = {
        {"Movie.AVI", "movie", 0},
        {"Movie.AVI", "movies", -1},
        {".bmpx", ".BMP", 0},
        {"abc", "", 0},
        {"", "", 0},
        {"", "a", -1},
        {"ab", "abc", -1},
        {"[", "{", -1},  // 0x5B and 0x7B are no letters
        {"@", "`", -1},
        {"Z", "z", 0},
        // Trail bytes are compared exactly: 0x8341 and 0x8361 are two
        // different characters.
        {"\x83\x41", "\x83\x61", -1},
        {"\x83\x41x", "\x83\x41X", 0},
        {"\x83", "\x83", 0},
    };
    for (const auto& c : cases) {
        auto s = exact8(c.s);
        auto p = exact8(c.prefix);
        EXPECT_EQ(strheadcmp(s.get(), p.get()), c.want) << c.s << " / " << c.prefix;
        if (is_ascii(c.s) && is_ascii(c.prefix)) {
            auto sw = exact<char16_t>(widen(c.s));
            auto pw = exact<char16_t>(widen(c.prefix));
            EXPECT_EQ(strheadcmpW(sw.get(), pw.get()), c.want) << c.s << " / " << c.prefix;
        }
    }
    // Only ASCII letters fold in the 16-bit form too.
    EXPECT_EQ(strheadcmpW(u"\u00C0b", u"\u00E0"), -1);
    EXPECT_EQ(strheadcmpW(u"\uFF21", u"\uFF41"), -1);
    EXPECT_EQ(strheadcmpW(u"AVI\u3042", u"avi\u3042"), 0);
}

// ---- getfield ------------------------------------------------------------------------------

TEST_F(WithCp932, GetField) {
    struct {
        std::string_view s;
        int n;
        const char* want;
        int rc;
    } cases[] = {
        {"a;b;c", 0, "a", 0},  {"a;b;c", 1, "b", 0},  {"a;b;c", 2, "c", 0},
        {"a;b;c", 3, "", -1},  {"a;;c", 1, "", 0},    {"", 0, "", 0},
        {"", 1, "", -1},       {"a;b", -5, "a", 0},   {"a;", 1, "", 0},
        {";", 0, "", 0},       {";", 1, "", 0},       {";", 2, "", -1},
        {"movie.avi;L 12;FP 29.97", 2, "FP 29.97", 0},
        // A ';' right after a lead byte is its trail byte.
        {"\x83;x;y", 1, "y", 0}, {"\x83;x;y", 0, "\x83;x", 0},
        {"a;\x95", 1, "\x95", 0}, {"a;\x95", 2, "", -1},
    };
    for (const auto& c : cases) {
        auto s = exact8(c.s);
        char dst[64];
        std::memset(dst, 'Z', sizeof dst);
        EXPECT_EQ(getfield(dst, s.get(), c.n), c.rc) << c.s << " #" << c.n;
        EXPECT_STREQ(dst, c.want) << c.s << " #" << c.n;
    }
}

// ---- Number readers ------------------------------------------------------------------------

TEST(Numbers, StrTailInt) {
    struct {
        std::string_view s;
        int want;
    } cases[] = {
        {"frame120", 120}, {"frame", -1}, {"", -1},      {"007", 7},   {"1a2", 2},
        {"L 12", 12},      {"12 ", -1},   {"-5", 5},     {"0", 0},     {"2147483647", 2147483647},
        {"4294967295", -1},                       // wraps like a 32-bit int
        {"2147483648", (int)0x80000000u},
        {"99999999999", 1215752191},              // 99999999999 mod 2^32
    };
    for (const auto& c : cases) {
        auto s = exact8(c.s);
        EXPECT_EQ(strtailint(s.get()), c.want) << c.s;
    }
}

TEST(Numbers, StrHeadInt) {
    struct {
        std::string_view s;
        int want;
    } cases[] = {
        {"12ab", 12}, {"ab", -1}, {"", -1}, {"0", 0}, {"-5", -1}, {"007x", 7}, {" 1", -1},
        {"4294967296", 0}, {"99999999999", 1215752191},
    };
    for (const auto& c : cases) {
        auto s = exact8(c.s);
        EXPECT_EQ(strheadint(s.get()), c.want) << c.s;
    }
}

// Long digit runs against a value reduced modulo 2^32 digit by digit in
// 64-bit arithmetic, for both readers.
TEST(Numbers, LongRunsWrapModulo32Bits) {
    std::srand(12345);
    for (int t = 0; t < 200; t++) {
        int n = 1 + std::rand() % 40;
        std::string digits;
        uint64_t mod = 0;
        for (int i = 0; i < n; i++) {
            int d = std::rand() % 10;
            digits += (char)('0' + d);
            mod = (mod * 10 + (uint64_t)d) % 4294967296ull;
        }
        int want = (int)(uint32_t)mod;
        EXPECT_EQ(strheadint((digits + "x").c_str()), want) << digits;
        EXPECT_EQ(strtailint(std::string("x").append(digits).c_str()), want) << digits;
    }
}

TEST(Numbers, StrTailNum) {
    struct {
        std::string s;
        float want;
    } cases[] = {
        {"rate=29.97", 29.97f},
        {"fps", -1.0f},
        {"", -99999.0f},
        {"x-12.5", -12.5f},
        {"1-2", 1.0f},
        {"5.", 5.0f},
        {".", 0.0f},
        {"a.5", 0.5f},
        {"FP 29.97", 29.97f},
        {"fps29.97", 29.97f},
        {"60", 60.0f},
        {"29.97 ", -1.0f},
        // A run longer than any fixed copy is read whole.
        {std::string("x").append(300, '0').append("1.5"), 1.5f},
    };
    for (const auto& c : cases) {
        auto s = exact8(c.s);
        EXPECT_FLOAT_EQ(strtailnum(s.get()), c.want) << c.s;
    }
}

}  // namespace
