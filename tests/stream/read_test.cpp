// read_test.cpp - the read streams RD and RD2 in both modes: buffering across
// the 8192-byte boundary, the end of data, multi-byte readers, seeks and
// skips, messages, and failing or refused system calls.

#include <cstring>
#include <filesystem>
#include <functional>

#include "failcall.h"
#include "stream_fixture.h"

using namespace streamtest;
using testutil::h2b;

namespace {

// A stream and a mode: wide opens the file by 16-bit name (handle mode), else
// by 8-bit name (FILE mode); quiet picks the quiet open.
struct Way {
    const RdOps* ops;
    bool wide;
    bool quiet;
};
const Way kWays[] = {
    {&kRDops, true, false},  {&kRDops, false, false}, {&kRDops, true, true},
    {&kRDops, false, true},  {&kRD2ops, true, false}, {&kRD2ops, false, false},
    {&kRD2ops, true, true},  {&kRD2ops, false, true},
};
void PrintTo(const Way& w, std::ostream* os) {
    *os << w.ops->name << (w.wide ? " by 16-bit name" : " by 8-bit name") << (w.quiet ? ", quiet" : "");
}

std::string way_name(const testing::TestParamInfo<Way>& i) {
    return std::string(i.param.ops->name) + (i.param.wide ? "_wide" : "_narrow") + (i.param.quiet ? "_quiet" : "");
}

class ReadWay : public StreamTest, public testing::WithParamInterface<Way> {
protected:
    const RdOps& op() const { return *GetParam().ops; }
    int open(const std::string& p) {
        const Way& w = GetParam();
        if (w.wide) {
            std::u16string n = testutil::u16(p);
            return w.quiet ? w.ops->openqW(n.c_str()) : w.ops->openW(n.c_str());
        }
        return w.quiet ? w.ops->openq(p.c_str()) : w.ops->open(p.c_str());
    }
};

INSTANTIATE_TEST_SUITE_P(Streams, ReadWay, testing::ValuesIn(kWays), way_name);

// The behaviours of handle mode alone (FILE mode leaves reads and moves to
// the runtime).
class HandleRead : public ReadWay {};
const Way kWideWays[] = {{&kRDops, true, false}, {&kRDops, true, true}, {&kRD2ops, true, false}, {&kRD2ops, true, true}};
INSTANTIATE_TEST_SUITE_P(Streams, HandleRead, testing::ValuesIn(kWideWays), way_name);

TEST_P(ReadWay, FreshStreamIsClosed) {
    uint8_t b[4];
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().getc(), -1);
    EXPECT_EQ(op().read(b, 4), 0);
    EXPECT_EQ(op().getpos(), 0);
}

// The whole file, read in slices of each size, matches byte for byte, with
// the position following every slice; the slice that meets the end comes
// back short and closes the stream.  The sizes cross the 8192-byte refill
// boundary in every phase.
TEST_P(ReadWay, BlockReadsInSlicesCrossTheBuffer) {
    const std::vector<uint8_t> data = pattern(3 * 8192 + 100);
    std::string p = make("f.bin", data);
    for (int step : {1, 3, 100, 4095, 8191, 8192, 8193, 10000, 30000}) {
        SCOPED_TRACE(step);
        ASSERT_EQ(open(p), 0);
        std::vector<uint8_t> got;
        std::vector<uint8_t> buf(step);
        for (;;) {
            int n = op().read(buf.data(), step);
            ASSERT_GE(n, 0);
            got.insert(got.end(), buf.begin(), buf.begin() + n);
            EXPECT_EQ(op().getpos(), (int)got.size());
            if (n < step) break;
            ASSERT_EQ(op().eof(), 0);
        }
        EXPECT_EQ(got, data);
        EXPECT_EQ(op().eof(), -1);
        EXPECT_EQ(op().read(buf.data(), step), 0);
    }
}

// Byte reads and block reads mixed: each byte read leaves the buffer at a
// different offset when the block read comes.
TEST_P(ReadWay, ByteAndBlockReadsInterleaved) {
    const std::vector<uint8_t> data = pattern(40000);
    std::string p = make("f.bin", data);
    ASSERT_EQ(open(p), 0);
    size_t at = 0;
    const int blocks[] = {5, 8000, 1, 9000, 300, 8192, 2};
    for (int i = 0; at < data.size(); i++) {
        for (int k = 0; k < 37 && at < data.size(); k++, at++) ASSERT_EQ(op().getc(), data[at]) << at;
        int want = blocks[i % 7];
        std::vector<uint8_t> buf(want);
        int n = op().read(buf.data(), want);
        int expect = (int)std::min<size_t>(want, data.size() - at);
        ASSERT_EQ(n, expect);
        ASSERT_TRUE(std::equal(buf.begin(), buf.begin() + n, data.begin() + (ptrdiff_t)at));
        at += n;
        ASSERT_EQ(op().getpos(), (int)at);
    }
    EXPECT_EQ(op().getc(), -1);
    EXPECT_EQ(op().eof(), -1);
}

