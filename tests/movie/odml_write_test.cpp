// odml_write_test.cpp - the OpenDML writer run in-process on small scenes:
// the file's layout walked chunk by chunk, its indexes followed to the
// bytes they name, the same file read by ffprobe and ffmpeg, and the
// writer's failures (keys, a full disk, a sound that vanished, a frame too
// large for a segment).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avi1_fixtures.h"
#include "e2e_util.h"
#include "fulldisk.h"
#include "movie/odml.h"
#include "movie/writer.h"
#include "platform/platform.h"
#include "riff.h"
#include "stream/stream.h"

namespace {

using moviefix::capture;
using moviefix::image;
using moviefix::scene;

// "<prefix><i>.png"
std::string numbered(const char* prefix, size_t i) {
    char b[64];
    snprintf(b, sizeof b, "%s%zu.png", prefix, i);
    return b;
}

struct Case {
    const char* name;
    bool alpha;
    int w, h;                    // the first image
    std::vector<std::pair<int, int>> later;  // sizes of the later images
    bool sound;
    uint16_t ch, bits;
    uint32_t rate, datlen;
    int repeat = 0;              // more frames of the first image's size
    uint32_t limit = 0;          // the segment limit (0: the full one)
    size_t segments = 1;         // RIFF segments the movie must have
};

const Case kCases[] = {
    {"rgb_nosound", false, 13, 7, {{13, 7}, {20, 3}, {5, 9}, {13, 7}}, false, 0, 0, 0, 0},
    {"rgb_sound_odd", false, 10, 6, {{10, 6}, {10, 6}}, true, 1, 8, 8000, 1001},
    {"rgba_nosound", true, 9, 9, {{4, 4}, {9, 9}, {12, 12}}, false, 0, 0, 0, 0},
    {"rgba_sound", true, 8, 5, {{8, 5}, {8, 5}, {8, 5}}, true, 2, 16, 22050, 4000},
    // Segments of a few kilobytes: the first holds 8 frames, every later
    // one 18, the last what is left; the super index names all four.
    {"rgb_four_segments", false, 10, 6, {{20, 3}, {5, 9}}, false, 0, 0, 0, 0, 57, 4000, 4},
    // The sound stays in the first segment, the frames go on in two more.
    {"rgba_sound_three_segments", true, 8, 5, {{8, 5}, {3, 3}}, true, 1, 8, 8000, 1001, 97, 12000, 3},
};

// The segment limit for one test, put back when it ends.
struct limitguard {
    explicit limitguard(uint32_t l) { odmlrifflimit = l ? l : ODML_RIFF_LIMIT; }
    ~limitguard() { odmlrifflimit = ODML_RIFF_LIMIT; }
};

class OdmlWrite : public ::testing::TestWithParam<Case> {};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }


TEST_P(OdmlWrite, LayoutIndexesAndContent) {
    const Case& c = GetParam();
    limitguard lg(c.limit);
    scene sc;
    std::vector<image> imgs = {moviefix::pattern(c.w, c.h, c.alpha, 0)};
    for (size_t i = 0; i < c.later.size(); i++)
        imgs.push_back(moviefix::pattern(c.later[i].first, c.later[i].second, c.alpha && i % 2 == 0, (int)i + 1));
    for (int i = 0; i < c.repeat; i++) imgs.push_back(moviefix::pattern(c.w, c.h, c.alpha, 100 + i));
    std::string list;
    for (size_t i = 0; i < imgs.size(); i++) {
        std::string name = numbered("img", i);
        sc.png(name, imgs[i]);
        list += name + "\r\n";
    }
    sc.put("list.txt", list);
    std::vector<uint8_t> data = moviefix::samples(c.datlen, 5);
    if (c.sound) sc.put("music.wav", moviefix::pcmwav(c.ch, c.rate, c.bits, data));

    int r = -100;
    std::string out = capture([&] {
        r = mkodml(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f,
                   c.sound ? sc.path("music.wav").c_str() : "");
    });
    ASSERT_EQ(r, 0) << out;
    EXPECT_EQ(out.find("!!!"), std::string::npos) << out;
    EXPECT_NE(out.find(" Assigned frames  " + std::to_string(imgs.size()) + " \n"), std::string::npos) << out;
    EXPECT_NE(out.find(" Output   frames  " + std::to_string(imgs.size()) + " \n"), std::string::npos) << out;

    const uint32_t n = (uint32_t)imgs.size();
    const uint64_t stride = c.alpha ? 4ull * c.w : (3ull * c.w + 3) / 4 * 4;
    const uint64_t fs = stride * c.h;
    const std::string cc = c.alpha ? "00dc" : "00db";
    std::vector<uint8_t> bytes = sc.get("movie.avi");
    riff::source src = riff::memory(bytes);
    riff::layout L = riff::walk(src);
    ASSERT_EQ(L.error, "");
    const size_t segments = L.top.size();
    ASSERT_EQ(segments, c.segments);
    const riff::chunk& seg = L.top[0];
    EXPECT_EQ(seg.type, "AVI ");
    for (size_t s = 0; s < segments; s++) {
        EXPECT_LT(L.top[s].size, c.limit ? c.limit : ODML_RIFF_LIMIT) << "segment " << s;
        if (s > 0) {
            EXPECT_EQ(L.top[s].type, "AVIX") << s;
            // A later segment is its movi list and nothing else.
            ASSERT_EQ(L.top[s].kids.size(), 1u) << s;
            EXPECT_EQ(L.top[s].kids[0].type, "movi") << s;
        }
    }

    // After the last RIFF: the trailer of 24-bit movies, then 1 to 512 zero
    // bytes to a multiple of 512.
    uint64_t p = L.stop;
    if (!c.alpha) {
        EXPECT_EQ(std::string(bytes.begin() + p, bytes.begin() + p + 8), "themewnd");
        p += 8;
    }
    ASSERT_EQ(bytes.size() % 512, 0u);
    EXPECT_GE(bytes.size() - p, 1u);
    EXPECT_LE(bytes.size() - p, 512u);
    for (uint64_t i = p; i < bytes.size(); i++) ASSERT_EQ(bytes[i], 0) << i;

    // The header list.
    const riff::chunk* hdrl = seg.find("hdrl");
    ASSERT_TRUE(hdrl);
    EXPECT_EQ(src.u32(hdrl->at("avih")->data() + 16), n);                // dwTotalFrames
    EXPECT_EQ(src.u32(hdrl->at("avih")->data() + 24), c.sound ? 2u : 1u); // dwStreams
    const riff::chunk* vstrl = hdrl->find("strl", 0);
    ASSERT_TRUE(vstrl);
    EXPECT_EQ(vstrl->count("strn"), c.alpha ? 0 : 1);
    const riff::chunk* indx = vstrl->find("indx");
    ASSERT_TRUE(indx);
    const uint32_t N = (indx->size - 24) / 16;
    EXPECT_EQ(indx->size, 16 * N + 24);
    EXPECT_EQ(src.u16(indx->data()), 4);        // wLongsPerEntry
    EXPECT_EQ(bytes[indx->data() + 2], 0);      // bIndexSubType
    EXPECT_EQ(bytes[indx->data() + 3], 0);      // bIndexType: index of indexes
    EXPECT_EQ(src.u32(indx->data() + 4), segments);  // nEntriesInUse
    EXPECT_EQ(src.fcc(indx->data() + 8), cc);
    ASSERT_GE(N, segments);
    for (uint32_t i = (uint32_t)segments; i < N; i++)
        for (int k = 0; k < 16; k++) EXPECT_EQ(bytes[indx->data() + 24 + 16 * i + k], 0);
    const riff::chunk* odml = hdrl->find("odml");
    ASSERT_TRUE(odml);
    EXPECT_EQ(odml->kids.at(0).id, "dmlh");
    EXPECT_EQ(src.u32(odml->kids.at(0).data()), n);
    EXPECT_EQ(seg.count(c.alpha ? "JUNQ" : "JUNK"), 1);
    EXPECT_EQ(seg.count("idx1"), 0);

    // Every segment's movi list: its ix00, in the first one the ix01
    // (sound), the frames, in the first one the sound.  The super index
    // entry of each segment names its ix00, and every index entry names its
    // frame's data; the frames, segment after segment, are the list's images.
    uint32_t frame = 0;
    for (size_t s = 0; s < segments; s++) {
        SCOPED_TRACE("segment " + std::to_string(s));
        const riff::chunk* movi = L.top[s].find("movi");
        ASSERT_TRUE(movi);
        const bool withsound = c.sound && s == 0;
        ASSERT_GE(movi->kids.size(), withsound ? 3u : 1u);
        const uint32_t k = (uint32_t)movi->kids.size() - (withsound ? 3u : 1u);
        const riff::chunk& ix00 = movi->kids[0];
        EXPECT_EQ(ix00.id, "ix00");
        EXPECT_EQ(ix00.size, 8 * k + 24);
        const uint64_t entry = indx->data() + 24 + 16 * s;
        EXPECT_EQ(src.u64(entry), ix00.pos);                  // qwOffset
        EXPECT_EQ(src.u32(entry + 8), 8 * k + 32);            // dwSize
        EXPECT_EQ(src.u32(entry + 12), k);                    // dwDuration
        EXPECT_EQ(src.u16(ix00.data()), 2);
        EXPECT_EQ(bytes[ix00.data() + 3], 1);                 // an index of chunks
        EXPECT_EQ(src.u32(ix00.data() + 4), k);
        EXPECT_EQ(src.fcc(ix00.data() + 8), cc);
        const uint64_t base = src.u64(ix00.data() + 12);
        const size_t firstframe = withsound ? 2 : 1;
        ASSERT_LE(frame + k, n);
        if (k) { EXPECT_EQ(base, movi->kids[firstframe].pos); }
        for (uint32_t i = 0; i < k; i++, frame++) {
            const riff::chunk& fr = movi->kids[firstframe + i];
            EXPECT_EQ(fr.id, cc);
            ASSERT_EQ(fr.size, fs);
            EXPECT_EQ(base + src.u32(ix00.data() + 24 + 8 * i), fr.data()) << i;
            EXPECT_EQ(src.u32(ix00.data() + 28 + 8 * i), fs) << i;
            std::vector<uint8_t> want = moviefix::expectframe(imgs[frame], c.w, c.h, c.alpha);
            EXPECT_TRUE(std::equal(want.begin(), want.end(), bytes.begin() + fr.data())) << "frame " << frame;
        }
    }
    EXPECT_EQ(frame, n);
    const riff::chunk* movi = seg.find("movi");
    ASSERT_TRUE(movi);
    if (c.sound) {
        const riff::chunk& ix01 = movi->kids[1];
        const riff::chunk& wb = movi->kids.back();
        EXPECT_EQ(ix01.id, "ix01");
        EXPECT_EQ(ix01.size, 32u);
        EXPECT_EQ(src.fcc(ix01.data() + 8), "01wb");
        EXPECT_EQ(src.u64(ix01.data() + 12) + src.u32(ix01.data() + 24), wb.data());
        EXPECT_EQ(src.u32(ix01.data() + 28), c.datlen);
        EXPECT_EQ(wb.id, "01wb");
        EXPECT_EQ(wb.size, c.datlen);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + wb.data()));
        const riff::chunk* astrl = hdrl->find("strl", 1);
        ASSERT_TRUE(astrl);
        const riff::chunk* aindx = astrl->find("indx");
        ASSERT_TRUE(aindx);
        EXPECT_EQ(aindx->size, 40u);
        EXPECT_EQ(src.u64(aindx->data() + 24), ix01.pos);
        EXPECT_EQ(src.u32(aindx->data() + 32), 40u);
        EXPECT_EQ(src.u32(aindx->data() + 36), c.datlen / c.ch / (c.bits / 8));
        EXPECT_EQ(astrl->count("strn"), 1);
    }

