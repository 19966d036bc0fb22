// avitool_fixtures.h - fixtures of the toolkit tests: movies made by the
// program's own writers, by ffmpeg and by tools/avi_variants.py, and the
// independent RIFF walker's view of them.

#ifndef REELKILN_TESTS_AVITOOL_FIXTURES_H
#define REELKILN_TESTS_AVITOOL_FIXTURES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "avitool/avitool.h"
#include "movie/avi1.h"
#include "movie/avi1_fixtures.h"
#include "movie/e2e_util.h"
#include "movie/odml.h"
#include "movie/riff.h"
#include "testutil.h"

namespace avifix {

using moviefix::scene;

// What a program movie is made of.
struct moviespec {
    int w = 6, h = 4;
    int frames = 3;
    bool alpha = false;
    uint32_t sound = 0;  // WAV data bytes (16-bit stereo, 8000 Hz); 0: none
    bool odml = false;   // through the OpenDML writer
};

// A test sound for the movie, as "music.wav".
inline e2e::wavfile soundof(uint32_t datalen, int seed = 1) {
    e2e::wavspec s;
    s.channels = 2;
    s.bits = 16;
    s.rate = 8000;
    s.datalen = datalen;
    return e2e::makewav(s, seed);
}

// Writes the frames "f0.png" ... and "list.txt" into the scene, and the sound
// as "music.wav" when the movie asks for sound; then the program's writer makes the
// movie name.  Returns the writer's console output.
inline std::string makemovie(const scene& sc, const std::string& name, const moviespec& m) {
    std::string list;
    for (int i = 0; i < m.frames; i++) {
        std::string png = "f" + std::to_string(i) + ".png";
        sc.png(png, moviefix::pattern(m.w, m.h, m.alpha, i));
        list += png + "\r\n";
    }
    sc.put("list.txt", list);
    std::string wav;
    if (m.sound) {
        sc.put("music.wav", soundof(m.sound).file);
        wav = sc.path("music.wav");
    }
    int r = 0;
    std::string out = moviefix::capture([&] {
        r = m.odml ? mkodml(sc.path(name).c_str(), sc.path("list.txt").c_str(), 60.0f, wav.c_str())
                   : mkavi1(sc.path(name).c_str(), sc.path("list.txt").c_str(), 60.0f, wav.c_str());
    });
    if (r != 0) throw std::runtime_error("the writer failed (" + std::to_string(r) + "): " + out);
    return out;
}

// The outputs of one aviscan call, and its trace.
struct scanout {
    int result = 0;
    uint32_t total = 0, width = 0, height = 0;
    uint8_t sizeflag = 0, hasaudio = 0;
    int64_t audiobuf = 0, junkpos = 0, junksize = 0, chunksize = 0, chunkoff = 0;
    float fps = 0;
    std::string trace;
};

inline scanout scan(const std::string& path, int32_t frame = 0) {
    scanout s;
    s.trace = moviefix::capture([&] {
        s.result = aviscan(path.c_str(), frame, &s.total, &s.width, &s.height, &s.sizeflag, &s.hasaudio,
                           &s.audiobuf, &s.junkpos, &s.junksize, &s.chunksize, &s.chunkoff, &s.fps);
    });
    return s;
}

// How many times needle occurs in hay.
inline int count(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) n++;
    return n;
}

// The walker's view of a movie: the first RIFF chunk and its parts.
struct view {
    riff::source src;
    riff::layout lay;
    const riff::chunk* avi = nullptr;
    const riff::chunk* hdrl = nullptr;
    const riff::chunk* movi = nullptr;
    const riff::chunk* idx1 = nullptr;
    const riff::chunk* junk = nullptr;

    explicit view(const std::string& path, riff::walkopts o = {}) : src(riff::file(path)), lay(riff::walk(src, o)) {
        if (lay.top.empty()) return;
        avi = &lay.top[0];
        hdrl = avi->find("hdrl");
        movi = avi->find("movi");
        idx1 = avi->find("idx1");
        for (const riff::chunk& k : avi->kids)
            if (k.id == "JUNK" || k.id == "JUNQ") {
                junk = &k;
                break;
            }
    }
    // The video chunks of movi in order ('##db' or '##dc').
    std::vector<const riff::chunk*> frames() const {
        std::vector<const riff::chunk*> v;
        if (!movi) return v;
        for (const riff::chunk& k : movi->kids)
            if (k.id.size() == 4 && isdigit((unsigned char)k.id[0]) && isdigit((unsigned char)k.id[1]) &&
                (k.id.substr(2) == "db" || k.id.substr(2) == "dc"))
                v.push_back(&k);
        return v;
    }
    // The strl list that holds the strh of type fcc ("vids", "auds").
    const riff::chunk* strl(const std::string& fcc) const {
        if (!hdrl) return nullptr;
        for (const riff::chunk& k : hdrl->kids)
            if (k.type == "strl") {
                const riff::chunk* h = k.find("strh");
                if (h && src.fcc(h->data()) == fcc) return &k;
            }
        return nullptr;
    }
};

#ifndef _WIN32
// A rawvideo AVI made by ffmpeg from its test source: n frames of w x h in
// pixfmt (bgr24, bgra), with a 16-bit stereo sine at 8000 Hz when sound.
inline void ffmpegmovie(const scene& sc, const std::string& name, int w, int h, int n, const std::string& pixfmt,
                        bool sound) {
    std::string cmd = "ffmpeg -v error -nostdin -f lavfi -i testsrc=size=" + std::to_string(w) + "x" +
                      std::to_string(h) + ":rate=10";
    if (sound) cmd += " -f lavfi -i sine=frequency=440:sample_rate=8000 -ac 2";
    cmd += " -frames:v " + std::to_string(n) + " -c:v rawvideo -pix_fmt " + pixfmt;
    if (sound) cmd += " -c:a pcm_s16le -shortest";
    cmd += " -y " + e2e::quote(sc.path(name));
    if (e2e::sh(cmd, sc.root()) != 0) throw std::runtime_error("ffmpeg could not make " + name);
}

// Runs tools/avi_variants.py on a movie; the variants go into the scene as
// "<stem>-<variant>.avi".  Returns the script's last line ("variants: N").
inline std::string variants(const scene& sc, const std::string& movie, const std::string& stem) {
    std::string out = sc.path(".variants");
    std::string cmd = e2e::python() + " " + e2e::quote(std::string(RK_SOURCE_DIR) + "/tools/avi_variants.py") + " " +
                      e2e::quote(sc.path(movie)) + " " + e2e::quote(sc.root()) + " " + e2e::quote(stem) + " > " +
                      e2e::quote(out);
    if (e2e::sh(cmd, sc.root()) != 0) throw std::runtime_error("avi_variants.py failed on " + movie);
    std::string s = e2e::slurp(out);
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s.substr(s.rfind('\n') == std::string::npos ? 0 : s.rfind('\n') + 1);
}
#endif

// Resets the toolkit's process-wide state for a test.
class fresh : public testing::Test {
protected:
    void SetUp() override {
        aviscanreset();
        idxtablefree();
    }
};

}  // namespace avifix

#endif
