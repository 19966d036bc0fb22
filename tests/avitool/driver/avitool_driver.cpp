// avitool_driver.cpp - a test-only driver of the toolkit's edits, so that the
// tests can kill an edit in a process of its own.  Not installed, not a user
// command.
//
//     avitool_driver remove MOVIE [STOP]
//     avitool_driver append MOVIE WAV REPLACE [STOP]
//
// STOP kills the process with SIGKILL at one point of the edit: "created"
// right after the temporary file is created, "replace" just before the
// replace, "replaced" just after it, "write:N" just before the Nth write
// (every write call to any file, and the replace, count one each).  STOP
// "count" runs the edit to its end and prints "writes N" on standard error.
// Without STOP the edit runs to its end and the exit code is its result + 16.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "avitool/avitool.h"
#include "platform/platform.h"

namespace {

std::string g_stop;
long g_writes = 0;  // write calls so far
long g_killat = 0;  // "write:N": N, else 0

void die() {
#ifndef _WIN32
    std::raise(SIGKILL);
#endif
    std::_Exit(99);
}

FILE* stop_fopen(const char* name, const char* mode) {
    FILE* f = os_native.fopen(name, mode);
    if (f && g_stop == "created" && std::strchr(mode, 'w') && std::strstr(name, "~qeltmp.avi")) {
        std::fflush(f);
        die();
    }
    return f;
}

// One more write: the process dies when it is the chosen one.
void onewrite() {
    if (++g_writes == g_killat) die();
}

size_t count_fwrite(const void* buf, size_t size, size_t n, FILE* f) {
    onewrite();
    return os_native.fwrite(buf, size, n, f);
}
int count_fputc(int c, FILE* f) {
    onewrite();
    return os_native.fputc(c, f);
}
int count_write(os_file f, const void* buf, uint32_t n, uint32_t* put) {
    onewrite();
    return os_native.write(f, buf, n, put);
}

int stop_replace(const char* tmp, const char* target) {
    onewrite();
    if (g_stop == "replace") die();
    int r = os_native.replace(tmp, target);
    if (g_stop == "replaced") die();
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    os_init(argc, argv);
    if (argc < 3) return 2;
    std::string cmd = argv[1];
    int stoparg = cmd == "remove" ? 3 : 5;
    if (argc > stoparg) g_stop = argv[stoparg];
    if (g_stop.rfind("write:", 0) == 0) g_killat = std::atol(g_stop.c_str() + 6);
    g_os.fopen = stop_fopen;
    g_os.replace = stop_replace;
    g_os.fwrite = count_fwrite;
    g_os.fputc = count_fputc;
    g_os.write = count_write;
    int r;
    if (cmd == "remove") r = aviremovewav(argv[2]);
    else if (cmd == "append" && argc >= 5) r = aviappendwav(argv[2], argv[3], (uint8_t)std::atoi(argv[4]));
    else return 2;
    if (g_stop == "count") std::fprintf(stderr, "writes %ld\n", g_writes);
    return r + 16;
}
