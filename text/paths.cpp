// paths.cpp - path parts, the ';' field splitter, the prefix test and the
// number readers (the declarations and their contracts are in text/paths.h).
//
// The 8-bit and 16-bit twins share one template each.  The only difference
// between them is the lead-byte test of text/paths_internal.h: a char may
// open a double-byte character (asked of the system, IsDBCSLeadByte), a
// char16_t never does, so the 16-bit forms look at every unit.
//
// Division: character walking helpers; path parts; relative path; strings
// and numbers.

#include "text/paths.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "text/paths_internal.h"

namespace {

// ---- Character walking ------------------------------------------------------------

using text_detail::charw;

// '\', and '/' where it separates too (see paths.h).
template <class C>
constexpr bool is_dirsep(C c) {
    return c == C('\\') || (OS_SLASH_SEPARATES && c == C('/'));
}

// '\' or '/' on every system.
template <class C>
constexpr bool is_anysep(C c) {
    return c == C('\\') || c == C('/');
}

template <class C>
constexpr bool is_ascii_letter(C c) {
    return (c >= C('A') && c <= C('Z')) || (c >= C('a') && c <= C('z'));
}

template <class C>
constexpr bool is_digit(C c) {
    return c >= C('0') && c <= C('9');
}

template <class C>
constexpr C fold_ascii(C c) {
    return (c >= C('A') && c <= C('Z')) ? C(c + ('a' - 'A')) : c;
}

template <class C>
size_t ulen(const C* s) {
    size_t n = 0;
    while (s[n]) n++;
    return n;
}

// Index of the last character at or after `from` (a character boundary) that
// satisfies pred, walking whole characters so that a trail byte is never
// looked at; -1 when there is none.
template <class C, class Pred>
ptrdiff_t last_char(const C* s, Pred pred, size_t from = 0) {
    ptrdiff_t at = -1;
    for (size_t i = from; s[i]; i += charw(s + i))
        if (pred(s[i])) at = (ptrdiff_t)i;
    return at;
}

// dst = the first n units of src, terminated.  A forward copy, so dst may be
// src itself or lie before it (getfname(buf, buf) works).
template <class C>
void copy_n(C* dst, const C* src, size_t n) {
    for (size_t i = 0; i < n; i++) dst[i] = src[i];
    dst[n] = 0;
}

template <class C>
void copy_str(C* dst, const C* src) {
    size_t i = 0;
    for (; src[i]; i++) dst[i] = src[i];
    dst[i] = 0;
}

// Copies whole characters of src, at most max bytes, and terminates dst; a
// double-byte character that would not fit whole is left out.  Returns the
// bytes copied.
size_t copy_chars(char* dst, const char* src, size_t max) {
    size_t i = 0;
    while (src[i]) {
        size_t w = charw(src + i);
        if (i + w > max) break;
        for (size_t k = 0; k < w; k++) dst[i + k] = src[i + k];
        i += w;
    }
    dst[i] = 0;
    return i;
}

// ---- Path parts --------------------------------------------------------------------------

template <class C>
int getdir_t(C* dst, const C* path) {
    ptrdiff_t at = last_char(path, is_dirsep<C>);
    if (at < 0) dst[0] = 0;
    else copy_n(dst, path, (size_t)at + 1);
    return 0;
}

template <class C>
int getfname_t(C* dst, const C* path) {
    ptrdiff_t at = last_char(path, is_anysep<C>);
    copy_str(dst, path + (at + 1));
    return 0;
}

template <class C>
int cutext_t(C* dst, const C* path) {
    ptrdiff_t at = last_char(path, [](C c) { return c == C('.'); });
    copy_n(dst, path, at < 0 ? ulen(path) : (size_t)at);
    return 0;
}

template <class C>
int getext_t(C* dst, const C* path) {
    ptrdiff_t at = last_char(path, [](C c) { return c == C('.'); });
    if (at < 0) {
        dst[0] = 0;
        return 0;
    }
    copy_str(dst, path + at);
    return -1;
}

// At most 259 units are counted; the walk never splits a double-byte
// character, so one that straddles the cap is cut off whole (the path then
// ends at 258 bytes).  A path that reaches the cap is only cut, as a path too
// long to name anything has no separator worth removing.
template <class C>
int cuttailsep_t(C* path) {
    const size_t cap = 259;
    size_t n = 0;
    bool last_double = false;
    while (path[n] && n < cap) {
        size_t w = charw(path + n);
        if (n + w > cap) break;
        last_double = (w == 2);
        n += w;
    }
    if (n >= cap || path[n] != 0) {
        path[n] = 0;
        return 0;
    }
    // A drive root 'C:\' keeps its separator; every drive path needs 4 units
    // before it can lose one, any other path 2.
    size_t least = (is_ascii_letter(path[0]) && path[1] == C(':')) ? 4 : 2;
    if (n >= least && !last_double && is_anysep(path[n - 1])) path[n - 1] = 0;
    return 0;
}

// Start of the file-name part: just after the last separator, or 0.
size_t fname_start(const char* path) {
    ptrdiff_t at = last_char(path, is_dirsep<char>);
    return (size_t)(at + 1);
}

// The file name's last '.', or -1.
ptrdiff_t fname_dot(const char* path) {
    return last_char(path, [](char c) { return c == '.'; }, fname_start(path));
}

template <class C>
int strheadcmp_t(const C* s, const C* prefix) {
    size_t i = 0;
    while (prefix[i]) {
        if (fold_ascii(s[i]) != fold_ascii(prefix[i])) return -1;  // also s ending first
        if (charw(s + i) == 2) {
            // The same lead byte on both sides: its trail byte is compared
            // exactly, never as a letter.
            if (prefix[i + 1] == 0) return 0;
            if (s[i + 1] != prefix[i + 1]) return -1;
            i += 2;
        } else {
            i++;
        }
    }
    return 0;
}

}  // namespace

