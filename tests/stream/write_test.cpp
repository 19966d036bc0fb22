// write_test.cpp - the write streams WR and WRsrc in both modes: buffering,
// multi-byte and string writes, opens and their messages, the full disk, short
// and failing writes, the file size query and the append reopen.

#include <cstring>
#include <filesystem>
#include <functional>

#include "fulldisk.h"
#include "stream_fixture.h"

using namespace streamtest;
using testutil::h2b;

namespace {

// One write stream's operations, so that each behaviour runs on WR and WRsrc.
struct WrOps {
    const char* name;
    int (*createW)(const char16_t*);
    int (*create)(const char*);
    int (*openaW)(const char16_t*);
    int (*opena)(const char*);
    int (*err)();
    int (*getpos)();
    int (*getpos64)(int64_t*);
    int (*close)();
    int (*flush)();
    int (*putc)(int);
    int (*putw)(int);
    int (*putwbe)(int);
    int (*putdw)(uint32_t);
    int (*putdwbe)(uint32_t);
    int (*puts)(const char*);
    int (*write)(const uint8_t*, int);
    int (*existW)(const char16_t*);
    int (*exist)(const char*);
};

const WrOps kWRops = {"WR", wfcreateW, wfcreate, wfopenaW, wfopena, wferr, wfgetpos, wfgetpos64,
                      wfclose, wfflush, wfputc, wfputw, wfputwbe, wfputdw, wfputdwbe, wfputs,
                      wfwrite, wfexistW, wfexist};
const WrOps kWRsrcops = {"WRsrc", wsfcreateqW, wsfcreate, wsfopenaW, wsfopena, wsferr, wsfgetpos,
                         wsfgetpos64, wsfclose, wsfflush, wsfputc, wsfputw, wsfputwbe, wsfputdw,
                         wsfputdwbe, wsfputs, wsfwrite, wsfexistW, wsfexist};

struct Way {
    const WrOps* ops;
    bool wide;
};
const Way kWays[] = {{&kWRops, true}, {&kWRops, false}, {&kWRsrcops, true}, {&kWRsrcops, false}};

void PrintTo(const Way& w, std::ostream* os) { *os << w.ops->name << (w.wide ? " by 16-bit name" : " by 8-bit name"); }

class WriteWay : public StreamTest, public testing::WithParamInterface<Way> {
protected:
    const WrOps& op() const { return *GetParam().ops; }
    bool wide() const { return GetParam().wide; }
    bool src() const { return GetParam().ops == &kWRsrcops; }
    int create(const std::string& p) {
        return wide() ? op().createW(testutil::u16(p).c_str()) : op().create(p.c_str());
    }
};

std::string way_name(const testing::TestParamInfo<Way>& i) {
    return std::string(i.param.ops->name) + (i.param.wide ? "_wide" : "_narrow");
}
INSTANTIATE_TEST_SUITE_P(Streams, WriteWay, testing::ValuesIn(kWays), way_name);

// The behaviours of handle mode alone (FILE mode leaves buffering and the
// system calls to the runtime).
class HandleWrite : public WriteWay {};
const Way kWideWays[] = {{&kWRops, true}, {&kWRsrcops, true}};
INSTANTIATE_TEST_SUITE_P(Streams, HandleWrite, testing::ValuesIn(kWideWays), way_name);

TEST_P(WriteWay, FreshStreamIsClosed) {
    EXPECT_EQ(op().err(), -1);
    EXPECT_EQ(op().putc('a'), -1);
    EXPECT_EQ(op().putdw(1), -1);
    EXPECT_EQ(op().write((const uint8_t*)"ab", 2), -1);
    EXPECT_EQ(op().puts("ab"), -1);
    EXPECT_EQ(op().flush(), 0);
    EXPECT_EQ(op().close(), 0);
}

// Bytes, blocks and multi-byte values in every mix land in the file in
// order, with the position counting every byte.
TEST_P(WriteWay, MixedWritesLandInOrder) {
    std::string p = path("out.bin");
    ASSERT_EQ(create(p), 0);
    std::vector<uint8_t> want;
    const std::vector<uint8_t> blob = pattern(30000);
    const int blocks[] = {1, 10, 8191, 8192, 8193, 20000, 3};
    size_t at = 0;
    for (int round = 0; round < 7; round++) {
        for (int k = 0; k < 1000 + round * 1500; k++) {
            ASSERT_EQ(op().putc(k), 0);
            want.push_back((uint8_t)k);
        }
        int n = blocks[round];
        ASSERT_EQ(op().write(blob.data() + at % 9000, n), n);
        want.insert(want.end(), blob.begin() + (ptrdiff_t)(at % 9000), blob.begin() + (ptrdiff_t)(at % 9000) + n);
        at += n;
        EXPECT_EQ(op().putdw(0x12345678), 0);
        want.insert(want.end(), {0x78, 0x56, 0x34, 0x12});
        EXPECT_EQ(op().getpos(), (int)want.size());
    }
    int64_t p64 = 0;
    EXPECT_EQ(op().getpos64(&p64), (int)want.size());
    EXPECT_EQ(p64, (int64_t)want.size());
    EXPECT_EQ(op().err(), 0);
    EXPECT_EQ(op().close(), 0);
    EXPECT_EQ(op().err(), -1);
    EXPECT_EQ(slurp("out.bin"), want);
}

struct ValueCase {
    const char* name;
    int which;  // 0 putw, 1 putwbe, 2 putdw, 3 putdwbe
    int64_t v;
    const char* hex;
};
const ValueCase kValueCases[] = {
    {"w_minus2", 0, -2, "fe ff"},
    {"w_1234", 0, 0x1234, "34 12"},
    {"w_wide_value", 0, 0x12345678, "78 56"},
    {"wbe_1234", 1, 0x1234, "12 34"},
    {"wbe_minus2", 1, -2, "ff fe"},
    {"dw", 2, 0x12345678, "78 56 34 12"},
    {"dw_high", 2, 0xFEDCBA98, "98 ba dc fe"},
    {"dwbe", 3, 0x12345678, "12 34 56 78"},
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.name; }

class ValueWrite : public StreamTest, public testing::WithParamInterface<std::tuple<Way, ValueCase>> {};

TEST_P(ValueWrite, Bytes) {
    const auto& [w, c] = GetParam();
    std::string p = path("v.bin");
    ASSERT_EQ(w.wide ? w.ops->createW(testutil::u16(p).c_str()) : w.ops->create(p.c_str()), 0);
    int r = 0;
    switch (c.which) {
    case 0: r = w.ops->putw((int)c.v); break;
    case 1: r = w.ops->putwbe((int)c.v); break;
    case 2: r = w.ops->putdw((uint32_t)c.v); break;
    default: r = w.ops->putdwbe((uint32_t)c.v); break;
    }
    EXPECT_EQ(r, 0);
    w.ops->close();
    EXPECT_EQ(slurp("v.bin"), h2b(c.hex));
}

INSTANTIATE_TEST_SUITE_P(Cases, ValueWrite, testing::Combine(testing::ValuesIn(kWays), testing::ValuesIn(kValueCases)),
                         [](const testing::TestParamInfo<std::tuple<Way, ValueCase>>& i) {
                             const Way& w = std::get<0>(i.param);
                             return std::string(w.ops->name) + (w.wide ? "_wide_" : "_narrow_") + std::get<1>(i.param).name;
                         });

// WR's own writers: quad words and floats.
TEST_F(StreamTest, QuadAndFloatWriters) {
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide);
        std::string p = path("q.bin");
        ASSERT_EQ(wide ? wfcreateW(testutil::u16(p).c_str()) : wfcreate(p.c_str()), 0);
        EXPECT_EQ(wfputqw(0x0123456789ABCDEFull), 0);
        EXPECT_EQ(wfputfl(1.0f), 0);
        EXPECT_EQ(wfputflbe(1.0f), 0);
        EXPECT_EQ(wfputflbe(-3.14159274f), 0);
        EXPECT_EQ(wfclose(), 0);
        EXPECT_EQ(slurp("q.bin"), h2b("efcdab8967452301 0000803f 3f800000 c0490fdb"));
        EXPECT_EQ(wfputqw(1), -1);
        EXPECT_EQ(wfputfl(1.0f), -1);
    }
}

