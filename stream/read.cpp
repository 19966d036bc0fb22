// read.cpp - the read streams RD and RD2.
//
// Both streams are one record type (stream_detail::rdstrm) and one set of
// rules; each public function is a one-line wrapper that names its stream and
// the texts it prints.  Divisions: the records and their messages; opening and
// closing; byte and block reads; seeks and skips; the public RD functions; the
// public RD2 functions.
//
// Handle mode (opened by a 16-bit name) reads through the stream's own
// 8192-byte buffer; the system's file pointer then lies ahead of the logical
// position by the unread buffered bytes (end - cur).  FILE mode (opened by an 8-bit name) leaves
// buffering to the runtime, whose file position always equals the logical one.
// Source mode (opened on an rdsource) reads through the same buffer as handle
// mode; its "file pointer" is just the offset after the buffered bytes, so
// giving the buffer back and every move are free and cannot be refused
// (except a move before the start).  A short positional read there is a
// failed read: the stream closes as at the end and rferror says so.
//
// Where this code is stricter than the plain rules, it is so on purpose:
//   - every seek looks at the system's or the runtime's answer: a refused move
//     gives -2 (-4 from the end), moves nothing and keeps the buffer, and a
//     closed stream is never touched;
//   - an absolute move that succeeds always empties the buffer, so no stale
//     byte is served after it; relative moves are turned into absolute ones
//     (or served inside the buffer), so they never depend on giving the
//     buffer back first;
//   - block reads of n <= 0 deliver nothing.

#include <bit>
#include <climits>
#include <cstdio>
#include <cstring>

#include "stream/stream.h"
#include "stream/stream_internal.h"