// ---- Path parts ---------------------------------------------------------------

int getdirW(char16_t* dst, const char16_t* path) { return getdir_t(dst, path); }
int getdir(char* dst, const char* path) { return getdir_t(dst, path); }

int getfnameW(char16_t* dst, const char16_t* path) { return getfname_t(dst, path); }
int getfname(char* dst, const char* path) { return getfname_t(dst, path); }

int cutextW(char16_t* dst, const char16_t* path) { return cutext_t(dst, path); }
int cutext(char* dst, const char* path) { return cutext_t(dst, path); }

int getextW(char16_t* dst, const char16_t* path) { return getext_t(dst, path); }
int getext(char* dst, const char* path) { return getext_t(dst, path); }

int cuttailsepW(char16_t* path) { return cuttailsep_t(path); }
int cuttailsep(char* path) { return cuttailsep_t(path); }

int getextfix(const char* path, char* dst) {
    ptrdiff_t dot = fname_dot(path);
    if (dot < 0) {
        dst[0] = 0;
        return 0;
    }
    dst[0] = '.';
    copy_chars(dst + 1, path + dot + 1, 3);
    return -1;
}

// An ext shorter than three bytes gives a shorter extension: the copy stops
// at ext's terminator rather than reading past it.
int setext(char* path, const char* ext) {
    if (ext[0] == '.') ext++;
    ptrdiff_t dot = fname_dot(path);
    char* at = dot >= 0 ? path + dot : path + std::strlen(path);
    at[0] = '.';
    copy_chars(at + 1, ext, 3);
    return dot >= 0 ? -1 : 0;
}

int isabspath(const char* path) {
    if (path[0] == '\\' || path[0] == '/') return -1;
    if (is_ascii_letter(path[0]) && path[1] == ':') return -1;
    return 0;
}

int slash2bs(char* path) {
    for (size_t i = 0; path[i]; i += charw(path + i))
        if (path[i] == '/') path[i] = '\\';
    return 0;
}

// ---- Relative path ------------------------------------------------------------

