// stream_fixture.h - what the stream tests share: a fixture that resets the
// streams and restores the platform table, a temporary directory, stdout
// capture, platform stand-ins that count calls and fail the Nth one, and the
// read streams' operations as tables, so that a test runs on RD and RD2.
#ifndef REELKILN_TESTS_STREAM_FIXTURE_H
#define REELKILN_TESTS_STREAM_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "stream/stream.h"
#include "testutil.h"

namespace streamtest {

// The platform calls seen since the fixture started, and the faults asked
// for: fail_* = N makes the Nth call of that service fail (1 = the first);
// short_write = N makes the Nth write deliver only half of its bytes.
struct Faults {
    int reads = 0, writes = 0, seeks = 0, opens = 0, good_opens = 0, closes = 0, sleeps = 0;
    int fail_read = 0, fail_write = 0, fail_seek = 0, fail_open = 0, short_write = 0;
    uint32_t last_sleep = 0xFFFFFFFF;
    std::vector<uint32_t> write_sizes;  // the byte count of every write asked for
    os_file last_opened = nullptr;
    std::u16string last_open_name;
};
inline Faults g_faults;

inline os_file counting_openW(const char16_t* name, int how) {
    Faults& f = g_faults;
    f.opens++;
    f.last_open_name = name ? name : u"";
    if (f.fail_open == f.opens) return nullptr;
    os_file h = os_native.openW(name, how);
    if (h) {
        f.last_opened = h;
        f.good_opens++;
    }
    return h;
}
inline int counting_read(os_file h, void* buf, uint32_t n, uint32_t* got) {
    Faults& f = g_faults;
    f.reads++;
    if (f.fail_read == f.reads) {
        if (got) *got = 0;
        return 0;
    }
    return os_native.read(h, buf, n, got);
}
inline int counting_write(os_file h, const void* buf, uint32_t n, uint32_t* put) {
    Faults& f = g_faults;
    f.writes++;
    f.write_sizes.push_back(n);
    if (f.fail_write == f.writes) {
        if (put) *put = 0;
        return 0;
    }
    if (f.short_write == f.writes) return os_native.write(h, buf, n / 2, put);
    return os_native.write(h, buf, n, put);
}
inline int counting_seek(os_file h, int64_t dist, int origin, int64_t* np) {
    Faults& f = g_faults;
    f.seeks++;
    if (f.fail_seek == f.seeks) return 0;
    return os_native.seek(h, dist, origin, np);
}
inline int counting_close(os_file h) {
    g_faults.closes++;
    return os_native.close(h);
}
inline void counting_sleep(uint32_t ms) {
    g_faults.sleeps++;
    g_faults.last_sleep = ms;
}

// One read stream's operations, so that each behaviour runs on RD and RD2.
struct RdOps {
    const char* name;
    int (*openW)(const char16_t*);
    int (*open)(const char*);
    int (*openqW)(const char16_t*);
    int (*openq)(const char*);
    int (*eof)();
    int (*getpos)();
    int (*getpos64)(int64_t*);
    void (*close)();
    int (*getc)();
    int (*bufrewind)();
    int (*seek32)(int);
    int (*seek)(uint32_t, int32_t*);
    int (*skip)(int);
    int (*skip64)(uint32_t, int32_t*);
    int (*getw)();
    int (*getwbe)();
    int (*getdw)();
    int (*getdwbe)();
    int (*read)(uint8_t*, int);
    int (*error)();
};

inline const RdOps kRDops = {"RD", rfopenW, rfopen, rfopenqW, rfopenq, rfeof, rfgetpos, rfgetpos64, rfclose,
                             rfgetc, rfbufrewind, rfseek32, rfseek, rfkipbytes, rfkipbytes64, rfgetw,
                             rfgetwbe, rfgetdw, rfgetdwbe, rfread, rferror};
inline const RdOps kRD2ops = {"RD2", rwfopenW, rwfopen, rwfopenqW, rwfopenq, rwfeof, rwfgetpos, rwfgetpos64,
                              rwfclose, rwfgetc, rwfbufrewind, rwfseek32, rwfseek, rwfkipbytes, rwfkipbytes64,
                              rwfgetw, rwfgetwbe, rwfgetdw, rwfgetdwbe, rwfread, rwferror};

// Every test starts and ends with the streams closed and the real platform
// table (with counting stand-ins for the file calls), in a fresh directory.
class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_os;
        stream_reset();
        g_faults = Faults{};
        g_os.openW = counting_openW;
        g_os.read = counting_read;
        g_os.write = counting_write;
        g_os.seek = counting_seek;
        g_os.close = counting_close;
        g_os.sleep_ms = counting_sleep;
    }
    void TearDown() override {
        g_os = saved_;
        stream_reset();
    }

    std::string path(const std::string& name) const { return dir_.str(name); }
    std::u16string wpath(const std::string& name) const { return testutil::u16(dir_.str(name)); }

    // A file of n bytes, byte i = a fixed pseudo-random function of i, so that
    // every offset's byte is known and differs from its neighbours'.
    static std::vector<uint8_t> pattern(size_t n) {
        std::vector<uint8_t> v(n);
        uint32_t x = 0x12345678;
        for (size_t i = 0; i < n; i++) {
            x = x * 1103515245u + 12345u;
            v[i] = (uint8_t)(x >> 16);
        }
        return v;
    }
    std::string make(const std::string& name, const std::vector<uint8_t>& data) const {
        testutil::write_file(dir_.path() / name, data);
        return path(name);
    }
    std::vector<uint8_t> slurp(const std::string& name) const { return testutil::read_file(dir_.path() / name); }

    testutil::TempDir dir_;

private:
    os_api saved_{};
};

// Runs f with stdout captured and returns what it printed.
template <class F>
std::string captured(F&& f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
}

}  // namespace streamtest

#endif
