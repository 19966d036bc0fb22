// posix_files_test.cpp - what the POSIX side adds to the file services: the
// errno mapping, names that have no UTF-8 spelling, a full disk, a file-size
// limit that cuts a write short, FIFOs, creation modes and close-on-exec,
// device nodes that remove refuses.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix_internal.h"
#include "testutil.h"

namespace fs = std::filesystem;
using namespace platform_detail;
using testutil::TempDir;

namespace {

class PosixFiles : public ::testing::Test {
protected:
    void SetUp() override {
        g_os = os_native;
        fs::create_directories(dir.path() / "a" / "b");
        testutil::write_file(dir.path() / "a" / "f", "x");
    }
    std::string at(const char* rel) const { return dir.str() + "/" + rel; }
    TempDir dir;
};

TEST_F(PosixFiles, ErrnoMapsToWindowsCodes) {
    struct Case { int e; const char* rel; uint32_t want; } cases[] = {
        {ENOENT, "a/missing", OS_ERR_FILE_NOT_FOUND},
        {ENOENT, "a/b/missing", OS_ERR_FILE_NOT_FOUND},
        {ENOENT, "a/b/", OS_ERR_FILE_NOT_FOUND},
        {ENOENT, "none/missing", OS_ERR_PATH_NOT_FOUND},
        {ENOENT, "a/none/x/missing", OS_ERR_PATH_NOT_FOUND},
        {ENOENT, "a/f/missing", OS_ERR_PATH_NOT_FOUND},  // parent is a file
        {ENOTDIR, "a/f/x", OS_ERR_PATH_NOT_FOUND},
        {EACCES, "a/f", OS_ERR_ACCESS_DENIED},
        {EPERM, "a/f", OS_ERR_ACCESS_DENIED},
        {EISDIR, "a", OS_ERR_ACCESS_DENIED},
        {EROFS, "a/f", OS_ERR_ACCESS_DENIED},
        {EBADF, "a/f", OS_ERR_INVALID_HANDLE},
        {ETXTBSY, "a/f", OS_ERR_SHARING},
        {ENOSPC, "a/f", OS_ERR_DISK_FULL},
        {EDQUOT, "a/f", OS_ERR_DISK_FULL},
        {EFBIG, "a/f", OS_ERR_DISK_FULL},
        {EIO, "a/f", OS_ERR_OTHER},
        {EMFILE, "a/f", OS_ERR_OTHER},
    };
    for (const Case& c : cases) {
        std::string p = at(c.rel);
        SCOPED_TRACE(std::to_string(c.e) + " " + c.rel);
        EXPECT_EQ(map_errno(c.e, p.c_str()), c.want);
    }
    // Relative names: the parent of a bare name is the current directory.
    EXPECT_EQ(map_errno(ENOENT, "no-such-file-here"), (uint32_t)OS_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(map_errno(ENOENT, "no-such-dir-here/x"), (uint32_t)OS_ERR_PATH_NOT_FOUND);
    EXPECT_EQ(map_errno(ENOENT, ""), (uint32_t)OS_ERR_PATH_NOT_FOUND);
    EXPECT_EQ(map_errno(ENOENT, nullptr), (uint32_t)OS_ERR_FILE_NOT_FOUND);
}

TEST_F(PosixFiles, FullDiskIs112) {
    os_file f = g_os.openW(u"/dev/full", OS_OPEN_WRITE);
    ASSERT_NE(f, nullptr);
    char buf[100] = {};
    uint32_t put = 77;
    EXPECT_EQ(g_os.write(f, buf, sizeof buf, &put), 0);
    EXPECT_EQ(put, 0u);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_DISK_FULL);
    EXPECT_EQ(g_os.close(f), 1);
    f = g_os.openW(u"\\dev\\full", OS_CREATE_WRITE);  // the device is not emptied or replaced
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(g_os.write(f, buf, 1, &put), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_DISK_FULL);
    g_os.close(f);
}

// The runtime's calls say 112 as well: the flush that meets the full device,
// an unbuffered write, and the close that still had bytes to write out.
TEST_F(PosixFiles, FullDiskIs112ThroughTheRuntimeCalls) {
    FILE* fp = g_os.fopen("/dev/full", "wb");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(g_os.fwrite("abc", 1, 3, fp), 3u);  // held in the runtime's buffer
    EXPECT_NE(g_os.fflush(fp), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_DISK_FULL);
    setvbuf(fp, nullptr, _IONBF, 0);
    EXPECT_EQ(g_os.fputc('x', fp), EOF);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_DISK_FULL);
    g_os.fclose(fp);
    fp = g_os.fopen("/dev/full", "wb");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(g_os.fputc('y', fp), 'y');
    EXPECT_NE(g_os.fclose(fp), 0);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_DISK_FULL);
}

