// The AVI scanner against an independent RIFF walker: the program's own
// movies, ffmpeg's rawvideo movies, layout variants of them, and damaged
// files.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "avitool_fixtures.h"
#include "frame_fixture.h"

using namespace avifix;

namespace {

// Everything the walker can tell about a movie, checked against the scan of
// each frame as target.
void agree(const std::string& path, const view& v, bool alpha) {
    ASSERT_TRUE(v.lay.error.empty()) << v.lay.error;
    ASSERT_TRUE(v.avi && v.hdrl && v.movi);
    auto frames = v.frames();
    ASSERT_FALSE(frames.empty());
    const riff::chunk* avih = v.hdrl->find("avih");
    const riff::chunk* vs = v.strl("vids");
    ASSERT_TRUE(avih && vs);
    const riff::chunk* vstrh = vs->find("strh");
    const riff::chunk* vstrf = vs->find("strf");
    const riff::chunk* as = v.strl("auds");

    for (size_t k = 0; k < frames.size(); k++) {
        SCOPED_TRACE("frame " + std::to_string(k));
        scanout s = scan(path, (int32_t)k);
        ASSERT_EQ(s.result, 0) << s.trace;
        const aviscanrecord& r = aviscaninfo;
        EXPECT_EQ(s.chunkoff, (int64_t)frames[k]->pos);
        EXPECT_EQ(s.chunksize, (int64_t)frames[k]->size);
        if (k) continue;

        uint32_t w = v.src.u32(avih->data() + 32), h = v.src.u32(avih->data() + 36);
        EXPECT_EQ(s.width, w);
        EXPECT_EQ(s.height, h);
        EXPECT_EQ(s.total, v.src.u32(vstrh->data() + 32));
        uint64_t frame24 = ((uint64_t)w * 3 + 3) / 4 * 4 * h;
        EXPECT_EQ(s.sizeflag, frame24 == frames[0]->size ? 15 : frame24 > frames[0]->size ? 0 : 1);
        EXPECT_EQ(s.hasaudio, as ? 0xFF : 0);
        EXPECT_FLOAT_EQ(s.fps, (float)(1e6 / (double)v.src.u32(avih->data())));

        EXPECT_EQ(r.aviptrriffleng, 4);
        EXPECT_EQ(r.aviptrusperframe, (int64_t)avih->data());
        EXPECT_EQ(r.aviptrmaxbytes, (int64_t)avih->data() + 4);
        EXPECT_EQ(r.aviptrtotalframes, (int64_t)avih->data() + 16);
        EXPECT_EQ(r.aviptrstreams, (int64_t)avih->data() + 24);
        EXPECT_EQ(r.aviptrvidsrate, (int64_t)vstrh->data() + 24);
        EXPECT_EQ(r.aviptrvidslength, (int64_t)vstrh->data() + 32);
        EXPECT_EQ(r.aviptrvidsbufsize, (int64_t)vstrh->data() + 36);
        EXPECT_EQ(r.aviptrvidsstrf, (int64_t)vstrf->data());
        EXPECT_EQ(r.aviptrhdrl, (int64_t)v.hdrl->pos);
        EXPECT_EQ(r.aviptrvidsstrlend, (int64_t)vs->end());
        EXPECT_EQ(r.aviptrmovi, (int64_t)v.movi->pos);
        EXPECT_EQ(r.aviptrmoviend, (int64_t)v.movi->end());
        EXPECT_EQ(r.avizeroframeptr, (int64_t)frames[0]->pos);
        EXPECT_EQ(std::string((const char*)r.avividschunkid, 4), frames[0]->id);
        EXPECT_EQ(r.avibmih.biBitCount, (int16_t)v.src.u16(vstrf->data() + 14));
        EXPECT_EQ(r.avibmih.biHeight, (int32_t)v.src.u32(vstrf->data() + 8));
        EXPECT_EQ(r.avimovicount, 1);
        EXPECT_EQ(r.avimovibad, 0);
        EXPECT_EQ(r.aviodml, 0);
        EXPECT_EQ(r.avistrlcount, as ? 2 : 1);
        EXPECT_EQ(r.aviavihsize, 56u);
        EXPECT_EQ(r.avividsstrhsize, 56u);
        EXPECT_EQ(r.aviptrjunk, v.junk ? (int64_t)v.junk->pos : 0);
        EXPECT_EQ(s.junkpos, r.aviptrjunk);
        EXPECT_EQ(s.junksize, v.junk ? (int64_t)v.junk->size : 0);
        EXPECT_EQ(std::string(alpha ? "JUNQ" : "JUNK"), v.junk ? v.junk->id : "JUNK");

        // The index, in the file's own convention, entry by entry.
        ASSERT_TRUE(v.idx1);
        EXPECT_EQ(r.aviptridx1, (int64_t)v.idx1->pos);
        EXPECT_EQ(r.aviptridx1end, (int64_t)v.idx1->end());
        std::vector<uint32_t> offs;
        int wb = 0;
        for (uint64_t e = v.idx1->data(); e + 16 <= v.idx1->end(); e += 16) {
            std::string id = v.src.fcc(e);
            if (id.substr(2) == "db" || id.substr(2) == "dc") offs.push_back(v.src.u32(e + 8));
            if (id.substr(2) == "wb") wb++;
        }
        ASSERT_EQ(idxtablesize(), (int32_t)offs.size());
        for (size_t i = 0; i < offs.size(); i++) EXPECT_EQ(idxtable[i], offs[i]) << i;
        EXPECT_EQ(count(s.trace, " != "), 0) << s.trace;
        bool absolute = offs[0] == frames[0]->pos;
        EXPECT_EQ(count(s.trace, absolute ? "(Win10 fmt)" : "(Win95-7 fmt)"), 2) << s.trace;

        // The audio sums of the detail pass.
        if (as) {
            EXPECT_EQ(r.aviwavstrlbytes, (int64_t)as->size + 8);
            EXPECT_EQ(r.aviptraudsstrl, (int64_t)as->pos);
            EXPECT_EQ(r.aviwavidx1bytes, 16 * wb);
            int64_t bytes = 0, first = 0, firstsize = 0, biggest = 0;
            for (const riff::chunk& k : v.movi->kids)
                if (k.id.substr(2) == "wb") {
                    if (!first) first = (int64_t)k.pos, firstsize = k.size;
                    bytes += k.size + 8;
                    biggest = std::max<int64_t>(biggest, k.size);
                }
            EXPECT_EQ(r.aviwavmovibytes, bytes);
            EXPECT_EQ(r.aviptrfirstwav, first);
            EXPECT_EQ(r.avifirstwavsize, firstsize);
            EXPECT_NE(s.trace.find("max. WAV chunk " + std::to_string(biggest) + ", 1st chunk size " +
                                   std::to_string(firstsize) + " from " + std::to_string(first) + ".\n"),
                      std::string::npos)
                << s.trace;
            EXPECT_EQ(s.audiobuf, (int64_t)(int32_t)v.src.u32(as->find("strh")->data() + 36));
        } else {
            EXPECT_EQ(r.aviwavstrlbytes + r.aviwavmovibytes + r.aviwavidx1bytes, 0);
            EXPECT_EQ(s.trace.find("max. WAV chunk"), std::string::npos);
        }
        EXPECT_EQ(s.trace.substr(0, 19), "Scanning index ... ");
        EXPECT_EQ(s.trace.substr(s.trace.size() - 6), "done.\n");
    }
}

struct programcase {
    const char* name;
    moviespec spec;
};

const programcase kProgram[] = {
    {"Rgb", {6, 4, 3, false, 0, false}},
    {"RgbWithSound", {6, 4, 3, false, 3000, false}},
    {"RgbOddWidth", {5, 3, 4, false, 0, false}},
    {"Rgba", {6, 4, 3, true, 0, false}},
    {"RgbaWithOddSound", {7, 2, 2, true, 1001, false}},
};

class ProgramMovie : public fresh, public testing::WithParamInterface<programcase> {};

TEST_P(ProgramMovie, ScanAgreesWithTheWalker) {
    scene sc;
    makemovie(sc, "m.avi", GetParam().spec);
    agree(sc.path("m.avi"), view(sc.path("m.avi")), GetParam().spec.alpha);
    const aviscanrecord& r = aviscaninfo;
    // The writer's fixed layout: the first frame at 2048 (24-bit) or 8824.
    EXPECT_EQ(r.avizeroframeptr, GetParam().spec.alpha ? 8824 : 2048);
    EXPECT_EQ(idxtable[0], 4u);
    if (!GetParam().spec.alpha) EXPECT_GT(r.aviptrthem, r.aviptridx1end - 1);
    else EXPECT_EQ(r.aviptrthem, 0);
}

INSTANTIATE_TEST_SUITE_P(Scan, ProgramMovie, testing::ValuesIn(kProgram),
                         [](const auto& i) { return std::string(i.param.name); });

using ScanTargets = fresh;

// Target -1 is the last frame; a target past the end gives no offset and the
// first entry's size; a 128-byte preamble moves every position.
TEST_F(ScanTargets, LastPastTheEndAndPreamble) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 10, false, 0, false});
    view v(sc.path("m.avi"));
    auto frames = v.frames();
    scanout last = scan(sc.path("m.avi"), -1);
    EXPECT_EQ(last.chunkoff, (int64_t)frames[9]->pos);
    scanout past = scan(sc.path("m.avi"), 10);
    EXPECT_EQ(past.result, 0);
    EXPECT_EQ(past.chunkoff, 0);
    EXPECT_EQ(past.chunksize, (int64_t)frames[0]->size);
    EXPECT_EQ(past.sizeflag, 15);
    EXPECT_NE(past.trace.find("no index."), std::string::npos);

    std::vector<uint8_t> b(128, 'x');
    std::vector<uint8_t> m = sc.get("m.avi");
    b.insert(b.end(), m.begin(), m.end());
    sc.put("p.avi", b);
    scanout p = scan(sc.path("p.avi"), 2);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(aviscaninfo.aviptrriffleng, 132);
    EXPECT_EQ(p.chunkoff, (int64_t)frames[2]->pos + 128);
    EXPECT_EQ(aviscaninfo.aviptrmovi, (int64_t)v.movi->pos + 128);
}