TEST_P(ReadWay, EmptyFileEndsAtOnce) {
    std::string p = make("empty", std::vector<uint8_t>{});
    ASSERT_EQ(open(p), 0);
    EXPECT_EQ(op().eof(), 0);
    EXPECT_EQ(op().getc(), -1);
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().getc(), -1);
}

// After the last byte the stream is closed: a seek back fails and leaves it
// closed (it has no file any more).
TEST_P(ReadWay, EndClosesTheStream) {
    std::string p = make("f", h2b("41 42"));
    ASSERT_EQ(open(p), 0);
    EXPECT_EQ(op().getc(), 0x41);
    EXPECT_EQ(op().getc(), 0x42);
    EXPECT_EQ(op().eof(), 0);
    EXPECT_EQ(op().getc(), -1);
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().getpos(), 2);
    std::string out = captured([&] { EXPECT_EQ(op().seek32(0), -2); });
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().getc(), -1);
    // The file itself is free again.
    EXPECT_EQ(open(p), 0);
    EXPECT_EQ(op().getc(), 0x41);
}

// A read that fails (the system's read, fgetc or fread with the runtime's
// error indicator set) closes the stream as the end does, and the error
// query tells the two apart: 0 at the end, -1 after a failure, kept after
// the close until the next open.  Byte reads, block reads and the copies'
// reads alike.
TEST_P(ReadWay, AFailedReadIsNotTheEnd) {
    const std::vector<uint8_t> data = pattern(20000);
    const std::string p = make("f", data);
    EXPECT_EQ(op().error(), 0);  // a fresh program
    ASSERT_EQ(open(p), 0);
    std::vector<uint8_t> b(30000);
    EXPECT_EQ(op().read(b.data(), 30000), 20000);
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().error(), 0);  // the end, not a failure
    for (int how = 0; how < 3; how++) {
        SCOPED_TRACE(how == 0 ? "byte read" : how == 1 ? "block read" : "copy");
        ASSERT_EQ(open(p), 0);
        for (int i = 0; i < 10; i++) ASSERT_EQ(op().getc(), data[i]);
        {
            failcall::Use f(1);  // the next read call fails
            if (how == 0) {
                // The first bytes of handle mode came with its first
                // refill: read on until a call is made.
                int c = 0;
                for (int i = 10; i < 20000 && (c = op().getc()) >= 0; i++) ASSERT_EQ(c, data[i]);
                EXPECT_EQ(c, -1);
            } else if (how == 1) {
                EXPECT_LT(op().read(b.data(), 15000), 15000);
            } else {
                // WR in handle mode takes what RD has buffered without a
                // write, so the read comes first.
                ASSERT_EQ(wfcreateW(testutil::u16(path("out")).c_str()), 0);
                GetParam().ops == &kRDops ? rfcopyalltowf() : rwfcopyalltowf();
                wfclose();
            }
            EXPECT_EQ(f.fired(), failcall::READ);
        }
        EXPECT_EQ(op().eof(), -1);
        EXPECT_EQ(op().error(), -1);
        op().close();
        EXPECT_EQ(op().error(), -1);  // kept after the close
        ASSERT_EQ(open(p), 0);
        EXPECT_EQ(op().error(), 0);  // cleared by the open
        EXPECT_EQ(op().getc(), data[0]);
    }
    op().close();
}

// The text reader tells a failed read from the end the same way.
TEST_F(StreamTest, TextReaderTellsAFailedReadFromTheEnd) {
    const std::string p = make("t.txt", std::vector<uint8_t>(20000, 'a'));
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "by 16-bit name" : "by 8-bit name");
        ASSERT_EQ(wide ? tfopenW(testutil::u16(p).c_str()) : tfopen(p.c_str()), 0);
        int n = 0;
        while (tfgetc() >= 0) n++;
        EXPECT_EQ(n, 20000);
        EXPECT_EQ(tferror(), 0);
        ASSERT_EQ(wide ? tfopenW(testutil::u16(p).c_str()) : tfopen(p.c_str()), 0);
        n = 0;
        {
            failcall::Use f(1);
            while (tfgetc() >= 0) n++;
            EXPECT_EQ(f.fired(), failcall::READ);
        }
        EXPECT_LT(n, 20000);
        EXPECT_EQ(tferror(), -1);
        tfclose();
        ASSERT_EQ(wide ? tfopenW(testutil::u16(p).c_str()) : tfopen(p.c_str()), 0);
        EXPECT_EQ(tferror(), 0);
        tfclose();
    }
}

