// e2e_util.h - helpers of the end-to-end movie tests: fixtures made by
// independent tools, the program run in a directory of its own, and the
// movie read back by ffprobe and ffmpeg.
//
// Independence: PNG fixtures are written by libpng (the movie tests' one PNG
// writer, moviefix::writepngs) and decoded by python3-png
// (tests/movie/e2e_png.py under /usr/bin/python3), movies are read by
// ffprobe and ffmpeg, so no expected value passes through reelkiln's code.

#ifndef REELKILN_TESTS_MOVIE_E2E_UTIL_H
#define REELKILN_TESTS_MOVIE_E2E_UTIL_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "riff.h"
#include "testutil.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace e2e {

namespace fs = std::filesystem;

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line; returns its exit status (0..255), or -1 when
// the shell itself could not be run.  Output goes where cmd sends it.
inline int sh(const std::string& cmd, const fs::path& rcdir) {
    fs::path rc = rcdir / ".rc";
    std::string line = "(" + cmd + ") </dev/null; echo $? > " + quote(rc.string());
    if (std::system(line.c_str()) == -1) return -1;
    std::ifstream f(rc);
    int v = -1;
    f >> v;
    fs::remove(rc);
    return v;
}

inline std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline std::string python() { return testutil::python(); }
inline std::string pngtool() { return std::string(RK_SOURCE_DIR) + "/tests/movie/e2e_png.py"; }

// One PNG fixture: name, size, kind (see moviefix::pngbytes), seed; written
// by moviefix::writepngs.
struct pngspec {
    std::string name;
    int w, h;
    std::string mode;
    int seed;
};

// An image decoded independently: RGBA, top row first.
struct rgba {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
};

inline rgba decodepng(const fs::path& png, const fs::path& scratch) {
    fs::path out = scratch / ".decoded";
    std::string cmd = python() + " " + quote(pngtool()) + " decode " + quote(png.string()) + " " +
                      quote(out.string());
    if (sh(cmd, scratch) != 0) throw std::runtime_error("e2e_png.py decode failed: " + png.string());
    std::vector<uint8_t> b = testutil::read_file(out);
    fs::remove(out);
    if (b.size() < 8) throw std::runtime_error("e2e_png.py decode gave no size: " + png.string());
    const riff::source src = riff::memory(b);
    rgba r;
    r.w = (int)src.u32(0);
    r.h = (int)src.u32(4);
    r.px.assign(b.begin() + 8, b.end());
    return r;
}

// The frame a movie of W x H must show for an image, top row first, as
// bgr24 or bgra: the image's top-left W x H corner, and outside the image
// white (with alpha 0).
inline std::vector<uint8_t> expectframe(const rgba& img, int W, int H, bool alpha) {
    int bpp = alpha ? 4 : 3;
    std::vector<uint8_t> f((size_t)W * H * bpp);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            uint8_t* d = &f[((size_t)y * W + x) * bpp];
            if (x < img.w && y < img.h) {
                const uint8_t* s = &img.px[((size_t)y * img.w + x) * 4];
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
                if (alpha) d[3] = s[3];
            } else {
                d[0] = d[1] = d[2] = 255;
                if (alpha) d[3] = 0;
            }
        }
    return f;
}

// ffprobe's facts of one stream ("v:0", "a:0") as key=value pairs, with
// packets counted.  Empty when the stream is missing.
inline std::map<std::string, std::string> probe(const fs::path& movie, const std::string& stream,
                                                const fs::path& scratch) {
    fs::path out = scratch / ".probe";
    std::string cmd = "ffprobe -v error -count_packets -select_streams " + stream +
                      " -show_streams -of default=noprint_wrappers=1 " + quote(movie.string()) + " > " +
                      quote(out.string());
    sh(cmd, scratch);
    std::map<std::string, std::string> kv;
    std::istringstream in(slurp(out));
    fs::remove(out);
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return kv;
}

// Every frame of the movie's video as ffmpeg decodes it, in the movie's own
// pixel format (bgr24 or bgra: no conversion), top row first.  extra goes
// before the output (for example "-ss 10" or "-frames:v 3").
inline std::vector<uint8_t> ffmpegframes(const fs::path& movie, const std::string& pixfmt,
                                         const fs::path& scratch, const std::string& extra = "") {
    fs::path out = scratch / ".frames";
    std::string cmd = "ffmpeg -v error -nostdin -i " + quote(movie.string()) + " " + extra +
                      " -map 0:v:0 -f rawvideo -pix_fmt " + pixfmt + " -y " + quote(out.string());
    if (sh(cmd, scratch) != 0) throw std::runtime_error("ffmpeg failed on " + movie.string());
    std::vector<uint8_t> b = testutil::read_file(out);
    fs::remove(out);
    return b;
}

