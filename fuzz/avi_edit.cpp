// avi_edit.cpp - the audio edits on any bytes: the first input byte picks
// removing the sound (bit 0 clear) or adding a fixed small WAV (bit 0 set,
// bit 1 the replace flag); the rest is the movie.
//
// Every edit must end with a result of its families and every stream
// closed.  The replace is answered in memory: when an edit gets that far its
// result must be 0 and its output a whole movie (a multiple of 512 bytes)
// that scans cleanly, without sound after a removal and with two streams and
// sound after an addition.

#include <cstring>
#include <vector>

#include "avitool/avitool.h"
#include "fuzz/harness.h"
#include "platform/platform.h"
#include "stream/stream.h"

namespace {

// The outputs of this input's replaces: each is served as the movie from
// then on (an addition with the replace flag removes first, then scans and
// edits the result), so they must stay while the input runs.
std::vector<std::vector<uint8_t>> g_outs;
bool g_replaced = false;

int memory_replace(const char* tmp, const char* target) {
    const char* base = std::strrchr(tmp, '/');
    g_outs.push_back(fuzz::written(base ? base + 1 : tmp));
    fuzz::serve(target, g_outs.back().data(), g_outs.back().size());
    g_replaced = true;
    return 1;
}

// 16-bit stereo at 8000 Hz, 40 bytes of samples.
std::vector<uint8_t> wavbytes() {
    std::vector<uint8_t> w = {'R', 'I', 'F', 'F', 76, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1, 0, 2, 0, 0x40, 0x1F, 0, 0, 0, 0x7D, 0, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a', 40, 0, 0, 0};
    for (int i = 0; i < 40; i++) w.push_back((uint8_t)(i * 29));
    return w;
}

struct Scan {
    int result;
    uint32_t total, width, height;
    uint8_t sizeflag, hasaudio;
    int64_t audiobuf, junkpos, junksize, chunksize, chunkoff;
    float fps;
};

Scan scan(const char* name) {
    Scan s;
    std::memset(&s, 0, sizeof s);
    s.result = aviscan(name, 0, &s.total, &s.width, &s.height, &s.sizeflag, &s.hasaudio, &s.audiobuf, &s.junkpos,
                       &s.junksize, &s.chunksize, &s.chunkoff, &s.fps);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    g_os.replace = memory_replace;
    static const std::vector<uint8_t> wav = wavbytes();
    fuzz::Input in{data, size};
    uint8_t sw = in.byte();
    fuzz::serve(fuzz::kInputName, in.p, in.n);
    fuzz::serve("s.wav", wav.data(), wav.size());
    idxtablefree();
    aviscanreset();
    g_replaced = false;
    g_outs.clear();
    g_outs.reserve(4);

    bool adding = sw & 1;
    int r = adding ? aviappendwav(fuzz::kInputName, "s.wav", (uint8_t)(sw & 2)) : aviremovewav(fuzz::kInputName);
    FUZZ_CHECK(r == 0 || r == -1 || r == 2 || r == 3 || r == 4 || (adding && r == -7));
    FUZZ_CHECK(rfeof() != 0 && rwfeof() != 0 && wferr() != 0);
    if (!g_replaced) return 0;

    FUZZ_CHECK(r == 0);
    const std::vector<uint8_t>& out = g_outs.back();
    FUZZ_CHECK(!out.empty() && out.size() % 512 == 0);
    Scan s = scan(fuzz::kInputName);
    FUZZ_CHECK(s.result == 0);
    FUZZ_CHECK(aviscaninfo.avimovibad == 0 && aviscaninfo.avimovicount == 1);
    if (adding) {
        FUZZ_CHECK(s.hasaudio == 0xFF && aviscaninfo.avih.streams == 2 && aviscaninfo.aviaudsstrhcount == 1);
        FUZZ_CHECK(aviscaninfo.aviwavmovibytes == 40 + 8);
    } else {
        FUZZ_CHECK(s.hasaudio == 0 && aviscaninfo.avih.streams == 1 && aviscaninfo.avistrlcount == 1);
    }
    return 0;
}
