// filecvt.cpp - the whole-file checks, the two file converters and the
// escape reader (see filecvt.h).
//
// Division: the file as a byte source, opening, the output with its
// failure; checks; UTF-8 to Shift_JIS; Shift_JIS to UTF-8; the escape
// reader.
//
// The decisions of the walks are the in-memory converters' own
// (convert_internal.h); what is added here is where the characters go (WR),
// the traces, and the care for the files.

#include "text/filecvt.h"

#include <cstdio>
#include <cstring>

#include "stream/stream.h"
#include "text/codes.h"
#include "text/convert_internal.h"

using text_detail::SjisSink;
using text_detail::Utf8Seq;
using text_detail::Utf8Walk;

int ctnoutf = 0, ctsecond003F = 0, ctfirst80 = 0;

namespace {

// ---- The file as a byte source --------------------------------------------------------

// The text reader's file: the end is the lookahead -1, and a 0 byte is a
// byte like any other.
struct TextSource {
    bool more() const { return tfpeek() != -1; }
    uint8_t take() { return (uint8_t)tfgetc(); }
};

const char* or_empty(const char* s) { return s ? s : ""; }

// Opens a check's input by the name the flag selects; false (with the
// message) when it does not open.
bool open_checked(const char* name, const char16_t* nameW, uint8_t wide) {
    if (wide ? tfopenW(nameW ? nameW : u"") : tfopen(or_empty(name))) {
        if (wide) printf("Cannot open (RDs). \n");
        else printf("Cannot open %s .\n", or_empty(name));
        return false;
    }
    return true;
}

// ---- The output ------------------------------------------------------------------------------

// WR as the converters write it: every write is followed by a look at the
// stream's flag, so that the walk stops at the first loss.
struct Output {
    bool failed = false;
    void put(uint8_t b) {
        wfputc(b);
        failed = failed || wferr() != 0;
    }
    void put_text(const char* s) {
        wfputs(s);
        failed = failed || wferr() != 0;
    }
    void put_cp(uint32_t cp) {
        uint8_t u[4];
        int n = text_detail::put_utf8(u, cp);
        for (int i = 0; i < n; i++) put(u[i]);
    }
    // A Shift_JIS code: one byte below 256, else lead then trail.
    void put_sjis(int code) {
        if (code >= 256) put((uint8_t)(code >> 8));
        put((uint8_t)code);
    }
};

// Opens the converter's input and then its output.  The output is refused
// when it names the input file itself (another spelling, a hard link):
// creating it would empty the input after the reader's first buffer.  false
// (with the message, the input closed) on any failure.
bool open_pair(const char* outname, const char* inname) {
    if (tfopen(or_empty(inname)) != 0) {
        printf("Cannot open (RD) %s .\n", or_empty(inname));
        return false;
    }
    if (g_os.same_file(or_empty(outname), or_empty(inname)) || wfcreate(or_empty(outname)) != 0) {
        printf("Cannot open (WR) %s .\n", or_empty(outname));
        tfclose();
        return false;
    }
    return true;
}

// Closes both files.  true when the output holds everything written;
// otherwise the partial output is removed and reported in place of the
// closing "done.\n".
bool close_pair(const Output& out, const char* outname) {
    bool lost = wfclose() != 0 || out.failed;
    tfclose();
    if (lost) {
        g_os.remove(or_empty(outname));
        printf("Cannot write (WR) %s .\n", or_empty(outname));
        return false;
    }
    printf("done.\n");
    return true;
}

// ---- UTF-8 to Shift_JIS ------------------------------------------------------------------------

// The trace of a malformed sequence: the bytes that were read, the failing
// one marked "(x)".  A three- or four-byte form prints one group for each
// stage it reached, longest first.
void trace_malformed(const Utf8Seq& q) {
    const uint8_t* b = q.b;
    if (b[0] < 0xC0 || b[0] >= 0xF8) {
        printf("%02X(x) ", b[0]);
    } else if (b[0] < 0xE0) {
        if (q.got == 2) printf("%02X %02X(x) ", b[0], b[1]);
    } else if (b[0] < 0xF0) {
        if (q.got == 3) printf("[%02X %02X %02X(x)] ", b[0], b[1], b[2]);
        if (q.got >= 2) printf("[%02X %02X(x) -- ] ", b[0], b[1]);
    } else {
        if (q.got == 4) printf("[%02X %02X %02X %02X(x)] ", b[0], b[1], b[2], b[3]);
        if (q.got >= 3) printf("[%02X %02X %02X(x) -- ] ", b[0], b[1], b[2]);
        if (q.got >= 2) printf("[%02X %02X(x) -- -- ] ", b[0], b[1]);
        printf("%02X(x) ", b[0]);
    }
}

// The marker for a character without a Shift_JIS code.  Values reach
// 0x1FFFFF, so "<<<uni1FFFFF>>>" and its NUL take 16 bytes at most.
void put_uni_marker(Output& out, uint32_t cp) {
    char m[16];
    snprintf(m, sizeof m, "<<<uni%06X>>>", (unsigned)(cp & 0x1FFFFF));
    out.put_text(m);
}

// A two- or three-byte form: its code (0 when none, then the marker), and
// the code's two bytes as characters and in hexadecimal.
void put_code(Output& out, int code, uint32_t cp) {
    if (code) out.put_sjis(code);
    else put_uni_marker(out, cp);
    int hi = (code >> 8) & 0xFF, lo = code & 0xFF;
    printf("[%c%c](%02X:%02X) ", hi, lo, hi, lo);
}

}  // namespace

// ---- Checks ------------------------------------------------------------------------------------

