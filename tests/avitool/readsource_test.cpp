// readsource_test.cpp - the planned file as a read source: splicedread at
// every piece boundary and for a source shorter than planned, the scanner on
// a source, the removal's pure plan at the 4 GB edge, and sound replacements
// that leave the process's file services alone (a WAV of any name, and
// threads doing file I/O and decoding PNGs beside them).

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "avitool/avitool_internal.h"
#include "avitool_fixtures.h"
#include "image/image.h"
#include "movie/chunks.h"

using namespace avifix;
using namespace avitool_detail;

namespace {

// Memory as the plan's source file; a read past its end gives what is there.
struct memfile {
    std::vector<uint8_t> data;
    rdsource src() { return {this, (int64_t)data.size(), read}; }
    static int64_t read(void* ctx, int64_t pos, void* buf, int64_t n) {
        const memfile& m = *static_cast<memfile*>(ctx);
        int64_t have = (int64_t)m.data.size() - pos;
        int64_t k = have < 0 ? 0 : have < n ? have : n;
        if (k > 0) std::memcpy(buf, m.data.data() + pos, (size_t)k);
        return k;
    }
};

std::vector<uint8_t> bytes(int n, int seed) {
    std::vector<uint8_t> v((size_t)n);
    for (int i = 0; i < n; i++) v[(size_t)i] = (uint8_t)(i * 37 + seed * 11 + 1);
    return v;
}

// A small plan with every kind of piece next to every other kind: own 3,
// stretch 5 (source 10..14), zeros 4, own 2, stretch 6 (source 0..5),
// zeros 1, stretch 3 (source 29..31, the source's last bytes).
struct smallplan {
    spliced p;
    std::vector<uint8_t> src = bytes(32, 1);
    std::vector<uint8_t> flat;  // the planned file, written out by hand
    smallplan() {
        p.own = {0xA1, 0xA2, 0xA3, 0xB1, 0xB2};
        p.pieces = {{0, 3, PIECE_OWN, 0}, {3, 5, 10, 0}, {8, 4, PIECE_ZEROS, 0},  {12, 2, PIECE_OWN, 3},
                    {14, 6, 0, 0},        {20, 1, PIECE_ZEROS, 0}, {21, 3, 29, 0}};
        p.length = 24;
        p.srclen = 32;
        flat = {0xA1, 0xA2, 0xA3};
        flat.insert(flat.end(), src.begin() + 10, src.begin() + 15);
        flat.insert(flat.end(), 4, 0);
        flat.insert(flat.end(), {0xB1, 0xB2});
        flat.insert(flat.end(), src.begin(), src.begin() + 6);
        flat.push_back(0);
        flat.insert(flat.end(), src.begin() + 29, src.end());
    }
};

// Every read of every size 1..N+2 at every offset 0..N, with one hint
// carried through all of them and with none: the planned bytes, cut only at
// the plan's end, and nothing written past the count.
TEST(SplicedRead, EverySizeAtEveryOffset) {
    smallplan sp;
    ASSERT_EQ(sp.flat.size(), 24u);
    memfile m{sp.src};
    const rdsource from = m.src();
    const int64_t N = sp.p.length;
    size_t hint = 0;
    for (bool keep : {true, false})
        for (int64_t pos = 0; pos <= N; pos++)
            for (int64_t n = 1; n <= N + 2; n++) {
                std::vector<uint8_t> out((size_t)n + 4, 0xEE);
                size_t fresh = 0;
                int64_t got = splicedread(sp.p, from, pos, out.data(), n, keep ? &hint : &fresh);
                int64_t want = std::min(n, N - pos);
                ASSERT_EQ(got, want) << pos << "+" << n;
                for (int64_t i = 0; i < got; i++) ASSERT_EQ(out[(size_t)i], sp.flat[(size_t)(pos + i)]) << pos << "+" << i;
                for (size_t i = (size_t)got; i < out.size(); i++) ASSERT_EQ(out[i], 0xEE) << pos << "+" << n;
            }
}

// A source shorter than the plan expects (the file shrank after planning):
// a read stops at the first byte the source no longer holds, with the bytes
// before it right and none made up after it, at every offset.
TEST(SplicedRead, ShorterSourceStopsTheRead) {
    for (int srclen : {31, 12, 0}) {
        SCOPED_TRACE(srclen);
        smallplan sp;
        memfile m{std::vector<uint8_t>(sp.src.begin(), sp.src.begin() + srclen)};
        const rdsource from = m.src();
        // Which planned bytes the short source still gives: a stretch byte
        // only where its source byte is there.
        std::vector<bool> there((size_t)sp.p.length, true);
        for (const piece& k : sp.p.pieces)
            if (k.src >= 0)
                for (int64_t i = 0; i < k.len; i++) there[(size_t)(k.at + i)] = k.src + i < srclen;
        for (int64_t pos = 0; pos < sp.p.length; pos++)
            for (int64_t n = 1; n <= sp.p.length - pos; n++) {
                std::vector<uint8_t> out((size_t)n, 0xEE);
                int64_t want = 0;
                while (want < n && there[(size_t)(pos + want)]) want++;
                int64_t got = splicedread(sp.p, from, pos, out.data(), n, nullptr);
                ASSERT_EQ(got, want) << pos << "+" << n;
                for (int64_t i = 0; i < got; i++) ASSERT_EQ(out[(size_t)i], sp.flat[(size_t)(pos + i)]);
                for (int64_t i = got; i < n; i++) ASSERT_EQ(out[(size_t)i], 0xEE) << "made up at " << pos + i;
            }
    }
}

// Through RD: a plan over a real file reads as the planned bytes across the
// stream's buffer; once the file has shrunk, RD ends with a read error, and
// a copy delivers only what came before it.
TEST(SplicedRead, ThroughTheReadStream) {
    scene sc;
    std::vector<uint8_t> file = bytes(30000, 2);
    sc.put("src.bin", file);
    spliced p;
    p.source = sc.path("src.bin");
    p.srclen = 30000;
    p.own = {1, 2, 3, 4};
    p.pieces = {{0, 4, PIECE_OWN, 0}, {4, 20000, 5000, 0}, {20004, 9000, PIECE_ZEROS, 0}, {29004, 5000, 0, 0}};
    p.length = 34004;
    std::vector<uint8_t> want = p.own;
    want.insert(want.end(), file.begin() + 5000, file.begin() + 25000);
    want.insert(want.end(), 9000, 0);
    want.insert(want.end(), file.begin(), file.begin() + 5000);
    for (bool shrunk : {false, true}) {
        SCOPED_TRACE(shrunk);
        if (shrunk) std::filesystem::resize_file(sc.path("src.bin"), 12000);
        plansource ps;
        ASSERT_TRUE(planopen(&ps, &p));
        ASSERT_EQ(rfopensrc(&ps.src), 0);
        ASSERT_EQ(wfcreate(sc.path("out.bin").c_str()), 0);
        rfcopyalltowf();
        EXPECT_EQ(rferror(), shrunk ? -1 : 0);
        EXPECT_EQ(rfeof(), -1);
        EXPECT_EQ(wfclose(), 0);
        std::vector<uint8_t> out = sc.get("out.bin");
        if (!shrunk) {
            EXPECT_EQ(out, want);
        } else {
            ASSERT_LT(out.size(), (size_t)(4 + 7000));
            EXPECT_TRUE(std::equal(out.begin(), out.end(), want.begin()));
        }
    }
}

class SourceScan : public fresh {};

scanout scansrc(const rdsource& src, int32_t frame) {
    scanout s;
    s.trace = moviefix::capture([&] {
        s.result = aviscansrc(&src, frame, &s.total, &s.width, &s.height, &s.sizeflag, &s.hasaudio, &s.audiobuf,
                              &s.junkpos, &s.junksize, &s.chunksize, &s.chunkoff, &s.fps);
    });
    return s;
}

// The scanner on a source is the scanner on the file: the same trace,
// outputs and record, for a whole movie, one cut inside movi, one whose RIFF
// chunk ends where the file ends (the first pass ends the stream), and bytes
// that are no AVI.
TEST_F(SourceScan, SameAsTheNamedFile) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 400, false});
    std::vector<uint8_t> whole = sc.get("m.avi");
    const uint32_t riffend = get_le32(&whole[4]) + 8;
    const std::vector<size_t> cuts = {whole.size(), whole.size() / 2, riffend, 64, 3};
    for (size_t cut : cuts) {
        SCOPED_TRACE(cut);
        std::vector<uint8_t> b(whole.begin(), whole.begin() + (ptrdiff_t)cut);
        sc.put("c.avi", b);
        for (int32_t frame : {0, -1}) {
            // Both from the start state: the header values outlive a scan.
            aviscanreset();
            idxtablefree();
            scanout byname = scan(sc.path("c.avi"), frame);
            const aviscanrecord S = aviscaninfo;
            std::vector<uint32_t> table(idxtable, idxtable + idxtablecap);
            aviscanreset();
            idxtablefree();
            memfile m{b};
            scanout bysrc = scansrc(m.src(), frame);
            EXPECT_EQ(bysrc.trace, byname.trace);
            EXPECT_EQ(bysrc.result, byname.result);
            EXPECT_EQ(bysrc.chunkoff, byname.chunkoff);
            EXPECT_EQ(bysrc.chunksize, byname.chunksize);
            EXPECT_EQ(bysrc.total, byname.total);
            EXPECT_EQ(bysrc.hasaudio, byname.hasaudio);
            // Field by field: the record's padding bytes are not part of it.
            EXPECT_TRUE(aviscaninfo == S);
            // Entries a cut movie does not reach are never written.
            if (cut >= riffend) {
                EXPECT_EQ(std::vector<uint32_t>(idxtable, idxtable + idxtablecap), table);
            }
            EXPECT_EQ(rfeof(), -1);
        }
    }
}