namespace stream_detail {

// Program start: both streams closed (the record's own start values), set
// before any code runs.
constinit rdstrm RD{};
constinit rdstrm RD2{};

void rd_close(rdstrm& s) {
    if (s.smode) {
        // A source holds nothing to release; the closed stream is an
        // ordinary closed one (quiet as FILE mode).
        s.smode = 0;
        s.hmode = 0;
        s.src = rdsource{};
    }
    if (s.eof == 0) {
        if (s.hmode) g_os.close(s.handle);
        else if (s.file) g_os.fclose(s.file);
    }
    // The handle is dropped even when the system reports a failed close: it
    // is unusable either way, and a dangling one must never be used again.
    s.handle = nullptr;
    s.file = nullptr;
    rd_at(s, rd_pos(s));
    s.eof = 0xFF;
}

namespace {

// The texts a stream prints; null where that stream stays quiet.
struct rdmsgs {
    const char* open_path;    // wide open, missing directory
    const char* open_code;    // wide open, any other failure (%d: system code)
    const char* open_name;    // 8-bit open (%s: the name)
    const char* buffering;    // setvbuf refused
    const char* rewind;       // rfbufrewind refused
    const char* seek32;       // rfseek32 refused
    const char* seek;         // rfseek, rfseekorg, rfkipbytes64 refused
    const char* skip;         // rfkipbytes refused
};

const rdmsgs kRD = {
    "Could not open (RD)(PATH_NOT_FOUND). \n",
    "Could not open (RD)(code=%d).\n",
    "Cannot open RD file : %s\n",
    "Buffering failed.(RD) \n",
    "Failed in seek in rfbufrewind. \n",
    "Failed in seek in rfseek. \n",
    "Failed in seek in rfseek. \n",
    "Failed in seek in rfkipbytes. \n",
};

const rdmsgs kRD2 = {
    nullptr,
    "Could not open (RD2)(code=%d).\n",
    "Cannot open RD(2) file : %s\n",
    "Buffering failed.(RD(2)) \n",
    nullptr,
    nullptr,
    "Failed in seek in rwfseek. \n",
    nullptr,
};

void say(const char* text) {
    if (text) std::printf("%s", text);
}

// Puts the runtime's file pointer on the absolute offset pos, after a
// refused move: a runtime may have given up its buffer and left its pointer
// anywhere when it refused (the Windows one does), so "nothing moved" has to
// be made true again.
void file_restore(FILE* f, int64_t pos) { g_os.fseek64(f, pos, SEEK_SET); }

// Moves the runtime's file pointer from the offset from by d bytes, as one
// 64-bit move to the absolute target.  When it is refused, the pointer is put
// back on from and the result is false.
bool file_walk(FILE* f, int64_t from, int64_t d) {
    int64_t target;
    if (__builtin_add_overflow(from, d, &target) || target < 0 || g_os.fseek64(f, target, SEEK_SET) != 0) {
        file_restore(f, from);
        return false;
    }
    return true;
}

// ---- Opening -------------------------------------------------------------------

// The line of a refused open by 16-bit name.
void say_openfail(const rdmsgs& m, uint32_t e) {
    if (e == OS_ERR_PATH_NOT_FOUND && m.open_path) say(m.open_path);
    else std::printf(m.open_code, (int)e);
}

// The stream is open on h (handle mode) or f (FILE mode) at offset 0.
void opened(rdstrm& s, os_file h, FILE* f) {
    s.handle = h;
    s.file = f;
    s.hmode = h ? 0xFF : 0;
    rd_at(s, 0);
    s.eof = 0;
}

// Opens s by a 16-bit name in handle mode (read only, existing file).  m null:
// quiet.  0 / -1; a failed open leaves the stream closed.
int open_wide(rdstrm& s, const char16_t* name, const rdmsgs* m, bool shared = false) {
    if (s.eof == 0) rd_close(s);
    s.failed = 0;
    os_file h = g_os.openW(name, shared ? OS_OPEN_READ_SHARED : OS_OPEN_READ);
    if (!h) {
        if (m) say_openfail(*m, g_os.lasterror());
        return -1;
    }
    opened(s, h, nullptr);
    return 0;
}

// Opens s by an 8-bit name in FILE mode ("rb").  m null: quiet; else
// messages.  buffered: the stream's own 8192-byte runtime buffer with full
// buffering, else the runtime's default (4096 bytes on some systems).  0 / -1.
int open_narrow(rdstrm& s, const char* name, const rdmsgs* m, bool buffered) {
    if (s.eof == 0) rd_close(s);
    s.failed = 0;
    FILE* f = g_os.fopen(name, "rb");
    if (!f) {
        if (m) std::printf(m->open_name, name);
        return -1;
    }
    if (buffered && std::setvbuf(f, s.rtbuf, _IOFBF, kBufSize) != 0) {
        if (m) say(m->buffering);
        g_os.fclose(f);
        return -1;
    }
    opened(s, nullptr, f);
    return 0;
}

// Opens s on a source: 0 / -1 (a null source, no read, a negative length).
int open_src(rdstrm& s, const rdsource* src) {
    if (s.eof == 0) rd_close(s);
    s.failed = 0;
    if (!src || !src->pread || src->length < 0) return -1;
    s.src = *src;
    opened(s, nullptr, nullptr);
    s.hmode = 0xFF;
    s.smode = 0xFF;
    return 0;
}

// -1 when the file opens for reading, 0 when not; s is closed before and
// stays closed; nothing printed.
int exists_wide(rdstrm& s, const char16_t* name) {
    if (s.eof == 0) rd_close(s);
    os_file h = g_os.openW(name, OS_OPEN_READ);
    if (!h) return 0;
    g_os.close(h);
    return -1;
}

int exists_narrow(rdstrm& s, const char* name) {
    if (s.eof == 0) rd_close(s);
    FILE* f = g_os.fopen(name, "rb");
    if (!f) return 0;
    g_os.fclose(f);
    return -1;
}

}  // namespace

namespace {

// ---- Source mode -----------------------------------------------------------------

// Reads n > 0 bytes of the source at pos into out: the count, which is n,
// or fewer only where the source ends (pos + n past its length).  A source
// that gives fewer than it holds marks the stream failed and counts as
// having given nothing from this read (the stream is then closed by the
// caller).
int64_t src_pread(rdstrm& s, int64_t pos, uint8_t* out, int64_t n) {
    int64_t left = s.src.length - pos;
    if (left <= 0) return 0;
    int64_t want = n < left ? n : left;
    int64_t got = s.src.pread(s.src.ctx, pos, out, want);
    if (got != want) {
        s.failed = 0xFF;
        return -1;
    }
    return got;
}

// Refills the empty buffer of a source-mode stream: false, the stream
// closed, at the end of the source or after a failed read.
bool src_fill(rdstrm& s) {
    rd_at(s, rd_pos(s));
    int64_t got = src_pread(s, s.base, s.buf, kBufSize);
    if (got <= 0) {
        rd_close(s);
        return false;
    }
    s.end = s.buf + got;
    return true;
}

// rd_read in source mode: the buffered bytes, then a remainder smaller than
// the buffer through a refill, a larger one straight into out.
int src_read(rdstrm& s, uint8_t* out, int n) {
    int32_t done = 0;
    while (done < n) {
        int32_t unread = rd_unread(s);
        if (unread > 0) {
            int32_t k = unread < n - done ? unread : n - done;
            std::memcpy(out + done, s.cur, (size_t)k);
            s.cur += k;
            done += k;
            continue;
        }
        int32_t rest = n - done;
        if (rest < kBufSize) {
            if (!src_fill(s)) return done;
            continue;
        }
        rd_at(s, rd_pos(s));
        int64_t got = src_pread(s, s.base, out + done, rest);
        if (got > 0) {
            s.base += got;
            done += (int32_t)got;
        }
        if (got < rest) rd_close(s);
        return done;
    }
    return done;
}

}  // namespace

// ---- Block reads -----------------------------------------------------------------

namespace {

// A FILE-mode read gave less than asked: the end of the data, or a failed
// read when the runtime's error indicator says so.  Either closes the stream.
void file_ended(rdstrm& s) {
    if (g_os.ferror(s.file)) s.failed = 0xFF;
    rd_close(s);
}

// Fills the empty buffer of a handle-mode stream: false at the end of the
// data or after a failed read (noted), each of which closes the stream.
bool refill(rdstrm& s) {
    rd_at(s, rd_pos(s));
    uint32_t got = 0;
    if (!g_os.read(s.handle, s.buf, kBufSize, &got)) s.failed = 0xFF;
    else if (got > 0) {
        s.end = s.buf + got;
        return true;
    }
    rd_close(s);
    return false;
}

}  // namespace

// Reads up to n bytes into out.  Handle mode serves the buffered bytes first;
// a remainder smaller than the buffer is served through a refill of the
// buffer, a larger one goes straight from the file into out.  Fewer bytes
// than asked (the end, or a failed read) close the stream.  Returns the count
// delivered; 0 on a closed stream and for n <= 0.
int rd_read(rdstrm& s, uint8_t* out, int n) {
    if (s.eof != 0 || n <= 0 || !out) return 0;
    if (s.smode) return src_read(s, out, n);
    if (!s.hmode) {
        size_t got = g_os.fread(out, 1, (size_t)n, s.file);
        s.base += (int64_t)got;
        if (got < (size_t)n) file_ended(s);
        return (int)got;
    }
    int32_t done = 0;
    int32_t unread = rd_unread(s);
    if (unread > 0) {
        int32_t k = unread < n ? unread : n;
        std::memcpy(out, s.cur, (size_t)k);
        s.cur += k;
        done = k;
        if (done == n) return n;
    }
    int32_t rest = n - done;
    rd_at(s, rd_pos(s));
    uint32_t got = 0;
    if (rest < kBufSize) {
        if (!refill(s)) return done;
        int32_t k = rd_unread(s) < rest ? rd_unread(s) : rest;
        std::memcpy(out + done, s.cur, (size_t)k);
        s.cur += k;
        done += k;
        if (k < rest) rd_close(s);
        return done;
    }
    if (!g_os.read(s.handle, out + done, (uint32_t)rest, &got)) {
        s.failed = 0xFF;
        rd_close(s);
        return done;
    }
    s.base += got;
    done += (int32_t)got;
    if ((int32_t)got < rest) rd_close(s);
    return done;
}

namespace {

// ---- Seeks and skips ---------------------------------------------------------------

// The system refused to move the file pointer of an open file to a place
// that exists to be asked for: the file is failing under the stream as a
// failed read says it is (a dropped share, a failing disk).  Nothing moved,
// as the caller is told, but what is read next would come from the wrong
// place, so rferror says it from now on until the next open; a caller that
// did not look at the -2 still learns that its data cannot be trusted.
void refused(rdstrm& s) { s.failed = 0xFF; }

// Gives the unread buffered bytes back to the file (handle mode).  0, or -2
// when the system refuses the move; then nothing has changed.
int buf_rewind(rdstrm& s, const rdmsgs& m) {
    int64_t unread = rd_unread(s);
    if (!s.hmode || unread == 0) return 0;
    if (s.smode) {
        rd_at(s, rd_pos(s));
        return 0;
    }
    if (!g_os.seek(s.handle, -unread, OS_SEEK_CURRENT, nullptr)) {
        say(m.rewind);
        refused(s);
        return -2;
    }
    rd_at(s, rd_pos(s));
    return 0;
}

// Moves s to the absolute offset target.  wide_target: the caller gave a
// 64-bit target (FILE mode then walks in steps); otherwise target is a signed
// 32-bit value.  msg is printed when an open stream's move is refused (and, in
// handle mode, on a closed stream, whose null handle the system refuses).
// 0, or -2 with nothing moved and the buffer kept.
int seek_abs(rdstrm& s, int64_t target, bool wide_target, const char* msg) {
    if (s.smode) {
        if (s.eof != 0) return -2;
        if (target < 0) {
            say(msg);
            return -2;
        }
    } else if (s.hmode) {
        if (s.eof != 0) {
            say(msg);
            return -2;
        }
        if (!g_os.seek(s.handle, target, OS_SEEK_BEGIN, nullptr)) {
            say(msg);
            if (target >= 0) refused(s);
            return -2;
        }
    } else {
        if (s.eof != 0) return -2;
        bool ok;
        if (target < 0) {
            ok = false;
        } else if (wide_target) {
            ok = file_walk(s.file, s.base, target - s.base);
        } else {
            ok = g_os.fseek64(s.file, target, SEEK_SET) == 0;
            if (!ok) file_restore(s.file, s.base);
        }
        if (!ok) {
            say(msg);
            if (target >= 0) refused(s);
            return -2;
        }
    }
    rd_at(s, target);
    s.eof = 0;
    return 0;
}

// Moves s forward by d > 0 bytes without reading them: inside the buffer when
// it holds them, else by one absolute move (handle mode) or a walk (FILE
// mode).  0, or -2 with nothing moved.  The end flag is left as it is.
int skip_ahead(rdstrm& s, int64_t d, const char* msg) {
    int64_t target;
    if (s.smode) {
        if (s.eof != 0) return -2;
        if (d <= rd_unread(s)) {
            s.cur += d;
            return 0;
        }
        if (__builtin_add_overflow(rd_pos(s), d, &target)) {
            say(msg);
            return -2;
        }
        rd_at(s, target);
        return 0;
    }
    if (s.hmode) {
        if (s.eof != 0) {
            say(msg);
            return -2;
        }
        if (d <= rd_unread(s)) {
            s.cur += d;
            return 0;
        }
        if (__builtin_add_overflow(rd_pos(s), d, &target)) {
            say(msg);
            return -2;
        }
        if (!g_os.seek(s.handle, target, OS_SEEK_BEGIN, nullptr)) {
            say(msg);
            refused(s);
            return -2;
        }
        rd_at(s, target);
        return 0;
    }
    if (s.eof != 0) return -2;
    if (__builtin_add_overflow(s.base, d, &target)) {
        say(msg);
        return -2;
    }
    if (!file_walk(s.file, s.base, d)) {
        say(msg);
        refused(s);
        return -2;
    }
    s.base = target;
    return 0;
}

// Skips n bytes and returns the last of them as rfgetc would: n < 0 gives -2,
// n = 0 gives 0 without reading.  After it the position has grown by n when
// the file holds the bytes.
int skip_n(rdstrm& s, int64_t n, const char* msg) {
    if (n < 0) return -2;
    if (n == 0) return 0;
    if (n > 1 && skip_ahead(s, n - 1, msg) != 0) return -2;
    return getc_of(s);
}

}  // namespace

// The byte read behind the inline fast path: the refill of an empty buffer in
// handle mode, every byte of FILE mode, the end and the closed stream.
int rd_getc_slow(rdstrm& s) {
    if (s.eof != 0) return -1;
    if (s.smode) {
        if (s.cur >= s.end && !src_fill(s)) return -1;
        return *s.cur++;
    }
    if (s.hmode) {
        if (s.cur < s.end) return *s.cur++;
        if (!refill(s)) return -1;
        return *s.cur++;
    }
    int c = g_os.fgetc(s.file);
    if (c == EOF) {
        file_ended(s);
        return -1;
    }
    s.base++;
    return c;
}

int32_t rd_take(rdstrm& s, int32_t max, const uint8_t** p) {
    if (s.eof != 0 || max <= 0) return 0;
    if (s.smode && s.cur >= s.end && !src_fill(s)) return 0;
    if (s.hmode) {
        if (s.cur >= s.end && !refill(s)) return 0;
        int32_t k = rd_unread(s);
        if (k > max) k = max;
        *p = s.cur;
        s.cur += k;
        return k;
    }
    int32_t want = max < kCopySize ? max : kCopySize;
    size_t got = g_os.fread(s.copybuf, 1, (size_t)want, s.file);
    s.base += (int64_t)got;
    *p = s.copybuf;
    if (got < (size_t)want) file_ended(s);
    return (int32_t)got;
}

}  // namespace stream_detail

