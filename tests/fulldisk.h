// fulldisk.h - a disk with room for a set number of bytes, put behind the
// platform table's file writes in both name modes: the system handle's write
// (16-bit names) and the C runtime's calls on a FILE* (8-bit names).
//
// The FILE side stands in for a fully buffered runtime: bytes given to fputc
// and fwrite are collected per file (8192 bytes, the streams' runtime buffer)
// and reach the disk when the buffer fills, on fflush and on fclose, as the
// real runtime writes them out; whatever passes the room is refused there,
// the file keeps the part that fitted, and the call that met the full disk
// fails as the runtime's would (EOF, a short count) with lasterror 112.  So
// a cut that /dev/full would show only on Linux shows on every system, and
// at any byte.  Reads, seeks and the tell see the collected bytes.
//
// Use: fulldisk::Use disk(room); ... (the table is put back when it goes).
// One at a time.  The movie writers' worker threads read frames through the
// same table (open, seek, tell, close), so every entry takes one lock.
#ifndef REELKILN_TESTS_FULLDISK_H
#define REELKILN_TESTS_FULLDISK_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace fulldisk {

struct State {
    uint64_t room = 0;        // bytes the disk still takes
    bool shortcount = false;  // a handle write cut by the disk gives a short count (1) instead of 0
    bool tripped = false;     // the disk has refused a byte
    std::map<FILE*, std::vector<uint8_t>> pending;  // the runtime's collected bytes per file
    std::map<FILE*, bool> failed;                   // the runtime's error flag per file
};
inline State g_state;
inline std::mutex g_mu;  // over g_state, taken by each entry of the table
inline constexpr size_t kRuntimeBuffer = 8192;

// Takes up to n bytes; the count the disk accepted.
inline uint64_t take(uint64_t n) {
    uint64_t k = n <= g_state.room ? n : g_state.room;
    g_state.room -= k;
    if (k < n) g_state.tripped = true;
    return k;
}

inline int handle_write(os_file f, const void* buf, uint32_t n, uint32_t* put) {
    std::lock_guard<std::mutex> lk(g_mu);
    uint32_t k = (uint32_t)take(n), done = 0;
    int ok = k ? os_native.write(f, buf, k, &done) : 1;
    if (put) *put = done;
    if (!ok) return 0;
    return done == n || g_state.shortcount ? 1 : 0;
}

// Writes the collected bytes of f out to the disk: true when all fitted.
inline bool write_out(FILE* f) {
    std::vector<uint8_t>& p = g_state.pending[f];
    uint64_t k = take(p.size());
    if (k) {
        os_native.fwrite(p.data(), 1, (size_t)k, f);
        os_native.fflush(f);
    }
    bool all = k == p.size();
    p.clear();
    if (!all) g_state.failed[f] = true;
    return all;
}

inline int file_fputc(int c, FILE* f) {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_state.failed[f]) return EOF;
    std::vector<uint8_t>& p = g_state.pending[f];
    p.push_back((uint8_t)c);
    if (p.size() >= kRuntimeBuffer && !write_out(f)) return EOF;
    return c & 0xFF;
}

inline size_t file_fwrite(const void* buf, size_t size, size_t count, FILE* f) {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_state.failed[f] || size == 0) return 0;
    size_t n = size * count;
    std::vector<uint8_t>& p = g_state.pending[f];
    const uint8_t* b = static_cast<const uint8_t*>(buf);
    if (p.size() + n < kRuntimeBuffer) {
        p.insert(p.end(), b, b + n);
        return count;
    }
    // A block that fills the buffer goes out with what was collected; the
    // count is the items that reached the disk whole.
    size_t before = p.size();
    uint64_t room = g_state.room;
    p.insert(p.end(), b, b + n);
    if (write_out(f)) return count;
    uint64_t went = room > before ? room - before : 0;
    return (size_t)(went / size);
}

inline int file_fflush(FILE* f) {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_state.failed[f]) return EOF;
    return write_out(f) ? os_native.fflush(f) : EOF;
}

inline int file_fclose(FILE* f) {
    std::lock_guard<std::mutex> lk(g_mu);
    bool ok = !g_state.failed[f] && write_out(f);
    g_state.pending.erase(f);
    g_state.failed.erase(f);
    return os_native.fclose(f) == 0 && ok ? 0 : EOF;
}

inline int64_t file_ftell64(FILE* f) {
    std::lock_guard<std::mutex> lk(g_mu);
    int64_t at = os_native.ftell64(f);
    auto it = g_state.pending.find(f);
    return at < 0 || it == g_state.pending.end() ? at : at + (int64_t)it->second.size();
}

inline int file_fseek64(FILE* f, int64_t off, int origin) {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_state.pending.count(f) && !write_out(f)) return -1;
    return os_native.fseek64(f, off, origin);
}

inline uint32_t lasterror() {
    std::lock_guard<std::mutex> lk(g_mu);
    return g_state.tripped ? (uint32_t)OS_ERR_DISK_FULL : os_native.lasterror();
}

// The disk with room for `room` bytes in force while the object lives.
class Use {
public:
    explicit Use(uint64_t room, bool shortcount = false) : saved_(g_os) {
        g_state = State{};
        g_state.room = room;
        g_state.shortcount = shortcount;
        g_os.write = handle_write;
        g_os.fputc = file_fputc;
        g_os.fwrite = file_fwrite;
        g_os.fflush = file_fflush;
        g_os.fclose = file_fclose;
        g_os.ftell64 = file_ftell64;
        g_os.fseek64 = file_fseek64;
        g_os.lasterror = lasterror;
    }
    ~Use() {
        g_os.write = saved_.write;
        g_os.fputc = saved_.fputc;
        g_os.fwrite = saved_.fwrite;
        g_os.fflush = saved_.fflush;
        g_os.fclose = saved_.fclose;
        g_os.ftell64 = saved_.ftell64;
        g_os.fseek64 = saved_.fseek64;
        g_os.lasterror = saved_.lasterror;
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    bool tripped() const {
        std::lock_guard<std::mutex> lk(g_mu);
        return g_state.tripped;
    }

private:
    os_api saved_;
};

}  // namespace fulldisk

#endif
