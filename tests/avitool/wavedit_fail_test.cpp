// The audio edits when the disk fills or the process is killed: the old
// movie stays, or the new one takes its place whole; nothing in between.

#include <gtest/gtest.h>

#include "avitool_fixtures.h"

using namespace avifix;

#ifndef _WIN32

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

// ---- A disk that fills: the temporary file takes `budget` bytes, then
// every write fails as a full disk does.

struct budgetfile {
    FILE* real;
    int64_t left;
};
int64_t g_budget = 0;

ssize_t budget_write(void* c, const char* buf, size_t n) {
    auto* b = static_cast<budgetfile*>(c);
    size_t k = n > (size_t)b->left ? (size_t)b->left : n;
    if (k) {
        k = std::fwrite(buf, 1, k, b->real);
        b->left -= (int64_t)k;
    }
    if (k < n) {
        errno = ENOSPC;
        return k ? (ssize_t)k : -1;
    }
    return (ssize_t)n;
}
int budget_close(void* c) {
    auto* b = static_cast<budgetfile*>(c);
    int r = std::fclose(b->real);
    delete b;
    return r;
}
FILE* budget_fopen(const char* name, const char* mode) {
    FILE* f = os_native.fopen(name, mode);
    if (!f || !std::strstr(name, "~qeltmp.avi") || !std::strchr(mode, 'w')) return f;
    cookie_io_functions_t io = {nullptr, budget_write, nullptr, budget_close};
    return fopencookie(new budgetfile{f, g_budget}, mode, io);
}

struct result {
    int r = 0;
    std::string out;
};
TEST(WavEditFailures, FullDiskLeavesTheMovie) {
    scene sc;
    makemovie(sc, "m.avi", {16, 8, 5, false, 3001, false});
    makemovie(sc, "n.avi", {16, 8, 5, false, 0, false});
    sc.put("s.wav", soundof(3001).file);
    const auto m = sc.get("m.avi"), n = sc.get("n.avi");
    struct editcase {
        const char* name;
        const std::vector<uint8_t>* movie;
        std::function<int()> run;
    } edits[] = {
        {"remove", &m, [&] { return aviremovewav(sc.path("m.avi").c_str()); }},
        {"append", &n, [&] { return aviappendwav(sc.path("n.avi").c_str(), sc.path("s.wav").c_str(), 0); }},
    };
    for (const editcase& e : edits) {
        // The edited movie's length, from an edit that is let through.
        std::string name = std::string(e.name) == "remove" ? "m.avi" : "n.avi";
        int r = 0;
        moviefix::capture([&] { r = e.run(); });
        ASSERT_EQ(r, 0);
        const int64_t out = (int64_t)sc.get(name).size();
        os_api saved = g_os;
        g_os.fopen = budget_fopen;
        for (int64_t budget : {(int64_t)0, (int64_t)100, (int64_t)2100, out / 2, out - 512, out - 1}) {
            SCOPED_TRACE(std::string(e.name) + ", budget " + std::to_string(budget) + " of " + std::to_string(out));
            sc.put(name, *e.movie);
            g_budget = budget;
            std::string text = moviefix::capture([&] { r = e.run(); });
            EXPECT_NE(r, 0) << text;
            EXPECT_EQ(sc.get(name), *e.movie);
            EXPECT_FALSE(sc.exists("~qeltmp.avi"));
        }
        g_os = saved;
    }
}

// ---- Real kills of the test driver at fixed points and at random moments.

std::string driver() { return RK_AVITOOL_DRIVER; }

TEST(WavEditFailures, KilledEditLeavesTheOldMovieOrTheNewOne) {
    scene sc;
    makemovie(sc, "orig.avi", {160, 120, 30, false, 96000, false});
    const auto old = sc.get("orig.avi");
    sc.put("m.avi", old);
    result x;
    x.out = moviefix::capture([&] { x.r = aviremovewav(sc.path("m.avi").c_str()); });
    ASSERT_EQ(x.r, 0) << x.out;
    const auto edited = sc.get("m.avi");
    ASSERT_NE(edited, old);

    struct stop {
        const char* at;
        bool newmovie;
    };
    for (stop s : {stop{"created", false}, stop{"replace", false}, stop{"replaced", true}}) {
        SCOPED_TRACE(s.at);
        sc.put("m.avi", old);
        int rc = e2e::sh(e2e::quote(driver()) + " remove " + e2e::quote(sc.path("m.avi")) + " " + s.at + " >/dev/null",
                         sc.root());
        EXPECT_EQ(rc, 128 + 9);  // SIGKILL
        EXPECT_EQ(sc.get("m.avi"), s.newmovie ? edited : old);
    }
    // Kills at moments spread over the edit: whatever the moment, the movie
    // is whole, old or new.
    int olds = 0, news = 0;
    for (const char* delay : {"0", "0.002", "0.005", "0.01", "0.02", "0.04", "0.08", "0.2"}) {
        SCOPED_TRACE(delay);
        sc.put("m.avi", old);
        e2e::sh("(" + e2e::quote(driver()) + " remove " + e2e::quote(sc.path("m.avi")) +
                    " >/dev/null & p=$!; sleep " + delay + "; kill -9 $p; wait $p) 2>/dev/null",
                sc.root());
        auto now = sc.get("m.avi");
        EXPECT_TRUE(now == old || now == edited) << "a movie of " << now.size() << " bytes";
        olds += now == old;
        news += now == edited;
    }
    EXPECT_EQ(olds + news, 8);
}

}  // namespace

#endif
