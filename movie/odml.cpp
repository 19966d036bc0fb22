// odml.cpp - the OpenDML writer: its size plan and its one forward write pass.
//
// Division: the plan (pure arithmetic, no I/O); the chunks only this layout
// has; the write pass, held to the plan; the writer's core mkodmlsub and its
// two entry points.

#include "movie/odml.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/image.h"
#include "movie/finish.h"
#include "movie/frames.h"
#include "movie/prepass.h"
#include "movie/writer_internal.h"
#include "stream/stream.h"


// ---- The plan --------------------------------------------------------------------

uint32_t odmlrifflimit = ODML_RIFF_LIMIT;

namespace {

// The video super index of N entries, the whole chunk.
uint64_t vidsindx(uint64_t N) { return INDX_HDR + INDX_ENTRY * N; }

// The bytes of a first segment that do not depend on its frame count: the
// AVI 1.0 header and filler up to the movi list (the RIFF's own 8 bytes not
// counted), the video super index, the odml list, the ix00 header, and with
// sound the audio super index, the ix01 and the sound chunk.
uint64_t riff1_base(const odmlplan* p) {
    const odmlfacts& f = p->facts;
    uint64_t b = (uint64_t)(f.alpha ? AVI1_FIRST_FRAME_32 : AVI1_FIRST_FRAME_24) - CHUNK_HDR +
                 vidsindx((uint64_t)p->numIndex) + ODML_LIST + IXNN_HDR;
    if (f.sound) b += AUDS_INDX + IXNN_HDR + IXNN_ENTRY + CHUNK_HDR + (uint64_t)f.datlen;
    return b;
}

// The largest k <= cap whose first segment stays below the limit; 0 when not
// even an empty first segment does.  R1 grows by fs + 16 per frame, so this
// is the linear search "try cap, then one less" done in one division.
uint64_t lower_k1(const odmlplan* p, uint64_t cap) {
    const uint64_t limit = p->facts.limit;
    uint64_t base = riff1_base(p);
    if (base >= limit) return 0;
    uint64_t fit = (limit - 1 - base) / (p->fs + CHUNK_HDR + IXNN_ENTRY);
    return fit < cap ? fit : cap;
}

// Segments needed when the first one holds k1 frames and each later one kx.
uint64_t segments_for(uint64_t n, uint64_t k1, uint64_t kx) {
    uint64_t left = n - k1;
    return 1 + (left + kx - 1) / kx;
}

}  // namespace

uint64_t odmlriff1(const odmlplan* p, uint64_t k) {
    return (p->fs + CHUNK_HDR) * k + IXNN_ENTRY * k + riff1_base(p);
}

uint64_t odmlriffx(const odmlplan* p, uint64_t k) {
    // 'AVIX', the movi list's header, the ix00 header, then per frame its
    // chunk and its index entry.
    return (p->fs + CHUNK_HDR) * k + IXNN_ENTRY * k + 4 + LIST_HDR + IXNN_HDR;
}

