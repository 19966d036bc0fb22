// cmdline_test.cpp - splitting the command line and appending arguments.
//
// Command lines are fed through g_os.command_lineA/W from heap buffers of
// exactly their length, so the sanitizer build catches a read past the 0.
// Every set is checked for its invariants as well as its arguments: entries
// follow one another in the buffer, each ended by a 0, and the end pointer is
// the next free place (buffer start plus the used length).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "text/cmdline.h"
#include "text_fixture.h"

using namespace texttest;

namespace {

std::unique_ptr<char[]> g_lineA;
std::unique_ptr<char16_t[]> g_lineW;
const char* fake_lineA() { return g_lineA.get(); }
const char16_t* fake_lineW() { return g_lineW.get(); }

class CmdLine : public WithCp932 {
protected:
    void SetUp() override {
        WithCp932::SetUp();
        cmdline_reset();
        g_os.command_lineA = fake_lineA;
        g_os.command_lineW = fake_lineW;
    }
    void TearDown() override {
        WithCp932::TearDown();
        g_lineA.reset();
        g_lineW.reset();
    }
    void feed(std::string_view line) {
        g_lineA = exact<char>(line);
        g_lineW = exact<char16_t>(widen(line));
    }
};

// The arguments of a set, after checking its layout.
template <class C>
std::vector<std::basic_string<C>> args_of(int count, C** argv, const C* buf, int buflen) {
    std::vector<std::basic_string<C>> out;
    EXPECT_GE(count, 0);
    EXPECT_LE(count, CMDARGS_MAX);
    if (count < 0 || count > CMDARGS_MAX) return out;
    const C* next = buf;
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(argv[i], next) << "entry " << i << " does not follow the one before";
        out.emplace_back(argv[i]);
        next = argv[i] + out.back().size() + 1;
    }
    // The end pointer is the next free place: just behind the last argument,
    // or behind the empty one that a split drops after the program name.
    EXPECT_TRUE(argv[count] == next || (argv[count] == next + 1 && next[0] == 0))
        << "the end pointer is not the next free place";
    EXPECT_EQ(argv[count], buf + buflen) << "the used length does not end the set";
    return out;
}

std::vector<std::string> args8(int count, char** argv) {
    return args_of<char>(count, argv, argbuf, argbuflen);
}
std::vector<std::u16string> argsW(int count, char16_t** argv) {
    return args_of<char16_t>(count, argv, wargbuf, wargbuflen);
}

std::vector<std::u16string> widen_all(const std::vector<std::string>& v) {
    std::vector<std::u16string> out;
    for (const auto& s : v) out.push_back(widen(s));
    return out;
}

// Splits the line last fed, by the 8-bit or the wide splitter, and gives its
// arguments after checking the set's layout.
std::vector<std::string> split8() {
    char* argv[CMDARGS_PTRS];
    int argc = -1;
    EXPECT_EQ(splitcmdline(&argc, argv), 0);
    return args8(argc, argv);
}
std::vector<std::u16string> splitW() {
    char16_t* wargv[CMDARGS_PTRS];
    int wargc = -1;
    EXPECT_EQ(splitcmdlineW(&wargc, wargv), 0);
    return argsW(wargc, wargv);
}

// ---- Splitting ------------------------------------------------------------------------

