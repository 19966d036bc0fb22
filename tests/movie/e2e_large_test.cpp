// e2e_large_test.cpp - a real movie past 4 GB, written by the program as
// OpenDML and read back by ffprobe and ffmpeg, including frames on both
// sides of every segment boundary.
//
// It needs about 5 GB of disk and a minute, so it is disabled in the normal
// run; CTest runs it under the label "large" (tests/movie/CMakeLists.txt).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avi1_fixtures.h"
#include "e2e_util.h"
#include "riff.h"

#if !defined(_WIN32) && defined(RK_REELKILN_BIN)

namespace {

using namespace e2e;

constexpr int kW = 1920, kH = 1080;
constexpr int kImages = 5;     // distinct images, listed in turn
constexpr int kFrames = 700;   // 700 x 6220824 bytes: past 4 GB

std::string md5file(const fs::path& p, const fs::path& scratch) {
    fs::path out = scratch / ".md5";
    sh("md5sum " + quote(p.string()) + " > " + quote(out.string()), scratch);
    std::string s = slurp(out);
    fs::remove(out);
    return s.substr(0, 32);
}

TEST(E2eLarge, DISABLED_OpenDmlPastFourGigabytes) {
    testutil::TempDir tmp;
    const fs::path dir = tmp.path();
    // The movie (4.35 GB), its images and ffmpeg's reads need room on the
    // disk that holds the scene: say so at once rather than fill it.
    const uint64_t need = 6ull << 30;
    ASSERT_GE(fs::space(dir).available, need) << "the movie past 4 GB needs 6 GB free in " << dir;
    const fs::path bin = dir / "reelkiln";
    fs::copy_file(RK_REELKILN_BIN, bin);

    // The images and, from their known pixels, each one's frame as ffmpeg
    // must decode it (bgr24, top row first) and its MD5.
    std::vector<std::string> md5(kImages);
    std::vector<std::vector<uint8_t>> raw(kImages);
    for (int i = 0; i < kImages; i++) {
        moviefix::image im = moviefix::pattern(kW, kH, false, i);
        moviefix::writepng((dir / ("img" + std::to_string(i) + ".png")).string(), im);
        raw[i] = moviefix::shownframe(im, kW, kH, false);
        testutil::write_file(dir / ".frame", raw[i]);
        md5[i] = md5file(dir / ".frame", dir);
        fs::remove(dir / ".frame");
    }
    std::string list;
    for (int i = 0; i < kFrames; i++) list += "img" + std::to_string(i % kImages) + ".png\r\n";
    testutil::write_file(dir / "list.txt", list);
    wavspec ws;
    ws.channels = 2;
    ws.bits = 16;
    ws.rate = 44100;
    ws.datalen = 176400;
    wavfile wav = makewav(ws, 3);
    testutil::write_file(dir / "music.wav", wav.file);

    int rc = sh(quote(bin.string()) + " > " + quote((dir / "out.txt").string()) + " 2>&1", dir);
    std::string out = slurp(dir / "out.txt");
    ASSERT_EQ(rc, 0) << out.substr(out.size() > 3000 ? out.size() - 3000 : 0);
    EXPECT_NE(out.find("File size will be over 4 GB."), std::string::npos);
    EXPECT_EQ(out.find("!!!"), std::string::npos);
    EXPECT_NE(out.find(" Output   frames  700 \n"), std::string::npos);
    const fs::path movie = dir / "movie.avi";
    const uint64_t size = fs::file_size(movie);
    ASSERT_GT(size, 0x100000000ull);
    EXPECT_EQ(size % 512, 0u);

    // The segments, walked by their RIFF sizes.
    riff::source src = riff::file(movie.string());
    riff::layout L = riff::walk(src, {false, false});
    ASSERT_EQ(L.error, "");
    ASSERT_GE(L.top.size(), 5u);
    EXPECT_EQ(L.top[0].type, "AVI ");
    EXPECT_EQ(src.fcc(L.stop), "them");
    const uint64_t fs_ = (uint64_t)((kW * 3 + 3) & ~3) * kH;
    const riff::chunk* indx = L.top[0].at("hdrl/strl/indx");
    ASSERT_TRUE(indx);
    EXPECT_EQ(src.u32(indx->data() + 4), L.top.size());  // entries in use
    uint64_t total = 0;
    std::vector<uint64_t> firstframe;  // frame number that opens each segment
    for (size_t s = 0; s < L.top.size(); s++) {
        const riff::chunk& seg = L.top[s];
        EXPECT_LT(seg.size, 0x3FFFFFF0u) << s;
        if (s > 0) {
            EXPECT_EQ(seg.type, "AVIX") << s;
        }
        const riff::chunk* movi = seg.find("movi");
        ASSERT_TRUE(movi) << s;
        // The super index entry points at this segment's ix00.
        const uint64_t e = indx->data() + 24 + 16 * s;
        const uint64_t ix = src.u64(e);
        EXPECT_EQ(ix, movi->pos + 12) << s;
        EXPECT_EQ(src.fcc(ix), "ix00");
        const uint32_t k = src.u32(e + 12);
        EXPECT_EQ(src.u32(e + 8), 8 * k + 32);
        EXPECT_EQ(src.u32(ix + 12), k);
        // Its first and last entries name frame chunks of fs bytes.
        const uint64_t base = src.u64(ix + 20);
        for (uint32_t j : {0u, k - 1}) {
            const uint64_t data = base + src.u32(ix + 32 + 8 * j);
            EXPECT_EQ(src.fcc(data - 8), "00db") << s << "/" << j;
            EXPECT_EQ(src.u32(data - 4), fs_);
            EXPECT_EQ(src.u32(ix + 36 + 8 * j), fs_);
            // The bytes there are the frame's last row first: compare one row.
            std::vector<uint8_t> row = src.bytes(data, kW * 3);
            const std::vector<uint8_t>& want = raw[(total + j) % kImages];
            EXPECT_TRUE(std::equal(row.begin(), row.end(), want.end() - kW * 3)) << s << "/" << j;
        }
        firstframe.push_back(total);
        total += k;
    }
    EXPECT_EQ(total, (uint64_t)kFrames);

    // ffprobe counts every frame; ffmpeg decodes them all, in order.
    auto v = probe(movie, "v:0", dir);
    EXPECT_EQ(v["nb_read_packets"], std::to_string(kFrames));
    EXPECT_EQ(v["pix_fmt"], "bgr24");
    EXPECT_EQ(v["r_frame_rate"], "60/1");
    fs::path md5s = dir / ".framemd5";
    ASSERT_EQ(sh("ffmpeg -v error -nostdin -i " + quote(movie.string()) +
                     " -map 0:v:0 -pix_fmt bgr24 -f framemd5 -y " + quote(md5s.string()),
                 dir),
              0);
    std::istringstream in(slurp(md5s));
    std::string line;
    int frame = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::string got = line.substr(line.size() - 32);
        EXPECT_EQ(got, md5[frame % kImages]) << "frame " << frame;
        frame++;
    }
    EXPECT_EQ(frame, kFrames);
    EXPECT_EQ(ffmpegaudio(movie, 16, dir), wav.data);

    // Seeking: the two frames on each side of every segment boundary.
    for (size_t s = 1; s < firstframe.size(); s++) {
        const uint64_t f = firstframe[s];
        char ss[32];
        snprintf(ss, sizeof ss, "%.6f", ((double)f - 1 - 0.1) / 60.0);
        std::string cmd = "ffmpeg -v error -nostdin -ss " + std::string(ss) + " -i " + quote(movie.string()) +
                          " -map 0:v:0 -frames:v 2 -pix_fmt bgr24 -f framemd5 -y " + quote(md5s.string());
        ASSERT_EQ(sh(cmd, dir), 0);
        std::istringstream seg(slurp(md5s));
        std::vector<std::string> got;
        while (std::getline(seg, line))
            if (!line.empty() && line[0] != '#') got.push_back(line.substr(line.size() - 32));
        ASSERT_EQ(got.size(), 2u) << "boundary " << s;
        EXPECT_EQ(got[0], md5[(f - 1) % kImages]) << "frame " << f - 1;
        EXPECT_EQ(got[1], md5[f % kImages]) << "frame " << f;
    }
}

}  // namespace

#endif