int odmlmkplan(const odmlfacts* facts, odmlplan* out) {
    odmlplan p{};
    p.facts = *facts;
    if (!p.facts.sound) p.facts.datlen = 0;
    if (p.facts.limit == 0) p.facts.limit = ODML_RIFF_LIMIT;
    const odmlfacts& f = p.facts;
    const uint64_t n = f.n;
    const uint64_t limit = f.limit;

    // Frame geometry.  Widths and heights come from a PNG header (below 2^31
    // each), so the stride fits; the product is checked.
    p.stride = dibstride(f.w, f.alpha ? 32 : 24);
    p.rowpad = f.alpha ? 0 : (uint32_t)(p.stride - 3 * (uint64_t)f.w);
    if (__builtin_mul_overflow(p.stride, (uint64_t)f.h, &p.fs)) {
        p.fs = UINT64_MAX;
        *out = p;
        return ODML_TOO_LARGE;
    }
    // One frame chunk and its index entry must fit into a later segment;
    // beyond that the plan would never end.
    if (p.fs >= limit || odmlriffx(&p, 1) >= limit || (f.sound && f.datlen < 0)) {
        *out = p;
        return ODML_TOO_LARGE;
    }
    const int64_t fs = (int64_t)p.fs;

    // First estimate of the super index size I0 and of one ix00 X0, and from
    // them of k1.  These formulas size the movies written so far and are
    // kept so that those stay byte for byte the same; G is the 1 GiB they
    // are made for (the limit plus 16).  Where they break down (tiny frames
    // make fs - 24 zero or negative, tens of millions of frames make the
    // divisor of I0 negative, a lowered limit makes G small) a plain
    // estimate takes their place, since the fixed point below settles the
    // real figures anyway.
    const int64_t G = (int64_t)limit + 16;
    int64_t i0;
    int64_t idiv = (f.alpha ? G - 76176 : G - 67584) - 24 * (int64_t)n;
    int64_t inum = (fs + 24) * (int64_t)n + (f.alpha ? 8592 : 0);
    if (idiv > 0) i0 = inum / idiv * 16 + 24;
    else i0 = (inum / (G > 0x200000 ? G - 0x100000 : G) + 1) * 16 + 24;
    int64_t x0 = fs > 32 ? G / (fs - 24) * 8 + 24 : G / (fs + 16) * 8 + 24;
    int64_t est = (G - (i0 + x0 + (f.sound ? 104 : 16)) - (f.alpha ? 8844 : 2068)) / (fs + 8);
    if (est < 0) est = 0;
    if ((uint64_t)est > n) est = (int64_t)n;

    // Later segments: as many frames as fit, the same for every one.
    uint64_t kx = (limit - 8) / (p.fs + 8);
    while (kx > 0 && odmlriffx(&p, kx) >= limit) kx--;
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

    // Walk the first segment:
    // 'RIFF' size 'AVI ' | 'LIST' size [hdrl] | 'JUNK' J [J] | 'LIST' size 'movi'
    const uint64_t N = (uint64_t)p.numIndex;
    p.hdrlsize = (uint32_t)(hdrlsize1(f.alpha, f.sound) + vidsindx(N) + ODML_LIST +
                            (f.sound ? AUDS_INDX : 0));
    p.strlsize = (uint32_t)(strlvidssize(f.alpha) + vidsindx(N));
    p.junksize = junksize1(f.alpha, f.sound);
    p.movi1 = RIFF_HDR + CHUNK_HDR + p.hdrlsize + CHUNK_HDR + p.junksize + CHUNK_HDR;
    p.ix00_1 = p.movi1 + 4;
    const uint64_t ix00 = IXNN_HDR + IXNN_ENTRY * k1, ix01 = f.sound ? IXNN_HDR + IXNN_ENTRY : 0;
    const uint64_t frames = k1 * (p.fs + CHUNK_HDR);
    const uint64_t wb = f.sound ? CHUNK_HDR + (uint64_t)f.datlen : 0;
    p.ix01 = f.sound ? p.ix00_1 + ix00 : 0;
    p.frame1 = p.ix00_1 + ix00 + ix01;
    p.wb = f.sound ? p.frame1 + frames : 0;
    p.movi1size = (uint32_t)(4 + ix00 + ix01 + frames + wb);
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
    g.movi = g.start + RIFF_HDR + CHUNK_HDR;
    g.movisize = (uint32_t)(4 + IXNN_HDR + IXNN_ENTRY * (uint64_t)g.frames +
                            (p->fs + CHUNK_HDR) * g.frames);
    g.ix00 = g.start + RIFF_HDR + LIST_HDR;
    g.frame = g.ix00 + IXNN_HDR + IXNN_ENTRY * (uint64_t)g.frames;
    return g;
}