// Zero runs longer than one block land whole after what came before; a
// closed stream takes none; the AVI fill is 1 to 512 bytes.
TEST_F(StreamTest, ZeroRunsAndTheFillTo512) {
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide);
        std::string p = path("z.bin");
        ASSERT_EQ(wide ? wfcreateW(testutil::u16(p).c_str()) : wfcreate(p.c_str()), 0);
        EXPECT_EQ(wfputc(7), 0);
        EXPECT_EQ(wfputzeros(0), 0);
        EXPECT_EQ(wfputzeros(10000), 0);
        EXPECT_EQ(wfputc(9), 0);
        EXPECT_EQ(wfclose(), 0);
        std::vector<uint8_t> want(10002, 0);
        want.front() = 7;
        want.back() = 9;
        EXPECT_EQ(slurp("z.bin"), want);
        EXPECT_EQ(wfputzeros(1), -1);
    }
    const struct { uint64_t end, fill; } cases[] = {
        {0, 512}, {1, 511}, {511, 1}, {512, 512}, {513, 511}, {2076, 484}, {0xFFFFFE00ull, 512}, {0x100000001ull, 511},
    };
    for (const auto& c : cases) EXPECT_EQ(pad512(c.end), c.fill) << c.end;
}

TEST_P(WriteWay, StringWrites) {
    struct Case {
        size_t len;
        int want;
        size_t written;
    };
    const Case cases[] = {{0, 0, 0}, {1, 0, 1}, {512, 0, 512}, {513, 1, 513}, {514, 1, 513}, {600, 1, 513}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.len);
        std::string p = path("s.txt");
        ASSERT_EQ(create(p), 0);
        std::string s(c.len, 'x');
        for (size_t i = 0; i < c.len; i++) s[i] = (char)('a' + i % 26);
        EXPECT_EQ(op().puts(s.c_str()), c.want);
        EXPECT_EQ(op().getpos(), (int)c.written);
        op().close();
        std::vector<uint8_t> got = slurp("s.txt");
        EXPECT_EQ(std::string(got.begin(), got.end()), s.substr(0, c.written));
    }
    EXPECT_EQ(op().puts(""), 0);  // the NUL comes before the closed stream shows
    EXPECT_EQ(op().puts("a"), -1);
}

