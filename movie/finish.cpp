// finish.cpp - the end of a movie file and the checked close; see finish.h.
//
// Write checks: fourcc bytes are checked one by one (their result codes tell
// which failed); numbers are written unchecked and the stream's sticky error
// flag is tested by the writers after each frame, after the header, after the
// index and at the end; the close is followed by a check of the file's length
// on disk, so a movie cut short by a full disk is never reported as saved.

#include "movie/finish.h"

#include <cstdio>
#include <initializer_list>

#include "movie/writer_internal.h"
#include "platform/platform.h"
#include "stream/stream.h"

// The length of a file on disk by the path of the mode in use, through RD.
bool movie_detail::filesize(const char* name, const char16_t* nameW, uint8_t wide, int64_t* out) {
    return (wide ? rflengthW(nameW, out) : rflength(name, out)) != 0;
}

uint64_t movie_detail::outpos() { return (uint64_t)wftell64(); }

using movie_detail::filesize;
using movie_detail::outpos;

// ---- End ------------------------------------------------------------------------------

int diskfull() {
    printf("*** Disk Full *** \n");
    wfclose();
    return AVI1_FAILED;
}

int offplan() {
    wfclose();
    return AVI1_FAILED;
}

int puttail(bool alpha, int trailerfail) {
    if (!alpha) {
        for (char c : {'t', 'h', 'e', 'm', 'e', 'w', 'n', 'd'}) {
            if (wfputc(c) != 0) {
                if (trailerfail == AVI1_FAILED) return diskfull();
                wfclose();
                return trailerfail;
            }
        }
    }
    if (wfputzeros(pad512(outpos())) != 0) return diskfull();
    return 0;
}

int finishoutput(const moviepaths& p, uint64_t expect) {
    if (wfflush() != 0 || wferr() != 0) return diskfull();
    // The close writes what the runtime still buffers (8-bit mode) and says
    // whether anything written since the open was lost.
    if (wfclose() != 0) {
        printf("*** Disk Full *** \n");
        return AVI1_FAILED;
    }
    // And the length on disk must be the planned one: the last word on
    // whether the movie is whole.  A file that cannot be opened again is not
    // judged.
    int64_t size = 0;
    if (filesize(p.avi, p.aviW, p.wide, &size) && (uint64_t)size != expect) {
        printf("*** Disk Full *** \n");
        return AVI1_FAILED;
    }
    return 0;
}

