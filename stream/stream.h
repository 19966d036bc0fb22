// stream.h - the process-wide file streams, the text reader and the key poll.
//
// There are no stream handles: each stream is one global record, and every
// operation's name says which stream it works on.
//   RD     read stream, prefix rf    (images, scanners, the toolkit)
//   RD2    read stream, prefix rwf   (the sound while a movie is written)
//   WR     write stream, prefix wf   (every file the system writes)
//   WRsrc  write stream, prefix wsf  (a second writer of the same kind)
//   txstrm text reader, prefix tf    (list.txt and the parsers)
// A trailing W marks the twin that takes a 16-bit (UTF-16) file name and works
// through a system handle with its own 8192-byte buffer; the 8-bit twin works
// through the C runtime's FILE.  RD also reads from a source of bytes that is
// not a file (rfopensrc, below), through the same buffer as a handle.
//
// Results are int: 0 done, -1 a file that cannot be opened or the end of
// data, -2 a refused seek; the yes/no tests answer -1 for yes, 0 for no (the
// text reader's checks answer 0 when the file opens).  A stream closes itself
// at the end of data, after a failed read and after a failed or short write,
// and its flag tells the caller, who tests it once after a run of calls.
// A write stream's close (wfclose, wsfclose) answers -1 when anything written
// since the open was lost, the final write-out included, so a writer tests
// it once more at the end.
//
// One thread: none of this is reentrant, and a caller owns a stream from its
// open to its close.

#ifndef REELKILN_STREAM_H
#define REELKILN_STREAM_H

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

// ---- Byte order, in one place ------------------------------------------------

inline uint16_t get_le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t get_le32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint32_t get_be32(const uint8_t* p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}
inline void put_le16(uint8_t* p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
inline void put_le32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24);
}
inline void put_be32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24); p[1] = (uint8_t)(v >> 16); p[2] = (uint8_t)(v >> 8); p[3] = (uint8_t)v;
}

// ---- Read sources --------------------------------------------------------------
//
// Bytes that are not one file (a file planned from pieces of others, memory)
// read through RD as a file would be: a context, a length and a positional
// read.  pread(ctx, pos, buf, n) reads the n bytes at pos into buf (RD never
// asks for bytes at or past length) and returns how many it read; fewer than
// asked, or a negative count, is a failed read (a source file that shrank, a
// failing disk under it), which RD reports through rferror and never as the
// end of the data.  The source is copied at the open; what ctx points to must
// outlive the stream's use of it.  Nothing process-wide changes while a
// source is read, and two sources never share state unless their contexts do.
struct rdsource {
    void* ctx;
    int64_t length;
    int64_t (*pread)(void* ctx, int64_t pos, void* buf, int64_t n);
};

// ---- The records (not for callers) ---------------------------------------------
//
// The records are visible here only so that rfgetc and wfputc can take their
// fast path inline; every other use goes through the functions below.
namespace stream_detail {

enum : int32_t { kBufSize = 8192, kCopySize = 4096 };

// A read stream (RD, RD2).  Handle mode and source mode (smode, which also
// sets hmode) read through buf; FILE mode leaves
// the buffering to the runtime (rtbuf is handed to it by the messaging open)
// and keeps cur = end = buf, so the inline fast path never fires there.  A
// closed stream has cur = end = buf, a null handle and a null file.  The
// position (the file offset of the next byte delivered) is base + (cur - buf),
// so that a byte read moves one pointer and nothing else.
// A record made without an initializer is a closed stream, as RD and RD2 are
// at the start (its buffers are left as they come).  It points into itself,
// so it is never copied.
struct rdstrm {
    const uint8_t* cur = buf;  // next unread byte in buf
    const uint8_t* end = buf;  // end of the valid bytes; buf <= cur <= end
    int64_t base = 0;          // file offset of buf[0]
    uint8_t eof = 0xFF;        // 0 open, 0xFF closed
    uint8_t hmode = 0;         // 0xFF handle mode, 0 FILE mode
    uint8_t failed = 0;        // 0xFF once a read of the file failed since the open (not the end)
    os_file handle = nullptr;
    FILE* file = nullptr;
    uint8_t buf[kBufSize];
    char rtbuf[kBufSize];
    uint8_t copybuf[kCopySize];  // the copies to WR
    uint8_t smode = 0;         // 0xFF source mode (with hmode 0xFF), else 0
    rdsource src = {};         // source mode: what is read
};

// A write stream (WR, WRsrc).  lim is buf + kBufSize - 1 while the stream is
// open in handle mode and buf otherwise: below it a byte just goes into buf;
// the byte that fills buf, FILE mode and a closed stream take the out-of-line
// path.  The bytes waiting in buf are buf..cur, and the position (the bytes
// accepted since the open) is base + (cur - buf).
struct wrstrm {
    uint8_t* cur;              // where the next byte goes in buf
    uint8_t* lim;
    int64_t base;              // the position when buf was last empty
    uint8_t err;               // 0 open, 0xFF closed or failed
    uint8_t hmode;
    uint8_t failed;            // 0xFF once a write failed since the last open
    os_file handle;
    FILE* file;
    uint8_t buf[kBufSize];
    char rtbuf[kBufSize];
};

extern rdstrm RD, RD2;
extern wrstrm WR, WRsrc;

int rd_getc_slow(rdstrm& s);           // refill, FILE mode, end and closed stream
int wr_putc_slow(wrstrm& s, int c);    // the byte that fills buf, FILE mode, closed

}  // namespace stream_detail

