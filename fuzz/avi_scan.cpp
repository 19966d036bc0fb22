// avi_scan.cpp - the AVI scanner (both passes and the index table) on any
// bytes, for the first frame and for the last.  A failed scan leaves the
// outputs alone; a successful one gives flags from their documented sets, a
// first JUNK inside the file, an index table no larger than the file can
// hold (a hostile frame count must not make it allocate more), and a frame
// shown for the target that is the target itself or a filled chunk.

#include <cstring>

#include "avitool/avitool.h"
#include "fuzz/harness.h"
#include "stream/stream.h"

namespace {

struct Outs {
    uint32_t total = 0xA5A5A5A5, width = 0xA5A5A5A5, height = 0xA5A5A5A5;
    uint8_t sizeflag = 0xA5, hasaudio = 0xA5;
    int64_t audiobuf = -5, junkpos = -5, junksize = -5, chunksize = -5, chunkoff = -5;
    float fps = -5.0f;

    bool operator==(const Outs& o) const {
        return total == o.total && width == o.width && height == o.height &&
               sizeflag == o.sizeflag && hasaudio == o.hasaudio && audiobuf == o.audiobuf &&
               junkpos == o.junkpos && junksize == o.junksize && chunksize == o.chunksize &&
               chunkoff == o.chunkoff && fps == o.fps;
    }
};

// The input as a read source.  claimed > the bytes there makes the source
// fall short at its end, as a file that shrank under a plan does.
struct memsrc {
    const uint8_t* data;
    size_t size;
    static int64_t read(void* ctx, int64_t pos, void* buf, int64_t n) {
        const memsrc& m = *static_cast<const memsrc*>(ctx);
        int64_t have = (int64_t)m.size - pos;
        int64_t k = have < 0 ? 0 : have < n ? have : n;
        if (k > 0) std::memcpy(buf, m.data + pos, (size_t)k);
        return k;
    }
};

// frame's scan by name, or of src when it is given.
void scan(int32_t frame, size_t size, const rdsource* src = nullptr) {
    Outs o;
    int r = src ? aviscansrc(src, frame, &o.total, &o.width, &o.height, &o.sizeflag, &o.hasaudio,
                             &o.audiobuf, &o.junkpos, &o.junksize, &o.chunksize, &o.chunkoff, &o.fps)
                : aviscan(fuzz::kInputName, frame, &o.total, &o.width, &o.height, &o.sizeflag,
                          &o.hasaudio, &o.audiobuf, &o.junkpos, &o.junksize, &o.chunksize, &o.chunkoff,
                          &o.fps);
    // 5, a failed read, comes only from a source that gives less than it
    // claims.
    FUZZ_CHECK(r == 0 || r == 2 || r == 3 || (src && r == 5));
    if (r != 0) {
        FUZZ_CHECK(o == Outs());
        return;
    }
    FUZZ_CHECK(o.sizeflag == 0 || o.sizeflag == 1 || o.sizeflag == 15);
    FUZZ_CHECK(o.hasaudio == 0 || o.hasaudio == 0xFF);
    // The target's offset comes from idx1, which may point anywhere.
    FUZZ_CHECK(o.chunkoff >= 0);
    FUZZ_CHECK(o.junkpos >= 0 && o.junkpos <= (int64_t)size);
    FUZZ_CHECK(idxtablecap >= 0 && (int64_t)idxtablecap <= (int64_t)size / 8 + 1);
    // The frame shown for the target comes from where the target came from:
    // a filled target is its own, and a frame shown is never an empty one.
    const aviscanrecord& s = aviscaninfo;
    if (o.chunkoff != 0 && o.chunksize != 0)
        FUZZ_CHECK(s.aviptrshown == o.chunkoff && s.avishownsize == o.chunksize);
    FUZZ_CHECK(s.aviptrshown == 0 ? s.avishownsize == 0 && s.avishownframe == 0
                                  : s.avishownsize != 0 && s.avishownframe >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::serve(fuzz::kInputName, data, size);
    // The table and the record keep what earlier scans left: start afresh.
    idxtablefree();
    aviscanreset();
    scan(0, size);
    scan(-1, size);
    // The same bytes as a source: once whole, once claiming 7 bytes more
    // than there are (the last refill falls short: a read error).
    memsrc m{data, size};
    for (int64_t extra : {0, 7}) {
        rdsource src = {&m, (int64_t)size + extra, memsrc::read};
        idxtablefree();
        aviscanreset();
        scan(0, size + (size_t)extra, &src);
        FUZZ_CHECK(rfeof() != 0);
    }
    return 0;
}
