// large_test.cpp - files past 2 GB and 4 GB, made as sparse files so that
// they cost no disk space: 64-bit seeks and skips in both modes (FILE mode
// walks there in steps the runtime can take), the position past 4 GB, the seek
// from the end, and the write stream's append reopen and size query there.

#include <filesystem>
#include <fstream>

#include "stream_fixture.h"

using namespace streamtest;

namespace {

constexpr int64_t kGB = 1024LL * 1024 * 1024;
constexpr int64_t kSize = 6 * kGB + 100;

// Marker offsets and their bytes: around 2 GB, the walk's step, 4 GB and the
// end, so that every 32-bit boundary is crossed.
struct Marker {
    int64_t at;
    uint8_t byte;
};
const Marker kMarkers[] = {
    {0, 0x11},
    {0x7FFFFFEF, 0x21},
    {0x7FFFFFF0, 0x22},
    {0x80000000LL, 0x23},
    {0xFFFFFFFFLL, 0x31},
    {0x100000000LL, 0x32},
    {5 * kGB + 123, 0x51},
    {kSize - 1, 0x61},
};

class Large : public StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        file_ = path("big.bin");
        {
            std::ofstream f(file_, std::ios::binary);
        }
        std::error_code ec;
        std::filesystem::resize_file(file_, (uintmax_t)kSize, ec);
        if (ec) GTEST_SKIP() << "no room for a sparse file: " << ec.message();
        std::fstream f(file_, std::ios::binary | std::ios::in | std::ios::out);
        for (const Marker& m : kMarkers) {
            f.seekp((std::streamoff)m.at);
            f.put((char)m.byte);
        }
        ASSERT_TRUE(f.good());
    }
    std::string file_;
};

int byte_at(int64_t at) {
    for (const Marker& m : kMarkers)
        if (m.at == at) return m.byte;
    return 0;
}

// One read stream, RD or RD2, opened by its wide name (handle mode) or its
// 8-bit name (FILE mode).
struct ReadSide {
    const RdOps* ops;
    bool wide;

    std::string label() const { return std::string(ops->name) + (wide ? " wide" : " narrow"); }
    int open(const std::string& file) const {
        return wide ? ops->openW(testutil::u16(file).c_str()) : ops->open(file.c_str());
    }
    int64_t pos64() const {
        int64_t p = 0;
        ops->getpos64(&p);
        return p;
    }
    // 64-bit distances, split into the low and high parts the streams take.
    int seek64(int64_t target) const {
        int32_t hi = (int32_t)(target >> 32);
        return ops->seek((uint32_t)target, &hi);
    }
    int skip64(int64_t n) const {
        int32_t hi = (int32_t)(n >> 32);
        return ops->skip64((uint32_t)n, &hi);
    }
};

const ReadSide kReadSides[] = {{&kRDops, true}, {&kRDops, false}, {&kRD2ops, true}, {&kRD2ops, false}};

// Every marker reached by an absolute 64-bit seek, forwards and backwards,
// in both modes and on both streams.
TEST_F(Large, SeeksReachEveryMarker) {
    for (const ReadSide& rs : kReadSides) {
        SCOPED_TRACE(rs.label());
        ASSERT_EQ(rs.open(file_), 0);
        const int order[] = {6, 0, 7, 1, 2, 3, 5, 4, 0, 6, 3};  // indexes into kMarkers
        for (int i : order) {
            const Marker& m = kMarkers[i];
            SCOPED_TRACE(m.at);
            ASSERT_EQ(rs.seek64(m.at), 0);
            EXPECT_EQ(rs.ops->getc(), m.byte);
            int64_t pos = 0;
            EXPECT_EQ(rs.ops->getpos64(&pos), (int)(uint32_t)(m.at + 1));
            EXPECT_EQ(pos, m.at + 1);
            EXPECT_EQ(rs.ops->getpos(), (int)(uint32_t)(m.at + 1));
            // The next byte: a marker or a hole (zero).
            if (m.at + 1 < kSize) {
                EXPECT_EQ(rs.ops->getc(), byte_at(m.at + 1));
            }
        }
        rs.ops->close();
    }
}

