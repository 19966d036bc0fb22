// filecvt_oracle_test.cpp - the file converters over every double-byte code
// and every code point of the BMP, judged by Python's codecs and by glibc's
// iconv.
//
// tools/gen_filecvt_oracle.py writes the inputs (one code or code point per
// line) and, per line, what the converter must write by Python's
// shift_jis_2004 and cp932 codecs, and what iconv's SHIFT_JISX0213 and
// CP932 conversions give.  Each converter runs once over its whole file;
// its output, split at the line ends, must equal Python's line for line,
// and must agree with iconv except where this system decides otherwise, as
// listed below with their counts.  The generated data is checked by its
// counts first.  Without python3 (the Windows build under wine) the test is
// skipped; filecvt_test.cpp still runs there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "stream/stream_fixture.h"
#include "text/text.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes unhex(const std::string& s) { return s == "-" ? Bytes{} : testutil::h2b(s); }

std::string hex(const Bytes& b) {
    std::string s;
    for (uint8_t c : b) {
        s += "0123456789abcdef"[c >> 4];
        s += "0123456789abcdef"[c & 15];
    }
    return s.empty() ? "-" : s;
}

// The output split at LF, one piece per input line.
std::vector<Bytes> lines_of(const Bytes& b) {
    std::vector<Bytes> out(1);
    for (uint8_t c : b) {
        if (c == '\n') out.emplace_back();
        else out.back().push_back(c);
    }
    if (out.back().empty()) out.pop_back();
    return out;
}

bool is_marker(const Bytes& b) { return b.size() > 3 && b[0] == '<' && b[1] == '<' && b[2] == '<'; }

class FileCvtOracle : public streamtest::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        if (std::system("python3 -c pass") != 0) GTEST_SKIP() << "python3 is not available";
        std::string cmd = std::string("python3 \"") + RK_SOURCE_DIR + "/tools/gen_filecvt_oracle.py\" \"" +
                          dir_.str() + "\"";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::ifstream f(path("counts.txt"));
        std::string name;
        int n;
        while (f >> name >> n) counts_[name] = n;
    }
    // The lines of a want file, split into their fields.
    std::vector<std::vector<std::string>> want(const std::string& name) {
        std::vector<std::vector<std::string>> rows;
        std::ifstream f(path(name));
        for (std::string l; std::getline(f, l);) {
            std::istringstream s(l);
            std::vector<std::string> row;
            for (std::string w; s >> w;) row.push_back(w);
            rows.push_back(row);
        }
        return rows;
    }
    std::map<std::string, int> counts_;
};

