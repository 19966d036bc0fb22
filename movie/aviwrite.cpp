// aviwrite.cpp - the steps of writing a movie that both layouts share (and
// that the AVI toolkit uses): see aviwrite.h.
//
// Division:
//   paths and the pre-pass        the list read to count and test-open
//   first image and sound         the probe; the WAV scan with its checks
//   header values and chunks      avih / strh / strf / strn, one field a call
//   frames                        key poll, name, load; the pixel rows
//   end                           trailer, zero fill, checked close
//
// Write checks: fourcc bytes are checked one by one (their result codes tell
// which failed); numbers are written unchecked and the stream's sticky error
// flag is tested by the writers after each frame, after the header, after the
// index and at the end; the close is followed by a check of the file's length
// on disk, so a movie cut short by a full disk is never reported as saved.

#include "movie/aviwrite.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "image/image.h"
#include "image/pixelrow.h"
#include "movie/avi.h"
#include "platform/platform.h"
#include "stream/stream.h"
#include "text/text.h"

char badpngname[BADPNGNAME_CAP];
char16_t badpngnameW[BADPNGNAME_CAP];


// ---- Paths and the pre-pass ---------------------------------------------------------

namespace {

void copyname(char* dst, const char* src, size_t cap) {
    size_t k = 0;
    for (; src[k] && k + 1 < cap; k++) dst[k] = src[k];
    dst[k] = 0;
}

bool nonempty(const char* s) { return s && s[0]; }
bool nonempty(const char16_t* s) { return s && s[0]; }

}  // namespace

int listopen(const moviepaths& p) {
    return p.wide ? tfopenW(p.listW ? p.listW : u"") : tfopen(p.list ? p.list : "");
}

int testopen(const char* name, uint8_t wide) {
    if (wide) {
        char16_t nameW[LISTNAME_BUF];
        name2wide(nameW, name);
        char16_t path[JOINED_CAP];
        if (!joinpathW(path, JOINED_CAP, exedirW, nameW)) return -1;
        if (rfopenqW(path) != 0) return -1;
    } else {
        char path[JOINED_CAP];
        if (!joinpath(path, JOINED_CAP, exedir, name)) return -1;
        if (rfopenq(path) != 0) return -1;
    }
    rfclose();
    return 0;
}

int listprepass(const moviepaths& p, listfacts* out) {
    badpngname[0] = 0;
    badpngnameW[0] = 0;
    *out = listfacts{};
    uint32_t count = 0;
    if (listopen(p) == 0) {
        char name[LISTNAME_BUF];
        while (listgetname(name) == 0) {
            if (count == 0) {
                copyname(out->first, name, sizeof out->first);
                name2wide(out->firstW, name);
            }
            if (testopen(name, p.wide) != 0) {
                tfclose();
                copyname(badpngname, name, BADPNGNAME_CAP);
                name2wide(badpngnameW, name);
                g_os.sleep_ms(1);
                return AVI1_BAD_IMAGE;
            }
            g_os.sleep_ms(0);
            count++;
            printf("%d:  %s \n", (int)count, name);
        }
        tfclose();
        // A list cut by a failed read would make a shorter movie that looks
        // whole.
        if (tferror()) {
            printf("Read failed in the list of images (list.txt). \n");
            return AVI1_FAILED;
        }
    }
    out->n = count;
    printf("  => %d frames. \n", (int)count);
    return 0;
}

// ---- First image and sound ------------------------------------------------------

int firstimage(const moviepaths& p, const listfacts& lf, bool odml) {
    const char* mode = p.wide ? "Could not open in UTF-16 mode. \n"
                              : "Could not open in ANSI/UTF-8 mode. \n";
    g_os.sleep_ms(100);
    if ((odml && lf.n == 0) || testopen(lf.first, p.wide) != 0) {
        printf("%s", mode);
        if (odml) {
            printf(" PNG files unavailable. \n");
            return AVI1_STOP;
        }
        printf("Sorry. This Folder does not support access in ANSI/UTF-8 mode. \n");
        return AVI1_FOURCC_IFF;
    }
    g_os.sleep_ms(100);
    int r;
    if (p.wide) {
        char16_t path[JOINED_CAP];
        joinpathW(path, JOINED_CAP, exedirW, lf.firstW);
        r = pngscanW(path);
    } else {
        char path[JOINED_CAP];
        joinpath(path, JOINED_CAP, exedir, lf.first);
        r = pngscan(path);
    }
    if (r != 0) {
        printf("Sorry. Cannot access in PNG file(s) in ANSI/UTF-8 mode. \n");
        return AVI1_STOP;
    }
    printf("  => %s : (%d,%d) %d-bit ", lf.first, (int)pngwidth, (int)pngheight, pngdepth);
    printf(pnghasalpha ? " ALPHA exist. \n" : " RGB planes only. \n");
    return 0;
}