// ---- Chunks ------------------------------------------------------------------------

using movie_detail::outpos;

int putvidsindx(const odmlplan& plan) {
    const char* cc = plan.facts.alpha ? "00dc" : "00db";
    const uint64_t N = (uint64_t)plan.numIndex;
    if (int r = putfourcc("indx")) return r;
    wfputdw((uint32_t)(INDX_ENTRY * N + INDX_HDR - CHUNK_HDR));  /* cb */
    wfputw(4);                                     /* wLongsPerEntry */
    wfputc(0);                                     /* bIndexSubType */
    wfputc(0);                                     /* bIndexType: AVI_INDEX_OF_INDEXES */
    wfputdw(plan.segments);                        /* nEntriesInUse */
    if (int r = putfourcc(cc)) return r;           /* dwChunkId */
    for (int i = 0; i < 3; i++) wfputdw(0);        /* dwReserved[3] */
    for (uint32_t s = 0; s < plan.segments; s++) {
        const odmlseg g = odmlsegment(&plan, s);
        wfputqw(g.ix00);                           /* aIndex[].qwOffset: the 'ix00' */
        wfputdw(IXNN_HDR + IXNN_ENTRY * g.frames); /* aIndex[].dwSize: the whole chunk */
        wfputdw(g.frames);                         /* aIndex[].dwDuration, in frames */
    }
    wfputzeros(INDX_ENTRY * (N - plan.segments));    /* aIndex[] not in use */
    return 0;
}

int putstrlaudsodml(const odmlplan& plan, const soundfacts& s) {
    if (int r = putfourcc("LIST")) return r;
    wfputdw(STRL_AUDS_LIST + AUDS_INDX - CHUNK_HDR);  /* LIST size */
    if (int r = putfourcc("strl")) return r;
    if (int r = putstrhauds(s)) return r;
    if (int r = putstrfauds(s)) return r;
    if (int r = putfourcc("indx")) return r;
    wfputdw(AUDS_INDX - CHUNK_HDR);                /* cb */
    wfputw(4);                                     /* wLongsPerEntry */
    wfputc(0);                                     /* bIndexSubType */
    wfputc(0);                                     /* bIndexType: AVI_INDEX_OF_INDEXES */
    wfputdw(1);                                    /* nEntriesInUse */
    if (int r = putfourcc("01wb")) return r;       /* dwChunkId */
    for (int i = 0; i < 3; i++) wfputdw(0);        /* dwReserved[3] */
    wfputqw(plan.ix01);                            /* aIndex[0].qwOffset: the 'ix01' */
    wfputdw(IXNN_HDR + IXNN_ENTRY);                /* aIndex[0].dwSize */
    wfputdw((uint32_t)(s.datlen / s.ch / (s.bits / 8)));  /* aIndex[0].dwDuration, in samples */
    return putstrn("AUDIO");
}

int putodmllist(uint32_t n) {
    if (int r = putfourcc("LIST")) return r;
    wfputdw(ODML_LIST - CHUNK_HDR);                /* LIST size */
    if (int r = putfourcc("odml")) return r;
    if (int r = putfourcc("dmlh")) return r;
    wfputdw(8);                                    /* cb */
    wfputdw(n);                                    /* dwTotalFrames */
    wfputdw(0);                                    /* dwFuture[0] */
    return 0;
}

