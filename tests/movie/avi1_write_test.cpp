// avi1_write_test.cpp - the AVI 1.0 writer end to end: real PNG files and
// WAVs in a scene directory, the movie walked chunk by chunk and compared
// with what the layout and the pixel rule say; then its refusals, the keys
// that stop it and a disk that fills.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "avi1_fixtures.h"
#include "fulldisk.h"
#include "movie/avi1.h"
#include "platform/platform.h"
#include "riff.h"
#include "stream/stream.h"

namespace {

using namespace moviefix;

// ---- Making a movie ---------------------------------------------------------------

struct soundin {
    bool file = false;            // a music.wav is there
    std::vector<uint8_t> wav;     // its bytes
    bool expect = false;          // the movie gets a sound chunk
    int ch = 0, bits = 0, rate = 0;
    std::vector<uint8_t> data;    // the bytes the sound chunk must hold
};

struct made {
    int r = 0;
    std::string out;
    std::vector<uint8_t> avi;
};

// Runs the writer at 60 fps on the scene's list.txt, with its music.wav when
// sound (the name is passed whether or not the file is there), by 8-bit or
// by wide names, into the scene's movie.avi or into the 8-bit path movie.
// The output is captured, and the movie's bytes kept when there is one.
made runavi1(const scene& sc, bool sound = false, bool wide = false, const char* movie = nullptr) {
    made m;
    m.out = capture([&] {
        if (wide) {
            m.r = mkavi1W(sc.pathW("movie.avi").c_str(), sc.pathW("list.txt").c_str(), 60.0f,
                          sound ? sc.pathW("music.wav").c_str() : u"");
        } else {
            m.r = mkavi1(movie ? movie : sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f,
                         sound ? sc.path("music.wav").c_str() : "");
        }
    });
    if (!movie && sc.exists("movie.avi")) m.avi = sc.get("movie.avi");
    return m;
}

// Writes the images as f0.png, f1.png, ... and a list naming them (or the
// given list text), the WAV when there is one, and runs the writer.
made makemovie(const scene& sc, const std::vector<image>& imgs, const soundin& snd, bool wide = false,
               const std::string* list = nullptr) {
    std::string text;
    for (size_t i = 0; i < imgs.size(); i++) {
        std::string name = std::string("f").append(std::to_string(i)).append(".png");
        sc.png(name, imgs[i]);
        text += name + "\r\n";
    }
    sc.put("list.txt", list ? *list : text);
    if (snd.file) sc.put("music.wav", snd.wav);
    return runavi1(sc, snd.file, wide);
}

// ---- Checking a movie -------------------------------------------------------------

std::vector<uint8_t> slice(const std::vector<uint8_t>& b, uint64_t p, uint64_t n) {
    return std::vector<uint8_t>(b.begin() + p, b.begin() + p + n);
}

// The whole layout of an AVI 1.0 movie of imgs (frames of the first
// image's size, at 60 fps) and snd, from the file's own bytes.
void checkmovie(const std::vector<uint8_t>& avi, const std::vector<image>& imgs, const soundin& snd) {
    ASSERT_FALSE(imgs.empty());
    const uint32_t n = (uint32_t)imgs.size();
    const int W = imgs[0].w, H = imgs[0].h;
    const bool A = imgs[0].alpha;
    const bool S = snd.expect;
    const uint64_t stride = A ? 4ull * W : (3ull * W + 3) & ~3ull;
    const uint64_t fs = stride * H;
    const uint64_t P = A ? 8824 : 2048, M = P - 4;
    const uint64_t datlen = S ? snd.data.size() : 0;
    const uint32_t ba = S ? (uint32_t)(snd.bits / 8 * snd.ch) : 0;

    const riff::source src = riff::memory(avi);
    riff::layout l = riff::walk(src);
    ASSERT_EQ(l.error, "") << "the chunks do not nest";
    ASSERT_EQ(l.top.size(), 1u);
    const riff::chunk& R = l.top[0];
    EXPECT_EQ(R.type, "AVI ");
    const uint64_t total = P + n * (fs + 24) + (S ? datlen + 24 : 0);
    EXPECT_EQ(R.size, total) << "RIFF size";

    // hdrl and avih
    const riff::chunk* hdrl = R.find("hdrl");
    ASSERT_NE(hdrl, nullptr);
    EXPECT_EQ(hdrl->pos, 12u);
    EXPECT_EQ(hdrl->size, (A ? 192u : 206u) + (S ? 116u : 0u));
    const riff::chunk* avih = hdrl->find("avih");
    ASSERT_NE(avih, nullptr);
    EXPECT_EQ(avih->pos, 24u);
    EXPECT_EQ(avih->size, 56u);
    EXPECT_EQ(src.u32(32), 16666u) << "dwMicroSecPerFrame";
    EXPECT_EQ(src.u32(36), (uint32_t)((float)(fs + 24) * 60.0f)) << "dwMaxBytesPerSec";
    EXPECT_EQ(src.u32(40), 0u);
    EXPECT_EQ(src.u32(44), A ? 0x10u : 0x810u) << "dwFlags";
    EXPECT_EQ(src.u32(48), n) << "dwTotalFrames";
    EXPECT_EQ(src.u32(52), 0u);
    EXPECT_EQ(src.u32(56), S ? 2u : 1u) << "dwStreams";
    EXPECT_EQ(src.u32(60), fs + 24) << "dwSuggestedBufferSize";
    EXPECT_EQ(src.u32(64), (uint32_t)W);
    EXPECT_EQ(src.u32(68), (uint32_t)H);
    for (int k = 72; k < 88; k++) EXPECT_EQ(avi[k], 0) << k;

    // The video stream list.
    const riff::chunk* vs = hdrl->find("strl", 0);
    ASSERT_NE(vs, nullptr);
    EXPECT_EQ(vs->pos, 88u);
    EXPECT_EQ(vs->size, A ? 116u : 130u);
    ASSERT_GE(vs->kids.size(), 2u);
    EXPECT_EQ(vs->kids[0].id, "strh");
    EXPECT_EQ(vs->kids[0].pos, 100u);
    EXPECT_EQ(src.fcc(108), "vids");
    EXPECT_EQ(src.u32(112), 0u);
    EXPECT_EQ(src.u32(128), 1001u) << "dwScale";
    EXPECT_EQ(src.u32(132), 60060u) << "dwRate";
    EXPECT_EQ(src.u32(140), n) << "dwLength";
    EXPECT_EQ(src.u32(144), fs + 24);
    EXPECT_EQ(src.u32(148), A ? 0u : 10000u) << "dwQuality";
    EXPECT_EQ(src.u16(160), A ? 0 : W) << "rcFrame.right";
    EXPECT_EQ(src.u16(162), A ? 0 : H) << "rcFrame.bottom";
    EXPECT_EQ(vs->kids[1].id, "strf");
    EXPECT_EQ(vs->kids[1].pos, 164u);
    EXPECT_EQ(vs->kids[1].size, 40u);
    EXPECT_EQ(src.u32(172), 40u);
    EXPECT_EQ(src.u32(176), (uint32_t)W);
    EXPECT_EQ(src.u32(180), (uint32_t)H) << "positive: bottom-up";
    EXPECT_EQ(src.u16(184), 1);
    EXPECT_EQ(src.u16(186), A ? 32 : 24);
    for (int k = 188; k < 212; k++) EXPECT_EQ(avi[k], 0) << k;
    if (A) {
        EXPECT_EQ(vs->kids.size(), 2u) << "no strn in 32-bit movies";
    } else {
        ASSERT_EQ(vs->kids.size(), 3u);
        EXPECT_EQ(vs->kids[2].id, "strn");
        EXPECT_EQ(vs->kids[2].pos, 212u);
        EXPECT_EQ(slice(avi, 220, 6), std::vector<uint8_t>({'V', 'I', 'D', 'E', 'O', 0}));
    }

    // The audio stream list.
    const uint64_t X = A ? 212 : 226;
    EXPECT_EQ(hdrl->count("strl"), S ? 2 : 1);
    if (S) {
        const riff::chunk* as = hdrl->find("strl", 1);
        ASSERT_NE(as, nullptr);
        EXPECT_EQ(as->pos, X);
        EXPECT_EQ(as->size, 108u);
        EXPECT_EQ(src.fcc(X + 12), "strh");
        EXPECT_EQ(src.fcc(X + 20), "auds");
        for (int k = 24; k < 40; k++) EXPECT_EQ(avi[X + k], 0);
        EXPECT_EQ(src.u32(X + 40), ba) << "dwScale";
        EXPECT_EQ(src.u32(X + 44), ba * (uint32_t)snd.rate) << "dwRate";
        EXPECT_EQ(src.u32(X + 52), datlen / snd.ch / (snd.bits / 8)) << "dwLength";
        EXPECT_EQ(src.u32(X + 56), datlen);
        EXPECT_EQ(src.u32(X + 60), 10000u);
        EXPECT_EQ(src.u32(X + 64), ba) << "dwSampleSize";
        EXPECT_EQ(src.fcc(X + 76), "strf");
        EXPECT_EQ(src.u32(X + 80), 18u);
        EXPECT_EQ(src.u16(X + 84), 1) << "always PCM";
        EXPECT_EQ(src.u16(X + 86), snd.ch);
        EXPECT_EQ(src.u32(X + 88), (uint32_t)snd.rate);
        EXPECT_EQ(src.u32(X + 92), ba * (uint32_t)snd.rate);
        EXPECT_EQ(src.u16(X + 96), ba);
        EXPECT_EQ(src.u16(X + 98), snd.bits);
        EXPECT_EQ(src.u16(X + 100), 0);
        EXPECT_EQ(src.fcc(X + 102), "strn");
        EXPECT_EQ(slice(avi, X + 110, 6), std::vector<uint8_t>({'A', 'U', 'D', 'I', 'O', 0}));
    }

    // The filler puts the first frame at P.
    const riff::chunk* junk = R.find(A ? "JUNQ" : "JUNK");
    ASSERT_NE(junk, nullptr);
    EXPECT_EQ(junk->pos, X + (S ? 116 : 0));
    EXPECT_EQ(junk->end(), P - 12);
    EXPECT_EQ(slice(avi, junk->data(), junk->size), std::vector<uint8_t>(junk->size, 0));

    // movi: the frames, then the sound.
    const riff::chunk* movi = R.find("movi");
    ASSERT_NE(movi, nullptr);
    EXPECT_EQ(movi->pos, P - 12);
    EXPECT_EQ(movi->size, 4 + n * (fs + 8) + (S ? datlen + 8 : 0));
    ASSERT_EQ(movi->kids.size(), n + (S ? 1u : 0u));
    for (size_t k = 0; k < n; k++) {
        const riff::chunk& c = movi->kids[k];
        EXPECT_EQ(c.id, A ? "00dc" : "00db");
        EXPECT_EQ(c.pos, P + k * (fs + 8));
        ASSERT_EQ(c.size, fs);
        EXPECT_TRUE(slice(avi, c.data(), fs) == expectframe(imgs[k], W, H, A)) << "frame " << k;
    }
    if (S) {
        const riff::chunk& c = movi->kids[n];
        EXPECT_EQ(c.id, "01wb");
        ASSERT_EQ(c.size, datlen);
        EXPECT_TRUE(slice(avi, c.data(), datlen) == snd.data) << "sound bytes";
    }

    // idx1: one entry per chunk of movi, offsets from the 'movi' fourcc.
    const riff::chunk* idx1 = R.find("idx1");
    ASSERT_NE(idx1, nullptr);
    ASSERT_EQ(R.kids.size(), 4u) << "hdrl, filler, movi, idx1";
    EXPECT_EQ(idx1->pos, movi->end());
    ASSERT_EQ(idx1->size, 16 * movi->kids.size());
    for (size_t k = 0; k < movi->kids.size(); k++) {
        const uint64_t e = idx1->data() + 16 * k;
        EXPECT_EQ(src.fcc(e), movi->kids[k].id);
        EXPECT_EQ(src.u32(e + 4), 0x10u);
        EXPECT_EQ(src.u32(e + 8), movi->kids[k].pos - M) << "entry " << k;
        EXPECT_EQ(src.u32(e + 12), movi->kids[k].size);
    }
    if (n > 0) { EXPECT_EQ(src.u32(idx1->data() + 8), 4u) << "the first frame's offset"; }

    // After the RIFF chunk: 'themewnd' (24-bit), then 1 to 512 zero bytes
    // up to a multiple of 512.
    uint64_t p = R.end();
    if (!A) {
        EXPECT_EQ(src.fcc(p), "them");
        EXPECT_EQ(src.fcc(p + 4), "ewnd");
        p += 8;
    }
    ASSERT_LT(p, avi.size());
    EXPECT_EQ(avi.size() % 512, 0u);
    EXPECT_LE(avi.size() - p, 512u);
    EXPECT_EQ(slice(avi, p, avi.size() - p), std::vector<uint8_t>(avi.size() - p, 0));
}

// A movie stopped after k frames is the first P + k (fs + 8) bytes of the
// complete movie: the same header (announcing every frame), the same frames.
void checkpartial(const std::vector<uint8_t>& partial, const std::vector<uint8_t>& complete,
                  const std::vector<image>& imgs, uint32_t k) {
    const bool A = imgs[0].alpha;
    const uint64_t stride = A ? 4ull * imgs[0].w : (3ull * imgs[0].w + 3) & ~3ull;
    const uint64_t len = (A ? 8824 : 2048) + k * (stride * imgs[0].h + 8);
    ASSERT_EQ(partial.size(), len);
    ASSERT_GE(complete.size(), len);
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), complete.begin()));
}

