// reset.cpp - stream_reset: every stream, the text reader and the key latch
// back in their start state, for test fixtures.

#include "stream/stream.h"
#include "stream/stream_internal.h"

using namespace stream_detail;

// Open files are closed; what a write stream still holds in its buffer is
// dropped, not written.
void stream_reset(void) {
    rd_close(RD);
    rd_close(RD2);
    rd_at(RD, 0);
    rd_at(RD2, 0);
    RD.hmode = RD2.hmode = 0;
    RD.failed = RD2.failed = 0;
    wr_drop(WR);
    wr_drop(WRsrc);
    wr_forget_name();
    tx_reset();
    key_reset();
}
