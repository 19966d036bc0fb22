// sound.h - a movie's sound: the WAV scanned with the rules of what a stream
// header can declare, and its data copied into the movie (sound.cpp).
//
// The scanner itself is wav.h; this is what the movie writers (and the AVI
// toolkit's sound edits) make of its result.  Console lines are the
// writers' own; results are the writers' codes (writer.h).  One thread.

#ifndef REELKILN_MOVIE_SOUND_H
#define REELKILN_MOVIE_SOUND_H

#include <cstdint>

#include "movie/writer.h"

struct soundfacts {
    bool present;      // the movie gets a sound chunk
    int64_t datlen;    // data bytes to copy (cut to what the file holds)
    int64_t dataoff;   // file position of the first data byte
    int32_t ch;        // channels (0 to 65535; -1 before a scan)
    int32_t bits;      // bits per sample (0 to 65535; -1 before a scan)
    int32_t rate;      // samples per second
    uint32_t ba;       // (bits / 8) * ch: block align of the stream
    uint32_t avgbytes; // ba * rate
    bool readfail;     // the scan met a failed read (WAV_READFAIL): the sound cannot be used
};

// soundscan: presets everything to -1 and absent; when the WAV path of the
// mode in use is not empty, scans it and prints "wav datlen = %d \n" on
// success.  The sound is then left out, with a line saying why, when it has
// no channel, fewer than 8 bits per sample (block align 0), or a byte rate
// that does not fit 32 bits.  A file shorter than its data chunk declares has
// datlen cut to the bytes it holds, with a line saying so.  A scan that met
// a failed read sets readfail (after the scanner's line) and leaves the
// sound out; the writers then end with AVI1_COPY_FAILED.
void soundscan(const moviepaths& p, soundfacts* out);

// What a stream header can declare of a sound: ch channels of bits per
// sample at rate samples per second.  The block align is (bits / 8) per
// channel, so a sound below 8 bits would make it 0 and the stream's length a
// division by zero; the block align is 16 bits and the byte rate 32 bits in
// the headers.  SOUND_OK sets *ba and *avgbytes; any other result leaves them.
enum {
    SOUND_OK = 0,
    SOUND_NO_CHANNELS,    // ch < 1
    SOUND_UNDER_8_BITS,   // bits < 8
    SOUND_FRAME_TOO_LARGE, // (bits / 8) * ch above 0xFFFF
    SOUND_RATE_TOO_LARGE  // rate < 1, or the byte rate above 0xFFFFFFFF
};
int soundrule(int32_t ch, int32_t bits, int32_t rate, uint32_t* ba, uint32_t* avgbytes);

// soundcopy: after the '01wb' chunk header, prints "Opening WAV(A): %s \n"
// (or "(W)", or the prefix the caller gives) and copies datlen bytes from the
// WAV's data offset to WR through RD2.  Returns 0; -4 when the WAV cannot be
// opened ("Cannot open (RD(2)) for appending WAV to AVI (%d).\n"); 4 when the
// output failed ("Copy failed (WR) for appending WAV PCM to AVI1.\n") or the
// WAV gave fewer bytes than planned (after "Read failed (RD(2)) while copying
// WAV: %s\n" when a read failed; rwferror then tells so).  RD2 is closed on
// return.  verb is "Opening" (AVI 1.0) or "reading" (OpenDML).
int soundcopy(const moviepaths& p, const soundfacts& s, const char* verb);

#endif