using namespace stream_detail;

namespace {

// The shared bodies of the public multi-byte readers.  Each byte comes
// through the byte read and keeps its low 8 bits, so a byte past the end
// counts as 0xFF; the caller tests the end flag once afterwards.
uint32_t get_n(rdstrm& s, int n, bool big) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++) {
        uint32_t b = (uint32_t)getc_of(s) & 0xFF;
        v = big ? (v << 8) | b : v | (b << (8 * i));
    }
    return v;
}

int getpos64(const rdstrm& s, int64_t* out) {
    int64_t pos = rd_pos(s);
    if (out) *out = pos;
    return (int)(uint32_t)pos;
}

// hi:lo as the streams take a 64-bit quantity: lo alone, as a signed 32-bit
// value, when hi is null.
int64_t join64(uint32_t lo, const int32_t* hi) {
    if (!hi) return (int32_t)lo;
    return (int64_t)(((uint64_t)(uint32_t)*hi << 32) | lo);
}

// Seek by origin (RD only).  The position always becomes the new absolute
// offset.  0; -2 when a move from the start or the current position is
// refused, -4 from the end; -5 for any other origin, with nothing moved.
int seek_origin(rdstrm& s, int offset, int origin, const rdmsgs& m) {
    if (origin < 0 || origin > 2) return -5;
    int fail = origin == 2 ? -4 : -2;
    if (origin == 0) return seek_abs(s, offset, false, m.seek) == 0 ? 0 : fail;
    if (origin == 1) {
        // Relative to the logical position, which the system's pointer is
        // ahead of by the buffered bytes: moved to as an absolute target.
        int64_t target = rd_pos(s) + offset;
        if (s.hmode) return seek_abs(s, target, true, m.seek);
        if (s.eof != 0) return -2;
        if (target < 0) {
            say(m.seek);
            return -2;
        }
        if (!file_walk(s.file, s.base, offset)) {
            say(m.seek);
            refused(s);
            return -2;
        }
        s.base = target;
        s.eof = 0;
        return 0;
    }
    if (s.smode) {
        int64_t np = s.src.length + offset;
        if (s.eof != 0) return -4;
        if (np < 0) {
            say(m.seek);
            return -4;
        }
        rd_at(s, np);
        return 0;
    }
    if (s.hmode) {
        int64_t np = 0;
        if (s.eof != 0) {
            say(m.seek);
            return -4;
        }
        if (!g_os.seek(s.handle, offset, OS_SEEK_END, &np)) {
            // As in FILE mode below: a refused move to or after the end is
            // the file's (one before it may be the caller's).
            if (offset >= 0) refused(s);
            say(m.seek);
            return -4;
        }
        rd_at(s, np);
        s.eof = 0;
        return 0;
    }
    if (s.eof != 0) return -4;
    int64_t np = -1;
    const bool moved = g_os.fseek64(s.file, offset, SEEK_END) == 0;
    if (moved) np = g_os.ftell64(s.file);
    if (np < 0) {
        // Refused, or moved to a place the runtime cannot name: back to where
        // the stream stood.  A refusal of a move to or after the end is the
        // file's (one before it may be the caller's).
        file_restore(s.file, s.base);
        if (!moved && offset >= 0) refused(s);
        say(m.seek);
        return -4;
    }
    s.base = np;
    s.eof = 0;
    return 0;
}

