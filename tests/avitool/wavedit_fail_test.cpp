// The audio edits when the disk fills or the process is killed: the old
// movie stays, or the new one takes its place whole; nothing in between.

#include <gtest/gtest.h>

#include "avitool_fixtures.h"

using namespace avifix;

#ifndef _WIN32

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

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
    sc.put("t.wav", soundof(6002, 4).file);
    sc.put("r.avi", sc.get("m.avi"));
    const auto m = sc.get("m.avi"), n = sc.get("n.avi");
    struct editcase {
        const char* name;
        const char* file;
        const std::vector<uint8_t>* movie;
        std::function<int()> run;
    } edits[] = {
        {"remove", "m.avi", &m, [&] { return aviremovewav(sc.path("m.avi").c_str()); }},
        {"append", "n.avi", &n, [&] { return aviappendwav(sc.path("n.avi").c_str(), sc.path("s.wav").c_str(), 0); }},
        // A larger sound in place of the old: every budget that the movie
        // without sound fits in but the new one does not.
        {"replace", "r.avi", &m, [&] { return aviappendwav(sc.path("r.avi").c_str(), sc.path("t.wav").c_str(), 1); }},
    };
    for (const editcase& e : edits) {
        // The edited movie's length, from an edit that is let through.
        std::string name = e.file;
        int r = 0;
        moviefix::capture([&] { r = e.run(); });
        ASSERT_EQ(r, 0);
        const int64_t out = (int64_t)sc.get(name).size();
        os_api saved = g_os;
        g_os.fopen = budget_fopen;
        for (int64_t budget : {(int64_t)0, (int64_t)100, (int64_t)2100, out / 2, std::max<int64_t>(0, out - 6000), out - 512, out - 1}) {
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

// Runs a driver command line that stops with a kill; its exit status (128 + 9
// for SIGKILL).  A shell that waits for a child killed by a signal reports it
// ("Killed") on the standard error it has then, which would be the test's
// log: the driver runs in the background with the test's standard error,
// and the shell waits for it with its own on /dev/null.
int shkilled(const std::string& cmd, const std::filesystem::path& dir) {
    return e2e::sh("exec 3>&2 2>/dev/null; " + cmd + " 2>&3 3>&- & wait $!", dir);
}

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
        int rc = shkilled(e2e::quote(driver()) + " remove " + e2e::quote(sc.path("m.avi")) + " " + s.at + " >/dev/null",
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


// Replacing the sound, killed at moments spread over the whole edit: the
// movie is the old one or the new one, never one without any sound.
struct replacekill {
    scene sc;
    std::vector<uint8_t> old, edited;
    long writes = 0;
    std::string run(const std::string& stop) const {
        return e2e::quote(driver()) + " append " + e2e::quote(sc.path("m.avi")) + " " + e2e::quote(sc.path("s.wav")) +
               " 1 " + stop;
    }
};

void makereplacekill(replacekill& k) {
    makemovie(k.sc, "orig.avi", {160, 120, 30, false, 96000, false});
    k.sc.put("s.wav", soundof(192000, 9).file);  // larger than the old sound
    k.old = k.sc.get("orig.avi");
    k.sc.put("m.avi", k.old);
    std::string counted = k.sc.path("writes.txt");
    ASSERT_EQ(e2e::sh(k.run("count") + " >/dev/null 2>" + e2e::quote(counted), k.sc.root()), 16);
    std::string text = e2e::slurp(moviefix::fspath(counted));
    ASSERT_EQ(text.rfind("writes ", 0), 0u) << text;
    k.writes = std::atol(text.c_str() + 7);
    k.edited = k.sc.get("m.avi");
    ASSERT_NE(k.edited, k.old);
    ASSERT_GT(k.writes, 100);  // enough moments to choose from
}

TEST(WavEditFailures, KilledReplacementLeavesTheOldMovieOrTheNewOne) {
    replacekill k;
    makereplacekill(k);
    if (HasFatalFailure()) return;
    scene& sc = k.sc;
    struct stop {
        const char* at;
        bool newmovie;
    };
    for (stop s : {stop{"created", false}, stop{"replace", false}, stop{"replaced", true}}) {
        SCOPED_TRACE(s.at);
        sc.put("m.avi", k.old);
        EXPECT_EQ(shkilled(k.run(s.at) + " >/dev/null", sc.root()), 128 + 9);
        EXPECT_EQ(sc.get("m.avi"), s.newmovie ? k.edited : k.old);
    }
    // 36 write counts, one in each stretch of the edit's writes (the last
    // write is the replace), at a random place in it.  Every write comes
    // before the replace, so the movie is the old one each time.
    std::mt19937 rng(20240611u);
    const int moments = 36;
    for (int i = 0; i < moments; i++) {
        long lo = 1 + (long)((int64_t)i * k.writes / moments), hi = (long)((int64_t)(i + 1) * k.writes / moments);
        long at = std::uniform_int_distribution<long>(lo, std::max(lo, hi))(rng);
        SCOPED_TRACE("write " + std::to_string(at) + " of " + std::to_string(k.writes));
        sc.put("m.avi", k.old);
        EXPECT_EQ(shkilled(k.run("write:" + std::to_string(at)) + " >/dev/null", sc.root()), 128 + 9);
        auto now = sc.get("m.avi");
        EXPECT_TRUE(now == k.old) << (now == k.edited ? "the new movie" : "a movie of " + std::to_string(now.size()) + " bytes");
    }
    // And real kills after random delays: old or new, whichever the moment.
    int whole = 0;
    for (int i = 0; i < 8; i++) {
        double delay = std::uniform_real_distribution<double>(0.0, 0.15)(rng);
        SCOPED_TRACE("after " + std::to_string(delay) + " s");
        sc.put("m.avi", k.old);
        e2e::sh("(" + k.run("") + " >/dev/null & p=$!; sleep " + std::to_string(delay) + "; kill -9 $p; wait $p) 2>/dev/null",
                sc.root());
        auto now = sc.get("m.avi");
        EXPECT_TRUE(now == k.old || now == k.edited) << "a movie of " << now.size() << " bytes";
        whole += now == k.old || now == k.edited;
    }
    EXPECT_EQ(whole, 8);
}

// Under a file-size limit the temporary file cannot reach the new movie's
// size: the replacement fails with a result (SIGXFSZ ignored, so the write
// fails with EFBIG instead of killing) and the movie is the old one.  At the
// new size itself the replacement goes through.
TEST(WavEditFailures, FileSizeLimitLeavesTheOldMovie) {
    replacekill k;
    makereplacekill(k);
    if (HasFatalFailure()) return;
    scene& sc = k.sc;
    if (e2e::sh("command -v prlimit >/dev/null", sc.root()) != 0) GTEST_SKIP() << "no prlimit";
    const int64_t out = (int64_t)k.edited.size();
    // What the movie without its sound takes: a limit above it let the old
    // two-step replacement remove the sound and fail to add the new one.
    const int64_t unsounded = (int64_t)k.old.size() - 96000;
    for (int64_t limit : {out - 1, out - 512, out - 8192, (unsounded + out) / 2, unsounded, out / 3, (int64_t)1, out}) {
        SCOPED_TRACE("limit " + std::to_string(limit) + " of " + std::to_string(out));
        sc.put("m.avi", k.old);
        int rc = e2e::sh("trap '' XFSZ; prlimit --fsize=" + std::to_string(limit) + " " + k.run("") + " >/dev/null",
                         sc.root());
        if (limit >= out) {
            EXPECT_EQ(rc, 16);
            EXPECT_EQ(sc.get("m.avi"), k.edited);
        } else {
            EXPECT_GT(rc, 16);   // a failure result (the edit's result + 16),
            EXPECT_LT(rc, 128);  // not a signal
            EXPECT_EQ(sc.get("m.avi"), k.old);
        }
        EXPECT_FALSE(sc.exists("~qeltmp.avi"));
    }
}

// An edit made as root on another user's movie: the new movie is theirs
// still (owner, group and mode), not root's.
TEST(EditOwner, AnEditAsRootKeepsTheMoviesOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: only root can edit a movie of another user's and give it back";
    scene sc;
    makemovie(sc, "m.avi", {6, 4, 2, false, 800, false});
    const std::string m = sc.path("m.avi");
    ASSERT_EQ(chown(m.c_str(), 4242, 4343), 0);
    ASSERT_EQ(chmod(m.c_str(), 0640), 0);
    const auto old = sc.get("m.avi");
    int r = -100;
    std::string out = moviefix::capture([&] { r = aviremovewav(m.c_str()); });
    ASSERT_EQ(r, 0) << out;
    ASSERT_NE(sc.get("m.avi"), old);
    struct stat st;
    ASSERT_EQ(stat(m.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4242u);
    EXPECT_EQ(st.st_gid, 4343u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace

#endif
