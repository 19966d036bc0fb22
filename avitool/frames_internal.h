// frames_internal.h - what the frame operations of the toolkit share (the
// repeated-frame movie, the frame replacement and append, the rate change,
// the frame reader).  Internal to avitool/: not for callers outside the
// folder.

#ifndef REELKILN_AVITOOL_FRAMES_INTERNAL_H
#define REELKILN_AVITOOL_FRAMES_INTERNAL_H

#include <cstdint>
#include <string>
#include <vector>

#include "avitool/avitool_internal.h"
#include "avitool/dib_internal.h"

namespace avitool_detail {

// A frame rate the headers can hold: finite, above 0, and not so small that
// 1,000,000 / rate (the main header's microseconds per frame) passes 32 bits.
// Anything else would turn into infinities and NaNs on the way into the
// header's integers.
bool usablerate(float fps);

// True when path names an existing entry (the single-file lookup of the
// text layer: a directory search, which opens nothing).  A movie is created
// only where there is none, so that one that exists but cannot be read is
// never replaced by a new one.
bool pathexists(const char* path);

// putplanes: w x h pixels of the planes (row 0 at the top, pixel (x, y) at
// y * w + x) as stored frame rows through WR: B G R with each row padded to 4
// bytes by zeros, or B G R A when alpha is set; the bottom row first, or the
// top row first when topdown is set.  Returns 0, or -1 when the output
// failed (wferr tells the same).
int putplanes(const uint8_t* R, const uint8_t* G, const uint8_t* B, const uint8_t* A, uint32_t w,
              uint32_t h, bool alpha, bool topdown);

// The five rate fields for fps, in file order, for a video part of fs bytes
// a frame; the movie's audio bytes per second (of the scan's audio format,
// when it met one) are added to the main header's figure when audio is set.
void ratepatches(const aviscanrecord& S, std::vector<patch>* out, int64_t fs, float fps, bool audio);

// The append of frames, worked out from the scan before anything is written:
// every size the edit writes and the header fields it patches.
struct frameappendplan {
    int64_t k;           // frames appended: total - the scanned frames
    uint64_t fs;         // bytes of one frame
    bool index;          // idx1 is there (both positions): it gets k entries
    uint64_t movisize;   // the movi list's new size field
    uint64_t idx1size;   // idx1's new size field (0 without one)
    uint64_t riff;       // the RIFF chunk's new size field
    int64_t base;        // the 'movi' fourcc, which the new chunks' offsets count from
    int64_t riffend;     // the end of the new RIFF chunk: where the trailer goes
    bool fits;           // every field within 32 bits: else the movie would pass 4 GB
    bool ordered;        // the patches do not overlap
    std::vector<patch> patches;  // in file order: RIFF size, rate fields (when rate), frame counts, movi size
};

// The plan for lengthening the scanned movie (S, frames of it) to total
// frames of fs bytes; rate set patches the rate fields for fps, with the
// audio bytes when audio is set.  Pure: reads only its arguments.
frameappendplan planframeappend(const aviscanrecord& S, uint32_t frames, int64_t total, uint64_t fs, bool rate,
                                float fps, bool audio);

// The chunk the frame reader reads, worked out from the scan of the frame
// asked for (S, s) before the movie is opened again.
struct framechunkplan {
    int code;          // nonzero: the read ends with this result after line
    std::string line;  // what is said before the movie is opened (or the refusal)
    int32_t rescan;    // >= 0: past the end and cut to this frame: scan it and plan again
    int64_t last;      // the last frame (the file's count - 1)
    int64_t shown;     // the frame whose picture is read
    int64_t chunkoff;  // its chunk (an empty frame's stands for the nearest earlier one with a picture)
    int64_t chunksize;
};

// The plan for reading frame of the scanned movie; strict refuses a frame
// past the end instead of cutting it to the last.  An empty chunk is
// replaced by the scan's nearest earlier non-empty one.  Pure: reads only its
// arguments (path only for the lines).
framechunkplan planframechunk(const aviscanrecord& S, const scanfacts& s, int32_t frame, bool strict,
                              const char* path);

// The rows of the chosen chunk, worked out from the format chunk's header
// (f, which ended at palstart, where the palette starts) and the file's
// length before the planes are touched.
struct framereadplan {
    int code;            // nonzero: refused with this result after line
    std::string line;
    diblayout layout;    // the rows' kind, width, |height|, order (topdown), bits
    int colours;         // the bit count's palette entries (0 without a palette)
    int64_t entry;       // bytes of one palette entry: 3 for a 12-byte header, else 4
    int64_t entries;     // entries read: fewer where the palette would reach the chunk
    uint64_t rowbytes;   // bytes of one stored row; 0 for run-length rows (no fixed size)
    uint64_t need;       // bytes the rows take, the last row's padding left out; 0 for run-length rows
    uint8_t hasalpha;    // 32 bits, except a 40-byte header without bit fields
};

// The plan for decoding c's chunk of the scanned movie (S, s) as f.  Pure:
// reads only its arguments (path only for the lines).
framereadplan planframeread(const aviscanrecord& S, const scanfacts& s, const framechunkplan& c,
                            const dibformat& f, int64_t palstart, int64_t filelen, const char* path);

// The bytes of one frame so stored: the row (3w rounded up to 4, or 4w)
// times h.  0 when the product passes 64 bits (never for int sizes).
uint64_t framebytes(uint32_t w, uint32_t h, bool alpha);

}  // namespace avitool_detail

#endif
