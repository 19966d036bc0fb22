// avi1.h - the AVI 1.0 writer: its pure size plan (planavi1) and its one
// forward write pass (avi1.cpp).
//
// An AVI 1.0 movie is one RIFF 'AVI ' chunk of at most 4 GB; a movie that
// would be larger is refused (-7) and the driver turns to the OpenDML writer
// (odml.h).  The writer's steps before the plan are prepass.h and sound.h;
// its results are writer.h's.  One thread.

#ifndef REELKILN_MOVIE_AVI1_H
#define REELKILN_MOVIE_AVI1_H

#include <cstdint>

#include "movie/chunks.h"
#include "movie/frames.h"
#include "movie/sound.h"
#include "movie/writer.h"

// Every size and offset of an AVI 1.0 movie, fixed before the file is made.
// Offsets are file positions unless named "from M" (M is the position of the
// 'movi' fourcc, the base of the idx1 offsets).
struct avi1plan {
    // The input.
    uint32_t n;          // frames
    uint32_t w, h;       // frame size
    bool alpha;          // 32-bit frames '00dc', else 24-bit '00db'
    bool sound;          // one '01wb' chunk
    uint64_t datlen;     // its data bytes (0 without sound)

    // Frame geometry.
    uint64_t stride;     // bytes of one stored row: 4w, or 3w rounded up to 4
    uint32_t rowpad;     // zero bytes after each 24-bit row (0 to 3)
    uint64_t fs;         // pixel bytes of one frame: stride * h

    // Header sizes.
    uint32_t hdrlsize;   // the hdrl list's size field: 206/192, +116 with sound
    uint32_t strlsize;   // the video strl list's size field: 130/116
    uint32_t junksize;   // J of the JUNK/JUNQ filler
    uint32_t firstframe; // P: 2048 or 8824

    // The movi list and what follows it.
    uint64_t movi;       // M, the 'movi' fourcc: P - 4
    uint64_t movisize;   // the movi list's size field
    uint64_t soundchunk; // the '01wb' chunk from M (0 without sound)
    uint64_t idx1;       // file position of the 'idx1' fourcc
    uint64_t idx1size;   // its size field: 16 per entry
    uint64_t total;      // the RIFF size field: file length to the end of idx1, minus 8
    uint32_t trailer;    // 8 for the 24-bit 'them' trailer, else 0
    uint32_t fill;       // zero bytes at the end (1 to 512)
    uint64_t filelen;    // the whole file

    // True when total fits in 32 bits, so the movie can be written as AVI
    // 1.0; false when it does not, or when the arithmetic itself overflowed
    // 64 bits (absurd sizes).
    bool fits;
};

// planavi1: the layout of an AVI 1.0 movie of n frames of w x h pixels
// (alpha: 32-bit frames), with or without a sound of datlen bytes.  Pure: no
// I/O, no global state.  Every product is checked; when the sizes overflow,
// fits is false and the fields that depend on them are 0.
avi1plan planavi1(uint32_t n, uint32_t w, uint32_t h, bool alpha, bool sound, uint64_t datlen);

// avi1writepass: the write pass of a plan that fits (made by planavi1 for
// the list's frames and the sound snd, after listprepass, firstimage
// (prepass.h) and soundscan (sound.h)): the file front to back, no seek.
// The 'movi' position, every frame chunk's and the sound chunk's offset,
// the idx1 position and the RIFF's end are held to the plan where they are
// reached: a disagreement prints a "!!! ... disagreed." line, closes the
// output and gives -1; the file on disk must then have the plan's length
// (finishoutput).  Other results as mkavi1sub.  The frames are the list's
// images, or with src those of its fill (frames.h), which makes the same
// movie of pixels that do not come from the list (the toolkit's movies of
// one repeated image).  With the list's images the keyboard is polled once
// before the file is created: ESC or Ctrl-C there gives 27 or 3 with nothing
// created.
int avi1writepass(const moviepaths& p, const avi1plan& plan, const soundfacts& snd, float fps,
                  const framesource* src = nullptr);

// mkavi1sub: writes the movie of the list's images (joined to exedir or
// exedirW) at fps frames per second, with the sound of the WAV path when it
// is not empty and scans well, as an AVI 1.0 file at the movie path.  wide
// 0xFF uses the wide paths for every file, 0 the 8-bit ones.
//
// The plan is made before the file is created: a movie whose RIFF size would
// pass 32 bits is refused with -7 and nothing is created (the caller then
// turns to the OpenDML writer).  Every later failure leaves the partial file.
// A sound below 8 bits per sample, without channels, or whose rate does not
// fit the header is left out with a line saying why; a sound file shorter
// than its data chunk declares contributes only the bytes it holds.  Every
// write up to the final flush is checked: a failure prints
// "*** Disk Full *** \n" and gives -1.  ESC and Ctrl-C, between frames or
// while an image loads, give 27 and 3; one waiting when the file would be
// created gives the same with nothing created.
int mkavi1sub(const char* avipath, const char16_t* avipathW, const char* listpath,
              const char16_t* listpathW, float fps, const char* wavpath,
              const char16_t* wavpathW, uint8_t wide);
int mkavi1(const char* avipath, const char* listpath, float fps, const char* wavpath);
int mkavi1W(const char16_t* avipath, const char16_t* listpath, float fps, const char16_t* wavpath);

#endif
