// keypoll.cpp - the last-key latch and the keyboard poll.
//
// Long loops call keypoll between steps; a key press waits in the latch until
// getlastkey takes it (27 is ESC, 3 Ctrl-C).  The poll does a bounded amount
// of work: the pending window messages and at most one console event.

#include "stream/stream.h"
#include "stream/stream_internal.h"

namespace {
int lastkey = 0;   // the character of the last key press not yet taken; 0 none
}

namespace stream_detail {
void key_reset() { lastkey = 0; }
}

int setlastkey(int key) {
    int old = lastkey;
    lastkey = key;
    return old;
}

int getlastkey(void) {
    int k = lastkey;
    lastkey = 0;
    return k;
}

// Keeps the window messages flowing, then takes at most one console input
// event; a key press with a character latches it (as a signed 8-bit value,
// which the platform delivers), any other event is taken and forgotten.
// Returns the latch without clearing it.
int keypoll(void) {
    g_os.pump_messages();
    int key = 0;
    if (g_os.console_event(&key) == 1 && key != 0) lastkey = key;
    return lastkey;
}

int stopkey(void) {
    if (keypoll() != 0) {
        int k = getlastkey();
        if (k == 3 || k == 27) return k;
    }
    return 0;
}