namespace {

// The length of a file on disk by the path of the mode in use, through RD:
// true with *out, false when it cannot be opened.
bool filesize(const char* name, const char16_t* nameW, uint8_t wide, int64_t* out) {
    int r = wide ? rfopenqW(nameW) : rfopenq(name);
    if (r != 0) return false;
    bool ok = rfseekorg(0, OS_SEEK_END) == 0;
    int64_t pos = 0;
    rfgetpos64(&pos);
    rfclose();
    if (!ok) return false;
    *out = pos;
    return true;
}

}  // namespace

int soundrule(int32_t ch, int32_t bits, int32_t rate, uint32_t* ba, uint32_t* avgbytes) {
    if (ch < 1) return SOUND_NO_CHANNELS;
    if (bits < 8) return SOUND_UNDER_8_BITS;
    const uint64_t b = (uint64_t)(bits / 8) * (uint64_t)ch;
    if (b > 0xFFFF) return SOUND_FRAME_TOO_LARGE;  // nBlockAlign is 16 bits
    uint64_t avg = 0;
    if (rate < 1 || __builtin_mul_overflow(b, (uint64_t)rate, &avg) || avg > 0xFFFFFFFFu)
        return SOUND_RATE_TOO_LARGE;
    *ba = (uint32_t)b;
    *avgbytes = (uint32_t)avg;
    return SOUND_OK;
}

void soundscan(const moviepaths& p, soundfacts* s) {
    *s = soundfacts{};
    s->present = false;
    s->datlen = -1;
    s->dataoff = -1;
    s->ch = -1;
    s->bits = -1;
    s->rate = -1;
    const bool have = p.wide ? nonempty(p.wavW) : nonempty(p.wav);
    if (!have) return;
    int r = p.wide ? wavscanW(p.wavW, &s->datlen, &s->dataoff, &s->ch, &s->bits, &s->rate)
                   : wavscan(p.wav, &s->datlen, &s->dataoff, &s->ch, &s->bits, &s->rate);
    s->readfail = r == WAV_READFAIL;
    if (r != 0) return;
    printf("wav datlen = %lld \n", (long long)s->datlen);

    switch (soundrule(s->ch, s->bits, s->rate, &s->ba, &s->avgbytes)) {
    case SOUND_OK:
        break;
    case SOUND_NO_CHANNELS:
        printf("WAV has no channels (%d): the movie is made without sound. \n", (int)s->ch);
        return;
    case SOUND_UNDER_8_BITS:
        printf("WAV has %d bits per sample, fewer than 8: the movie is made without sound. \n",
               (int)s->bits);
        return;
    case SOUND_FRAME_TOO_LARGE:
        printf("WAV sample frame of %llu bytes does not fit a stream header: the movie is made "
               "without sound. \n",
               (unsigned long long)(s->bits / 8) * (unsigned long long)s->ch);
        return;
    default:
        printf("WAV sample rate %d does not fit a stream header: the movie is made without "
               "sound. \n",
               (int)s->rate);
        return;
    }

    // A file cut short: the chunk declares more than there is.  The movie
    // takes what the file holds, so its sizes and index match its bytes.
    int64_t size = 0;
    if (s->datlen < 0) s->datlen = 0;
    if (filesize(p.wav, p.wavW, p.wide, &size)) {
        int64_t avail = size > s->dataoff ? size - s->dataoff : 0;
        if (s->datlen > avail) {
            printf("WAV data chunk declares %lld bytes, the file holds %lld: using those. \n",
                   (long long)s->datlen, (long long)avail);
            s->datlen = avail;
        }
    }
    s->present = true;
}