soundin pcm(int ch, int bits, int rate, size_t bytes, bool preamble = false) {
    soundin s;
    s.file = true;
    s.data = samples(bytes, ch * 3 + bits);
    s.wav = pcmwav((uint16_t)ch, (uint32_t)rate, (uint16_t)bits, s.data, preamble);
    s.expect = true;
    s.ch = ch;
    s.bits = bits;
    s.rate = rate;
    return s;
}

// ---- Movies that are made -----------------------------------------------------------

struct MovieCase {
    const char* name;
    std::vector<image> imgs;
    soundin snd;
    bool wide;
};

std::vector<MovieCase> moviecases() {
    soundin extra = pcm(2, 16, 44100, 4000);
    extra.wav = wavfile({chunkbytes("JUNK", {1, 2, 3}), chunkbytes("fmt ", fmtdata(1, 2, 44100, 16, 18)),
                         chunkbytes("LIST", {'I', 'N', 'F', 'O', 'x'}, true),
                         chunkbytes("fact", {0, 4, 0, 0}), chunkbytes("data", extra.data),
                         chunkbytes("abcd", {9, 9})});
    soundin nonpcm = pcm(1, 16, 8000, 600);
    nonpcm.wav = wavfile({chunkbytes("fmt ", fmtdata(3, 1, 8000, 16)), chunkbytes("data", nonpcm.data)});
    return {
        {"one_pixel_24", {pattern(1, 1, false, 1)}, {}, false},
        {"odd_width_24", {pattern(5, 3, false, 1), pattern(5, 3, false, 2), pattern(5, 3, false, 3)}, {}, false},
        {"alpha_32", {pattern(4, 3, true, 4), pattern(4, 3, true, 5)}, {}, false},
        {"later_larger_cropped_24", {pattern(4, 3, false, 6), pattern(7, 5, false, 7)}, {}, false},
        {"later_smaller_white_24", {pattern(6, 5, false, 8), pattern(3, 2, false, 9)}, {}, false},
        {"later_smaller_white_32", {pattern(6, 5, true, 8), pattern(3, 2, true, 9), pattern(9, 1, true, 3)}, {}, false},
        // The writer keeps its planes while frames keep their size: sizes
        // that change and come back, each frame with its own pixels.
        {"sizes_change_and_return_32", {pattern(6, 5, true, 1), pattern(3, 2, true, 2), pattern(3, 2, true, 3),
                                        pattern(6, 5, true, 4), pattern(7, 1, false, 5), pattern(6, 5, true, 6)}, {}, false},
        {"rgb_frames_in_alpha_movie", {pattern(3, 3, true, 1), pattern(3, 3, false, 2)}, {}, false},
        {"sound_16bit_stereo", {pattern(3, 2, false, 1), pattern(3, 2, false, 2)}, pcm(2, 16, 44100, 4000), false},
        {"sound_8bit_mono_odd", {pattern(3, 2, false, 1)}, pcm(1, 8, 8000, 999), false},
        {"sound_preamble_32", {pattern(2, 2, true, 1)}, pcm(1, 16, 22050, 1000, true), false},
        {"sound_extra_chunks", {pattern(2, 2, false, 1)}, extra, false},
        {"sound_nonpcm_tag_declared_pcm", {pattern(2, 2, false, 1)}, nonpcm, false},
        {"wide_paths", {pattern(5, 2, false, 1), pattern(5, 2, false, 2)}, pcm(2, 8, 11025, 301), true},
        {"wide_paths_32", {pattern(2, 3, true, 1)}, {}, true},
    };
}