int putix00(const char* cc, uint32_t k, uint64_t base, uint64_t fs) {
    if (int r = putfourcc("ix00")) return r;
    wfputdw(IXNN_ENTRY * k + IXNN_HDR - CHUNK_HDR);  /* cb */
    wfputw(2);                                     /* wLongsPerEntry */
    wfputc(0);                                     /* bIndexSubType */
    wfputc(1);                                     /* bIndexType: AVI_INDEX_OF_CHUNKS */
    wfputdw(k);                                    /* nEntriesInUse */
    if (int r = putfourcc(cc)) return r;           /* dwChunkId */
    wfputqw(base);                                 /* qwBaseOffset */
    wfputdw(0);                                    /* dwReserved */
    // aIndex[]: dwOffset of the data from the base, dwSize of the data (top
    // bit 0: a key frame).  Gathered so that a segment's index is a few
    // block writes.
    uint8_t block[4096];
    size_t fill = 0;
    for (uint32_t i = 0; i < k; i++) {
        put_le32(block + fill, (uint32_t)((uint64_t)i * (fs + CHUNK_HDR) + CHUNK_HDR));
        put_le32(block + fill + 4, (uint32_t)fs);
        fill += IXNN_ENTRY;
        if (fill == sizeof block) {
            wfwrite(block, (int)fill);
            fill = 0;
        }
    }
    if (fill) wfwrite(block, (int)fill);
    return 0;
}

int putix01(uint64_t wb, uint32_t datlen) {
    if (int r = putfourcc("ix01")) return r;
    wfputdw(IXNN_HDR + IXNN_ENTRY - CHUNK_HDR);    /* cb */
    wfputw(2);                                     /* wLongsPerEntry */
    wfputc(0);                                     /* bIndexSubType */
    wfputc(1);                                     /* bIndexType: AVI_INDEX_OF_CHUNKS */
    wfputdw(1);                                    /* nEntriesInUse */
    if (int r = putfourcc("01wb")) return r;       /* dwChunkId */
    wfputqw(wb);                                   /* qwBaseOffset: the '01wb' chunk */
    wfputdw(0);                                    /* dwReserved */
    wfputdw(CHUNK_HDR);                            /* aIndex[0].dwOffset: its data */
    wfputdw(datlen);                               /* aIndex[0].dwSize */
    return 0;
}

// ---- The write pass ----------------------------------------------------------------

namespace {

// The tables of one call, released on every return.  They are filled from
// the positions the write pass reaches and held against the plan there: a
// table that only repeated the plan would prove nothing.
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

// Allocates the four tables in this order, each failure with its own line.
// 0, or -1.
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

// The frames of one segment: key poll, name, load, the chunk's offset from
// M recorded and held to the plan, the chunk.
int putframes(framestate* fr, const odmlplan& plan, odmltables& t, uint32_t first, uint32_t k,
              const odmlseg& g, const char* cc) {
    const uint64_t fs = plan.fs;
    for (uint32_t i = first; i < first + k; i++) {
        if (int r = framenext(fr, i)) {
            wfclose();
            return r;
        }
        t.dibchunkadr[i] = (uint32_t)(outpos() - g.movi);
        const uint32_t planned = (uint32_t)(g.frame - g.movi + (uint64_t)(i - first) * (fs + CHUNK_HDR));
        if (t.dibchunkadr[i] != planned) {
            printf("!!! DIBchunkadr[00dx]s %u!=%u disagreed.\n", planned, t.dibchunkadr[i]);
            return offplan();
        }
        if (int r = putfourcc(cc)) return r;
        wfputdw((uint32_t)fs);                     /* chunk size */
        if (framepixels(fr) != 0 || wferr()) return diskfull();
    }
    return 0;
}

// A segment's end: where its RIFF size says it ends.
int segmentend(const odmlseg& g, uint32_t s) {
    const uint64_t pos = outpos(), planned = g.start + CHUNK_HDR + g.riffsize;
    if (pos == planned) return 0;
    printf("!!! RIFF%u end %llu != %llu disagreed.\n", (unsigned)s, (unsigned long long)planned,
           (unsigned long long)pos);
    return offplan();
}

}  // namespace