// Walks tgt and ref together over their common part and climbs out of what
// is left of ref's directory.  Two paths on different roots cannot be related,
// so tgt is given back unchanged (and the "=>" line is not printed).  The
// output separator is '/', as the relative path is meant for texts that other
// programs read.
int relpath(char* dst, const char* tgt, const char* ref) {
    std::printf("\nTgt: %s\n", tgt);
    std::printf("Ref: %s\n", ref);

    auto server = [](const char* p) { return is_dirsep(p[0]) && is_dirsep(p[1]); };
    auto drive = [](const char* p) { return is_ascii_letter(p[0]) && p[1] == ':'; };
    auto colon2 = [](const char* p) { return p[0] != 0 && p[1] == ':'; };
    if ((server(tgt) && drive(ref)) || (server(ref) && drive(tgt)) ||
        (colon2(tgt) && colon2(ref) && tgt[0] != ref[0])) {
        std::strcpy(dst, tgt);
        return 0;
    }

    // The common part, exactly; `last` is the last '\' (or ':') in it.
    ptrdiff_t last = -1;
    size_t i = 0;
    while (tgt[i] && tgt[i] == ref[i]) {
        size_t w = charw(tgt + i);
        if (w == 2) {
            if (ref[i + 1] != tgt[i + 1]) break;
        } else if (is_dirsep(tgt[i]) || tgt[i] == ':') {
            last = (ptrdiff_t)i;
        }
        i += w;
    }

    size_t o = 0;
    // The boundaries of ref's characters after `last` are those of tgt's
    // common part, so this walk starts on a character.
    for (size_t j = (size_t)(last + 1); ref[j]; j += charw(ref + j)) {
        if (is_dirsep(ref[j])) {
            dst[o++] = '.';
            dst[o++] = '.';
            dst[o++] = '/';
        }
    }
    for (size_t j = (size_t)(last + 1); tgt[j];) {
        size_t w = charw(tgt + j);
        if (w == 1) {
            dst[o++] = tgt[j] == '\\' ? '/' : tgt[j];
        } else {
            dst[o++] = tgt[j];
            dst[o++] = tgt[j + 1];
        }
        j += w;
    }
    dst[o] = 0;
    std::printf("=> %s\n", dst);
    return 0;
}

// ---- Strings and numbers --------------------------------------------------------

int strheadcmpW(const char16_t* s, const char16_t* prefix) { return strheadcmp_t(s, prefix); }
int strheadcmp(const char* s, const char* prefix) { return strheadcmp_t(s, prefix); }

int getfield(char* dst, const char* s, int n) {
    size_t i = 0;
    for (int field = 0; field < n;) {
        if (s[i] == 0) {
            dst[0] = 0;
            return -1;
        }
        if (s[i] == ';') field++;
        i += charw(s + i);
    }
    size_t o = 0;
    while (s[i] && s[i] != ';') {
        size_t w = charw(s + i);
        for (size_t k = 0; k < w; k++) dst[o++] = s[i + k];
        i += w;
    }
    dst[o] = 0;
    return 0;
}

// Digits are summed in unsigned 32-bit arithmetic, so a run too long for an
// int wraps as the stored value always has, without signed overflow.
int strtailint(const char* s) {
    size_t n = std::strlen(s);
    if (n == 0 || !is_digit(s[n - 1])) return -1;
    uint32_t value = 0, scale = 1;
    for (size_t i = n; i > 0 && is_digit(s[i - 1]); i--) {
        value += (uint32_t)(s[i - 1] - '0') * scale;
        scale *= 10;
    }
    return (int)value;
}

int strheadint(const char* s) {
    if (!is_digit(s[0])) return -1;
    uint32_t value = 0;
    for (size_t i = 0; is_digit(s[i]); i++) value = value * 10 + (uint32_t)(s[i] - '0');
    return (int)value;
}

// The run is read in place by strtod (atof is strtod without its end
// pointer), so a run of any length is read whole instead of through a
// fixed-size copy.
float strtailnum(const char* s) {
    size_t n = std::strlen(s);
    if (n == 0) return -99999.0f;
    if (!is_digit(s[n - 1]) && s[n - 1] != '.') return -1.0f;
    size_t i = n;
    while (i > 0 && (is_digit(s[i - 1]) || s[i - 1] == '.' || s[i - 1] == '-')) i--;
    return (float)std::strtod(s + i, nullptr);
}
