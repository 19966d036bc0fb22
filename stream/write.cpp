// write.cpp - the write streams WR and WRsrc.
//
// Both streams are one record type (stream_detail::wrstrm) and one set of
// rules; the public functions are thin wrappers that name the stream and its
// texts.  Divisions: the records, the kept name and the messages; writing out
// and closing; opening; byte, block and string writes; the file size and the
// append reopen; the public WR functions; the public WRsrc functions.
//
// Handle mode (opened by a 16-bit name) collects bytes in the stream's own
// 8192-byte buffer and writes it with one system call when it is full; the
// file then holds all that was accepted but the bytes still in the buffer.  FILE mode (opened by
// an 8-bit name) leaves buffering to the runtime.
//
// A failed write prints its text once, closes the stream without writing the
// buffer again (the unwritten bytes are dropped) and sets the error flag; every
// later write returns -1 silently.  Where this code is stricter than the plain
// rules, it is so on purpose, so that no loss of data passes as success:
//   - the close reports a final write-out (or the runtime's own flush) that
//     failed, and its result says whether anything written since the open was
//     lost;
//   - a string write that fails on its last byte answers -1, not 0;
//   - a block write whose flush of the buffered bytes fails stops there, with
//     one message;
//   - the file size query never moves the file pointer;
//   - the append reopen reopens only the file WR itself created by 16-bit name
//     (and only when nothing of it was lost); a refused move to its end closes
//     the handle it opened;
//   - the kept name is copied with a bound.

#include <bit>
#include <cstdio>
#include <cstring>

#include "stream/stream.h"
#include "stream/stream_internal.h"

