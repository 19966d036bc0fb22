// assign.cpp - the assignment syntax: the parser (assign_internal.h) and the
// two entries that act on it, aviassignframe and aviassignfps.

#include "avitool/assign_internal.h"

#include "avitool/avitool.h"

#include <cstdio>
#include <cstring>

#include "text/paths.h"

namespace avitool_detail {

namespace {

bool isblank4(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Every length is tested before anything is parsed, so a refused text
// prints only its refusal.  A field is a substring of the text, so while the
// text fits its buffer, a scratch buffer of the text's size holds any field
// that getfield (which takes no size) delivers.  The extension is a tail of
// field 0, so a path that passes also fits the extension buffer.
int checklengths(const char* text) {
    size_t n = std::strlen(text);
    if (n >= ASSIGN_TEXT_CAP) {
        std::printf("Assignment too long (%zu bytes, at most %zu).\n", n, ASSIGN_TEXT_CAP - 1);
        return 1;
    }
    char field[ASSIGN_TEXT_CAP];
    for (int i = 0; getfield(field, text, i) == 0; i++) {
        size_t f = std::strlen(field);
        if (f >= ASSIGN_FIELD_CAP) {
            std::printf("Assignment field %d too long (%zu bytes, at most %zu).\n", i, f,
                        ASSIGN_FIELD_CAP - 1);
            return 1;
        }
    }
    return 0;
}

}  // namespace

int parseassign(const char* text, assignment* a) {
    if (!text) text = "";
    a->path[0] = 0;
    a->frame = 0;
    a->fps = 4.0f;
    a->hasframe = 0;
    a->hasfps = 0;
    if (checklengths(text) != 0) return 1;

    std::memcpy(a->path, text, std::strlen(text) + 1);
    char field[ASSIGN_FIELD_CAP];
    for (int n = 1; getfield(field, text, n) == 0; n++) {
        const char* p = field;
        while (isblank4(*p)) p++;
        if (strheadcmp(p, "L") == 0) {
            // Counted from 1; the subtraction wraps as 32-bit arithmetic
            // does, so 'L0' gives -1 and no value overflows.
            a->frame = (int)((uint32_t)strtailint(field) - 1u);
            a->hasframe = 0xFF;
        } else if (strheadcmp(p, "FR") == 0) {
            a->frame = strtailint(field);
            a->hasframe = 0xFF;
        } else if (strheadcmp(p, "FP") == 0) {
            a->fps = strtailnum(field);
            if (a->fps == 0.0f) a->fps = 4.0f;
            a->hasfps = 0xFF;
        } else {
            std::printf("Unrecognized assignment: %s.\n", field);
        }
        if (n == 1) getfield(a->path, text, 0);
    }

    char ext[ASSIGN_EXT_CAP];
    getext(ext, a->path);
    if (strheadcmp(ext, ".AVI") != 0) {
        std::printf("Not AVI extension: %s.\n", a->path);
        return 1;
    }
    std::printf("Assigned file: %s", a->path);
    if (a->hasframe) std::printf(", Frame %ld", (long)a->frame);
    if (a->hasfps) std::printf(", %g fps", (double)a->fps);
    std::printf(".\n");
    return 0;
}

}  // namespace avitool_detail

// ---- The entries --------------------------------------------------------------------------

using avitool_detail::assignment;
using avitool_detail::parseassign;

int aviassignframe(const char* text, int width, int height, const uint8_t* R, const uint8_t* G,
                   const uint8_t* B, const uint8_t* A, uint8_t bit32) {
    assignment a;
    if (parseassign(text, &a) != 0) return 1;
    // A total of 0: the append raises it to frame + 1, so the call writes
    // frame N, whether the movie has it, is shorter, or does not exist.
    return aviappendframe(a.path, a.frame, 0, width, height, R, G, B, A, a.fps, bit32);
}

int aviassignfps(const char* text) {
    assignment a;
    if (parseassign(text, &a) != 0) return 1;
    return avisetfps(a.path, a.fps);
}