int odmlwritepass(const moviepaths& p, const odmlplan& plan, const soundfacts& snd, float fps) {
    // The tables have a slot for every segment and frame the plan lays out.
    uint64_t planned = 0;
    for (uint32_t s = 0; s < plan.segments && s < (uint32_t)plan.numIndex; s++)
        planned += odmlsegment(&plan, s).frames;
    if (plan.segments < 1 || plan.numIndex < 1 || plan.segments > (uint32_t)plan.numIndex ||
        planned != plan.facts.n) {
        printf("!!! %u segments of %llu frames for %d index entries and %u frames disagreed.\n",
               (unsigned)plan.segments, (unsigned long long)planned, (int)plan.numIndex,
               (unsigned)plan.facts.n);
        return -1;
    }
    odmltables t;
    if (alloctables(&t, plan.facts.n, plan.numIndex)) return -1;

    const bool alpha = plan.facts.alpha, sound = plan.facts.sound;
    const uint32_t n = plan.facts.n;
    const uint64_t fs = plan.fs;
    const char* cc = alpha ? "00dc" : "00db";

    // A stop key waiting since the start is taken before the file is
    // created, as in the AVI 1.0 writer: nothing is written.
    if (int k = stopkey()) return k;

    // The first segment.
    if ((p.wide ? wfcreateW(p.aviW) : wfcreate(p.avi)) != 0) return -1;
    framestate fr;
    if (framesbegin(&fr, p, n, plan.facts.w, plan.facts.h, alpha)) {
        wfclose();
        return -1;
    }
    const videohdr v{n, plan.facts.w, plan.facts.h, alpha, fs, fps, sound};
    const odmlseg g0 = odmlsegment(&plan, 0);
    int r;
    if ((r = puthdrlopen(plan.riff1, plan.hdrlsize, plan.strlsize, v))) return r;
    if ((r = putvidsindx(plan))) return r;
    if (!alpha && (r = putstrn("VIDEO"))) return r;
    if (sound && (r = putstrlaudsodml(plan, snd))) return r;
    if ((r = putodmllist(n))) return r;
    if ((r = putjunk(alpha, plan.junksize))) return r;
    if ((r = putfourcc("LIST"))) return r;
    wfputdw(plan.movi1size);                       /* LIST size */
    if ((r = putfourcc("movi"))) return r;

    t.indexadrtable[0] = outpos();
    t.indexframenum[0] = g0.frames;
    if (t.indexadrtable[0] != plan.ix00_1) {
        printf("!!! StdIndex[ix00]p %u!=%u disagreed.\n", (uint32_t)plan.ix00_1,
               (uint32_t)t.indexadrtable[0]);
        return offplan();
    }
    if (t.indexframenum[0] != plan.k1) {
        printf("!!! StdIndex[ix00]s!=%u disagreed.\n", plan.k1);
        return offplan();
    }
    if ((r = putix00(cc, plan.k1, plan.frame1, fs))) return r;
    if (sound) {
        const uint64_t pos = outpos();
        if (pos != plan.ix01) {
            printf("!!! StdIndex[ix01]p!=%u disagreed.\n", (uint32_t)pos);
            return offplan();
        }
        if ((r = putix01(plan.wb, (uint32_t)snd.datlen))) return r;
    }
    t.firstDIBadrtable[0] = outpos();
    if (t.firstDIBadrtable[0] != plan.frame1) {
        printf("!!! baseAddrBMP%d %u != %u disagreed.\n", 0, (uint32_t)plan.frame1,
               (uint32_t)t.firstDIBadrtable[0]);
        return offplan();
    }
    if ((r = putframes(&fr, plan, t, 0, plan.k1, g0, cc))) return r;
    if (sound) {
        const uint64_t pos = outpos();
        if (pos != plan.wb) {
            printf("!!! WAVchunkadr[01wb]s %u!=%u disagreed.\n", (uint32_t)plan.wb, (uint32_t)pos);
            return offplan();
        }
        if ((r = putfourcc("01wb"))) return r;
        wfputdw((uint32_t)snd.datlen);             /* chunk size */
        if ((r = soundcopy(p, snd, "reading"))) {
            wfclose();
            return r;
        }
    }
    if ((r = segmentend(g0, 0))) return r;

    // Later segments.
    uint32_t done = plan.k1;
    for (uint32_t s = 1; s < plan.segments; s++) {
        const odmlseg g = odmlsegment(&plan, s);
        if ((r = putfourcc("RIFF", true))) return r;
        wfputdw(g.riffsize);                       /* RIFF size */
        if ((r = putfourcc("AVIX"))) return r;
        if ((r = putfourcc("LIST"))) return r;
        wfputdw(g.movisize);                       /* LIST size */
        if ((r = putfourcc("movi"))) return r;
        t.indexadrtable[s] = outpos();
        t.indexframenum[s] = g.frames;
        if (t.indexadrtable[s] != g.ix00) {
            printf("!!! StdIndex[ix00]p %u!=%u disagreed. (2) \n", (uint32_t)g.ix00,
                   (uint32_t)t.indexadrtable[s]);
            return offplan();
        }
        if ((r = putix00(cc, g.frames, g.frame, fs))) return r;
        t.firstDIBadrtable[s] = outpos();
        if (t.firstDIBadrtable[s] != g.frame) {
            printf("!!! baseAddrBMP%d %u != %u disagreed.\n", (int)s, (uint32_t)t.firstDIBadrtable[s],
                   (uint32_t)g.frame);
            return offplan();
        }
        if ((r = putframes(&fr, plan, t, done, g.frames, g, cc))) return r;
        done += g.frames;
        if ((r = segmentend(g, s))) return r;
    }

    // End: every frame written, the file where the plan ends it; trailer,
    // fill, and a close that proves every byte reached the disk.
    framesdone(&fr);
    if (wferr()) return diskfull();
    if (done != n || outpos() != plan.end) {
        printf("!!! %u frames to %llu != %u frames to %llu disagreed.\n", (unsigned)n,
               (unsigned long long)plan.end, (unsigned)done, (unsigned long long)outpos());
        return offplan();
    }
    if ((r = puttail(alpha, 3))) return r;  // a trailer byte not written: 3
    if ((r = finishoutput(p, odmlfilelen(&plan)))) return r;
    printf(" Assigned frames  %ld \n", (long)n);
    printf(" Output   frames  %ld \n", (long)done);
    return 0;
}

