// The audio edits: removing and adding a movie's sound, checked against the
// program's own movies byte for byte, against ffmpeg's reading of the
// result, and for every refusal: the movie byte-identical, no temporary
// file left.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "avitool/avitool_internal.h"
#include "avitool_fixtures.h"
#include "movie/chunks.h"

using namespace avifix;

namespace {

struct result {
    int r = 0;
    std::string out;
};

result removewav(const scene& sc, const std::string& movie) {
    result x;
    x.out = moviefix::capture([&] { x.r = aviremovewav(sc.path(movie).c_str()); });
    return x;
}
result appendwav(const scene& sc, const std::string& movie, const std::string& wav, uint8_t replace) {
    result x;
    x.out = moviefix::capture([&] { x.r = aviappendwav(sc.path(movie).c_str(), sc.path(wav).c_str(), replace); });
    return x;
}

// a and b equal except the 4-byte fields at the given positions.
void sameexcept(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, std::vector<int64_t> fields) {
    ASSERT_EQ(a.size(), b.size());
    std::vector<uint8_t> x = a, y = b;
    for (int64_t f : fields)
        for (int i = 0; i < 4; i++) x[(size_t)f + i] = y[(size_t)f + i] = 0;
    for (size_t i = 0; i < x.size(); i++)
        if (x[i] != y[i]) {
            ADD_FAILURE() << "first difference at " << i;
            return;
        }
}

uint32_t le32at(const std::vector<uint8_t>& b, int64_t p) { return get_le32(&b[(size_t)p]); }

class WavEdit : public fresh {};

// The program's movie with sound, its sound removed, is the program's movie
// without sound but for dwMaxBytesPerSec (the edit's own formula); adding the
// sound back gives the movie with sound but for the same field.
TEST_F(WavEdit, RemoveAndAddMatchTheProgramsMovies) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "32-bit" : "24-bit");
        scene sc;
        moviespec with{5, 3, 4, alpha, 1001, false}, without = with;
        without.sound = 0;
        makemovie(sc, "with.avi", with);
        makemovie(sc, "without.avi", without);
        const std::vector<uint8_t> w0 = sc.get("with.avi");

        result x = removewav(sc, "with.avi");
        ASSERT_EQ(x.r, 0) << x.out;
        EXPECT_NE(x.out.find("Assert OK at the end of LIST2 for removing auds.\n"), std::string::npos);
        EXPECT_NE(x.out.find("WAV in avih = 116 (should be 116).\n"), std::string::npos) << x.out;
        EXPECT_NE(x.out.find("WAV in idx1 = 16 (should be 16).\n"), std::string::npos) << x.out;
        EXPECT_EQ(x.out.substr(x.out.size() - 17), "Copy done.\ndone.\n");
        EXPECT_FALSE(sc.exists("~qeltmp.avi"));
        std::vector<uint8_t> removed = sc.get("with.avi");
        scan(sc.path("without.avi"));
        int64_t maxbytes = aviscaninfo.aviptrmaxbytes;
        sameexcept(removed, sc.get("without.avi"), {maxbytes});
        // fs x fps + 2, not the writer's (fs + 24) x fps.
        EXPECT_EQ(le32at(removed, maxbytes), (uint32_t)((float)(alpha ? 5 * 4 * 3 : 16 * 3) * 60.0f + 2.0));
        EXPECT_EQ(removed.size() % 512, 0u);

        x = appendwav(sc, "with.avi", "music.wav", 0);
        ASSERT_EQ(x.r, 0) << x.out;
        EXPECT_NE(x.out.find("Assert OK at the end of LIST2 for auds.\n"), std::string::npos);
        EXPECT_FALSE(sc.exists("~qeltmp.avi"));
        std::vector<uint8_t> added = sc.get("with.avi");
        // 4 frames at 60 fps are 0.067 s; the sound is 1001 / 4 / 8000 =
        // 0.031 s: the frame count stays.
        sameexcept(added, w0, {maxbytes});
        EXPECT_EQ(le32at(added, maxbytes), (uint32_t)((float)(alpha ? 60 : 48) * 60.0f + 32000.0f + 2.0));
    }
}