// ---- RD --------------------------------------------------------------------------

int rfeof(void);                       // 0 open, -1 closed
// -1 when a read of the file failed since the last open (the system's read
// or the runtime's error indicator, or a move of the file pointer that the
// system refused: nothing moved, but the file is failing), 0 when every read
// delivered or met the end.  The end flag is set either way; this tells the two apart, and it
// stays after the stream closes, until the next open.
int rferror(void);
int rfgetpos(void);                    // low 32 bits of the position
int rfgetpos64(int64_t* out);          // whole position in *out; returns its low 32 bits
void* rfgetfp(void);                   // the system handle or the FILE*
int rfgetsize64(int64_t* out);         // the open file's size in *out, position kept; 1 / 0
// The length of the file of that name in *out: RD opened quietly (FILE
// mode, or handle mode by 16-bit name), measured and closed; 1 / 0.
int rflength(const char* name, int64_t* out);
int rflengthW(const char16_t* name, int64_t* out);
void rfclose(void);
int rfopenqW(const char16_t* name);    // quiet, handle mode; 0 / -1
int rfopenq(const char* name);         // quiet, FILE mode; 0 / -1
int rfopenW(const char16_t* name);     // with messages, handle mode
int rfopen(const char* name);          // with messages and an 8192-byte runtime buffer
// Prints the line that rfopen (wide 0, by name) or rfopenW (wide 0xFF, by
// error, g_os.lasterror() of the refused open) prints when its open fails:
// for a file that another thread tried to open in RD's place.
void rfopenmsg(uint8_t wide, const char* name, uint32_t error);
// Opens RD on a source (source mode): 0; -1, the stream closed, for a null
// source, one without a read or with a negative length.  Quiet.  Seeks and
// skips move within the source as in a file; the end of the source ends the
// stream as the end of a file does.
int rfopensrc(const rdsource* src);
inline int rfgetc(void) {               // 0..255, or -1 at the end
    stream_detail::rdstrm& s = stream_detail::RD;
    if (s.cur < s.end) return *s.cur++;
    return stream_detail::rd_getc_slow(s);
}
int rfbufrewind(void);                 // 0, or -2
int rfseek32(int pos);
int rfseek(uint32_t lo, int32_t* hi);
int rfseekorg(int offset, int origin); // 0, -2, -4 (from the end), -5 (bad origin)
int rfkipbytes(int n);
int rfkipbytes64(uint32_t lo, int32_t* hi);
// The position and a forward skip as one 64-bit value, for callers that
// count in 64 bits: rftell64 is rfgetpos64's *out; rfskip64 is rfkipbytes64
// of n (its text when refused), nothing and 0 for n <= 0.
int64_t rftell64(void);
int rfskip64(int64_t n);
int rfgetw(void);
int rfgetwbe(void);
int rfgetdw(void);
int rfgetdwbe(void);
int64_t rfgetqw(void);
float rfgetfl(void);
float rfgetflbe(void);
int rfread(uint8_t* buf, int n);       // bytes delivered

// ---- A read stream of one's own ---------------------------------------------------
//
// RD and RD2 belong to the program's thread.  A reader that runs beside it (a
// PNG job on a worker) keeps a record of its own, of the same type, and reads
// it through these with RD's buffering and rules: the end and a failed read
// close it, rserror tells them apart until the next open.  Every open and
// move is quiet.  Nothing in one record is shared with another, so records
// on different threads need no lock.  A record is about 24 KiB: keep it off a
// worker's stack.
using rdstream = stream_detail::rdstrm;