uint64_t odmlfilelen(const odmlplan* p) {
    const uint64_t end = p->end + (p->facts.alpha ? 0 : THEM_TRAILER);
    return end + pad512(end);
}

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
    // A sound whose scan met a failed read is neither left out nor guessed:
    // the run fails, as when its copy fails.
    if (snd.readfail) return AVI1_COPY_FAILED;

    // The plan.
    odmlfacts facts{lf.n, pngwidth, pngheight, pnghasalpha != 0, snd.present, snd.datlen};
    facts.limit = odmlrifflimit;
    odmlplan plan;
    if (odmlmkplan(&facts, &plan) != ODML_PLAN_OK) {
        if (plan.fs >= plan.facts.limit || odmlriffx(&plan, 1) >= plan.facts.limit)
            printf("Frame too large for an OpenDML segment (%u x %u).  Cannot create file. \n",
                   (unsigned)facts.w, (unsigned)facts.h);
        else
            printf("Sound too large for the first OpenDML segment.  Cannot create file. \n");
        return ODML_TOO_LARGE;
    }
    return odmlwritepass(p, plan, snd, fps);
}

int mkodml(const char* avipath, const char* listpath, float fps, const char* wavpath) {
    static const char16_t empty16[1] = {0};
    return mkodmlsub(avipath, empty16, listpath, empty16, fps, wavpath, empty16, 0);
}

int mkodmlW(const char16_t* avipath, const char16_t* listpath, float fps, const char16_t* wavpath) {
    return mkodmlsub("", avipath, "", listpath, fps, "", wavpath, 0xFF);
}