// A sound longer than the video raises the main header's frame count to
// ceil(seconds x fps); its removal puts back the video length.
TEST_F(WavEdit, LongerSoundRaisesTheFrameCount) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 2, false, 0, false});
    sc.put("long.wav", soundof(32000 * 3 / 2 + 4).file);  // 1.500125 s
    result x = appendwav(sc, "m.avi", "long.wav", 0);
    ASSERT_EQ(x.r, 0) << x.out;
    scanout s = scan(sc.path("m.avi"));
    EXPECT_EQ(aviscaninfo.avih.avitotalframes, 91u);
    EXPECT_EQ(s.total, 2u);
    EXPECT_EQ(aviscaninfo.avih.streams, 2u);
    x = removewav(sc, "m.avi");
    ASSERT_EQ(x.r, 0) << x.out;
    scan(sc.path("m.avi"));
    EXPECT_EQ(aviscaninfo.avih.avitotalframes, 2u);
    EXPECT_EQ(aviscaninfo.avih.streams, 1u);
}

// The addition's plan, from the scan alone: the pad gives up the stream
// list's bytes only when it has them all, the frame count is patched only
// for a longer sound, and the 4 GB refusal falls exactly where the RIFF size
// would pass 32 bits, which no write could show in a test.
TEST_F(WavEdit, AppendPlanFromTheScan) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 2, false, 0, false});
    avitool_detail::scanfacts f{};
    moviefix::capture([&] { ASSERT_EQ(avitool_detail::scanmovie(sc.path("m.avi").c_str(), 0, &f), 0); });
    const aviscanrecord S = aviscaninfo;
    soundfacts snd{true, 1001, 44, 2, 16, 8000, 4, 32000, false};
    using avitool_detail::planwavappend;
    const struct { int64_t junk; bool shrink; } pads[] = {{0, false}, {STRL_AUDS_LIST - 1, false}, {STRL_AUDS_LIST, true}, {1802, true}};
    for (const auto& c : pads) {
        SCOPED_TRACE(c.junk);
        avitool_detail::scanfacts g = f;
        g.junksize = c.junk;
        auto p = planwavappend(S, g, snd, 0.01);
        EXPECT_EQ(p.shrink, c.shrink);
        EXPECT_TRUE(p.index && p.fits);
        EXPECT_EQ(p.riff, (int64_t)S.aviriffsize + (c.shrink ? 0 : STRL_AUDS_LIST) + 1001 + CHUNK_HDR + IDX1_ENTRY);
        EXPECT_EQ(p.riffend, S.aviptrriffleng + 4 + p.riff);
        // The early refusal's bound, before the layout is known, is never
        // below what a plan gives.
        EXPECT_LE(p.riff, avitool_detail::wavappendriff(S.aviriffsize, snd.datlen, false, true));
    }
    auto shorter = planwavappend(S, f, snd, 0.01), longer = planwavappend(S, f, snd, 1.500125);
    ASSERT_EQ(shorter.header.size(), 2u);
    ASSERT_EQ(longer.header.size(), 3u);
    EXPECT_EQ(longer.header[1].pos, S.aviptrtotalframes);
    EXPECT_EQ(longer.header[1].put, std::vector<uint32_t>{91});
    EXPECT_EQ(longer.header[2].put, std::vector<uint32_t>{2});
    snd.datlen = (int64_t)UINT32_MAX - S.aviriffsize - CHUNK_HDR - IDX1_ENTRY;
    EXPECT_TRUE(planwavappend(S, f, snd, 0.01).fits);
    snd.datlen++;
    EXPECT_FALSE(planwavappend(S, f, snd, 0.01).fits);
}