class WavRemovePlan : public fresh {};

// The removal's plan from the scan: the sizes it writes are the ones the
// removed movie holds; the JUNK takes the stream list's bytes exactly while
// its size field can hold them (else hdrl shrinks and the RIFF loses them
// too); a RIFF size at the 32-bit limit plans down from there; sizes that
// cannot give up the sound's bytes are refused.
TEST_F(WavRemovePlan, SizesJunkAndTheFourGigabyteEdge) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 400, false});
    scanfacts f{};
    moviefix::capture([&] { ASSERT_EQ(scanmovie(sc.path("m.avi").c_str(), 0, &f), 0); });
    const aviscanrecord S = aviscaninfo;
    const wavremoveplan p = planwavremove(S, f);
    EXPECT_TRUE(p.fits && p.junk && p.index);
    EXPECT_EQ(p.strl, STRL_AUDS_LIST);
    EXPECT_EQ(p.movibytes, 400 + CHUNK_HDR);
    EXPECT_EQ(p.idx1bytes, IDX1_ENTRY);
    EXPECT_EQ(p.riff, (int64_t)S.aviriffsize - 408 - 16);
    ASSERT_EQ(p.header.size(), 3u);
    EXPECT_EQ(p.header[1].put, std::vector<uint32_t>{3});
    EXPECT_EQ(p.header[2].put, std::vector<uint32_t>{1});

    int r = 0;
    moviefix::capture([&] { r = aviremovewav(sc.path("m.avi").c_str()); });
    ASSERT_EQ(r, 0);
    std::vector<uint8_t> b = sc.get("m.avi");
    EXPECT_EQ(get_le32(&b[(size_t)S.aviptrriffleng]), (uint32_t)p.riff);
    EXPECT_EQ(get_le32(&b[(size_t)S.aviptrhdrl + 4]), (uint32_t)p.hdrl);
    EXPECT_EQ(get_le32(&b[(size_t)S.aviptrmovi + 4]), (uint32_t)p.movi);  // movi kept its place
    EXPECT_EQ(get_le32(&b[(size_t)S.aviptridx1 - 408 + 4]), (uint32_t)p.idx1);
    EXPECT_EQ(get_le32(&b[(size_t)S.aviptrmaxbytes]), p.header[0].put[0]);
    EXPECT_EQ(b.size(), (size_t)(p.riffend + 8 + pad512((uint64_t)p.riffend + 8)));  // the 'them' trailer, the fill

    const struct {
        int64_t junk;
        bool grows;
    } pads[] = {{(int64_t)UINT32_MAX - STRL_AUDS_LIST, true}, {(int64_t)UINT32_MAX - STRL_AUDS_LIST + 1, false}};
    for (const auto& c : pads) {
        SCOPED_TRACE(c.junk);
        scanfacts g = f;
        g.junksize = c.junk;
        wavremoveplan q = planwavremove(S, g);
        EXPECT_EQ(q.junk, c.grows);
        EXPECT_EQ(q.riff, p.riff - (c.grows ? 0 : STRL_AUDS_LIST));
        EXPECT_EQ(q.riffend, S.aviptrriffleng + 4 + q.riff);
    }
    aviscanrecord big = S;
    big.aviriffsize = UINT32_MAX;
    wavremoveplan q = planwavremove(big, f);
    EXPECT_TRUE(q.fits);
    EXPECT_EQ(q.riff, (int64_t)UINT32_MAX - 408 - 16);
    aviscanrecord tiny = S;
    tiny.aviriffsize = 408 + 16 + 3;
    EXPECT_FALSE(planwavremove(tiny, f).fits);
    aviscanrecord nohdrl = S;
    nohdrl.avihdrlsize = STRL_AUDS_LIST - 1;
    EXPECT_FALSE(planwavremove(nohdrl, f).fits);
}