class Avi1Writes : public testing::TestWithParam<MovieCase> {};
void PrintTo(const MovieCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Avi1Writes, LayoutFramesAndSound) {
    const MovieCase& c = GetParam();
    scene sc(c.wide ? "d\xc3\xa9j\xc3\xa0 \xe6\x98\xa0\xe5\x83\x8f" : "");  // a non-ASCII directory for wide runs
    made m = makemovie(sc, c.imgs, c.snd, c.wide);
    ASSERT_EQ(m.r, 0) << m.out;
    checkmovie(m.avi, c.imgs, c.snd);
    EXPECT_NE(m.out.find("  => " + std::to_string(c.imgs.size()) + " frames. \n"), std::string::npos) << m.out;
    EXPECT_EQ(m.out.find("Disk Full"), std::string::npos);
    EXPECT_NE(wferr(), 0) << "WR left open";
    EXPECT_NE(rwfeof(), 0) << "RD2 left open";
}

INSTANTIATE_TEST_SUITE_P(Cases, Avi1Writes, testing::ValuesIn(moviecases()),
                         [](const testing::TestParamInfo<MovieCase>& i) { return std::string(i.param.name); });

TEST(Avi1WritesWorked, OnePixelMovieIs2560Bytes) {
    scene sc;
    made m = makemovie(sc, {pattern(1, 1, false, 1)}, {});
    ASSERT_EQ(m.r, 0);
    ASSERT_EQ(m.avi.size(), 2560u);
    const riff::source src = riff::memory(m.avi);
    EXPECT_EQ(src.u32(4), 2076u);
    EXPECT_EQ(src.fcc(2048), "00db");
    EXPECT_EQ(src.fcc(2084), "them");
}