// 8192 bytes make exactly one system write of 8192; the next byte waits in the
// buffer until the close.
TEST_P(HandleWrite, HandleModeWritesWholeBuffers) {
    ASSERT_EQ(create(path("b.bin")), 0);
    for (int i = 0; i < 8191; i++) op().putc(i);
    EXPECT_EQ(g_faults.writes, 0);
    op().putc(0);
    EXPECT_EQ(g_faults.write_sizes, std::vector<uint32_t>{8192});
    op().putc(1);
    EXPECT_EQ(g_faults.writes, 1);
    EXPECT_EQ(std::filesystem::file_size(path("b.bin")), 8192u);
    EXPECT_EQ(op().close(), 0);
    EXPECT_EQ(g_faults.write_sizes, (std::vector<uint32_t>{8192, 1}));
    EXPECT_EQ(std::filesystem::file_size(path("b.bin")), 8193u);
}

// A block after buffered bytes: the buffered bytes go first.  Small blocks
// join the buffer; a large one goes straight to the file after a flush.
TEST_P(HandleWrite, BlockAfterBufferedBytes) {
    ASSERT_EQ(create(path("b.bin")), 0);
    for (int i = 0; i < 10; i++) op().putc('0' + i);
    const std::vector<uint8_t> big = pattern(10000);
    EXPECT_EQ(op().write(big.data(), 10000), 10000);
    EXPECT_EQ(g_faults.write_sizes, (std::vector<uint32_t>{10, 10000}));
    EXPECT_EQ(op().write((const uint8_t*)"xyz", 3), 3);
    EXPECT_EQ(g_faults.writes, 2);
    EXPECT_EQ(op().write(big.data(), 0), 0);
    EXPECT_EQ(op().write(big.data(), -4), 0);
    EXPECT_EQ(op().getpos(), 10013);
    EXPECT_EQ(op().close(), 0);
    std::vector<uint8_t> want = h2b("30313233343536373839");
    want.insert(want.end(), big.begin(), big.end());
    want.insert(want.end(), {'x', 'y', 'z'});
    EXPECT_EQ(slurp("b.bin"), want);
}

