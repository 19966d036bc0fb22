// movie_program.cpp - the whole program against two yardsticks.
//
// Makes (once, then reuses) a scene of 300 frames of 1920 x 1080 RGB that
// compress like rendered footage (a moving light over a shaded landscape,
// soft-edged shapes, a little grain) and a 5-second WAV, then times, over
// the same files:
//   decode   a plain libpng loop that reads every frame into memory and does
//            nothing else: the lower bound for one thread;
//   reelkiln the built program making movie.avi, as a user runs it (its
//            fixed pauses, 1.1 s in all, included);
//   work     the same driver in-process with the pauses skipped;
//   work/1   the same on one thread: every frame loaded in turn between
//            the writes, as before frames were loaded ahead;
//   ffmpeg   ffmpeg -threads 1 making the same raw movie from the same files;
//   ffmpeg*  the same with ffmpeg's default threads (one decoder per core):
//            what a user with every core to spare would compare against.
// Each is run twice, alternating, and the better run counts; before each
// run the earlier output is removed and (on Linux) the disk synced.  Prints the
// times and the ratios to decode and to ffmpeg.  Goals: reelkiln within 1.2
// times decode; no slower than ffmpeg with its default threads.
//
//   bench_movie_program [path to reelkiln]   (default: ../movie/reelkiln
//                                             beside this program)
// The scene lives in $RK_BENCH_SCENE, else bench-movie-scene beside this
// program.

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "bench/scene.h"
#include "movie/driver.h"
#include "movie/frames.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

constexpr int kW = 1920, kH = 1080, kFrames = 300, kRounds = 2;
constexpr int kRate = 48000, kSeconds = 5;
constexpr const char* kStamp = "scene-v1 300 1920x1080 rgb";

std::string framename(int i) {
    char b[32];
    std::snprintf(b, sizeof b, "frame%04d.png", i);
    return b;
}

// The scene, made once: frames, list.txt, music.wav and a stamp.
bool makescene(const fs::path& dir) {
    std::ifstream st(dir / "stamp");
    std::string s;
    if (st && std::getline(st, s) && s == kStamp) return true;
    fs::create_directories(dir);
    std::printf("making the scene in %s ...\n", dir.string().c_str());
    std::fflush(stdout);
    std::vector<uint8_t> rgb((size_t)kW * kH * 3);
    std::string list;
    for (int i = 0; i < kFrames; i++) {
        benchscene::landscape(i, kW, kH, rgb);
        if (!benchscene::writepng(dir / framename(i), kW, kH, rgb)) return false;
        list += framename(i) + "\r\n";
    }
    std::ofstream(dir / "list.txt", std::ios::binary) << list;
    if (!benchscene::writewav(dir / "music.wav", kRate, (uint32_t)kRate * kSeconds, [](uint32_t i) {
            return (int)(8000 * std::sin(i * 2 * std::numbers::pi * 440 / kRate));
        }))
        return false;
    std::ofstream(dir / "stamp") << kStamp << "\n";
    return true;
}

// Decodes one file with libpng into img; 1 done, 0 failed.  Nothing that
// changes after setjmp is read in its branch.
int decodeone(const char* path, std::vector<uint8_t>* img, std::vector<png_bytep>* rows) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return 0;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    size_t stride = png_get_rowbytes(png, info);
    uint32_t h = png_get_image_height(png, info);
    img->resize(stride * h);
    rows->resize(h);
    for (uint32_t y = 0; y < h; y++) (*rows)[y] = img->data() + y * stride;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return 1;
}

// Decodes every frame into one image buffer; returns a checksum so the work
// cannot be optimised away.
uint32_t decodeall(const fs::path& dir) {
    uint32_t sum = 0;
    std::vector<uint8_t> img;
    std::vector<png_bytep> rows;
    for (int i = 0; i < kFrames; i++) {
        if (!decodeone((dir / framename(i)).string().c_str(), &img, &rows)) std::exit(1);
        sum += img[img.size() / 2];
    }
    return sum;
}

double seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

void nosleep(uint32_t) {}

}  // namespace