TEST(Avi1WritesWorked, MessagesOfARun) {
    scene sc;
    std::vector<image> imgs = {pattern(4, 3, false, 1), pattern(5, 2, false, 2)};
    made m = makemovie(sc, imgs, pcm(1, 16, 8000, 100));
    ASSERT_EQ(m.r, 0);
    for (const char* line : {"1:  f0.png \n", "2:  f1.png \n", "  => 2 frames. \n",
                             "  => f0.png : (4,3) 8-bit  RGB planes only. \n", "wav datlen = 100 \n",
                             "1/2:  f0.png  ", "2/2:  f1.png  ", " != pngsizex= 5 \n",
                             " != pngsizey= 2 \n", "Opening WAV(A): "}) {
        EXPECT_NE(m.out.find(line), std::string::npos) << "missing: " << line << "\n" << m.out;
    }
}

// Comments, an over-long line and a last line without a line end: the
// frames are the valid names, in order.
TEST(Avi1WritesWorked, ListWithCommentsAndInvalidLines) {
    scene sc;
    std::vector<image> imgs = {pattern(2, 2, false, 1), pattern(2, 2, false, 2)};
    std::string list = "//title\r\nf0.png\r\n" + std::string(70, 'x') + "\r\nf1.png";
    made m = makemovie(sc, imgs, {}, false, &list);
    ASSERT_EQ(m.r, 0) << m.out;
    checkmovie(m.avi, imgs, {});
}

