// win32_main.cpp - the main of the Windows test programs.
//
// Linked only into the cross-built test programs, in place of gtest_main.
// GoogleTest built by mingw does not catch structured exceptions, so an
// access violation in a test would reach the unhandled-exception path; under
// wine that starts the debugger, which waits forever, and the test run hangs
// instead of failing.  This main therefore ends the process at once on any
// fatal exception, on abort() and on std::terminate, after one line on
// standard error that names what happened, and turns off the error dialogs
// that Windows would otherwise show.  The exit code is the exception code (or
// 3 for abort and terminate), never 0.
//
// It is test harness, not program code: it includes <windows.h> (through
// platform/win32_include.h), and only in the Windows test build.

#if defined(_WIN32)

#include "platform/win32_include.h"

#include <csignal>
#include <cstdio>
#include <exception>

#include <gtest/gtest.h>

namespace {

[[noreturn]] void die(const char* what, unsigned code) {
    std::fflush(stdout);
    std::fprintf(stderr, "\n*** test program ended: %s\n", what);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), code);
    for (;;) Sleep(INFINITE);
}

LONG WINAPI on_fatal_exception(EXCEPTION_POINTERS* info) {
    char line[128];
    unsigned code = info && info->ExceptionRecord ? (unsigned)info->ExceptionRecord->ExceptionCode : 1u;
    void* where = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionAddress : nullptr;
    std::snprintf(line, sizeof line, "unhandled exception 0x%08X at %p", code, where);
    die(line, code ? code : 1u);
}

void on_abort(int) { die("abort()", 3); }
void on_terminate() { die("std::terminate (an exception escaped)", 3); }

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(on_fatal_exception);
    std::signal(SIGABRT, on_abort);
    std::set_terminate(on_terminate);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#endif  // _WIN32
