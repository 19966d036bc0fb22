// convert_oracle_test.cpp - every converter against Python's codecs.
//
// tools/gen_convert_oracle.py computes, from Python's shift_jis_2004, cp932,
// UTF-8 and UTF-16 codecs, what each converter must give for every single
// byte, every double-byte code under every lead byte, every UTF-16 unit and
// a spread of characters beyond U+FFFF (see the script for the line format).
// This test runs it into a temporary file and replays every line through
// the C++ function, comparing the output bytes, the result and what the
// function prints.  Without Python (the Windows build under wine) the test
// is skipped; the hand-made cases of codes_test.cpp and convert_test.cpp
// still run there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testutil.h"
#include "text/codes.h"
#include "text/convert.h"
#include "text_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Line {
    Bytes in, out;
    int result;
    std::string printed;
};

Bytes unhex(const std::string& s) {
    if (s == "-") return {};
    return testutil::h2b(s);
}

// The script's lines for one function.  Fails the test (fatally) when the
// script runs but gives nothing; the caller skips in a build without Python.
void load_oracle(const std::string& name, std::vector<Line>* lines) {
    testutil::TempDir dir;
    std::string path = dir.str("oracle.txt");
    std::string cmd = testutil::python() + " \"" + RK_SOURCE_DIR + "/tools/gen_convert_oracle.py\" --only " + name +
                      " \"" + path + "\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream f(path);
    std::string func, in, out, printed;
    int result;
    while (f >> func >> in >> out >> result >> printed) {
        ASSERT_EQ(func, name);
        Bytes p = unhex(printed);
        lines->push_back({unhex(in), unhex(out), result, std::string(p.begin(), p.end())});
    }
    ASSERT_FALSE(lines->empty()) << "the oracle has no lines for " << name;
}

// Inputs made into the forms the functions take, with their terminators.
std::string cstr(const Bytes& b) { return std::string(b.begin(), b.end()); }
Bytes le_terminated(const Bytes& b) {
    Bytes v = b;
    v.push_back(0);
    v.push_back(0);
    return v;
}
std::u16string wide(const Bytes& b) {
    std::u16string s;
    for (size_t i = 0; i + 1 < b.size(); i += 2) s += (char16_t)(b[i] | (b[i + 1] << 8));
    return s;
}
Bytes out_cstr(const char* s) { return Bytes(s, s + strlen(s)); }
Bytes out_le(const uint8_t* p) {
    Bytes v;
    for (; p[0] || p[1]; p += 2) {
        v.push_back(p[0]);
        v.push_back(p[1]);
    }
    return v;
}
Bytes out_wide(const char16_t* s) {
    Bytes v;
    for (; *s; s++) {
        v.push_back((uint8_t)*s);
        v.push_back((uint8_t)(*s >> 8));
    }
    return v;
}

// Runs one line: gives the output bytes (before the terminator) and the result.
using Runner = std::function<int(const Bytes& in, Bytes* out)>;

struct Member {
    const char* name;
    Runner run;
};

// Output buffers are generous here; convert_test.cpp checks the tight bounds.
const Member kMembers[] = {
    {"sjistoutf8", [](const Bytes& in, Bytes* out) {
         char d[64];
         int r = sjistoutf8(d, cstr(in).c_str());
         *out = out_cstr(d);
         return r;
     }},
    {"sjistoutf16", [](const Bytes& in, Bytes* out) {
         uint8_t d[64];
         int r = sjistoutf16(d, cstr(in).c_str());
         *out = out_le(d);
         return r;
     }},
    {"sjis2wstr", [](const Bytes& in, Bytes* out) {
         char16_t d[32];
         int r = sjis2wstr(d, cstr(in).c_str());
         *out = out_wide(d);
         return r;
     }},
    {"utf16tosjis", [](const Bytes& in, Bytes* out) {
         char d[32];
         int r = utf16tosjis(d, le_terminated(in).data());
         *out = out_cstr(d);
         return r;
     }},
    {"utf8tosjis", [](const Bytes& in, Bytes* out) {
         char d[32];
         int r = utf8tosjis(d, cstr(in).c_str());
         *out = out_cstr(d);
         return r;
     }},
    {"wstr2sjis", [](const Bytes& in, Bytes* out) {
         char d[32];
         int r = wstr2sjis(d, wide(in).c_str());
         *out = out_cstr(d);
         return r;
     }},
    {"chkwstrsjis", [](const Bytes& in, Bytes* out) {
         out->clear();
         return chkwstrsjis(wide(in).c_str());
     }},
    {"wstrtoutf8", [](const Bytes& in, Bytes* out) {
         char d[32];
         int r = wstrtoutf8(d, le_terminated(in).data());
         *out = out_cstr(d);
         return r;
     }},
    {"utf8towstr", [](const Bytes& in, Bytes* out) {
         uint8_t d[64];
         memset(d, 0xEE, sizeof d);
         int r = utf8towstr(d, cstr(in).c_str());
         *out = out_le(d);
         size_t end = out->size();
         if (d[end + 2] || d[end + 3]) out->push_back(0xEE);  // the second 0 unit is missing
         return r;
     }},
    {"utf8unesc", [](const Bytes& in, Bytes* out) {
         char d[32];
         int r = utf8unesc(d, cstr(in).c_str());
         *out = out_cstr(d);
         return r;
     }},
};

void PrintTo(const Member& m, std::ostream* os) { *os << m.name; }

// Code page 932 is the script's assumption for sjis2wstr.
class ConvertOracle : public texttest::WithCp932, public ::testing::WithParamInterface<Member> {};

std::string hex(const Bytes& b) {
    std::ostringstream s;
    for (uint8_t c : b) s << "0123456789abcdef"[c >> 4] << "0123456789abcdef"[c & 15];
    return s.str();
}

TEST_P(ConvertOracle, AgreesOnEveryCase) {
    if (!testutil::have_python()) GTEST_SKIP() << "no Python in this build";
    const Member& m = GetParam();
    std::vector<Line> lines;
    load_oracle(m.name, &lines);
    if (HasFatalFailure()) return;

    // What the calls print is compared as one text for the whole run.  The
    // disagreements are reported after the capture ends, since GoogleTest
    // prints its failures on the same standard output.
    std::string want_printed;
    std::vector<std::string> wrong;
    int bad = 0;
    Bytes out;
    testing::internal::CaptureStdout();
    for (const Line& l : lines) {
        want_printed += l.printed;
        int r = m.run(l.in, &out);
        if (r != l.result || out != l.out) {
            if (++bad <= 10)
                wrong.push_back(std::string(m.name) + " on " + hex(l.in) + ": gave " + hex(out) + " result " +
                                std::to_string(r) + ", expected " + hex(l.out) + " result " +
                                std::to_string(l.result));
        }
    }
    std::string printed = testing::internal::GetCapturedStdout();
    for (const auto& w : wrong) ADD_FAILURE() << w;
    EXPECT_EQ(bad, 0) << "cases that disagree, of " << lines.size();
    if (printed != want_printed) {
        size_t at = 0;
        while (at < printed.size() && at < want_printed.size() && printed[at] == want_printed[at]) at++;
        ADD_FAILURE() << m.name << " printed something else; first difference at byte " << at << ": got \""
                      << printed.substr(at > 40 ? at - 40 : 0, 120) << "\", expected \""
                      << want_printed.substr(at > 40 ? at - 40 : 0, 120) << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(Members, ConvertOracle, ::testing::ValuesIn(kMembers),
                         [](const ::testing::TestParamInfo<Member>& i) { return std::string(i.param.name); });

}  // namespace
