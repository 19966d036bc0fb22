// movie_memory.cpp - the program's real memory peak against the frames-ahead cap.
//
// Makes (once, then reuses) two scenes of 60 frames, 1920 x 1080 and
// 3840 x 2160 RGB, each four distinct smooth gradients named over and over
// by list.txt (they decode quickly, so the workers run ahead of the writer
// until the caps stop them: the worst case for memory), with a one-second
// WAV.  For each scene and 1, 8 and 16 threads (the cpu count injected
// through g_os.cpu_count, as the tests do) it runs the driver in a child
// process of its own, pauses skipped, and prints the child's peak resident
// set (wait4's ru_maxrss: one process per run, so that the peaks do not add
// up) beside the peak of the program's own accounting (planes held plus
// decode buffers reserved), the cap, and the cap plus one frame (its planes
// and its decode buffer, which the frame the writer needs next may add), as
// ratios to the cap.  The goal: at 4K on 8 and 16 threads the peak stays
// within the cap plus one frame plus a small fixed part (the one-thread
// run's peak less its one frame shows how small).
//
//   bench_movie_memory
// The scenes live in $RK_BENCH_SCENE_MEMORY, else bench-memory-scene beside
// this program.  Linux only (fork, wait4).

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/scene.h"
#include "movie/driver.h"
#include "movie/frames.h"
#include "platform/platform.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 60, kDistinct = 4, kRate = 48000;
constexpr int kThreads[] = {1, 8, 16};

struct scene {
    int w, h;
    const char* name;
};
constexpr scene kScenes[] = {{1920, 1080, "1080p"}, {3840, 2160, "4K"}};

// Frame k of a scene: a diagonal gradient whose direction and colours move
// with k.  No noise, so it compresses to a few hundred kilobytes.
void render(int k, int w, int h, std::vector<uint8_t>& rgb) {
    for (int y = 0; y < h; y++) {
        uint8_t* row = &rgb[(size_t)y * w * 3];
        for (int x = 0; x < w; x++) {
            row[3 * x] = (uint8_t)((x * 255 / w + 40 * k) & 255);
            row[3 * x + 1] = (uint8_t)((y * 255 / h + 60 * k) & 255);
            row[3 * x + 2] = (uint8_t)(((x + y) * 255 / (w + h) + 90 * k) & 255);
        }
    }
}

// The scene, made once: frames, list.txt, music.wav (one second of silence)
// and a stamp.
bool makescene(const fs::path& dir, const scene& s) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "memory-v1 %d %dx%d rgb", kFrames, s.w, s.h);
    std::ifstream st(dir / "stamp");
    std::string line;
    if (st && std::getline(st, line) && line == stamp) return true;
    fs::create_directories(dir);
    std::printf("making the %s scene in %s ...\n", s.name, dir.string().c_str());
    std::fflush(stdout);
    std::vector<uint8_t> rgb((size_t)s.w * s.h * 3);
    char name[16];
    for (int k = 0; k < kDistinct; k++) {
        render(k, s.w, s.h, rgb);
        std::snprintf(name, sizeof name, "g%d.png", k);
        if (!benchscene::writepng(dir / name, s.w, s.h, rgb, false, 1)) return false;
    }
    std::string list;
    for (int i = 0; i < kFrames; i++) {
        std::snprintf(name, sizeof name, "g%d.png\r\n", i % kDistinct);
        list += name;
    }
    std::ofstream(dir / "list.txt", std::ios::binary) << list;
    if (!benchscene::writewav(dir / "music.wav", kRate, kRate, [](uint32_t) { return 0; })) return false;
    std::ofstream(dir / "stamp") << stamp << "\n";
    return true;
}

void nosleep(uint32_t) {}

int g_cores = 1;
int cores(void) { return g_cores; }

double mib(double bytes) { return bytes / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "bench_movie_memory: Linux only\n");
    return 1;