// Results 2 and 3 and -1, with nothing written to the outputs.
TEST_F(ScanTargets, RefusedFiles) {
    scene sc;
    struct { const char* name; std::vector<uint8_t> bytes; int want; } cases[] = {
        {"empty", {}, 2},
        {"wave", testutil::h2b("52494646 04000000 57415645"), 3},
        {"rifx", testutil::h2b("52494658 04000000 41564920"), 2},
        {"short", testutil::h2b("5249"), 2},
    };
    for (auto& c : cases) {
        sc.put(c.name, c.bytes);
        scanout s;
        s.total = 12345;
        uint32_t total = 12345;
        uint32_t w = 0, h = 0;
        uint8_t f = 0, a = 0;
        int64_t ab = 0, jp = 0, js = 0, cs = 0, co = 0;
        float fps = 0;
        int r = 0;
        moviefix::capture([&] { r = aviscan(sc.path(c.name).c_str(), 0, &total, &w, &h, &f, &a, &ab, &jp, &js, &cs, &co, &fps); });
        EXPECT_EQ(r, c.want) << c.name;
        EXPECT_EQ(total, 12345u) << c.name;
        EXPECT_NE(rfeof(), 0) << "RD left open by " << c.name;
    }
    EXPECT_EQ(scan(sc.path("missing.avi")).result, -1);

    // A movie without a main header leaves no table of the one before.
    makemovie(sc, "m.avi", {6, 4, 5, false, 0, false});
    scan(sc.path("m.avi"));
    EXPECT_EQ(idxtablesize(), 5);
    sc.put("bare.avi", testutil::h2b("52494646 10000000 41564920 4a554e4b 04000000 00000000"));
    EXPECT_EQ(scan(sc.path("bare.avi")).result, 0);
    EXPECT_EQ(idxtablesize(), 0);
}