// Every single byte and every double-byte code of leads 0x81-0x9F and
// 0xE0-0xFC with trails 0x40-0xFC.
TEST_F(FileCvtOracle, ShiftJisToUtf8OverEveryCode) {
    EXPECT_EQ(counts_["sjis_lines"], 127 + 64 + 60 * 189);
    EXPECT_EQ(counts_["sjis_double"], 60 * 189);
    EXPECT_EQ(counts_["sjis_marker"], 122);  // codes without a mapping, including 25 letter-and-mark pairs
    auto rows = want("sjis_want.txt");
    ASSERT_EQ((int)rows.size(), counts_["sjis_lines"]);

    int r = 0;
    std::string in = path("sjis_in.bin"), out = path("sjis_out.bin");
    std::string printed = streamtest::captured([&] { r = sjisfile2utf8(out.c_str(), in.c_str()); });
    EXPECT_EQ(r, 15);  // leads 0xE0-0xFC
    EXPECT_EQ(ctnoutf + ctsecond003F + ctfirst80, 0);
    EXPECT_NE(printed.find("sjisstat = 15. \n"), std::string::npos);
    auto got = lines_of(slurp("sjis_out.bin"));
    ASSERT_EQ(got.size(), rows.size());

    // Where iconv's SHIFT_JISX0213 decoder disagrees, on purpose:
    //   - 0x5C and 0x7E are written unchanged (iconv: U+00A5, U+203E), and
    //     0xA0 keeps its own value U+00A0 (iconv refuses it);
    //   - 17 codes of the compatibility list decode as CP932 does (iconv's
    //     CP932 decoder must agree there); the 18th, 0x815F, is the same in both;
    //   - 0x81B0 is U+007E by Python's codec, U+FF5E by iconv's;
    //   - 25 codes that iconv decodes into a letter and a combining mark,
    //     and 97 codes that neither decodes, write the marker.
    const std::set<std::string> compat = {"815C", "8160", "8161", "817C", "8191", "8192", "81CA", "8790", "8791",
                                          "8792", "8794", "8795", "8796", "8797", "879A", "879B", "879C"};
    int bad = 0, singles = 0, as_cp932 = 0, table_choice = 0, pairs = 0, neither = 0;
    for (size_t i = 0; i < rows.size(); i++) {
        const auto& w = rows[i];
        const std::string& code = w[0];
        Bytes mine = got[i], iconv0213 = unhex(w[2]), iconv932 = unhex(w[3]);
        if (mine != unhex(w[1])) {
            if (++bad <= 10) ADD_FAILURE() << code << ": wrote " << hex(mine) << ", Python gives " << w[1];
            continue;
        }
        if (mine == iconv0213) continue;
        if (code == "005C" || code == "007E" || code == "00A0") singles++;
        else if (compat.count(code) && mine == iconv932) as_cp932++;
        else if (code == "81B0") table_choice++;
        else if (is_marker(mine) && !iconv0213.empty()) pairs++;
        else if (is_marker(mine) && iconv0213.empty()) neither++;
        else ADD_FAILURE() << code << ": wrote " << hex(mine) << ", iconv gives " << w[2] << " / " << w[3];
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(singles, 3);
    EXPECT_EQ(as_cp932, 17);
    EXPECT_EQ(table_choice, 1);
    EXPECT_EQ(pairs, 25);
    EXPECT_EQ(neither, 97);
}

// Every code point U+0000-U+FFFF but LF, surrogate values included.
TEST_F(FileCvtOracle, Utf8ToShiftJisOverEveryCodePoint) {
    EXPECT_EQ(counts_["utf8_lines"], 65535);
    EXPECT_EQ(counts_["utf8_marker"], 54433);
    auto rows = want("utf8_want.txt");
    ASSERT_EQ((int)rows.size(), counts_["utf8_lines"]);

    int r = 0;
    std::string in = path("utf8_in.bin"), out = path("utf8_out.bin");
    std::string printed = streamtest::captured([&] { r = utf8file2sjis(out.c_str(), in.c_str()); });
    EXPECT_EQ(r, 7);
    EXPECT_EQ(printed.substr(printed.size() - 6), "done.\n");
    auto got = lines_of(slurp("utf8_out.bin"));
    ASSERT_EQ(got.size(), rows.size());

    // A code written agrees with iconv's SHIFT_JISX0213 encoder or, for
    // the compatibility list, with its CP932 encoder; except the nine NEC
    // row-13 symbols of the list (U+2252, U+2261, U+222B, U+221A, U+22A5,
    // U+2220, U+2235, U+2229, U+222A), which go to row 13 (0x8790-0x879C)
    // while both iconv encoders give their row-1 codes.  A marker is written
    // exactly where SHIFT_JISX0213 has no code; 1965 of those characters
    // are CP932's own extensions.
    const std::set<std::string> nec13 = {"2252", "2261", "222B", "221A", "22A5", "2220", "2235", "2229", "222A"};
    int bad = 0, as_0213 = 0, as_cp932 = 0, row13 = 0, markers = 0, cp932_only = 0;
    for (size_t i = 0; i < rows.size(); i++) {
        const auto& w = rows[i];
        Bytes mine = got[i], iconv932 = unhex(w[2]), iconv0213 = unhex(w[3]);
        if (mine != unhex(w[1])) {
            if (++bad <= 10) ADD_FAILURE() << "U+" << w[0] << ": wrote " << hex(mine) << ", Python gives " << w[1];
            continue;
        }
        if (is_marker(mine)) {
            EXPECT_TRUE(iconv0213.empty()) << "U+" << w[0] << " has a code by iconv: " << w[3];
            markers++;
            if (!iconv932.empty()) cp932_only++;
        } else if (mine == iconv0213) {
            as_0213++;
        } else if (mine == iconv932) {
            as_cp932++;
        } else if (nec13.count(w[0])) {
            row13++;
        } else {
            ADD_FAILURE() << "U+" << w[0] << ": wrote " << hex(mine) << ", iconv gives " << w[2] << " / " << w[3];
        }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(as_0213, 11085);
    EXPECT_EQ(as_cp932, 8);  // U+2015, U+2211, U+2225, U+FF0D, U+FF5E, U+FFE0, U+FFE1, U+FFE2
    EXPECT_EQ(row13, 9);
    EXPECT_EQ(markers, 54433);
    EXPECT_EQ(cp932_only, 1965);
}

}  // namespace