TEST_P(ReadWay, BytesAreNeverNegative) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; i++) all[i] = (uint8_t)(255 - i);
    ASSERT_EQ(open(make("f", all)), 0);
    for (int i = 0; i < 256; i++) ASSERT_EQ(op().getc(), 255 - i);
    EXPECT_EQ(op().getc(), -1);
}

// The multi-byte readers on short files: a byte past the end counts as 0xFF
// and the end flag tells.
struct WordCase {
    const char* name;
    const char* hex;
    int which;  // 0 getw, 1 getwbe, 2 getdw, 3 getdwbe
    int want;
    int eof_after;
};
const WordCase kWordCases[] = {
    {"w_ffff", "ff ff", 0, -1, 0},
    {"w_1234", "34 12", 0, 0x1234, 0},
    {"w_8000", "00 80", 0, -32768, 0},
    {"wbe_1234", "12 34", 1, 0x1234, 0},
    {"wbe_neg", "80 01", 1, -32767, 0},
    {"dw_le", "78 56 34 12", 2, 0x12345678, 0},
    {"dw_neg", "fe ff ff ff", 2, -2, 0},
    {"dwbe", "12 34 56 78", 3, 0x12345678, 0},
    {"dw_two_short", "34 12", 2, (int)0xFFFF1234u, -1},
    {"dwbe_two_short", "12 34", 3, (int)0x1234FFFFu, -1},
    {"w_one_short", "7f", 0, (int16_t)0xFF7F, -1},
    {"dw_empty", "", 2, -1, -1},
};

void PrintTo(const WordCase& c, std::ostream* os) { *os << c.name; }

class WordRead : public StreamTest, public testing::WithParamInterface<std::tuple<Way, WordCase>> {};

TEST_P(WordRead, Value) {
    const auto& [w, c] = GetParam();
    std::string p = make("f", h2b(c.hex));
    std::u16string wp = testutil::u16(p);
    ASSERT_EQ(w.wide ? w.ops->openW(wp.c_str()) : w.ops->open(p.c_str()), 0);
    int (*const fns[])() = {w.ops->getw, w.ops->getwbe, w.ops->getdw, w.ops->getdwbe};
    EXPECT_EQ(fns[c.which](), c.want);
    EXPECT_EQ(w.ops->eof(), c.eof_after);
}

const Way kTwoModes[] = {{&kRDops, true, false}, {&kRDops, false, false},
                         {&kRD2ops, true, false}, {&kRD2ops, false, false}};

INSTANTIATE_TEST_SUITE_P(Cases, WordRead, testing::Combine(testing::ValuesIn(kTwoModes), testing::ValuesIn(kWordCases)),
                         [](const testing::TestParamInfo<std::tuple<Way, WordCase>>& i) {
                             const Way& w = std::get<0>(i.param);
                             return std::string(w.ops->name) + (w.wide ? "_wide_" : "_narrow_") + std::get<1>(i.param).name;
                         });

// RD's own readers: quad words and floats.
TEST_F(StreamTest, QuadAndFloatReaders) {
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide);
        std::string p = make("f", h2b("efcdab8967452301 0000803f 3f800000 c0490fdb 0102"));
        std::u16string wp = testutil::u16(p);
        ASSERT_EQ(wide ? rfopenW(wp.c_str()) : rfopen(p.c_str()), 0);
        EXPECT_EQ(rfgetqw(), (int64_t)0x0123456789ABCDEFll);
        EXPECT_EQ(rfgetfl(), 1.0f);
        EXPECT_EQ(rfgetflbe(), 1.0f);
        EXPECT_EQ(rfgetflbe(), -3.14159274f);
        EXPECT_EQ(rfeof(), 0);
        EXPECT_EQ(rfgetqw(), (int64_t)0xFFFFFFFFFFFF0201ull);
        EXPECT_EQ(rfeof(), -1);
    }
}

// Skips: n bytes consumed, the last returned; n = 0 reads nothing; n < 0 is
// refused; beyond the end gives -1.  Each case runs at several starting
// offsets so that the skip starts inside, at the edge of and past the buffer.
struct SkipCase {
    const char* name;
    int n;
    bool wide64;  // through the 64-bit skip
};
const SkipCase kSkipCases[] = {
    {"one", 1, false},  {"zero", 0, false},       {"negative", -5, false}, {"two", 2, false},
    {"in_buffer", 500, false}, {"past_buffer", 9000, false}, {"far", 20000, false},
    {"past_end", 60000, false}, {"one64", 1, true}, {"zero64", 0, true},   {"neg64", -5, true},
    {"in_buffer64", 500, true}, {"far64", 20000, true}, {"past_end64", 60000, true},
};

void PrintTo(const SkipCase& c, std::ostream* os) { *os << c.name; }