int chkifutf8core(const char* name, const char16_t* nameW, uint8_t wide) {
    if (!open_checked(name, nameW, wide)) return 255;
    Utf8Walk<TextSource> w{};
    Utf8Seq q;
    while (w.next(&q)) {
    }
    tfclose();
    return w.status;
}

int chkifutf8W(const char16_t* name) { return chkifutf8core("", name, 0xFF); }
int chkifutf8(const char* name) { return chkifutf8core(name, u"", 0); }

namespace {

// The check only reports: the 0x80 lead here, a low trail in the walker.
struct CheckSink : SjisSink {
    void single(uint8_t, int) {}
    void dbcs(int, int) {}
    void first80(int code) { printf("[%02X(x) %02X] (1st byte==0x80) ", 0x80, code & 0xFF); }
};

}  // namespace

int chkifsjis(const char* name, const char16_t* nameW, uint8_t wide) {
    if (!open_checked(name, nameW, wide)) return 255;
    TextSource src;
    CheckSink sink;
    int st = text_detail::sjis_walk(src, sink);
    tfclose();
    return st;
}

int chkifsjisW(const char16_t* name) { return chkifsjis("", name, 0xFF); }
int chkifsjisA(const char* name) { return chkifsjis(name, u"", 0); }

// ---- UTF-8 to Shift_JIS ------------------------------------------------------------------------

int utf8file2sjis(const char* outname, const char* inname) {
    if (!open_pair(outname, inname)) return 255;
    Output out;
    Utf8Walk<TextSource> w{};
    Utf8Seq q;
    while (!out.failed && w.next(&q, trace_malformed)) {
        const uint8_t* b = q.b;
        uint32_t cp = q.cp;
        switch (q.len) {
        case 1:
            out.put(b[0]);
            printf("%c", b[0] == 13 ? ' ' : b[0]);
            break;
        case 2:
            printf("[%02X %02X (%04X)] ", b[0], b[1], (unsigned)cp);
            put_code(out, uni2sjis((int)cp), cp);
            break;
        case 3: {
            printf("[%02X %02X %02X (%04X)] ", b[0], b[1], b[2], (unsigned)cp);
            int code = text_detail::compat_uni2sjis((int)cp);
            put_code(out, code ? code : uni2sjis((int)cp), cp);
            break;
        }
        default:
            printf("[%02X %02X %02X %02X (%06X)] ", b[0], b[1], b[2], b[3], (unsigned)cp);
            if (cp >= 0x10000) put_uni_marker(out, cp);
            break;
        }
    }
    if (!close_pair(out, outname)) return 255;
    return w.status;
}

// ---- Shift_JIS to UTF-8 ------------------------------------------------------------------------

namespace {

// The marker for a Shift_JIS code without a mapping: "<<<uni000000:sjis"
// and six digits (codes stay below 0x10000) take 27 bytes with the NUL.
void put_sjis_marker(Output& out, int code) {
    char m[32];
    snprintf(m, sizeof m, "<<<uni%06X:sjis%06X>>>", 0, (unsigned)(code & 0xFFFF));
    out.put_text(m);
}

struct ToUtf8Sink : SjisSink {
    Output& out;
    explicit ToUtf8Sink(Output& o) : out(o) {}
    void single(uint8_t b, int cp) {
        out.put_cp((uint32_t)cp);
        printf("%02X ", b);
    }
    void dbcs(int cp, int code) {
        if (cp) out.put_cp((uint32_t)cp);
        else put_sjis_marker(out, code);
    }
    void first80(int code) {
        printf("[%02X(x) %02X] (1st byte==0x80) ", 0x80, code & 0xFF);
        put_sjis_marker(out, code);
        ctfirst80++;
    }
    void upper(uint8_t) { ctnoutf++; }
    void low_trail() { ctsecond003F++; }
    bool stopped() const { return out.failed; }
};

}  // namespace

int sjisfile2utf8(const char* outname, const char* inname) {
    ctnoutf = ctsecond003F = ctfirst80 = 0;
    if (!open_pair(outname, inname)) return 255;
    Output out;
    TextSource src;
    ToUtf8Sink sink(out);
    int st = text_detail::sjis_walk(src, sink);
    printf("\n");
    printf("sjisstat = %d. \n", st);
    printf("  ctnoutf = %d. \n", ctnoutf);
    printf("  ctsecond003F = %d. \n", ctsecond003F);
    printf("  ctfirst80 = %d. \n", ctfirst80);
    if (!close_pair(out, outname)) return 255;
    return st;
}

// ---- The escape reader -------------------------------------------------------------------------

// A longer string keeps its first 1023 code points and counts the rest, since
// the result is the number of code points found.
int sjisesc2uni(const char* s) {
    constexpr int kCap = 1024;  // 1023 code points and the closing 0
    uint32_t uni[kCap];
    const uint8_t* p = (const uint8_t*)s;
    int n = 0;
    auto store = [&](int cp) {
        if (cp <= 0) return;
        if (n < kCap - 1) uni[n] = (uint32_t)cp;
        n++;
    };
    printf("%s (%d) ", s, (int)strlen(s));
    int lead = 0;
    for (; *p; p++) {
        uint8_t b = *p;
        if (lead) {
            store(sjis2uni(lead * 256 + b));
            lead = 0;
        } else if (issjislead(b)) {
            lead = b;
        } else if (b == '&') {
            if (p[1] == 0) break;
            switch (*++p) {
            case '&': store(0x26); break;
            case 'r': store(0x0D); break;
            case 'n': store(0x0A); break;
            case 'v': store(0x0B); break;
            default: break;  // dropped with its '&'
            }
        } else {
            store(sjis2uni(b));
        }
    }
    uni[n < kCap - 1 ? n : kCap - 1] = 0;
    printf("=> unilen(%d) \n", n);
    return n;
}