// The OpenDML writer's movie: the header walk ends at 'odml', 'ix00' is
// passed over, there is no idx1, and the target comes from the movi walk.
TEST_F(ScanTargets, OpenDmlMovie) {
    scene sc;
    makemovie(sc, "o.avi", {6, 4, 3, false, 2000, true});
    view v(sc.path("o.avi"));
    auto frames = v.frames();
    ASSERT_EQ(frames.size(), 3u);
    scanout s = scan(sc.path("o.avi"), 1);
    EXPECT_EQ(s.result, 0);
    EXPECT_NE(s.trace.find("(odml)"), std::string::npos);
    EXPECT_NE(s.trace.find("no index."), std::string::npos);
    EXPECT_EQ(s.chunkoff, (int64_t)frames[1]->pos);
    EXPECT_EQ(s.chunksize, (int64_t)frames[1]->size);
    EXPECT_EQ(aviscaninfo.aviodml, 0xFF);
    EXPECT_EQ(aviscaninfo.aviptridx1, 0);
    EXPECT_EQ(s.hasaudio, 0xFF);
}

// The table: grown entries are 0, 0 empties it, negative counts are refused.
TEST(IndexTable, AllocationRules) {
    idxtablefree();
    ASSERT_EQ(idxtablealloc(3), 0);
    EXPECT_EQ(idxtablesize(), 3);
    idxtable[0] = 7;
    ASSERT_EQ(idxtablealloc(6), 0);
    EXPECT_EQ(idxtable[0], 7u);
    for (int i = 3; i < 6; i++) EXPECT_EQ(idxtable[i], 0u);
    EXPECT_EQ(idxtablealloc(6), 0);
    std::string out = moviefix::capture([] { EXPECT_EQ(idxtablealloc(-1), -1); });
    EXPECT_EQ(out, "Memory reallocation for AVI index table FAILED.\n");
    EXPECT_EQ(idxtablesize(), 6);
    EXPECT_EQ(idxtablealloc(0), 0);
    EXPECT_EQ(idxtablesize(), 0);
    EXPECT_EQ(idxtable, nullptr);
    out = moviefix::capture([] { EXPECT_EQ(idxtablealloc(-5), -1); });
    EXPECT_EQ(out, "Memory new allocation for AVI index table FAILED.\n");
    EXPECT_EQ(idxtableatexit(), 0);
}