class Skip : public StreamTest, public testing::WithParamInterface<std::tuple<Way, SkipCase>> {};

TEST_P(Skip, ConsumesExactlyN) {
    const auto& [w, c] = GetParam();
    const std::vector<uint8_t> data = pattern(30000);
    std::string p = make("f", data);
    std::u16string wp = testutil::u16(p);
    for (int start : {0, 1, 8191, 8192, 8300}) {
        SCOPED_TRACE(start);
        ASSERT_EQ(w.wide ? w.ops->openW(wp.c_str()) : w.ops->open(p.c_str()), 0);
        for (int i = 0; i < start; i++) ASSERT_EQ(w.ops->getc(), data[i]);
        int r;
        std::string out = captured([&] {
            if (c.wide64) {
                int32_t hi = c.n < 0 ? -1 : 0;
                r = w.ops->skip64((uint32_t)c.n, &hi);
            } else {
                r = w.ops->skip(c.n);
            }
        });
        EXPECT_EQ(out, "");
        int64_t end = (int64_t)start + c.n;
        if (c.n < 0) {
            EXPECT_EQ(r, -2);
            EXPECT_EQ(w.ops->getpos(), start);
            EXPECT_EQ(w.ops->getc(), data[start]);
        } else if (c.n == 0) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(w.ops->getpos(), start);
            EXPECT_EQ(w.ops->getc(), data[start]);
        } else if (end <= (int64_t)data.size()) {
            EXPECT_EQ(r, data[end - 1]);
            EXPECT_EQ(w.ops->getpos(), end);
            if (end < (int64_t)data.size()) {
                EXPECT_EQ(w.ops->getc(), data[end]);
            }
        } else {
            EXPECT_EQ(r, -1);
            EXPECT_EQ(w.ops->eof(), -1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Skip, testing::Combine(testing::ValuesIn(kTwoModes), testing::ValuesIn(kSkipCases)),
                         [](const testing::TestParamInfo<std::tuple<Way, SkipCase>>& i) {
                             const Way& w = std::get<0>(i.param);
                             return std::string(w.ops->name) + (w.wide ? "_wide_" : "_narrow_") + std::get<1>(i.param).name;
                         });

// Absolute seeks to each target after reads that left the buffer in various
// states: the next byte is always the target's, never a stale buffered one.
TEST_P(ReadWay, AbsoluteSeeksServeTheTargetByte) {
    const std::vector<uint8_t> data = pattern(50000);
    ASSERT_EQ(open(make("f", data)), 0);
    const int targets[] = {0, 10, 8191, 8192, 8193, 20000, 3, 49998, 0, 16384, 16383};
    for (int t : targets) {
        SCOPED_TRACE(t);
        for (int k = 0; k < 5 && op().getpos() < 49999; k++) op().getc();
        ASSERT_EQ(op().seek32(t), 0);
        EXPECT_EQ(op().getpos(), t);
        EXPECT_EQ(op().getc(), data[t]);
        int32_t hi = 0;
        ASSERT_EQ(op().seek((uint32_t)t, &hi), 0);
        EXPECT_EQ(op().getc(), data[t]);
        ASSERT_EQ(op().seek((uint32_t)t, nullptr), 0);
        uint8_t b[2] = {};
        ASSERT_EQ(op().read(b, 2), 2);
        EXPECT_EQ(b[0], data[t]);
        EXPECT_EQ(b[1], data[t + 1]);
    }
    // Past the end is allowed (reading there meets the end).
    EXPECT_EQ(op().seek32(60000), 0);
    EXPECT_EQ(op().getpos(), 60000);
    EXPECT_EQ(op().getc(), -1);
}

// A refused seek (a negative target) answers -2, moves nothing and keeps
// what was buffered: reading goes on where it was.
TEST_P(ReadWay, RefusedSeekMovesNothing) {
    const std::vector<uint8_t> data = pattern(20000);
    ASSERT_EQ(open(make("f", data)), 0);
    for (int i = 0; i < 100; i++) op().getc();
    bool rd = GetParam().ops == &kRDops;
    std::string out = captured([&] { EXPECT_EQ(op().seek32(-1), -2); });
    EXPECT_EQ(out, rd ? "Failed in seek in rfseek. \n" : "");
    EXPECT_EQ(op().getpos(), 100);
    EXPECT_EQ(op().getc(), data[100]);
    int32_t hi = -1;
    out = captured([&] { EXPECT_EQ(op().seek(0, &hi), -2); });
    EXPECT_EQ(out, rd ? "Failed in seek in rfseek. \n" : "Failed in seek in rwfseek. \n");
    EXPECT_EQ(op().getpos(), 101);
    EXPECT_EQ(op().eof(), 0);
    EXPECT_EQ(op().getc(), data[101]);
    EXPECT_EQ(op().error(), 0) << "a target before the start is the caller's, not a failing file";
}

// A closed stream is never touched: seeks fail with -2, in handle mode with
// the seek text (the system refuses a missing handle), in FILE mode quietly.
TEST_P(ReadWay, SeekOnClosedStream) {
    ASSERT_EQ(open(make("f", pattern(100))), 0);
    op().close();
    EXPECT_EQ(op().eof(), -1);
    bool rd = GetParam().ops == &kRDops;
    bool wide = GetParam().wide;
    std::string out = captured([&] {
        EXPECT_EQ(op().seek32(0), -2);
        EXPECT_EQ(op().skip(10), -2);
        int32_t hi = 0;
        EXPECT_EQ(op().seek(5, &hi), -2);
    });
    std::string want;
    if (wide && rd) want = "Failed in seek in rfseek. \nFailed in seek in rfkipbytes. \nFailed in seek in rfseek. \n";
    if (wide && !rd) want = "Failed in seek in rwfseek. \n";
    EXPECT_EQ(out, want);
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().skip(1), -1);
    EXPECT_EQ(op().skip(0), 0);
}

TEST_P(ReadWay, ReadOfNothingOrLessDeliversNothing) {
    ASSERT_EQ(open(make("f", pattern(100))), 0);
    uint8_t b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(op().read(b, 0), 0);
    EXPECT_EQ(op().read(b, -1), 0);
    EXPECT_EQ(op().read(b, INT32_MIN), 0);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(op().eof(), 0);
    EXPECT_EQ(op().getpos(), 0);
}

// A block read that reaches the end delivers what was there and closes.
TEST_P(ReadWay, BlockReadToTheEnd) {
    const std::vector<uint8_t> data = pattern(5000);
    ASSERT_EQ(open(make("f", data)), 0);
    for (int i = 0; i < 10; i++) op().getc();
    std::vector<uint8_t> b(10000);
    EXPECT_EQ(op().read(b.data(), 10000), 4990);
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 4990, data.begin() + 10));
    EXPECT_EQ(op().getpos(), 5000);
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().read(b.data(), 10), 0);
}