// ---- Sounds that are left out or cut --------------------------------------------------

// Sounds the stream headers cannot declare: left out, with the reason.
struct LeftOutCase {
    const char* name;
    std::vector<uint8_t> wav;
    const char* line;
};

std::vector<LeftOutCase> leftout() {
    auto d = chunkbytes("data", samples(100));
    return {
        {"fewer_than_8_bits", wavfile({chunkbytes("fmt ", fmtdata(1, 1, 8000, 4)), d}),
         "WAV has 4 bits per sample, fewer than 8: the movie is made without sound. \n"},
        {"no_fmt_no_channels", wavfile({d}), "WAV has no channels (0): the movie is made without sound. \n"},
        {"zero_rate", wavfile({chunkbytes("fmt ", fmtdata(1, 2, 0, 16)), d}),
         "WAV sample rate 0 does not fit a stream header: the movie is made without sound. \n"},
        {"byte_rate_past_32_bits", wavfile({chunkbytes("fmt ", fmtdata(1, 8, 0x7FFFFFFF, 32)), d}),
         "WAV sample rate 2147483647 does not fit a stream header: the movie is made without sound. \n"},
        {"block_past_16_bits", wavfile({chunkbytes("fmt ", fmtdata(1, 30000, 8000, 24)), d}),
         "WAV sample frame of 90000 bytes does not fit a stream header: the movie is made without "
         "sound. \n"},
        // The 16-bit fields are unsigned: 0xFFFF is 65535, not -1.
        {"channels_ffff", wavfile({chunkbytes("fmt ", fmtdata(1, 0xFFFF, 8000, 16)), d}),
         "WAV sample frame of 131070 bytes does not fit a stream header: the movie is made without "
         "sound. \n"},
        {"bits_ffff", wavfile({chunkbytes("fmt ", fmtdata(1, 9, 8000, 0xFFFF)), d}),
         "WAV sample frame of 73719 bytes does not fit a stream header: the movie is made without "
         "sound. \n"},
    };
}

class Avi1SoundLeftOut : public testing::TestWithParam<LeftOutCase> {};
void PrintTo(const LeftOutCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Avi1SoundLeftOut, MovieWithoutSound) {
    const LeftOutCase& c = GetParam();
    scene sc;
    soundin s;
    s.file = true;
    s.wav = c.wav;
    std::vector<image> imgs = {pattern(2, 2, false, 1)};
    made m = makemovie(sc, imgs, s);
    ASSERT_EQ(m.r, 0) << m.out;
    checkmovie(m.avi, imgs, {});
    EXPECT_NE(m.out.find(c.line), std::string::npos) << m.out;
}

INSTANTIATE_TEST_SUITE_P(Cases, Avi1SoundLeftOut, testing::ValuesIn(leftout()),
                         [](const testing::TestParamInfo<LeftOutCase>& i) { return std::string(i.param.name); });

TEST(Avi1Sound, MissingWavIsNoSound) {
    scene sc;
    std::vector<image> imgs = {pattern(2, 2, false, 1)};
    sc.put("list.txt", std::string_view("f0.png\r\n"));
    sc.png("f0.png", imgs[0]);
    made m = runavi1(sc, true);
    ASSERT_EQ(m.r, 0) << m.out;
    checkmovie(sc.get("movie.avi"), imgs, {});
}

