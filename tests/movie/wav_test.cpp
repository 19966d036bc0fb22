// wav_test.cpp - the WAV header scanner: offsets, formats, the chunks it
// walks over, its messages and its refusals.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avi1_fixtures.h"
#include "movie/wav.h"

namespace {

using namespace moviefix;

struct scanout {
    int r;
    int64_t datlen = -1, dataoff = -1;
    int32_t ch = -1, bits = -1;
    int32_t rate = -1;
    std::string out;
};

scanout scan(const scene& sc, const std::vector<uint8_t>& bytes, bool wide = false) {
    sc.put("s.wav", bytes);
    scanout s;
    s.out = capture([&] {
        s.r = wide ? wavscanW(sc.pathW("s.wav").c_str(), &s.datlen, &s.dataoff, &s.ch, &s.bits, &s.rate)
                   : wavscan(sc.path("s.wav").c_str(), &s.datlen, &s.dataoff, &s.ch, &s.bits, &s.rate);
    });
    return s;
}

std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> b;
    for (auto& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// ---- Files that scan -------------------------------------------------------------

struct Case {
    const char* name;
    std::vector<uint8_t> file;
    int64_t datlen, dataoff;
    int ch, bits, rate;
    uint32_t samplecount;
    uint16_t extrasize;
    std::string out;  // printed somewhere in the scan's output ("" = not looked at)
};

const std::vector<uint8_t> kPcm = samples(1000);
const std::vector<uint8_t> kOdd = samples(999);

std::vector<Case> cases() {
    return {
        {"canonical_16bit_stereo", pcmwav(2, 44100, 16, kPcm), 1000, 44, 2, 16, 44100, 250, 0,
         "Scanning headder ... (fmt 16 bytes)(data 1000 bytes)(tailing end of WAV) scan finished.\n"
         "done.\n"},
        {"canonical_8bit_mono", pcmwav(1, 8000, 8, kOdd), 999, 44, 1, 8, 8000, 999, 0, ""},
        {"preamble_128", pcmwav(1, 22050, 16, kPcm, true), 1000, 172, 1, 16, 22050, 500, 0, ""},
        {"fmt_18_reads_extra",
         wavfile({chunkbytes("fmt ", fmtdata(1, 2, 48000, 16, 18, 0x1234)), chunkbytes("data", kPcm)}),
         1000, 46, 2, 16, 48000, 250, 0x1234, ""},
        {"fmt_40_extensible_skips_22",
         wavfile({chunkbytes("fmt ", fmtdata(0xFFFE, 2, 48000, 24, 40, 22)), chunkbytes("data", kPcm)}),
         1000, 68, 2, 24, 48000, 166, 22, ""},
        // A 17-byte fmt is read as 16 bytes and nothing is skipped, so the
        // walk goes on one byte early: the bytes EE 'd' 'a' 't' make an
        // unknown chunk whose size runs past the file, and no data is found.
        {"fmt_17_reads_16",
         wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8, 17)), chunkbytes("data", kPcm)}),
         0, 0, 1, 8, 8000, 0, 0, "Unknown main chunk \xee" "dat (EE 64 61 74) "},
        {"fmt_any_fourth_byte",
         wavfile({chunkbytes("fmtX", fmtdata(1, 1, 11025, 8)), chunkbytes("data", kPcm)}),
         1000, 44, 1, 8, 11025, 1000, 0, ""},
        {"fact_4_kept",
         wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 16)), chunkbytes("fact", {7, 0, 0, 0}),
                  chunkbytes("data", kPcm)}),
         1000, 56, 1, 16, 8000, 7, 0, ""},
        {"fact_12_reads_4",
         wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 16)),
                  chunkbytes("fact", {9, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}), chunkbytes("data", kPcm)}),
         1000, 64, 1, 16, 8000, 9, 0, ""},
        {"list_odd_has_pad",
         wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8)), chunkbytes("LIST", {1, 2, 3}, true),
                  chunkbytes("data", kPcm)}),
         1000, 56, 1, 8, 8000, 1000, 0,
         "Scanning headder ... (fmt 16 bytes)(LIST1 3 bytes)(data 1000 bytes)(tailing end of WAV) "
         "scan finished.\ndone.\n"},
        {"junk_odd_no_pad",
         wavfile({chunkbytes("JUNK", {1, 2, 3}), chunkbytes("fmt ", fmtdata(1, 1, 8000, 8)),
                  chunkbytes("data", kPcm)}),
         1000, 55, 1, 8, 8000, 1000, 0, ""},
        {"junq_and_iwep_iwem",
         wavfile({chunkbytes("JUNQ", {1, 2}), chunkbytes("iwep", {1}, true), chunkbytes("iwem", {1, 2}),
                  chunkbytes("fmt ", fmtdata(1, 1, 8000, 8)), chunkbytes("data", kPcm)}),
         1000, 74, 1, 8, 8000, 1000, 0,
         "Scanning headder ... (JUNK 2 bytes)(iwep 1 bytes)(iwem 2 bytes)(fmt 16 bytes)"
         "(data 1000 bytes)(tailing end of WAV) scan finished.\ndone.\n"},
        {"unknown_odd_no_pad",
         wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8)), chunkbytes("abcd", {1, 2, 3}),
                  chunkbytes("data", kPcm)}),
         1000, 55, 1, 8, 8000, 1000, 0,
         "Scanning headder ... (fmt 16 bytes)Unknown main chunk abcd (61 62 63 64)  at WAV (32/1047). \n"
         "3 bytes.\n(data 1000 bytes)(tailing end of WAV) scan finished.\ndone.\n"},
        {"odd_data_then_chunk",
         wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8)), chunkbytes("data", kOdd),
                  chunkbytes("LIST", {1, 2, 3, 4})}),
         999, 44, 1, 8, 8000, 999, 0, ""},
        {"later_data_replaces",
         wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8)), chunkbytes("data", {1, 2}),
                  chunkbytes("data", kPcm)}),
         1000, 54, 1, 8, 8000, 2, 0, ""},
        {"no_fmt_no_data", wavfile({chunkbytes("JUNK", {0, 0})}), 0, 0, 0, 0, 0, 0, 0, ""},
        {"unknown_negative_size_ends_walk",
         cat({wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8))}, false, 2000),
              chunkbytes("zzzz", {}, false, 0x80000000), chunkbytes("data", kPcm)}),
         0, 0, 1, 8, 8000, 0, 0, ""},
        // The data chunk runs past the end of the file: its declared length
        // and offset are reported.  Here the RIFF size ends with the file.
        {"data_past_end_riff_ends",
         cat({wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8))}, false, 4 + 24 + 8 + 5),
              {'d', 'a', 't', 'a', 0x00, 0x10, 0, 0}, {1, 2, 3, 4, 5}}),
         4096, 44, 1, 8, 8000, 4096, 0, ""},
        // ... and here the RIFF size counts the missing bytes too.
        {"data_past_end_riff_counts_them",
         cat({wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8))}, false, 4 + 24 + 8 + 4096 + 100),
              {'d', 'a', 't', 'a', 0x00, 0x10, 0, 0}, {1, 2, 3, 4, 5}}),
         4096, 44, 1, 8, 8000, 4096, 0, "(data 4096 bytes)Unexpected WAV file end ("},
        // The file ends inside the data chunk's size field: no data chunk
        // is recorded (its size would be made of end-of-file values).
        {"data_size_cut_by_the_end",
         cat({wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8))}, false, 4 + 24 + 8 + 100),
              {'d', 'a', 't', 'a', 0x03, 0x10}}),
         0, 0, 1, 8, 8000, 0, 0, "Unexpected WAV file end ("},
        // A data chunk of 2 GB or more keeps its true (unsigned) length.
        {"data_size_over_2g_unsigned",
         cat({wavfile({chunkbytes("fmt ", fmtdata(1, 2, 44100, 16))}, false, 0x90000024u),
              {'d', 'a', 't', 'a', 0x00, 0x00, 0x00, 0x90}, {1, 2, 3, 4}}),
         0x90000000ll, 44, 2, 16, 44100, 0x24000000u, 0, ""},
        // Channels and bits per sample are unsigned 16-bit fields.
        {"fields_ffff_unsigned",
         wavfile({chunkbytes("fmt ", fmtdata(1, 0xFFFF, 8000, 0xFFFF)), chunkbytes("data", kPcm)}),
         1000, 44, 0xFFFF, 0xFFFF, 8000, 0, 0, ""},
        {"4bit_reported_as_read",
         wavfile({chunkbytes("fmt ", fmtdata(0x11, 1, 8000, 4)), chunkbytes("data", kPcm)}),
         1000, 44, 1, 4, 8000, 1000, 0, ""},
    };
}