#if !defined(_WIN32)
    // An independent reader, which follows the super index, agrees (the
    // Windows build under wine has no ffmpeg to run).
    auto v = e2e::probe(sc.path("movie.avi"), "v:0", sc.root());
    EXPECT_EQ(v["nb_read_packets"], std::to_string(n));
    EXPECT_EQ(v["pix_fmt"], c.alpha ? "bgra" : "bgr24");
    std::vector<uint8_t> got = e2e::ffmpegframes(sc.path("movie.avi"), c.alpha ? "bgra" : "bgr24", sc.root());
    std::vector<uint8_t> want;
    for (const image& im : imgs) {
        std::vector<uint8_t> f = moviefix::shownframe(im, c.w, c.h, c.alpha);
        want.insert(want.end(), f.begin(), f.end());
    }
    EXPECT_TRUE(got == want);
    if (c.sound) {
        EXPECT_EQ(e2e::ffmpegaudio(sc.path("movie.avi"), c.bits, sc.root()), data);
    }

#endif

    // The wide entry point writes the same bytes.
    ASSERT_EQ(capture([&] {
                  std::u16string none;
                  r = mkodmlW(sc.pathW("movie2.avi").c_str(), sc.pathW("list.txt").c_str(), 60.0f,
                              c.sound ? sc.pathW("music.wav").c_str() : none.c_str());
              }).find("!!!"),
              std::string::npos);
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(sc.get("movie2.avi") == bytes);
}

