// movie.h - the movie builder: frame list, WAV scanner, AVI 1.0 and OpenDML
// writers, and the program driver.
//
//   framelist.h  the program directory, the list-line rule and the joins of
//                a listed name to the directory
//   wav.h        the WAV header scanner
//   writer.h     the paths and results of a writer call, the name of the
//                image that stopped one
//   prepass.h    the list pre-pass and the first-image probe
//   sound.h      the sound: the WAV scan's rules and the copy of its data
//   chunks.h     the RIFF layout sizes and the put-functions of the header
//                chunks both layouts write (the AVI toolkit's too)
//   frames.h     the frame source: the frame loop's step and pixel rows,
//                with the frames decoded ahead (ahead.cpp)
//   finish.h     the trailer, the zero fill and the checked close
//   avi1.h       the AVI 1.0 writer and its size plan
//   odml.h       the OpenDML writer and its size plan
//   driver.h     the program driver and its message helpers
// Internals shared across files (not for callers): writer_internal.h,
// frames_internal.h.

#ifndef REELKILN_MOVIE_MOVIE_H
#define REELKILN_MOVIE_MOVIE_H

#include "movie/framelist.h"
#include "movie/wav.h"
#include "movie/writer.h"
#include "movie/prepass.h"
#include "movie/sound.h"
#include "movie/chunks.h"
#include "movie/frames.h"
#include "movie/finish.h"
#include "movie/avi1.h"
#include "movie/odml.h"
#include "movie/driver.h"

#endif
