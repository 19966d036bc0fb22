// chunks.cpp - the header values and the put-functions of the chunks both
// layouts write in the same form; see chunks.h.
//
// Division: the values (saturating conversions, frame time, byte rate, the
// rate rule); the fourcc; the header chunks; the opening of the header.

#include "movie/chunks.h"

#include <cstdint>

#include "stream/stream.h"

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
    wfputdw(AVIH_SIZE);                            /* cb */
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
    wfputdw(STRH_SIZE);                            /* cb */
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
    wfputdw(STRH_SIZE);                            /* cb */
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

int putjunk(bool alpha, uint32_t j) {
    if (int r = putfourcc(alpha ? "JUNQ" : "JUNK")) return r;
    wfputdw(j);                                    /* cb */
    wfputzeros(j);
    return 0;
}

int puthdrlopen(uint32_t riffsize, uint32_t hdrlsize, uint32_t strlsize, const videohdr& v) {
    int r;
    if ((r = putfourcc("RIFF", true))) return r;
    wfputdw(riffsize);                             /* RIFF size */
    if ((r = putfourcc("AVI "))) return r;
    if ((r = putfourcc("LIST"))) return r;
    wfputdw(hdrlsize);                             /* LIST size */
    if ((r = putfourcc("hdrl"))) return r;
    if ((r = putavih(v))) return r;
    if ((r = putfourcc("LIST"))) return r;
    wfputdw(strlsize);                             /* LIST size */
    if ((r = putfourcc("strl"))) return r;
    if ((r = putstrhvids(v))) return r;
    return putstrfvids(v);
}
