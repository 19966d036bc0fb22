// odml.cpp - the OpenDML writer: its size plan and its one forward write pass.
//
// Division: the plan (pure arithmetic, no I/O); the write pass helpers; the
// writer's core mkodmlsub and its two entry points.

#include "movie/odml.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/image.h"
#include "movie/avi.h"
#include "movie/aviwrite.h"
#include "stream/stream.h"


// ---- The plan --------------------------------------------------------------------

namespace {

constexpr uint64_t kLimit = ODML_RIFF_LIMIT;

// The bytes of a first segment that do not depend on its frame count: the
// headers and pad up to the movi list (2040 for 24-bit, 8816 for 32-bit, each
// with the 16-byte super index header of the video counted apart), the odml
// list, the video super index, the ix00 header and the sound's share.
uint64_t riff1_base(const odmlplan* p) {
    const odmlfacts& f = p->facts;
    uint64_t b = (f.alpha ? 8816 : 2040) + 28 + (16 * (uint64_t)p->numIndex + 24) + 24;
    b += f.sound ? (uint64_t)f.datlen + 8 + 104 : 16;
    return b;
}

// The largest k <= cap whose first segment stays below the limit; 0 when not
// even an empty first segment does.  R1 grows by fs + 16 per frame, so this
// is the linear search "try cap, then one less" done in one division.
uint64_t lower_k1(const odmlplan* p, uint64_t cap) {
    uint64_t base = riff1_base(p);
    if (base >= kLimit) return 0;
    uint64_t fit = (kLimit - 1 - base) / (p->fs + 16);
    return fit < cap ? fit : cap;
}

// Segments needed when the first one holds k1 frames and each later one kx.
uint64_t segments_for(uint64_t n, uint64_t k1, uint64_t kx) {
    uint64_t left = n - k1;
    return 1 + (left + kx - 1) / kx;
}

}  // namespace

uint64_t odmlriff1(const odmlplan* p, uint64_t k) {
    return (p->fs + 8) * k + 8 * k + riff1_base(p);
}

uint64_t odmlriffx(const odmlplan* p, uint64_t k) {
    return (p->fs + 8) * k + 8 * k + 48;
}

