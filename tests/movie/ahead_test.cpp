// ahead_test.cpp - frames loaded ahead of the writer on worker threads.
//
// The one-thread loop is the oracle: for every scene (both layouts, both
// name modes, 24- and 32-bit, 60 and 30 frames per second, sound or none,
// frames of other sizes and kinds, list lines that are reported, and a
// frame that fails in each way the loader can fail), every thread count
// gives the same result, the same
// console text, the same movie bytes (or the same partial movie) and the
// same failing name.  Keys stop a run while the writer waits for a frame,
// and a stop ends a long decode at its next read; at random moments a stop
// leaves whole frames in order.  Frames in flight and their memory stay
// within the caps, however long the list.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "avi1_fixtures.h"
#include "e2e_util.h"
#include "image/image_internal.h"
#include "movie/avi1.h"
#include "movie/odml.h"

namespace {

using moviefix::capture;
using moviefix::image;
using moviefix::pattern;
using moviefix::scene;

// The thread count and the byte cap for one test, put back when it ends.
struct settings {
    settings(int threads, uint64_t cap = FRAME_AHEAD_CAP) {
        framethreads = threads;
        frameaheadcap = cap;
    }
    ~settings() {
        framethreads = 0;
        frameaheadcap = FRAME_AHEAD_CAP;
        odmlrifflimit = ODML_RIFF_LIMIT;
    }
};

struct made {
    int r = -100;
    std::string out;
    std::vector<uint8_t> avi;
    std::string bad;
    std::u16string badW;
    aheadstats stats{};
};

// One writer call on the scene's list.txt, music.wav and movie.avi, at 60
// frames per second (or the 30 of the other build).
made write(const scene& sc, bool odml, bool wide, bool sound, float fps = 60.0f) {
    made m;
    if (sc.exists("movie.avi")) std::filesystem::remove(moviefix::fspath(sc.path("movie.avi")));
    m.out = capture([&] {
        if (wide) {
            const std::u16string avi = sc.pathW("movie.avi"), list = sc.pathW("list.txt"),
                                 wav = sound ? sc.pathW("music.wav") : u"";
            m.r = odml ? mkodmlW(avi.c_str(), list.c_str(), fps, wav.c_str())
                       : mkavi1W(avi.c_str(), list.c_str(), fps, wav.c_str());
        } else {
            const std::string avi = sc.path("movie.avi"), list = sc.path("list.txt"),
                              wav = sound ? sc.path("music.wav") : "";
            m.r = odml ? mkodml(avi.c_str(), list.c_str(), fps, wav.c_str())
                       : mkavi1(avi.c_str(), list.c_str(), fps, wav.c_str());
        }
    });
    if (sc.exists("movie.avi")) m.avi = sc.get("movie.avi");
    m.bad = badpngname;
    m.badW = badpngnameW;
    m.stats = frameaheadstats;
    return m;
}

std::string numbered(const char* stem, int i) {
    char b[32];
    std::snprintf(b, sizeof b, "%s%03d.png", stem, i);
    return b;
}

// n frames of w x h made by pattern (seeds 0 to n-1), f000.png ..., and a
// list naming them in order; returns the images.
std::vector<image> putframes(const scene& sc, int n, int w, int h, bool alpha) {
    std::vector<image> imgs;
    std::string list;
    for (int i = 0; i < n; i++) {
        imgs.push_back(pattern(w, h, alpha, i));
        sc.png(numbered("f", i), imgs.back());
        list += numbered("f", i) + "\r\n";
    }
    sc.put("list.txt", list);
    return imgs;
}

// ---- The scene ------------------------------------------------------------------

// How a frame of the scene fails in the frame loop (every file is there for
// the pre-pass, which test-opens them all).
enum damage {
    D_NONE,
    D_GONE,      // removed after the pre-pass: the open fails (-1)
    D_NOTPNG,    // no PNG signature (2)
    D_CUT,       // cut in its image data: the decoder fails (-2)
    D_NOMEMORY,  // its planes cannot be allocated (-3)
};

constexpr int kFrames = 41;     // more than the slots of 8 threads, twice over
constexpr int kBadFrame = 23;   // the frame that fails
constexpr int kBigW = 40, kBigH = 40;  // the size of the frame that cannot get its planes

std::string g_gone;  // the file D_GONE removes when the writer's first-image pause comes

void removegone(uint32_t ms) {
    if (ms == 100 && !g_gone.empty()) {
        std::filesystem::remove(moviefix::fspath(g_gone));
        g_gone.clear();
    }
}

// Allocations of exactly the big frame's plane size fail, from any thread.
void* nobigplanes(size_t n) {
    if (n == (size_t)kBigW * kBigH + 16) return nullptr;
    return std::malloc(n ? n : 1);
}

// Frames of the first image's size and of others (cut, filled out), of
// every kind of PNG; a list with a comment, a frame named twice and lines
// too long, whose reports must come right before the frame after them.
void buildscene(const scene& sc, bool alpha, bool sound, damage d) {
    const char* kinds[] = {"rgb8", "rgba8", "gray8", "palt8", "rgb16", "graya8", "pal8", "gray16"};
    std::string list = "// the scene\r\n";
    for (int i = 0; i < kFrames; i++) {
        const std::string name = numbered("f", i);
        int w = 13, h = 7;
        if (i % 5 == 3) w = 20, h = 9;
        if (i % 7 == 4) w = 5, h = 3;
        std::string kind = i == 0 ? (alpha ? "rgba8" : "rgb8") : kinds[i % 8];
        if (i == kBadFrame && d == D_NOMEMORY) w = kBigW, h = kBigH, kind = "rgb8";
        const bool pal = kind == "pal8" || kind == "palt8";
        image im = pal ? moviefix::palpattern(w, h, i) : pattern(w, h, kind == "rgba8" || kind == "graya8", i);
        std::vector<uint8_t> bytes = moviefix::pngbytes(im, kind);
        if (i == kBadFrame && d == D_NOTPNG) bytes = {'n', 'o', 't', ' ', 'a', ' ', 'P', 'N', 'G'};
        if (i == kBadFrame && d == D_CUT) bytes.resize(bytes.size() * 2 / 3);
        sc.put(name, bytes);
        list += name + "\r\n";
        if (i == 11) list += std::string(70, 'x') + "\r\n";   // reported and skipped
        if (i == 30) list += numbered("f", 2) + "\r\n";       // named twice
        if (i == 35) list += std::string(66, 'y') + "\r\n";
    }
    sc.put("list.txt", list);
    if (sound) sc.put("music.wav", moviefix::pcmwav(2, 8000, 16, moviefix::samples(4000, 3)));
    if (d == D_GONE) g_gone = sc.path(numbered("f", kBadFrame));
}

struct Case {
    const char* name;
    bool alpha, odml, wide, sound;
    damage d;
    float fps = 60.0f;
};

const Case kCases[] = {
    {"avi1_rgb", false, false, false, false, D_NONE},
    {"avi1_rgba_sound", true, false, false, true, D_NONE},
    {"avi1_rgb_wide_sound_30fps", false, false, true, true, D_NONE, 30.0f},
    {"avi1_rgba_wide", true, false, true, false, D_NONE},
    {"odml_rgb_sound", false, true, false, true, D_NONE},
    {"odml_rgba_wide_30fps", true, true, true, false, D_NONE, 30.0f},
    {"avi1_gone", false, false, false, true, D_GONE},
    {"avi1_gone_wide", true, false, true, false, D_GONE},
    {"avi1_not_png", false, false, false, false, D_NOTPNG},
    {"odml_cut", true, true, false, false, D_CUT},
    {"avi1_no_memory", false, false, true, false, D_NOMEMORY},
    {"odml_no_memory", true, true, false, true, D_NOMEMORY},
};

class Ahead : public testing::TestWithParam<Case> {};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// The case on the scene's directory (its files written afresh, so that the
// paths in the text are the same for every thread count).
made runcase(const scene& sc, const Case& c, int threads) {
    settings st(threads);
    if (c.odml) odmlrifflimit = 3000;  // segments of about ten frames
    buildscene(sc, c.alpha, c.sound, c.d);
    g_os.sleep_ms = removegone;
    if (c.d == D_NOMEMORY) image_detail::imgmalloc = nobigplanes;
    made m = write(sc, c.odml, c.wide, c.sound, c.fps);
    image_detail::imgmalloc = std::malloc;
    g_gone.clear();
    return m;
}

TEST_P(Ahead, EveryThreadCountMakesTheOneThreadMovie) {
    const Case& c = GetParam();
    scene sc;
    const made one = runcase(sc, c, 1);
    EXPECT_EQ(one.stats.workers, 0u);
    if (c.d == D_NONE) {
        ASSERT_EQ(one.r, 0) << one.out;
    } else {
        // The failure comes in the frame loop, after the frames before it.
        ASSERT_EQ(one.r, AVI1_BAD_IMAGE) << one.out;
        EXPECT_EQ(one.bad, numbered("f", kBadFrame));
        EXPECT_NE(one.out.find(std::to_string(kBadFrame + 1) + "/" + std::to_string(kFrames + 1) + ":  " +
                               numbered("f", kBadFrame)),
                  std::string::npos)
            << one.out;
        const char* line[] = {"", "PNG load failed. (-1)", "PNG load failed. (2)", "PNG load failed. (-2)",
                              "PNG load failed. (-3)"};
        EXPECT_NE(one.out.find(line[c.d]), std::string::npos) << one.out;
    }
    EXPECT_NE(one.out.find("*** length over:invalid:  "), std::string::npos);
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const made m = runcase(sc, c, threads);
        EXPECT_EQ(m.stats.workers, (uint32_t)threads - 1);
        EXPECT_EQ(m.r, one.r);
        EXPECT_EQ(m.out, one.out);
        EXPECT_TRUE(m.avi == one.avi) << m.avi.size() << " bytes against " << one.avi.size();
        EXPECT_EQ(m.bad, one.bad);
        EXPECT_TRUE(m.badW == one.badW);
        EXPECT_LE(m.stats.peakframes, m.stats.slots);
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, Ahead, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

// The program's setting (0) takes the processor count: one core loads the
// frames in turn, three start two workers.  Workers are put on one heap
// (without it each worker's heap keeps the blocks it freed, past the cap);
// one thread leaves the runtime as it is.
int g_cores = 1;
int cores() { return g_cores; }
int g_releases = 0;
void countrelease() { g_releases++; }

TEST(AheadThreads, OneThreadPerCore) {
    settings st(0);
    scene sc;
    putframes(sc, 6, 4, 4, false);
    g_os.cpu_count = cores;
    g_os.heap_shared = countrelease;
    for (int n : {1, 3, 64}) {
        g_cores = n;
        g_releases = 0;
        made m = write(sc, false, false, false);
        EXPECT_EQ(m.r, 0);
        EXPECT_EQ(m.stats.workers, (uint32_t)n - 1) << n << " cores";
        EXPECT_EQ(m.stats.slots, n > 1 ? 2u * n : 0u);
        EXPECT_EQ(g_releases, n > 1 ? 1 : 0) << n << " cores";
    }
    g_os.heap_shared = os_native.heap_shared;
}

// ---- Keys -------------------------------------------------------------------------

// A key on the given poll, counted from the first poll once WR has passed a
// position (the end of the frames before the slow one).
struct keyplan {
    int key = 0;
    int64_t after = -1;
    int poll = 0;  // which poll after that position (1 = the first)
    int seen = 0;
};
keyplan g_key;
std::atomic<bool> g_keygiven{false};  // read by the workers' slow reads

void plankey(int key, int64_t after, int poll) {
    g_key = keyplan{key, after, poll, 0};
    g_keygiven = false;
}

// Set when a worker (not the writer) has opened the slow frame's file.
std::atomic<bool> g_slowopened{false};
bool g_waitslowopen = false;

int plannedkey(int* key) {
    if (g_keygiven || g_key.after < 0 || wferr() != 0) return 0;
    int64_t p = 0;
    wfgetpos64(&p);
    if (p < g_key.after) return 0;
    // The writer is about to wait for the slow frame: a worker must have it
    // first, or on a busy machine the writer may find it still queued and
    // decode it itself.  Two minutes at most, as for the slow reads.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (g_waitslowopen && !g_slowopened && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (++g_key.seen < g_key.poll) return 0;
    g_keygiven = true;
    *key = g_key.key;
    return 1;
}

// One frame's file cannot be read before the key is given (on whichever
// thread loads it), so that the writer waits for it, however the threads
// are scheduled: its reads hold until the planned key has come (two minutes
// at most, a guard against a writer that never polls).
std::string g_slowname;
std::atomic<FILE*> g_slowfile{nullptr};
std::atomic<int> g_slowreads{0}, g_readsafterkey{0}, g_writerslowreads{0};
std::thread::id g_writer;
os_api g_saved;

FILE* slowopen(const char* name, const char* mode) {
    FILE* f = g_saved.fopen(name, mode);
    if (f && !g_slowname.empty() && std::string(name) == g_slowname) {
        g_slowfile = f;
        if (std::this_thread::get_id() != g_writer) g_slowopened = true;
    }
    return f;
}

// Only a worker's reads are slow: the writer never blocks in them (it
// would not look at the keyboard meanwhile); they are counted instead.
size_t slowread(void* buf, size_t size, size_t count, FILE* f) {
    if (f && f == g_slowfile.load() && std::this_thread::get_id() == g_writer) {
        g_writerslowreads++;
    } else if (f && f == g_slowfile.load()) {
        g_slowreads++;
        if (g_keygiven) g_readsafterkey++;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!g_keygiven && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return g_saved.fread(buf, size, count, f);
}

int slowclose(FILE* f) {
    if (f == g_slowfile.load()) g_slowfile = nullptr;
    return g_saved.fclose(f);
}

// 12 frames of 200 x 120 noise (PNGs of about 70 KB, read in several
// pieces); frame 5 is the slow one.  A key comes on the second poll after
// frame 4 was written: the first is the one between frames, the second
// one the writer makes while it waits.  The run stops with the key's code,
// after "6/12:  f005.png  " and a line end, with five whole frames, and the
// slow decode was given up at its next read.  Whatever the scheduling, a
// worker decodes frame 5: the cap (four frames' planes) keeps the writer
// from taking any frame but the one it waits for, and the first poll
// holds until a worker has opened frame 5's file.
TEST(AheadKeys, KeyWhileWaitingStopsTheRun) {
    for (int key : {27, 3}) {
        SCOPED_TRACE(key);
        settings st(4, 4 * planesbytes(200, 120));
        scene sc;
        const std::vector<image> imgs = putframes(sc, 12, 200, 120, false);
        const uint64_t fs = 200 * 3 * 120, movi = 2048 - 4;
        plankey(key, (int64_t)(movi + 4 + 5 * (fs + 8)), 2);
        g_slowname = sc.path(numbered("f", 5));
        g_slowreads = 0;
        g_readsafterkey = 0;
        g_writerslowreads = 0;
        g_slowopened = false;
        g_waitslowopen = true;
        g_writer = std::this_thread::get_id();
        g_saved = g_os;
        g_os.console_event = plannedkey;
        g_os.fopen = slowopen;
        g_os.fread = slowread;
        g_os.fclose = slowclose;
        made m = write(sc, false, false, false);
        g_os = g_saved;
        g_slowname.clear();
        g_waitslowopen = false;

        EXPECT_TRUE(g_slowopened.load()) << "no worker took frame 5";
        EXPECT_EQ(g_writerslowreads.load(), 0) << "the writer decoded frame 5 itself";
        EXPECT_EQ(m.r, key) << m.out;
        EXPECT_TRUE(g_keygiven);
        const std::string tail = "6/12:  f005.png  \n";
        ASSERT_GE(m.out.size(), tail.size());
        EXPECT_EQ(m.out.substr(m.out.size() - tail.size()), tail) << m.out;
        EXPECT_EQ(m.out.find("PNG load failed"), std::string::npos);
        ASSERT_EQ(m.avi.size(), movi + 4 + 5 * (fs + 8)) << "five whole frames";
        for (int i = 0; i < 5; i++) {
            const size_t at = movi + 4 + i * (fs + 8);
            EXPECT_EQ(std::string(m.avi.begin() + at, m.avi.begin() + at + 4), "00db");
            EXPECT_TRUE(std::equal(m.avi.begin() + at + 8, m.avi.begin() + at + 8 + fs,
                                   moviefix::expectframe(imgs[i], 200, 120, false).begin()))
                << "frame " << i;
        }
        EXPECT_GE(g_slowreads.load(), 1);
        EXPECT_LE(g_readsafterkey.load(), 1) << "the decode goes on reading after the stop";
    }
}

// A key at a random poll of a run of 30 frames on 4 threads: the run ends
// with the key's code (or makes the whole movie when the key comes after
// the last poll), and the file holds the header of all 30 frames and then
// whole frames, in order, as the whole movie has them.
TEST(AheadKeys, RandomStopsLeaveWholeFramesInOrder) {
    settings st(4);
    scene sc;
    putframes(sc, 30, 64, 48, true);
    const made whole = write(sc, false, false, false);
    ASSERT_EQ(whole.r, 0) << whole.out;
    const uint64_t fs = 64 * 4 * 48, first = 8824;

    std::mt19937 rng(20261210);
    for (int round = 0; round < 25; round++) {
        const int key = rng() % 2 ? 27 : 3;
        plankey(key, 0, 1 + (int)(rng() % 60));
        SCOPED_TRACE("key " + std::to_string(key) + " on poll " + std::to_string(g_key.poll));
        g_saved = g_os;
        g_os.console_event = plannedkey;
        made m = write(sc, false, false, false);
        g_os = g_saved;
        if (!g_keygiven) {
            EXPECT_EQ(m.r, 0);
            EXPECT_TRUE(m.avi == whole.avi);
            continue;
        }
        EXPECT_EQ(m.r, key) << m.out;
        ASSERT_GE(m.avi.size(), first);
        const uint64_t k = (m.avi.size() - first) / (fs + 8);
        EXPECT_EQ(m.avi.size(), first + k * (fs + 8)) << "a frame cut short";
        EXPECT_LT(k, 30u);
        EXPECT_TRUE(std::equal(m.avi.begin(), m.avi.end(), whole.avi.begin())) << k << " frames";
    }
}

// ---- Caps ---------------------------------------------------------------------------

// The share a frame of w x h takes of the cap while it loads: its decoded
// record and its planes (as the writer counts them).
uint64_t share(uint64_t w, uint64_t h) { return (4 * w + 12) * h + 4 * (w * h + 16); }

// 200 frames of three sizes with a cap of three big frames' shares: the
// movie is the one-thread movie, never more than the slots are handed out,
// and what is held and reserved never passes the cap by more than one
// frame.  A cap below a single frame still makes the movie (the frame the
// writer needs next always loads).
TEST(AheadCaps, BytesAndFramesInFlightStayWithinTheCaps) {
    scene sc;
    std::string list;
    for (int i = 0; i < 200; i++) {
        const int w = i % 3 == 0 ? 90 : i % 3 == 1 ? 60 : 30, h = i % 3 == 0 ? 70 : 40;
        sc.png(numbered("f", i), pattern(w, h, false, i));
        list += numbered("f", i) + "\r\n";
    }
    sc.put("list.txt", list);
    made one;
    {
        settings st(1);
        one = write(sc, false, false, false);
    }
    ASSERT_EQ(one.r, 0) << one.out;
    for (uint64_t cap : {3 * share(90, 70), share(90, 70) / 2, (uint64_t)FRAME_AHEAD_CAP}) {
        SCOPED_TRACE("cap " + std::to_string(cap));
        settings st(8, cap);
        made m = write(sc, false, false, false);
        EXPECT_EQ(m.r, 0);
        EXPECT_EQ(m.out, one.out);
        EXPECT_TRUE(m.avi == one.avi);
        EXPECT_EQ(m.stats.workers, 7u);
        EXPECT_EQ(m.stats.slots, 16u);
        EXPECT_LE(m.stats.peakframes, 16u);
        EXPECT_GE(m.stats.peakbytes, share(30, 40));
        EXPECT_LE(m.stats.peakbytes, cap + share(90, 70)) << "over the cap by more than one frame";
        EXPECT_EQ(m.stats.loaded, 200u);
    }
}

// A list of 20,000 frames holds no more in flight than a list of 40: the
// slots, and the planes of the slots and the writer.
TEST(AheadCaps, ALongListHoldsNoMore) {
    settings st(8);
    scene sc;
    sc.png("a.png", pattern(16, 16, false, 1));
    sc.png("b.png", pattern(16, 16, false, 2));
    std::string list;
    for (int i = 0; i < 20000; i++) list += i % 2 ? "a.png\r\n" : "b.png\r\n";
    sc.put("list.txt", list);
    made m = write(sc, false, false, false);
    ASSERT_EQ(m.r, 0);
    EXPECT_EQ(m.stats.loaded, 20000u);
    EXPECT_LE(m.stats.peakframes, 16u);
    EXPECT_LE(m.stats.peakbytes, 17 * 4 * (16 * 16 + 16) + 7 * share(16, 16));
}

// ---- The program ----------------------------------------------------------------------

#if !defined(_WIN32) && defined(RK_REELKILN_BIN)

// The program itself, stopped by Ctrl-C (SIGINT) at random moments of a
// 200-frame run on every core: the signal comes once the movie has grown
// to a random size.  The run ends with 3 (or, when the signal comes after
// its last frame, makes the whole movie), and the file holds the header of
// all 200 frames and then whole frames, in order, the same bytes as the
// whole movie.
TEST(AheadProgram, CtrlCAtRandomMomentsLeavesWholeFramesInOrder) {
    namespace stdfs = std::filesystem;
    testutil::TempDir tmp;
    const stdfs::path dir = stdfs::path(tmp.str());
    constexpr int kDistinct = 8, kN = 200;
    for (int i = 0; i < kDistinct; i++)
        moviefix::writepng((dir / numbered("f", i)).string(), pattern(320, 240, false, i));
    std::string list;
    for (int i = 0; i < kN; i++) list += numbered("f", i * 5 % kDistinct) + "\r\n";
    testutil::write_file(dir / "list.txt", list);
    stdfs::copy_file(RK_REELKILN_BIN, dir / "reelkiln");
    const std::string run = "cd " + e2e::quote(dir.string()) + " && ";

    ASSERT_EQ(e2e::sh(run + "./reelkiln > /dev/null", dir), 0);
    const std::vector<uint8_t> whole = testutil::read_file(dir / "movie.avi");
    const uint64_t fs = 320 * 3 * 240, first = 2048;

    std::mt19937 rng(1210);
    int stopped = 0;
    // Six stopped runs; a run whose signal came after its last frame (the
    // test held up on a busy machine for the last fifth of the run) counts
    // as a whole movie and another moment is drawn, 24 runs at most.
    for (int round = 0; round < 24 && stopped < 6; round++) {
        // In the first four fifths, so that the signal comes before the last
        // frame unless the test is held up for a good part of the run.
        const uint64_t target = first + rng() % (kN * (fs + 8) * 4 / 5);
        SCOPED_TRACE("SIGINT once the movie has " + std::to_string(target) + " bytes");
        stdfs::remove(dir / "movie.avi");
        const pid_t pid = e2e::spawn(dir / "reelkiln", "/dev/null");
        ASSERT_GT(pid, 0);
        // The movie's size is looked at without a process per look, so the
        // signal follows the target closely.
        int status = 0;
        for (;;) {
            if (waitpid(pid, &status, WNOHANG) == pid) break;
            std::error_code ec;
            const uint64_t size = stdfs::file_size(dir / "movie.avi", ec);
            if (!ec && size >= target) {
                kill(pid, SIGINT);
                ASSERT_EQ(waitpid(pid, &status, 0), pid);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const int rc = e2e::shellstatus(status);
        const std::vector<uint8_t> got = testutil::read_file(dir / "movie.avi");
        if (rc == 0) {
            EXPECT_TRUE(got == whole);
            continue;
        }
        EXPECT_EQ(rc, 3);
        ASSERT_GE(got.size(), first);
        const uint64_t k = (got.size() - first) / (fs + 8);
        EXPECT_EQ(got.size(), first + k * (fs + 8)) << "a frame cut short";
        EXPECT_LT(k, (uint64_t)kN);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.begin())) << k << " frames";
        stopped++;
    }
    EXPECT_GT(stopped, 0) << "every signal came after the last frame";
}

#endif

}  // namespace
