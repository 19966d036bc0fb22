// posix_console_test.cpp - the key poll on POSIX: the byte-sequence decoder
// over a table, the whole poll once through a pseudo-terminal (raw mode, no
// echo, keys and sequences, Ctrl-C through the line discipline, the terminal
// put back at exit and on a fatal signal), the Ctrl-C latch, and the promise
// never to read a standard input that is not a terminal.
//
// Everything that touches standard input or signals runs in a child process,
// so the test program itself never changes its terminal or its handlers.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix_internal.h"

using namespace platform_detail;

namespace {

// These tests send Ctrl-C as a signal and expect the platform's handler to
// take it.  A shell without job control starts background commands with
// SIGINT ignored, and the platform rightly leaves an ignored SIGINT alone
// (as nohup asks), so a test program started that way would see no Ctrl-C:
// put the default back before any test runs, as CTest's own launcher does.
[[maybe_unused]] const bool g_sigint_default = std::signal(SIGINT, SIG_DFL) != SIG_ERR;

TEST(KeyDecoder, Table) {
    struct Case {
        const char* label;
        std::string bytes;
        bool at_end;
        size_t consumed;
        int key;
    } cases[] = {
        {"nothing", "", true, 0, 0},
        {"letter", "a", false, 1, 'a'},
        {"letter then more", "ab", false, 1, 'a'},
        {"high byte is signed", "\xE9", false, 1, -23},
        {"byte 0xFF", "\xFF", false, 1, -1},
        {"DEL", "\x7F", false, 1, 127},
        {"NUL has no character", std::string(1, '\0'), false, 1, 0},
        {"Enter", "\r", false, 1, 13},
        {"ESC alone, more may come", "\x1B", false, 0, 0},
        {"ESC alone at the end", "\x1B", true, 1, 27},
        {"ESC then a letter", "\x1Bx", false, 1, 27},
        {"ESC ESC", "\x1B\x1B", false, 1, 27},
        {"arrow up", "\x1B[A", false, 3, 0},
        {"arrow then letter", "\x1B[Dz", false, 3, 0},
        {"ctrl-right", "\x1B[1;5C", false, 6, 0},
        {"F5", "\x1B[15~", false, 5, 0},
        {"SGR mouse", "\x1B[<0;12;7M", false, 10, 0},
        {"CSI unfinished", "\x1B[12", false, 0, 0},
        {"CSI unfinished at the end", "\x1B[12", true, 4, 0},
        {"CSI opened only", "\x1B[", false, 0, 0},
        {"CSI opened only at the end", "\x1B[", true, 2, 0},
        {"CSI broken by ESC", "\x1B[1\x1B[A", false, 3, 0},
        {"CSI broken by a control", "\x1B[1\x01", false, 3, 0},
        {"SS3 F1", "\x1BOP", false, 3, 0},
        {"SS3 unfinished", "\x1BO", false, 0, 0},
        {"SS3 unfinished at the end", "\x1BO", true, 2, 0},
        {"console F1", "\x1B[[A", false, 4, 0},
        {"console F1 unfinished", "\x1B[[", false, 0, 0},
        {"console F1 unfinished at the end", "\x1B[[", true, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        key_event ev = decode_key((const uint8_t*)c.bytes.data(), c.bytes.size(), c.at_end);
        EXPECT_EQ(ev.consumed, c.consumed);
        EXPECT_EQ(ev.key, c.key);
    }
}

// Waits for a child and returns its wait status.
int reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

// Reads exactly n bytes from fd, giving up after 120 s without progress (a
// guard against a hung child, not a measurement).
bool read_all(int fd, void* buf, size_t n) {
    uint8_t* p = (uint8_t*)buf;
    while (n > 0) {
        struct pollfd pf = {fd, POLLIN, 0};
        if (poll(&pf, 1, 120000) <= 0) return false;
        ssize_t r = read(fd, p, n);
        if (r <= 0) return false;
        p += r;
        n -= (size_t)r;
    }
    return true;
}

// The child's side of the terminal test: report every event as an int on
// `out` until the key 'Q' arrives, then leave through exit so that the exit
// handlers run.
[[noreturn]] void poll_keys(int out) {
    char* argv[] = {(char*)"keys", nullptr};
    os_init(1, argv);
    int key = 0;
    if (g_os.console_event(&key) != 0) _exit(20);  // sets the terminal up; nothing waits yet
    if (write(out, "R", 1) != 1) _exit(21);
    for (;;) {
        if (g_os.console_event(&key) != 1) {
            g_os.sleep_ms(1);
            continue;
        }
        if (write(out, &key, sizeof key) != (ssize_t)sizeof key) _exit(22);
        if (key == 'Q') exit(0);
    }
}

class Terminal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(pipe(report), 0);
        pid = forkpty(&master, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(report[0]);
            poll_keys(report[1]);
        }
        close(report[1]);
        // Our own look at the same terminal, to see its modes.
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        char r = 0;
        ASSERT_TRUE(read_all(report[0], &r, 1));
        ASSERT_EQ(r, 'R');
    }
    void TearDown() override {
        if (pid > 0) { kill(pid, SIGKILL); reap(pid); }
        close(report[0]);
        close(master);
        if (slave >= 0) close(slave);
    }
    std::vector<int> send(const std::string& bytes, size_t events) {
        EXPECT_EQ(write(master, bytes.data(), bytes.size()), (ssize_t)bytes.size());
        std::vector<int> keys(events);
        for (size_t i = 0; i < events; i++)
            if (!read_all(report[0], &keys[i], sizeof(int))) { ADD_FAILURE() << "no event"; keys.resize(i); break; }
        return keys;
    }
    bool echoed() {
        struct pollfd pf = {master, POLLIN, 0};
        return poll(&pf, 1, 0) > 0;
    }
    int report[2] = {-1, -1};
    int master = -1, slave = -1;
    pid_t pid = -1;
};