#ifndef _WIN32

struct ffmpegcase {
    const char* name;
    int w, h, n;
    const char* pixfmt;
    bool sound;
};
const ffmpegcase kFfmpeg[] = {
    {"Bgr24", 8, 6, 3, "bgr24", false},
    {"Bgr24WithSound", 8, 6, 4, "bgr24", true},
    {"Bgra", 6, 4, 3, "bgra", false},
    {"BgraWithSound", 6, 4, 5, "bgra", true},
};

class FfmpegMovie : public fresh, public testing::WithParamInterface<ffmpegcase> {};

TEST_P(FfmpegMovie, ScanAgreesWithTheWalker) {
    scene sc;
    const ffmpegcase& c = GetParam();
    ffmpegmovie(sc, "f.avi", c.w, c.h, c.n, c.pixfmt, c.sound);
    view v(sc.path("f.avi"), {true, true});
    agree(sc.path("f.avi"), v, false);
    EXPECT_EQ(v.frames().size(), (size_t)c.n);
}

INSTANTIATE_TEST_SUITE_P(Scan, FfmpegMovie, testing::ValuesIn(kFfmpeg),
                         [](const auto& i) { return std::string(i.param.name); });

#endif

}  // namespace

#ifndef _WIN32
namespace {

// The layout variants of tools/avi_variants.py, each scanned.
class Variants : public fresh {
protected:
    void SetUp() override {
        fresh::SetUp();
        makemovie(sc, "m.avi", {6, 4, 4, false, 1001, false});
        ASSERT_EQ(variants(sc, "m.avi", "m"), "variants: 13");
    }
    std::string path(const std::string& v) const { return sc.path("m-" + v + ".avi"); }
    scene sc;
};

TEST_F(Variants, AbsoluteIndex) {
    view v(path("abs-idx1"));
    auto frames = v.frames();
    scanout s = scan(path("abs-idx1"), 2);
    EXPECT_EQ(count(s.trace, "(Win10 fmt)"), 2) << s.trace;
    EXPECT_EQ(count(s.trace, " != "), 0) << s.trace;
    EXPECT_EQ(s.chunkoff, (int64_t)frames[2]->pos);
    for (size_t k = 0; k < frames.size(); k++) EXPECT_EQ(idxtable[k], (uint32_t)frames[k]->pos);
}

TEST_F(Variants, NoIndex) {
    view v(path("no-idx1"));
    scanout s = scan(path("no-idx1"), 3);
    EXPECT_NE(s.trace.find("no index."), std::string::npos);
    EXPECT_EQ(s.chunkoff, (int64_t)v.frames()[3]->pos);
    EXPECT_EQ(s.chunksize, (int64_t)v.frames()[3]->size);
    EXPECT_EQ(aviscaninfo.aviptridx1, 0);
    EXPECT_EQ(aviscaninfo.aviptridx1end, 0);
    EXPECT_EQ(aviscan(path("no-idx1").c_str(), 9, &s.total, &s.width, &s.height, &s.sizeflag, &s.hasaudio, &s.audiobuf,
                      &s.junkpos, &s.junksize, &s.chunksize, &s.chunkoff, &s.fps), 0);
    EXPECT_EQ(s.chunksize, 0);
    EXPECT_EQ(s.sizeflag, 0);
}

// A 'rec ' list ends the movi walk with the hex dump; the scan marks the
// movi list as one the edits cannot take.
TEST_F(Variants, RecList) {
    scanout s = scan(path("rec-list"), 0);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(count(s.trace, "00xx-99xx not found. (4C(L) 49(I) 53(S) 54(T)) "), 2) << s.trace;
    EXPECT_NE(s.trace.find("\n    4D(M) 04 00 00 72(r) 65(e) 63(c) 20( ) 30(0) 30(0) 64(d) 62(b) "), std::string::npos) << s.trace;
    EXPECT_EQ(aviscaninfo.avimovibad, 0xFF);
}

TEST_F(Variants, TwoMoviLists) {
    view v(path("two-movi"));
    const riff::chunk* second = v.avi->find("movi", 1);
    ASSERT_TRUE(second);
    scanout s = scan(path("two-movi"), 3);
    EXPECT_EQ(count(s.trace, "Warning: More than two movi chunk exists in AVI.\n"), 1);
    EXPECT_EQ(aviscaninfo.avimovicount, 2);
    EXPECT_EQ(aviscaninfo.aviptrmovi, (int64_t)second->pos);
    EXPECT_EQ(aviscaninfo.aviptrmoviend, (int64_t)second->end());
    EXPECT_EQ(s.chunkoff, (int64_t)second->kids[1].pos);
    EXPECT_EQ(count(s.trace, " mf=3 "), 1) << s.trace;
    // The detail pass counts the second list's frames from that list's own
    // 'movi', the index from the first: the two frames there disagree.
    EXPECT_EQ(count(s.trace, " != "), 2) << s.trace;
}

// A pad byte after the odd sound chunk: the walk lands on it and stops.
TEST_F(Variants, PaddedOddChunk) {
    scanout s = scan(path("padded-odd"), 0);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(aviscaninfo.avimovibad, 0xFF);
    EXPECT_EQ(count(s.trace, "00xx-99xx not found. (00("), 1) << s.trace;
}

// Stream lists counted and placed, so the edits can tell these apart.
TEST_F(Variants, StreamLayouts) {
    scan(path("three-streams"));
    EXPECT_EQ(aviscaninfo.avistrlcount, 3);
    EXPECT_EQ(aviscaninfo.aviaudsstrhcount, 2);
    EXPECT_EQ(aviscaninfo.avih.streams, 3u);
    view a(path("audio-first"));
    scanout s = scan(path("audio-first"), 1);
    EXPECT_EQ(aviscaninfo.aviaudsstrl, 1);
    EXPECT_EQ(aviscaninfo.avividsstrl, 2);
    EXPECT_EQ(std::string((const char*)aviscaninfo.avividschunkid, 4), "01db");
    EXPECT_EQ(s.chunkoff, (int64_t)a.frames()[1]->pos);
    EXPECT_EQ(aviscaninfo.aviptraudsstrl, (int64_t)a.hdrl->kids[1].pos);
}

// Short and long headers: the sizes are recorded, a long strh's excess is
// skipped so the strf is still read.
TEST_F(Variants, HeaderSizes) {
    scanout s = scan(path("short-avih"));
    EXPECT_EQ(aviscaninfo.aviavihsize, 52u);
    EXPECT_NE(s.trace.find("avihleng!=0038.\n"), std::string::npos);
    s = scan(path("long-strh"));
    EXPECT_EQ(aviscaninfo.avividsstrhsize, 60u);
    EXPECT_NE(s.trace.find("strhleng!=0038.\n"), std::string::npos);
    view v(path("long-strh"));
    EXPECT_EQ(aviscaninfo.aviptrvidsstrf, (int64_t)v.strl("vids")->find("strf")->data());
    EXPECT_NE(s.trace.find(" 1:(DIBtype=0028 bpp=24 compress=0000) "), std::string::npos) << s.trace;
    s = scan(path("zero-rate"));
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(aviscaninfo.avih.aviusperframe, 0);
}

TEST_F(Variants, Pads) {
    for (int n : {116, 115}) {
        scanout s = scan(path("junk-" + std::to_string(n)));
        EXPECT_EQ(s.junksize, n);
        EXPECT_EQ(s.hasaudio, 0);
    }
    EXPECT_EQ(scan(path("no-junk")).junkpos, 0);
}

}  // namespace
#endif

