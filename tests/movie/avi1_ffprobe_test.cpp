// avi1_ffprobe_test.cpp - AVI 1.0 movies judged by an independent reader:
// ffprobe must see the streams we declare, and every frame and sample that
// ffmpeg decodes must equal what we put in.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "avi1_fixtures.h"
#include "movie/avi1.h"

#ifndef _WIN32  // the readers are Linux programs; the Windows build under wine skips these

namespace {

using namespace moviefix;

// Runs a shell command, its standard output into a file; its exit status.
int sh(const std::string& cmd, const std::string& out) {
    std::string line = cmd + " >'" + out + "' 2>'" + out + ".err'";
    return std::system(line.c_str());
}

// ffprobe's view of each stream: key=value pairs.
std::vector<std::map<std::string, std::string>> probe(const scene& sc, const std::string& movie) {
    std::string out = sc.path("probe.txt");
    int r = sh("ffprobe -v error -show_entries "
               "stream=codec_type,codec_name,pix_fmt,width,height,nb_frames,r_frame_rate,"
               "sample_rate,channels,bits_per_sample -of default=noprint_wrappers=1 '" + movie + "'",
               out);
    EXPECT_EQ(r, 0) << "ffprobe failed (is ffmpeg installed? tools/deps.sh installs it)";
    std::vector<std::map<std::string, std::string>> streams;
    std::vector<uint8_t> text = testutil::read_file(out);
    std::istringstream in(std::string(text.begin(), text.end()));
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string k = line.substr(0, eq), v = line.substr(eq + 1);
        if (k == "codec_name") streams.emplace_back();  // the first key of each stream
        if (!streams.empty()) streams.back()[k] = v;
    }
    return streams;
}

struct ProbeCase {
    const char* name;
    std::vector<image> imgs;
    float fps;
    int ch, bits, rate;  // ch 0: no sound
    size_t soundbytes;
    const char* rate_seen;
};

const ProbeCase kProbes[] = {
    {"bgr24_odd_width_s16_stereo",
     {pattern(5, 4, false, 1), pattern(5, 4, false, 2), pattern(5, 4, false, 3)},
     60.0f, 2, 16, 44100, 4000, "60/1"},
    {"bgra_u8_mono", {pattern(6, 3, true, 4), pattern(6, 3, true, 5)}, 60.0f, 1, 8, 8000, 1000, "60/1"},
    {"cropped_and_white_at_30",
     {pattern(7, 5, false, 6), pattern(9, 9, false, 7), pattern(2, 3, false, 8)},
     30.0f, 0, 0, 0, 0, "30/1"},
    {"alpha_cropped_and_white", {pattern(4, 4, true, 6), pattern(2, 1, true, 7), pattern(8, 8, true, 8)},
     60.0f, 0, 0, 0, 0, "60/1"},
};

class Avi1Ffprobe : public testing::TestWithParam<ProbeCase> {};
void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Avi1Ffprobe, ReadsWhatWeWrote) {
    const ProbeCase& c = GetParam();
    scene sc;
    std::string list;
    for (size_t i = 0; i < c.imgs.size(); i++) {
        sc.png("f" + std::to_string(i) + ".png", c.imgs[i]);
        list += "f" + std::to_string(i) + ".png\r\n";
    }
    sc.put("list.txt", list);
    std::vector<uint8_t> data = samples(c.soundbytes, 7);
    if (c.ch) sc.put("music.wav", pcmwav((uint16_t)c.ch, (uint32_t)c.rate, (uint16_t)c.bits, data));
    int r = -100;
    std::string out = capture([&] {
        r = mkavi1(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), c.fps,
                   c.ch ? sc.path("music.wav").c_str() : "");
    });
    ASSERT_EQ(r, 0) << out;

    const int W = c.imgs[0].w, H = c.imgs[0].h;
    const bool A = c.imgs[0].alpha;
    auto streams = probe(sc, sc.path("movie.avi"));
    ASSERT_EQ(streams.size(), c.ch ? 2u : 1u);
    auto& v = streams[0];
    EXPECT_EQ(v["codec_type"], "video");
    EXPECT_EQ(v["codec_name"], "rawvideo");
    EXPECT_EQ(v["pix_fmt"], A ? "bgra" : "bgr24");
    EXPECT_EQ(v["width"], std::to_string(W));
    EXPECT_EQ(v["height"], std::to_string(H));
    EXPECT_EQ(v["nb_frames"], std::to_string(c.imgs.size()));
    EXPECT_EQ(v["r_frame_rate"], c.rate_seen);
    if (c.ch) {
        auto& a = streams[1];
        EXPECT_EQ(a["codec_type"], "audio");
        EXPECT_EQ(a["codec_name"], c.bits == 8 ? "pcm_u8" : "pcm_s16le");
        EXPECT_EQ(a["channels"], std::to_string(c.ch));
        EXPECT_EQ(a["sample_rate"], std::to_string(c.rate));
        EXPECT_EQ(a["bits_per_sample"], std::to_string(c.bits));
    }

    // Every frame, decoded by ffmpeg.
    std::vector<uint8_t> got = e2e::ffmpegframes(sc.path("movie.avi"), A ? "bgra" : "bgr24", sc.root());
    std::vector<uint8_t> want;
    for (const image& im : c.imgs) {
        std::vector<uint8_t> f = shownframe(im, W, H, A);
        want.insert(want.end(), f.begin(), f.end());
    }
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want) << "frames differ";

    // The sound, as ffmpeg demuxes it: the WAV's data bytes.
    if (c.ch) {
        EXPECT_TRUE(e2e::ffmpegaudio(sc.path("movie.avi"), c.bits, sc.root()) == data) << "sound differs";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Avi1Ffprobe, testing::ValuesIn(kProbes),
                         [](const testing::TestParamInfo<ProbeCase>& i) { return std::string(i.param.name); });

}  // namespace

#endif