// The size of s's open file, without moving its position: 1 with *out set;
// 0 on a closed stream or when the system or the runtime cannot say.  In
// FILE mode the runtime is moved to the end and back, which only costs it
// its buffered bytes.
int file_size(rdstrm& s, int64_t* out) {
    if (s.eof != 0 || !out) return 0;
    if (s.smode) {
        *out = s.src.length;
        return 1;
    }
    if (s.hmode) return g_os.size(s.handle, out) ? 1 : 0;
    int64_t end = -1;
    if (g_os.fseek64(s.file, 0, SEEK_END) == 0) end = g_os.ftell64(s.file);
    else refused(s);
    file_restore(s.file, s.base);
    if (end < 0) return 0;
    *out = end;
    return 1;
}

}  // namespace

// ---- RD ------------------------------------------------------------------------------

int rfeof(void) { return (int8_t)RD.eof; }
int rferror(void) { return (int8_t)RD.failed; }
int rfgetpos(void) { return (int)(uint32_t)rd_pos(RD); }
int rfgetpos64(int64_t* out) { return getpos64(RD, out); }
void* rfgetfp(void) { return RD.hmode ? (void*)RD.handle : (void*)RD.file; }
int rfgetsize64(int64_t* out) { return file_size(RD, out); }
int rflength(const char* name, int64_t* out) {
    if (rfopenq(name) != 0) return 0;
    const int r = file_size(RD, out);
    rfclose();
    return r;
}
int rflengthW(const char16_t* name, int64_t* out) {
    if (rfopenqW(name) != 0) return 0;
    const int r = file_size(RD, out);
    rfclose();
    return r;
}
void rfclose(void) { rd_close(RD); }
int rfopenqW(const char16_t* name) { return open_wide(RD, name, nullptr); }
int rfopenq(const char* name) { return open_narrow(RD, name, nullptr, false); }
int rfopenW(const char16_t* name) { return open_wide(RD, name, &kRD); }
int rfopen(const char* name) { return open_narrow(RD, name, &kRD, true); }
int rfopensrc(const rdsource* src) { return open_src(RD, src); }
void rfopenmsg(uint8_t wide, const char* name, uint32_t error) {
    if (wide) say_openfail(kRD, error);
    else std::printf(kRD.open_name, name);
}
int rfbufrewind(void) { return buf_rewind(RD, kRD); }
int rfseek32(int pos) { return seek_abs(RD, pos, false, kRD.seek32); }
int rfseek(uint32_t lo, int32_t* hi) { return seek_abs(RD, join64(lo, hi), hi != nullptr, kRD.seek); }
int rfseekorg(int offset, int origin) { return seek_origin(RD, offset, origin, kRD); }
int rfkipbytes(int n) { return skip_n(RD, n, kRD.skip); }
int rfkipbytes64(uint32_t lo, int32_t* hi) { return skip_n(RD, join64(lo, hi), kRD.seek); }
int64_t rftell64(void) { return rd_pos(RD); }
int rfskip64(int64_t n) { return n <= 0 ? 0 : skip_n(RD, n, kRD.seek); }
int rfgetw(void) { return (int16_t)get_n(RD, 2, false); }
int rfgetwbe(void) { return (int16_t)get_n(RD, 2, true); }
int rfgetdw(void) { return (int)get_n(RD, 4, false); }
int rfgetdwbe(void) { return (int)get_n(RD, 4, true); }
int64_t rfgetqw(void) {
    uint64_t lo = get_n(RD, 4, false);
    uint64_t hi = get_n(RD, 4, false);
    return (int64_t)(lo | hi << 32);
}
float rfgetfl(void) { return std::bit_cast<float>(get_n(RD, 4, false)); }
float rfgetflbe(void) { return std::bit_cast<float>(get_n(RD, 4, true)); }
int rfread(uint8_t* buf, int n) { return rd_read(RD, buf, n); }

