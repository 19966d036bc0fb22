// filecvt_test.cpp - the whole-file checks, the file converters and the
// escape reader over small files: what is written (as bytes), the result,
// and the trace (as bytes: it holds NULs); the status bits one file per bit;
// the refusals that keep files safe (an output that is the input under any
// name, an output that cannot be created) and a full disk, which must never
// end in "done." or a clean status.  filecvt_oracle_test.cpp holds the runs
// over every code against Python's codecs and iconv.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "stream/stream_fixture.h"
#include "text/text.h"

using namespace std::string_literals;
using streamtest::captured;
using testutil::h2b;

namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
const char kFullDisk[] = "Z:\\dev\\full";  // wine's drive Z: is the root of the build machine
#else
const char kFullDisk[] = "/dev/full";
#endif

const std::string kSummary7 = "\nsjisstat = 7. \n  ctnoutf = 0. \n  ctsecond003F = 0. \n  ctfirst80 = 0. \n";

std::string summary(int st, int noutf, int second, int first80) {
    return "\nsjisstat = " + std::to_string(st) + ". \n  ctnoutf = " + std::to_string(noutf) +
           ". \n  ctsecond003F = " + std::to_string(second) + ". \n  ctfirst80 = " + std::to_string(first80) +
           ". \n";
}