// A full disk (/dev/full): one message, the stream closed, the flag sticky,
// every later write -1 without a word, and the close says data was lost.
struct FullCase {
    const char* name;
    const WrOps* ops;
    bool wide;
    int how;  // 0 byte writes, 1 one block write of 10000, 2 ten bytes then the close
    const char* text;
};
const char kWriteErr[] = "File writing error.(or Disk full)\n";
const char kShortErr[] = "File buffered writing error.(or Disk full)\n";
const FullCase kFullCases[] = {
    {"wr_wide_bytes", &kWRops, true, 0, kWriteErr},
    {"wr_narrow_bytes", &kWRops, false, 0, kWriteErr},
    {"src_wide_bytes", &kWRsrcops, true, 0, kWriteErr},
    {"src_narrow_bytes", &kWRsrcops, false, 0, "Src file writing error.(or Disk full)\n"},
    {"wr_wide_block", &kWRops, true, 1, kWriteErr},
    {"wr_narrow_block", &kWRops, false, 1, kShortErr},
    {"src_wide_block", &kWRsrcops, true, 1, kWriteErr},
    {"src_narrow_block", &kWRsrcops, false, 1, kShortErr},
    {"wr_wide_close", &kWRops, true, 2, kWriteErr},
    {"wr_narrow_close", &kWRops, false, 2, kWriteErr},
    {"src_wide_close", &kWRsrcops, true, 2, kWriteErr},
    {"src_narrow_close", &kWRsrcops, false, 2, kWriteErr},
};

void PrintTo(const FullCase& c, std::ostream* os) { *os << c.name; }

class FullDisk : public StreamTest, public testing::WithParamInterface<FullCase> {
protected:
    void full_disk_run(const std::string& name);
};

// The real device, where the system has one.
TEST_P(FullDisk, OneMessageAndAStickyFlag) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    full_disk_run("/dev/full");
}

// The same behind the platform table, on every system: a disk without room.
TEST_P(FullDisk, OneMessageAndAStickyFlagThroughThePlatformTable) {
    fulldisk::Use disk(0);
    full_disk_run(path("full.bin"));
    EXPECT_TRUE(disk.tripped());
}