class WavScan : public testing::TestWithParam<Case> {};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }


TEST_P(WavScan, Facts) {
    const Case& c = GetParam();
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide name" : "8-bit name");
        scene sc;
        scanout s = scan(sc, c.file, wide);
        ASSERT_EQ(s.r, 0) << s.out;
        EXPECT_EQ(s.datlen, c.datlen);
        EXPECT_EQ(s.dataoff, c.dataoff);
        EXPECT_EQ(s.ch, c.ch);
        EXPECT_EQ(s.bits, c.bits);
        EXPECT_EQ(s.rate, c.rate);
        EXPECT_EQ(wavhdr.samplecount, c.samplecount);
        EXPECT_EQ(wavhdr.extrasize, c.extrasize);
        EXPECT_EQ(wavhdr.datalength, c.datlen);
        EXPECT_EQ(wavhdr.dataoffset, c.dataoff);
        if (!c.out.empty()) { EXPECT_NE(s.out.find(c.out), std::string::npos) << s.out; }
        EXPECT_NE(rfeof(), 0) << "RD left open";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WavScan, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// The data offset points at the first sample byte: the bytes there are the
// data chunk's, for every layout above that holds its whole data.
TEST(WavScanOffsets, PointAtTheSamples) {
    for (const Case& c : cases()) {
        if (c.datlen <= 0 || c.datlen > 2000) continue;
        scene sc;
        scanout s = scan(sc, c.file);
        ASSERT_EQ(s.r, 0);
        if ((size_t)(s.dataoff + s.datlen) > c.file.size()) continue;
        std::vector<uint8_t> got(c.file.begin() + s.dataoff, c.file.begin() + s.dataoff + s.datlen);
        EXPECT_TRUE(got == kPcm || got == kOdd || got == std::vector<uint8_t>({1, 2}))
            << c.name;
    }
}

// ---- Refusals ------------------------------------------------------------------------

struct Bad {
    const char* name;
    std::vector<uint8_t> file;
    int want;
    std::string out;
};

std::vector<Bad> bads() {
    auto good = pcmwav(1, 8000, 8, kPcm);
    auto rifx = good;
    rifx[3] = 'X';
    auto riff_late = good;
    riff_late.insert(riff_late.begin(), 129, 'x');  // the signature at 129
    auto wavx = good;
    wavx[11] = 'X';
    return {
        {"no_riff", rifx, 2, "Scanning headder ... "},
        {"riff_not_at_0_or_128", riff_late, 2, "Scanning headder ... "},
        {"empty_file", {}, 2, "Scanning headder ... "},
        {"no_wave", wavx, 3, "Scanning headder ... "},
        {"fmt_under_16",
         wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8, 14)), chunkbytes("data", kPcm)}), 4,
         ""},
    };
}

