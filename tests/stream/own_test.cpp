// own_test.cpp - read streams of one's own: a record the caller keeps reads
// a file with RD's buffering and rules, beside RD and beside other records
// on other threads, and tells a failed read from the end of the file.

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "failcall.h"
#include "stream_fixture.h"

using namespace streamtest;

namespace {

class OwnRead : public StreamTest {
protected:
    // Opens s on the file by its 8-bit name (FILE mode) or its 16-bit name
    // (handle mode).
    int open(rdstream& s, const std::string& name, bool wide, int shared = 0) {
        if (wide) return rsopenqW(s, wpath(name).c_str(), shared);
        return rsopenq(s, path(name).c_str());
    }
    // Everything s delivers, in slices of slice bytes with a byte read
    // between them.
    static std::vector<uint8_t> drain(rdstream& s, int slice) {
        std::vector<uint8_t> got, b((size_t)slice);
        for (;;) {
            int n = rsread(s, b.data(), slice);
            got.insert(got.end(), b.begin(), b.begin() + n);
            if (n < slice) break;
            int c = rsgetc(s);
            if (c < 0) break;
            got.push_back((uint8_t)c);
        }
        return got;
    }
};

// Both modes, slices around the buffer's size: the file's bytes in order,
// its size while open, a move back to the start, and the end that is not a
// failure.  RD, read between the record's reads, keeps its own file and
// place.
TEST_F(OwnRead, ReadsTheFileBesideRD) {
    const std::vector<uint8_t> data = pattern(40000), other = pattern(100);
    make("own.bin", data);
    ASSERT_EQ(rfopenq(make("rd.bin", other).c_str()), 0);
    auto s = std::make_unique<rdstream>();
    EXPECT_EQ(rseof(*s), -1);
    for (bool wide : {false, true}) {
        for (int slice : {1, 4096, 8191, 8192, 8193, 20000}) {
            SCOPED_TRACE(std::string(wide ? "handle" : "FILE") + " mode, slice " + std::to_string(slice));
            ASSERT_EQ(open(*s, "own.bin", wide), 0);
            int64_t size = 0;
            EXPECT_EQ(rsgetsize64(*s, &size), 1);
            EXPECT_EQ(size, 40000);
            EXPECT_EQ(rsgetc(*s), data[0]);
            const int64_t at = rftell64();
            EXPECT_EQ(rfgetc(), other[(size_t)at]);
            EXPECT_EQ(rsseek(*s, 0), 0);
            EXPECT_EQ(drain(*s, slice), data);
            EXPECT_EQ(rseof(*s), -1);
            EXPECT_EQ(rserror(*s), 0);
            EXPECT_EQ(rsgetc(*s), -1);
        }
    }
    EXPECT_EQ(rfeof(), 0);
    rsclose(*s);
}

// Sharing is asked of the system only when the caller asks for it.
TEST_F(OwnRead, SharesReadingWhenAsked) {
    static int how;
    g_os.openW = [](const char16_t* name, int h) {
        how = h;
        return os_native.openW(name, h);
    };
    make("f.bin", pattern(10));
    auto s = std::make_unique<rdstream>();
    for (int shared : {0, 1}) {
        ASSERT_EQ(open(*s, "f.bin", true, shared), 0);
        EXPECT_EQ(how, shared ? OS_OPEN_READ_SHARED : OS_OPEN_READ);
    }
    rsclose(*s);
    EXPECT_EQ(rsopenqW(*s, wpath("missing.bin").c_str(), 1), -1);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_FILE_NOT_FOUND);
}

// Any one read or seek of the system or the runtime failing: the record
// either delivers the whole file with no error, or the bytes it could read
// with rserror set: never a short file that passes for whole.  RD's error flag is not
// touched, and the next open clears the record's.
TEST_F(OwnRead, AFailedReadIsNotTheEnd) {
    const std::vector<uint8_t> data = pattern(30000);
    make("own.bin", data);
    auto s = std::make_unique<rdstream>();
    for (bool wide : {false, true}) {
        long calls;
        {
            failcall::Use f(0);
            ASSERT_EQ(open(*s, "own.bin", wide), 0);
            drain(*s, 5000);
            calls = f.count();
        }
        ASSERT_GT(calls, 3);
        for (long n = 1; n <= calls; n++) {
            SCOPED_TRACE(std::string(wide ? "handle" : "FILE") + " mode, call " + std::to_string(n));
            std::vector<uint8_t> got;
            {
                failcall::Use f(n);
                ASSERT_EQ(open(*s, "own.bin", wide), 0);
                got = drain(*s, 5000);
            }
            // A failure may also come at the read that looks for more
            // after the last byte: then the bytes are whole but flagged.
            if (rserror(*s) == 0) EXPECT_EQ(got, data);
            else EXPECT_TRUE(got.size() <= data.size() && std::equal(got.begin(), got.end(), data.begin()));
            EXPECT_EQ(rferror(), 0);
            ASSERT_EQ(open(*s, "own.bin", wide), 0);
            EXPECT_EQ(rserror(*s), 0);
        }
    }
    rsclose(*s);
}

// Records on four threads read one file at once through the real platform
// calls, each from its own place; the thread sanitizer watches.
TEST_F(OwnRead, RecordsOnThreadsShareNothing) {
    g_os = os_native;
    const std::vector<uint8_t> data = pattern(100000);
    make("one.bin", data);
    const std::string p = path("one.bin");
    const std::u16string w = wpath("one.bin");
    std::vector<std::vector<uint8_t>> got(4);
    std::vector<std::thread> t;
    for (int i = 0; i < 4; i++) {
        t.emplace_back([&, i] {
            auto s = std::make_unique<rdstream>();
            const int r = i % 2 ? rsopenqW(*s, w.c_str(), 1) : rsopenq(*s, p.c_str());
            if (r == 0) got[(size_t)i] = drain(*s, 1000 + 3000 * i);
            rsclose(*s);
        });
    }
    for (std::thread& x : t) x.join();
    for (const auto& g : got) EXPECT_EQ(g, data);
}

}  // namespace
