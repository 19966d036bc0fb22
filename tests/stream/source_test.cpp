// source_test.cpp - RD opened on a read source: the same bytes and moves as
// a file across the 8192-byte buffer, the end of the source, and a source
// that gives fewer bytes than it claims (a read error, told by rferror and
// never taken for the end).

#include <cstring>

#include "stream_fixture.h"

using namespace streamtest;

namespace {

// Memory as a source; short_at >= 0 makes every read that reaches it stop
// there (the file under a plan shrank), fail makes it answer -1.
struct memsrc {
    std::vector<uint8_t> data;
    int64_t short_at = -1;
    bool fail = false;
    int reads = 0;
    rdsource src() { return {this, (int64_t)data.size(), memread}; }
    static int64_t memread(void* ctx, int64_t pos, void* buf, int64_t n) {
        memsrc& m = *static_cast<memsrc*>(ctx);
        m.reads++;
        if (m.fail) return -1;
        int64_t end = pos + n;
        if (m.short_at >= 0 && end > m.short_at) end = m.short_at < pos ? pos : m.short_at;
        if (end > (int64_t)m.data.size()) end = (int64_t)m.data.size();
        std::memcpy(buf, m.data.data() + pos, (size_t)(end - pos));
        return end - pos;
    }
};

class SourceRead : public StreamTest {};

// Block reads in slices around the buffer size, and byte reads between
// them, deliver the source's bytes in order; the end is the end, not an
// error.
TEST_F(SourceRead, SlicesAcrossTheBufferAreTheSourcesBytes) {
    memsrc m{pattern(40000)};
    const rdsource s = m.src();
    for (int slice : {1, 7, 4096, 8191, 8192, 8193, 20000}) {
        SCOPED_TRACE(slice);
        ASSERT_EQ(rfopensrc(&s), 0);
        std::vector<uint8_t> got;
        std::vector<uint8_t> b((size_t)slice);
        for (;;) {
            int n = rfread(b.data(), slice);
            got.insert(got.end(), b.begin(), b.begin() + n);
            if (n < slice) break;
            int c = rfgetc();
            if (c < 0) break;
            got.push_back((uint8_t)c);
        }
        EXPECT_EQ(got, m.data);
        EXPECT_EQ(rfeof(), -1);
        EXPECT_EQ(rferror(), 0);
        EXPECT_EQ(rfgetc(), -1);
    }
}

// Seeks, skips and the size move within the source as within a file, and a
// move before the start is refused with nothing moved.
TEST_F(SourceRead, MovesServeTheTargetByte) {
    memsrc m{pattern(30000)};
    const rdsource s = m.src();
    ASSERT_EQ(rfopensrc(&s), 0);
    for (int p : {0, 5, 8191, 8192, 8193, 29999, 100, 16384}) {
        ASSERT_EQ(rfseek32(p), 0);
        EXPECT_EQ(rfgetc(), m.data[(size_t)p]) << p;
        EXPECT_EQ(rfgetpos(), p + 1);
    }
    ASSERT_EQ(rfseek32(10), 0);
    EXPECT_EQ(rfkipbytes(3), m.data[12]);      // inside the buffer
    EXPECT_EQ(rfkipbytes(9000), m.data[9012]);  // beyond it
    int64_t size = 0;
    EXPECT_EQ(rfgetsize64(&size), 1);
    EXPECT_EQ(size, 30000);
    EXPECT_EQ(rfgetpos(), 9013);
    std::string out = captured([&] { EXPECT_EQ(rfseek32(-1), -2); });
    EXPECT_EQ(out, "Failed in seek in rfseek. \n");
    EXPECT_EQ(rfgetc(), m.data[9013]);
    EXPECT_EQ(rfseekorg(-2, 2), 0);
    EXPECT_EQ(rfgetpos(), 29998);
    EXPECT_EQ(rfgetw(), (int)(int16_t)(m.data[29998] | m.data[29999] << 8));
    EXPECT_EQ(rfeof(), 0);
    EXPECT_EQ(rfgetc(), -1);
    EXPECT_EQ(rferror(), 0);
}

// A source that stops short of its length, or fails, ends the stream with
// the read error set, by byte read, block read and copy alike; the bytes
// before the failing read still come, and none after it.  The next open
// starts clean.
TEST_F(SourceRead, ShortSourceIsAReadError) {
    for (int how = 0; how < 4; how++) {
        SCOPED_TRACE(how);
        memsrc m{pattern(30000), 20000};
        if (how == 3) m.fail = true;
        const rdsource s = m.src();
        ASSERT_EQ(rfopensrc(&s), 0);
        int64_t got = 0;
        if (how == 0) {
            while (rfgetc() >= 0) got++;
            EXPECT_EQ(got, 16384);  // two whole buffers; the third read falls short
        } else if (how == 1) {
            std::vector<uint8_t> b(30000);
            got = rfread(b.data(), 30000);  // straight into b: one short read
            EXPECT_EQ(got, 0);
        } else {
            ASSERT_EQ(wfcreate(path("out.bin").c_str()), 0);
            got = rfcopyalltowf();
            wfclose();
            EXPECT_EQ(slurp("out.bin"), std::vector<uint8_t>(m.data.begin(), m.data.begin() + (how == 2 ? 16384 : 0)));
        }
        EXPECT_EQ(rfeof(), -1);
        EXPECT_EQ(rferror(), -1);
        EXPECT_EQ(rfgetc(), -1);
        ASSERT_EQ(rfopen(make("f.bin", {1, 2}).c_str()), 0);
        EXPECT_EQ(rferror(), 0);
        rfclose();
    }
}

// Sources RD refuses, and a source at its end: an empty one ends at once
// without reading.
TEST_F(SourceRead, RefusedAndEmptySources) {
    EXPECT_EQ(rfopensrc(nullptr), -1);
    rdsource none = {nullptr, 5, nullptr};
    EXPECT_EQ(rfopensrc(&none), -1);
    EXPECT_EQ(rfeof(), -1);
    memsrc m;
    const rdsource s = m.src();
    ASSERT_EQ(rfopensrc(&s), 0);
    EXPECT_EQ(rfeof(), 0);
    EXPECT_EQ(rfgetc(), -1);
    EXPECT_EQ(m.reads, 0);
    EXPECT_EQ(rferror(), 0);
    // Opening a file closes the source as any open closes what was open.
    memsrc k{pattern(10)};
    const rdsource t = k.src();
    ASSERT_EQ(rfopensrc(&t), 0);
    ASSERT_EQ(rfopenq(make("g.bin", {9}).c_str()), 0);
    EXPECT_EQ(rfgetc(), 9);
    EXPECT_EQ(rfgetc(), -1);
}

}  // namespace
