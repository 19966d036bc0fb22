// copy_test.cpp - the copies from RD and RD2 to WR, in every pairing of
// modes: counts, contents, the end of the source, a closed source and a
// failing destination.

#include <filesystem>
#include <optional>

#include "fulldisk.h"
#include "stream_fixture.h"

using namespace streamtest;

namespace {

struct Pairing {
    bool rd2;       // copy from RD2 instead of RD
    bool src_wide;  // the source opened by 16-bit name
    bool dst_wide;  // WR created by 16-bit name
};
const Pairing kPairings[] = {
    {false, false, false}, {false, false, true}, {false, true, false}, {false, true, true},
    {true, false, false},  {true, false, true},  {true, true, false},  {true, true, true},
};

void PrintTo(const Pairing& c, std::ostream* os) {
    *os << (c.rd2 ? "RD2 " : "RD ") << (c.src_wide ? "by 16-bit name" : "by 8-bit name") << " to WR "
        << (c.dst_wide ? "by 16-bit name" : "by 8-bit name");
}

class Copy : public StreamTest, public testing::WithParamInterface<Pairing> {
protected:
    // The source stream's operations.
    const RdOps& rd() const { return GetParam().rd2 ? kRD2ops : kRDops; }
    int open_src(const std::string& p) {
        return GetParam().src_wide ? rd().openW(testutil::u16(p).c_str()) : rd().open(p.c_str());
    }
    int create_dst(const std::string& p) {
        return GetParam().dst_wide ? wfcreateW(testutil::u16(p).c_str()) : wfcreate(p.c_str());
    }
    int copy(int n) { return GetParam().rd2 ? rwfcopytowf(n) : rfcopytowf(n); }
    int copy_all() { return GetParam().rd2 ? rwfcopyalltowf() : rfcopyalltowf(); }
    int getc() { return rd().getc(); }
    int eof() { return rd().eof(); }
    int skip(int n) { return rd().skip(n); }
    int getpos() { return rd().getpos(); }
};

INSTANTIATE_TEST_SUITE_P(Modes, Copy, testing::ValuesIn(kPairings), [](const testing::TestParamInfo<Pairing>& i) {
    return std::string(i.param.rd2 ? "RD2_" : "RD_") + (i.param.src_wide ? "wide_to_" : "narrow_to_") +
           (i.param.dst_wide ? "wide" : "narrow");
});

// Counted copies of several sizes, each starting after a header was read
// byte by byte, with more bytes written around them: the destination holds
// exactly header-free slices, and the source goes on right after the copy.
TEST_P(Copy, CountedCopies) {
    const std::vector<uint8_t> data = pattern(100000);
    std::string src = make("src.bin", data);
    struct Case {
        int skip, n, want;
    };
    const Case cases[] = {
        {0, 10000, 10000}, {44, 10000, 10000}, {8190, 4096, 4096}, {5, 1, 1},     {7, 0, 0},
        {100, 70000, 70000}, {95000, 5000, 5000}, {95000, 10000, 5000}, {0, -3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.skip << "+" << c.n);
        ASSERT_EQ(open_src(src), 0);
        ASSERT_EQ(create_dst(path("dst.bin")), 0);
        for (int i = 0; i < c.skip; i++) ASSERT_EQ(getc(), data[i]);
        wfputs("<<");
        EXPECT_EQ(copy(c.n), c.want);
        wfputs(">>");
        EXPECT_EQ(getpos(), c.skip + c.want);
        if (c.want < c.n) {
            EXPECT_EQ(eof(), -1);  // the copy met the end
        } else {
            EXPECT_EQ(eof(), 0);
            EXPECT_EQ(getc(), c.skip + c.want < (int)data.size() ? data[c.skip + c.want] : -1);
        }
        EXPECT_EQ(wfgetpos(), c.want + 4);
        EXPECT_EQ(wfclose(), 0);
        // Built byte by byte: the ranged inserts into a two-byte vector
        // set off a false -Warray-bounds in GCC 12 under ThreadSanitizer.
        std::vector<uint8_t> want = {'<', '<'};
        for (int i = 0; i < c.want; i++) want.push_back(data[(size_t)(c.skip + i)]);
        want.push_back('>');
        want.push_back('>');
        EXPECT_EQ(slurp("dst.bin"), want);
    }
}

// The whole rest of the source, from several starting points.
TEST_P(Copy, CopyAll) {
    for (size_t size : {0u, 1u, 4096u, 8192u, 8193u, 50000u}) {
        for (size_t skip : {0u, 1u, 4096u, 8191u}) {
            if (skip > size) continue;
            SCOPED_TRACE(testing::Message() << size << " from " << skip);
            const std::vector<uint8_t> data = pattern(size);
            ASSERT_EQ(open_src(make("src.bin", data)), 0);
            ASSERT_EQ(create_dst(path("dst.bin")), 0);
            for (size_t i = 0; i < skip; i++) ASSERT_EQ(getc(), data[i]);
            if (skip == size && size > 0) {
                // Standing exactly at the end, not yet closed.
                EXPECT_EQ(eof(), 0);
            }
            EXPECT_EQ(copy_all(), (int)(size - skip));
            EXPECT_EQ(eof(), -1);
            EXPECT_EQ(wfclose(), 0);
            EXPECT_EQ(slurp("dst.bin"), std::vector<uint8_t>(data.begin() + (ptrdiff_t)skip, data.end()));
        }
    }
}

// A closed source gives -1 and writes nothing.
TEST_P(Copy, ClosedSource) {
    ASSERT_EQ(create_dst(path("dst.bin")), 0);
    EXPECT_EQ(copy_all(), -1);
    EXPECT_EQ(copy(100), -1);
    ASSERT_EQ(open_src(make("src.bin", pattern(3))), 0);
    EXPECT_EQ(copy_all(), 3);
    EXPECT_EQ(copy_all(), -1);  // the source ended and closed
    EXPECT_EQ(wfgetpos(), 3);
    wfclose();
    EXPECT_EQ(slurp("dst.bin").size(), 3u);
}

// A closed or failing destination gives -1.
TEST_P(Copy, FailingDestination) {
    std::string src = make("src.bin", pattern(50000));
    ASSERT_EQ(open_src(src), 0);
    EXPECT_EQ(copy(100), -1);  // WR was never opened
    ASSERT_EQ(open_src(src), 0);
    EXPECT_EQ(copy_all(), -1);

    // A full disk: /dev/full where the system has it, and on every system
    // the disk behind the platform table, without room and with room for a
    // part of the copy.
    struct Disk {
        const char* name;
        bool standin;
        uint64_t room;
    };
    for (Disk d : {Disk{"/dev/full", false, 0}, Disk{"no room", true, 0}, Disk{"room for 20000 bytes", true, 20000}}) {
        if (!d.standin && !std::filesystem::exists("/dev/full")) continue;
        for (bool all : {false, true}) {
            SCOPED_TRACE(std::string(d.name) + (all ? ", the whole source" : ", 30000 bytes"));
            std::optional<fulldisk::Use> disk;
            if (d.standin) disk.emplace(d.room);
            ASSERT_EQ(open_src(src), 0);
            ASSERT_EQ(create_dst(d.standin ? path("dst.bin") : "/dev/full"), 0);
            std::string out = captured([&] { EXPECT_EQ(all ? copy_all() : copy(30000), -1); });
            bool blocks = !GetParam().src_wide && !GetParam().dst_wide;
            EXPECT_EQ(out, blocks ? "File buffered writing error.(or Disk full)\n" : "File writing error.(or Disk full)\n");
            EXPECT_EQ(wferr(), -1);
            wfclose();
            if (d.standin) {
                EXPECT_EQ(slurp("dst.bin").size(), d.room);
            }
        }
    }
}

}  // namespace