// The data chunk says 5000 bytes, the file holds 1234 of them: the movie
// takes the 1234, and every size and the index agree with its bytes.
TEST(Avi1Sound, WavShorterThanItsDataChunk) {
    scene sc;
    soundin s = pcm(2, 16, 44100, 1234);
    s.wav = wavfile({chunkbytes("fmt ", fmtdata(1, 2, 44100, 16)), chunkbytes("data", s.data, false, 5000)});
    std::vector<image> imgs = {pattern(3, 2, false, 1), pattern(3, 2, false, 2)};
    made m = makemovie(sc, imgs, s);
    ASSERT_EQ(m.r, 0) << m.out;
    checkmovie(m.avi, imgs, s);
    EXPECT_NE(m.out.find("WAV data chunk declares 5000 bytes, the file holds 1234: using those. \n"),
              std::string::npos)
        << m.out;
}

// A sound of nearly 4 GB (a sparse file: it takes no room) is read with its
// true length and pushes the movie past 4 GB: refused before anything is
// created, never written with wrapped sizes.
TEST(Avi1Sound, HugeSoundRefusedBeforeTheFileIsMade) {
    scene sc;
    const uint32_t datlen = 0xFFFFFF00u;  // the RIFF size still fits in 32 bits
    std::vector<uint8_t> head =
        wavfile({chunkbytes("fmt ", fmtdata(1, 2, 48000, 16))}, false, 4 + 24 + 8 + (int64_t)datlen);
    head.insert(head.end(), {'d', 'a', 't', 'a'});
    le32(head, datlen);
    sc.put("music.wav", head);
    std::filesystem::resize_file(fspath(sc.path("music.wav")), head.size() + (uint64_t)datlen);
    sc.png("f0.png", pattern(1, 1, false, 1));
    sc.put("list.txt", std::string_view("f0.png\r\n"));
    made m = runavi1(sc, true);
    EXPECT_EQ(m.r, -7) << m.out;
    EXPECT_NE(m.out.find("wav datlen = 4294967040 \n"), std::string::npos) << m.out;
    EXPECT_FALSE(sc.exists("movie.avi"));
}

// ---- Refusals ---------------------------------------------------------------------------

TEST(Avi1Refuses, MissingListedImage) {
    scene sc;
    sc.png("f0.png", pattern(2, 2, false, 1));
    sc.put("list.txt", std::string_view("f0.png\r\nnot here.png\r\nf0.png\r\n"));
    made m = runavi1(sc);
    EXPECT_EQ(m.r, -6);
    EXPECT_STREQ(badpngname, "not here.png");
    EXPECT_EQ(std::u16string(badpngnameW), u"not here.png");
    EXPECT_FALSE(sc.exists("movie.avi")) << "nothing is created before the checks";
    EXPECT_NE(m.out.find("1:  f0.png \n"), std::string::npos);

    // The next run empties the name first.
    sc.put("list.txt", std::string_view("f0.png\r\n"));
    m = runavi1(sc);
    EXPECT_EQ(m.r, 0);
    EXPECT_STREQ(badpngname, "");
}

TEST(Avi1Refuses, ImageThatDoesNotDecode) {
    scene sc;
    std::vector<image> imgs = {pattern(2, 2, false, 1)};
    sc.png("f0.png", imgs[0]);
    std::vector<uint8_t> broken = pngheader(2, 2, false);
    broken.resize(broken.size() + 40, 0x55);
    sc.put("bad.png", broken);
    sc.put("list.txt", std::string_view("f0.png\r\nbad.png\r\n"));
    made m = runavi1(sc);
    EXPECT_EQ(m.r, -6);
    EXPECT_STREQ(badpngname, "bad.png");
    EXPECT_NE(m.out.find("PNG load failed. (-2)\n"), std::string::npos) << m.out;
    EXPECT_NE(m.out.find("Memory released. \n"), std::string::npos);
    EXPECT_NE(m.out.find("Aborted. \n"), std::string::npos);
    // The partial file stays, with its first frame.
    std::vector<uint8_t> partial = sc.get("movie.avi");
    scene whole;
    std::vector<image> both = {imgs[0], imgs[0]};
    made c = makemovie(whole, both, {});
    ASSERT_EQ(c.r, 0);
    checkpartial(partial, c.avi, both, 1);
}

struct FirstCase {
    const char* name;
    std::string list;
    std::vector<uint8_t> first;  // the bytes of a.png (empty: none written)
    int want;
    const char* line;
};

class Avi1RefusesFirst : public testing::TestWithParam<FirstCase> {};
void PrintTo(const FirstCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Avi1RefusesFirst, NothingCreated) {
    const FirstCase& c = GetParam();
    scene sc;
    if (!c.first.empty()) sc.put("a.png", c.first);
    sc.put("list.txt", c.list);
    made m = runavi1(sc);
    EXPECT_EQ(m.r, c.want) << m.out;
    EXPECT_NE(m.out.find(c.line), std::string::npos) << m.out;
    EXPECT_FALSE(sc.exists("movie.avi"));
}