TEST_F(Terminal, KeysSequencesAndCtrlC) {
    struct termios t;
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);  // raw, no echo
    EXPECT_NE(t.c_lflag & ISIG, 0u);             // Ctrl-C still a signal

    struct Case { const char* label; std::string bytes; std::vector<int> keys; } cases[] = {
        {"lone ESC", "\x1B", {27}},
        {"a letter", "a", {'a'}},
        {"arrow up", "\x1B[A", {0}},
        {"F1 (xterm)", "\x1BOP", {0}},
        {"F5", "\x1B[15~", {0}},
        {"F1 (console)", "\x1B[[A", {0}},
        {"ctrl-right", "\x1B[1;5C", {0}},
        {"two letters", "xy", {'x', 'y'}},
        {"Enter", "\r", {13}},
        {"UTF-8 bytes", "\xC3\xA9", {-61, -87}},
        {"ESC then a letter", "\x1Bx", {27, 'x'}},
        {"arrow then ESC", "\x1B[B\x1B", {0, 27}},
        {"Ctrl-C", "\x03", {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(send(c.bytes, c.keys.size()), c.keys);
        EXPECT_FALSE(echoed());
    }
    EXPECT_EQ(send("Q", 1), std::vector<int>{'Q'});
    int status = reap(pid);
    pid = -1;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), (tcflag_t)(ICANON | ECHO));  // put back at exit
    EXPECT_NE(t.c_iflag & ICRNL, 0u);
}

TEST_F(Terminal, FatalSignalRestoresTheTerminalAndStillKills) {
    EXPECT_EQ(send("k", 1), std::vector<int>{'k'});
    kill(pid, SIGTERM);
    int status = reap(pid);
    pid = -1;
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    struct termios t;
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), (tcflag_t)(ICANON | ECHO));
}

// The frame loops poll once a row; the terminal itself is looked at only
// when OS_CONSOLE_LOOK_MS have passed on the clock since a look that found
// nothing, while a Ctrl-C comes at every call.  The child's clock is the
// test's: a key that waits on the terminal is not seen a millisecond too
// early, and is seen as soon as the time is up.
uint64_t g_fake_ms = 0;
uint64_t fake_tick() { return g_fake_ms; }

