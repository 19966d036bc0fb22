// textreader.cpp - the text reader txstrm: one text file at a time, one
// character of lookahead, a line count.
//
// Handle mode (tfopenW) reads through its own 8192-byte buffer; FILE mode
// (tfopen) takes bytes with fgetc and the runtime's default buffering.  The
// reader registers tfclose with atexit once per process, so a file left open
// is closed at exit.
//
// The lookahead is -1 until a file is opened, and a reader that is closed
// never touches a file again: a character still held in the lookahead is
// handed out once, then the reader answers -1.

#include <cstdio>
#include <cstdlib>

#include "stream/stream.h"
#include "stream/stream_internal.h"

namespace {

struct txstrm {
    uint8_t eof;       // 0xFF at start and once tfgetc met the end; 0 after an open
    uint8_t open;      // 0xFF while a file is open
    uint8_t hmode;     // 0xFF handle mode, 0 FILE mode
    uint8_t failed;    // 0xFF once a read failed since the open (not the end)
    int32_t fill;      // valid bytes in buf (handle mode)
    int32_t index;     // next unread byte in buf
    int32_t count;     // characters taken into the lookahead since the open
    os_file handle;
    FILE* file;
    int32_t lookahead; // the next character 0..255, or -1 at the end
    int32_t line;      // LF characters returned since the open
    uint8_t buf[stream_detail::kBufSize];
};

txstrm TX = {0xFF, 0, 0, 0, 0, 0, 0, nullptr, nullptr, -1, 0, {}};
bool exit_registered = false;   // never cleared: one registration per process

void register_exit() {
    if (!exit_registered) {
        std::atexit(tfclose);
        exit_registered = true;
    }
}

// Fills the buffer and returns its first byte, or -1 when the read fails or
// the file has ended.
int refill() {
    uint32_t got = 0;
    TX.fill = TX.index = 0;
    if (!g_os.read(TX.handle, TX.buf, stream_detail::kBufSize, &got)) {
        TX.failed = 0xFF;
        return -1;
    }
    if (got == 0) return -1;
    TX.fill = (int32_t)got;
    TX.index = 1;
    return TX.buf[0];
}

// The next byte of FILE mode, or -1 at the end or after a failed read
// (noted, from the runtime's error indicator).
int nextbyte() {
    int n = g_os.fgetc(TX.file);
    if (n != EOF) return n;
    if (g_os.ferror(TX.file)) TX.failed = 0xFF;
    return -1;
}

}  // namespace

namespace stream_detail {
void tx_reset() {
    TX.failed = 0;
    tfclose();
    TX.eof = 0xFF;
    TX.hmode = 0;
    TX.fill = TX.index = TX.count = 0;
    TX.lookahead = -1;
    TX.line = 0;
}
}  // namespace stream_detail

// Opens the file by 16-bit name (handle mode) and loads its first character
// into the lookahead.  0, or -1 when it cannot be opened (the reader is then
// closed).  The count starts at 1 here, as the first load counts.
int tfopenW(const char16_t* name) {
    if (TX.open) tfclose();
    TX.failed = 0;
    os_file h = g_os.openW(name, OS_OPEN_READ);
    if (!h) return -1;
    TX.handle = h;
    TX.file = nullptr;
    TX.hmode = 0xFF;
    TX.fill = TX.index = 0;
    TX.open = 0xFF;
    register_exit();
    TX.eof = 0;
    TX.count = 0;
    TX.lookahead = refill();
    TX.count++;
    TX.line = 0;
    return 0;
}

// Opens the file by 8-bit name (FILE mode, "rb").  0 / -1.  The count stays 0
// here: the first load is not counted.
int tfopen(const char* name) {
    if (TX.open) tfclose();
    TX.failed = 0;
    FILE* f = g_os.fopen(name, "rb");
    if (!f) return -1;
    TX.file = f;
    TX.handle = nullptr;
    TX.open = 0xFF;
    register_exit();
    TX.hmode = 0;
    TX.fill = TX.index = 0;
    TX.eof = 0;
    TX.count = 0;
    TX.lookahead = nextbyte();
    TX.line = 0;
    return 0;
}

// Returns the lookahead (0..255) and loads the next character; -1 at the end,
// which also sets the end flag.
int tfgetc(void) {
    int c = TX.lookahead;
    if (c == -1) {
        TX.eof = 0xFF;
        return -1;
    }
    if (!TX.open) TX.lookahead = -1;
    else if (TX.hmode) TX.lookahead = TX.index < TX.fill ? TX.buf[TX.index++] : refill();
    else TX.lookahead = nextbyte();
    TX.count++;
    if (c == 10) TX.line++;
    return c;
}

int tfpeek(void) { return TX.lookahead; }
int tfgetline(void) { return TX.line + 1; }
int tfeof(void) { return (int8_t)TX.eof; }
int tferror(void) { return (int8_t)TX.failed; }
int tfgetcount(void) { return TX.count; }

// Closes an open file; the lookahead, the end flag, the count and the line
// stay as they are.  Also the exit handler.
void tfclose(void) {
    if (TX.open) {
        if (TX.hmode) g_os.close(TX.handle);
        else g_os.fclose(TX.file);
    }
    TX.handle = nullptr;
    TX.file = nullptr;
    TX.fill = TX.index = 0;
    TX.open = 0;
}

// Closes the reader, clears the end flag and the count, then tests whether
// the file opens for reading: 0 yes, -1 no.  The reader stays closed.
int tfcheckW(const char16_t* name) {
    tfclose();
    TX.eof = 0;
    TX.count = 0;
    os_file h = g_os.openW(name, OS_OPEN_READ);
    if (!h) return -1;
    g_os.close(h);
    return 0;
}

int tfcheck(const char* name) {
    tfclose();
    TX.eof = 0;
    TX.count = 0;
    FILE* f = g_os.fopen(name, "rb");
    if (!f) return -1;
    g_os.fclose(f);
    return 0;
}

// Consumes characters up to and including the first CR, LF or Ctrl-Z.  0, or
// -1 when the file ends first.  A CR LF pair leaves its LF as the lookahead.
int tfskipline(void) {
    for (;;) {
        int c = TX.lookahead;
        if (c == 13 || c == 10 || c == 26) {
            tfgetc();
            return 0;
        }
        if (tfgetc() == -1) return -1;
    }
}

// Handle mode: puts the system's file pointer right behind the lookahead
// character, as if the file had been read one byte at a time, and empties the
// buffer.  0 (also at once in FILE mode or when nothing is buffered), or -2
// when the system refuses the move or the reader is closed; nothing changes
// then.  The count is left as it is: the reloaded lookahead is the character
// that was already counted.
int tfresync(void) {
    if (!TX.hmode) return 0;
    if (!TX.open) return -2;
    int64_t unread = TX.fill - TX.index;
    if (unread == 0) return 0;
    if (!g_os.seek(TX.handle, -(unread + 1), OS_SEEK_CURRENT, nullptr)) return -2;
    TX.eof = 0;
    TX.fill = TX.index = 0;
    uint8_t b = 0;
    uint32_t got = 0;
    TX.lookahead = g_os.read(TX.handle, &b, 1, &got) && got == 1 ? b : -1;
    return 0;
}