int odmlmkplan(const odmlfacts* facts, odmlplan* out) {
    odmlplan p{};
    p.facts = *facts;
    if (!p.facts.sound) p.facts.datlen = 0;
    const odmlfacts& f = p.facts;
    const uint64_t n = f.n;

    // Frame geometry.  Widths and heights come from a PNG header (below 2^31
    // each), so the stride fits; the product is checked.
    p.stride = f.alpha ? 4 * (uint64_t)f.w : (3 * (uint64_t)f.w + 3) & ~(uint64_t)3;
    p.rowpad = f.alpha ? 0 : (uint32_t)(p.stride - 3 * (uint64_t)f.w);
    if (__builtin_mul_overflow(p.stride, (uint64_t)f.h, &p.fs)) {
        p.fs = UINT64_MAX;
        *out = p;
        return ODML_TOO_LARGE;
    }
    // One frame chunk and its index entry must fit into a later segment;
    // beyond that the plan would never end.
    if (p.fs >= kLimit || odmlriffx(&p, 1) >= kLimit || (f.sound && f.datlen < 0)) {
        *out = p;
        return ODML_TOO_LARGE;
    }
    const int64_t fs = (int64_t)p.fs;

    // First estimate of the super index size I0 and of one ix00 X0, and from
    // them of k1.  These are the traditional formulas; where they break down
    // (tiny frames make fs - 24 zero or negative, tens of millions of frames
    // make the divisor of I0 negative) a plain estimate takes their place,
    // since the fixed point below settles the real figures anyway.
    int64_t i0;
    int64_t idiv = (int64_t)(f.alpha ? 0x3FFED670 : 0x3FFEF800) - 24 * (int64_t)n;
    int64_t inum = (fs + 24) * (int64_t)n + (f.alpha ? 8592 : 0);
    if (idiv > 0) i0 = inum / idiv * 16 + 24;
    else i0 = (inum / 0x3FF00000 + 1) * 16 + 24;
    int64_t x0 = fs > 32 ? 0x40000000 / (fs - 24) * 8 + 24 : 0x40000000 / (fs + 16) * 8 + 24;
    int64_t est = (0x40000000 - (i0 + x0 + (f.sound ? 104 : 16)) - (f.alpha ? 8844 : 2068)) / (fs + 8);
    if (est < 0) est = 0;
    if ((uint64_t)est > n) est = (int64_t)n;

    // Later segments: as many frames as fit, the same for every one.
    uint64_t kx = 0x3FFFFFE8 / (p.fs + 8);
    while (kx > 0 && odmlriffx(&p, kx) >= kLimit) kx--;
    p.kx = (uint32_t)kx;

    // Reserved super index entries: what the estimate of k1 would need.
    uint64_t k1 = (uint64_t)est;
    uint64_t reserve = n == 0 ? 1 : k1 > 0 ? (n + k1 - 1) / k1 : segments_for(n, 0, kx);
    p.numIndex = (int32_t)reserve;

    // Fixed point: lower k1 until the first segment fits with numIndex
    // entries; when the frames then need more segments than reserved, reserve
    // them and lower again.  Each round only grows numIndex and shrinks k1,
    // and the segment count is bounded, so this ends.
    for (;;) {
        k1 = lower_k1(&p, k1);
        uint64_t segs = segments_for(n, k1, kx);
        if (segs <= (uint64_t)p.numIndex) {
            p.segments = (uint32_t)segs;
            break;
        }
        p.numIndex = (int32_t)segs;
    }
    p.k1 = (uint32_t)k1;

    uint64_t r1 = odmlriff1(&p, k1);
    if (r1 > 0xFFFFFFFFu) {  // only a sound of nearly 4 GB gets here
        *out = p;
        return ODML_TOO_LARGE;
    }
    p.riff1 = (uint32_t)r1;

    // Walk the first segment.
    const uint64_t N = (uint64_t)p.numIndex;
    p.hdrlsize = (uint32_t)((16 * N + 24) + (f.alpha ? 228 : 242) + (f.sound ? 164 : 0));
    p.strlsize = (uint32_t)((16 * N + 24) + (f.alpha ? 124 : 138));
    p.junksize = f.alpha ? (f.sound ? 8476 : 8592) : (f.sound ? 1686 : 1802);
    // 'RIFF' size 'AVI ' | 'LIST' size [hdrl] | 'JUNK' J [J] | 'LIST' size 'movi'
    p.movi1 = 12 + 8 + p.hdrlsize + 8 + p.junksize + 8;
    p.ix00_1 = p.movi1 + 4;
    p.ix01 = f.sound ? p.ix00_1 + 32 + 8 * k1 : 0;
    p.frame1 = p.ix00_1 + 32 + 8 * k1 + (f.sound ? 40 : 0);
    p.wb = f.sound ? p.frame1 + k1 * (p.fs + 8) : 0;
    p.movi1size = (uint32_t)(4 + (8 * k1 + 32) + (f.sound ? 40 : 0) + k1 * (p.fs + 8) +
                             (f.sound ? 8 + (uint64_t)f.datlen : 0));
    odmlseg last = odmlsegment(&p, p.segments - 1);
    p.end = last.start + 8 + last.riffsize;
    *out = p;
    return ODML_PLAN_OK;
}