// Nothing to do: no sound to remove, a sound present and replace 0.
TEST_F(WavEdit, NothingToDoTouchesNothing) {
    scene sc;
    makemovie(sc, "mute.avi", {6, 4, 2, false, 0, false});
    makemovie(sc, "loud.avi", {6, 4, 2, false, 400, false});
    auto mute = sc.get("mute.avi"), loud = sc.get("loud.avi");
    result x = removewav(sc, "mute.avi");
    EXPECT_EQ(x.r, 0);
    EXPECT_NE(x.out.find("WAV not exist in AVI.\n"), std::string::npos);
    x = appendwav(sc, "loud.avi", "music.wav", 0);
    EXPECT_EQ(x.r, 0);
    EXPECT_NE(x.out.find("WAV already exists in AVI.\n"), std::string::npos);
    EXPECT_EQ(sc.get("mute.avi"), mute);
    EXPECT_EQ(sc.get("loud.avi"), loud);
    EXPECT_FALSE(sc.exists("~qeltmp.avi"));
}

// Replacing a sound: the old one goes, the new one comes, as if added to the
// movie without sound.
TEST_F(WavEdit, ReplaceSwapsTheSound) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 600, false});
    makemovie(sc, "n.avi", {6, 4, 3, false, 0, false});
    sc.put("other.wav", soundof(802, 7).file);
    result x = appendwav(sc, "m.avi", "other.wav", 1);
    ASSERT_EQ(x.r, 0) << x.out;
    EXPECT_NE(x.out.find("WAV removed from AVI. OK.\n"), std::string::npos);
    ASSERT_EQ(appendwav(sc, "n.avi", "other.wav", 0).r, 0);
    EXPECT_EQ(sc.get("m.avi"), sc.get("n.avi"));
}

// Pads: one of 116 bytes gives them all up (a JUNK of size 0, movi in
// place); one of 115 stays and everything from movi on moves by 116.  A
// movie without idx1 gets no index entry.
TEST_F(WavEdit, PadsAndMissingIndex) {
#ifdef _WIN32
    GTEST_SKIP() << "the variants are made by a Python script";
#else
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 1001, false});
    ASSERT_EQ(variants(sc, "m.avi", "m"), "variants: 13");
    for (int n : {116, 115}) {
        std::string name = "m-junk-" + std::to_string(n) + ".avi";
        view before(sc.path(name));
        result x = appendwav(sc, name, "music.wav", 0);
        ASSERT_EQ(x.r, 0) << x.out;
        view after(sc.path(name));
        ASSERT_TRUE(after.lay.error.empty()) << after.lay.error;
        EXPECT_EQ(after.junk->size, n == 116 ? 0u : 115u);
        EXPECT_EQ(after.movi->pos, before.movi->pos + (n == 116 ? 0 : 116));
        EXPECT_EQ(after.avi->size, before.avi->size + 116 - (n == 116 ? 116 : 0) + 1001 + 8 + 16);
    }
    view before(sc.path("m-no-idx1.avi"));
    result x = removewav(sc, "m-no-idx1.avi");
    ASSERT_EQ(x.r, 0) << x.out;
    EXPECT_EQ(count(x.out, "(no 'idx1' chunk)"), 2);
    x = appendwav(sc, "m-no-idx1.avi", "music.wav", 0);
    ASSERT_EQ(x.r, 0) << x.out;
    view after(sc.path("m-no-idx1.avi"));
    EXPECT_EQ(after.avi->size, before.avi->size);
    EXPECT_EQ(after.idx1, nullptr);
#endif
}

// Every refusal: the result, the movie byte-identical, no temporary file.
struct refusal {
    const char* name;
    std::function<int(scene&)> setup;   // makes the files, returns nothing useful
    std::function<result(scene&)> run;
    int want;
    const char* line;
};

