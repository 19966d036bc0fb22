// edit_fixture.h - what the frame-writing tests share: an image as four
// planes, the program's movie of a list of one image, and a FILE that takes
// a limited number of bytes (a disk that fills).
#ifndef REELKILN_TESTS_AVITOOL_EDIT_FIXTURE_H
#define REELKILN_TESTS_AVITOOL_EDIT_FIXTURE_H

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "avitool_fixtures.h"

namespace editfix {

// An image as the four planes the toolkit takes (row 0 at the top).
struct planes {
    int w = 0, h = 0;
    std::vector<uint8_t> R, G, B, A;
    explicit planes(const moviefix::image& im) : w(im.w), h(im.h) {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const uint8_t* p = im.at(x, y);
                R.push_back(p[0]);
                G.push_back(p[1]);
                B.push_back(p[2]);
                A.push_back(p[3]);
            }
    }
};

// The program's movie (60 fps, no sound) of a list naming im n times.
inline std::vector<uint8_t> programmovie(const moviefix::scene& sc, const moviefix::image& im, int n) {
    sc.png("one.png", im);
    std::string list;
    for (int i = 0; i < n; i++) list += "one.png\r\n";
    sc.put("list.txt", list);
    int r = 0;
    std::string out = moviefix::capture(
        [&] { r = mkavi1(sc.path("prog.avi").c_str(), sc.path("list.txt").c_str(), 60.0f, ""); });
    if (r != 0) throw std::runtime_error("the writer failed: " + out);
    return sc.get("prog.avi");
}

#ifdef __linux__
// g_os.fopen for names that end in g_fullname: the real file, of which only
// the first budget bytes reach the disk; later writes fail as a full disk.
struct fullfile {
    FILE* real;
    size_t left;
};
inline size_t g_budget = 0;

inline ssize_t fullwrite(void* c, const char* buf, size_t n) {
    fullfile* f = static_cast<fullfile*>(c);
    if (f->left == 0) {
        errno = ENOSPC;
        return -1;
    }
    size_t k = n < f->left ? n : f->left;
    size_t put = std::fwrite(buf, 1, k, f->real);
    f->left -= put;
    return (ssize_t)put;
}
inline int fullclose(void* c) {
    fullfile* f = static_cast<fullfile*>(c);
    int r = std::fclose(f->real);
    delete f;
    return r;
}
inline std::string g_fullname = "full.avi";  // the names that end so
inline FILE* fullfopen(const char* name, const char* mode) {
    std::string s(name);
    const std::string& f = g_fullname;
    if (s.size() < f.size() || s.compare(s.size() - f.size(), f.size(), f) != 0 || mode[0] != 'w')
        return os_native.fopen(name, mode);
    FILE* real = os_native.fopen(name, mode);
    if (!real) return nullptr;
    cookie_io_functions_t io{nullptr, fullwrite, nullptr, fullclose};
    return fopencookie(new fullfile{real, g_budget}, mode, io);
}
#endif

}  // namespace editfix

#endif