std::vector<uint8_t> bytes_of(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

class FileCvt : public streamtest::StreamTest {};

// ---- The converters over small files ----------------------------------------------------

enum Conv { kToSjis, kToUtf8 };

struct CvtCase {
    const char* name;
    Conv conv;
    const char* in;       // hex
    std::string out;      // the output file's bytes
    int result;
    std::string printed;  // the trace, "done.\n" included
};
// The case prints by its name, not as a dump of its bytes.
void PrintTo(const CvtCase& c, std::ostream* os) { *os << c.name; }


const CvtCase kCvtCases[] = {
    // UTF-8 to Shift_JIS.
    {"ascii_katakana_crlf", kToSjis, "41 EF BD B1 0D 0A", "\x41\xB1\r\n", 7,
     "A[EF BD B1 (FF71)] [\0\xB1](00:B1)  \ndone.\n"s},
    {"no_code_gives_marker", kToSjis, "E2 98 BA", "<<<uni00263A>>>", 7, "[E2 98 BA (263A)] [\0\0](00:00) done.\n"s},
    {"four_bytes_marker", kToSjis, "F0 9F 98 80", "<<<uni01F600>>>", 7, "[F0 9F 98 80 (01F600)] done.\n"},
    {"four_bytes_marker_even_with_a_code", kToSjis, "F0 A0 AE 9F", "<<<uni020B9F>>>", 7,
     "[F0 A0 AE 9F (020B9F)] done.\n"},
    {"overlong_four_bytes_write_nothing", kToSjis, "F0 80 81 81 42", "B", 7, "[F0 80 81 81 (000041)] Bdone.\n"},
    {"overlong_two_bytes_are_decoded", kToSjis, "C0 AF", "/", 7, "[C0 AF (002F)] [\0/](00:2F) done.\n"s},
    {"compatibility_wave_dash", kToSjis, "E3 80 9C", "\x81\x60", 7, "[E3 80 9C (301C)] [\x81`](81:60) done.\n"},
    {"two_bytes_through_the_table", kToSjis, "C2 A5", "\x5C", 7, "[C2 A5 (00A5)] [\0\\](00:5C) done.\n"s},
    {"nul_is_a_character", kToSjis, "00 41 0D", "\0A\r"s, 7, "\0A done.\n"s},
    {"stray_continuation", kToSjis, "80 41", "A", 0, "80(x) Adone.\n"},
    {"second_malformed_stops", kToSjis, "80 F8 41", "", 0, "80(x) F8(x) done.\n"},
    {"two_bytes_cut", kToSjis, "C3 41 42", "B", 0, "C3 41(x) Bdone.\n"},
    {"two_bytes_at_the_end", kToSjis, "C3", "", 0, "done.\n"},
    {"three_bytes_third_bad", kToSjis, "E3 81 41", "", 0, "[E3 81 41(x)] [E3 81(x) -- ] done.\n"},
    {"three_bytes_second_bad", kToSjis, "E3 41", "", 0, "[E3 41(x) -- ] done.\n"},
    {"three_bytes_end_after_two", kToSjis, "E3 81", "", 0, "[E3 81(x) -- ] done.\n"},
    {"three_bytes_end_after_one", kToSjis, "E3", "", 0, "done.\n"},
    {"four_bytes_fourth_bad", kToSjis, "F0 9F 98 41", "", 0,
     "[F0 9F 98 41(x)] [F0 9F 98(x) -- ] [F0 9F(x) -- -- ] F0(x) done.\n"},
    {"four_bytes_third_bad", kToSjis, "F0 9F 41", "", 0, "[F0 9F 41(x) -- ] [F0 9F(x) -- -- ] F0(x) done.\n"},
    {"four_bytes_second_bad", kToSjis, "F0 41", "", 0, "[F0 41(x) -- -- ] F0(x) done.\n"},
    {"four_bytes_end_after_one", kToSjis, "F0", "", 0, "F0(x) done.\n"},
    {"empty", kToSjis, "", "", 7, "done.\n"},
    // Shift_JIS to UTF-8.
    {"kanji_and_katakana", kToUtf8, "88 9F B1", "\xE4\xBA\x9C\xEF\xBD\xB1", 7, "B1 " + kSummary7 + "done.\n"},
    {"unmapped_code", kToUtf8, "82 F5", "<<<uni000000:sjis0082F5>>>", 7, kSummary7 + "done.\n"},
    {"no_utf8_form", kToUtf8, "FD", "", 15, summary(15, 1, 0, 0) + "done.\n"},
    {"single_bytes_stay", kToUtf8, "00 5C 7E A0", "\0\x5C\x7E\xC2\xA0"s, 7, "00 5C 7E A0 " + kSummary7 + "done.\n"},
    {"compatibility_mapping", kToUtf8, "81 5C 87 90", "\xE2\x80\x95\xE2\x89\x92", 7, kSummary7 + "done.\n"},
    {"beyond_the_bmp", kToUtf8, "FC F4", "\xF0\xAA\x9A\xB2", 15, summary(15, 0, 0, 0) + "done.\n"},
    {"lead_0x80", kToUtf8, "80 41", "<<<uni000000:sjis008041>>>", 2,
     "[80(x) 41] (1st byte==0x80) " + summary(2, 0, 0, 1) + "done.\n"},
    {"low_trail", kToUtf8, "81 20", "<<<uni000000:sjis008120>>>", 1,
     "[81 20(x)](2nd byte==0x00-3F) " + summary(1, 0, 1, 0) + "done.\n"},
    {"lead_at_the_end", kToUtf8, "41 82", "A", 3, "41 " + summary(3, 0, 0, 0) + "done.\n"},
};

class Converts : public FileCvt, public testing::WithParamInterface<CvtCase> {};

TEST_P(Converts, WritesResultsAndTraces) {
    const CvtCase& c = GetParam();
    std::string in = make("in.txt", h2b(c.in)), out = path("out.txt");
    int r = 0;
    std::string printed = captured([&] {
        r = c.conv == kToSjis ? utf8file2sjis(out.c_str(), in.c_str()) : sjisfile2utf8(out.c_str(), in.c_str());
    });
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(slurp("out.txt"), bytes_of(c.out));
    EXPECT_EQ(printed, c.printed);
}

INSTANTIATE_TEST_SUITE_P(Cases, Converts, testing::ValuesIn(kCvtCases),
                         [](const testing::TestParamInfo<CvtCase>& i) { return std::string(i.param.name); });

TEST_F(FileCvt, SummaryCountersAddUp) {
    std::string in = make("in.txt", h2b("FD FE 81 20 E0 3F 80 80 80 41 FF")), out = path("out.txt");
    int r = 0;
    captured([&] { r = sjisfile2utf8(out.c_str(), in.c_str()); });
    EXPECT_EQ(r, 8);  // 15, 1 at a low trail, 0 at a lead 0x80, then 8 again
    EXPECT_EQ(ctnoutf, 3);
    EXPECT_EQ(ctsecond003F, 2);
    EXPECT_EQ(ctfirst80, 2);
}

// ---- The checks, one small file per status bit ------------------------------------------------

enum Check { kUtf8, kSjis };

struct CheckCase {
    const char* name;
    Check check;
    const char* in;
    int result;
    const char* printed;
};
// The case prints by its name, not as a dump of its bytes.
void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }


const CheckCase kCheckCases[] = {
    {"utf8_empty", kUtf8, "", 7, ""},
    {"utf8_clean_with_nul", kUtf8, "E3 81 82 00 41 F0 9F 98 80", 7, ""},
    {"utf8_cut_by_the_end", kUtf8, "E3 81", 0, ""},
    {"utf8_two_stray_bytes", kUtf8, "80 80", 0, ""},
    {"utf8_overlong_accepted", kUtf8, "C0 AF", 7, ""},
    {"utf8_surrogate_value_accepted", kUtf8, "ED A0 80", 7, ""},
    {"sjis_empty", kSjis, "", 7, ""},
    {"sjis_plain_and_0x82_0x83", kSjis, "41 82 A0 0D 0A 83 40 B1 A0 DF", 7, ""},
    {"sjis_upper_lead_sets_8", kSjis, "41 E0 40", 15, ""},
    {"sjis_upper_byte_sets_8", kSjis, "FF", 15, ""},
    {"sjis_lead_at_the_end_keeps_3", kSjis, "E0 40 82", 3, ""},
    {"sjis_lead_0x80_keeps_2", kSjis, "80 41", 2, "[80(x) 41] (1st byte==0x80) "},
    {"sjis_low_trail_keeps_1", kSjis, "81 20", 1, "[81 20(x)](2nd byte==0x00-3F) "},
    {"sjis_upper_low_trail", kSjis, "E0 20", 1, "[E0 20(x)](2nd byte==0x00-3F) "},
    {"sjis_lone_0x80", kSjis, "80", 3, ""},
};

class Checks : public FileCvt, public testing::WithParamInterface<std::tuple<CheckCase, bool>> {};

int run_check(Check check, bool wide, const std::string& p) {
    std::u16string w = testutil::u16(p);
    if (check == kUtf8) return wide ? chkifutf8W(w.c_str()) : chkifutf8(p.c_str());
    return wide ? chkifsjisW(w.c_str()) : chkifsjisA(p.c_str());
}

TEST_P(Checks, GiveTheStatusOfTheWholeFile) {
    const auto& [c, wide] = GetParam();
    std::string in = make("in.txt", h2b(c.in));
    int r = 0;
    std::string printed = captured([&] { r = run_check(c.check, wide, in); });
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(printed, c.printed);
    EXPECT_EQ(tfpeek(), -1) << "the whole file was read";
}