namespace {

// The file calls a scan makes, counted through g_os: a scan that runs away
// on a damaged size (one read or seek per claimed frame, say) shows in the
// count, whatever the machine's speed.
long g_filecalls = 0;
os_api g_direct;
int counted_read(os_file f, void* buf, uint32_t n, uint32_t* got) { g_filecalls++; return g_direct.read(f, buf, n, got); }
int counted_seek(os_file f, int64_t off, int origin, int64_t* at) { g_filecalls++; return g_direct.seek(f, off, origin, at); }
size_t counted_fread(void* b, size_t size, size_t count, FILE* f) { g_filecalls++; return g_direct.fread(b, size, count, f); }
int counted_fgetc(FILE* f) { g_filecalls++; return g_direct.fgetc(f); }
int counted_fseek64(FILE* f, int64_t off, int origin) { g_filecalls++; return g_direct.fseek64(f, off, origin); }

// Damaged movies: every size field of a small movie set to 0, 2^31 and
// 2^32 - 1, the frame count made huge, and the file cut at many lengths.
// Each scan ends, keeps the table within what the file can hold, leaves RD
// closed, and makes no more file calls than its two passes have bytes to
// read (a few more for a tiny one).
TEST_F(ScanTargets, DamagedMoviesEndCleanly) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 1001, false});
    const std::vector<uint8_t> good = sc.get("m.avi");
    view v(sc.path("m.avi"));
    std::vector<uint64_t> fields;  // positions of size fields
    std::function<void(const riff::chunk&)> collect = [&](const riff::chunk& c) {
        fields.push_back(c.pos + 4);
        for (const riff::chunk& k : c.kids) collect(k);
    };
    collect(*v.avi);
    fields.push_back(v.hdrl->find("avih")->data() + 16);  // dwTotalFrames
    fields.push_back(v.strl("vids")->find("strh")->data() + 32);  // dwLength
    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad;
    for (uint64_t f : fields)
        for (uint32_t val : {0u, 0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
            std::vector<uint8_t> b = good;
            put_le32(&b[f], val);
            bad.push_back({"field at " + std::to_string(f) + " = " + std::to_string(val), b});
        }
    for (size_t n = 0; n < good.size(); n += 97)
        bad.push_back({"cut at " + std::to_string(n), std::vector<uint8_t>(good.begin(), good.begin() + (ptrdiff_t)n)});
    for (auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        sc.put("d.avi", bytes);
        idxtablefree();
        g_direct = g_os;
        g_os.read = counted_read;
        g_os.seek = counted_seek;
        g_os.fread = counted_fread;
        g_os.fgetc = counted_fgetc;
        g_os.fseek64 = counted_fseek64;
        g_filecalls = 0;
        scanout s = scan(sc.path("d.avi"), 1);
        g_os = g_direct;
        EXPECT_TRUE(s.result == 0 || s.result == 2 || s.result == 3) << s.result;
        EXPECT_LE((int64_t)idxtablesize(), (int64_t)bytes.size() / 8);
        EXPECT_NE(rfeof(), 0);
        EXPECT_LE(g_filecalls, 64 + 2 * (long)bytes.size()) << "file calls";
    }
}

}  // namespace

