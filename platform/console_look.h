// console_look.h - when the console poll looks at the console, shared by
// both sides of the platform layer.
//
// The frame loops poll the keyboard once a row, and a look at the console
// costs system calls (on Linux tcgetpgrp, poll and more; a console peek on
// Windows).  After a look that found nothing the next one waits until
// OS_CONSOLE_LOOK_MS have passed on g_os.tick_ms; a look that found an
// event lets the next one come at once, so queued keys drain at full speed.

#ifndef REELKILN_PLATFORM_CONSOLE_LOOK_H
#define REELKILN_PLATFORM_CONSOLE_LOOK_H

#include <cstdint>

#include "platform/platform.h"

namespace platform_detail {

class console_look {
public:
    // Whether to look now; the caller then says what the look found.
    bool due() {
        now_ = g_os.tick_ms();
        return !idle_ || now_ - idle_since_ >= OS_CONSOLE_LOOK_MS;
    }
    void found(bool event) {
        idle_ = !event;
        idle_since_ = now_;
    }

private:
    uint64_t now_ = 0, idle_since_ = 0;
    bool idle_ = false;
};

}  // namespace platform_detail

#endif
