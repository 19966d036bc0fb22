// movie_ahead.cpp - decoding ahead against the core count, at 1080p and 4K.
//
// Makes (once, then reuses) two scenes of RGB frames that compress like
// rendered footage (the landscape of bench_movie_program, drawn at the
// scene's size: shaded hills, a moving light, two soft discs, grain) and a
// two-second WAV, then, in each round, times over the same files:
//   ffmpeg*  ffmpeg with its default threads making the same raw movie:
//            the yardstick every figure is a ratio to;
//   N        the driver in a child process of its own with its pauses
//            skipped (the program's fixed 1.0 s), the core count N injected
//            through g_os.cpu_count as the tests do (or, with --taskset, the
//            child pinned to N cores: the count the program then finds),
//            for N = 1, 2, 4, 6, 8 and 16.
// The rounds alternate the runs; each figure is the median of the rounds
// (the best beside it).  For each N it prints the time, the speed-up over
// one core, the ratio to ffmpeg*, and the child's peak resident set (wait4's
// ru_maxrss).  Goals: time never grows with N; 2 cores at least 1.8 times
// and 4 cores 3.4 times as fast as 1; 8 cores at most ffmpeg*'s time; the
// peak within the cap plus one frame plus the writer's buffers.
//
//   bench_movie_ahead [--full] [--taskset] [--make] [--rounds R] [--only 1080p|4K]
//     default: 60 frames of 1080p and 24 of 4K, 3 rounds;
//     --full:  300 frames of 1080p and 120 of 4K;
//     --make:  only make the scenes (e.g. niced, before a measuring run).
// With --taskset the cores are first ranked by speed: one 1080p frame is
// decoded on each core the bench may use (the best of three), and N cores
// means the N fastest.  A virtual machine's processors need not be equal
// (one here decodes at three quarters of the others' speed), and pinning
// to the first N would measure the slow one as the program's scaling.
// The ranking is printed, as ratios to the fastest core.
// The scenes live in $RK_BENCH_SCENE_AHEAD, else bench-ahead-scene beside
// this program (put it on tmpfs, e.g. /dev/shm, so that disk speed does not
// enter).  Linux only (fork, wait4, sched_setaffinity).

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "bench/scene.h"
#include "image/image.h"
#include "movie/frames.h"
#include "movie/driver.h"
#include "platform/platform.h"

#ifndef _WIN32
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 48000, kSeconds = 2;
constexpr int kCounts[] = {1, 2, 4, 6, 8, 16};

struct scene {
    int w, h, frames, fullframes;
    const char* name;
};
constexpr scene kScenes[] = {{1920, 1080, 60, 300, "1080p"}, {3840, 2160, 24, 120, "4K"}};

std::string framename(int i) {
    char b[32];
    std::snprintf(b, sizeof b, "frame%04d.png", i);
    return b;
}

// The scene, made once (frames on every core), then list.txt, music.wav
// and a stamp; a larger scene serves a smaller count too (the list names
// the first frames).
bool makescene(const fs::path& dir, const scene& s, int frames) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "ahead-v1 %dx%d rgb", s.w, s.h);
    std::ifstream st(dir / "stamp");
    std::string line;
    int have = 0;
    if (st && std::getline(st, line) && line == stamp) st >> have;
    if (have < frames) {
        fs::create_directories(dir);
        std::printf("making %d frames of the %s scene in %s ...\n", frames, s.name, dir.string().c_str());
        std::fflush(stdout);
        const unsigned n = std::max(1u, std::thread::hardware_concurrency());
        std::vector<std::thread> t;
        bool ok = true;
        for (unsigned k = 0; k < n; k++)
            t.emplace_back([&, k] {
                std::vector<uint8_t> rgb((size_t)s.w * s.h * 3);
                for (int i = have + (int)k; i < frames; i += (int)n) {
                    benchscene::landscape(i, s.w, s.h, rgb);
                    if (!benchscene::writepng(dir / framename(i), s.w, s.h, rgb)) ok = false;
                }
            });
        for (std::thread& x : t) x.join();
        if (!ok) return false;
        if (!benchscene::writewav(dir / "music.wav", kRate, (uint32_t)kRate * kSeconds, [](uint32_t i) {
                return (int)(8000 * std::sin(i * 2 * std::numbers::pi * 440 / kRate));
            }))
            return false;
        std::ofstream(dir / "stamp") << stamp << "\n" << frames << "\n";
    }
    std::string list;
    for (int i = 0; i < frames; i++) list += framename(i) + "\r\n";
    std::ofstream(dir / "list.txt", std::ios::binary) << list;
    return true;
}