INSTANTIATE_TEST_SUITE_P(Odml, OdmlWrite, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// ---- Failures ------------------------------------------------------------------------

// A scene of n frames of 64 x 48 (about 9 KB each, so the write stream's
// buffer is flushed many times) with an 8-bit sound.
void smallscene(const scene& sc, int n, bool sound = true) {
    std::string list;
    for (int i = 0; i < n; i++) {
        std::string name = numbered("f", (size_t)i);
        sc.png(name, moviefix::pattern(64, 48, false, i));
        list += name + "\r\n";
    }
    sc.put("list.txt", list);
    if (sound) sc.put("music.wav", moviefix::pcmwav(1, 8000, 8, moviefix::samples(30001)));
}

int keycalls, keyat, keyvalue;
int fakekey(int* key) {
    if (++keycalls < keyat) return 0;
    *key = keyvalue;
    return 1;
}

struct KeyCase {
    const char* name;
    int at;    // the console event that delivers the key
    int key;
};

// The first poll is the one before the file is created (see the driver's
// tests for a stop there), the second the first frame's.
const KeyCase kKeys[] = {
    {"esc_first", 2, 27},
    {"esc_later", 4, 27},
    {"ctrl_c_later", 6, 3},
};

class OdmlKeys : public ::testing::TestWithParam<KeyCase> {};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }


// ESC and Ctrl-C stop the movie, wherever the key poll sees them (between
// frames or inside the image loader), with 27 or 3 and never as a missing
// image; what was written stays.
TEST_P(OdmlKeys, StopWithTheKey) {
    scene sc;
    smallscene(sc, 8);
    keycalls = 0;
    keyat = GetParam().at;
    keyvalue = GetParam().key;
    g_os.console_event = fakekey;
    int r = -100;
    std::string out = capture([&] {
        r = mkodml(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f, sc.path("music.wav").c_str());
    });
    g_os.console_event = os_native.console_event;
    EXPECT_EQ(r, GetParam().key) << out;
    EXPECT_EQ(badpngname[0], 0);
    ASSERT_TRUE(sc.exists("movie.avi"));
    // The file stops inside the frames: it holds the headers, not the sound.
    std::vector<uint8_t> b = sc.get("movie.avi");
    EXPECT_GE(b.size(), 2048u);
    EXPECT_LT(b.size(), 8u * 64 * 48 * 3);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
}

INSTANTIATE_TEST_SUITE_P(Odml, OdmlKeys, ::testing::ValuesIn(kKeys),
                         [](const ::testing::TestParamInfo<KeyCase>& i) { return std::string(i.param.name); });

