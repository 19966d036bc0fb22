// avi1.cpp - the AVI 1.0 writer: its size plan and its one forward pass.
//
// An AVI 1.0 movie is one RIFF 'AVI ' chunk: the hdrl list, a JUNK (24-bit)
// or JUNQ (32-bit) filler that puts the first frame chunk at 2048 or 8824,
// the movi list (the frames, then at most one sound chunk) and idx1; after it
// the 8-byte 'them' trailer for 24-bit movies and 1 to 512 zero bytes up to a
// multiple of 512.  No chunk gets a pad byte.  Every size is known before the
// file is created, so it is written in one forward pass without seeking.
//
// Division: the plan (planavi1: every size and offset, no I/O); the writer
// (mkavi1sub and its two entry points), built on the steps both writers
// share: prepass.h, sound.h, chunks.h, frames.h, finish.h.

#include "movie/avi1.h"

#include <cstdio>
#include <cstdlib>

#include "image/image.h"
#include "movie/finish.h"
#include "movie/prepass.h"
#include "movie/writer_internal.h"
#include "stream/stream.h"

// ---- The plan ---------------------------------------------------------------------------

avi1plan planavi1(uint32_t n, uint32_t w, uint32_t h, bool alpha, bool sound, uint64_t datlen) {
    avi1plan p{};
    p.n = n;
    p.w = w;
    p.h = h;
    p.alpha = alpha;
    p.sound = sound;
    p.datlen = sound ? datlen : 0;

    p.stride = dibstride(w, alpha ? 32 : 24);
    p.rowpad = alpha ? 0 : (uint32_t)(p.stride - 3ull * w);
    p.hdrlsize = hdrlsize1(alpha, sound);
    p.strlsize = strlvidssize(alpha);
    p.junksize = junksize1(alpha, sound);
    p.firstframe = alpha ? AVI1_FIRST_FRAME_32 : AVI1_FIRST_FRAME_24;
    p.movi = p.firstframe - 4;
    p.trailer = alpha ? 0 : THEM_TRAILER;

    // Frame chunks and the sound chunk: every step checked, since w, h and
    // n come from files and a wrapped product would plan a small movie.
    uint64_t fs, chunk, frames, snd = 0, idx, entries;
    if (__builtin_mul_overflow(p.stride, (uint64_t)h, &fs) ||
        __builtin_add_overflow(fs, 8u, &chunk) ||
        __builtin_mul_overflow(chunk, (uint64_t)n, &frames) ||
        (sound && __builtin_add_overflow(p.datlen, 8u, &snd)) ||
        __builtin_add_overflow(frames, snd, &idx) ||
        __builtin_add_overflow(idx, (uint64_t)p.firstframe, &idx)) {
        p.fits = false;
        return p;
    }
    entries = (uint64_t)n + (sound ? 1 : 0);
    p.fs = fs;
    p.movisize = 4 + frames + snd;
    p.soundchunk = sound ? 4 + frames : 0;
    p.idx1 = idx;
    p.idx1size = IDX1_ENTRY * entries;
    if (__builtin_add_overflow(p.idx1, p.idx1size, &p.total)) {  // + 8 - 8
        p.fits = false;
        return p;
    }
    uint64_t end = p.total + CHUNK_HDR + p.trailer;
    p.fill = (uint32_t)pad512(end);
    p.filelen = end + p.fill;
    p.fits = (p.total >> 32) == 0;
    return p;
}

// ---- The writer ---------------------------------------------------------------------------

using movie_detail::outpos;

namespace {

// The chunk table: one u32 per frame, the offset of its chunk from M.
struct chunktable {
    uint32_t* at = nullptr;
    ~chunktable() { free(at); }
};

// A position of the write pass held to the plan: 0, or -1 after the line.
int onplan(const char* what, uint64_t planned, uint64_t actual) {
    if (planned == actual) return 0;
    printf("!!! %s at %llu != %llu disagreed.\n", what, (unsigned long long)planned,
           (unsigned long long)actual);
    return offplan();
}

int writeavi1(const moviepaths& p, float fps) {
    listfacts lf;
    if (int r = listprepass(p, &lf)) return r;
    if (int r = firstimage(p, lf, false)) return r;
    soundfacts snd;
    soundscan(p, &snd);
    // A sound whose scan met a failed read is neither left out nor guessed:
    // the run fails, as when its copy fails.
    if (snd.readfail) return AVI1_COPY_FAILED;

    const bool alpha = pnghasalpha != 0;
    const avi1plan plan = planavi1(lf.n, pngwidth, pngheight, alpha, snd.present,
                                   snd.present ? (uint64_t)snd.datlen : 0);
    if (!plan.fits) {
        printf("File size will be over 4 GB.  Cannot create file. \n");
        return AVI1_TOO_LARGE;
    }
    return avi1writepass(p, plan, snd, fps);
}

}  // namespace