void refuse(const refusal& c) {
    scene sc;
    c.setup(sc);
    std::vector<std::vector<uint8_t>> before;
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(moviefix::fspath(sc.root())))
        if (e.path().extension() == ".avi" || e.path().extension() == ".wav") {
            names.push_back(e.path().filename().string());
            before.push_back(sc.get(names.back()));
        }
    result x = c.run(sc);
    EXPECT_EQ(x.r, c.want) << x.out;
    if (c.line) {
        EXPECT_NE(x.out.find(c.line), std::string::npos) << x.out;
    }
    for (size_t i = 0; i < names.size(); i++) EXPECT_EQ(sc.get(names[i]), before[i]) << names[i];
    if (std::string(c.name).find("Temporary") == std::string::npos) {
        EXPECT_FALSE(sc.exists("~qeltmp.avi"));
    }
}

int withsound(scene& sc) { makemovie(sc, "m.avi", {6, 4, 3, false, 1001, false}); return 0; }
int mute(scene& sc) { makemovie(sc, "m.avi", {6, 4, 3, false, 0, false}); return 0; }
std::vector<uint8_t> wavwith(uint16_t ch, uint32_t rate, uint16_t bits) {
    return moviefix::pcmwav(ch, rate, bits, moviefix::samples(400));
}

const refusal kRefusals[] = {
    {"MissingMovie", mute, [](scene& sc) { return removewav(sc, "none.avi"); }, -1, "Cannot find AVI.("},
    {"MissingMovieForAppend", mute, [](scene& sc) { sc.put("s.wav", soundof(100).file); return appendwav(sc, "none.avi", "s.wav", 0); }, -1, "Cannot find AVI.("},
    {"MissingWav", mute, [](scene& sc) { return appendwav(sc, "m.avi", "none.wav", 0); }, -1, "Cannot find WAV.("},
    {"NotAnAvi", [](scene& sc) { sc.put("m.avi", std::string_view("RIFF\4\0\0\0WAVE")); return 0; },
     [](scene& sc) { return removewav(sc, "m.avi"); }, 3, "ErrScanningAVI (3)\n"},
    {"NotAWav", mute, [](scene& sc) { sc.put("s.wav", std::string_view("RIFF\4\0\0\0AVI ")); return appendwav(sc, "m.avi", "s.wav", 0); }, 3, "ErrScanningWAV (3)\n"},
    {"NoChannels", mute, [](scene& sc) { sc.put("s.wav", wavwith(0, 8000, 16)); return appendwav(sc, "m.avi", "s.wav", 0); }, 4, nullptr},
    {"FourBits", mute, [](scene& sc) { sc.put("s.wav", wavwith(1, 8000, 4)); return appendwav(sc, "m.avi", "s.wav", 0); }, 4, nullptr},
    {"RateZero", mute, [](scene& sc) { sc.put("s.wav", wavwith(2, 0, 16)); return appendwav(sc, "m.avi", "s.wav", 0); }, 4, nullptr},
    {"ByteRatePast32Bits", mute, [](scene& sc) { sc.put("s.wav", wavwith(200, 0x7FFFFFFF, 32)); return appendwav(sc, "m.avi", "s.wav", 0); }, 4, nullptr},
    {"BadWavBeforeRemovingTheOldSound", withsound, [](scene& sc) { sc.put("s.wav", wavwith(0, 8000, 16)); return appendwav(sc, "m.avi", "s.wav", 1); }, 4, nullptr},
    {"TemporaryNameAsMovie", [](scene& sc) { makemovie(sc, "~QELTMP.avi", {6, 4, 2, false, 500, false}); return 0; },
     [](scene& sc) { return removewav(sc, "~QELTMP.avi"); }, 3, "is the temporary file"},
    {"TemporaryNameAsWav", mute, [](scene& sc) { sc.put("~qeltmp.avi", soundof(100).file); return appendwav(sc, "m.avi", "~qeltmp.avi", 0); }, 3, "is the temporary file"},
    {"OpenDml", [](scene& sc) { makemovie(sc, "m.avi", {6, 4, 3, false, 1000, true}); return 0; },
     [](scene& sc) { return removewav(sc, "m.avi"); }, 3, "Unsupported AVI layout (OpenDML"},
    {"OpenDmlAppend", [](scene& sc) { makemovie(sc, "m.avi", {6, 4, 3, false, 0, true}); return 0; },
     [](scene& sc) { sc.put("s.wav", soundof(100).file); return appendwav(sc, "m.avi", "s.wav", 0); }, 3, "Unsupported AVI layout (OpenDML"},
    {"ReadOnlyMovie", withsound, [](scene& sc) {
         std::filesystem::permissions(moviefix::fspath(sc.path("m.avi")), std::filesystem::perms::owner_write | std::filesystem::perms::group_write | std::filesystem::perms::others_write, std::filesystem::perm_options::remove);
         result x = removewav(sc, "m.avi");
         std::filesystem::permissions(moviefix::fspath(sc.path("m.avi")), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
         return x; }, -1, "Cannot open (WR) for removing WAV from AVI (-1).\n"},
};

class Refusals : public fresh, public testing::WithParamInterface<refusal> {};
TEST_P(Refusals, LeaveEverythingAsItWas) { refuse(GetParam()); }
INSTANTIATE_TEST_SUITE_P(WavEdit, Refusals, testing::ValuesIn(kRefusals),
                         [](const auto& i) { return std::string(i.param.name); });

#ifndef _WIN32

// The layout variants the edits cannot take are refused before anything is
// written.
struct variantcase {
    const char* variant;
    bool removing;
    const char* line;
};
const variantcase kVariants[] = {
    {"abs-idx1", true, "(an index of absolute offsets)"},
    {"rec-list", true, "(a movi chunk that cannot be walked)"},
    {"two-movi", true, "(more than one movi list)"},
    {"padded-odd", true, "(a movi chunk that cannot be walked)"},
    {"three-streams", true, "Unsupported stream layout."},
    {"audio-first", true, "Unsupported stream layout."},
    {"short-avih", true, "(a short avih)"},
    {"zero-rate", true, "(a frame duration of 0"},
    {"three-streams", false, "Unsupported stream layout."},
};

class VariantRefusals : public fresh, public testing::WithParamInterface<variantcase> {};

TEST_P(VariantRefusals, LeaveTheMovieAsItWas) {
    const variantcase& c = GetParam();
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 4, false, 1001, false});
    ASSERT_EQ(variants(sc, "m.avi", "m"), "variants: 13");
    std::string name = std::string("m-") + c.variant + ".avi";
    auto before = sc.get(name);
    result x = c.removing ? removewav(sc, name) : appendwav(sc, name, "music.wav", 1);
    EXPECT_EQ(x.r, 3) << x.out;
    EXPECT_NE(x.out.find(c.line), std::string::npos) << x.out;
    EXPECT_EQ(sc.get(name), before);
    EXPECT_FALSE(sc.exists("~qeltmp.avi"));
}