// A write that the file-size limit cuts short: the bytes that fit are
// reported with 1 and 112 in lasterror; the next write fails with 0.  os_init
// keeps SIGXFSZ from killing the program there.  Runs in a child because the
// limit and the signal are process-wide.
TEST_F(PosixFiles, WriteCutShortReportsTheCountAndDiskFull) {
    std::string name = at("limited.bin");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_DFL);
        char* argv[] = {(char*)"w", nullptr};
        os_init(1, argv);
        struct rlimit rl = {1000, 1000};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(10);
        os_file f = g_os.openW(testutil::u16(name).c_str(), OS_CREATE_WRITE);
        if (!f) _exit(11);
        static char buf[3000];
        uint32_t put = 0;
        if (g_os.write(f, buf, 600, &put) != 1 || put != 600) _exit(12);
        if (g_os.write(f, buf, 3000, &put) != 1 || put != 400) _exit(13);
        if (g_os.lasterror() != OS_ERR_DISK_FULL) _exit(14);
        if (g_os.write(f, buf, 10, &put) != 0 || put != 0) _exit(15);
        if (g_os.lasterror() != OS_ERR_DISK_FULL) _exit(16);
        g_os.close(f);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fs::file_size(name), 1000u);
}

TEST_F(PosixFiles, UnpairedSurrogatesAreRefusedNotMangled) {
    std::u16string base = testutil::u16(dir.str() + "/");
    const char16_t* tails[] = {u"\xD800", u"a\xD83D" "b", u"\xDE00", u"x\xDC00\xD800"};
    for (const char16_t* t : tails) {
        std::u16string name = base + t;
        for (int how : {OS_OPEN_READ, OS_CREATE_WRITE, OS_OPEN_WRITE}) {
            EXPECT_EQ(g_os.openW(name.c_str(), how), nullptr);
            EXPECT_EQ(g_os.lasterror(), (uint32_t)ERR_INVALID_NAME);
        }
    }
    // Nothing was created under any spelling.
    size_t n = 0;
    for (auto& e : fs::directory_iterator(dir.path())) { (void)e; n++; }
    EXPECT_EQ(n, 1u);  // only "a"
}

TEST_F(PosixFiles, FifosAndSocketsAreRefusedWithoutBlocking) {
    std::string fifo = at("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (int how : {OS_OPEN_READ, OS_OPEN_WRITE, OS_CREATE_WRITE}) {
        EXPECT_EQ(g_os.openW(testutil::u16(fifo).c_str(), how), nullptr);
        EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
    }
    for (const char* mode : {"rb", "wb", "ab", "ab+"}) {
        errno = 0;
        EXPECT_EQ(g_os.fopen(fifo.c_str(), mode), nullptr) << mode;
        EXPECT_EQ(errno, EACCES);
        EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
    }
}