namespace stream_detail {

// Program start: both streams closed, error flag set.
wrstrm WR = {WR.buf, WR.buf, 0, 0xFF, 0, 0, nullptr, nullptr, {}, {}};
wrstrm WRsrc = {WRsrc.buf, WRsrc.buf, 0, 0xFF, 0, 0, nullptr, nullptr, {}, {}};

namespace {

// Empties the buffer; its bytes stay counted in the position (after a failure
// they are the accepted bytes that were lost).
void drop_buf(wrstrm& s) {
    s.base += s.cur - s.buf;
    s.cur = s.buf;
}

// The kept wide name of WR: the file last created by wfcreateW, reopened by
// wfappendopen.  It holds the longest path the system accepts (32767 units
// and the ending 0).  kept_ok says that the file WR last opened is that file,
// so that an append never reopens some other, older file.
constexpr int kKeptCap = 32768;
char16_t kept_name[kKeptCap];
bool kept_have = false;   // kept_name holds a name
bool kept_ok = false;

// The texts a stream prints.
struct wrmsgs {
    const char* open_name;    // 8-bit create (%s: the name)
    const char* buffering;    // setvbuf refused
    const char* putc_fail;    // the runtime's fputc failed
    bool src;                 // WRsrc: a byte counts once accepted, even past a flush
};

const char kWriteError[] = "File writing error.(or Disk full)\n";
const char kShortError[] = "File buffered writing error.(or Disk full)\n";

const wrmsgs kWR = {"Cannot open WR file : %s\n", "Buffering failed.(WR)\n", kWriteError, false};
const wrmsgs kWRsrc = {"Cannot open WR src file : %s\n", "Src buffering failed.(WR)\n",
                       "Src file writing error.(or Disk full)\n", true};

const wrmsgs& msgs_of(const wrstrm& s) { return &s == &WRsrc ? kWRsrc : kWR; }

// Closes the file of an open stream without writing anything more.  The
// runtime's fclose flushes its own buffer, and a system close may report a
// late failure: either is a loss, reported (once) and remembered.
void close_file(wrstrm& s) {
    if (s.err == 0) {
        bool ok;
        if (s.hmode) {
            ok = g_os.close(s.handle) != 0;
        } else {
            // The runtime's buffer is written out and its error flag read
            // before the close: the Windows runtime (as wine runs it) fails
            // that write-out inside fclose without fclose saying so.
            bool flushed = s.file && g_os.fflush(s.file) == 0 && !std::ferror(s.file);
            ok = s.file && g_os.fclose(s.file) == 0 && flushed;
        }
        if (!ok && !s.failed) {
            std::printf("%s", kWriteError);
            s.failed = 0xFF;
        }
    }
    s.handle = nullptr;
    s.file = nullptr;
    drop_buf(s);
    s.lim = s.buf;
    s.err = 0xFF;
}

// A write failed: text (if any) is printed, and the stream closes without
// writing its buffer again.
void fail(wrstrm& s, const char* text) {
    if (text) std::printf("%s", text);
    drop_buf(s);
    s.failed = 0xFF;
    close_file(s);
}

// Writes out the buffer: the stream's own (handle mode) or the runtime's
// (FILE mode, its fflush).  0, or -1 after a failure (the stream is then
// closed): a refused write or flush prints its text, a short write closes
// quietly.
int flush_buf(wrstrm& s) {
    if (s.err == 0 && !s.hmode) {
        if (s.file && g_os.fflush(s.file) != 0) {
            fail(s, kWriteError);
            return -1;
        }
        return 0;
    }
    uint32_t fill = (uint32_t)wr_fill(s);
    if (s.err != 0 || fill == 0) return 0;
    uint32_t put = 0;
    if (!g_os.write(s.handle, s.buf, fill, &put)) {
        fail(s, kWriteError);
        return -1;
    }
    if (put < fill) {
        fail(s, nullptr);
        return -1;
    }
    drop_buf(s);
    return 0;
}

// The state after a successful open.
void opened(wrstrm& s, os_file h, FILE* f, int64_t pos) {
    s.handle = h;
    s.file = f;
    s.hmode = h ? 0xFF : 0;
    s.cur = s.buf;
    s.lim = h ? s.buf + kBufSize - 1 : s.buf;
    s.base = pos;
    s.err = 0;
    s.failed = 0;
}

int close_stream(wrstrm& s) {
    if (s.err == 0) {
        flush_buf(s);
        close_file(s);
    }
    return s.failed ? -1 : 0;
}

// ---- Opening -------------------------------------------------------------------

// Opens s by 16-bit name for writing: how is OS_CREATE_WRITE (created or
// emptied) or OS_OPEN_WRITE (kept as it is, writes from offset 0).  msg: the
// text for a failure (%d: the system code), or null.  0 / -1.
int open_wide(wrstrm& s, const char16_t* name, int how, const char* msg) {
    close_stream(s);
    s.failed = 0;
    os_file h = g_os.openW(name, how);
    if (!h) {
        if (msg) std::printf(msg, (int)g_os.lasterror());
        return -1;
    }
    opened(s, h, nullptr, 0);
    return 0;
}

// Opens s by 8-bit name with the runtime's mode.  m null: quiet, the runtime's
// default buffering; else messages and the stream's own 8192-byte runtime
// buffer with full buffering.  0 / -1.
int open_narrow(wrstrm& s, const char* name, const char* mode, const wrmsgs* m) {
    close_stream(s);
    s.failed = 0;
    FILE* f = g_os.fopen(name, mode);
    if (!f) {
        if (m) std::printf(m->open_name, name);
        return -1;
    }
    if (m && std::setvbuf(f, s.rtbuf, _IOFBF, kBufSize) != 0) {
        std::printf("%s", m->buffering);
        g_os.fclose(f);
        return -1;
    }
    opened(s, nullptr, f, 0);
    return 0;
}

// -1 when the file opens for reading, 0 when not; s is closed first and stays
// closed; nothing printed.  pause_ms: a wait before the test file is closed.
int exists_wide(wrstrm& s, const char16_t* name, int pause_ms) {
    close_stream(s);
    os_file h = g_os.openW(name, OS_OPEN_READ);
    if (!h) return 0;
    if (pause_ms >= 0) g_os.sleep_ms((uint32_t)pause_ms);
    g_os.close(h);
    return -1;
}

int exists_narrow(wrstrm& s, const char* name) {
    close_stream(s);
    FILE* f = g_os.fopen(name, "rb");
    if (!f) return 0;
    g_os.fclose(f);
    return -1;
}

// Steps 5 to 9 of an append reopen: h is open for writing; move to its end and
// go on writing there, with the trace lines.  0, or -2 when the move is
// refused (msg printed, h closed, the stream stays closed).
int append_at_end(wrstrm& s, os_file h, const char* msg) {
    g_os.sleep_ms(0);
    int64_t end = 0;
    if (!g_os.seek(h, 0, OS_SEEK_END, &end)) {
        std::printf("%s", msg);
        g_os.close(h);
        return -2;
    }
    std::printf(" FP:%08X:%08X \n", (unsigned)((uint64_t)end >> 32), (unsigned)(uint32_t)end);
    int64_t size = 0;
    if (g_os.size(h, &size)) {
        std::printf(" FP:%08X:%08X \n", (unsigned)((uint64_t)size >> 32), (unsigned)(uint32_t)size);
        end = size;
    }
    opened(s, h, nullptr, end);
    return 0;
}

// ---- Writes ----------------------------------------------------------------------

// Writes n bytes (n > 0) straight from buf after writing out the buffer.
// Returns n; the count written after a short write (printed, stream closed);
// -1 after a refused write or on a closed stream.
int write_block(wrstrm& s, const uint8_t* buf, int n) {
    if (s.err != 0) return -1;
    if (n <= 0 || !buf) return 0;
    if (s.hmode) {
        // Small blocks join the buffer, as that many byte writes would.
        if (n < kBufSize - wr_fill(s)) {
            std::memcpy(s.cur, buf, (size_t)n);
            s.cur += n;
            return n;
        }
        if (flush_buf(s) != 0) return -1;
        uint32_t put = 0;
        if (!g_os.write(s.handle, buf, (uint32_t)n, &put)) {
            fail(s, kWriteError);
            return -1;
        }
        if (put < (uint32_t)n) {
            fail(s, kShortError);
            return (int)put;
        }
        s.base += n;
        return n;
    }
    size_t put = g_os.fwrite(buf, 1, (size_t)n, s.file);
    if (put < (size_t)n) {
        fail(s, kShortError);
        return (int)put;
    }
    s.base += n;
    return n;
}

// The string write: 0 when the NUL is reached, 1 after 513 bytes, -1 when the
// stream is closed or a byte fails.
int put_string(wrstrm& s, const char* str) {
    if (!str) return 0;
    for (int i = 0;; i++) {
        if (str[i] == 0) return 0;
        if (s.err != 0) return -1;
        if (putc_of(s, (uint8_t)str[i]) != 0) return -1;
        if (i + 1 == 513) return 1;
    }
}

}  // namespace

// The byte write behind the inline fast path: the byte that fills the buffer
// (which is then written out), every byte of FILE mode, the closed stream.
int wr_putc_slow(wrstrm& s, int c) {
    if (s.err != 0) return -1;
    const wrmsgs& m = msgs_of(s);
    if (s.hmode) {
        *s.cur++ = (uint8_t)c;
        if (wr_fill(s) >= kBufSize && flush_buf(s) != 0) {
            if (m.src) s.base--;   // WRsrc counts a byte once it is accepted
            return -1;
        }
        return 0;
    }
    if (g_os.fputc(c & 0xFF, s.file) == EOF) {
        fail(s, m.putc_fail);
        return -1;
    }
    s.base++;
    return 0;
}

int wr_putbytes(wrstrm& s, const uint8_t* p, int64_t n) {
    if (s.err != 0) return -1;
    const wrmsgs& m = msgs_of(s);
    if (!s.hmode) {
        size_t put = n > 0 ? g_os.fwrite(p, 1, (size_t)n, s.file) : 0;
        s.base += (int64_t)put;
        if ((int64_t)put < n) {
            fail(s, m.putc_fail);
            return -1;
        }
        return 0;
    }
    while (n > 0) {
        int32_t room = kBufSize - wr_fill(s);
        int32_t k = n < room ? (int32_t)n : room;
        std::memcpy(s.cur, p, (size_t)k);
        s.cur += k;
        p += k;
        n -= k;
        if (wr_fill(s) >= kBufSize && flush_buf(s) != 0) {
            if (m.src) s.base--;   // the byte that filled the buffer was not accepted
            return -1;
        }
    }
    return 0;
}

void wr_drop(wrstrm& s) {
    if (s.err == 0) {
        if (s.hmode) g_os.close(s.handle);
        else if (s.file) g_os.fclose(s.file);
    }
    s.cur = s.lim = s.buf;
    s.base = 0;
    s.err = 0xFF;
    s.hmode = 0;
    s.failed = 0;
    s.handle = nullptr;
    s.file = nullptr;
}

void wr_forget_name() {
    kept_name[0] = 0;
    kept_have = false;
    kept_ok = false;
}

}  // namespace stream_detail