struct SplitCase {
    const char* name;
    std::string_view line;
    std::vector<std::string> want;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

const SplitCase kSplitCases[] = {
    {"name_only", "prog", {"prog"}},
    {"trailing_blank", "prog ", {"prog"}},
    {"empty_quotes", "prog \"\"", {"prog"}},
    {"quoted_program_path", "\"C:\\Program Files\\r.exe\" x", {"C:\\Program Files\\r.exe", "x"}},
    {"tab_inside", "prog a\tb", {"prog", "a\tb"}},
    {"leading_blanks_and_tabs", "\t \tprog a", {"prog", "a"}},
    {"tab_after_space_kept", "prog \ta", {"prog", "\ta"}},
    {"trailing_tab_kept", "prog a\t", {"prog", "a\t"}},
    {"backslash_no_escape", "prog a\\\"b c", {"prog", "a\\b c"}},
    {"quote_anywhere", "prog a\"b c\"d", {"prog", "ab cd"}},
    {"blank_after_args", "prog a ", {"prog", "a", ""}},
    {"many_spaces", "prog  a   b", {"prog", "a", "b"}},
    {"empty_line", "", {""}},
    {"blanks_only", "   ", {""}},
    {"empty_quotes_then_more", "prog \"\" x", {"prog", "", "x"}},
    {"unclosed_quote", "prog \"a b", {"prog", "a b"}},
    {"quoted_blank_in_name", "p\" \"q r", {"p q", "r"}},
};

class Split : public CmdLine, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(Split, EightBitAndWide) {
    const SplitCase& c = GetParam();
    feed(c.line);
    EXPECT_EQ(split8(), c.want);
    EXPECT_EQ(splitW(), widen_all(c.want));
}

INSTANTIATE_TEST_SUITE_P(Cases, Split, ::testing::ValuesIn(kSplitCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A split starts the set anew, whatever was in it.
TEST_F(CmdLine, SplitReplacesTheSet) {
    feed("first a b c d");
    split8();
    splitW();
    feed("second x");
    EXPECT_EQ(split8(), (std::vector<std::string>{"second", "x"}));
    EXPECT_EQ(splitW(), (std::vector<std::u16string>{u"second", u"x"}));
}

struct CountCase {
    int words;  // after the program name
    int want;   // arguments kept, program name included
};

TEST_F(CmdLine, ArgumentLimit) {
    const CountCase cases[] = {{509, 510}, {510, 511}, {511, 511}, {599, 511}};
    for (const auto& c : cases) {
        std::string line = "prog";
        for (int i = 1; i <= c.words; i++) line.append(" w").append(std::to_string(i));
        feed(line);
        auto got = split8();
        ASSERT_EQ((int)got.size(), c.want) << c.words;
        EXPECT_EQ(got.back(), std::string("w").append(std::to_string(c.want - 1)));
        EXPECT_EQ((int)splitW().size(), c.want);
    }
}

// Words of 499 units take 500 with their terminator: after word k the write
// index at its space is 500k + 1, which stops ending arguments from k = 131
// (65501 >= 65275), so word 131 is the last one kept.
TEST_F(CmdLine, TextLimitEndsAtASpace) {
    std::string line = "p";
    for (int k = 1; k <= 140; k++) line.append(" ").append(499, (char)('a' + k % 26));
    feed(line);
    auto got = split8();
    ASSERT_EQ(got.size(), 132u);
    EXPECT_EQ(got[131], std::string(499, (char)('a' + 131 % 26)));
    EXPECT_EQ(argbuflen, 65502);
    EXPECT_EQ(splitW(), widen_all(got));
    EXPECT_EQ(wargbuflen, 65502);
}

// At most 65533 units of the line are read: a longer argument is cut there.
TEST_F(CmdLine, ReadLimit) {
    feed(std::string("p ").append(70000, 'a'));
    auto want = std::vector<std::string>{"p", std::string(65531, 'a')};
    EXPECT_EQ(split8(), want);
    EXPECT_EQ(argbuflen, 65534);
    EXPECT_EQ(splitW(), widen_all(want));
    EXPECT_EQ(wargbuflen, 65534);
}

// The 8-bit splitter takes a double-byte character whole; the wide one has
// no such thing.
TEST_F(CmdLine, DoubleByteCharacters) {
    struct {
        std::string_view line;
        std::vector<std::string> want;
    } cases[] = {
        {"p \x95\"x y", {"p", "\x95\"x", "y"}},      // a trail byte is no quote
        {"p \x81 x", {"p", "\x81 x"}},               // nor a space
        {"p \x81  x", {"p", "\x81 ", "x"}},          // the next space is one
        {"p a\x95", {"p", "a\x95"}},                 // a lead byte before the end stands alone
        {"\x95", {"\x95"}},
        {"\"\x95\" x\"", {"\x95\" x"}},              // quoted: the pair, a blank, x
    };
    for (const auto& c : cases) {
        feed(c.line);
        EXPECT_EQ(split8(), c.want) << c.line;
    }
    // U+0095 followed by a quote: the quote toggles in the wide form.
    g_lineW = exact<char16_t>(u"p \u0095\"x y\"");
    EXPECT_EQ(splitW(), (std::vector<std::u16string>{u"p", u"\u0095x y"}));
}

TEST_F(CmdLine, NoCommandLine) {
    g_os.command_lineA = [] { return (const char*)nullptr; };
    g_os.command_lineW = [] { return (const char16_t*)nullptr; };
    EXPECT_EQ(split8(), (std::vector<std::string>{""}));
    EXPECT_EQ(splitW(), (std::vector<std::u16string>{u""}));
}

// ---- Appending --------------------------------------------------------------------------

struct AddCase {
    const char* name;
    std::string_view arg;
    const char* want;  // null: nothing appended
};
void PrintTo(const AddCase& c, std::ostream* os) { *os << c.name; }

const AddCase kAddCases[] = {
    {"plain", "x", "x"},
    {"with_blank", "a b", "a b"},
    {"empty", "", nullptr},
    {"quoted", "\"ab\"", "ab"},
    {"lone_quote", "\"", nullptr},
    {"empty_quotes", "\"\"", nullptr},
    {"unclosed", "\"a", "a"},
    {"stops_at_closing_quote", "\"a\"b", "a"},
    {"inner_quote_kept", "x\"y", "x\"y"},
    {"backslash", "C:\\a b\\", "C:\\a b\\"},
};

class AddArg : public CmdLine, public ::testing::WithParamInterface<AddCase> {};

// Appends to a split set of three: entry 3 gets the argument, the count 4.
TEST_P(AddArg, ToASplitSet) {
    const AddCase& c = GetParam();
    feed("p a b");
    std::vector<std::string> want = {"p", "a", "b"};
    if (c.want) want.push_back(c.want);

    for (int copy = 0; copy < 2; copy++) {
        char* argv[CMDARGS_PTRS];
        int argc = 0;
        splitcmdline(&argc, argv);
        int len0 = argbuflen;
        auto arg = exact<char>(c.arg);
        int rc = copy ? addargcopy(&argc, argv, arg.get()) : addarg(&argc, argv, arg.get());
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(args8(argc, argv), want);
        if (!c.want) {
            EXPECT_EQ(argbuflen, len0);
        }
    }

    char16_t* wargv[CMDARGS_PTRS];
    int wargc = 0;
    splitcmdlineW(&wargc, wargv);
    auto argw = exact<char16_t>(widen(c.arg));
    EXPECT_EQ(addargW(&wargc, wargv, argw.get()), 0);
    EXPECT_EQ(argsW(wargc, wargv), widen_all(want));
}

INSTANTIATE_TEST_SUITE_P(Cases, AddArg, ::testing::ValuesIn(kAddCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The program's way: reset the set, then append the runtime's arguments.
TEST_F(CmdLine, AppendAfterReset) {
    char* argv[CMDARGS_PTRS];
    argbuf[0] = 0;
    argbuflen = 0;
    int argc = 0;
    argv[0] = argbuf;
    const char* runtime[] = {"C:\\r\\reelkiln.exe", "-d=3", "my movie.png"};
    for (const char* a : runtime) addarg(&argc, argv, a);
    EXPECT_EQ(args8(argc, argv),
              (std::vector<std::string>{"C:\\r\\reelkiln.exe", "-d=3", "my movie.png"}));
}

// A set of 511 arguments takes no more: the end pointer keeps its slot.
TEST_F(CmdLine, AppendToAFullSet) {
    char* argv[CMDARGS_PTRS + 8];
    char16_t* wargv[CMDARGS_PTRS + 8];
    int argc = 0, wargc = 0;
    argv[0] = argbuf;
    wargv[0] = wargbuf;
    for (int i = 0; i < 520; i++) {
        addarg(&argc, argv, "z");
        addargW(&wargc, wargv, u"z");
    }
    EXPECT_EQ(argc, 511);
    EXPECT_EQ(wargc, 511);
    EXPECT_EQ(argbuflen, 511 * 2);
    EXPECT_EQ(args8(argc, argv).size(), 511u);
    EXPECT_EQ(argsW(wargc, wargv).size(), 511u);
}

// One string never takes more than what is left: a byte at string position p
// (from 1) is copied only while p < 65534 - the used length at entry.
TEST_F(CmdLine, AppendBufferLimit) {
    struct {
        const char* name;
        int used;           // length of a first argument (its terminator adds 1)
        std::string arg;
        size_t want_len;    // length of the appended argument, 0: none
    } cases[] = {
        {"empty_set_long_arg", 0, std::string(70000, 'a'), 65533},
        {"partly_full", 59999, std::string(10000, 'b'), 5533},
        {"partly_full_quoted", 59999, std::string("\"").append(10000, 'b'), 5532},
        {"fits", 59999, std::string(5533, 'c'), 5533},
        // A double-byte character across the limit is not split.
        {"pair_across_limit", 59999, std::string(5532, 'd') + "\x95\x5C" + "e", 5532},
        {"pair_inside_limit", 59999, std::string(5531, 'd') + "\x95\x5C" + "e", 5533},
    };
    for (const auto& c : cases) {
        cmdline_reset();
        char* argv[CMDARGS_PTRS];
        int argc = 0;
        argv[0] = argbuf;
        if (c.used) addarg(&argc, argv, std::string(c.used, 'u').c_str());
        int count0 = argc;
        auto arg = exact<char>(c.arg);
        addarg(&argc, argv, arg.get());
        auto got = args8(argc, argv);
        if (c.want_len == 0) {
            EXPECT_EQ(argc, count0) << c.name;
        } else {
            ASSERT_EQ(argc, count0 + 1) << c.name;
            EXPECT_EQ(got.back().size(), c.want_len) << c.name;
            EXPECT_EQ(got.back(), c.arg.substr(c.arg[0] == '"' ? 1 : 0, c.want_len)) << c.name;
        }
        EXPECT_LE(argbuflen, CMDARGS_TEXT);
        // Nothing more fits once the limit is reached.
        int full = argc;
        if (argbuflen == 65534) {
            addarg(&argc, argv, "x");
            EXPECT_EQ(argc, full) << c.name;
        }
    }

    // The wide form keeps the same limit.
    char16_t* wargv[CMDARGS_PTRS];
    int wargc = 0;
    wargv[0] = wargbuf;
    std::u16string big(70000, u'w');
    addargW(&wargc, wargv, big.c_str());
    auto gotw = argsW(wargc, wargv);
    ASSERT_EQ(gotw.size(), 1u);
    EXPECT_EQ(gotw[0].size(), 65533u);
    addargW(&wargc, wargv, u"x");
    EXPECT_EQ(wargc, 1);
}

// A lead byte right before the end is copied alone; a trail byte is never
// the closing quote.
TEST_F(CmdLine, AppendDoubleByte) {
    struct {
        std::string_view arg;
        std::string want;
    } cases[] = {
        {"a\x95", "a\x95"},
        {"\"\x95\"x\"", "\x95\"x"},
        {"\"\x95", "\x95"},
        {"\x81\x5C\"", "\x81\x5C\""},
    };
    for (const auto& c : cases) {
        cmdline_reset();
        char* argv[CMDARGS_PTRS];
        int argc = 0;
        argv[0] = argbuf;
        auto arg = exact<char>(c.arg);
        addarg(&argc, argv, arg.get());
        EXPECT_EQ(args8(argc, argv), std::vector<std::string>{c.want}) << c.arg;
    }
}

}  // namespace