int soundcopy(const moviepaths& p, const soundfacts& s, const char* verb) {
    if (p.wide) {
        // wstr2sjis converts at most 9998 units, two bytes each at most.
        static char name8[2 * 9999 + 2];
        wstr2sjis(name8, p.wavW);
        printf("%s WAV(W): %s \n", verb, name8);
    } else {
        printf("%s WAV(A): %s \n", verb, p.wav);
    }
    int r = p.wide ? rwfopenW(p.wavW) : rwfopen(p.wav);
    if (r != 0) {
        printf("Cannot open (RD(2)) for appending WAV to AVI (%d).\n", r);
        return AVI1_NO_SOUND;
    }
    int64_t here = 0;
    rwfgetpos64(&here);
    int64_t skip = s.dataoff - here;
    if (skip > 0) {
        if (skip <= 0x7FFFFFFF) {
            rwfkipbytes((int)skip);
        } else {
            int32_t hi = (int32_t)(skip >> 32);
            rwfkipbytes64((uint32_t)skip, &hi);
        }
    }

    // Blocks through a buffer of our own: the same bytes as the stream
    // layer's copy, without a library call per byte when a stream is in
    // handle mode.
    constexpr int BLOCK = 1 << 16;
    static uint8_t block[BLOCK];
    int64_t left = s.datlen;
    bool outfail = false;
    while (left > 0 && !rwfeof()) {
        int k = left < BLOCK ? (int)left : BLOCK;
        int got = rwfread(block, k);
        if (got <= 0) break;
        if (wfwrite(block, got) != got) {
            outfail = true;
            break;
        }
        left -= got;
    }
    rwfclose();
    if (outfail || wferr()) {
        printf("Copy failed (WR) for appending WAV PCM to AVI1.\n");
        return AVI1_COPY_FAILED;
    }
    if (left > 0) {
        if (rwferror()) printf("Read failed (RD(2)) while copying WAV: %s\n", p.wide ? "(16-bit name)" : p.wav);
        printf("Copy failed (RD(2)): the WAV gave %lld of %lld bytes.\n",
               (long long)(s.datlen - left), (long long)s.datlen);
        return AVI1_COPY_FAILED;
    }
    return 0;
}

// ---- Header values and chunks -----------------------------------------------------

uint32_t satu32(double v) {
    if (!(v > 0)) return 0;
    if (v >= 4294967295.0) return 0xFFFFFFFFu;
    return (uint32_t)v;
}

int32_t sati32(double v) {
    if (v != v) return 0;
    if (v >= 2147483647.0) return 0x7FFFFFFF;
    if (v <= -2147483648.0) return (-0x7FFFFFFF - 1);
    return (int32_t)v;
}

uint32_t usecperframe(float fps) { return satu32(1000000.0 / (double)fps); }

uint32_t maxbytespersec(uint64_t fs, float fps) {
    // In single precision, so that the field matches the movies written so
    // far; the result is clamped where the product passes what the field
    // can hold.
    float v = (float)(fs + 24) * fps;
    return satu32((double)v);
}

void raterule(float fps, uint32_t* scale, uint32_t* rate) {
    int32_t r1 = sati32((double)fps / 0.999 * 1000.0);
    int32_t r2 = sati32((double)(fps * 1000.0f));
    if (r1 > r2) {
        *scale = 1001;
        *rate = (uint32_t)r1;
    } else {
        *scale = 1000;
        *rate = (uint32_t)r2;
    }
}

int putfourcc(const char* cc, bool riff) {
    for (int i = 0; i < 4; i++) {
        if (wfputc((uint8_t)cc[i]) != 0) {
            wfclose();
            if (riff) return i == 0 ? AVI1_FOURCC_R : AVI1_FOURCC_IFF;
            return AVI1_STOP;
        }
    }
    return 0;
}

int putavih(const videohdr& v) {
    if (int r = putfourcc("avih")) return r;
    wfputdw(56);                                   /* cb */
    wfputdw(usecperframe(v.fps));                  /* dwMicroSecPerFrame */
    wfputdw(maxbytespersec(v.fs, v.fps));          /* dwMaxBytesPerSec */
    wfputdw(0);                                    /* dwPaddingGranularity */
    wfputdw(v.alpha ? 0x10 : 0x810);               /* dwFlags: HASINDEX, TRUSTCKTYPE */
    wfputdw(v.n);                                  /* dwTotalFrames */
    wfputdw(0);                                    /* dwInitialFrames */
    wfputdw(v.sound ? 2 : 1);                      /* dwStreams */
    wfputdw((uint32_t)(v.fs + 24));                /* dwSuggestedBufferSize */
    wfputdw(v.w);                                  /* dwWidth */
    wfputdw(v.h);                                  /* dwHeight */
    for (int i = 0; i < 4; i++) wfputdw(0);        /* dwReserved[4] */
    return 0;
}