INSTANTIATE_TEST_SUITE_P(WavEdit, VariantRefusals, testing::ValuesIn(kVariants), [](const auto& i) {
    std::string n = std::string(i.param.removing ? "Remove_" : "Replace_") + i.param.variant;
    for (char& ch : n)
        if (ch == '-') ch = '_';
    return n;
});

// ffmpeg's movies (JUNK inside hdrl after the audio strl, '00dc' chunks,
// interleaved sound): the sound removed, the frames as ffmpeg decodes them
// unchanged and no audio stream left; added back, ffmpeg reads the WAV's
// very data bytes.
TEST_F(WavEdit, FfmpegMoviesKeepTheirFrames) {
    for (const char* pixfmt : {"bgr24", "bgra"}) {
        SCOPED_TRACE(pixfmt);
        scene sc;
        ffmpegmovie(sc, "f.avi", 8, 6, 5, pixfmt, true);
        auto frames = e2e::ffmpegframes(sc.path("f.avi"), pixfmt, sc.root());
        result x = removewav(sc, "f.avi");
        ASSERT_EQ(x.r, 0) << x.out;
        EXPECT_EQ(e2e::ffmpegframes(sc.path("f.avi"), pixfmt, sc.root()), frames);
        EXPECT_TRUE(e2e::probe(sc.path("f.avi"), "a:0", sc.root()).empty());
        view v(sc.path("f.avi"), {true, true});
        EXPECT_TRUE(v.lay.error.empty()) << v.lay.error;

        e2e::wavfile w = soundof(3000, 5);
        sc.put("s.wav", w.file);
        x = appendwav(sc, "f.avi", "s.wav", 0);
        ASSERT_EQ(x.r, 0) << x.out;
        EXPECT_EQ(e2e::ffmpegframes(sc.path("f.avi"), pixfmt, sc.root()), frames);
        EXPECT_EQ(e2e::ffmpegaudio(sc.path("f.avi"), 16, sc.root()), w.data);
        auto a = e2e::probe(sc.path("f.avi"), "a:0", sc.root());
        EXPECT_EQ(a["codec_name"], "pcm_s16le");
        EXPECT_EQ(a["sample_rate"], "8000");
        // And the toolkit's own scan sees it where ffprobe does.
        scanout s = scan(sc.path("f.avi"));
        EXPECT_EQ(aviscaninfo.aviaudsstrl, 2);
        EXPECT_EQ(s.hasaudio, 0xFF);
    }
}

