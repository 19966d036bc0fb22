// win32_include.h - <windows.h> the one way this project takes it: the lean
// set, and without the min and max macros that would break std::min and
// <algorithm>.  For platform/win32.cpp and the Windows test harness only;
// everything else reaches the system through platform.h.
#ifndef REELKILN_PLATFORM_WIN32_INCLUDE_H
#define REELKILN_PLATFORM_WIN32_INCLUDE_H

#if !defined(_WIN32)
#error "win32_include.h is for the Windows build only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#endif
