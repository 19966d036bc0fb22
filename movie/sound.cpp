// sound.cpp - a movie's sound: the WAV scan with the checks of what a stream
// header can declare, and the copy of its data behind the '01wb' chunk
// header; see sound.h.

#include "movie/sound.h"

#include <cstdio>

#include "movie/wav.h"
#include "movie/writer_internal.h"
#include "stream/stream.h"
#include "text/text.h"

namespace {

bool nonempty(const char* s) { return s && s[0]; }
bool nonempty(const char16_t* s) { return s && s[0]; }

}  // namespace

using movie_detail::filesize;

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
    rwfskip64(s.dataoff - rwftell64());

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
    // A failed read, or a refused skip to the data (whose bytes would then
    // have come from the wrong place), even when the count came out whole.
    if (left > 0 || rwferror()) {
        if (rwferror()) printf("Read failed (RD(2)) while copying WAV: %s\n", p.wide ? "(16-bit name)" : p.wav);
        if (left > 0)
            printf("Copy failed (RD(2)): the WAV gave %lld of %lld bytes.\n", (long long)(s.datlen - left),
                   (long long)s.datlen);
        return AVI1_COPY_FAILED;
    }
    return 0;
}