// The program's movie: ffmpeg decodes the same frames after each edit, and
// after adding reads the WAV's data.
TEST_F(WavEdit, ProgramMovieThroughFfmpeg) {
    scene sc;
    makemovie(sc, "m.avi", {7, 5, 3, false, 1600, false});
    auto frames = e2e::ffmpegframes(sc.path("m.avi"), "bgr24", sc.root());
    ASSERT_EQ(removewav(sc, "m.avi").r, 0);
    EXPECT_EQ(e2e::ffmpegframes(sc.path("m.avi"), "bgr24", sc.root()), frames);
    e2e::wavfile w = soundof(2400, 3);
    sc.put("s.wav", w.file);
    ASSERT_EQ(appendwav(sc, "m.avi", "s.wav", 0).r, 0);
    EXPECT_EQ(e2e::ffmpegframes(sc.path("m.avi"), "bgr24", sc.root()), frames);
    EXPECT_EQ(e2e::ffmpegaudio(sc.path("m.avi"), 16, sc.root()), w.data);
}

#endif

}  // namespace

namespace {

// A WAV whose data chunk declares more than the file holds: the chunk is
// cut to what is there, and every size agrees with it.
TEST_F(WavEdit, ShortWavIsCutToWhatItHolds) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 0, false});
    std::vector<uint8_t> w = soundof(2000).file;
    put_le32(&w[40], 5000);  // the data chunk's size field
    sc.put("s.wav", w);
    result x = appendwav(sc, "m.avi", "s.wav", 0);
    ASSERT_EQ(x.r, 0) << x.out;
    view v(sc.path("m.avi"));
    ASSERT_TRUE(v.lay.error.empty()) << v.lay.error;
    const riff::chunk* wb = v.movi->find("01wb");
    ASSERT_TRUE(wb);
    EXPECT_EQ(wb->size, 2000u);
    EXPECT_EQ(v.src.u32(v.strl("auds")->find("strh")->data() + 36), 2000u);  // dwSuggestedBufferSize
}

// A temporary path that does not fit is refused before anything is opened.
TEST_F(WavEdit, OverlongPathIsRefused) {
    std::string dir(5000, 'd');
    result x;
    x.out = moviefix::capture([&] { x.r = aviremovewav((dir + "/m.avi").c_str()); });
    EXPECT_EQ(x.r, -1);
    EXPECT_NE(x.out.find("Path too long for the temporary file."), std::string::npos);
}

