// driver.h - the program driver: the whole run from start-up to exit code.
//
// The program's main (movie/main.cpp) only fixes the build's frame rate and
// banner and calls reelkilnmain, so that tests can run the driver in-process
// with the platform table g_os swapped where they need other answers.
//
// Process-wide state set by the driver (read elsewhere only for reporting);
// one thread; driver_reset puts it back for tests.

#ifndef REELKILN_MOVIE_DRIVER_H
#define REELKILN_MOVIE_DRIVER_H

#include <cstdint>

#include "text/cmdline.h"

// Windows version as major + minor / 10, refined by the build number when
// RtlGetVersion answers; only the version line reads it.
extern float winver;

// The console text mode conmode: the user's default language is Japanese
// (0x411); with it, 0x92 is a lead byte of the system code page and the
// console output code page is 932 (sjismode), or the output code page is
// 65001 (utf8mode).  Japanese message variants need jpmode and sjismode.
extern uint8_t jpmode, sjismode, utf8mode;

// The console input and output code pages as read at start (never changed).
extern uint32_t consolecp, consoleoutputcp;

// The value of the "D" option; nothing else reads it.
extern int8_t displayLevel;

// The argument sets: wide, split from the process command line; 8-bit,
// rebuilt from the runtime's arguments.  Their text lives in text/cmdline.
extern int wargc;
extern char16_t* wargv[CMDARGS_PTRS];
extern int argcA;
extern char* argvA[CMDARGS_PTRS];

// msgcpy / msgcat: copy or append a message text stored in Shift_JIS.  In
// the Japanese Shift_JIS console mode (jpmode and sjismode) they are strcpy
// and strcat; otherwise the text is converted to UTF-8 on the way
// (sjistoutf8 / sjistoutf8cat; an append whose dst has no end within 520
// bytes leaves dst unchanged).  Both return dst, which the caller sizes.
char* msgcpy(char* dst, const char* src);
char* msgcat(char* dst, const char* src);

// reelkilnmain: the program.  argc/argv are the runtime's arguments (after
// os_init), moviefps the build's frame rate (60 or 30) and banner its first
// line.  Finds or creates "list.txt" beside the program, checks the first
// image, scans "music.wav", writes "movie.avi" (AVI 1.0, or OpenDML past
// 4 GB) and reports.  Returns the exit code:
//    0  the movie was written
//    3  the first listed image is missing or not a PNG (also the writers'
//       3: a fourcc not written, Ctrl-C)
//    5  "list.txt" could be neither found nor created
//   otherwise the movie writer's result (-1, -4, -6, -8, 1, 2, 4, 27)
// ESC or Ctrl-C from the start on stops the run with 27 or 3 ("ESC - Aborted."
// or "STOP - Aborted."); before the writer creates the movie nothing is
// created.
int reelkilnmain(int argc, char** argv, float moviefps, const char* banner);

// Puts the driver's state back to its start values, badpngname(W) empty
// included (for tests).
void driver_reset(void);

#endif