class WavRefuse : public testing::TestWithParam<Bad> {};
void PrintTo(const Bad& c, std::ostream* os) { *os << c.name; }


TEST_P(WavRefuse, OutsUntouched) {
    const Bad& b = GetParam();
    scene sc;
    scanout s = scan(sc, b.file);
    EXPECT_EQ(s.r, b.want);
    EXPECT_EQ(s.datlen, -1);
    EXPECT_EQ(s.dataoff, -1);
    EXPECT_EQ(s.ch, -1);
    EXPECT_EQ(s.bits, -1);
    EXPECT_EQ(s.rate, -1);
    if (!b.out.empty()) { EXPECT_EQ(s.out, b.out); }
    EXPECT_NE(rfeof(), 0) << "RD left open";
}

INSTANTIATE_TEST_SUITE_P(Cases, WavRefuse, testing::ValuesIn(bads()),
                         [](const testing::TestParamInfo<Bad>& i) { return std::string(i.param.name); });

TEST(WavRefuseFmt, NamesTheFile) {
    scene sc;
    scanout s = scan(sc, wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 8, 12))}));
    EXPECT_EQ(s.r, 4);
    EXPECT_NE(s.out.find("(fmt 12 bytes)Unsupported WAV format (" + sc.path("s.wav") + ").\n"),
              std::string::npos)
        << s.out;
}

TEST(WavRefuseMissing, CannotOpen) {
    scene sc;
    scanout s;
    s.out = capture([&] {
        s.r = wavscan(sc.path("nothere.wav").c_str(), &s.datlen, &s.dataoff, &s.ch, &s.bits, &s.rate);
    });
    EXPECT_EQ(s.r, -1);
    EXPECT_EQ(s.datlen, -1);
    s.r = wavscanW(sc.pathW("nothere.wav").c_str(), &s.datlen, &s.dataoff, &s.ch, &s.bits, &s.rate);
    EXPECT_EQ(s.r, -1);
}

// Every scan empties the facts first: a file without fmt after one with it
// reports 0 channels, not the last file's.
TEST(WavScanState, FactsEmptiedEachScan) {
    scene sc;
    ASSERT_EQ(scan(sc, pcmwav(2, 44100, 16, kPcm)).r, 0);
    scanout s = scan(sc, wavfile({chunkbytes("data", kPcm)}));
    ASSERT_EQ(s.r, 0);
    EXPECT_EQ(s.ch, 0);
    EXPECT_EQ(s.rate, 0);
    EXPECT_EQ(wavhdr.samplecount, 0u);
    EXPECT_EQ(s.datlen, 1000);
}

}  // namespace
