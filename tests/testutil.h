// testutil.h - small helpers shared by the test programs.
#ifndef REELKILN_TESTUTIL_H
#define REELKILN_TESTUTIL_H

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace testutil {

// The Python interpreter the tests run, as tests/CMakeLists.txt names it for
// every test program; empty in a build that has none (the Windows programs
// under wine), where the tests that need one skip.
#ifndef RK_PYTHON
#define RK_PYTHON ""
#endif
inline std::string python() { return RK_PYTHON; }
inline bool have_python() { return !python().empty(); }

// "de ad be ef" or "deadbeef" to bytes.
inline std::vector<uint8_t> h2b(std::string_view hex) {
    std::vector<uint8_t> out;
    int hi = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (hi < 0) hi = v; else { out.push_back((uint8_t)(hi << 4 | v)); hi = -1; }
    }
    return out;
}

inline std::vector<uint8_t> read_file(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + p.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void write_file(const std::filesystem::path& p, const void* data, size_t n) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(static_cast<const char*>(data), (std::streamsize)n);
    if (!f) throw std::runtime_error("cannot write " + p.string());
}
inline void write_file(const std::filesystem::path& p, const std::vector<uint8_t>& v) { write_file(p, v.data(), v.size()); }
inline void write_file(const std::filesystem::path& p, std::string_view s) { write_file(p, s.data(), s.size()); }

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    // Test programs run in parallel and each starts with the same rand()
    // sequence, so the name takes a random_device draw and the clock, and a
    // name that is taken (or being removed by another process) is passed over.
    TempDir() {
        auto base = std::filesystem::temp_directory_path();
        std::random_device rd;
        for (int i = 0;; i++) {
            auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
            path_ = base / ("rk-test-" + std::to_string(rd()) + "-" + std::to_string(stamp) + "-" + std::to_string(i));
            std::error_code ec;
            if (std::filesystem::create_directory(path_, ec)) break;
            if (i > 100) throw std::runtime_error("cannot make a temporary directory: " + ec.message());
        }
    }
    ~TempDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str(std::string_view name = {}) const {
        return name.empty() ? path_.string() : (path_ / std::string(name)).string();
    }
private:
    std::filesystem::path path_;
};

// UTF-8 to a 0-ended UTF-16 string (for wide file names in tests).
inline std::u16string u16(std::string_view s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        uint32_t c = (uint8_t)s[i];
        int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (n > 1) c &= (0xFF >> (n + 1));
        for (int k = 1; k < n && i + k < s.size(); k++) c = (c << 6) | ((uint8_t)s[i + k] & 0x3F);
        i += n;
        if (c >= 0x10000) { c -= 0x10000; out += (char16_t)(0xD800 + (c >> 10)); out += (char16_t)(0xDC00 + (c & 0x3FF)); }
        else out += (char16_t)c;
    }
    return out;
}

}  // namespace testutil

#endif
