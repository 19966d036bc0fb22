// avitool_driver.cpp - a test-only driver of the toolkit's edits, so that the
// tests can kill an edit in a process of its own.  Not installed, not a user
// command.
//
//     avitool_driver remove MOVIE [STOP]
//     avitool_driver append MOVIE WAV REPLACE [STOP]
//
// STOP kills the process with SIGKILL at one point of the edit: "created"
// right after the temporary file is created, "replace" just before the
// replace, "replaced" just after it.  Without STOP the edit runs to its end
// and the exit code is its result + 16.

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "avitool/avitool.h"
#include "platform/platform.h"

namespace {

std::string g_stop;

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

int stop_replace(const char* tmp, const char* target) {
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
    g_os.fopen = stop_fopen;
    g_os.replace = stop_replace;
    int r;
    if (cmd == "remove") r = aviremovewav(argv[2]);
    else if (cmd == "append" && argc >= 5) r = aviappendwav(argv[2], argv[3], (uint8_t)std::atoi(argv[4]));
    else return 2;
    return r + 16;
}
