// movie.h - the movie builder: frame list, WAV scanner, AVI 1.0 and OpenDML
// writers, and the program driver.
//
//   avi.h       the frame list, the WAV header scanner and the AVI 1.0 writer
//   aviwrite.h  the steps of writing a movie that both writers (and the AVI
//               toolkit) share, and the layout sizes
//   odml.h      the OpenDML writer and its size plan
//   driver.h    the program driver and its message helpers

#ifndef REELKILN_MOVIE_H
#define REELKILN_MOVIE_H

#include "movie/avi.h"
#include "movie/aviwrite.h"
#include "movie/odml.h"
#include "movie/driver.h"

#endif
