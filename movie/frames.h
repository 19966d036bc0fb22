// frames.h - the frame source of the movie writers: the frame loop's step
// (key poll, the next listed name, the image load) and the pixel rows of
// each frame, batched into large block writes (frames.cpp); the loads run
// ahead of the writer on worker threads (ahead.cpp, frames_internal.h).
//
// Everything here runs on the writer's thread; the list is read through the
// process-wide text reader and the rows go out through WR.  The worker
// threads that decode frames ahead touch neither: they read their own files
// into their own planes (see framesbegin).

#ifndef REELKILN_MOVIE_FRAMES_H
#define REELKILN_MOVIE_FRAMES_H

#include <cstddef>
#include <cstdint>

#include "image/image.h"
#include "movie/framelist.h"
#include "movie/writer.h"

// ---- Frames ----------------------------------------------------------------------

// Threads that load frames, the writer's own included: 0 (the program's
// setting) takes one per processor core (g_os.cpu_count); 1 loads every
// frame on the writer's thread, between the writes, as pngloadkeep does.
// For tests; read by framesbegin.
extern int framethreads;

// The memory that frames loaded ahead may hold: the planes of every frame
// loaded and not yet written (the writer's own included) and the decode
// buffers of the loads in progress.  A load waits, once its file's header
// is read, until its share fits; only the load of the frame the writer takes
// next never waits (without it the writer could not go on, and the
// one-thread writer would hold that memory too), so the cap can be passed
// by that one frame's share.  512 MiB; tests lower it.
extern uint64_t frameaheadcap;
inline constexpr uint64_t FRAME_AHEAD_CAP = 512ull << 20;

// Frames handed to the workers and not yet written: at most this many per
// thread (16 on 8 cores).
inline constexpr uint32_t FRAME_AHEAD_PER_THREAD = 2;

// What the last frame loop's loading ahead came to, for tests and the
// benchmark: set when the loop's state is released.
struct aheadstats {
    uint32_t workers;     // worker threads started (0: the frames were loaded in turn)
    uint32_t slots;       // the count cap: frames handed out and not yet written
    uint32_t peakframes;  // the most frames handed out and not yet written at once
    uint64_t peakbytes;   // the most bytes held and reserved at once (see frameaheadcap)
    uint32_t loaded;      // frames whose load a worker finished
};
extern aheadstats frameaheadstats;

namespace movie_detail {
struct aheadpool;
}

// The frame loop's state: the list being read for the second time, the
// writer's own colour planes and the pixel block buffer, and the workers
// that load frames ahead.  Release with framesdone (also called by the
// destructor).
struct framestate {
    const moviepaths* paths = nullptr;
    uint32_t n = 0;                // frames announced
    uint32_t W = 0, H = 0;         // the first image's size: every frame's size
    bool alpha = false;            // 32-bit frames
    uint64_t stride = 0;           // bytes per stored row
    uint32_t rowpad = 0;           // zero bytes after each 24-bit row
    bool listopen = false;

    imgplanes planes = {};  // the current image's planes (the loader's output)
    char name[LISTNAME_BUF] = {};

    // Rows are gathered here and written with one wfwrite per block.
    uint8_t* buf = nullptr;
    size_t bufcap = 0;
    size_t buffill = 0;

    movie_detail::aheadpool* ahead = nullptr;  // the workers, when frames are loaded ahead

    ~framestate();
};

// framesbegin: opens the list again and prepares the block buffer for frames
// of W x H (alpha: 32-bit).  Returns 0, or -1 when no buffer could be had
// ("Memory Allocation for frame buffer FAILED.\n").
//
// With more than one thread (framethreads) and more than one frame it also
// starts the workers that load frames ahead of the writer.  Nothing the user
// sees changes: framenext still takes the frames in list order and prints,
// when the writer reaches frame i, exactly the lines the one-thread loop
// prints for it (the list rule's reports, the name, the loader's lines and
// results), and the movie's bytes are the same.  Workers that cannot be
// started leave the loop to load in turn, as with one thread.
int framesbegin(framestate* f, const moviepaths& p, uint32_t n, uint32_t W, uint32_t H,
                bool alpha);

// framenext: one frame's step before its chunk is written: the key poll
// (Ctrl-C 3 and ESC 27 stop), the next name ("%d/%d:  %s  ", i from 0), the
// image load into the planes, and the size lines when it differs from the
// first image.  Returns 0, 3, 27, or -6 after "PNG load failed. (%d)\n",
// "Memory released. \n", badpngname(W) set and "Aborted. \n".  A load that
// ESC or Ctrl-C stops gives 27 or 3, not -6; so does a key while the writer
// waits for a frame that is still loaded ahead (the keyboard is looked at
// every few milliseconds meanwhile).
int framenext(framestate* f, uint32_t i);

// framepixels: writes the frame's fs pixel bytes by the pixel rule (rows
// bottom-up, BGR or BGRA, outside the loaded image white, alpha 0) through
// WR.  Returns 0, or -1 when the output failed (wferr tells the same).
int framepixels(framestate* f);

// The frames of a write pass that are not the list's images: fill writes
// frame i's fs pixel bytes through WR, as framepixels does (rows bottom-up,
// B G R or B G R A, 24-bit rows padded with zeros), and returns 0, or -1
// when the output failed.  No list is opened and no key is polled.
struct framesource {
    int (*fill)(void* ctx, uint32_t i);
    void* ctx;
};

// framesdone: stops and waits for the workers, closes the list and frees the
// planes and the buffer.
void framesdone(framestate* f);

#endif