INSTANTIATE_TEST_SUITE_P(Cases, Checks, testing::Combine(testing::ValuesIn(kCheckCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<CheckCase, bool>>& i) {
                             return std::string(std::get<0>(i.param).name) +
                                    (std::get<1>(i.param) ? "_wide" : "_narrow");
                         });

TEST_F(FileCvt, ChecksReportAFileThatDoesNotOpen) {
    std::string missing = path("none.txt");
    std::u16string w = testutil::u16(missing);
    EXPECT_EQ(captured([&] { EXPECT_EQ(chkifutf8(missing.c_str()), 255); }), "Cannot open " + missing + " .\n");
    EXPECT_EQ(captured([&] { EXPECT_EQ(chkifsjisA(missing.c_str()), 255); }), "Cannot open " + missing + " .\n");
    EXPECT_EQ(captured([&] { EXPECT_EQ(chkifutf8W(w.c_str()), 255); }), "Cannot open (RDs). \n");
    EXPECT_EQ(captured([&] { EXPECT_EQ(chkifsjisW(w.c_str()), 255); }), "Cannot open (RDs). \n");
    // The core uses the name its flag selects and ignores the other.
    std::string good = make("good.txt", h2b("41"));
    std::u16string gw = testutil::u16(good);
    EXPECT_EQ(chkifutf8core(good.c_str(), w.c_str(), 0), 7);
    EXPECT_EQ(chkifutf8core(missing.c_str(), gw.c_str(), 0xFF), 7);
    EXPECT_EQ(chkifsjis(missing.c_str(), gw.c_str(), 0xFF), 7);
}

// ---- Keeping files safe ---------------------------------------------------------------------------

using Converter = int (*)(const char*, const char*);

class Safety : public FileCvt, public testing::WithParamInterface<Converter> {
protected:
    // A text longer than the reader's and the writer's buffers, clean in
    // both encodings.
    static std::vector<uint8_t> long_text() {
        std::string s;
        while (s.size() < 20000) s += "line of plain text " + std::to_string(s.size()) + "\r\n";
        return bytes_of(s);
    }
};

INSTANTIATE_TEST_SUITE_P(Both, Safety, testing::Values(utf8file2sjis, sjisfile2utf8),
                         [](const testing::TestParamInfo<Converter>& i) {
                             return std::string(i.param == utf8file2sjis ? "utf8file2sjis" : "sjisfile2utf8");
                         });

// The reader was closed: the character it still held comes out once, and
// then nothing, although the file has more.
void expect_reader_closed() {
    EXPECT_NE(tfgetc(), -1);
    EXPECT_EQ(tfgetc(), -1) << "the input is still open";
}

TEST_P(Safety, OutputThatIsTheInputIsRefused) {
    const auto text = long_text();
    std::string in = make("in.txt", text);
    std::vector<std::string> names = {in, dir_.str() + "/./in.txt", dir_.str() + "\\in.txt",
                                      dir_.str() + "/sub/../in.txt"};
    fs::create_directory(dir_.path() / "sub");
#if defined(_WIN32)
    names.push_back(dir_.str() + "\\IN.TXT");
#endif
    std::error_code ec;
    fs::create_hard_link(in, dir_.path() / "link.txt", ec);
    if (!ec) names.push_back(path("link.txt"));
    for (const std::string& out : names) {
        SCOPED_TRACE(out);
        int r = 0;
        std::string printed = captured([&] { r = GetParam()(out.c_str(), in.c_str()); });
        EXPECT_EQ(r, 255);
        EXPECT_EQ(printed, "Cannot open (WR) " + out + " .\n");
        EXPECT_EQ(slurp("in.txt"), text) << "the input was changed";
        expect_reader_closed();
    }
}

TEST_P(Safety, OutputThatCannotBeCreatedClosesTheInput) {
    std::string in = make("in.txt", long_text()), out = path("nodir/out.txt");
    int r = 0;
    std::string printed = captured([&] { r = GetParam()(out.c_str(), in.c_str()); });
    EXPECT_EQ(r, 255);
    EXPECT_EQ(printed, "Cannot open WR file : " + out + "\nCannot open (WR) " + out + " .\n");
    expect_reader_closed();
}

TEST_P(Safety, MissingInputCreatesNothing) {
    std::string in = path("none.txt"), out = path("out.txt");
    int r = 0;
    std::string printed = captured([&] { r = GetParam()(out.c_str(), in.c_str()); });
    EXPECT_EQ(r, 255);
    EXPECT_EQ(printed, "Cannot open (RD) " + in + " .\n");
    EXPECT_FALSE(fs::exists(out));
}

// g_os.remove seen by the full-disk tests: the device itself must never be
// removed, whatever the platform would allow.
std::vector<std::string> g_removed;
int record_remove(const char* name) {
    g_removed.push_back(name);
    return 0;
}

// A full disk, once inside the final write-out (a small output) and once
// while the walk writes (an output past the writer's buffer, where the walk
// must stop early): never "done." and never a status, and the output goes.
TEST_P(Safety, FullDiskIsAFailure) {
    g_removed.clear();
    g_os.remove = record_remove;
    for (size_t n : {size_t(40), size_t(20000)}) {
        SCOPED_TRACE(n);
        auto text = long_text();
        text.resize(n);
        std::string in = make("in.txt", text);
        int r = 0;
        std::string printed = captured([&] { r = GetParam()(kFullDisk, in.c_str()); });
        EXPECT_EQ(r, 255);
        EXPECT_EQ(printed.find("done."), std::string::npos);
        const std::string tail = "Cannot write (WR) "s + kFullDisk + " .\n";
        ASSERT_GE(printed.size(), tail.size());
        EXPECT_EQ(printed.substr(printed.size() - tail.size()), tail);
        EXPECT_NE(printed.find("File writing error.(or Disk full)\n"), std::string::npos);
        if (GetParam() == sjisfile2utf8) {
            EXPECT_NE(printed.find("sjisstat = 7. \n"), std::string::npos);
        }
        ASSERT_EQ(g_removed.size(), 1u);
        EXPECT_EQ(g_removed[0], kFullDisk);
        g_removed.clear();
        if (n > 10000) {
            size_t per_byte = GetParam() == sjisfile2utf8 ? 3 : 1;  // "%02X " or the character
            EXPECT_LT(printed.size(), per_byte * n / 2) << "the walk went on after the loss";
            expect_reader_closed();
        }
    }
}

// The partial output is really removed: the output opens as a file that
// exists, while its writes go to the full device.
TEST_P(Safety, PartialOutputIsRemoved) {
    static std::string s_out;
    s_out = path("out.txt");
    g_os.fopen = [](const char* name, const char* mode) -> FILE* {
        if (s_out == name) {
            FILE* f = os_native.fopen(name, mode);
            if (f) fclose(f);
            return os_native.fopen(kFullDisk, mode);
        }
        return os_native.fopen(name, mode);
    };
    std::string in = make("in.txt", long_text());
    int r = 0;
    captured([&] { r = GetParam()(s_out.c_str(), in.c_str()); });
    EXPECT_EQ(r, 255);
    EXPECT_FALSE(fs::exists(s_out));
}

// ---- The escape reader --------------------------------------------------------------------------

TEST(SjisEsc, CountsCodePointsAndPrintsTheString) {
    struct {
        std::string in;
        int want;
    } cases[] = {
        {"A&nB", 3},                   // A, LF, B
        {"A&", 1},                     // a final '&' ends the walk
        {"&&&r&v&x", 3},               // '&', CR, VT; "&x" is dropped
        {"\x5C", 1},                   // U+00A5 through the table
        {"\xA0\xFD\xFE\xFF", 0},       // no mapping
        {"\xB1\x88\x9F", 2},           // U+FF71, U+4E9C
        {"\x82\xF5" "A", 1},           // an unmapped code is dropped
        {"\x80\x41", 0},               // 0x80 is a lead, and its codes have no mapping
        {"AB\x82", 2},                 // a lead right before the end is dropped
        {"\x82&n", 1},                 // a lead takes '&' as its trail: 0x8226 has no mapping; 'n' is a letter
        {"", 0},
    };
    for (const auto& c : cases) {
        int r = 0;
        std::string printed = captured([&] { r = sjisesc2uni(c.in.c_str()); });
        EXPECT_EQ(r, c.want) << c.in;
        EXPECT_EQ(printed, c.in + " (" + std::to_string(c.in.size()) + ") => unilen(" + std::to_string(c.want) +
                               ") \n");
    }
}

// Past 1023 code points the rest is counted, and nothing is stored beyond
// the buffer (the sanitizer build watches).
TEST(SjisEsc, LongStringsAreCountedWhole) {
    std::string s(3000, 'A');
    for (int i = 0; i < 500; i++) s += "\x88\x9F";
    int r = 0;
    captured([&] { r = sjisesc2uni(s.c_str()); });
    EXPECT_EQ(r, 3500);
}

}  // namespace
