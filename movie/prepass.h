// prepass.h - what a movie writer does before it plans the movie: the list
// read once to count and test-open every listed name, and the probe of the
// first image that fixes the frame size and pixel format (prepass.cpp).
//
// Both print the movie writers' own console lines; results are the writers'
// codes (writer.h).  The streams are the process-wide singletons, each
// opened and closed inside the call; one thread.

#ifndef REELKILN_MOVIE_PREPASS_H
#define REELKILN_MOVIE_PREPASS_H

#include <cstdint>

#include "movie/framelist.h"
#include "movie/writer.h"

// Opens the list with the text reader (tfopenW when wide, else tfopen).
// 0, or -1 when it cannot be opened (a list that reads as empty).
int listopen(const moviepaths& p);

// Test-opens exedir(W) + name quietly on RD and closes it again: 0 / -1
// (also for a name whose join does not fit, joinlisted).
int testopen(const char* name, uint8_t wide);

struct listfacts {
    uint32_t n;                   // valid names
    char first[LISTNAME_BUF];     // the first valid name ("" when none)
    char16_t firstW[LISTNAME_BUF];
};

// listprepass: reads the whole list once, test-opens every valid name joined
// to the program directory and counts them ("%d:  %s \n" each, then
// "  => %d frames. \n").  Empties badpngname(W) first.  Returns 0, or -6
// with badpngname(W) set to the first name that cannot be opened.  The list
// is closed on return.
int listprepass(const moviepaths& p, listfacts* out);

// firstimage: test-opens and probes the first listed image (after the pauses
// of 100 ms before each step) and prints its facts.  On success the probe's
// facts are in pngwidth, pngheight, pngdepth, pnghasalpha.
//   odml false (AVI 1.0): a failed open prints "Could not open in ..." and
//     "Sorry. This Folder does not support access in ANSI/UTF-8 mode. \n" and
//     gives 2; a failed probe gives 3.
//   odml true: an empty list or a failed open prints "Could not open in ..."
//     and " PNG files unavailable. \n" and gives 3; a failed probe gives 3.
int firstimage(const moviepaths& p, const listfacts& lf, bool odml);

#endif