odmlseg odmlsegment(const odmlplan* p, uint32_t s) {
    odmlseg g{};
    if (s == 0) {
        g.frames = p->k1;
        g.start = 0;
        g.riffsize = p->riff1;
        g.movi = p->movi1;
        g.movisize = p->movi1size;
        g.ix00 = p->ix00_1;
        g.frame = p->frame1;
        return g;
    }
    const uint64_t end1 = 8 + (uint64_t)p->riff1;
    const uint64_t full = 8 + odmlriffx(p, p->kx);
    uint64_t left = (uint64_t)p->facts.n - p->k1 - (uint64_t)(s - 1) * p->kx;
    g.frames = (uint32_t)(left < p->kx ? left : p->kx);
    g.start = end1 + (uint64_t)(s - 1) * full;
    g.riffsize = (uint32_t)odmlriffx(p, g.frames);
    g.movi = g.start + 20;
    g.movisize = (uint32_t)((p->fs + 8) * g.frames + 8 * (uint64_t)g.frames + 36);
    g.ix00 = g.start + 24;
    g.frame = g.start + 56 + 8 * (uint64_t)g.frames;
    return g;
}

// ---- The write pass ----------------------------------------------------------------

namespace {

// The planning tables of one call, released on every return.
struct odmltables {
    uint32_t* dibchunkadr = nullptr;       // per frame: chunk offset from its segment's M
    uint64_t* indexadrtable = nullptr;     // per segment: the 'ix00' position
    uint32_t* indexframenum = nullptr;     // per segment: its frames
    uint64_t* firstDIBadrtable = nullptr;  // per segment: its first frame chunk
    ~odmltables() {
        free(dibchunkadr);
        free(indexadrtable);
        free(indexframenum);
        free(firstDIBadrtable);
    }
};

// Allocates the four tables in their traditional order, each failure with its
// own line.  0, or -1.
int alloctables(odmltables* t, uint32_t n, int32_t numIndex) {
    size_t nn = n ? n : 1, ni = numIndex > 0 ? (size_t)numIndex : 1;
    if (!(t->dibchunkadr = (uint32_t*)malloc(nn * sizeof(uint32_t)))) {
        printf("Memory Allocation for dibchunkadr FAILED.\n");
        return -1;
    }
    if (!(t->indexadrtable = (uint64_t*)malloc(ni * sizeof(uint64_t)))) {
        printf("Memory Allocation for indexadrtable FAILED.\n");
        return -1;
    }
    if (!(t->indexframenum = (uint32_t*)malloc(ni * sizeof(uint32_t)))) {
        printf("Memory Allocation for indexframenum FAILED.\n");
        return -1;
    }
    if (!(t->firstDIBadrtable = (uint64_t*)malloc(ni * sizeof(uint64_t)))) {
        printf("Memory Allocation for firstDIBadrtable FAILED.\n");
        return -1;
    }
    return 0;
}

// Fills the tables from the plan: one slot per segment, one offset per frame.
void filltables(odmltables* t, const odmlplan& plan) {
    uint32_t frame = 0;
    for (uint32_t s = 0; s < plan.segments; s++) {
        odmlseg g = odmlsegment(&plan, s);
        t->indexadrtable[s] = g.ix00;
        t->indexframenum[s] = g.frames;
        t->firstDIBadrtable[s] = g.frame;
        for (uint32_t i = 0; i < g.frames; i++)
            t->dibchunkadr[frame++] = (uint32_t)(g.frame - g.movi + (uint64_t)i * (plan.fs + 8));
    }
}

uint64_t outpos() {
    int64_t pos = 0;
    wfgetpos64(&pos);
    return (uint64_t)pos;
}

// n zero bytes through WR, in blocks.
void putzeros(uint64_t n) {
    static const uint8_t zero[512] = {};
    while (n > 0) {
        int k = n < sizeof zero ? (int)n : (int)sizeof zero;
        wfwrite(zero, k);
        n -= (uint64_t)k;
    }
}

// A standard index of the video for one segment: k entries from base.
int putix00(const char* cc, uint32_t k, uint64_t base, uint64_t fs) {
    if (int r = putfourcc("ix00")) return r;
    wfputdw(8 * k + 24);       // cb
    wfputw(2);                 // wLongsPerEntry
    wfputc(0);                 // bIndexSubType
    wfputc(1);                 // bIndexType: an index of chunks
    wfputdw(k);                // nEntriesInUse
    if (int r = putfourcc(cc)) return r;  // dwChunkId
    wfputqw(base);             // qwBaseOffset
    wfputdw(0);                // dwReserved
    // Entries: offset of the data from base, data size (top bit 0: key
    // frame).  Gathered so that a segment's index is a few block writes.
    uint8_t block[4096];
    size_t fill = 0;
    for (uint32_t i = 0; i < k; i++) {
        put_le32(block + fill, (uint32_t)((uint64_t)i * (fs + 8) + 8));
        put_le32(block + fill + 4, (uint32_t)fs);
        fill += 8;
        if (fill == sizeof block) {
            wfwrite(block, (int)fill);
            fill = 0;
        }
    }
    if (fill) wfwrite(block, (int)fill);
    return 0;
}

// The frames of one segment: key poll, name, load, position check, chunk.
int putframes(framestate* fr, const odmltables& t, uint32_t first, uint32_t k, uint64_t movi,
              const char* cc, uint64_t fs) {
    for (uint32_t i = first; i < first + k; i++) {
        if (int r = framenext(fr, i)) {
            wfclose();
            return r;
        }
        uint32_t actual = (uint32_t)(outpos() - movi);
        if (actual != t.dibchunkadr[i])
            printf("!!! DIBchunkadr[00dx]s %u!=%u disagreed.\n", t.dibchunkadr[i], actual);
        if (int r = putfourcc(cc)) return r;
        wfputdw((uint32_t)fs);
        if (framepixels(fr) != 0 || wferr()) return diskfull();
    }
    return 0;
}

}  // namespace