void nosleep(uint32_t) {}

int g_cores = 1;
int cores(void) { return g_cores; }

double seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double mib(double bytes) { return bytes / (1024.0 * 1024.0); }

struct result {
    double secs;
    double rss;  // bytes
};

#ifndef _WIN32
// The cores this process may use, fastest first, each with its time for a
// decode of the frame at png (best of three).  Empty when the affinity
// cannot be read or set.
std::vector<std::pair<int, double>> rankcores(const std::string& png) {
    std::vector<std::pair<int, double>> out;
    cpu_set_t all;
    if (sched_getaffinity(0, sizeof all, &all) != 0) return out;
    for (int c = 0; c < CPU_SETSIZE; c++) {
        if (!CPU_ISSET(c, &all)) continue;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(c, &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0) continue;
        double best = 1e30;
        for (int k = 0; k < 3; k++) {
            pngjob job = {};
            job.path = png.c_str();
            job.alphamode = 2;
            job.trnsalpha = 1;
            const auto t0 = std::chrono::steady_clock::now();
            const int r = pngloadjob(&job);
            const double s = seconds(t0);
            planesfree(&job.planes);
            if (r != 0) {
                best = 1e30;
                break;
            }
            best = std::min(best, s);
        }
        if (best < 1e30) out.push_back({c, best});
    }
    sched_setaffinity(0, sizeof all, &all);
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    return out;
}