// The movie's audio as stored (copied, not decoded), as raw bytes.
inline std::vector<uint8_t> ffmpegaudio(const fs::path& movie, int bits, const fs::path& scratch) {
    fs::path out = scratch / ".audio";
    const char* fmt = bits == 8 ? "u8" : bits == 16 ? "s16le" : bits == 24 ? "s24le" : "s32le";
    std::string cmd = "ffmpeg -v error -nostdin -i " + quote(movie.string()) + " -map 0:a:0 -c:a copy -f " +
                      fmt + " -y " + quote(out.string());
    if (sh(cmd, scratch) != 0) throw std::runtime_error("ffmpeg audio failed on " + movie.string());
    std::vector<uint8_t> b = testutil::read_file(out);
    fs::remove(out);
    return b;
}

// ---- WAV fixtures -----------------------------------------------------------------

// Little-endian numbers appended to a byte vector, for every movie test.
inline void le16(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 2; i++) v.push_back((uint8_t)(x >> (8 * i)));
}
inline void le32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; i++) v.push_back((uint8_t)(x >> (8 * i)));
}
inline void chunk(std::vector<uint8_t>& v, const char* id, const std::vector<uint8_t>& body, bool pad) {
    v.insert(v.end(), id, id + 4);
    le32(v, (uint32_t)body.size());
    v.insert(v.end(), body.begin(), body.end());
    if (pad && body.size() % 2) v.push_back(0);
}

struct wavspec {
    int channels = 2;
    int bits = 16;
    int rate = 44100;
    uint32_t datalen = 4000;
    bool extras = false;    // JUNK, fact, LIST (odd, padded) and an unknown chunk before the data
    bool preamble = false;  // 128 bytes before 'RIFF'
};

// A WAV file and its data bytes.
struct wavfile {
    std::vector<uint8_t> file;
    std::vector<uint8_t> data;
};

inline wavfile makewav(const wavspec& s, int seed = 1) {
    wavfile w;
    for (uint32_t i = 0; i < s.datalen; i++) w.data.push_back((uint8_t)((i * 7 + seed * 13 + (i >> 5)) & 0xFF));
    std::vector<uint8_t> fmt;
    int ba = s.channels * (s.bits / 8);
    le16(fmt, 1);
    le16(fmt, (uint32_t)s.channels);
    le32(fmt, (uint32_t)s.rate);
    le32(fmt, (uint32_t)(ba * s.rate));
    le16(fmt, (uint32_t)ba);
    le16(fmt, (uint32_t)s.bits);
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    if (s.extras) chunk(body, "JUNK", std::vector<uint8_t>(10, 0xEE), false);
    chunk(body, "fmt ", fmt, false);
    if (s.extras) {
        std::vector<uint8_t> fact;
        le32(fact, ba ? s.datalen / (uint32_t)ba : 0);
        chunk(body, "fact", fact, false);
        chunk(body, "LIST", {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 1, 0, 0, 0, 'x'}, true);
        chunk(body, "zzzz", {1, 2, 3, 4}, false);
    }
    chunk(body, "data", w.data, false);
    if (s.preamble)
        for (int i = 0; i < 128; i++) w.file.push_back((uint8_t)(0x40 + i % 50));
    w.file.insert(w.file.end(), {'R', 'I', 'F', 'F'});
    le32(w.file, (uint32_t)body.size());
    w.file.insert(w.file.end(), body.begin(), body.end());
    return w;
}

#if !defined(_WIN32)
// A program started without a shell: standard input from /dev/null,
// standard output into `out`, SIGINT at its default and unblocked (a test
// run in the background of a shell may inherit it ignored, and a program
// keeps an ignored SIGINT).  Returns the process id, or -1.
inline pid_t spawn(const fs::path& prog, const fs::path& out) {
    const std::string p = prog.string(), o = out.string();
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, o.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t at;
    posix_spawnattr_init(&at);
    sigset_t def, none;
    sigemptyset(&def);
    sigaddset(&def, SIGINT);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&at, &def);
    posix_spawnattr_setsigmask(&at, &none);
    posix_spawnattr_setflags(&at, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    char* argv[] = {const_cast<char*>(p.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, p.c_str(), &fa, &at, argv, environ) != 0) pid = -1;
    posix_spawnattr_destroy(&at);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// A wait status as the shell gives it (128 + the signal for a killed one).
inline int shellstatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}
#endif

}  // namespace e2e

#endif