// ---- Read streams of one's own ---------------------------------------------------------

// FILE mode with the record's own runtime buffer: a PNG decoder asks for a
// chunk's bytes a few kilobytes at a time, and the runtime's default buffer
// would cost a system read for every 4096 of them.
int rsopenq(rdstream& s, const char* name) { return open_narrow(s, name, nullptr, true); }
int rsopenqW(rdstream& s, const char16_t* name, int shared) { return open_wide(s, name, nullptr, shared != 0); }
void rsclose(rdstream& s) { rd_close(s); }
int rseof(const rdstream& s) { return (int8_t)s.eof; }
int rserror(const rdstream& s) { return (int8_t)s.failed; }
int rsread(rdstream& s, uint8_t* buf, int n) { return rd_read(s, buf, n); }
int rsseek(rdstream& s, int64_t pos) { return seek_abs(s, pos, true, nullptr); }
int rsgetsize64(rdstream& s, int64_t* out) { return file_size(s, out); }

// ---- RD2 -----------------------------------------------------------------------------

int rwfeof(void) { return (int8_t)RD2.eof; }
int rwferror(void) { return (int8_t)RD2.failed; }
int rwfgetpos(void) { return (int)(uint32_t)rd_pos(RD2); }
int rwfgetpos64(int64_t* out) { return getpos64(RD2, out); }
void rwfclose(void) { rd_close(RD2); }
int rwfopenqW(const char16_t* name) { return open_wide(RD2, name, nullptr); }
int rwfopenq(const char* name) { return open_narrow(RD2, name, nullptr, false); }
int rwfopenW(const char16_t* name) { return open_wide(RD2, name, &kRD2); }
int rwfopen(const char* name) { return open_narrow(RD2, name, &kRD2, true); }
int rwfbufrewind(void) { return buf_rewind(RD2, kRD2); }
int rwfseek32(int pos) { return seek_abs(RD2, pos, false, kRD2.seek32); }
int rwfseek(uint32_t lo, int32_t* hi) { return seek_abs(RD2, join64(lo, hi), hi != nullptr, kRD2.seek); }
int rwfkipbytes(int n) { return skip_n(RD2, n, kRD2.skip); }
int rwfkipbytes64(uint32_t lo, int32_t* hi) { return skip_n(RD2, join64(lo, hi), kRD2.seek); }
int64_t rwftell64(void) { return rd_pos(RD2); }
int rwfskip64(int64_t n) { return n <= 0 ? 0 : skip_n(RD2, n, kRD2.seek); }
int rwfgetw(void) { return (int16_t)get_n(RD2, 2, false); }
int rwfgetwbe(void) { return (int16_t)get_n(RD2, 2, true); }
int rwfgetdw(void) { return (int)get_n(RD2, 4, false); }
int rwfgetdwbe(void) { return (int)get_n(RD2, 4, true); }
int rwfread(uint8_t* buf, int n) { return rd_read(RD2, buf, n); }
int rwfexistW(const char16_t* name) { return exists_wide(RD2, name); }
int rwfexist(const char* name) { return exists_narrow(RD2, name); }