TEST_P(ReadWay, ReopenStartsOver) {
    const std::vector<uint8_t> a = pattern(10000);
    const std::vector<uint8_t> b = h2b("aa bb cc");
    std::string pa = make("a", a), pb = make("b", b);
    ASSERT_EQ(open(pa), 0);
    for (int i = 0; i < 50; i++) op().getc();
    ASSERT_EQ(open(pb), 0);
    EXPECT_EQ(op().getpos(), 0);
    EXPECT_EQ(op().getc(), 0xaa);
    ASSERT_EQ(open(pa), 0);
    EXPECT_EQ(op().getc(), a[0]);
    // The previous file was closed each time: only one is held.
    op().close();
    EXPECT_EQ(g_faults.closes, GetParam().wide ? 3 : 0);
}

// Opening failures: the text, the result, and a closed stream after.
TEST_F(StreamTest, OpenFailureMessages) {
    struct Case {
        const char* name;
        std::function<int()> call;
        std::string want;
    };
    std::string dirless = path("nodir/x.bin"), missing = path("missing.bin");
    std::u16string wdirless = wpath("nodir/x.bin"), wmissing = wpath("missing.bin"), wdir = wpath("");
    std::u16string wback = testutil::u16(dir_.str() + "\\nodir\\x.bin");
    const Case cases[] = {
        {"rd_wide_nodir", [&] { return rfopenW(wdirless.c_str()); }, "Could not open (RD)(PATH_NOT_FOUND). \n"},
        {"rd_wide_backslash", [&] { return rfopenW(wback.c_str()); }, "Could not open (RD)(PATH_NOT_FOUND). \n"},
        {"rd_wide_missing", [&] { return rfopenW(wmissing.c_str()); }, "Could not open (RD)(code=2).\n"},
        {"rd_wide_directory", [&] { return rfopenW(wdir.c_str()); }, "Could not open (RD)(code=5).\n"},
        {"rd_narrow", [&] { return rfopen(missing.c_str()); }, "Cannot open RD file : " + missing + "\n"},
        {"rd_narrow_directory", [&] { return rfopen(dir_.str().c_str()); }, "Cannot open RD file : " + dir_.str() + "\n"},
        {"rd2_wide_nodir", [&] { return rwfopenW(wdirless.c_str()); }, "Could not open (RD2)(code=3).\n"},
        {"rd2_wide_missing", [&] { return rwfopenW(wmissing.c_str()); }, "Could not open (RD2)(code=2).\n"},
        {"rd2_narrow", [&] { return rwfopen(missing.c_str()); }, "Cannot open RD(2) file : " + missing + "\n"},
        {"rd_quiet_wide", [&] { return rfopenqW(wmissing.c_str()); }, ""},
        {"rd_quiet", [&] { return rfopenq(missing.c_str()); }, ""},
        {"rd2_quiet_wide", [&] { return rwfopenqW(wmissing.c_str()); }, ""},
        {"rd2_quiet", [&] { return rwfopenq(missing.c_str()); }, ""},
    };
    std::string good = make("good", h2b("01"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each stream holds an open file first: the failed open closes it.
        ASSERT_EQ(rfopen(good.c_str()), 0);
        ASSERT_EQ(rwfopen(good.c_str()), 0);
        int r = 0;
        std::string out = captured([&] { r = c.call(); });
        EXPECT_EQ(r, -1);
        EXPECT_EQ(out, c.want);
        bool rd2 = std::string(c.name).rfind("rd2", 0) == 0;
        EXPECT_EQ(rd2 ? rwfeof() : rfeof(), -1);
        EXPECT_EQ(rd2 ? rwfgetc() : rfgetc(), -1);
    }
}

// The handle-mode invariant: the system's file pointer is ahead of the
// position by the unread buffered bytes, and giving them back puts it on the
// position.
TEST_F(StreamTest, BufRewindPutsTheSystemPointerOnThePosition) {
    std::u16string p = testutil::u16(make("f", pattern(20000)));
    ASSERT_EQ(rfopenW(p.c_str()), 0);
    os_file h = (os_file)rfgetfp();
    ASSERT_NE(h, nullptr);
    for (int i = 0; i < 100; i++) rfgetc();
    int64_t at = -1;
    ASSERT_EQ(os_native.seek(h, 0, OS_SEEK_CURRENT, &at), 1);
    EXPECT_EQ(at, 8192);
    EXPECT_EQ(rfbufrewind(), 0);
    ASSERT_EQ(os_native.seek(h, 0, OS_SEEK_CURRENT, &at), 1);
    EXPECT_EQ(at, 100);
    EXPECT_EQ(rfgetpos(), 100);
    EXPECT_EQ(rfbufrewind(), 0);  // nothing left to give back
    // A refused rewind prints RD's text (RD2 stays quiet) and changes nothing.
    for (int i = 0; i < 10; i++) rfgetc();
    g_faults.fail_seek = g_faults.seeks + 1;
    std::string out = captured([] { EXPECT_EQ(rfbufrewind(), -2); });
    EXPECT_EQ(out, "Failed in seek in rfbufrewind. \n");
    EXPECT_EQ(rfgetpos(), 110);
    std::u16string p2 = testutil::u16(make("g", pattern(20000)));
    ASSERT_EQ(rwfopenW(p2.c_str()), 0);
    rwfgetc();
    g_faults.fail_seek = g_faults.seeks + 1;
    out = captured([] { EXPECT_EQ(rwfbufrewind(), -2); });
    EXPECT_EQ(out, "");
}

// The system refuses every relative move (as it would a rewind), but takes
// absolute ones: an absolute seek still lands on its target's byte and never
// serves what was buffered, and a relative move is refused without moving.
int refuse_relative(os_file h, int64_t dist, int origin, int64_t* np) {
    if (origin == OS_SEEK_CURRENT) return 0;
    return os_native.seek(h, dist, origin, np);
}

TEST_F(StreamTest, AbsoluteSeekNeedsNoRewind) {
    const std::vector<uint8_t> data = pattern(20000);
    std::u16string p = testutil::u16(make("f", data));
    ASSERT_EQ(rfopenW(p.c_str()), 0);
    for (int i = 0; i < 100; i++) rfgetc();
    g_os.seek = refuse_relative;
    EXPECT_EQ(captured([] { EXPECT_EQ(rfbufrewind(), -2); }), "Failed in seek in rfbufrewind. \n");
    EXPECT_EQ(rfgetc(), data[100]);
    ASSERT_EQ(rfseek32(5000), 0);
    EXPECT_EQ(rfgetc(), data[5000]);
    ASSERT_EQ(rfseek32(101), 0);  // inside what was buffered before
    EXPECT_EQ(rfgetc(), data[101]);
    // Relative moves are made absolute, so they work too...
    ASSERT_EQ(rfseekorg(10, 1), 0);
    EXPECT_EQ(rfgetc(), data[112]);
    EXPECT_EQ(rfkipbytes(9000), data[9112]);
    // ...and when the system refuses them, nothing moves, but the file is
    // failing: rferror says so until the next open, so that a caller that
    // reads on from the unmoved place cannot take its bytes for the ones
    // it wanted.
    EXPECT_EQ(rferror(), -1) << "the refused rewind";
    ASSERT_EQ(rfopenW(p.c_str()), 0);
    EXPECT_EQ(rferror(), 0);
    ASSERT_EQ(rfseek32(9113), 0);
    g_os.seek = [](os_file, int64_t, int, int64_t*) { return 0; };
    EXPECT_EQ(captured([] { EXPECT_EQ(rfseekorg(10, 1), -2); }), "Failed in seek in rfseek. \n");
    EXPECT_EQ(rferror(), -1);
    EXPECT_EQ(captured([] { EXPECT_EQ(rfkipbytes(20000), -2); }), "Failed in seek in rfkipbytes. \n");
    EXPECT_EQ(rfgetpos(), 9113);
    EXPECT_EQ(rfgetc(), data[9113]);
    EXPECT_EQ(rferror(), -1);
}

// In FILE mode the runtime's file pointer is the position, and the open file
// is the runtime's.
TEST_F(StreamTest, FileModePointerIsThePosition) {
    const std::vector<uint8_t> data = pattern(20000);
    std::string p = make("f", data);
    ASSERT_EQ(rfopen(p.c_str()), 0);
    FILE* f = (FILE*)rfgetfp();
    ASSERT_NE(f, nullptr);
    uint8_t b[9000];
    rfread(b, 9000);
    rfgetc();
    EXPECT_EQ(std::ftell(f), 9001);
    EXPECT_EQ(rfbufrewind(), 0);
    EXPECT_EQ(rfkipbytes(99), data[9099]);
    EXPECT_EQ(std::ftell(f), 9100);
    rfclose();
    EXPECT_EQ(rfgetfp(), nullptr);
}

// The worked example: 100 single bytes, then a block of 10000 in handle mode.
TEST_F(StreamTest, BlockReadAfterSingleBytes) {
    const std::vector<uint8_t> data = pattern(40000);
    std::u16string p = testutil::u16(make("f", data));
    ASSERT_EQ(rfopenW(p.c_str()), 0);
    for (int i = 0; i < 100; i++) ASSERT_EQ(rfgetc(), data[i]);
    std::vector<uint8_t> b(10000);
    ASSERT_EQ(rfread(b.data(), 10000), 10000);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), data.begin() + 100));
    EXPECT_EQ(rfgetpos(), 10100);
    EXPECT_EQ(rfgetc(), data[10100]);
    // A block larger than the buffer goes straight into the caller's memory:
    // one system read of the remainder.
    int reads = g_faults.reads;
    int unread = 8192 * 2 - 10101;
    std::vector<uint8_t> big(unread + 8500);
    ASSERT_EQ(rfread(big.data(), unread + 8500), unread + 8500);
    EXPECT_EQ(g_faults.reads, reads + 1);
    EXPECT_TRUE(std::equal(big.begin(), big.begin() + unread + 8500, data.begin() + 10101));
}