int putstrhvids(const videohdr& v) {
    uint32_t scale, rate;
    raterule(v.fps, &scale, &rate);
    if (int r = putfourcc("strh")) return r;
    wfputdw(56);                                   /* cb */
    if (int r = putfourcc("vids")) return r;       /* fccType */
    wfputdw(0);                                    /* fccHandler */
    wfputdw(0);                                    /* dwFlags */
    wfputw(0);                                     /* wPriority */
    wfputw(0);                                     /* wLanguage */
    wfputdw(0);                                    /* dwInitialFrames */
    wfputdw(scale);                                /* dwScale */
    wfputdw(rate);                                 /* dwRate */
    wfputdw(0);                                    /* dwStart */
    wfputdw(v.n);                                  /* dwLength */
    wfputdw((uint32_t)(v.fs + 24));                /* dwSuggestedBufferSize */
    wfputdw(v.alpha ? 0 : 10000);                  /* dwQuality */
    wfputdw(0);                                    /* dwSampleSize */
    wfputw(0);                                     /* rcFrame.left */
    wfputw(0);                                     /* rcFrame.top */
    wfputw(v.alpha ? 0 : (int)(uint16_t)v.w);      /* rcFrame.right */
    wfputw(v.alpha ? 0 : (int)(uint16_t)v.h);      /* rcFrame.bottom */
    return 0;
}

int putstrfvids(const videohdr& v) {
    if (int r = putfourcc("strf")) return r;
    wfputdw(40);                                   /* cb */
    wfputdw(40);                                   /* biSize */
    wfputdw(v.w);                                  /* biWidth */
    wfputdw(v.h);                                  /* biHeight: positive, rows bottom-up */
    wfputw(1);                                     /* biPlanes */
    wfputw(v.alpha ? 32 : 24);                     /* biBitCount */
    wfputdw(0);                                    /* biCompression: BI_RGB */
    wfputdw(0);                                    /* biSizeImage */
    wfputdw(0);                                    /* biXPelsPerMeter */
    wfputdw(0);                                    /* biYPelsPerMeter */
    wfputdw(0);                                    /* biClrUsed */
    wfputdw(0);                                    /* biClrImportant */
    return 0;
}

int putstrhauds(const soundfacts& s) {
    if (int r = putfourcc("strh")) return r;
    wfputdw(56);                                   /* cb */
    if (int r = putfourcc("auds")) return r;       /* fccType */
    wfputdw(0);                                    /* fccHandler */
    wfputdw(0);                                    /* dwFlags */
    wfputw(0);                                     /* wPriority */
    wfputw(0);                                     /* wLanguage */
    wfputdw(0);                                    /* dwInitialFrames */
    wfputdw(s.ba);                                 /* dwScale */
    wfputdw(s.avgbytes);                           /* dwRate */
    wfputdw(0);                                    /* dwStart */
    wfputdw((uint32_t)((uint64_t)s.datlen / (uint64_t)s.ch / (uint64_t)(s.bits / 8))); /* dwLength */
    wfputdw((uint32_t)s.datlen);                   /* dwSuggestedBufferSize */
    wfputdw(10000);                                /* dwQuality */
    wfputdw(s.ba);                                 /* dwSampleSize */
    wfputdw(0);                                    /* rcFrame.left, top */
    wfputdw(0);                                    /* rcFrame.right, bottom */
    return 0;
}

int putstrfauds(const soundfacts& s) {
    if (int r = putfourcc("strf")) return r;
    wfputdw(18);                                   /* cb */
    wfputw(1);                                     /* wFormatTag: PCM, whatever the WAV says */
    wfputw(s.ch);                                  /* nChannels */
    wfputdw((uint32_t)s.rate);                     /* nSamplesPerSec */
    wfputdw(s.avgbytes);                           /* nAvgBytesPerSec */
    wfputw((int)(uint16_t)s.ba);                   /* nBlockAlign */
    wfputw(s.bits);                                /* wBitsPerSample */
    wfputw(0);                                     /* cbSize */
    return 0;
}

