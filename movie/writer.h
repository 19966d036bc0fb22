// writer.h - what the two movie writers (avi1.h, odml.h) and the AVI
// toolkit's writers have in common at their edges: the paths of a writer
// call, the result codes, and the name of the image that stopped a writer.
//
// The codes are the AVI 1.0 writer's (hence their names); the OpenDML writer
// gives the same ones and a few of its own (odml.h).

#ifndef REELKILN_MOVIE_WRITER_H
#define REELKILN_MOVIE_WRITER_H

#include <cstdint>

// The paths of one writer call.
struct moviepaths {
    const char* avi;
    const char16_t* aviW;
    const char* list;
    const char16_t* listW;
    const char* wav;
    const char16_t* wavW;
    uint8_t wide;  // 0xFF: the wide forms are used, 0: the 8-bit forms
};

// Results of the movie writers.
enum {
    AVI1_OK = 0,
    AVI1_FAILED = -1,       // no memory, not created, a write failed ("*** Disk Full *** "), the list's read failed
    AVI1_NO_SOUND = -4,     // the WAV cannot be opened again for copying
    AVI1_BAD_IMAGE = -6,    // a listed image missing or not loadable: see badpngname
    AVI1_TOO_LARGE = -7,    // the RIFF size would pass 32 bits; nothing created
    AVI1_FOURCC_R = 1,      // the first 'R' not written
    AVI1_FOURCC_IFF = 2,    // 'I', 'F', 'F' not written; or the first image cannot be opened
    AVI1_STOP = 3,          // a later fourcc byte not written; no PNG first image; Ctrl-C
    AVI1_COPY_FAILED = 4,   // the sound copy failed, or a read of the sound failed
    AVI1_ESC = 27           // ESC
};

// Capacity of badpngname (bytes) and badpngnameW (units), terminator included.
inline constexpr int BADPNGNAME_CAP = 288;

// The listed name that stopped the last writer with -6 (8-bit as listed, and
// its wide form); emptied at the start of every writer call (listprepass,
// prepass.h).  Defined in prepass.cpp; one thread.
extern char badpngname[BADPNGNAME_CAP];
extern char16_t badpngnameW[BADPNGNAME_CAP];

#endif