using namespace stream_detail;

namespace {

// The multi-byte writers: n bytes of v, lowest first or highest first, each
// through the byte write without looking at its result; then the error flag.
int put_n(wrstrm& s, uint64_t v, int n, bool big) {
    for (int i = 0; i < n; i++) putc_of(s, (int)(v >> (8 * (big ? n - 1 - i : i))) & 0xFF);
    return (int8_t)s.err;
}

int getpos64(const wrstrm& s, int64_t* out) {
    int64_t pos = wr_pos(s);
    if (out) *out = pos;
    return (int)(uint32_t)pos;
}

bool same_name(const char16_t* a, const char16_t* b) {
    for (int i = 0; i < kKeptCap; i++) {
        if (a[i] != b[i]) return false;
        if (a[i] == 0) return true;
    }
    return false;
}

}  // namespace

// ---- WR ----------------------------------------------------------------------------

int wferr(void) { return (int8_t)WR.err; }
int wfgetpos(void) { return (int)(uint32_t)wr_pos(WR); }
int wfgetpos64(int64_t* out) { return getpos64(WR, out); }
int64_t wftell64(void) {
    int64_t p = 0;
    getpos64(WR, &p);
    return p;
}
int wfclose(void) { return close_stream(WR); }
int wfexistW(const char16_t* name) { return exists_wide(WR, name, -1); }
int wfexist(const char* name) { return exists_narrow(WR, name); }