int putstrlauds(const soundfacts& s) {
    if (int r = putfourcc("LIST")) return r;
    wfputdw(108);                                  /* LIST size */
    if (int r = putfourcc("strl")) return r;
    if (int r = putstrhauds(s)) return r;
    if (int r = putstrfauds(s)) return r;
    return putstrn("AUDIO");
}

int putstrn(const char* name5) {
    if (int r = putfourcc("strn")) return r;
    wfputdw(6);                                    /* cb */
    for (int i = 0; i < 5; i++) wfputc((uint8_t)name5[i]);
    wfputc(0);                                     /* the name's terminator */
    return 0;
}

namespace {

// A block of any length through wfwrite (whose count is an int).
bool putblock(const uint8_t* p, size_t n) {
    while (n > 0) {
        int k = n < (size_t)(1 << 30) ? (int)n : (1 << 30);
        if (wfwrite(p, k) != k) return false;
        p += k;
        n -= (size_t)k;
    }
    return true;
}

}  // namespace

int putjunk(bool alpha, uint32_t j) {
    if (int r = putfourcc(alpha ? "JUNQ" : "JUNK")) return r;
    wfputdw(j);                                    /* cb */
    wfputzeros(j);
    return 0;
}

// ---- Frames ---------------------------------------------------------------------------

namespace {

// Writes the gathered rows; false when the output failed.
bool flushrows(framestate* f) {
    bool ok = putblock(f->buf, f->buffill);
    f->buffill = 0;
    return ok;
}

}  // namespace

framestate::~framestate() { framesdone(this); }

int framesbegin(framestate* f, const moviepaths& p, uint32_t n, uint32_t W, uint32_t H,
                bool alpha) {
    framesdone(f);
    f->paths = &p;
    f->n = n;
    f->W = W;
    f->H = H;
    f->alpha = alpha;
    f->stride = alpha ? 4ull * W : (3ull * W + 3) & ~3ull;
    f->rowpad = alpha ? 0 : (uint32_t)(f->stride - 3ull * W);

    // Up to 1 MiB of whole rows (always at least one row): a 1080p frame
    // goes out in six block writes instead of six million byte calls.
    constexpr uint64_t TARGET = 1u << 20;
    uint64_t rows = f->stride ? TARGET / f->stride : 1;
    if (rows < 1) rows = 1;
    if (rows > H) rows = H ? H : 1;
    uint64_t cap = 0;
    if (__builtin_mul_overflow(rows, f->stride ? f->stride : 1, &cap) || cap > SIZE_MAX ||
        !(f->buf = (uint8_t*)malloc((size_t)cap))) {
        printf("Memory Allocation for frame buffer FAILED.\n");
        return AVI1_FAILED;
    }
    f->bufcap = (size_t)cap;
    f->buffill = 0;
    f->listopen = listopen(p) == 0;
    aheadstart(f);
    return 0;
}

namespace {

// Frame i's name and load on the writer's thread.  The planes of the last
// frame are handed back with their size: a frame of the same size is
// converted into them, instead of four planes (8 MB at 1080p) being freed
// and allocated, and their pages faulted in afresh, for every frame.
// Another size gets new planes as before.
int loadhere(framestate* f, uint32_t i) {
    if (!f->listopen || listgetname(f->name) != 0) f->name[0] = 0;
    printf("%d/%d:  %s  ", (int)(i + 1), (int)f->n, f->name);
    const moviepaths& p = *f->paths;
    imgplanes& q = f->planes;
    if (p.wide) {
        char16_t nameW[LISTNAME_BUF];
        name2wide(nameW, f->name);
        char16_t path[JOINED_CAP];
        return joinpathW(path, JOINED_CAP, exedirW, nameW)
                   ? pngloadkeepW(path, &q.width, &q.height, &q.R, &q.G, &q.B, &q.A, &q.reallocated,
                                  &q.hasalpha)
                   : -1;
    }
    char path[JOINED_CAP];
    return joinpath(path, JOINED_CAP, exedir, f->name)
               ? pngloadkeep(path, &q.width, &q.height, &q.R, &q.G, &q.B, &q.A, &q.reallocated,
                             &q.hasalpha)
               : -1;
}

}  // namespace