class SoundReplace : public fresh {};

#ifndef _WIN32
// The replacement used to answer one invented file name from its plan: a
// WAV of exactly that name got the movie's bytes as its sound.  Now every
// name is the file it names.
TEST_F(SoundReplace, WavNamedLikeTheOldMountGetsItsOwnBytes) {
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 3, false, 400, false});
    const std::vector<uint8_t> m0 = sc.get("m.avi");
    const std::string odd = "\x01(the movie without its sound)";
    e2e::wavfile w = soundof(1000, 7);
    sc.put(odd, w.file);
    sc.put("plain.wav", w.file);
    std::filesystem::path was = std::filesystem::current_path();
    std::filesystem::current_path(sc.root());
    int r1 = 0, r2 = 0;
    std::string out = moviefix::capture([&] { r1 = aviappendwav("m.avi", odd.c_str(), 1); });
    std::vector<uint8_t> viaodd = sc.get("m.avi");
    sc.put("m.avi", m0);
    moviefix::capture([&] { r2 = aviappendwav("m.avi", "plain.wav", 1); });
    std::filesystem::current_path(was);
    ASSERT_EQ(r1, 0) << out;
    ASSERT_EQ(r2, 0);
    EXPECT_EQ(viaodd, sc.get("m.avi"));
    view v(sc.path("m.avi"));
    ASSERT_TRUE(v.movi);
    const riff::chunk& wb = v.movi->kids.back();
    ASSERT_EQ(wb.id, "01wb");
    std::vector<uint8_t> data(viaodd.begin() + (ptrdiff_t)wb.data(), viaodd.begin() + (ptrdiff_t)(wb.data() + wb.size));
    EXPECT_EQ(data, w.data);
}
#endif

