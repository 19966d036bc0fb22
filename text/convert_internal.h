// convert_internal.h - pieces of the converters shared within text/; not for
// callers outside the folder.
//
// The whole-file checks and converters (filecvt.cpp) decode the same way as
// the in-memory converters of convert.h; these are the parts they share: the
// CP932 compatibility mappings, the UTF-8 encoder, and the two decoding
// walkers, written over a byte source so that a 0-ended string and a file
// read through the text reader go through the same decisions.
//
// A byte source has two members: more(), false at the end of the data (the
// terminating 0 of a string, the end of a file, where a 0 byte is a byte),
// and take(), which returns the next byte and moves past it; take() is
// called only after more() said yes.

#ifndef REELKILN_TEXT_CONVERT_INTERNAL_H
#define REELKILN_TEXT_CONVERT_INTERNAL_H

#include <cstdint>
#include <cstdio>

#include "text/codes.h"

namespace text_detail {

// The code point that the CP932 compatibility mappings give a Shift_JIS
// code (0x815C -> U+2015, 0x8790 -> U+2252, ...), 0 for a code they do not
// list.  Only the 18 two-way pairs decode.
int compat_sjis2uni(int code);

// The Shift_JIS code that the mappings give a code point (U+301C and
// U+FF5E -> 0x8160, ...), 0 for a code point they do not list.
int compat_uni2sjis(int cp);

// Writes cp (up to 0x1FFFFF) in the shortest UTF-8 form at d: one byte below
// 0x80, two below 0x800, three below 0x10000, else four.  Surrogate values
// are encoded like any other.  Returns the bytes written; writes no
// terminator.
int put_utf8(uint8_t* d, uint32_t cp);

// A 0-ended string as a byte source.
struct MemSource {
    const uint8_t* p;
    bool more() const { return *p != 0; }
    uint8_t take() { return *p++; }
};

// ---- The UTF-8 walker --------------------------------------------------------------
//
// A lead 0xC0-0xDF needs one continuation byte, 0xE0-0xEF two, 0xF0-0xF7
// three.  A needed byte is taken while the source has one; the end of the
// source (not taken past) or a byte outside 0x80-0xBF (taken, and lost with
// the sequence) makes the sequence malformed.  A byte 0x80-0xBF in first
// position, or 0xF8-0xFF, is malformed by itself.  No test for overlong
// forms, surrogate values or values above U+10FFFF.

// One sequence as it was read.
struct Utf8Seq {
    uint32_t cp;     // the value, when ok
    int len;         // bytes the form needs: 1-4 (1 for a byte malformed by itself)
    int got;         // bytes taken from the source, b[0..got)
    bool ok;
    uint8_t b[4];
};

// Reads one sequence; the source must have a byte.
template <class Src>
void utf8_read(Src& src, Utf8Seq* q) {
    uint8_t b = src.take();
    q->b[0] = b;
    q->got = 1;
    q->len = 1;
    q->ok = false;
    if (b < 0x80) {
        q->cp = b;
        q->ok = true;
        return;
    }
    if (b < 0xC0 || b >= 0xF8) return;
    uint32_t v;
    if (b < 0xE0) q->len = 2, v = b & 0x1F;
    else if (b < 0xF0) q->len = 3, v = b & 0x0F;
    else q->len = 4, v = b & 0x07;
    while (q->got < q->len) {
        if (!src.more()) return;
        uint8_t c = src.take();
        q->b[q->got++] = c;
        if ((c & 0xC0) != 0x80) return;
        v = (v << 6) | (c & 0x3F);
    }
    q->cp = v;
    q->ok = true;
}

// The walk with its status: the first malformed sequence turns the status
// to 0 and is skipped, the second ends the walk.
template <class Src>
struct Utf8Walk {
    Src src;
    uint8_t status = 7;
    bool malformed = false;  // one malformed sequence seen already

    // The next well-formed character into *q: true, or false at the end of
    // the source or at the second malformed sequence.  bad(q) sees every
    // malformed sequence before it is counted.
    template <class Bad>
    bool next(Utf8Seq* q, Bad bad) {
        while (src.more()) {
            utf8_read(src, q);
            if (q->ok) return true;
            bad(*q);
            if (malformed) return false;
            malformed = true;
            status = 0;
        }
        return false;
    }
    bool next(Utf8Seq* q) {
        return next(q, [](const Utf8Seq&) {});
    }
};

// ---- The Shift_JIS walker -------------------------------------------------------------
//
// Reads Shift_JIS bytes and hands each character to a sink; returns the
// Shift_JIS status (see convert.h).  The sink's members:
//   single(b, cp)    a byte 0x00-0x7F (cp = b) or 0xA0-0xDF (cp from the
//                    single-byte table; 0xA0 keeps its own value)
//   dbcs(cp, code)   a double-byte code with lead 0x81-0x9F (through the
//                    compatibility mappings, then the table) or 0xE0-0xFC
//                    (the table only); cp is 0 when it has no mapping
//   first80(code)    a code with lead 0x80, which has no mapping
//   upper(b)         a byte 0xFD-0xFF, which has no character
//   low_trail()      after dbcs, when the trail is below 0x40 (the walker
//                    prints the message)
//   stopped()        true ends the walk before the next byte
// SjisSink gives the members a sink has nothing to do in.

struct SjisSink {
    void upper(uint8_t) {}
    void low_trail() {}
    bool stopped() const { return false; }
};

template <class Src, class Sink>
int sjis_walk(Src& src, Sink& sink) {
    int st = 7;
    while (!sink.stopped() && src.more()) {
        uint8_t b = src.take();
        if (b < 0x80) {
            sink.single(b, (int)b);
            continue;
        }
        if (b >= 0xA0 && b <= 0xDF) {
            int cp = sjis2uni(b);
            sink.single(b, cp ? cp : (int)b);
            continue;
        }
        if (b >= 0xFD) {
            st |= 8;
            sink.upper(b);
            continue;
        }
        // A lead byte: 0x80-0x9F or 0xE0-0xFC.
        if (!src.more()) {
            st &= 3;
            break;
        }
        uint8_t t = src.take();
        int code = b * 256 + t;
        if (b == 0x80) {
            sink.first80(code);
            st &= 2;
            continue;
        }
        int cp;
        if (b <= 0x9F) {
            cp = compat_sjis2uni(code);
            if (cp == 0) cp = sjis2uni(code);
        } else {
            cp = sjis2uni(code);
            st |= 8;
        }
        sink.dbcs(cp, code);
        if (t < 0x40) {
            printf("[%02X %02X(x)](2nd byte==0x00-3F) ", b, t);
            sink.low_trail();
            st &= 1;
        }
    }
    return st;
}

}  // namespace text_detail

#endif