namespace {

// Empty video chunks (dropped frames) are frames like any other: the table
// keeps one entry per chunk, the target is the empty chunk itself with size
// 0, and the scan names the nearest earlier chunk that is not empty as the
// one a player shows.  The same from idx1 and, without one, from the movi
// walk.
TEST_F(ScanTargets, EmptyChunksKeepTheirPlacesAndNameTheFrameShown) {
    std::vector<uint8_t> pix(8, 0x11);
    const std::vector<std::vector<uint8_t>> data = {{}, {}, pix, {}, {}, pix, {}};
    // Per target: the frame shown (-1: none).
    const int shown[] = {-1, -1, 2, 2, 2, 5, 5};
    for (bool idx1 : {true, false}) {
        SCOPED_TRACE(idx1 ? "idx1" : "no idx1");
        framefix::dibmovie m;
        m.w = 2;
        m.h = 1;
        m.strf = framefix::bmih(2, 1, 24);
        for (const auto& d : data) m.chunks.push_back({"00db", d});
        m.idx1 = idx1;
        scene sc;
        sc.put("e.avi", framefix::build(m));
        view v(sc.path("e.avi"));
        auto frames = v.frames();
        ASSERT_EQ(frames.size(), data.size());
        const uint64_t movi4 = v.movi->pos + 8;
        for (int k = 0; k < (int)data.size(); k++) {
            SCOPED_TRACE(k);
            scanout s = scan(sc.path("e.avi"), k);
            ASSERT_EQ(s.result, 0);
            EXPECT_EQ(s.chunkoff, (int64_t)frames[k]->pos);
            EXPECT_EQ(s.chunksize, (int64_t)data[k].size());
            ASSERT_EQ(idxtablecap, (int32_t)data.size());
            for (size_t j = 0; j < frames.size(); j++) EXPECT_EQ(idxtable[j], (uint32_t)(frames[j]->pos - movi4));
            if (shown[k] < 0) {
                EXPECT_EQ(aviscaninfo.aviptrshown, 0);
                EXPECT_EQ(aviscaninfo.avishownsize, 0);
            } else {
                EXPECT_EQ(aviscaninfo.aviptrshown, (int64_t)frames[shown[k]]->pos);
                EXPECT_EQ(aviscaninfo.avishownsize, 8);
                EXPECT_EQ(aviscaninfo.avishownframe, shown[k]);
            }
            // Nothing of this reaches the trace.
            EXPECT_EQ(count(s.trace, "Unknown"), 0) << s.trace;
        }
    }
}

// A format chunk with a 12-byte bitmap header is read by that header: its
// 16-bit fields, never past the chunk's end, and the walk goes on at the
// chunk's end (so the movie after it is still found).
TEST_F(ScanTargets, TwelveByteBitmapHeaders) {
    struct headercase {
        const char* name;
        std::vector<uint8_t> strf;
        int32_t width, height;
        int16_t planes, bits;
    };
    std::vector<uint8_t> pal8 = {12, 0, 0, 0, 3, 0, 2, 0, 1, 0, 8, 0};
    pal8.resize(12 + 3 * 256, 0x5A);
    const headercase cases[] = {
        {"24-bit", {12, 0, 0, 0, 3, 0, 2, 0, 1, 0, 24, 0}, 3, 2, 1, 24},
        {"top-down", {12, 0, 0, 0, 3, 0, 0xFE, 0xFF, 1, 0, 24, 0}, 3, -2, 1, 24},
        {"8-bit palette", pal8, 3, 2, 1, 8},
        // A chunk shorter than its header: what lies past the chunk is not
        // the header's.
        {"cut chunk", {12, 0, 0, 0, 3, 0, 2, 0}, 3, 2, 0, 0},
    };
    for (const headercase& c : cases) {
        SCOPED_TRACE(c.name);
        framefix::dibmovie m;
        m.w = 3;
        m.h = 2;
        m.strf = c.strf;
        m.chunks.push_back({"00db", std::vector<uint8_t>(24, 1)});
        m.chunks.push_back({"00db", std::vector<uint8_t>(24, 2)});
        scene sc;
        sc.put("c.avi", framefix::build(m));
        // Earlier values must not show through the fields a 12-byte header
        // does not have.
        aviscaninfo.avibmih.biCompression = 7;
        aviscaninfo.avibmih.biSizeImage = 7;
        aviscaninfo.avibmih.biClrUsed = 7;
        view v(sc.path("c.avi"));
        scanout s = scan(sc.path("c.avi"), 1);
        ASSERT_EQ(s.result, 0);
        const avibitmapinfo& b = aviscaninfo.avibmih;
        EXPECT_EQ(aviscaninfo.aviptrvidsstrf, (int64_t)v.strl("vids")->find("strf")->data());
        EXPECT_EQ(b.biSize, 12u);
        EXPECT_EQ(b.biWidth, c.width);
        EXPECT_EQ(b.biHeight, c.height);
        EXPECT_EQ(b.biPlanes, c.planes);
        EXPECT_EQ(b.biBitCount, c.bits);
        EXPECT_EQ(b.biCompression, 0u);
        EXPECT_EQ(b.biSizeImage, 0u);
        EXPECT_EQ(b.biXPelsPerMeter, 0);
        EXPECT_EQ(b.biYPelsPerMeter, 0);
        EXPECT_EQ(b.biClrUsed, 0u);
        EXPECT_EQ(b.biClrImportant, 0u);
        EXPECT_EQ(s.chunkoff, (int64_t)v.frames()[1]->pos);
        EXPECT_EQ(s.total, 2u);
        EXPECT_EQ(count(s.trace, "Unknown"), 0) << s.trace;
        EXPECT_EQ(count(s.trace, " != "), 0) << s.trace;
        EXPECT_EQ(count(s.trace, " mf=1 "), 1) << s.trace;
        EXPECT_EQ(count(s.trace, "strfleng!=0x0028.\n"), 2) << s.trace;
        EXPECT_NE(s.trace.find(" 1:(DIBtype=000C bpp=" + std::to_string(c.bits) + " compress=0000) "),
                  std::string::npos)
            << s.trace;
    }
}

}  // namespace