int avi1writepass(const moviepaths& p, const avi1plan& plan, const soundfacts& snd, float fps,
                  const framesource* src) {
    const uint32_t n = plan.n;
    const bool alpha = plan.alpha;
    chunktable table;
    table.at = (uint32_t*)malloc((size_t)(n ? n : 1) * sizeof(uint32_t));
    if (!table.at) {
        printf("Memory Allocation for chunk table FAILED.\n");
        return AVI1_FAILED;
    }

    // A stop key pressed during the pre-pass, the checks or the sound scan
    // is taken here, before the file is created (or an earlier movie of the
    // name truncated): the run ends with nothing written.
    if (!src)
        if (int k = stopkey()) return k;
    if ((p.wide ? wfcreateW(p.aviW) : wfcreate(p.avi)) != 0) return AVI1_FAILED;

    const videohdr v{n, plan.w, plan.h, alpha, plan.fs, fps, plan.sound};
    const char* fcc = alpha ? "00dc" : "00db";
    int r;
    if ((r = puthdrlopen((uint32_t)plan.total, plan.hdrlsize, plan.strlsize, v))) return r;
    if (!alpha && (r = putstrn("VIDEO"))) return r;
    if (plan.sound && (r = putstrlauds(snd))) return r;
    if ((r = putjunk(alpha, plan.junksize))) return r;
    if ((r = putfourcc("LIST"))) return r;
    wfputdw((uint32_t)plan.movisize);              /* LIST size */
    const uint64_t M = outpos();
    if ((r = onplan("movi", plan.movi, M))) return r;
    if ((r = putfourcc("movi"))) return r;
    if (wferr()) return diskfull();

    {
        framestate fr;
        if (!src && (r = framesbegin(&fr, p, n, plan.w, plan.h, alpha))) {
            wfclose();
            return r;
        }
        for (uint32_t i = 0; i < n; i++) {
            if (!src && (r = framenext(&fr, i))) {
                framesdone(&fr);
                wfclose();
                return r;
            }
            table.at[i] = (uint32_t)(outpos() - M);
            if ((r = onplan("frame chunk", 4 + (uint64_t)i * (plan.fs + CHUNK_HDR), table.at[i]))) {
                framesdone(&fr);
                return r;
            }
            if ((r = putfourcc(fcc))) return r;
            wfputdw((uint32_t)plan.fs);            /* chunk size */
            if ((src ? src->fill(src->ctx, i) : framepixels(&fr)) != 0 || wferr()) {
                framesdone(&fr);
                return diskfull();
            }
        }
    }

    uint32_t soundat = 0;
    if (plan.sound) {
        soundat = (uint32_t)(outpos() - M);
        if ((r = onplan("sound chunk", plan.soundchunk, soundat))) return r;
        if ((r = putfourcc("01wb"))) return r;
        wfputdw((uint32_t)plan.datlen);            /* chunk size */
        if ((r = soundcopy(p, snd, "Opening"))) {
            wfclose();
            return r;
        }
    }

    if ((r = onplan("idx1", plan.idx1, outpos()))) return r;
    if ((r = putfourcc("idx1"))) return r;
    wfputdw((uint32_t)plan.idx1size);              /* chunk size */
    for (uint32_t i = 0; i < n; i++) {
        if ((r = putfourcc(fcc))) return r;        /* ckid */
        wfputdw(IDX1_KEYFRAME);                    /* dwFlags */
        wfputdw(table.at[i]);                      /* dwChunkOffset, from 'movi' */
        wfputdw((uint32_t)plan.fs);                /* dwChunkLength */
    }
    if (plan.sound) {
        if ((r = putfourcc("01wb"))) return r;     /* ckid */
        wfputdw(IDX1_KEYFRAME);                    /* dwFlags */
        wfputdw(soundat);                          /* dwChunkOffset, from 'movi' */
        wfputdw((uint32_t)plan.datlen);            /* dwChunkLength */
    }
    if (wferr()) return diskfull();
    if ((r = onplan("RIFF end", plan.total + CHUNK_HDR, outpos()))) return r;
    if ((r = puttail(alpha, AVI1_FAILED))) return r;
    return finishoutput(p, plan.filelen);
}

int mkavi1sub(const char* avipath, const char16_t* avipathW, const char* listpath,
              const char16_t* listpathW, float fps, const char* wavpath,
              const char16_t* wavpathW, uint8_t wide) {
    const moviepaths p{avipath, avipathW, listpath, listpathW, wavpath, wavpathW, wide};
    return writeavi1(p, fps);
}

int mkavi1(const char* avipath, const char* listpath, float fps, const char* wavpath) {
    return mkavi1sub(avipath, u"", listpath, u"", fps, wavpath, u"", 0);
}

int mkavi1W(const char16_t* avipath, const char16_t* listpath, float fps,
            const char16_t* wavpath) {
    return mkavi1sub("", avipath, "", listpath, fps, "", wavpath, 0xFF);
}

