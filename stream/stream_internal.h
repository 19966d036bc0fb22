// stream_internal.h - what the stream files share among themselves; not for
// callers.
//
// The read side (read.cpp) and the write side (write.cpp) each own their
// records; the copies (copy.cpp) and the reset (reset.cpp) reach into both
// through the helpers declared here.

#ifndef REELKILN_STREAM_INTERNAL_H
#define REELKILN_STREAM_INTERNAL_H

#include <cstdint>
#include <cstdio>

#include "stream/stream.h"

namespace stream_detail {

// The byte read of a read stream, with the fast path of rfgetc.
inline int getc_of(rdstrm& s) {
    if (s.cur < s.end) return *s.cur++;
    return rd_getc_slow(s);
}

// A read stream's position, its unread buffered bytes, and "the buffer is
// empty and the position is pos".
inline int64_t rd_pos(const rdstrm& s) { return s.base + (s.cur - s.buf); }
inline int32_t rd_unread(const rdstrm& s) { return (int32_t)(s.end - s.cur); }
inline void rd_at(rdstrm& s, int64_t pos) {
    s.cur = s.end = s.buf;
    s.base = pos;
}

// A write stream's position and the bytes waiting in its buffer.
inline int64_t wr_pos(const wrstrm& s) { return s.base + (s.cur - s.buf); }
inline int32_t wr_fill(const wrstrm& s) { return (int32_t)(s.cur - s.buf); }

// Closes a read stream: the file is closed, the buffer emptied, the end flag
// set.  No effect beyond that on a closed stream.
void rd_close(rdstrm& s);

// The block read (rfread, rwfread) of either read stream.
int rd_read(rdstrm& s, uint8_t* out, int n);

// Hands out up to max bytes of the read stream as rfgetc would deliver them
// one by one, without copying when it can: *p points into the stream's buffer
// (handle mode) or its copy buffer (FILE mode).  Returns the count, 0 at the
// end of the data, after a failed read or on a closed stream (each of which
// closes the stream as rfgetc does).  The position has grown by the count.
int32_t rd_take(rdstrm& s, int32_t max, const uint8_t** p);

// The byte write of a write stream, with the fast path of wfputc.
inline int putc_of(wrstrm& s, int c) {
    if (s.cur < s.lim) { *s.cur++ = (uint8_t)c; return 0; }
    return wr_putc_slow(s, c);
}

// Writes n bytes as n calls of the stream's byte writer would: into the
// buffer in handle mode (writing it out whenever it fills), through the
// runtime in FILE mode.  0 when all were accepted, -1 when the stream is or
// became closed (the failure was reported as the byte writer reports it).
int wr_putbytes(wrstrm& s, const uint8_t* p, int64_t n);

// Closes a write stream without writing its buffer (the buffered bytes are
// dropped); the error flag is set.
void wr_drop(wrstrm& s);

// The kept wide name of WR is forgotten (for the reset).
void wr_forget_name();

// The text reader and the key latch go back to their start state.
void tx_reset();
void key_reset();

}  // namespace stream_detail

#endif