#ifndef _WIN32
namespace {

// A movie whose second frame and index lie past 2^31 bytes (a sparse file:
// the big first frame takes no disk): every position is found where it is.
TEST_F(ScanTargets, PositionsPastTwoGigabytes) {
    using moviefix::chunkbytes;
    using moviefix::le32;
    scene sc;
    const uint32_t big = 0xB0000000u, small = 16 * 3 * 8;
    std::vector<uint8_t> avih, strh, strf;
    for (uint32_t v : {16683u, 0u, 0u, 0x10u, 2u, 0u, 1u, small, 16u, 8u, 0u, 0u, 0u, 0u}) le32(avih, v);
    strh = {'v', 'i', 'd', 's', 'D', 'I', 'B', ' '};
    for (uint32_t v : {0u, 0u, 0u, 1001u, 60060u, 0u, 2u, small, 0xFFFFFFFFu, 0u, 0u, 0u}) le32(strh, v);
    for (uint32_t v : {40u, 16u, 8u, 0x00180001u, 0u, small, 0u, 0u, 0u, 0u}) le32(strf, v);
    std::vector<uint8_t> strl = {'s', 't', 'r', 'l'};
    for (auto& c : {chunkbytes("strh", strh), chunkbytes("strf", strf)}) strl.insert(strl.end(), c.begin(), c.end());
    std::vector<uint8_t> hdrl = {'h', 'd', 'r', 'l'};
    for (auto& c : {chunkbytes("avih", avih), chunkbytes("LIST", strl)}) hdrl.insert(hdrl.end(), c.begin(), c.end());
    std::vector<uint8_t> head = chunkbytes("LIST", hdrl);
    const uint32_t junk = 2048 - 12 - (uint32_t)head.size() - 8 - 12;
    auto j = chunkbytes("JUNK", std::vector<uint8_t>(junk, 0));
    head.insert(head.end(), j.begin(), j.end());
    const uint64_t movi4 = 12 + head.size() + 8;  // the 'movi' fourcc
    const uint64_t f0 = movi4 + 4, f1 = f0 + 8 + big, idx = f1 + 8 + small;
    const uint64_t end = idx + 8 + 32;
    std::vector<uint8_t> start = {'R', 'I', 'F', 'F'};
    le32(start, (uint32_t)(end - 8));
    start.insert(start.end(), {'A', 'V', 'I', ' '});
    start.insert(start.end(), head.begin(), head.end());
    start.insert(start.end(), {'L', 'I', 'S', 'T'});
    le32(start, (uint32_t)(idx - movi4));
    start.insert(start.end(), {'m', 'o', 'v', 'i', '0', '0', 'd', 'b'});
    le32(start, big);
    ASSERT_EQ(start.size(), f0 + 8);
    std::vector<uint8_t> tail = {'0', '0', 'd', 'b'};
    le32(tail, small);
    tail.resize(tail.size() + small, 0x5A);
    tail.insert(tail.end(), {'i', 'd', 'x', '1'});
    le32(tail, 32);
    for (uint64_t off : {f0 - movi4, f1 - movi4}) {
        tail.insert(tail.end(), {'0', '0', 'd', 'b'});
        le32(tail, 0x10);
        le32(tail, (uint32_t)off);
        le32(tail, off == f0 - movi4 ? big : small);
    }
    {
        std::ofstream f(moviefix::fspath(sc.path("big.avi")), std::ios::binary);
        f.write((const char*)start.data(), (std::streamsize)start.size());
        f.seekp((std::streamoff)f1);
        f.write((const char*)tail.data(), (std::streamsize)tail.size());
        ASSERT_TRUE(f.good());
    }
    scanout s = scan(sc.path("big.avi"), 1);
    ASSERT_EQ(s.result, 0) << s.trace;
    EXPECT_EQ(s.chunkoff, (int64_t)f1);
    EXPECT_EQ(s.chunksize, (int64_t)small);
    EXPECT_EQ(s.sizeflag, 15);
    EXPECT_EQ(aviscaninfo.aviptridx1, (int64_t)idx);
    EXPECT_EQ(aviscaninfo.aviptrmoviend, (int64_t)idx);
    EXPECT_EQ(idxtable[1], (uint32_t)(f1 - movi4));
    EXPECT_EQ(count(s.trace, " != "), 0) << s.trace;
    EXPECT_EQ(count(s.trace, " mf=1 "), 1) << s.trace;
}

}  // namespace
#endif