// Failing reads: the stream closes, a byte read answers -1, a block read
// answers what the buffer still held.
TEST_P(HandleRead, FailingReadCloses) {
    const std::vector<uint8_t> data = pattern(30000);
    ASSERT_EQ(open(make("f", data)), 0);
    g_faults.fail_read = 2;  // the first refill works, the second fails
    for (int i = 0; i < 8192; i++) ASSERT_EQ(op().getc(), data[i]);
    EXPECT_EQ(op().getc(), -1);
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().getpos(), 8192);

    g_faults = Faults{};
    ASSERT_EQ(open(path("f")), 0);
    for (int i = 0; i < 100; i++) op().getc();
    g_faults.fail_read = g_faults.reads + 1;
    std::vector<uint8_t> b(20000);
    EXPECT_EQ(op().read(b.data(), 20000), 8092);
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 8092, data.begin() + 100));
    EXPECT_EQ(op().eof(), -1);
    EXPECT_EQ(op().getpos(), 8192);
}

// A refused skip (the system refuses the move) moves nothing and keeps the
// buffer; RD prints its text, RD2 stays quiet.
TEST_P(HandleRead, RefusedSkipMovesNothing) {
    const std::vector<uint8_t> data = pattern(30000);
    ASSERT_EQ(open(make("f", data)), 0);
    for (int i = 0; i < 10; i++) op().getc();
    g_faults.fail_seek = g_faults.seeks + 1;
    std::string out = captured([&] { EXPECT_EQ(op().skip(20000), -2); });
    EXPECT_EQ(out, GetParam().ops == &kRDops ? "Failed in seek in rfkipbytes. \n" : "");
    EXPECT_EQ(op().getpos(), 10);
    EXPECT_EQ(op().getc(), data[10]);
    // A skip inside the buffer needs no system call at all.
    int seeks = g_faults.seeks;
    EXPECT_EQ(op().skip(100), data[110]);
    EXPECT_EQ(g_faults.seeks, seeks);
}

