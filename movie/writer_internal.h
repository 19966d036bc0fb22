// writer_internal.h - not for callers: small helpers that the movie writer's
// files share (the pre-pass, the sound, the frames, the end and both
// writers).  Everything here is in namespace movie_detail; copyname is
// defined in prepass.cpp, filesize and outpos in finish.cpp.

#ifndef REELKILN_MOVIE_WRITER_INTERNAL_H
#define REELKILN_MOVIE_WRITER_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace movie_detail {

// Copies src into dst of cap bytes, cut to fit, always terminated.
void copyname(char* dst, const char* src, size_t cap);

// The length of a file on disk by the path of the mode in use, through RD:
// true with *out, false when it cannot be opened.
bool filesize(const char* name, const char16_t* nameW, uint8_t wide, int64_t* out);

// The output's position (WR).
uint64_t outpos();

}  // namespace movie_detail

#endif
