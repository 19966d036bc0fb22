// framelist.cpp - the program directory and the list-line rule of
// "list.txt", by which the driver and both movie writers take the frames'
// names, and the joins of a name to the directory.
//
// The rule is applied by one function, listgetname, over the process-wide
// text reader; each caller opens and closes the list itself.  See
// framelist.h for the rule; the notes below say why it reads as it does.

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "movie/framelist.h"
#include "stream/stream.h"
#include "text/text.h"

char exedir[EXEDIR_CAP];
char16_t exedirW[EXEDIR_CAP];

namespace {

constexpr int CR = 13;
constexpr int LF = 10;
constexpr int CTRLZ = 26;

// Takes the LF of a CR LF pair, so that the pair is one line end and the
// next call starts a fresh line.  Taking it here, right after the CR, keeps
// the rule free of state between calls.
void take_lf_after_cr() {
    if (tfpeek() == LF) tfgetc();
}

// Skips a comment line: everything up to and including its line end.  A
// comment ended by CR (or Ctrl-Z) also takes one CR or LF that follows, as a
// reader that ends lines at CR only does, so CR LF and CR lists read the same
// (and when that was a CR, the LF of its pair goes with it); a comment ended
// by a bare LF is complete.
void skip_comment() {
    for (;;) {
        int c = tfgetc();
        if (c < 0 || c == LF) return;
        if (c == CR || c == CTRLZ) {
            int next = tfpeek();
            if (next == CR) {
                tfgetc();
                take_lf_after_cr();
            } else if (next == LF) {
                tfgetc();
            }
            return;
        }
    }
}

// The rule's console lines: printed, or kept in *held (in their order) for
// a reader that runs ahead of its frames.
void report(std::string* held, const char* text, const char* name = nullptr) {
    if (!held) {
        if (name) printf(text, name);
        else printf("%s", text);
        return;
    }
    char line[LISTNAME_BUF + 64];
    if (name) snprintf(line, sizeof line, text, name);
    else snprintf(line, sizeof line, "%s", text);
    held->append(line);
}

// Ends the collected name: 0 with a valid name, -1 for a line that was too
// long (reported and to be skipped).
int end_name(char* name, int j, std::string* held) {
    name[j] = 0;
    if (j > LISTNAME_MAX) {
        report(held, "*** length over:invalid:  %s \n", name);
        return -1;
    }
    return 0;
}

}  // namespace

// listgetname: see framelist.h.  name must hold LISTNAME_BUF bytes: the reader
// collects up to 64 bytes (one more than the longest valid name) so that an
// over-long line can be shown as it began.
int listgetname(char* name) { return listgetnamekeep(name, nullptr); }

int listgetnamekeep(char* name, std::string* held) {
    int j = 0;
    name[0] = 0;
    for (;;) {
        int c = tfgetc();
        if (c < 0) {
            // The end of the file ends a last line that has no line end; an
            // empty remainder is no name (a file that ends with its line end
            // must not give an extra empty name).
            if (j == 0) return -1;
            if (end_name(name, j, held) == 0) return 0;
            return -1;
        }
        if (c == '/' && j == 0 && tfpeek() == '/') {
            skip_comment();
            continue;
        }
        if (c == CR || c == LF) {
            if (c == CR) take_lf_after_cr();
            if (end_name(name, j, held) == 0) return 0;
            j = 0;
            continue;
        }
        if (c < 32 || c > 127) continue;  // control bytes, Shift_JIS bytes: dropped
        if (j < LISTNAME_MAX + 1) {
            name[j++] = (char)c;
        } else {
            report(held, "*** name length over \n");
        }
    }
}

// ---- Joins ---------------------------------------------------------------------------

namespace {

template <typename T>
bool joinany(T* dst, size_t cap, const T* dir, const T* name) {
    size_t k = 0;
    for (const T* s : {dir, name}) {
        if (!s) continue;
        for (; *s; s++) {
            if (k + 1 >= cap) {
                if (cap) dst[0] = 0;
                return false;
            }
            dst[k++] = *s;
        }
    }
    dst[k] = 0;
    return true;
}

}  // namespace

bool joinpath(char* dst, size_t cap, const char* dir, const char* name) {
    return joinany<char>(dst, cap, dir, name);
}

bool joinpathW(char16_t* dst, size_t cap, const char16_t* dir, const char16_t* name) {
    return joinany<char16_t>(dst, cap, dir, name);
}

void name2wide(char16_t* dst, const char* name) {
    // At most 63 bytes become at most 63 units plus the terminator.
    sjis2wstr(dst, name);
}

bool joinlisted(char* path, char16_t* pathW, const char* name, uint8_t wide) {
    if (wide) {
        char16_t nameW[LISTNAME_BUF];
        name2wide(nameW, name);
        return joinpathW(pathW, JOINED_CAP, exedirW, nameW);
    }
    return joinpath(path, JOINED_CAP, exedir, name);
}