// Wherever the disk fills (in the header, among the frames, in the sound
// copy, in the trailer or the fill, or in the last flush), the writer
// fails and never reports a finished movie, by 16-bit names (system
// handles) and by 8-bit names (the runtime's FILE calls).
TEST(OdmlFailures, FullDiskIsNeverSuccess) {
    scene sc;
    smallscene(sc, 6);
    int full = -100;
    capture([&] {
        full = mkodmlW(sc.pathW("whole.avi").c_str(), sc.pathW("list.txt").c_str(), 60.0f,
                       sc.pathW("music.wav").c_str());
    });
    ASSERT_EQ(full, 0);
    const uint64_t size = sc.get("whole.avi").size();
    for (bool wide : {true, false}) {
        for (uint64_t k :
             std::vector<uint64_t>{0, 3, 100, 9000, 30000, 60000, size - 40000, size - 600, size - 100, size - 1}) {
            SCOPED_TRACE("room " + std::to_string(k) + (wide ? ", 16-bit names" : ", 8-bit names"));
            int r = -100;
            std::string out;
            {
                fulldisk::Use disk(k);
                out = capture([&] {
                    r = wide ? mkodmlW(sc.pathW("movie.avi").c_str(), sc.pathW("list.txt").c_str(), 60.0f,
                                       sc.pathW("music.wav").c_str())
                             : mkodml(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f,
                                      sc.path("music.wav").c_str());
                });
            }
            EXPECT_NE(r, 0) << out;
            EXPECT_TRUE(r == -1 || r == 1 || r == 2 || r == 3 || r == 4) << r;
            stream_reset();
        }
    }
}

// The sound that scanned well cannot be opened again for its copy: -4.
int wavopens;
FILE* secondwavfails(const char* name, const char* mode) {
    std::string s = name;
    if (s.size() >= 9 && s.compare(s.size() - 9, 9, "music.wav") == 0 && ++wavopens >= 2) return nullptr;
    return os_native.fopen(name, mode);
}

TEST(OdmlFailures, SoundGoneBeforeTheCopy) {
    scene sc;
    smallscene(sc, 2);
    wavopens = 0;
    g_os.fopen = secondwavfails;
    int r = -100;
    std::string out = capture([&] {
        r = mkodml(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f, sc.path("music.wav").c_str());
    });
    g_os.fopen = os_native.fopen;
    EXPECT_EQ(r, -4) << out;
    EXPECT_NE(out.find("Cannot open (RD(2)) for appending WAV to AVI"), std::string::npos) << out;
    EXPECT_NE(out.find("reading WAV(A): "), std::string::npos) << out;
}

// A frame whose chunk cannot fit into one segment is refused before the file
// is created.  The probe reads only the header, so a header is enough.
TEST(OdmlFailures, FrameTooLargeRefusedBeforeCreating) {
    scene sc;
    sc.put("big.png", moviefix::pngheader(20000, 20000, true));  // 1.6 GB per frame
    sc.put("list.txt", "big.png\r\nbig.png\r\nbig.png\r\n");
    int r = -100;
    std::string out = capture([&] {
        r = mkodml(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f, "");
    });
    EXPECT_EQ(r, ODML_TOO_LARGE) << out;
    EXPECT_FALSE(sc.exists("movie.avi"));
    EXPECT_NE(out.find("Frame too large"), std::string::npos) << out;
}

// No usable first image: 3, with the writer's own lines; a missing later
// image: -6 with its name.
TEST(OdmlFailures, FirstImageAndMissingImage) {
    scene sc;
    sc.put("list.txt", "");
    int r = -100;
    std::string out = capture([&] { r = mkodml(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f, ""); });
    EXPECT_EQ(r, 3);
    EXPECT_NE(out.find(" PNG files unavailable. \n"), std::string::npos) << out;

    sc.put("text.png", "not a png at all");
    sc.put("list.txt", "text.png\r\n");
    out = capture([&] { r = mkodml(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f, ""); });
    EXPECT_EQ(r, 3);
    EXPECT_NE(out.find("Sorry. Cannot access in PNG file(s) in ANSI/UTF-8 mode. \n"), std::string::npos) << out;

    smallscene(sc, 2, false);
    sc.put("list.txt", "f0.png\r\nnothere.png\r\nf1.png\r\n");
    out = capture([&] { r = mkodml(sc.path("movie.avi").c_str(), sc.path("list.txt").c_str(), 60.0f, ""); });
    EXPECT_EQ(r, -6);
    EXPECT_STREQ(badpngname, "nothere.png");
    EXPECT_FALSE(sc.exists("movie.avi"));
}

}  // namespace
