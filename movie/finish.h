// finish.h - the end of a movie file: the 24-bit trailer, the zero fill to
// a multiple of 512, and the close that proves the file whole (finish.cpp);
// with the two ways out of a write pass that has gone wrong.
//
// All of them work on WR, the process-wide output stream; one thread.

#ifndef REELKILN_MOVIE_FINISH_H
#define REELKILN_MOVIE_FINISH_H

#include <cstdint>

#include "movie/writer.h"

// ---- End -------------------------------------------------------------------------

// puttail: for 24-bit movies the 8-byte 'them' trailer, each byte checked
// (a failure gives trailerfail: 3 in the OpenDML writer; -1 in the AVI 1.0
// writer, which then prints "*** Disk Full *** \n"), then 1 to 512 zero
// bytes up to the next multiple of 512 of the output's position (a failure
// prints "*** Disk Full *** \n" and gives -1).  Returns 0 or the failure;
// the output is closed on failure.
int puttail(bool alpha, int trailerfail);

// finishoutput: flushes and closes the output and checks that the file on
// disk is expect bytes long (by the path of the mode in use), so that a
// buffer lost in the final flush cannot pass for a finished movie.  Returns
// 0, or -1 after "*** Disk Full *** \n".
int finishoutput(const moviepaths& p, uint64_t expect);

// offplan: the end of a write pass that is not where its plan says, after
// the line that tells where: closes the output and returns -1.  The plan
// fixed every size already written, so such a file would contradict itself.
int offplan();

// The disk-full report of both writers: prints "*** Disk Full *** \n" and
// closes the output.  Returns -1.
int diskfull();

#endif
