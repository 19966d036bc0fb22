// cmdline.cpp - the command-line splitter and the appending of arguments to
// the two process-wide argument sets (contracts in text/cmdline.h).
//
// The wide and 8-bit forms share one template each; a char may open a
// double-byte character (asked of the system), a char16_t never does
// (text/paths_internal.h).

#include "text/cmdline.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "text/paths_internal.h"

char16_t wargbuf[CMDARGS_TEXT];
int wargbuflen;
char argbuf[CMDARGS_TEXT];
int argbuflen;

namespace {

// The split reads a character only while its index plus 1 is below this, so
// at most 65533 units of the command line are read (leading blanks included).
const size_t kReadCap = 65534;
// A space ends an argument only while fewer units than this have been written.
const size_t kSplitTextCap = 65275;

using text_detail::charw;

// Splits line into buf (see splitcmdlineW).  `w` never passes `r` (every
// unit written was read, and quotes are read without being written), so with
// the read cap the buffer keeps room for its terminator; the loop bound says
// so again in case the caps ever change.
template <class C>
int split_t(int* count, C** argv, const C* line, C* buf, int* buflen) {
    static const C empty[1] = {0};
    if (!line) line = empty;
    int n = 1;
    size_t w = 0, r = 0;
    bool quoted = false;
    argv[0] = buf;
    while (line[r] == C(' ') || line[r] == C('\t')) r++;
    while (w + 1 < CMDARGS_TEXT) {
        C c = line[r];
        if (c == 0 || r + 1 >= kReadCap) break;
        if (charw(line + r) == 2) {
            // Lead and trail byte are one character: written together, and
            // the trail byte is no quote, space or end.
            if (r + 2 >= kReadCap || w + 2 >= CMDARGS_TEXT) break;
            buf[w++] = c;
            buf[w++] = line[r + 1];
            r += 2;
        } else if (c == C('"')) {
            quoted = !quoted;
            r++;
        } else if (c == C(' ') && !quoted) {
            if (n >= CMDARGS_MAX || w >= kSplitTextCap) break;
            buf[w++] = 0;
            r++;
            while (line[r] == C(' ')) r++;
            argv[n++] = buf + w;
        } else {
            buf[w++] = c;
            r++;
        }
    }
    buf[w] = 0;
    *buflen = (int)(w + 1);
    // The program name followed by a blank or "" and nothing else has no
    // argument.
    if (n == 2 && argv[1][0] == 0) n = 1;
    argv[n] = buf + w + 1;
    *count = n;
    return 0;
}

// Appends s to the set of buf (see addargW).  A byte at string position p
// (counted from 1) is copied only while p is below 65534 minus the length at
// entry, which also keeps the buffer position below its end with room for
// the terminator.
template <class C>
int addarg_t(int* count, C** argv, const C* s, C* buf, int* buflen) {
    if (!s || s[0] == 0) return 0;
    int n = *count;
    int len0 = *buflen;
    // A full set takes nothing more: its end pointer has no slot beyond 511.
    if (n < 0 || n >= CMDARGS_MAX || len0 < 0 || len0 >= CMDARGS_TEXT - 1) return 0;
    const size_t start = (size_t)len0;
    const size_t strcap = (size_t)(CMDARGS_TEXT - 1) - start;
    argv[n] = buf + start;
    const bool quoted = s[0] == C('"');
    size_t i = quoted ? 1 : 0, k = 0;
    while (s[i]) {
        size_t wid = charw(s + i);
        if (quoted && wid == 1 && s[i] == C('"')) break;
        if (i + wid >= strcap || start + k + wid >= (size_t)CMDARGS_TEXT) break;
        for (size_t j = 0; j < wid; j++) buf[start + k + j] = s[i + j];
        k += wid;
        i += wid;
    }
    if (k == 0) return 0;
    buf[start + k] = 0;
    n++;
    argv[n] = buf + start + k + 1;
    *buflen = (int)(start + k + 1);
    *count = n;
    return 0;
}

}  // namespace

int splitcmdlineW(int* count, char16_t** argv) {
    return split_t(count, argv, g_os.command_lineW(), wargbuf, &wargbuflen);
}

int splitcmdline(int* count, char** argv) {
    return split_t(count, argv, g_os.command_lineA(), argbuf, &argbuflen);
}

int addargW(int* count, char16_t** argv, const char16_t* s) {
    return addarg_t(count, argv, s, wargbuf, &wargbuflen);
}

int addarg(int* count, char** argv, const char* s) {
    return addarg_t(count, argv, s, argbuf, &argbuflen);
}

int addargcopy(int* count, char** argv, const char* s) { return addarg(count, argv, s); }

void cmdline_reset(void) {
    std::memset(wargbuf, 0, sizeof wargbuf);
    std::memset(argbuf, 0, sizeof argbuf);
    wargbuflen = 0;
    argbuflen = 0;
}
