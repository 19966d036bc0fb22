// frames_internal.h - not for callers: the interface between the frame loop
// (frames.cpp) and the frames decoded ahead of it (ahead.cpp).
//
// The frames decoded ahead hand back, for frame i, its listed name, the list
// rule's lines kept before it and its planes; the frame loop prints and
// keeps everything else.  Neither side reaches into the other's state.  All
// four run on the writer's thread.

#ifndef REELKILN_MOVIE_FRAMES_INTERNAL_H
#define REELKILN_MOVIE_FRAMES_INTERNAL_H

#include <cstdint>

#include "image/image.h"
#include "movie/frames.h"

namespace movie_detail {

// aheadstart: starts the workers that load the n frames of the list open on
// the text reader (listopen false: every name is empty), of the first
// image's size W x H (the size a load may decode straight into), joined in the mode
// wide.  Resets frameaheadstats.  nullptr for one thread (framethreads),
// one frame, or when no worker could be started: the frames are then loaded
// in turn.
aheadpool* aheadstart(uint32_t n, uint32_t W, uint32_t H, uint8_t wide, bool listopen);

// aheadname: hands out the frames up to the count cap ahead of frame i and
// gives frame i's name (into name, LISTNAME_BUF bytes) and the list rule's
// lines that came before it, to be printed before the frame's line; they
// stay valid until aheadtake(i).  Frames are taken in list order, each once.
const char* aheadname(aheadpool* p, uint32_t i, char* name);

// aheadtake: waits for frame i's load (looking at the keyboard every few
// milliseconds meanwhile), prints the loader's lines for it, and exchanges
// its planes with *planes (the writer's last planes go to the pool for a
// later load to reuse).  Returns the loader's result, or 3 / 27 for a key
// while waiting.
int aheadtake(aheadpool* p, uint32_t i, imgplanes* planes);

// aheadstop: stops and joins the workers, frees what they hold and sets
// frameaheadstats.  Nothing for nullptr.
void aheadstop(aheadpool* p);

}  // namespace movie_detail

#endif