TEST_F(StreamTest, SeekByOrigin) {
    const std::vector<uint8_t> data = pattern(20000);
    std::string p = make("f", data);
    std::u16string wp = testutil::u16(p);
    struct Case {
        int offset, origin, want, pos;
    };
    // Each case starts at position 5000.
    const Case cases[] = {
        {0, 2, 0, 20000},   {-1, 2, 0, 19999},   {-20000, 2, 0, 0}, {-20001, 2, -4, 5000},
        {100, 0, 0, 100},   {-1, 0, -2, 5000},   {100, 1, 0, 5100}, {-5000, 1, 0, 0},
        {-5001, 1, -2, 5000}, {0, 7, -5, 5000},  {0, -1, -5, 5000}, {300, 2, 0, 20300},
    };
    for (bool wide : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (wide ? "wide " : "narrow ") << c.offset << " from " << c.origin);
            ASSERT_EQ(wide ? rfopenW(wp.c_str()) : rfopen(p.c_str()), 0);
            ASSERT_EQ(rfseek32(4990), 0);
            for (int i = 0; i < 10; i++) rfgetc();
            std::string out = captured([&] { EXPECT_EQ(rfseekorg(c.offset, c.origin), c.want); });
            EXPECT_EQ(out, c.want == -2 || c.want == -4 ? "Failed in seek in rfseek. \n" : "");
            EXPECT_EQ(rfgetpos(), c.pos);
            EXPECT_EQ(rfgetc(), c.pos < 20000 ? data[c.pos] : -1);
        }
    }
    // On a closed stream: handle mode prints (the system refuses), FILE mode not.
    rfclose();
    EXPECT_EQ(captured([] { EXPECT_EQ(rfseekorg(0, 2), -4); }), "");
    ASSERT_EQ(rfopenW(wp.c_str()), 0);
    rfclose();
    EXPECT_EQ(captured([] { EXPECT_EQ(rfseekorg(0, 0), -2); }), "Failed in seek in rfseek. \n");
    EXPECT_EQ(captured([] { EXPECT_EQ(rfseekorg(0, 9), -5); }), "");
}

