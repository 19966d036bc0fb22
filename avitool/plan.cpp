// plan.cpp - a planned file read back as a file: the 8-bit-name file
// services of g_os, with one name answered from a plan (stretches of its
// source file, bytes of its own, zeros) and every other name passed on.
//
// The read stream opens it as any file in its 8-bit-name mode: fopen gives a
// real FILE* of the source (so that the runtime's own setvbuf on it is
// sound), and the reads, seeks and tells on that FILE* are answered in the
// planned file's positions.  Writes to it are refused.  One thread, one
// mount at a time, as the edits run.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "avitool/avitool_internal.h"
#include "platform/platform.h"

namespace avitool_detail {

namespace {

const spliced* g_mounted = nullptr;
std::string g_name;
os_api g_before;  // the services in force at the mount, which this one calls

struct openplan {
    FILE* real;
    int64_t pos;      // in the planned file
    int64_t realpos;  // of the source FILE*, -1 unknown
    size_t at;        // the piece of the last read
};
std::vector<openplan> g_open;

openplan* mine(FILE* f) {
    for (openplan& o : g_open)
        if (o.real == f) return &o;
    return nullptr;
}

// The piece that holds pos (pos below the length), starting from the last
// one read: reads mostly go on where they stopped.
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

size_t readplan(openplan& o, uint8_t* out, size_t n) {
    const spliced& p = *g_mounted;
    size_t done = 0;
    while (done < n && o.pos >= 0 && o.pos < p.length) {
        o.at = pieceat(p, o.at, o.pos);
        const piece& k = p.pieces[o.at];
        int64_t into = o.pos - k.at;
        size_t take = (size_t)std::min<int64_t>((int64_t)(n - done), k.len - into);
        if (k.src == PIECE_OWN) {
            std::memcpy(out + done, p.own.data() + k.off + (size_t)into, take);
        } else if (k.src == PIECE_ZEROS) {
            std::memset(out + done, 0, take);
        } else {
            int64_t from = k.src + into;
            if (o.realpos != from && g_before.fseek64(o.real, from, SEEK_SET) != 0) {
                o.realpos = -1;
                break;
            }
            size_t got = g_before.fread(out + done, 1, take, o.real);
            o.realpos = from + (int64_t)got;
            o.pos += (int64_t)got;
            done += got;
            if (got < take) break;  // the source is shorter than it was
            continue;
        }
        o.pos += (int64_t)take;
        done += take;
    }
    return done;
}

FILE* plan_fopen(const char* name, const char* mode) {
    if (!g_mounted || g_name != name) return g_before.fopen(name, mode);
    if (mode[0] != 'r' || std::strchr(mode, '+')) return nullptr;
    FILE* f = g_before.fopen(g_mounted->source.c_str(), "rb");
    if (f) g_open.push_back({f, 0, 0, 0});
    return f;
}

size_t plan_fread(void* buf, size_t size, size_t count, FILE* f) {
    openplan* o = mine(f);
    if (!o) return g_before.fread(buf, size, count, f);
    if (size == 0 || count == 0) return 0;
    size_t got = readplan(*o, static_cast<uint8_t*>(buf), size * count);
    return got / size;
}

int plan_fgetc(FILE* f) {
    openplan* o = mine(f);
    if (!o) return g_before.fgetc(f);
    uint8_t c = 0;
    return readplan(*o, &c, 1) == 1 ? c : EOF;
}

int plan_fseek64(FILE* f, int64_t offset, int origin) {
    openplan* o = mine(f);
    if (!o) return g_before.fseek64(f, offset, origin);
    int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? o->pos : origin == SEEK_END ? g_mounted->length : -1;
    int64_t target = 0;
    if (base < 0 || __builtin_add_overflow(base, offset, &target) || target < 0) return -1;
    o->pos = target;
    return 0;
}

int64_t plan_ftell64(FILE* f) {
    openplan* o = mine(f);
    return o ? o->pos : g_before.ftell64(f);
}

size_t plan_fwrite(const void* buf, size_t size, size_t count, FILE* f) {
    return mine(f) ? 0 : g_before.fwrite(buf, size, count, f);
}

int plan_fputc(int c, FILE* f) { return mine(f) ? EOF : g_before.fputc(c, f); }

int plan_fflush(FILE* f) { return mine(f) ? 0 : g_before.fflush(f); }

int plan_fclose(FILE* f) {
    openplan* o = mine(f);
    if (o) g_open.erase(g_open.begin() + (o - g_open.data()));
    return g_before.fclose(f);
}

}  // namespace

void mountplan(const spliced* plan, const char* name) {
    if (g_mounted) unmountplan();
    g_mounted = plan;
    g_name = name;
    g_before = g_os;
    g_os.fopen = plan_fopen;
    g_os.fread = plan_fread;
    g_os.fgetc = plan_fgetc;
    g_os.fseek64 = plan_fseek64;
    g_os.ftell64 = plan_ftell64;
    g_os.fwrite = plan_fwrite;
    g_os.fputc = plan_fputc;
    g_os.fflush = plan_fflush;
    g_os.fclose = plan_fclose;
}

void unmountplan(void) {
    if (!g_mounted) return;
    // Only the entries this mount set: anything else in the table is the
    // caller's.
    g_os.fopen = g_before.fopen;
    g_os.fread = g_before.fread;
    g_os.fgetc = g_before.fgetc;
    g_os.fseek64 = g_before.fseek64;
    g_os.ftell64 = g_before.ftell64;
    g_os.fwrite = g_before.fwrite;
    g_os.fputc = g_before.fputc;
    g_os.fflush = g_before.fflush;
    g_os.fclose = g_before.fclose;
    // A FILE* still open is the source's own, which the runtime's fclose
    // ends as any other.
    g_open.clear();
    g_mounted = nullptr;
    g_name.clear();
}

}  // namespace avitool_detail
