// dialog_internal.h - the file-dialog services of each platform side, not
// for callers: win32_dialog.cpp and posix_dialog.cpp define them, and the
// side's table (win32.cpp, posix.cpp) points g_os at them.  On POSIX it also
// declares the console dialog's core, which works on any pair of
// descriptors, so that tests can drive it through pipes.

#ifndef REELKILN_PLATFORM_DIALOG_INTERNAL_H
#define REELKILN_PLATFORM_DIALOG_INTERNAL_H

#include <cstdint>

#include "platform/platform.h"

namespace platform_detail {

int native_open_dialogW(os_filedlgW* d);
int native_open_dialogA(os_filedlgA* d);
int native_save_dialogA(os_filedlgA* d);
uint32_t native_dialog_error(void);
int native_ask_yes_no(const char* text, const char* caption);

#if !defined(_WIN32)
// The console dialog on in_fd (answers) and out_fd (prompts): 1 chosen, with
// the record filled as the system's dialog fills it; 0 with *error = 0 for a
// cancel (end of input, Ctrl-D, Ctrl-C, Esc) or a failure code (0x3003: the
// path does not fit max_file).  `save` makes it a save dialog, which also
// checks that a new file can be created at the name.  On a terminal the
// answers are read with the line editor, which has the terminal while it
// reads and then gives back the mode it found; from other descriptors as
// plain lines.  The 8-bit form takes the terminal's bytes as they are; the
// 16-bit form converts between UTF-8 on the terminal and UTF-16.
int console_dialogA(int in_fd, int out_fd, os_filedlgA* d, uint32_t* error, bool save = false);
int console_dialogW(int in_fd, int out_fd, os_filedlgW* d, uint32_t* error);

// A yes/no question on the descriptors: "text [y/N] ", 1 only for an answer
// starting with 'y' or 'Y', -1 when it is cancelled as the dialog is.
int console_ask(int in_fd, int out_fd, const char* text, const char* caption);

// A Ctrl-C waits to be taken by the key poll (posix.cpp); sigint_drop
// forgets it, as each dialog on the terminal does when it opens;
// sigint_latch keeps one that arrived as a key rather than a signal.
bool sigint_pending();
void sigint_drop();
void sigint_latch();
#endif

}  // namespace platform_detail

#endif