int rsopenq(rdstream& s, const char* name);        // FILE mode, quiet, buffered as rfopen's; 0 / -1
// Handle mode, as rfopenqW; shared: reading is shared with other opens of
// the file (a list may name one frame many times, and two workers may read
// it at once).  0 / -1; g_os.lasterror() tells why.
int rsopenqW(rdstream& s, const char16_t* name, int shared);
void rsclose(rdstream& s);
int rseof(const rdstream& s);                      // as rfeof
int rserror(const rdstream& s);                    // as rferror
inline int rsgetc(rdstream& s) {                   // as rfgetc
    if (s.cur < s.end) return *s.cur++;
    return stream_detail::rd_getc_slow(s);
}
int rsread(rdstream& s, uint8_t* buf, int n);      // as rfread
int rsseek(rdstream& s, int64_t pos);              // as rfseek to pos: 0, or -2
int rsgetsize64(rdstream& s, int64_t* out);        // as rfgetsize64

// ---- RD2 -------------------------------------------------------------------------

int rwfeof(void);
int rwferror(void);                    // as rferror, for RD2
int rwfgetpos(void);
int rwfgetpos64(int64_t* out);
void rwfclose(void);
int rwfopenqW(const char16_t* name);
int rwfopenq(const char* name);
int rwfopenW(const char16_t* name);
int rwfopen(const char* name);
inline int rwfgetc(void) {
    stream_detail::rdstrm& s = stream_detail::RD2;
    if (s.cur < s.end) return *s.cur++;
    return stream_detail::rd_getc_slow(s);
}
int rwfbufrewind(void);
int rwfseek32(int pos);
int rwfseek(uint32_t lo, int32_t* hi);
int rwfkipbytes(int n);
int rwfkipbytes64(uint32_t lo, int32_t* hi);
int64_t rwftell64(void);               // as rftell64 and rfskip64, for RD2
int rwfskip64(int64_t n);
int rwfgetw(void);
int rwfgetwbe(void);
int rwfgetdw(void);
int rwfgetdwbe(void);
int rwfread(uint8_t* buf, int n);
int rwfexistW(const char16_t* name);   // -1 exists (opens for reading), 0 not
int rwfexist(const char* name);

// ---- WR --------------------------------------------------------------------------

int wferr(void);                       // 0 open, -1 closed or failed
int wfgetpos(void);
int wfgetpos64(int64_t* out);
int64_t wftell64(void);                // wfgetpos64's *out
int wfclose(void);                     // 0, or -1 when data written since the open was lost
int wfexistW(const char16_t* name);
int wfexist(const char* name);
int wfopenaW(const char16_t* name);    // keeps the contents, writes from offset 0
int wfopena(const char* name);         // fopen "ab+"
int wfcreateW(const char16_t* name);   // creates or empties; keeps the name
int wfcreate(const char* name);
int wfgetfptr(void);
int wfappendopen(void);
inline int wfputc(int c) {              // 0 accepted, -1 failed or closed
    stream_detail::wrstrm& s = stream_detail::WR;
    if (s.cur < s.lim) { *s.cur++ = (uint8_t)c; return 0; }
    return stream_detail::wr_putc_slow(s, c);
}
int wfflush(void);
int wfputw(int v);
int wfputwbe(int v);
int wfputdw(uint32_t v);
int wfputdwbe(uint32_t v);
int wfputqw(uint64_t v);
int wfputfl(float f);
int wfputflbe(float f);
int wfputs(const char* s);             // 0 whole string, 1 after 513 bytes, -1 closed
int wfwrite(const uint8_t* buf, int n);
int wfputzeros(uint64_t n);            // n zero bytes in blocks: 0, or -1 when WR failed

// The zero fill that ends every AVI file the system writes: the bytes from
// end up to the next multiple of 512, 1 to 512 (an end already on a multiple
// gets a whole 512).
inline uint64_t pad512(uint64_t end) { return ((end | 0x1FF) + 1) - end; }

// Copies from a read stream to WR: the count written, -1 on failure.
int rfcopytowf(int n);
int rfcopyalltowf(void);
int rwfcopytowf(int n);
int rwfcopyalltowf(void);

// ---- WRsrc -----------------------------------------------------------------------

int wsferr(void);
int wsfgetpos(void);
int wsfgetpos64(int64_t* out);
int wsfclose(void);
int wsfflush(void);
int wsfputs(const char* s);
int wsfwrite(const uint8_t* buf, int n);
int wsfexistW(const char16_t* name);
int wsfexist(const char* name);
int wsfopenaW(const char16_t* name);
int wsfopena(const char* name);
int wsfcreateqW(const char16_t* name);
int wsfcreate(const char* name);
int wsfappendopenW(const char16_t* name);
int wsfappendopen(const char* name);
int wsfputc(int c);
int wsfputw(int v);
int wsfputwbe(int v);
int wsfputdw(uint32_t v);
int wsfputdwbe(uint32_t v);