// The worked example: from the start to 5 GB ahead, then skips past 4 GB.
TEST_F(Large, SkipsPastFourGigabytes) {
    for (const ReadSide& rs : kReadSides) {
        SCOPED_TRACE(rs.label());
        ASSERT_EQ(rs.open(file_), 0);
        EXPECT_EQ(rs.ops->getc(), 0x11);
        // Skip so that the last byte skipped is the 5 GB marker.
        EXPECT_EQ(rs.skip64(5 * kGB + 123), 0x51);
        EXPECT_EQ(rs.pos64(), 5 * kGB + 124);
        // Then onto the last byte of the file.
        EXPECT_EQ(rs.skip64(kSize - rs.pos64()), 0x61);
        EXPECT_EQ(rs.pos64(), kSize);
        EXPECT_EQ(rs.ops->eof(), 0);
        EXPECT_EQ(rs.skip64(1), -1);
        EXPECT_EQ(rs.ops->eof(), -1);
    }
}

// The seek from the end knows the 64-bit size in both modes.
TEST_F(Large, SeekFromTheEnd) {
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide);
        std::u16string w = testutil::u16(file_);
        ASSERT_EQ(wide ? rfopenW(w.c_str()) : rfopen(file_.c_str()), 0);
        ASSERT_EQ(rfseekorg(0, 2), 0);
        int64_t p = 0;
        rfgetpos64(&p);
        EXPECT_EQ(p, kSize);
        ASSERT_EQ(rfseekorg(-1, 2), 0);
        EXPECT_EQ(rfgetc(), 0x61);
        ASSERT_EQ(rfseekorg(-100, 1), 0);
        rfgetpos64(&p);
        EXPECT_EQ(p, kSize - 100);
        rfclose();
    }
}

// WR past 4 GB: the append reopen lands at the end and says where; the size
// query reports the high part.
TEST_F(Large, AppendPastFourGigabytes) {
    std::string p = path("grow.bin");
    ASSERT_EQ(wfcreateW(testutil::u16(p).c_str()), 0);
    wfputs("head");
    ASSERT_EQ(wfclose(), 0);
    std::error_code ec;
    std::filesystem::resize_file(p, (uintmax_t)(5 * kGB), ec);
    ASSERT_FALSE(ec);
    std::string out = captured([] { EXPECT_EQ(wfappendopen(), 0); });
    EXPECT_EQ(out, " FP:00000001:40000000 \n FP:00000001:40000000 \n");
    int64_t pos = 0;
    EXPECT_EQ(wfgetpos64(&pos), 0x40000000);
    EXPECT_EQ(pos, 5 * kGB);
    wfputs("tail");
    EXPECT_EQ(wfflush(), 0);
    int r = 0;
    out = captured([&] { r = wfgetfptr(); });
    EXPECT_EQ(out, " FP:00000001:40000004 \n FS:00000001:40000004 \n");
    EXPECT_EQ(r, 0x40000004);
    EXPECT_EQ(wfclose(), 0);
    EXPECT_EQ(std::filesystem::file_size(p), (uintmax_t)(5 * kGB + 4));
    {
        std::ifstream f(p, std::ios::binary);
        char b[5] = {};
        f.read(b, 4);
        EXPECT_EQ(std::string(b), "head");
        f.seekg((std::streamoff)(5 * kGB));
        f.read(b, 4);
        EXPECT_EQ(std::string(b), "tail");
    }
    std::filesystem::remove(p);
}

// A copy of more than 2^31 - 1 bytes answers 0x7FFFFFFF, not a wrapped
// count (which could even read as the failure -1).  The system's reads and
// writes are stood in for, so that the bytes touch no disk.
int64_t g_source_left = 0;
int64_t g_sunk = 0;
int endless_read(os_file, void*, uint32_t n, uint32_t* got) {
    uint32_t k = g_source_left < n ? (uint32_t)g_source_left : n;
    g_source_left -= k;
    *got = k;
    return 1;
}
int sink_write(os_file, const void*, uint32_t n, uint32_t* put) {
    g_sunk += n;
    *put = n;
    return 1;
}

TEST_F(Large, CopyCountPastTwoGigabytes) {
    std::string p = make("small.bin", pattern(10));
    ASSERT_EQ(rwfopenW(testutil::u16(p).c_str()), 0);
    ASSERT_EQ(wfcreateW(wpath("out.bin").c_str()), 0);
    g_source_left = 0x80000000ll + 10;
    g_sunk = 0;
    g_os.read = endless_read;
    g_os.write = sink_write;
    EXPECT_EQ(rwfcopyalltowf(), 0x7FFFFFFF);
    EXPECT_EQ(wfclose(), 0);
    EXPECT_EQ(g_sunk, 0x80000000ll + 10);
}

}  // namespace