std::vector<FirstCase> firstcases() {
    std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'};
    return {
        {"empty_list", "", {}, 2, "Sorry. This Folder does not support access in ANSI/UTF-8 mode. \n"},
        {"only_comments", "//a.png\r\n", {}, 2, "Could not open in ANSI/UTF-8 mode. \n"},
        {"not_a_png", "a.png\r\n", text, 3, "Sorry. Cannot access in PNG file(s) in ANSI/UTF-8 mode. \n"},
        // 40000 x 40000 x 3 bytes: past 4 GB in one frame.
        {"over_4gb", "a.png\r\n", pngheader(40000, 40000, false), -7,
         "File size will be over 4 GB.  Cannot create file. \n"},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, Avi1RefusesFirst, testing::ValuesIn(firstcases()),
                         [](const testing::TestParamInfo<FirstCase>& i) { return std::string(i.param.name); });

// 4661 frames of 640 x 480 at 24 bits pass 4 GB; 4660 would not.  Nothing
// is created, and no image is decoded on the way.
TEST(Avi1Refuses, FourGigabytesByFrameCount) {
    scene sc;
    sc.put("a.png", pngheader(640, 480, false));
    std::string list;
    for (int i = 0; i < 4661; i++) list += "a.png\r\n";
    sc.put("list.txt", list);
    made m = runavi1(sc);
    EXPECT_EQ(m.r, -7);
    EXPECT_FALSE(sc.exists("movie.avi"));
}

TEST(Avi1Refuses, OutputCannotBeCreated) {
    scene sc;
    sc.png("f0.png", pattern(2, 2, false, 1));
    sc.put("list.txt", std::string_view("f0.png\r\n"));
    made m = runavi1(sc, false, false, sc.path("no such dir/movie.avi").c_str());
    EXPECT_EQ(m.r, -1);
}

// The WAV scans, but cannot be opened again for the copy.
os_api g_saved;
FILE* fopen_no_wav_while_writing(const char* name, const char* mode) {
    std::string n(name);
    if (wferr() == 0 && n.size() >= 9 && n.compare(n.size() - 9, 9, "music.wav") == 0) return nullptr;
    return g_saved.fopen(name, mode);
}

TEST(Avi1Refuses, WavGoneBeforeTheCopy) {
    scene sc;
    std::vector<image> imgs = {pattern(2, 2, false, 1)};
    g_saved = g_os;
    g_os.fopen = fopen_no_wav_while_writing;
    made m = makemovie(sc, imgs, pcm(1, 8, 8000, 50));
    g_os.fopen = g_saved.fopen;
    EXPECT_EQ(m.r, -4);
    EXPECT_NE(m.out.find("Cannot open (RD(2)) for appending WAV to AVI (-1).\n"), std::string::npos) << m.out;
    EXPECT_NE(wferr(), 0) << "WR left open";
}

// ---- Keys ------------------------------------------------------------------------------

struct keyplan {
    int key = 0;
    int at = 0;             // deliver on this poll (1 = the first)
    int64_t afterpos = -1;  // or on the first poll once WR has passed this position
    int calls = 0;
};
keyplan g_keys;

int scripted_key(int* key) {
    g_keys.calls++;
    bool now = g_keys.at ? g_keys.calls == g_keys.at : false;
    if (g_keys.afterpos >= 0 && wferr() == 0) {
        int64_t p = 0;
        wfgetpos64(&p);
        if (p >= g_keys.afterpos) {
            now = true;
            g_keys.afterpos = -1;
        }
    }
    if (!now) return 0;
    *key = g_keys.key;
    return 1;
}

struct KeyCase {
    const char* name;
    int nimgs;
    int key, at;
    bool afterfirst;  // deliver after the first frame chunk
    int want;
    int framesleft;   // frame chunks in the partial file; -1 the whole movie, -2 no file
};

// The first poll is the one just before the file is created; the first
// frame's is the second.
const KeyCase kKeys[] = {
    {"esc_before_the_file", 3, 27, 1, false, 27, -2},
    {"ctrl_c_before_the_file", 3, 3, 1, false, 3, -2},
    {"esc_before_first_frame", 3, 27, 2, false, 27, 0},
    {"ctrl_c_before_first_frame", 3, 3, 2, false, 3, 0},
    {"esc_after_first_frame", 3, 27, 0, true, 27, 1},
    {"ctrl_c_after_first_frame", 3, 3, 0, true, 3, 1},
    // One frame: its own poll is the second, so the third is the loader's.
    {"esc_inside_the_loader", 1, 27, 3, false, 27, 0},
    {"ctrl_c_inside_the_loader", 1, 3, 3, false, 3, 0},
    {"other_key_ignored_before_the_file", 2, 'x', 1, false, 0, -1},
    {"other_key_ignored", 2, 'x', 2, false, 0, -1},
};

class Avi1Keys : public testing::TestWithParam<KeyCase> {};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Avi1Keys, StopOrGoOn) {
    const KeyCase& c = GetParam();
    scene sc;
    std::vector<image> imgs;
    for (int i = 0; i < c.nimgs; i++) imgs.push_back(pattern(3, 4, false, i));
    g_keys = keyplan{};
    g_keys.key = c.key;
    g_keys.at = c.at;
    if (c.afterfirst) g_keys.afterpos = 2048 + 8 + 48;  // past the first 3 x 4 frame chunk
    g_os.console_event = scripted_key;
    made m = makemovie(sc, imgs, {});
    EXPECT_EQ(m.r, c.want) << m.out;
    EXPECT_STREQ(badpngname, "") << "a stop is not a missing image";
    EXPECT_EQ(m.out.find("PNG load failed"), std::string::npos) << m.out;
    EXPECT_NE(wferr(), 0) << "WR left open";
    if (c.framesleft == -2) {
        EXPECT_FALSE(sc.exists("movie.avi")) << "a stop before the file creates none";
        EXPECT_EQ(m.out.find("1/"), std::string::npos) << m.out;
    } else if (c.framesleft < 0) {
        checkmovie(m.avi, imgs, {});
    } else {
        // The partial movie announces all frames and holds the ones written.
        g_os.console_event = os_native.console_event;
        scene whole;
        made full = makemovie(whole, imgs, {});
        ASSERT_EQ(full.r, 0);
        checkpartial(m.avi, full.avi, imgs, (uint32_t)c.framesleft);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Avi1Keys, testing::ValuesIn(kKeys),
                         [](const testing::TestParamInfo<KeyCase>& i) { return std::string(i.param.name); });

// ---- A disk that fills -----------------------------------------------------------------

// makemovie with a disk of room bytes behind both name modes for the run.
made makemovie_on(uint64_t room, bool shortcount, const scene& sc, const std::vector<image>& imgs,
                  const soundin& snd, bool wide) {
    fulldisk::Use disk(room, shortcount);
    return makemovie(sc, imgs, snd, wide);
}

// The movie of two frames with sound, by 16-bit names (system handles) and
// by 8-bit names (the runtime's FILE calls): every cut from the first byte
// to the last fails the run; a cut anywhere after the sound (index, trailer,
// fill, the final flush) is reported as a full disk with -1, never as a
// saved movie.
TEST(Avi1DiskFull, EveryCutFails) {
    std::vector<image> imgs = {pattern(30, 20, false, 1), pattern(30, 20, false, 2)};
    soundin snd = pcm(2, 16, 8000, 3000);
    uint64_t len = 0, soundend = 0;
    {
        scene sc;
        made m = makemovie(sc, imgs, snd, true);
        ASSERT_EQ(m.r, 0) << m.out;
        len = m.avi.size();
        riff::layout l = riff::walk(riff::memory(m.avi));
        ASSERT_EQ(l.error, "");
        soundend = l.top[0].find("movi")->end();
    }
    std::vector<uint64_t> cuts = {0, 1, 3, 4, 11, 100, 2047, 2048, 2060, 3000, soundend - 3000, soundend - 1,
                                  soundend, soundend + 10, len - 520, len - 200, len - 1};
    for (bool wide : {true, false}) {
        for (bool shortcount : {false, true}) {
            if (!wide && shortcount) continue;  // the runtime has no short count of its own
            for (uint64_t cut : cuts) {
                SCOPED_TRACE("cut at " + std::to_string(cut) + (shortcount ? " (short count)" : " (failure)") +
                             (wide ? ", 16-bit names" : ", 8-bit names"));
                scene sc;
                made m = makemovie_on(cut, shortcount, sc, imgs, snd, wide);
                EXPECT_NE(m.r, 0) << m.out;
                EXPECT_NE(wferr(), 0) << "WR left open";
                if (cut >= soundend) {
                    EXPECT_EQ(m.r, -1) << m.out;
                    EXPECT_NE(m.out.find("*** Disk Full *** \n"), std::string::npos) << m.out;
                }
            }
        }
        // Exactly enough room: the movie is made.
        SCOPED_TRACE(wide ? "16-bit names" : "8-bit names");
        scene sc;
        made m = makemovie_on(len, false, sc, imgs, snd, wide);
        EXPECT_EQ(m.r, 0) << m.out;
        checkmovie(m.avi, imgs, snd);
    }
}

#ifndef _WIN32
// 8-bit paths go through the C runtime, whose buffer holds a small movie
// whole: the full disk only shows when it is written out at the close.
TEST(Avi1DiskFull, DevFullInRuntimeMode) {
    scene sc;
    sc.png("f0.png", pattern(1, 1, false, 1));
    sc.put("list.txt", std::string_view("f0.png\r\n"));
    made m = runavi1(sc, false, false, "/dev/full");
    EXPECT_EQ(m.r, -1) << m.out;
    EXPECT_NE(m.out.find("*** Disk Full *** \n"), std::string::npos) << m.out;
    EXPECT_NE(wferr(), 0);
}
#endif

}  // namespace