TEST_F(StreamTest, GetPos64) {
    std::string p = make("f", pattern(100));
    ASSERT_EQ(rfopen(p.c_str()), 0);
    ASSERT_EQ(rwfopen(p.c_str()), 0);
    rfkipbytes(40);
    rwfkipbytes(30);
    int64_t a = 0, b = 0;
    EXPECT_EQ(rfgetpos64(&a), 40);
    EXPECT_EQ(rwfgetpos64(&b), 30);
    EXPECT_EQ(a, 40);
    EXPECT_EQ(b, 30);
}

// The exists tests: -1 for an existing file, 0 for a missing one; RD2 is
// closed either way and the file is free again at once.
TEST_F(StreamTest, ExistsTests) {
    std::string p = make("f", h2b("5a"));
    std::u16string wp = testutil::u16(p);
    std::u16string wm = wpath("missing");
    ASSERT_EQ(rwfopen(p.c_str()), 0);
    std::string out = captured([&] {
        EXPECT_EQ(rwfexist(p.c_str()), -1);
        EXPECT_EQ(rwfeof(), -1);
        EXPECT_EQ(rwfexistW(wp.c_str()), -1);
        EXPECT_EQ(rwfexist(path("missing").c_str()), 0);
        EXPECT_EQ(rwfexistW(wm.c_str()), 0);
        EXPECT_EQ(rwfexist(dir_.str().c_str()), 0);  // a directory is no file
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(rwfeof(), -1);
    EXPECT_EQ(g_faults.good_opens, g_faults.closes);  // every test handle closed again
    ASSERT_EQ(rwfopenW(wp.c_str()), 0);
    EXPECT_EQ(rwfgetc(), 0x5a);
}

// The size of RD's file, asked in the middle of a read by either name: the
// whole length, and the next byte is the one that was next before; a closed
// stream has none.
TEST_F(StreamTest, SizeKeepsThePosition) {
    const std::vector<uint8_t> data = pattern(100000);
    std::string p = make("s.bin", data);
    int64_t size = -1;
    EXPECT_EQ(rfgetsize64(&size), 0);
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "16-bit name" : "8-bit name");
        ASSERT_EQ(wide ? rfopenW(testutil::u16(p).c_str()) : rfopen(p.c_str()), 0);
        for (int i = 0; i < 9000; i++) ASSERT_EQ(rfgetc(), data[(size_t)i]);
        size = -1;
        EXPECT_EQ(rfgetsize64(&size), 1);
        EXPECT_EQ(size, 100000);
        EXPECT_EQ(rfgetpos(), 9000);
        EXPECT_EQ(rfgetc(), data[9000]);
        rfclose();
        EXPECT_EQ(rfgetsize64(&size), 0);
    }
}

}  // namespace
