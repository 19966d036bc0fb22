// movie.h - the movie builder: frame list, WAV scanner, AVI 1.0 and OpenDML
// writers, and the program driver.
//
//   avi.h     the frame list, the WAV header scanner and the AVI 1.0 writer
//   odml.h    the OpenDML writer and its size plan
//   driver.h  the program driver and its message helpers

#ifndef REELKILN_MOVIE_H
#define REELKILN_MOVIE_H

#if __has_include("movie/avi.h")
#include "movie/avi.h"
#endif
#if __has_include("movie/odml.h")
#include "movie/odml.h"
#endif
#if __has_include("movie/driver.h")
#include "movie/driver.h"
#endif

#endif