int mkodmlsub(const char* avipath, const char16_t* avipathW, const char* listpath,
              const char16_t* listpathW, float fps, const char* wavpath,
              const char16_t* wavpathW, uint8_t wide) {
    static const char16_t empty16[1] = {0};
    moviepaths p{avipath ? avipath : "",   avipathW ? avipathW : empty16,
                 listpath ? listpath : "", listpathW ? listpathW : empty16,
                 wavpath ? wavpath : "",   wavpathW ? wavpathW : empty16,
                 wide};

    // Start, pre-pass and first image, as the AVI 1.0 writer does them.
    listfacts lf;
    if (int r = listprepass(p, &lf)) return r;
    if (int r = firstimage(p, lf, true)) return r;
    soundfacts snd;
    soundscan(p, &snd);

    // The plan.
    odmlfacts facts{lf.n, pngwidth, pngheight, pnghasalpha != 0, snd.present, snd.datlen};
    odmlplan plan;
    if (odmlmkplan(&facts, &plan) != ODML_PLAN_OK) {
        if (plan.fs >= ODML_RIFF_LIMIT || odmlriffx(&plan, 1) >= ODML_RIFF_LIMIT)
            printf("Frame too large for an OpenDML segment (%u x %u).  Cannot create file. \n",
                   (unsigned)facts.w, (unsigned)facts.h);
        else
            printf("Sound too large for the first OpenDML segment.  Cannot create file. \n");
        return ODML_TOO_LARGE;
    }
    odmltables t;
    if (alloctables(&t, plan.facts.n, plan.numIndex)) return -1;
    filltables(&t, plan);

    const bool alpha = plan.facts.alpha, sound = plan.facts.sound;
    const uint32_t n = plan.facts.n;
    const uint64_t fs = plan.fs;
    const uint64_t N = (uint64_t)plan.numIndex;
    const char* cc = alpha ? "00dc" : "00db";

    // Write pass, first segment.
    if ((wide ? wfcreateW(p.aviW) : wfcreate(p.avi)) != 0) return -1;
    framestate fr;
    if (framesbegin(&fr, p, n, plan.facts.w, plan.facts.h, alpha)) {
        wfclose();
        return -1;
    }
    videohdr v{n, plan.facts.w, plan.facts.h, alpha, fs, fps, sound};
    int r;
    if ((r = putfourcc("RIFF", true))) return r;
    wfputdw(plan.riff1);
    if ((r = putfourcc("AVI "))) return r;
    if ((r = putfourcc("LIST"))) return r;
    wfputdw(plan.hdrlsize);
    if ((r = putfourcc("hdrl"))) return r;
    if ((r = putavih(v))) return r;
    if ((r = putfourcc("LIST"))) return r;
    wfputdw(plan.strlsize);
    if ((r = putfourcc("strl"))) return r;
    if ((r = putstrhvids(v))) return r;
    if ((r = putstrfvids(v))) return r;
    // The video super index: one entry per segment, the rest zero.
    if ((r = putfourcc("indx"))) return r;
    wfputdw((uint32_t)(16 * N + 24));  // cb
    wfputw(4);                         // wLongsPerEntry
    wfputc(0);                         // bIndexSubType
    wfputc(0);                         // bIndexType: an index of indexes
    wfputdw(plan.segments);            // nEntriesInUse
    if ((r = putfourcc(cc))) return r; // dwChunkId
    wfputdw(0);                        // dwReserved[3]
    wfputdw(0);
    wfputdw(0);
    for (uint32_t s = 0; s < plan.segments; s++) {
        wfputqw(t.indexadrtable[s]);              // qwOffset of the ix00
        wfputdw(8 * t.indexframenum[s] + 32);     // dwSize: the whole chunk
        wfputdw(t.indexframenum[s]);              // dwDuration in frames
    }
    putzeros(16 * (N - plan.segments));
    if (!alpha && (r = putstrn("VIDEO"))) return r;
    if (sound) {
        if ((r = putfourcc("LIST"))) return r;
        wfputdw(156);
        if ((r = putfourcc("strl"))) return r;
        if ((r = putstrhauds(snd))) return r;
        if ((r = putstrfauds(snd))) return r;
        if ((r = putfourcc("indx"))) return r;
        wfputdw(40);                       // cb
        wfputw(4);                         // wLongsPerEntry
        wfputc(0);                         // bIndexSubType
        wfputc(0);                         // bIndexType: an index of indexes
        wfputdw(1);                        // nEntriesInUse
        if ((r = putfourcc("01wb"))) return r;
        wfputdw(0);
        wfputdw(0);
        wfputdw(0);
        wfputqw(plan.ix01);                // qwOffset of the ix01
        wfputdw(40);                       // dwSize
        wfputdw((uint32_t)(snd.datlen / snd.ch / (snd.bits / 8)));  // dwDuration in samples
        if ((r = putstrn("AUDIO"))) return r;
    }
    if ((r = putfourcc("LIST"))) return r;
    wfputdw(20);
    if ((r = putfourcc("odml"))) return r;
    if ((r = putfourcc("dmlh"))) return r;
    wfputdw(8);
    wfputdw(n);  // dwTotalFrames
    wfputdw(0);
    if ((r = putjunk(alpha, plan.junksize))) return r;
    if ((r = putfourcc("LIST"))) return r;
    wfputdw(plan.movi1size);
    if ((r = putfourcc("movi"))) return r;

    uint64_t pos = outpos();
    if (pos != t.indexadrtable[0])
        printf("!!! StdIndex[ix00]p %u!=%u disagreed.\n", (uint32_t)t.indexadrtable[0], (uint32_t)pos);
    if (t.indexframenum[0] != plan.k1) printf("!!! StdIndex[ix00]s!=%u disagreed.\n", plan.k1);
    if ((r = putix00(cc, plan.k1, t.firstDIBadrtable[0], fs))) return r;
    if (sound) {
        pos = outpos();
        if (pos != plan.ix01) printf("!!! StdIndex[ix01]p!=%u disagreed.\n", (uint32_t)pos);
        if ((r = putfourcc("ix01"))) return r;
        wfputdw(32);
        wfputw(2);
        wfputc(0);
        wfputc(1);
        wfputdw(1);
        if ((r = putfourcc("01wb"))) return r;
        wfputqw(plan.wb);                  // qwBaseOffset: the '01wb' chunk
        wfputdw(0);
        wfputdw(8);                        // its data, behind the chunk header
        wfputdw((uint32_t)snd.datlen);
    }
    pos = outpos();
    if (pos != t.firstDIBadrtable[0])
        printf("!!! baseAddrBMP%d %u != %u disagreed.\n", 0, (uint32_t)t.firstDIBadrtable[0], (uint32_t)pos);
    if ((r = putframes(&fr, t, 0, plan.k1, plan.movi1, cc, fs))) return r;
    if (sound) {
        pos = outpos();
        if (pos != plan.wb)
            printf("!!! WAVchunkadr[01wb]s %u!=%u disagreed.\n", (uint32_t)plan.wb, (uint32_t)pos);
        if ((r = putfourcc("01wb"))) return r;
        wfputdw((uint32_t)snd.datlen);
        if ((r = soundcopy(p, snd, "reading"))) {
            wfclose();
            return r;
        }
    }

    // Later segments.
    uint32_t done = plan.k1;
    for (uint32_t s = 1; s < plan.segments; s++) {
        odmlseg g = odmlsegment(&plan, s);
        if ((r = putfourcc("RIFF", true))) return r;
        wfputdw(g.riffsize);
        if ((r = putfourcc("AVIX"))) return r;
        if ((r = putfourcc("LIST"))) return r;
        wfputdw(g.movisize);
        if ((r = putfourcc("movi"))) return r;
        pos = outpos();
        if (s >= (uint32_t)plan.numIndex) {
            // Cannot happen: the plan reserves an entry for every segment.
            printf("riffcountWR %d>=numIndex %d.\n", (int)s, plan.numIndex);
        } else {
            if (pos != t.indexadrtable[s])
                printf("!!! StdIndex[ix00]p %u!=%u disagreed. (2) \n", (uint32_t)t.indexadrtable[s],
                       (uint32_t)pos);
            if (t.indexframenum[s] != g.frames) printf("!!! StdIndex[ix00]s!=%u disagreed.\n", g.frames);
        }
        if ((r = putix00(cc, g.frames, g.frame, fs))) return r;
        pos = outpos();
        if (pos != g.frame)
            printf("!!! baseAddrBMP%d %u != %u disagreed.\n", (int)s, (uint32_t)pos, (uint32_t)g.frame);
        if ((r = putframes(&fr, t, done, g.frames, g.movi, cc, fs))) return r;
        done += g.frames;
    }

    // End: trailer, fill, and a close that proves every byte reached the disk.
    framesdone(&fr);
    if (wferr()) return diskfull();
    pos = outpos();
    if ((r = puttail(alpha, 3))) return r;  // a trailer byte not written: 3
    uint64_t expect = pos + (alpha ? 0 : 8);
    expect = (expect | 0x1FF) + 1;
    if ((r = finishoutput(p, expect))) return r;
    printf(" Assigned frames  %ld \n", (long)n);
    printf(" Output   frames  %ld \n", (long)done);
    return 0;
}

int mkodml(const char* avipath, const char* listpath, float fps, const char* wavpath) {
    static const char16_t empty16[1] = {0};
    return mkodmlsub(avipath, empty16, listpath, empty16, fps, wavpath, empty16, 0);
}

int mkodmlW(const char16_t* avipath, const char16_t* listpath, float fps, const char16_t* wavpath) {
    return mkodmlsub("", avipath, "", listpath, fps, "", wavpath, 0xFF);
}