// Sound replacements on the main thread beside two threads doing plain file
// I/O through g_os on files of their own and two decoding PNGs with
// pngloadjob: every replacement gives the movie it gives alone, every
// thread's bytes and pixels are right, and (under ThreadSanitizer) nothing
// races, since the edit no longer touches the process's file services.
TEST(ConcurrentEdit, ReplacementsBesideFileIOAndPngJobs) {
    aviscanreset();
    idxtablefree();
    scene sc;
    makemovie(sc, "m.avi", {8, 6, 4, false, 600, false});
    sc.put("a.wav", soundof(900, 3).file);
    sc.put("b.wav", soundof(24000, 4).file);  // longer than the movie
    const std::string movie = sc.path("m.avi");
    // What each replacement gives on its own.
    std::vector<uint8_t> want[2];
    for (int k = 0; k < 2; k++) {
        int r = 0;
        std::string out = moviefix::capture([&] { r = aviappendwav(movie.c_str(), sc.path(k ? "b.wav" : "a.wav").c_str(), 1); });
        ASSERT_EQ(r, 0) << out;
        want[k] = sc.get("m.avi");
    }
    ASSERT_NE(want[0], want[1]);
    // The PNGs the decoding threads load, and their pixels as loaded alone.
    const moviefix::image ims[2] = {moviefix::pattern(23, 17, true, 5), moviefix::pattern(40, 9, false, 6)};
    std::vector<uint8_t> pix[2];
    for (int t = 0; t < 2; t++) {
        std::string p = sc.path("p" + std::to_string(t) + ".png");
        sc.png("p" + std::to_string(t) + ".png", ims[t]);
        pngjob job{};
        job.path = p.c_str();
        job.alphamode = 2;
        job.trnsalpha = 1;
        ASSERT_EQ(pngloadjob(&job), 0);
        size_t n = (size_t)job.planes.width * job.planes.height;
        for (uint8_t* q : {job.planes.R, job.planes.G, job.planes.B, job.planes.A}) pix[t].insert(pix[t].end(), q, q + n);
        planesfree(&job.planes);
    }

    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::atomic<int> bad{0};
    long rounds[4] = {0, 0, 0, 0};
    std::vector<std::thread> th;
    for (int t = 0; t < 2; t++)
        th.emplace_back([&, t] {
            const std::string name = sc.path("io" + std::to_string(t) + ".bin");
            const std::vector<uint8_t> data = bytes(5000 + 977 * t, 9 + t);
            bool first = true;
            while (first || !stop.load()) {
                FILE* f = g_os.fopen(name.c_str(), "wb");
                bool ok = f && g_os.fwrite(data.data(), 1, data.size(), f) == data.size() && g_os.fputc(0x5A, f) == 0x5A;
                if (f) ok = g_os.fclose(f) == 0 && ok;
                f = g_os.fopen(name.c_str(), "rb");
                std::vector<uint8_t> back(data.size());
                ok = ok && f && g_os.fread(back.data(), 1, back.size(), f) == back.size() && back == data &&
                     g_os.fgetc(f) == 0x5A && g_os.fgetc(f) == EOF && g_os.fseek64(f, 100, SEEK_SET) == 0 &&
                     g_os.ftell64(f) == 100 && g_os.fgetc(f) == data[100];
                if (f) g_os.fclose(f);
                if (!ok) bad++;
                rounds[t]++;
                if (first) started++;
                first = false;
            }
        });
    for (int t = 0; t < 2; t++)
        th.emplace_back([&, t] {
            const std::string p = sc.path("p" + std::to_string(t) + ".png");
            bool first = true;
            while (first || !stop.load()) {
                pngjob job{};
                job.path = p.c_str();
                job.alphamode = 2;
                job.trnsalpha = 1;
                std::vector<uint8_t> got;
                if (pngloadjob(&job) == 0) {
                    size_t n = (size_t)job.planes.width * job.planes.height;
                    for (uint8_t* q : {job.planes.R, job.planes.G, job.planes.B, job.planes.A}) got.insert(got.end(), q, q + n);
                }
                planesfree(&job.planes);
                if (got != pix[t]) bad++;
                rounds[2 + t]++;
                if (first) started++;
                first = false;
            }
        });
    // Every thread is under way (each has done one round) before the edits.
    while (started.load() < 4) std::this_thread::yield();
    int failed = 0;
    std::string out = moviefix::capture([&] {
        for (int i = 0; i < 24; i++) {
            int k = i % 2;
            int r = aviappendwav(movie.c_str(), sc.path(k ? "b.wav" : "a.wav").c_str(), 1);
            if (r != 0 || sc.get("m.avi") != want[k]) failed++;
        }
    });
    stop = true;
    for (std::thread& t : th) t.join();
    EXPECT_EQ(failed, 0) << out.substr(0, 2000);
    EXPECT_EQ(bad.load(), 0);
    for (long n : rounds) EXPECT_GE(n, 1);
}

}  // namespace