int wfopenaW(const char16_t* name) {
    int r = open_wide(WR, name, OS_OPEN_WRITE, nullptr);
    kept_ok = r == 0 && kept_have && same_name(name, kept_name);
    return r;
}

int wfopena(const char* name) {
    kept_ok = false;
    return open_narrow(WR, name, "ab+", nullptr);
}

// Creates (or empties) the file by 16-bit name and keeps the name for the
// append reopen.  A name too long to keep whole is not kept: an append then
// fails instead of reopening a cut-off name.
int wfcreateW(const char16_t* name) {
    kept_ok = false;
    if (open_wide(WR, name, OS_CREATE_WRITE, "Could not open (WR)(code=%d).\n") != 0) return -1;
    int n = 0;
    while (n < kKeptCap && name[n] != 0) n++;
    if (n < kKeptCap) {
        std::memcpy(kept_name, name, (size_t)(n + 1) * sizeof(char16_t));
        kept_have = kept_ok = true;
    } else {
        kept_name[0] = 0;
        kept_have = false;
    }
    return 0;
}

int wfcreate(const char* name) {
    kept_ok = false;
    return open_narrow(WR, name, "wb", &kWR);
}

// The file's size on disk (bytes still in the buffer not counted), low 32
// bits, with trace lines of the file pointer and the size.  The pointer is
// only asked for, never moved.  -1 on a closed stream or a refused query.
int wfgetfptr(void) {
    if (WR.err != 0) return -1;
    if (!WR.hmode) {
        int64_t at = WR.file ? g_os.ftell64(WR.file) : -1;
        return at < 0 ? -1 : (int)(uint32_t)at;
    }
    int64_t fp = 0;
    if (!g_os.seek(WR.handle, 0, OS_SEEK_CURRENT, &fp)) {
        std::printf("Failed in seek in wfgetfptr. \n");
        return -1;
    }
    std::printf(" FP:%08X:%08X \n", (unsigned)((uint64_t)fp >> 32), (unsigned)(uint32_t)fp);
    int64_t size = 0;
    if (!g_os.size(WR.handle, &size)) return -1;
    std::printf(" FS:%08X:%08X \n", (unsigned)((uint64_t)size >> 32), (unsigned)(uint32_t)size);
    return (int)(uint32_t)size;
}

