// plan.cpp - a planned file read back as a read source: the bytes of a plan
// (stretches of its source file, bytes of its own, zero runs) at any
// position, and the source that RD opens on a plan whose stretches come from
// the movie on disk.
//
// Nothing process-wide is touched: the plan's source file is opened by its
// own FILE through g_os and read at positions, so that another thread's use
// of the file services, or another file of any name, never sees the plan.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "avitool/avitool_internal.h"
#include "platform/platform.h"
#include "stream/stream.h"

namespace avitool_detail {

namespace {

// The piece that holds pos (0 <= pos < the plan's length), starting from
// the one of the last read: reads mostly go on where they stopped.
size_t pieceat(const spliced& p, size_t hint, int64_t pos) {
    if (hint < p.pieces.size()) {
        const piece& h = p.pieces[hint];
        if (pos >= h.at && pos < h.at + h.len) return hint;
        if (hint + 1 < p.pieces.size() && pos >= h.at + h.len && pos < p.pieces[hint + 1].at + p.pieces[hint + 1].len)
            return hint + 1;
    }
    auto it = std::upper_bound(p.pieces.begin(), p.pieces.end(), pos,
                               [](int64_t v, const piece& k) { return v < k.at; });
    return (size_t)(it - p.pieces.begin()) - 1;
}

// The positional read of the plan's source file: the FILE is moved only when
// the read does not go on where the last one stopped.
int64_t fileread(void* ctx, int64_t pos, void* buf, int64_t n) {
    plansource& ps = *static_cast<plansource*>(ctx);
    if (ps.filepos != pos) {
        if (g_os.fseek64(ps.file, pos, SEEK_SET) != 0) {
            ps.filepos = -1;
            return -1;
        }
        ps.filepos = pos;
    }
    size_t got = g_os.fread(buf, 1, (size_t)n, ps.file);
    ps.filepos += (int64_t)got;
    return (int64_t)got;
}

int64_t planread(void* ctx, int64_t pos, void* buf, int64_t n) {
    plansource& ps = *static_cast<plansource*>(ctx);
    return splicedread(*ps.plan, ps.from, pos, static_cast<uint8_t*>(buf), n, &ps.hint);
}

}  // namespace

int64_t splicedread(const spliced& p, const rdsource& from, int64_t pos, uint8_t* out, int64_t n, size_t* hint) {
    int64_t done = 0;
    size_t at = hint ? *hint : 0;
    while (done < n && pos >= 0 && pos < p.length) {
        at = pieceat(p, at, pos);
        const piece& k = p.pieces[at];
        const int64_t into = pos - k.at;
        const int64_t take = std::min(n - done, k.len - into);
        if (k.src == PIECE_OWN) {
            std::memcpy(out + done, p.own.data() + k.off + (size_t)into, (size_t)take);
        } else if (k.src == PIECE_ZEROS) {
            std::memset(out + done, 0, (size_t)take);
        } else {
            // A stretch the source no longer holds ends the read where the
            // source gave out: the reader sees fewer bytes than asked.
            int64_t got = from.pread(from.ctx, k.src + into, out + done, take);
            if (got > 0) {
                pos += got;
                done += got;
            }
            if (got != take) break;
            continue;
        }
        pos += take;
        done += take;
    }
    if (hint) *hint = at;
    return done;
}

bool planopen(plansource* ps, const spliced* plan) {
    planclose(ps);
    ps->file = g_os.fopen(plan->source.c_str(), "rb");
    if (!ps->file) return false;
    ps->plan = plan;
    ps->filepos = 0;
    ps->hint = 0;
    ps->from = {ps, plan->srclen, fileread};
    ps->src = {ps, plan->length, planread};
    return true;
}

void planclose(plansource* ps) {
    if (ps->file) g_os.fclose(ps->file);
    ps->file = nullptr;
    ps->plan = nullptr;
}

}  // namespace avitool_detail