// Runs argv in a child with stdout (and, for ffmpeg, stderr) to /dev/null,
// pinned to the first `pin` cores of order when pin > 0 (pin is at most
// its size).  False when it failed.
bool runchild(const std::vector<std::string>& argv, int pin, const std::vector<int>& order, result* out) {
    std::fflush(stdout);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        if (pin > 0) {
            cpu_set_t set;
            CPU_ZERO(&set);
            for (int c = 0; c < pin; c++) CPU_SET(order[(size_t)c], &set);
            if (sched_setaffinity(0, sizeof set, &set) != 0) _exit(126);
        }
        if (!freopen("/dev/null", "w", stdout)) _exit(1);
        std::vector<char*> a;
        for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        execvp(a[0], a.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru = {};
    if (wait4(pid, &status, 0, &ru) != pid) return false;
    out->secs = seconds(t0);
    out->rss = (double)ru.ru_maxrss * 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "bench_movie_ahead: Linux only\n");
    return 1;
#else
    // A child: the driver in-process on the scene in argv[2], pauses
    // skipped, argv[3] cores injected (0: the count the system gives).
    if (argc == 4 && std::string(argv[1]) == "--run") {
        std::string prog = (fs::path(argv[2]) / "reelkiln").string();
        char* args[] = {prog.data(), nullptr};
        os_init(1, args);
        g_os.sleep_ms = nosleep;
        g_cores = std::atoi(argv[3]);
        if (g_cores > 0) g_os.cpu_count = cores;
        return reelkilnmain(1, args, 60.0f, "reelkiln (60 FPS)  V1.04");
    }

    bool full = false, pin = false, makeonly = false;
    int rounds = 3;
    std::string only;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--full") full = true;
        else if (a == "--taskset") pin = true;
        else if (a == "--make") makeonly = true;
        else if (a == "--rounds" && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_movie_ahead [--full] [--taskset] [--make] [--rounds R] [--only 1080p|4K]\n");
            return 2;
        }
    }
    fs::path self = fs::absolute(argv[0]).parent_path();
    const char* env = std::getenv("RK_BENCH_SCENE_AHEAD");
    fs::path root = env ? fs::path(env) : self / "bench-ahead-scene";
    const std::string me = fs::absolute(argv[0]).string();
    const int ncounts = (int)(sizeof kCounts / sizeof kCounts[0]);

    std::vector<int> order;
    if (pin && !makeonly) {
        const fs::path probe = root / kScenes[0].name;
        if (!makescene(probe, kScenes[0], full ? kScenes[0].fullframes : kScenes[0].frames)) {
            std::fprintf(stderr, "bench_movie_ahead: cannot make the scene in %s\n", probe.string().c_str());
            return 1;
        }
        const auto ranked = rankcores((probe / framename(0)).string());
        if (ranked.empty()) {
            std::fprintf(stderr, "bench_movie_ahead: cannot pin to single cores\n");
            return 1;
        }
        std::printf("cores by speed (a 1080p decode, as ratios to the fastest):");
        for (const auto& [c, s] : ranked) {
            std::printf(" %d (%.2f)", c, ranked[0].second / s);
            order.push_back(c);
        }
        std::printf("\n");
    }

    for (const scene& s : kScenes) {
        if (!only.empty() && only != s.name) continue;
        const int frames = full ? s.fullframes : s.frames;
        fs::path dir = root / s.name;
        if (!makescene(dir, s, frames)) {
            std::fprintf(stderr, "bench_movie_ahead: cannot make the scene in %s\n", dir.string().c_str());
            return 1;
        }
        if (makeonly) continue;
        uint64_t bytes = 0;
        for (int i = 0; i < frames; i++) bytes += fs::file_size(dir / framename(i));
        const std::string d = dir.string();
        const std::vector<std::string> ffmpeg = {"ffmpeg", "-v", "error", "-nostdin", "-framerate", "60",
                                                 "-i", d + "/frame%04d.png", "-i", d + "/music.wav",
                                                 "-frames:v", std::to_string(frames), "-c:v", "rawvideo", "-pix_fmt", "bgr24",
                                                 "-c:a", "copy", "-y", d + "/ffmpeg.avi"};
        std::vector<double> tff, tn[ncounts], rn[ncounts];
        for (int r = 0; r < rounds; r++) {
            result x;
            fs::remove(dir / "ffmpeg.avi");
            if (!runchild(ffmpeg, 0, order, &x)) {
                std::fprintf(stderr, "bench_movie_ahead: ffmpeg failed\n");
                return 1;
            }
            tff.push_back(x.secs);
            fs::remove(dir / "ffmpeg.avi");
            for (int c = 0; c < ncounts; c++) {
                const int n = kCounts[c];
                fs::remove(dir / "movie.avi");
                const bool pinned = pin && n <= (int)order.size();
                if (!runchild({me, "--run", d, std::to_string(pinned ? 0 : n)}, pinned ? n : 0, order, &x)) {
                    std::fprintf(stderr, "bench_movie_ahead: the %s run on %d cores failed\n", s.name, n);
                    return 1;
                }
                tn[c].push_back(x.secs);
                rn[c].push_back(x.rss);
            }
            fs::remove(dir / "movie.avi");
        }
        const double ff = median(tff), one = median(tn[0]);
        std::printf("%d frames of %dx%d RGB (%.0f MiB of PNG), %d s of sound, %d rounds, cores %s\n", frames, s.w,
                    s.h, mib((double)bytes), kSeconds, rounds, pin ? "by taskset, fastest first (past the cores: injected)" : "injected");
        std::printf("  ffmpeg* (default threads)  %7.3f s (best %.3f)\n", ff, *std::min_element(tff.begin(), tff.end()));
        std::printf("  cores  time (median, best)       x 1 core  / ffmpeg*  peak RSS\n");
        for (int c = 0; c < ncounts; c++) {
            const double t = median(tn[c]);
            std::printf("  %5d  %7.3f s  %7.3f s   %7.2f  %8.2f  %7.1f MiB\n", kCounts[c], t,
                        *std::min_element(tn[c].begin(), tn[c].end()), one / t, t / ff,
                        mib(*std::max_element(rn[c].begin(), rn[c].end())));
        }
        std::fflush(stdout);
    }
    return 0;
#endif
}
