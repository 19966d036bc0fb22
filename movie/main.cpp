// main.cpp - the program's entry.  Compiled once per frame rate (RK_MOVIEFPS
// 60 gives reelkiln, 30 gives reelkiln30); the two programs differ only in
// that constant and in their banner.  Everything else is the driver's.

#include "movie/driver.h"
#include "platform/platform.h"

#ifndef RK_MOVIEFPS
#define RK_MOVIEFPS 60
#endif

#if RK_MOVIEFPS == 30
static const char kBanner[] = "reelkiln (30 FPS)   V1.04";
#elif RK_MOVIEFPS == 60
static const char kBanner[] = "reelkiln (60 FPS)  V1.04";
#else
#error "RK_MOVIEFPS must be 60 or 30"
#endif

int main(int argc, char** argv) {
    argv = os_init(argc, argv);
    // The exit code is the driver's result; POSIX keeps its low 8 bits.
    return reelkilnmain(argc, argv, (float)RK_MOVIEFPS, kBanner);
}