int main(int argc, char** argv) {
    // The driver in-process, pauses skipped: run as a child of the bench so
    // that its console output can go to /dev/null.
    if (argc >= 3 && std::string(argv[1]) == "--work") {
        std::string prog = (fs::path(argv[2]) / "reelkiln").string();
        char* args[] = {prog.data(), nullptr};
        os_init(1, args);
        g_os.sleep_ms = nosleep;
        if (argc == 4) framethreads = std::atoi(argv[3]);
        return reelkilnmain(1, args, 60.0f, "reelkiln (60 FPS)  V1.04");
    }

    fs::path self = fs::absolute(argv[0]).parent_path();
    fs::path program = argc > 1 ? fs::path(argv[1]) : self / ".." / "movie" / "reelkiln";
    if (!fs::exists(program)) {
        std::fprintf(stderr, "bench_movie_program: no program at %s\n", program.string().c_str());
        return 1;
    }
    const char* env = std::getenv("RK_BENCH_SCENE");
    fs::path dir = env ? fs::path(env) : self / "bench-movie-scene";
    if (!makescene(dir)) {
        std::fprintf(stderr, "bench_movie_program: cannot make the scene in %s\n", dir.string().c_str());
        return 1;
    }
    fs::copy_file(program, dir / "reelkiln", fs::copy_options::overwrite_existing);
    const std::string ffmpeg = "ffmpeg -v error -nostdin -threads 1 -filter_threads 1 -framerate 60 -i " +
                               q(dir / "frame%04d.png") + " -i " + q(dir / "music.wav") +
                               " -threads 1 -c:v rawvideo -pix_fmt bgr24 -c:a copy -y " + q(dir / "ffmpeg.avi");
    // ffmpeg's own choice of threads: the same command without the limits.
    const std::string ffmpegmt = "ffmpeg -v error -nostdin -framerate 60 -i " + q(dir / "frame%04d.png") +
                                 " -i " + q(dir / "music.wav") + " -c:v rawvideo -pix_fmt bgr24 -c:a copy -y " +
                                 q(dir / "ffmpeg.avi");
    const std::string prog = "cd " + q(dir) + " && ./reelkiln > /dev/null";
    const std::string work = q(fs::absolute(argv[0])) + " --work " + q(dir) + " > /dev/null";
    const std::string work1 = q(fs::absolute(argv[0])) + " --work " + q(dir) + " 1 > /dev/null";

    // Every timed run starts alike: no earlier output to delete or truncate
    // (ffmpeg -y would otherwise pay for dropping its last movie from the
    // page cache inside its time), and the movies of the runs before it
    // written out to disk (on Linux), so that no run is slowed by writing
    // back another's pages.
    auto fresh = [&](const char* name) {
        fs::remove(dir / name);
#ifndef _WIN32
        if (std::system("sync") != 0) std::fprintf(stderr, "bench_movie_program: sync failed\n");
#endif
    };

    double best[6] = {1e30, 1e30, 1e30, 1e30, 1e30, 1e30};
    bool ffmpegok = true, ffmpegmtok = true;
    uint32_t sum = 0;
    decodeall(dir);  // warms the page cache
    for (int round = 0; round < kRounds; round++) {
        fresh("movie.avi");
        auto t0 = std::chrono::steady_clock::now();
        sum += decodeall(dir);
        best[0] = std::min(best[0], seconds(t0));

        fresh("movie.avi");
        t0 = std::chrono::steady_clock::now();
        if (std::system(prog.c_str()) != 0) {
            std::fprintf(stderr, "bench_movie_program: reelkiln failed\n");
            return 1;
        }
        best[1] = std::min(best[1], seconds(t0));

        fresh("movie.avi");
        t0 = std::chrono::steady_clock::now();
        if (std::system(work.c_str()) != 0) {
            std::fprintf(stderr, "bench_movie_program: the in-process run failed\n");
            return 1;
        }
        best[2] = std::min(best[2], seconds(t0));

        fresh("movie.avi");
        t0 = std::chrono::steady_clock::now();
        if (std::system(work1.c_str()) != 0) {
            std::fprintf(stderr, "bench_movie_program: the one-thread run failed\n");
            return 1;
        }
        best[5] = std::min(best[5], seconds(t0));

        fresh("ffmpeg.avi");
        t0 = std::chrono::steady_clock::now();
        if (std::system(ffmpeg.c_str()) != 0) ffmpegok = false;
        best[3] = std::min(best[3], seconds(t0));

        fresh("ffmpeg.avi");
        t0 = std::chrono::steady_clock::now();
        if (std::system(ffmpegmt.c_str()) != 0) ffmpegmtok = false;
        best[4] = std::min(best[4], seconds(t0));
    }
    fs::remove(dir / "ffmpeg.avi");
    fs::remove(dir / "movie.avi");

    std::printf("%d frames of %dx%d RGB and %d s of 16-bit stereo sound (checksum %u)\n", kFrames, kW, kH,
                kSeconds, sum);
    std::printf("  decode   (libpng only)         %7.3f s\n", best[0]);
    std::printf("  reelkiln (the program)         %7.3f s   %.2f x decode\n", best[1], best[1] / best[0]);
    std::printf("  work     (pauses skipped)      %7.3f s   %.2f x decode\n", best[2], best[2] / best[0]);
    std::printf("  work/1   (the same, one thread) %6.3f s   %.2f x decode\n", best[5], best[5] / best[0]);
    if (ffmpegok) {
        std::printf("  ffmpeg   (-threads 1)          %7.3f s   %.2f x decode\n", best[3], best[3] / best[0]);
        std::printf("  reelkiln / ffmpeg %.2f   work / ffmpeg %.2f\n", best[1] / best[3], best[2] / best[3]);
    } else {
        std::printf("  ffmpeg   failed or missing\n");
    }
    if (ffmpegmtok) {
        std::printf("  ffmpeg*  (default threads)     %7.3f s   %.2f x decode\n", best[4], best[4] / best[0]);
        std::printf("  reelkiln / ffmpeg* %.2f   work / ffmpeg* %.2f\n", best[1] / best[4], best[2] / best[4]);
    } else {
        std::printf("  ffmpeg*  (default threads) failed or missing\n");
    }
    return 0;
}