#ifndef _WIN32
// A sound that would take the movie past 4 GB is refused with -7 before
// anything is written, also before an old sound is removed.  The WAV is a
// sparse file: it holds 4 GB without taking the disk.
TEST_F(WavEdit, SoundPastFourGigabytesIsRefused) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 800, false});
    std::vector<uint8_t> w = soundof(16).file;
    put_le32(&w[40], 0xFFFFFF00u);
    put_le32(&w[4], 0xFFFFFF00u + 36);
    sc.put("big.wav", w);
    std::filesystem::resize_file(moviefix::fspath(sc.path("big.wav")), 44 + (uint64_t)0xFFFFFF00u);
    auto before = sc.get("m.avi");
    result x = appendwav(sc, "m.avi", "big.wav", 1);
    EXPECT_EQ(x.r, -7) << x.out;
    EXPECT_NE(x.out.find("File size will be over 4 GB.  Cannot create file. \n"), std::string::npos);
    EXPECT_EQ(sc.get("m.avi"), before);
    EXPECT_FALSE(sc.exists("~qeltmp.avi"));
}
#endif

}  // namespace

namespace {

// Replacing a sound is one replace: the movie is not touched before it, and
// what takes its place is the whole new movie, the one the addition to the
// movie without sound gives.  (Removing first as an edit of its own put a
// movie without any sound in the movie's place.)
struct replacewatch {
    std::string movie;
    std::vector<uint8_t> old, want;
    int calls = 0;
    bool movieintact = true, tmpcomplete = true, moviewritten = false;
};
replacewatch* g_watch = nullptr;

int watch_replace(const char* tmp, const char* target) {
    replacewatch& w = *g_watch;
    w.calls++;
    w.movieintact &= testutil::read_file(moviefix::fspath(target)) == w.old;
    w.tmpcomplete &= testutil::read_file(moviefix::fspath(tmp)) == w.want;
    return os_native.replace(tmp, target);
}
FILE* watch_fopen(const char* name, const char* mode) {
    if (std::strchr(mode, 'w') && std::string(name) == g_watch->movie) g_watch->moviewritten = true;
    return os_native.fopen(name, mode);
}

TEST_F(WavEdit, ReplacingTheSoundIsOneReplace) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 600, false});
    makemovie(sc, "n.avi", {6, 4, 3, false, 0, false});
    sc.put("s.wav", soundof(400, 3).file);
    ASSERT_EQ(appendwav(sc, "n.avi", "s.wav", 0).r, 0);
    replacewatch w;
    w.movie = sc.path("m.avi");
    w.old = sc.get("m.avi");
    w.want = sc.get("n.avi");
    g_watch = &w;
    os_api saved = g_os;
    g_os.replace = watch_replace;
    g_os.fopen = watch_fopen;
    result x = appendwav(sc, "m.avi", "s.wav", 1);
    g_os = saved;
    g_watch = nullptr;
    ASSERT_EQ(x.r, 0) << x.out;
    EXPECT_EQ(w.calls, 1);
    EXPECT_TRUE(w.movieintact);
    EXPECT_TRUE(w.tmpcomplete);
    EXPECT_FALSE(w.moviewritten);
    EXPECT_EQ(sc.get("m.avi"), w.want);
    EXPECT_FALSE(sc.exists("~qeltmp.avi"));
}

}  // namespace

namespace {

// A chunk after idx1 inside the RIFF chunk is not copied by the edit, so the
// copy comes out shorter than the RIFF size it declares: the edit sees it and
// stops with 3 instead of writing a movie that lost the chunk.
TEST_F(WavEdit, CopyShorterThanPlannedIsAFailure) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 600, false});
    std::vector<uint8_t> b = sc.get("m.avi");
    view v(sc.path("m.avi"));
    std::vector<uint8_t> extra = moviefix::chunkbytes("ISFT", {'r', 'k', '!', 0});
    b.insert(b.begin() + (ptrdiff_t)v.idx1->end(), extra.begin(), extra.end());
    put_le32(&b[4], v.avi->size + (uint32_t)extra.size());
    sc.put("m.avi", b);
    result x = removewav(sc, "m.avi");
    EXPECT_EQ(x.r, 3) << x.out;
    EXPECT_NE(x.out.find("assert err (aviptrriffleng).\n"), std::string::npos) << x.out;
    EXPECT_EQ(sc.get("m.avi"), b);
    EXPECT_FALSE(sc.exists("~qeltmp.avi"));
}

}  // namespace