// ---- Text reader -------------------------------------------------------------------

int tfopenW(const char16_t* name);
int tfopen(const char* name);
int tfgetc(void);                      // the lookahead, then the next is loaded; -1 at the end
int tfpeek(void);
int tfgetline(void);                   // current line, from 1
int tfeof(void);
int tferror(void);                     // -1 when a read failed since the open (not the end), else 0
int tfgetcount(void);
void tfclose(void);
int tfcheckW(const char16_t* name);    // 0 opens, -1 not; the reader stays closed
int tfcheck(const char* name);
int tfskipline(void);
int tfresync(void);

// ---- Parsers --------------------------------------------------------------------------
//
// Token and parameter readers on the text reader (parse.cpp): each looks at
// the lookahead, takes what belongs to its token and leaves the first
// character that does not unread.  Character classes answer -1 for a member
// and 0 otherwise; the end of the file (-1) belongs to none.
//
// Kept as designed: tfgetfloat collects at most 120 characters, so digits
// past that stay unread and become the next value; a number token that
// starts with no digit stores 0 and returns 0; tfgetprm12p turns a missing
// or 0.0 second value into a copy of the first.

int issep(int c);                      // ' ' ',' TAB CR LF ^Z '=' ';' ':' '"'
int issepnq(int c);                    // issep without '"'
int isspc(int c);                      // ' ' TAB CR LF ^Z
int isstrend(int c);                   // isspc, ';' and '"': the end of a bare string
int ishexch(int c);                    // 0-9 A-F a-f
int hexchval(int c);                   // 0-15; 0 for any other character

int tfskipsep(void);                   // each skips its class and returns 0
int tfskipsepnq(void);
int tfskipspc(void);
int tfskiplower(void);                 // 'a'-'z'

// Optional '+', then optional '-', then digits: 0 stored; -1 the file ended
// before a digit; -2 too large (message printed, nothing stored).  No digit
// at all stores 0 and returns 0.  tfgetint and tfgethex take at most 5
// digits; tfgetlong 10, and no magnitude beyond 32-bit int.
int tfgetint(int* out);                // "Integer too Large.\n"
int tfgetlong(int* out);               // "Integer(long) too Large.\n"
int tfgethex(int* out);                // "Hex value too Large.\n"
int tfgetfloat(float* out);            // 0 stored, -1 no digit; at most 120 characters

// One quoted or bare token into buf (size bytes with the NUL): the bytes
// stored plus 1, or -1 when it does not fit (the part that fits is kept).
int tfgetstr(char* buf, int size);
// The rest of the line, at most size - 2 bytes and two NULs; the line ends
// after it are taken.  The bytes copied; 0 (buf untouched) when size < 3.
int tfgetlinestr(char* buf, int size);

// Parameter lists.  A trailing '%' multiplies a value by 0.01 where shown;
// otherwise it is divided by divisor (the "d" readers) or kept as read.
// Missing values print "\nNo parameter found. <line %d>\n" (the first) or
// "\n2nd parameter not found. <line %d>\n" (the second of a pair) with the
// current line, except in the quiet readers.
int tfgetprm2d(float* out, float divisor);  // (a, b): '%' or divisor; 0 / -1
int tfgetprm1p(float* out);                 // (a): '%'; 0 / -1
int tfgetprm12p(float* out);                // (a [, b]): '%'; a missing or 0.0 b becomes a
int tfgetprm4d(float* out, float divisor);  // up to 4, no parentheses; the count, the rest 0.0
int tfgetprm4dq(float* out, float divisor); // the same, quiet
int tfgetprm2(float* out);                  // (a, b) as read; 0 / -1
int tfgetprm1(float* out);                  // (a) as read; 0 / -1
int tfgetprm1q(float* out);                 // the same, quiet

// Numeric helpers.
float sindummy(void);                  // (float)sin(1.0)
uint32_t hidword(uint64_t v);
uint32_t lodword(uint64_t v);
int ffloor(float x);                   // floor to int, saturated; NaN gives INT_MIN

// ---- Key poll ------------------------------------------------------------------------

int setlastkey(int key);               // returns the previous value
int getlastkey(void);                  // returns and clears the latch
int keypoll(void);                     // pumps messages, takes one console event; returns lastkey
// stopkey: keypoll, then Ctrl-C (3) or ESC (27) when the latch holds one,
// else 0; any other key is taken and dropped.  The poll of every long loop
// that those two keys stop.
int stopkey(void);

// ---- Tests -------------------------------------------------------------------------------

// Puts every stream, the text reader and the latch back in their start state
// (closed, flags set), closing what is open.  For test fixtures.
void stream_reset(void);

#endif
