// framelist_test.cpp - the list-line rule: which names a "list.txt" gives and
// what it reports about the lines it rejects.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "avi1_fixtures.h"
#include "movie/framelist.h"
#include "stream/stream.h"

namespace {

using moviefix::capture;
using moviefix::scene;

struct listresult {
    std::vector<std::string> names;
    std::string out;
};

// Reads the whole list file through the text reader, as the writers do.
listresult readlist(const scene& sc, const std::string& bytes, bool wide = false) {
    sc.put("list.txt", bytes);
    listresult r;
    r.out = capture([&] {
        int o = wide ? tfopenW(sc.pathW("list.txt").c_str()) : tfopen(sc.path("list.txt").c_str());
        ASSERT_EQ(o, 0);
        char name[LISTNAME_BUF];
        int guard = 0;
        while (listgetname(name) == 0 && guard++ < 10000) r.names.push_back(name);
        tfclose();
    });
    return r;
}

std::string rep(char c, int n) { return std::string((size_t)n, c); }

struct Case {
    const char* name;
    std::string list;
    std::vector<std::string> want;
    std::string out;
};

const std::string k63 = rep('n', 59) + ".png";  // 63 bytes
const std::string k64 = rep('m', 60) + ".png";  // 64 bytes
const std::string k66 = rep('q', 62) + ".png";  // 66 bytes

const Case kCases[] = {
    {"comment_skipped", "a.png\r\n//x.png\r\nb.png\r\n", {"a.png", "b.png"}, ""},
    // A rule that ends lines at CR only would lose a last line without one.
    {"last_line_without_cr", "a.png\r\n//x.png\r\nb.png", {"a.png", "b.png"}, ""},
    {"lf_line_ends", "a.png\nb.png\nc.png\n", {"a.png", "b.png", "c.png"}, ""},
    {"lf_no_final_end", "a.png\nb.png", {"a.png", "b.png"}, ""},
    {"cr_line_ends", "a.png\rb.png\r", {"a.png", "b.png"}, ""},
    {"crlf_is_one_end", "a\r\n\r\nb\r\n", {"a", "", "b"}, ""},
    {"mixed_ends", "a\r\nb\nc\rd", {"a", "b", "c", "d"}, ""},
    {"name_63_valid", k63 + "\r\n", {k63}, ""},
    {"name_64_invalid", k64 + "\r\nok\r\n", {"ok"}, "*** length over:invalid:  " + k64 + " \n"},
    {"name_66_invalid",
     k66 + "\r\n",
     {},
     "*** name length over \n*** name length over \n*** length over:invalid:  " + k66.substr(0, 64) +
         " \n"},
    {"long_last_line_without_end", k64, {}, "*** length over:invalid:  " + k64 + " \n"},
    {"tab_dropped", "a\tb.png\r\n", {"ab.png"}, ""},
    {"sjis_bytes_dropped", "\x82\xa0x.png\r\n", {"x.png"}, ""},
    {"byte_ff_dropped", "a\xff" "b\r\nc\r\n", {"ab", "c"}, ""},
    {"del_kept", "a\x7f\r\n", {"a\x7f"}, ""},
    {"empty_line_is_a_name", "\r\n", {""}, ""},
    {"empty_file", "", {}, ""},
    {"comment_crlf_then_empty_line", "//c\r\n\r\nx\r\n", {"", "x"}, ""},
    // A CR after a comment's CR belongs to it, as it always did.
    {"comment_cr_takes_next_cr", "//c\r\rb\r", {"b"}, ""},
    // A comment ended by a bare LF is complete: the next line stands.
    {"comment_lf_then_empty_line", "//c\n\nb\n", {"", "b"}, ""},
    {"comment_ctrlz_end", "//c\x1a" "b\r", {"b"}, ""},
    {"comment_ctrlz_crlf", "//c\x1a\r\nb\r\n", {"b"}, ""},
    {"comment_cr_cr_lf", "//c\r\r\nb\r\n", {"b"}, ""},
    {"comment_at_eof", "a\r\n//c", {"a"}, ""},
    {"slashes_inside_name", "a//b\r\n", {"a//b"}, ""},
    {"single_slash", "/x\r\n", {"/x"}, ""},
    {"slashes_after_dropped_byte", "\t//x\r\n", {}, ""},
};

class FrameListRule : public testing::TestWithParam<Case> {};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }


TEST_P(FrameListRule, NamesAndMessages) {
    const Case& c = GetParam();
    scene sc;
    listresult r = readlist(sc, c.list);
    EXPECT_EQ(r.names, c.want);
    EXPECT_EQ(r.out, c.out);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameListRule, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// The rule reads the same through the wide-name open of the text reader.
TEST(FrameListWide, SameNames) {
    scene sc;
    listresult r = readlist(sc, "a.png\r\n//x\r\nb.png\nc.png", true);
    EXPECT_EQ(r.names, (std::vector<std::string>{"a.png", "b.png", "c.png"}));
}

// ---- The CR-only rule as an independent oracle --------------------------------------

// The rule that ends lines at CR only: LF ignored everywhere, CR ends a line,
// a last line without CR lost; written here from its description, over the
// bytes in memory.
std::vector<std::string> cronly(const std::string& s) {
    std::vector<std::string> names;
    std::string cur;
    size_t i = 0;
    auto peek = [&]() -> int { return i < s.size() ? (uint8_t)s[i] : -1; };
    while (i < s.size()) {
        int c = (uint8_t)s[i++];
        if (c == '/' && cur.empty() && peek() == '/') {
            // skip to and including the first CR, LF or Ctrl-Z ...
            while (i < s.size()) {
                int d = (uint8_t)s[i++];
                if (d == 13 || d == 10 || d == 26) break;
            }
            // ... then one CR, or else one LF
            if (peek() == 13) i++;
            else if (peek() == 10) i++;
            continue;
        }
        if (c == 10) continue;
        if (c == 13) {
            if (cur.size() <= 63) names.push_back(cur);
            cur.clear();
            continue;
        }
        if (c < 32 || c > 127) continue;
        if (cur.size() < 64) cur += (char)c;
    }
    return names;
}

// Lists written with CR LF or CR line ends (every line ended, LF only ever
// right after a CR) give exactly the names of the CR-only rule.
TEST(FrameListOracle, CrAndCrLfListsReadAsBefore) {
    std::mt19937 rng(12345);
    const char alphabet[] = {'a', 'b', '.', '/', '/', '\t', '\x1a', '\xff', '\x82', 'p'};
    scene sc;
    for (int round = 0; round < 300; round++) {
        std::string list;
        int lines = (int)(rng() % 8);
        bool crlf = rng() & 1;
        for (int l = 0; l < lines; l++) {
            if (rng() % 4 == 0) list += "//";
            int len = (int)(rng() % 6);
            if (rng() % 10 == 0) len = 60 + (int)(rng() % 8);  // around the 63-byte limit
            for (int k = 0; k < len; k++) list += alphabet[rng() % sizeof alphabet];
            list += crlf ? "\r\n" : "\r";
        }
        listresult r = readlist(sc, list);
        ASSERT_EQ(r.names, cronly(list)) << "list #" << round << ": " << testing::PrintToString(list);
    }
}

// ---- Joins ----------------------------------------------------------------------------

// A join that does not fit is refused and leaves nothing: a path cut short
// could name another file than the one meant ("list.txt" cut to "list").
TEST(FrameListJoin, FitsExactlyOrIsRefusedWhole) {
    const std::string dir = "/tmp/kiln/";
    const size_t need = dir.size() + std::string("list.txt").size() + 1;  // with the terminator
    for (size_t cap : {need + 1, need, need - 1, need - 5, (size_t)1}) {
        char dst[64];
        char16_t dstW[64];
        memset(dst, 'x', sizeof dst);
        const bool fits = cap >= need;
        EXPECT_EQ(joinpath(dst, cap, dir.c_str(), "list.txt"), fits) << cap;
        EXPECT_EQ(std::string(dst), fits ? "/tmp/kiln/list.txt" : "") << cap;
        EXPECT_EQ(joinpathW(dstW, cap, u"/tmp/kiln/", u"list.txt"), fits) << cap;
        EXPECT_EQ(std::u16string(dstW), fits ? u"/tmp/kiln/list.txt" : u"") << cap;
    }
}

// A listed name joins to the program directory of the mode in use, and
// only that path is written.
TEST(FrameListJoin, ListedNameInTheModeInUse) {
    char savedir[EXEDIR_CAP];
    char16_t savedirW[EXEDIR_CAP];
    memcpy(savedir, exedir, sizeof savedir);
    memcpy(savedirW, exedirW, sizeof savedirW);
    strcpy(exedir, "/a/");
    const char16_t dirW[] = u"/w/";
    memcpy(exedirW, dirW, sizeof dirW);

    static char path[JOINED_CAP];
    static char16_t pathW[JOINED_CAP];
    path[0] = 'x', path[1] = 0;
    pathW[0] = u'x', pathW[1] = 0;
    EXPECT_TRUE(joinlisted(path, pathW, "f 1.png", 0));
    EXPECT_EQ(std::string(path), "/a/f 1.png");
    EXPECT_EQ(std::u16string(pathW), u"x");
    path[0] = 'x', path[1] = 0;
    EXPECT_TRUE(joinlisted(path, pathW, "f 1.png", 0xFF));
    EXPECT_EQ(std::u16string(pathW), u"/w/f 1.png");
    EXPECT_EQ(std::string(path), "x");

    memcpy(exedir, savedir, sizeof savedir);
    memcpy(exedirW, savedirW, sizeof savedirW);
}

}  // namespace
