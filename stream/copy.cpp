// copy.cpp - the copies from a read stream (RD, RD2) to WR.
//
// When both streams are in FILE mode the copy moves 4096-byte blocks with the
// block read and the block write, and a short write fails the copy at once.
// Otherwise it has the effect of reading byte by byte and writing byte by
// byte, but takes the bytes in runs straight out of the read stream's buffer
// into the write stream's buffer, so that long audio copies cost one system
// call per buffer and not per byte.  In that mode a write failure ends the
// copy at once (the rest of the source is not read for nothing).
//
// The count is an int: a copy of more than 2^31 - 1 bytes answers
// 0x7FFFFFFF instead of a wrapped count, which could read as the failure -1.

#include <cstdint>

#include "stream/stream.h"
#include "stream/stream_internal.h"

using namespace stream_detail;

namespace {

int clamp_count(int64_t n) { return n > INT32_MAX ? INT32_MAX : (int)n; }

bool block_mode(const rdstrm& r) { return !r.hmode && !WR.hmode; }

// Copies the next n bytes (all that remain when n < 0 stands for "all").
// Returns the count written, -1 when the read stream is closed at the start
// or WR fails.
int copy_to_wr(rdstrm& r, int64_t n, bool all) {
    if (r.eof != 0) return -1;
    int64_t total = 0;
    if (block_mode(r)) {
        while (all || n > 0) {
            int k = all || n > kCopySize ? kCopySize : (int)n;
            int m = rd_read(r, r.copybuf, k);
            if (!all) n -= k;
            if (m > 0) {
                int w = wfwrite(r.copybuf, m);
                if (w < m) return -1;
                total += w;
            }
            if (m < k) break;   // the read stream has ended: nothing more comes
        }
        return clamp_count(total);
    }
    while (all || total < n) {
        int64_t want = all ? INT32_MAX : n - total;
        const uint8_t* p = nullptr;
        int32_t k = rd_take(r, want > INT32_MAX ? INT32_MAX : (int32_t)want, &p);
        if (k == 0) break;
        total += k;
        if (wr_putbytes(WR, p, k) != 0) break;
    }
    return WR.err != 0 ? -1 : clamp_count(total);
}

}  // namespace

int rfcopytowf(int n) { return copy_to_wr(RD, n, false); }
int rfcopyalltowf(void) { return copy_to_wr(RD, 0, true); }
int rwfcopytowf(int n) { return copy_to_wr(RD2, n, false); }
int rwfcopyalltowf(void) { return copy_to_wr(RD2, 0, true); }