// Writes out and closes WR, reopens the file it created by 16-bit name and
// goes on writing at its end.  0; -1 when WR's file was not created by
// wfcreateW, when something written to it was lost (appending would leave a
// hole) or when the reopen fails; -2 when the move to the end is refused.
int wfappendopen(void) {
    wrstrm& s = WR;
    if (s.err == 0 && s.hmode) {
        flush_buf(s);
        int64_t size = 0;
        if (s.handle && g_os.size(s.handle, &size))
            std::printf(" FP:%08X:%08X \n", (unsigned)((uint64_t)size >> 32), (unsigned)(uint32_t)size);
    }
    close_file(s);
    if (s.failed || !kept_ok) return -1;
    g_os.sleep_ms(0);
    os_file h = g_os.openW(kept_name, OS_OPEN_WRITE);
    if (!h) return -1;
    return append_at_end(s, h, "Failed in seek in wfappendopen. \n");
}

int wfflush(void) { return flush_buf(WR); }
int wfputw(int v) { return put_n(WR, (uint64_t)v, 2, false); }
int wfputwbe(int v) { return put_n(WR, (uint64_t)v, 2, true); }
int wfputdw(uint32_t v) { return put_n(WR, v, 4, false); }
int wfputdwbe(uint32_t v) { return put_n(WR, v, 4, true); }
int wfputqw(uint64_t v) { return put_n(WR, v, 8, false); }
int wfputfl(float f) { return put_n(WR, std::bit_cast<uint32_t>(f), 4, false); }
int wfputflbe(float f) { return put_n(WR, std::bit_cast<uint32_t>(f), 4, true); }
int wfputs(const char* s) { return put_string(WR, s); }
int wfwrite(const uint8_t* buf, int n) { return write_block(WR, buf, n); }

int wfputzeros(uint64_t n) {
    static const uint8_t zero[4096] = {};
    while (n > 0) {
        int k = n < sizeof zero ? (int)n : (int)sizeof zero;
        if (write_block(WR, zero, k) != k) return -1;
        n -= (uint64_t)k;
    }
    return (int8_t)WR.err == 0 ? 0 : -1;
}

// ---- WRsrc -------------------------------------------------------------------------

int wsferr(void) { return (int8_t)WRsrc.err; }
int wsfgetpos(void) { return (int)(uint32_t)wr_pos(WRsrc); }
int wsfgetpos64(int64_t* out) { return getpos64(WRsrc, out); }
int wsfclose(void) { return close_stream(WRsrc); }
int wsfflush(void) { return flush_buf(WRsrc); }
int wsfputs(const char* s) { return put_string(WRsrc, s); }
int wsfwrite(const uint8_t* buf, int n) { return write_block(WRsrc, buf, n); }
int wsfexistW(const char16_t* name) { return exists_wide(WRsrc, name, 1); }
int wsfexist(const char* name) { return exists_narrow(WRsrc, name); }
int wsfopenaW(const char16_t* name) { return open_wide(WRsrc, name, OS_OPEN_WRITE, nullptr); }
int wsfopena(const char* name) { return open_narrow(WRsrc, name, "ab", nullptr); }
int wsfcreateqW(const char16_t* name) { return open_wide(WRsrc, name, OS_CREATE_WRITE, nullptr); }
int wsfcreate(const char* name) { return open_narrow(WRsrc, name, "wb", &kWRsrc); }

int wsfappendopenW(const char16_t* name) {
    close_stream(WRsrc);
    WRsrc.failed = 0;
    os_file h = g_os.openW(name, OS_OPEN_WRITE);
    if (!h) return -1;
    return append_at_end(WRsrc, h, "Failed in seek in wsfappendopenW. \n");
}

int wsfappendopen(const char* name) { return open_narrow(WRsrc, name, "ab", &kWRsrc); }
int wsfputc(int c) { return putc_of(WRsrc, c); }
int wsfputw(int v) { return put_n(WRsrc, (uint64_t)v, 2, false); }
int wsfputwbe(int v) { return put_n(WRsrc, (uint64_t)v, 2, true); }
int wsfputdw(uint32_t v) { return put_n(WRsrc, v, 4, false); }
int wsfputdwbe(uint32_t v) { return put_n(WRsrc, v, 4, true); }