// After os_init a closed pipe on standard output is a failed write, not the
// end of the program.
TEST(PosixSignals, ClosedPipeIsAnError) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    close(p[0]);  // nobody will ever read
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);
        char* argv[] = {(char*)"p", nullptr};
        os_init(1, argv);
        ssize_t r = write(p[1], "x", 1);
        _exit(r < 0 && errno == EPIPE ? 0 : 1);
    }
    close(p[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Each os_init sets the dispositions up again from what is in force: a
// process (a forked child, a test after another) that put SIGPIPE, SIGXFSZ
// or SIGINT back to the default and starts again gets the program's
// dispositions, and a SIGPIPE somebody chose to handle is left alone.
TEST(PosixSignals, EveryInitSetsTheDispositionsAgain) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        char* argv[] = {(char*)"s", nullptr};
        os_init(1, argv);
        struct sigaction now;
        for (int round = 0; round < 2; round++) {
            for (int sig : {SIGPIPE, SIGXFSZ, SIGINT}) signal(sig, SIG_DFL);
            os_init(1, argv);
            for (int sig : {SIGPIPE, SIGXFSZ}) {
                if (sigaction(sig, nullptr, &now) != 0 || now.sa_handler != SIG_IGN) _exit(10 + sig);
            }
            if (sigaction(SIGINT, nullptr, &now) != 0 || now.sa_handler == SIG_DFL) _exit(50);
        }
        void (*mine)(int) = [](int) {};
        signal(SIGPIPE, mine);
        os_init(1, argv);
        if (sigaction(SIGPIPE, nullptr, &now) != 0 || now.sa_handler != mine) _exit(60);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PosixFiles, CreatedFilesFollowTheUmaskAndCloseOnExec) {
    for (mode_t mask : {(mode_t)022, (mode_t)077, (mode_t)0}) {
        mode_t old = umask(mask);
        std::string name = at("m") + std::to_string(mask);
        os_file f = g_os.openW(testutil::u16(name).c_str(), OS_CREATE_WRITE);
        umask(old);
        ASSERT_NE(f, nullptr);
        int fd = handle_fd(f);
        EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
        EXPECT_EQ(g_os.close(f), 1);
        struct stat st;
        ASSERT_EQ(stat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << std::oct << mask;
    }
    FILE* fp = g_os.fopen(at("a/f").c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    EXPECT_NE(fcntl(fileno(fp), F_GETFD) & FD_CLOEXEC, 0);
    fclose(fp);
}

// The replace gives the new file the old one's owner and group, so that an
// edit made as root does not take another user's file from them; the
// set-group-id bit that the change of owner clears comes back with the
// mode.  Only root may give a file to another user.
TEST_F(PosixFiles, ReplaceKeepsTheOwnerAndGroup) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: only root can make a file of another user's to replace";
    std::string target = at("owned.bin"), tmp = at("new.tmp");
    testutil::write_file(target, "old");
    testutil::write_file(tmp, "new");
    ASSERT_EQ(chown(target.c_str(), 4242, 4343), 0);
    ASSERT_EQ(chmod(target.c_str(), 02640), 0);
    ASSERT_EQ(g_os.replace(tmp.c_str(), target.c_str()), 1);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4242u);
    EXPECT_EQ(st.st_gid, 4343u);
    EXPECT_EQ(st.st_mode & 07777, 02640u);
    EXPECT_EQ(testutil::read_file(target), std::vector<uint8_t>({'n', 'e', 'w'}));
}

TEST_F(PosixFiles, FopenOfADirectorySetsEisdir) {
    errno = 0;
    EXPECT_EQ(g_os.fopen(at("a").c_str(), "rb"), nullptr);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
    // A refused open of a missing file keeps the runtime's errno.
    errno = 0;
    EXPECT_EQ(g_os.fopen(at("none/x").c_str(), "wb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_PATH_NOT_FOUND);
}

TEST_F(PosixFiles, NoAccessIs5) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    std::string name = at("a/f");
    ASSERT_EQ(chmod(name.c_str(), 0), 0);
    EXPECT_EQ(g_os.openW(testutil::u16(name).c_str(), OS_OPEN_READ), nullptr);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
    EXPECT_EQ(g_os.openW(testutil::u16(name).c_str(), OS_OPEN_WRITE), nullptr);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
    chmod(name.c_str(), 0600);
}

// ---- Name conversion --------------------------------------------------------

TEST(PosixNames, Utf16ToUtf8) {
    struct Case { const char16_t* in; bool slashes; bool ok; const char* want; } cases[] = {
        {u"", true, true, ""},
        {u"a\\b/c", true, true, "a/b/c"},
        {u"a\\b", false, true, "a\\b"},
        {u"\u00e9\u6620\uFFFF", true, true, "\xC3\xA9\xE6\x98\xA0\xEF\xBF\xBF"},
        {u"\U0001F600\U0010FFFF", true, true, "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        {u"\x7F\x80\u07FF\u0800", true, true, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80"},
        {u"a\xD800", true, false, ""},
        {u"\xDC00z", true, false, ""},
        {u"\xD800\xD800\xDC00", true, false, ""},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(utf16_to_utf8(c.in, out, c.slashes), c.ok);
        if (c.ok) { EXPECT_EQ(out, c.want); }
    }
}

TEST(PosixNames, Utf8ToUtf16ReplacesEachBadByte) {
    struct Case { std::string in; std::u16string want; } cases[] = {
        {"", u""},
        {"abc", u"abc"},
        {"\xC3\xA9\xE6\x98\xA0", u"\u00e9\u6620"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\x80", u"\uFFFD"},                              // stray continuation
        {"\xE2\x82", u"\uFFFD\uFFFD"},                    // cut short: one per byte
        {"\xE2\x82" "a", u"\uFFFD\uFFFDa"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                    // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},          // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},          // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(utf8_to_utf16(c.in), c.want) << c.in.size();
}

// Round trip over every scalar value, one at a time and as one long string.
TEST(PosixNames, EveryCodePointRoundTrips) {
    std::u16string all;
    for (char32_t c = 1; c <= 0x10FFFF; c++) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        if (c >= 0x10000) {
            all += (char16_t)(0xD800 + ((c - 0x10000) >> 10));
            all += (char16_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            all += (char16_t)c;
        }
    }
    std::string utf8;
    ASSERT_TRUE(utf16_to_utf8(all.c_str(), utf8, false));
    EXPECT_EQ(utf8.size(), 0x7Fu + 0x780u * 2 + (0xF800u - 0x800u) * 3 + 0x100000u * 4);
    EXPECT_EQ(utf8_to_utf16(utf8), all);
}

// remove takes regular files (and links) only: a device node stays, even
// for a process that could unlink it.  The node is made in the test
// directory (as root only), so a failure here takes nothing else away.
TEST_F(PosixFiles, RemoveRefusesDeviceNodes) {
    std::string node = at("full");
    if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) GTEST_SKIP() << "cannot make a device node here";
    EXPECT_NE(g_os.remove(node.c_str()), 0);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(g_os.lasterror(), (uint32_t)OS_ERR_ACCESS_DENIED);
    EXPECT_TRUE(fs::exists(node));
    EXPECT_EQ(g_os.remove(at("a/f").c_str()), 0);
    EXPECT_FALSE(fs::exists(at("a/f")));
}

}  // namespace

#endif