void FullDisk::full_disk_run(const std::string& name) {
    const FullCase& c = GetParam();
    const WrOps& o = *c.ops;
    ASSERT_EQ(c.wide ? o.createW(testutil::u16(name).c_str()) : o.create(name.c_str()), 0);
    int close_result = 0;
    std::string out = captured([&] {
        if (c.how == 0) {
            int i = 0;
            while (i < 100000 && o.putc(i) == 0) i++;
            // The failure comes when the first 8192 bytes go out.
            EXPECT_GE(i, 8191);
            EXPECT_LE(i, 8192);
        } else if (c.how == 1) {
            const std::vector<uint8_t> b = pattern(10000);
            int r = o.write(b.data(), 10000);
            if (c.wide) EXPECT_EQ(r, -1);
            else EXPECT_LT(r, 10000);
        } else {
            for (int i = 0; i < 10; i++) EXPECT_EQ(o.putc(i), 0);
            EXPECT_EQ(o.err(), 0);
        }
        close_result = o.close();
        EXPECT_EQ(o.err(), -1);
        EXPECT_EQ(o.putc(1), -1);
        EXPECT_EQ(o.putdw(1), -1);
        EXPECT_EQ(o.write((const uint8_t*)"abc", 3), -1);
        EXPECT_EQ(o.puts("abc"), -1);
        EXPECT_EQ(o.flush(), 0);
    });
    EXPECT_EQ(out, c.text);
    EXPECT_EQ(close_result, -1);
    EXPECT_EQ(o.close(), -1);  // the loss stays known until the next open
    ASSERT_EQ(o.create(path("ok.bin").c_str()), 0);
    EXPECT_EQ(o.close(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, FullDisk, testing::ValuesIn(kFullCases),
                         [](const testing::TestParamInfo<FullCase>& i) { return std::string(i.param.name); });

// Refused and short system writes, at each place a write happens.
TEST_P(HandleWrite, FailingAndShortWrites) {
    struct Case {
        const char* name;
        bool shortw;   // short instead of refused
        int how;       // 0 the buffer fills, 1 a block, 2 the close, 3 a flush
        const char* text;
        int block_result;
    };
    const Case cases[] = {
        {"refused_fill", false, 0, kWriteErr, 0},  {"short_fill", true, 0, "", 0},
        {"refused_block", false, 1, kWriteErr, -1}, {"short_block", true, 1, kShortErr, 5000},
        {"refused_close", false, 2, kWriteErr, 0},  {"short_close", true, 2, "", 0},
        {"refused_flush", false, 3, kWriteErr, 0},  {"short_flush", true, 3, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(create(path("f.bin")), 0);
        // The first system write succeeds; the second fails.
        for (int i = 0; i < 8192; i++) op().putc('a');
        ASSERT_EQ(g_faults.writes, 1);
        (c.shortw ? g_faults.short_write : g_faults.fail_write) = 2;
        std::string out = captured([&] {
            if (c.how == 0) {
                for (int i = 0; i < 8191; i++) EXPECT_EQ(op().putc('b'), 0);
                EXPECT_EQ(op().putc('b'), -1);
                EXPECT_EQ(op().getpos(), src() ? 16383 : 16384);
            } else if (c.how == 1) {
                const std::vector<uint8_t> b(10000, 'c');
                EXPECT_EQ(op().write(b.data(), 10000), c.block_result);
                EXPECT_EQ(op().getpos(), 8192);  // a short block does not count
            } else if (c.how == 2) {
                op().putc('d');
            } else {
                op().putc('d');
                EXPECT_EQ(op().flush(), -1);
            }
            EXPECT_EQ(op().close(), -1);
            EXPECT_EQ(op().putc('e'), -1);
        });
        EXPECT_EQ(out, c.text);
        EXPECT_EQ(op().err(), -1);
        // Nothing is written again after the failure.
        EXPECT_EQ(g_faults.writes, 2);
        uintmax_t size = std::filesystem::file_size(path("f.bin"));
        EXPECT_EQ(size, c.shortw && c.how == 1 ? 8192u + 5000u : c.shortw && c.how == 0 ? 8192u + 4096u
                        : c.shortw ? 8192u : 8192u);
        g_faults = Faults{};
    }
}

// A block write whose flush of the buffered bytes fails stops there with one
// message (the block itself is not tried on the closed stream).
TEST_P(HandleWrite, BlockAfterFailedFlushSaysItOnce) {
    ASSERT_EQ(create(path("f.bin")), 0);
    op().putc('a');
    g_faults.fail_write = 1;
    const std::vector<uint8_t> b(9000, 'c');
    std::string out = captured([&] { EXPECT_EQ(op().write(b.data(), 9000), -1); });
    EXPECT_EQ(out, kWriteErr);
    EXPECT_EQ(g_faults.writes, 1);
}

TEST_P(WriteWay, CreateEmptiesAndOpenAKeepsContents) {
    const std::vector<uint8_t> hundred = pattern(100);
    make("f.bin", hundred);
    ASSERT_EQ(create(path("f.bin")), 0);
    op().close();
    EXPECT_EQ(std::filesystem::file_size(path("f.bin")), 0u);

    make("f.bin", hundred);
    if (wide()) {
        // Opened as it is: writes start at offset 0.
        ASSERT_EQ(op().openaW(wpath("f.bin").c_str()), 0);
        for (int i = 0; i < 10; i++) op().putc('A' + i);
        EXPECT_EQ(op().getpos(), 10);
        EXPECT_EQ(op().close(), 0);
        std::vector<uint8_t> want = hundred;
        for (int i = 0; i < 10; i++) want[i] = (uint8_t)('A' + i);
        EXPECT_EQ(slurp("f.bin"), want);
    } else {
        // Appends at the end; the position still counts from 0.
        ASSERT_EQ(op().opena(path("f.bin").c_str()), 0);
        for (int i = 0; i < 10; i++) op().putc('A' + i);
        EXPECT_EQ(op().getpos(), 10);
        EXPECT_EQ(op().close(), 0);
        std::vector<uint8_t> want = hundred;
        for (int i = 0; i < 10; i++) want.push_back((uint8_t)('A' + i));
        EXPECT_EQ(slurp("f.bin"), want);
    }
    // Both create missing files.
    ASSERT_EQ(wide() ? op().openaW(wpath("new.bin").c_str()) : op().opena(path("new.bin").c_str()), 0);
    op().putc('z');
    op().close();
    EXPECT_EQ(slurp("new.bin"), h2b("7a"));
}

// Opening while open writes out and closes the first file.
TEST_P(WriteWay, OpenWhileOpenFinishesTheFirst) {
    ASSERT_EQ(create(path("a.bin")), 0);
    for (int i = 0; i < 100; i++) op().putc(i);
    ASSERT_EQ(create(path("b.bin")), 0);
    EXPECT_EQ(std::filesystem::file_size(path("a.bin")), 100u);
    op().putc(7);
    op().close();
    EXPECT_EQ(slurp("b.bin"), h2b("07"));
}

TEST_P(WriteWay, ExistsTests) {
    make("e.bin", h2b("01 02"));
    ASSERT_EQ(create(path("other.bin")), 0);
    op().putc(5);
    std::string out = captured([&] {
        EXPECT_EQ(op().exist(path("e.bin").c_str()), -1);
        EXPECT_EQ(op().err(), -1);
        EXPECT_EQ(op().existW(wpath("e.bin").c_str()), -1);
        EXPECT_EQ(op().exist(path("none").c_str()), 0);
        EXPECT_EQ(op().existW(wpath("none").c_str()), 0);
        EXPECT_EQ(op().existW(wpath("").c_str()), 0);  // a directory
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(slurp("other.bin"), h2b("05"));  // written out by the exists test's close
    EXPECT_EQ(g_faults.good_opens, g_faults.closes);
    // The file is free at once.
    ASSERT_EQ(wide() ? op().createW(wpath("e.bin").c_str()) : op().create(path("e.bin").c_str()), 0);
    op().close();
    EXPECT_EQ(std::filesystem::file_size(path("e.bin")), 0u);
    // WRsrc's wide test waits 1 ms before closing its test handle.
    g_faults.last_sleep = 0xFFFFFFFF;
    op().existW(wpath("other.bin").c_str());
    EXPECT_EQ(g_faults.last_sleep, src() ? 1u : 0xFFFFFFFFu);
}

TEST_F(StreamTest, OpenFailureMessages) {
    struct Case {
        const char* name;
        std::function<int()> call;
        std::string want;
        int (*err)();
    };
    std::string nodir = path("nodir/x.bin");
    std::u16string wnodir = wpath("nodir/x.bin"), wdir = wpath("");
    const Case cases[] = {
        {"createW_nodir", [&] { return wfcreateW(wnodir.c_str()); }, "Could not open (WR)(code=3).\n", wferr},
        {"createW_dir", [&] { return wfcreateW(wdir.c_str()); }, "Could not open (WR)(code=5).\n", wferr},
        {"create", [&] { return wfcreate(nodir.c_str()); }, "Cannot open WR file : " + nodir + "\n", wferr},
        {"openaW", [&] { return wfopenaW(wnodir.c_str()); }, "", wferr},
        {"opena", [&] { return wfopena(nodir.c_str()); }, "", wferr},
        {"src_createqW", [&] { return wsfcreateqW(wnodir.c_str()); }, "", wsferr},
        {"src_create", [&] { return wsfcreate(nodir.c_str()); }, "Cannot open WR src file : " + nodir + "\n", wsferr},
        {"src_appendopen", [&] { return wsfappendopen(nodir.c_str()); }, "Cannot open WR src file : " + nodir + "\n", wsferr},
        {"src_appendopenW", [&] { return wsfappendopenW(wnodir.c_str()); }, "", wsferr},
        {"src_openaW", [&] { return wsfopenaW(wnodir.c_str()); }, "", wsferr},
        {"src_opena", [&] { return wsfopena(nodir.c_str()); }, "", wsferr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int r = 0;
        std::string out = captured([&] { r = c.call(); });
        EXPECT_EQ(r, -1);
        EXPECT_EQ(out, c.want);
        EXPECT_EQ(c.err(), -1);
    }
}

// WRsrc's 8-bit append opens at the end, with the position counting from 0.
TEST_F(StreamTest, SrcAppendOpens) {
    testutil::write_file(dir_.path() / "a.txt", std::string_view("head"));
    ASSERT_EQ(wsfappendopen(path("a.txt").c_str()), 0);
    EXPECT_EQ(wsfputs("tail"), 0);
    EXPECT_EQ(wsfgetpos(), 4);
    EXPECT_EQ(wsfclose(), 0);
    std::vector<uint8_t> got = slurp("a.txt");
    EXPECT_EQ(std::string(got.begin(), got.end()), "headtail");

    // By wide name: at the end, the position is the file's size, with traces.
    std::string out = captured([&] { EXPECT_EQ(wsfappendopenW(wpath("a.txt").c_str()), 0); });
    EXPECT_EQ(out, " FP:00000000:00000008 \n FP:00000000:00000008 \n");
    EXPECT_EQ(wsfgetpos(), 8);
    EXPECT_EQ(wsfputs("!"), 0);
    EXPECT_EQ(wsfclose(), 0);
    got = slurp("a.txt");
    EXPECT_EQ(std::string(got.begin(), got.end()), "headtail!");

    // A refused move to the end: the text, -2, the handle closed again.
    g_faults.fail_seek = g_faults.seeks + 1;
    int closes = g_faults.closes;
    out = captured([&] { EXPECT_EQ(wsfappendopenW(wpath("a.txt").c_str()), -2); });
    EXPECT_EQ(out, "Failed in seek in wsfappendopenW. \n");
    EXPECT_EQ(g_faults.closes, closes + 1);
    EXPECT_EQ(wsferr(), -1);
}

// The file size query: on-disk size (buffered bytes not counted) with trace
// lines; it never moves the file pointer, so later writes land where they
// would have.
TEST_F(StreamTest, FileSizeQueryLeavesThePointer) {
    make("f.bin", pattern(100));
    ASSERT_EQ(wfopenaW(wpath("f.bin").c_str()), 0);
    for (int i = 0; i < 10; i++) wfputc('A');
    int r = 0;
    std::string out = captured([&] { r = wfgetfptr(); });
    EXPECT_EQ(r, 100);
    EXPECT_EQ(out, " FP:00000000:00000000 \n FS:00000000:00000064 \n");
    wfflush();
    out = captured([&] { r = wfgetfptr(); });
    EXPECT_EQ(out, " FP:00000000:0000000A \n FS:00000000:00000064 \n");
    for (int i = 0; i < 5; i++) wfputc('B');
    EXPECT_EQ(wfclose(), 0);
    std::vector<uint8_t> want = pattern(100);
    for (int i = 0; i < 15; i++) want[i] = i < 10 ? 'A' : 'B';
    EXPECT_EQ(slurp("f.bin"), want);

    // FILE mode: the runtime's ftell.
    ASSERT_EQ(wfcreate(path("g.bin").c_str()), 0);
    wfputs("12345");
    EXPECT_EQ(captured([] { EXPECT_EQ(wfgetfptr(), 5); }), "");
    wfclose();
    EXPECT_EQ(wfgetfptr(), -1);

    // A refused query.
    ASSERT_EQ(wfcreateW(wpath("h.bin").c_str()), 0);
    g_faults.fail_seek = g_faults.seeks + 1;
    EXPECT_EQ(captured([] { EXPECT_EQ(wfgetfptr(), -1); }), "Failed in seek in wfgetfptr. \n");
    EXPECT_EQ(wferr(), 0);
}

// The append reopen: the file WR created by wide name, reopened at its end.
TEST_F(StreamTest, AppendReopen) {
    ASSERT_EQ(wfcreateW(wpath("m.bin").c_str()), 0);
    wfputs("abc");
    std::string out = captured([] { EXPECT_EQ(wfappendopen(), 0); });
    // The size before the close (after the write-out), the pointer at the
    // end and the size after the reopen.
    EXPECT_EQ(out, " FP:00000000:00000003 \n FP:00000000:00000003 \n FP:00000000:00000003 \n");
    EXPECT_EQ(wfgetpos(), 3);
    EXPECT_EQ(g_faults.last_sleep, 0u);
    wfputs("def");
    EXPECT_EQ(wfclose(), 0);
    std::vector<uint8_t> got = slurp("m.bin");
    EXPECT_EQ(std::string(got.begin(), got.end()), "abcdef");

    // After a normal close the same file can be reopened later.
    out = captured([] { EXPECT_EQ(wfappendopen(), 0); });
    EXPECT_EQ(out, " FP:00000000:00000006 \n FP:00000000:00000006 \n");
    wfputs("g");
    wfclose();
    got = slurp("m.bin");
    EXPECT_EQ(std::string(got.begin(), got.end()), "abcdefg");

    // A file opened by 8-bit name is never mistaken for the kept one: the
    // append answers -1 and the kept file is not touched.
    ASSERT_EQ(wfcreate(path("n.bin").c_str()), 0);
    wfputs("xyz");
    EXPECT_EQ(wfappendopen(), -1);
    EXPECT_EQ(wferr(), -1);
    EXPECT_EQ(slurp("m.bin").size(), 7u);
    EXPECT_EQ(slurp("n.bin").size(), 3u);

    // Nor one opened as it is under another name; the same name is fine.
    ASSERT_EQ(wfcreateW(wpath("m.bin").c_str()), 0);
    wfclose();
    ASSERT_EQ(wfopenaW(wpath("n.bin").c_str()), 0);
    EXPECT_EQ(wfappendopen(), -1);
    ASSERT_EQ(wfopenaW(wpath("m.bin").c_str()), 0);
    wfputs("q");
    EXPECT_EQ(captured([] { EXPECT_EQ(wfappendopen(), 0); }).empty(), false);
    wfputs("r");
    wfclose();
    got = slurp("m.bin");
    EXPECT_EQ(std::string(got.begin(), got.end()), "qr");

    // A failed create forgets the kept file.
    ASSERT_EQ(wfcreateW(wpath("m.bin").c_str()), 0);
    captured([&] { EXPECT_EQ(wfcreateW(wpath("nodir/x").c_str()), -1); });
    EXPECT_EQ(wfappendopen(), -1);

    // A fresh stream has nothing to reopen.
    stream_reset();
    EXPECT_EQ(wfappendopen(), -1);
}

TEST_F(StreamTest, AppendReopenFailures) {
    // Refused move to the end: the text, -2, the stream closed and the handle
    // it opened closed again.
    ASSERT_EQ(wfcreateW(wpath("m.bin").c_str()), 0);
    wfputs("abc");
    wfclose();
    int closes = g_faults.closes;
    g_faults.fail_seek = g_faults.seeks + 1;
    std::string out = captured([] { EXPECT_EQ(wfappendopen(), -2); });
    EXPECT_EQ(out, "Failed in seek in wfappendopen. \n");
    EXPECT_EQ(wferr(), -1);
    EXPECT_EQ(g_faults.closes, closes + 1);
    EXPECT_EQ(g_faults.good_opens, g_faults.closes);

    // The reopen itself fails.
    g_faults.fail_open = g_faults.opens + 1;
    EXPECT_EQ(captured([] { EXPECT_EQ(wfappendopen(), -1); }), "");
    EXPECT_EQ(wferr(), -1);

    // Bytes of the file were lost: appending would leave a hole.
    ASSERT_EQ(wfcreateW(wpath("m.bin").c_str()), 0);
    wfputs("abc");
    g_faults.fail_write = g_faults.writes + 1;
    out = captured([] { EXPECT_EQ(wfappendopen(), -1); });
    EXPECT_EQ(out, "File writing error.(or Disk full)\n");
    EXPECT_EQ(wferr(), -1);
}

// The kept name holds the longest name the system takes; a longer one is not
// kept (an append then fails instead of reopening a cut-off name).  The
// system's open is stood in for, so that the names need not exist.
std::u16string g_fake_names;
os_file fake_openW(const char16_t* name, int how) {
    g_fake_names = name;
    (void)how;
    return os_native.openW(testutil::u16(std::filesystem::temp_directory_path().string() + "/rk-stream-kept").c_str(),
                           OS_CREATE_WRITE);
}

TEST_F(StreamTest, KeptNameIsBounded) {
    g_os.openW = fake_openW;
    std::u16string longest(32767, u'a');
    ASSERT_EQ(wfcreateW(longest.c_str()), 0);
    wfclose();
    g_fake_names.clear();
    EXPECT_EQ(captured([] { EXPECT_EQ(wfappendopen(), 0); }).empty(), false);
    EXPECT_EQ(g_fake_names, longest);
    wfclose();

    std::u16string too_long(40000, u'b');
    ASSERT_EQ(wfcreateW(too_long.c_str()), 0);
    wfclose();
    g_fake_names.clear();
    EXPECT_EQ(wfappendopen(), -1);
    EXPECT_TRUE(g_fake_names.empty());
    std::filesystem::remove(std::filesystem::temp_directory_path() / "rk-stream-kept");
}

// WRsrc counts a byte only once it is accepted; WR counts it when it enters
// the buffer.
TEST_F(StreamTest, SrcPositionCountsAcceptedBytes) {
    ASSERT_EQ(wsfcreateqW(wpath("s.bin").c_str()), 0);
    ASSERT_EQ(wfcreateW(wpath("w.bin").c_str()), 0);
    g_faults.fail_write = 1;
    captured([] {
        for (int i = 0; i < 8192; i++) wsfputc(i);
    });
    EXPECT_EQ(wsfgetpos(), 8191);
    g_faults.fail_write = 2;
    captured([] {
        for (int i = 0; i < 8192; i++) wfputc(i);
    });
    EXPECT_EQ(wfgetpos(), 8192);
}

// A string write that fails on its last byte says so.
TEST_F(StreamTest, StringWriteFailingOnItsLastByte) {
    ASSERT_EQ(wfcreateW(wpath("s.bin").c_str()), 0);
    for (int i = 0; i < 8190; i++) wfputc('a');
    g_faults.fail_write = 1;
    std::string out = captured([] { EXPECT_EQ(wfputs("xy"), -1); });
    EXPECT_EQ(out, kWriteErr);
}

}  // namespace
