// failcall.h - the n-th read, write or seek call of the platform table
// fails: the system handle's read, write and seek, and the C runtime's
// fread, fgetc, fwrite, fputc, fflush and fseek on a FILE*.  A sweep runs an operation once to count its
// calls, then once for every n up to that count with call n failing, as a
// failing disk or a dropped network share makes one call fail.
//
// A failed call does what the system's or the runtime's does: a handle read
// or write gives 0, fread and fwrite a count of 0, fgetc and fputc EOF,
// fflush EOF, a seek 0 (handle) or -1 (fseek) with the position unmoved;
// the FILE's error indicator (g_os.ferror) then answers 1 until
// it is closed, as the runtime's does.  Nothing is read or written by it.
//
// Use: failcall::Use f(n); ... f.count(), f.fired(), f.kind().  n = 0 only
// counts.  One at a time; every entry takes one lock, since the movie
// writers' worker threads read frames through the same table.
#ifndef REELKILN_TESTS_FAILCALL_H
#define REELKILN_TESTS_FAILCALL_H

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <set>

#include "platform/platform.h"

namespace failcall {

enum kind { NONE, READ, WRITE, SEEK };

struct State {
    long count = 0;   // calls so far
    long failat = 0;  // the call that fails (from 1); 0 none
    kind fired = NONE;
    std::set<FILE*> bad;  // FILEs whose error indicator a failed call set
    os_api saved;         // the table in force before, which the calls go on to
};
inline State g_state;
inline std::mutex g_mu;

// Counts one call: true when it is the one that fails (recorded as k).
inline bool hit(kind k, FILE* f = nullptr) {
    std::lock_guard<std::mutex> lk(g_mu);
    if (++g_state.count != g_state.failat) return false;
    g_state.fired = k;
    if (f) g_state.bad.insert(f);
    return true;
}

inline int h_read(os_file f, void* buf, uint32_t n, uint32_t* got) {
    if (hit(READ)) {
        if (got) *got = 0;
        return 0;
    }
    return g_state.saved.read(f, buf, n, got);
}
inline int h_write(os_file f, const void* buf, uint32_t n, uint32_t* put) {
    if (hit(WRITE)) {
        if (put) *put = 0;
        return 0;
    }
    return g_state.saved.write(f, buf, n, put);
}
inline int h_seek(os_file f, int64_t dist, int origin, int64_t* newpos) {
    return hit(SEEK) ? 0 : g_state.saved.seek(f, dist, origin, newpos);
}
inline int f_seek(FILE* f, int64_t offset, int origin) {
    return hit(SEEK) ? -1 : g_state.saved.fseek64(f, offset, origin);
}
inline size_t f_read(void* buf, size_t size, size_t count, FILE* f) {
    return hit(READ, f) ? 0 : g_state.saved.fread(buf, size, count, f);
}
inline int f_getc(FILE* f) { return hit(READ, f) ? EOF : g_state.saved.fgetc(f); }
inline size_t f_write(const void* buf, size_t size, size_t count, FILE* f) {
    return hit(WRITE, f) ? 0 : g_state.saved.fwrite(buf, size, count, f);
}
inline int f_putc(int c, FILE* f) { return hit(WRITE, f) ? EOF : g_state.saved.fputc(c, f); }
inline int f_flush(FILE* f) { return hit(WRITE, f) ? EOF : g_state.saved.fflush(f); }
inline int f_error(FILE* f) {
    {
        std::lock_guard<std::mutex> lk(g_mu);
        if (g_state.bad.count(f)) return 1;
    }
    return g_state.saved.ferror(f);
}
inline int f_close(FILE* f) {
    {
        std::lock_guard<std::mutex> lk(g_mu);
        g_state.bad.erase(f);
    }
    return g_state.saved.fclose(f);
}

// Call failat fails while the object lives (0: none); the table is put back
// when it goes.
class Use {
public:
    explicit Use(long failat) {
        g_state = State{};
        g_state.failat = failat;
        g_state.saved = g_os;
        g_os.read = h_read;
        g_os.write = h_write;
        g_os.seek = h_seek;
        g_os.fseek64 = f_seek;
        g_os.fread = f_read;
        g_os.fgetc = f_getc;
        g_os.fwrite = f_write;
        g_os.fputc = f_putc;
        g_os.fflush = f_flush;
        g_os.ferror = f_error;
        g_os.fclose = f_close;
    }
    ~Use() {
        const os_api& s = g_state.saved;
        g_os.read = s.read;
        g_os.write = s.write;
        g_os.seek = s.seek;
        g_os.fseek64 = s.fseek64;
        g_os.fread = s.fread;
        g_os.fgetc = s.fgetc;
        g_os.fwrite = s.fwrite;
        g_os.fputc = s.fputc;
        g_os.fflush = s.fflush;
        g_os.ferror = s.ferror;
        g_os.fclose = s.fclose;
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    long count() const {
        std::lock_guard<std::mutex> lk(g_mu);
        return g_state.count;
    }
    kind fired() const {
        std::lock_guard<std::mutex> lk(g_mu);
        return g_state.fired;
    }
};

}  // namespace failcall

#endif