int framenext(framestate* f, uint32_t i) {
    if (int k = stopkey()) return k;
    int r = f->ahead ? aheadload(f, i) : loadhere(f, i);
    if (r == 27 || r == 3) {
        // ESC or Ctrl-C while the image was converted: a stop, as between
        // frames, not a missing image.
        printf("\n");
        planesfree(&f->planes);
        return r;
    }
    if (r != 0) {
        printf("PNG load failed. (%d)\n", r);
        planesfree(&f->planes);
        printf("Memory released. \n");
        copyname(badpngname, f->name, BADPNGNAME_CAP);
        name2wide(badpngnameW, f->name);
        printf("Aborted. \n");
        return AVI1_BAD_IMAGE;
    }
    if ((uint32_t)f->planes.width != f->W) printf(" != pngsizex= %d \n", f->planes.width);
    if ((uint32_t)f->planes.height != f->H) printf(" != pngsizey= %d \n", f->planes.height);
    return 0;
}

// framepixels: the pixel rule.  Entry assumptions: a load succeeded (planes
// of pw x ph, each at least pw * ph bytes); the buffer holds at least one
// stored row.  Rows go out bottom-up; columns and rows outside the loaded
// image are white (alpha 0 in 32-bit frames).
int framepixels(framestate* f) {
    const uint32_t W = f->W, H = f->H;
    const imgplanes& q = f->planes;
    const uint64_t w2 = q.width > 0 ? (uint64_t)q.width : 0;
    const uint64_t h2 = q.height > 0 ? (uint64_t)q.height : 0;
    const uint64_t cols = W < w2 ? W : w2;
    const size_t stride = (size_t)f->stride;
    const uint8_t *R = q.R, *G = q.G, *B = q.B, *A = q.A;
    uint8_t* const buf = f->buf;
    size_t fill = f->buffill;

    for (uint32_t yy = H; yy-- > 0;) {
        if (fill + stride > f->bufcap) {
            f->buffill = fill;
            if (!flushrows(f)) return AVI1_FAILED;
            fill = 0;
        }
        uint8_t* o = buf + fill;
        uint64_t x = 0;
        if (yy < h2) {
            const size_t base = (size_t)(yy * w2);
            pixelrow::torow(R + base, G + base, B + base, A + base, o, (size_t)cols, f->alpha);
            x = cols;
            o += (size_t)cols * (f->alpha ? 4 : 3);
        }
        if (f->alpha) {
            for (; x < W; x++, o += 4) {
                o[0] = 255;
                o[1] = 255;
                o[2] = 255;
                o[3] = 0;
            }
        } else {
            size_t white = (size_t)(W - x) * 3;
            memset(o, 255, white);
            o += white;
            memset(o, 0, f->rowpad);
        }
        fill += stride;
    }
    f->buffill = fill;
    if (!flushrows(f)) return AVI1_FAILED;
    return wferr() ? AVI1_FAILED : 0;
}

void framesdone(framestate* f) {
    aheadstop(f);
    if (f->listopen) tfclose();
    f->listopen = false;
    planesfree(&f->planes);
    free(f->buf);
    f->buf = nullptr;
    f->bufcap = f->buffill = 0;
}

// ---- End ------------------------------------------------------------------------------

int diskfull() {
    printf("*** Disk Full *** \n");
    wfclose();
    return AVI1_FAILED;
}

int offplan() {
    wfclose();
    return AVI1_FAILED;
}

int puttail(bool alpha, int trailerfail) {
    if (!alpha) {
        for (char c : {'t', 'h', 'e', 'm', 'e', 'w', 'n', 'd'}) {
            if (wfputc(c) != 0) {
                if (trailerfail == AVI1_FAILED) return diskfull();
                wfclose();
                return trailerfail;
            }
        }
    }
    int64_t pos = 0;
    wfgetpos64(&pos);
    if (wfputzeros(pad512((uint64_t)pos)) != 0) return diskfull();
    return 0;
}

int finishoutput(const moviepaths& p, uint64_t expect) {
    if (wfflush() != 0 || wferr() != 0) return diskfull();
    // The close writes what the runtime still buffers (8-bit mode) and says
    // whether anything written since the open was lost.
    if (wfclose() != 0) {
        printf("*** Disk Full *** \n");
        return AVI1_FAILED;
    }
    // And the length on disk must be the planned one: the last word on
    // whether the movie is whole.  A file that cannot be opened again is not
    // judged.
    int64_t size = 0;
    if (filesize(p.avi, p.aviW, p.wide, &size) && (uint64_t)size != expect) {
        printf("*** Disk Full *** \n");
        return AVI1_FAILED;
    }
    return 0;
}