TEST(Poll, LooksAtTheTerminalOnlyEveryFewMilliseconds) {
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(go[1]);
        char* argv[] = {(char*)"keys", nullptr};
        os_init(1, argv);
        g_os.tick_ms = fake_tick;
        g_fake_ms = 5000;
        int key = 0;
        if (g_os.console_event(&key) != 0) _exit(10);  // sets the terminal up, finds nothing
        char c;
        if (read(go[0], &c, 1) != 1) _exit(11);        // the parent has typed 'a'
        struct pollfd pf = {STDIN_FILENO, POLLIN, 0};
        if (poll(&pf, 1, 120000) != 1) _exit(12);      // and it waits on the terminal
        g_fake_ms = 5000 + OS_CONSOLE_LOOK_MS - 1;
        if (g_os.console_event(&key) != 0) _exit(13);  // too early: not looked at
        raise(SIGINT);
        key = 0;
        if (g_os.console_event(&key) != 1 || key != 3) _exit(14);  // Ctrl-C does not wait
        g_fake_ms = 5000 + OS_CONSOLE_LOOK_MS;
        key = 0;
        if (g_os.console_event(&key) != 1 || key != 'a') _exit(15);
        _exit(0);
    }
    close(go[0]);
    char r = 0;
    // The key goes in only once the child has made the terminal raw (a
    // canonical terminal would hold it until a line end).
    struct termios t;
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    // Two minutes at most: a guard against a child that never gets there.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        ASSERT_EQ(tcgetattr(slave, &t), 0);
        if (!(t.c_lflag & ICANON)) break;
        ASSERT_LT(std::chrono::steady_clock::now(), end) << "the child never made the terminal raw";
        usleep(1000);
    }
    ASSERT_EQ(write(master, "a", 1), 1);
    r = 'g';
    ASSERT_EQ(write(go[1], &r, 1), 1);
    int status = reap(pid);
    close(go[1]);
    close(slave);
    close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Runs `body` in a child whose standard input is `stdin_fd` and returns its
// wait status; the body's exit code says what went wrong.
template <class Body>
int in_child(int stdin_fd, Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        if (stdin_fd >= 0) dup2(stdin_fd, STDIN_FILENO);
        _exit(body());
    }
    return reap(pid);
}

int devnull() { return open("/dev/null", O_RDONLY); }

TEST(CtrlC, LatchesThreeOnTheNextPoll) {
    int fd = devnull();
    int status = in_child(fd, [] {
        char* argv[] = {(char*)"x", nullptr};
        os_init(1, argv);
        int key = 0;
        if (g_os.console_event(&key) != 0) return 1;
        raise(SIGINT);
        if (g_os.console_event(&key) != 1 || key != 3) return 2;
        if (g_os.console_event(&key) != 0) return 3;  // taken once
        raise(SIGINT);  // a new one after the first was taken: latched again
        if (g_os.console_event(&key) != 1 || key != 3) return 4;
        return 0;
    });
    close(fd);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CtrlC, SecondOneBeforeThePollEndsTheProcess) {
    int fd = devnull();
    int status = in_child(fd, [] {
        char* argv[] = {(char*)"x", nullptr};
        os_init(1, argv);
        raise(SIGINT);
        raise(SIGINT);
        return 9;
    });
    close(fd);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

TEST(CtrlC, IgnoredStaysIgnored) {
    int fd = devnull();
    int status = in_child(fd, [] {
        signal(SIGINT, SIG_IGN);
        char* argv[] = {(char*)"x", nullptr};
        os_init(1, argv);
        raise(SIGINT);
        raise(SIGINT);
        int key = 0;
        return g_os.console_event(&key) == 0 ? 0 : 1;
    });
    close(fd);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Poll, NeverReadsAPipeOrAFile) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    ASSERT_EQ(write(p[1], "\x1B" "abc", 4), 4);
    close(p[1]);
    int status = in_child(p[0], [] {
        int key = 0;
        for (int i = 0; i < 3; i++)
            if (g_os.console_event(&key) != 0) return 1;
        g_os.pump_messages();
        char buf[8];
        return read(STDIN_FILENO, buf, sizeof buf) == 4 && memcmp(buf, "\x1B" "abc", 4) == 0 ? 0 : 2;
    });
    close(p[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    int status2 = in_child(-1, [] {
        close(STDIN_FILENO);  // no standard input at all
        int key = 0;
        return g_os.console_event(&key) == 0 ? 0 : 1;
    });
    ASSERT_TRUE(WIFEXITED(status2));
    EXPECT_EQ(WEXITSTATUS(status2), 0);
}

}  // namespace

#endif