#else
    // A child: the driver in-process on the scene in argv[2] with argv[3]
    // threads; the accounting's figures go to the descriptor argv[4].
    if (argc == 5 && std::string(argv[1]) == "--run") {
        std::string prog = (fs::path(argv[2]) / "reelkiln").string();
        char* args[] = {prog.data(), nullptr};
        os_init(1, args);
        g_os.sleep_ms = nosleep;
        g_cores = std::atoi(argv[3]);
        g_os.cpu_count = cores;
        int rc = reelkilnmain(1, args, 60.0f, "reelkiln (60 FPS)  V1.04");
        const aheadstats& a = frameaheadstats;
        char line[160];
        int n = std::snprintf(line, sizeof line, "%d %u %u %llu %u\n", rc, a.workers, a.peakframes,
                              (unsigned long long)a.peakbytes, a.loaded);
        if (write(std::atoi(argv[4]), line, (size_t)n) != n) return 1;
        return rc;
    }

    fs::path self = fs::absolute(argv[0]).parent_path();
    const char* env = std::getenv("RK_BENCH_SCENE_MEMORY");
    fs::path root = env ? fs::path(env) : self / "bench-memory-scene";
    const double cap = (double)FRAME_AHEAD_CAP;

    for (const scene& s : kScenes) {
        fs::path dir = root / s.name;
        if (!makescene(dir, s)) {
            std::fprintf(stderr, "bench_movie_memory: cannot make the scene in %s\n", dir.string().c_str());
            return 1;
        }
        // One frame's share as the accounting counts it: four planes and the
        // decode buffer (4 bytes a pixel and a row pointer a row at most).
        const double frame = 4.0 * ((double)s.w * s.h + 16) + ((double)s.w * 4 + 12) * s.h;
        std::printf("%d frames of %dx%d RGB: one frame %.1f MiB, cap %.0f MiB, cap + frame %.1f MiB (%.3f)\n",
                    kFrames, s.w, s.h, mib(frame), mib(cap), mib(cap + frame), (cap + frame) / cap);
        std::printf("  threads  peak RSS        accounted       frames  loaded\n");
        for (int t : kThreads) {
            fs::remove(dir / "movie.avi");
            int fds[2];
            std::fflush(stdout);  // else the child's copy of the buffer is printed again
            if (pipe(fds) != 0) return 1;
            pid_t pid = fork();
            if (pid < 0) return 1;
            if (pid == 0) {
                close(fds[0]);
                if (!freopen("/dev/null", "w", stdout)) _exit(1);
                std::string me = fs::absolute(argv[0]).string(), th = std::to_string(t),
                            fd = std::to_string(fds[1]), d = dir.string();
                char* args[] = {me.data(), (char*)"--run", d.data(), th.data(), fd.data(), nullptr};
                execv(me.c_str(), args);
                _exit(127);
            }
            close(fds[1]);
            char got[160] = {};
            size_t len = 0;
            ssize_t k;
            while (len + 1 < sizeof got && (k = read(fds[0], got + len, sizeof got - 1 - len)) > 0) len += (size_t)k;
            close(fds[0]);
            int status = 0;
            struct rusage ru = {};
            if (wait4(pid, &status, 0, &ru) != pid) return 1;
            int rc = -1;
            unsigned workers = 0, frames = 0, loaded = 0;
            unsigned long long bytes = 0;
            if (std::sscanf(got, "%d %u %u %llu %u", &rc, &workers, &frames, &bytes, &loaded) != 5 || rc != 0) {
                std::fprintf(stderr, "bench_movie_memory: the %s run on %d threads failed (%s)\n", s.name, t, got);
                return 1;
            }
            const double rss = (double)ru.ru_maxrss * 1024.0;
            std::printf("  %7d  %7.1f MiB %.3f  %7.1f MiB %.3f  %6u  %6u\n", t, mib(rss), rss / cap, mib((double)bytes),
                        (double)bytes / cap, frames, loaded);
            std::fflush(stdout);
        }
        fs::remove(dir / "movie.avi");
    }
    return 0;
#endif
}
