// The Linux console dialog: scripted answers through descriptors, runs on
// a pseudo-terminal (modes switched and restored, Ctrl-C, a dialog after a
// cancelled one), and the failure without a terminal.
#if !defined(_WIN32)

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "dialog/dialog.h"
#include "platform/dialog_internal.h"
#include "platform/platform.h"
#include "testutil.h"

namespace {

using platform_detail::console_ask;
using platform_detail::console_dialogA;
using platform_detail::console_dialogW;

const char kImageList[] = "Image Files\0*.BMP;*.PNG\0PNG Files\0*.PNG\0All Files\0*.*\0\0";

// Descriptors for one scripted run: the answers in a pipe whose writing end
// is closed (so the script ends in end of input), the prompts in a file.
struct Script {
    int in = -1, out = -1;
    explicit Script(const std::string& answers) {
        int p[2];
        if (pipe(p) != 0) throw std::runtime_error("pipe");
        if (::write(p[1], answers.data(), answers.size()) != (ssize_t)answers.size()) throw std::runtime_error("write");
        close(p[1]);
        in = p[0];
        FILE* f = tmpfile();
        out = dup(fileno(f));
        fclose(f);
    }
    ~Script() { close(in); close(out); }
    std::string prompts() const {
        std::string s;
        char b[4096];
        ssize_t n;
        for (off_t at = 0; (n = pread(out, b, sizeof b, at)) > 0; at += n) s.append(b, (size_t)n);
        return s;
    }
};

class ConsoleDialog : public testing::Test {
protected:
    testutil::TempDir tmp;
    std::string dir = tmp.str();
    char file[260] = {};
    os_filedlgA d{};
    uint32_t error = 12345;
    std::string prompts;

    void SetUp() override {
        testutil::write_file(tmp.path() / "a.png", std::string("png"));
        testutil::write_file(tmp.path() / "notes.txt", std::string("txt"));
        std::filesystem::create_directory(tmp.path() / "sub");
        testutil::write_file(tmp.path() / "sub" / "b.png", std::string("png"));
        d.filter = kImageList;
        d.filter_index = 2;
        d.file = file;
        d.max_file = sizeof file;
        d.initial_dir = dir.c_str();
        d.title = "Open Image File";
        d.flags = OS_OFN_PATHMUSTEXIST | OS_OFN_FILEMUSTEXIST;
        strcpy(file, "a.png");
    }
    int run(const std::string& answers) {
        Script s(answers);
        int r = console_dialogA(s.in, s.out, &d, &error);
        prompts = s.prompts();
        return r;
    }
    std::string at(const std::string& name) const { return dir + "/" + name; }
};

TEST_F(ConsoleDialog, EnterKeepsTheDefaultsAndShowsTheDialog) {
    ASSERT_EQ(run("\n\n"), 1);
    EXPECT_EQ(std::string(file), at("a.png"));
    EXPECT_EQ(d.filter_index, 2u);
    EXPECT_EQ(d.file_offset, dir.size() + 1);
    EXPECT_EQ(d.file_extension, dir.size() + 3);
    EXPECT_EQ(prompts, "\nOpen Image File\nFolder: " + dir +
                           "\n  1  Image Files   *.BMP;*.PNG\n* 2  PNG Files   *.PNG\n  3  All Files   *.*\n"
                           "Type [2]: File name [a.png]: ");
}

TEST_F(ConsoleDialog, TypeIsChosenByNumberAndIndexZeroShowsTheFirst) {
    d.filter_index = 0;
    ASSERT_EQ(run("9\nx\n3\n\n"), 1);
    EXPECT_EQ(d.filter_index, 3u);
    EXPECT_NE(prompts.find("* 1  Image Files"), std::string::npos);
    EXPECT_NE(prompts.find("Type [1]: Type a number from 1 to 3.\nType [1]: Type a number from 1 to 3.\nType [1]: "),
              std::string::npos) << prompts;
}

TEST_F(ConsoleDialog, RelativeNamesJoinTheFolderAbsoluteOnesStand) {
    ASSERT_EQ(run("\nsub/b.png\n"), 1);
    EXPECT_EQ(std::string(file), at("sub/b.png"));
    testutil::TempDir other;
    testutil::write_file(other.path() / "c.PNG", std::string("x"));
    ASSERT_EQ(run("\n" + other.str("c.PNG") + "\n"), 1);
    EXPECT_EQ(std::string(file), other.str("c.PNG"));
    ASSERT_EQ(run("\nsub\\b.png\n"), 1) << "'\\' separates as '/' does";
    EXPECT_EQ(std::string(file), at("sub/b.png"));
    ASSERT_EQ(run("\n./sub//../sub/./b.png\n"), 1) << "the full path comes back without . and ..";
    EXPECT_EQ(std::string(file), at("sub/b.png"));
}

TEST_F(ConsoleDialog, TypedFolderIsEnteredAndWithoutFolderTheCurrentOneServes) {
    ASSERT_EQ(run("\nsub\nb.png\n"), 1);
    EXPECT_EQ(std::string(file), at("sub/b.png"));
    d.initial_dir = nullptr;
    strcpy(file, "a.png");
    auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(tmp.path());
    int r = run("\n\n");
    std::filesystem::current_path(cwd);
    ASSERT_EQ(r, 1);
    EXPECT_EQ(std::filesystem::path(file), std::filesystem::canonical(tmp.path()) / "a.png");
}

TEST_F(ConsoleDialog, FlagsAskAgain) {
    ASSERT_EQ(run("\nnope/x.png\nmissing.png\n\n"), 1);
    EXPECT_NE(prompts.find("Path does not exist.\n"), std::string::npos);
    EXPECT_NE(prompts.find("File does not exist.\n"), std::string::npos);
    EXPECT_EQ(std::string(file), at("a.png"));

    testutil::write_file(tmp.path() / "ro.png", std::string("x"));
    chmod(tmp.str("ro.png").c_str(), 0444);
    d.flags = OS_OFN_NOREADONLYRETURN | OS_OFN_PATHMUSTEXIST | OS_OFN_HIDEREADONLY | OS_OFN_OVERWRITEPROMPT;
    ASSERT_EQ(run("\nro.png\na.png\nn\nnew.png\n"), 1);
    EXPECT_NE(prompts.find("File is read-only.\n"), std::string::npos);
    EXPECT_NE(prompts.find("File already exists. Replace it? [y/N] "), std::string::npos);
    EXPECT_EQ(std::string(file), at("new.png")) << "a new name needs neither to exist nor a question";
    ASSERT_EQ(run("\na.png\ny\n"), 1);
    EXPECT_EQ(std::string(file), at("a.png"));
}

TEST_F(ConsoleDialog, DefaultExtensionIsAppendedToANameWithout) {
    d.def_ext = "png";
    ASSERT_EQ(run("\na\n"), 1);
    EXPECT_EQ(std::string(file), at("a.png"));
    ASSERT_EQ(run("\nnotes.txt\n"), 1) << "a name with an extension keeps it";
    EXPECT_EQ(std::string(file), at("notes.txt"));
    EXPECT_EQ(d.file_extension, dir.size() + 7);
}

TEST_F(ConsoleDialog, QuestionMarkListsWhatMatchesTheType) {
    testutil::write_file(tmp.path() / "UPPER.PNG", std::string("x"));
    EXPECT_EQ(run("\n?\n"), 0);
    EXPECT_NE(prompts.find("  UPPER.PNG\n  a.png\n  sub/\n"), std::string::npos) << prompts;
    EXPECT_EQ(prompts.find("notes.txt"), std::string::npos);
}

TEST_F(ConsoleDialog, CancelLeavesTheBufferAndTooLongIsBufferTooSmall) {
    for (const char* answers : {"", "\n", "\x03", "2\n\x04"}) {
        strcpy(file, "a.png");
        EXPECT_EQ(run(answers), 0);
        EXPECT_EQ(error, 0u) << "a cancel";
        EXPECT_STREQ(file, "a.png");
    }
    d.max_file = (uint32_t)at("a.png").size();  // one short of the 0
    EXPECT_EQ(run("\n\n"), 0);
    EXPECT_EQ(error, (uint32_t)OS_FNERR_BUFFERTOOSMALL);
    EXPECT_STREQ(file, "a.png");
    d.max_file += 1;
    EXPECT_EQ(run("\n\n"), 1);
}

TEST_F(ConsoleDialog, SixteenBitFormConvertsUtf8AndCountsUnits) {
    std::string jp = "\xe5\x8b\x95\xe7\x94\xbb.png";  // two ideographs, 6 bytes, 2 units
    testutil::write_file(tmp.path() / jp, std::string("x"));
    std::u16string wdir = testutil::u16(dir);
    char16_t wfile[260] = u"a.png";
    const char16_t wlist[] = u"PNG Files\0*.PNG\0\0";
    os_filedlgW w{};
    w.filter = wlist;
    w.file = wfile;
    w.max_file = 260;
    w.initial_dir = wdir.c_str();
    w.title = u"\u958b\u304f";
    w.flags = OS_OFN_FILEMUSTEXIST;
    Script s(jp + "\n");
    ASSERT_EQ(console_dialogW(s.in, s.out, &w, &error), 1);
    std::u16string want = wdir + u"/\u52d5\u753b.png";
    EXPECT_EQ(std::u16string(wfile), want);
    EXPECT_EQ(w.filter_index, 1u);
    EXPECT_EQ(w.file_offset, wdir.size() + 1);
    EXPECT_EQ(w.file_extension, wdir.size() + 4);
    std::string shown = s.prompts();
    EXPECT_NE(shown.find("\n\xe9\x96\x8b\xe3\x81\x8f\nFolder: "), std::string::npos) << "the title in UTF-8";
    EXPECT_EQ(shown.find("Type ["), std::string::npos) << "one type: nothing to choose";
    w.max_file = (uint32_t)want.size() + 1;  // fits in units, not in bytes
    Script again(jp + "\n");
    EXPECT_EQ(console_dialogW(again.in, again.out, &w, &error), 1);
}

TEST(ConsoleAsk, OnlyYesIsYes) {
    const std::pair<const char*, int> cases[] = {{"y\n", 1}, {"Yes\n", 1}, {"n\n", 0}, {"\n", 0}, {"", 0}, {"x\n", 0}};
    for (const auto& [answer, want] : cases) {
        Script s(answer);
        EXPECT_EQ(console_ask(s.in, s.out, "f.vrma already exists.\nDo you want to replace it?", "Save"), want) << answer;
        EXPECT_EQ(s.prompts(), "\nSave: f.vrma already exists.\nDo you want to replace it? [y/N] ");
    }
}

// Standard input replaced by /dev/null for one block.
struct NoTerminal {
    int saved = dup(STDIN_FILENO);
    NoTerminal() {
        int n = open("/dev/null", O_RDONLY);
        dup2(n, STDIN_FILENO);
        close(n);
    }
    ~NoTerminal() {
        dup2(saved, STDIN_FILENO);
        close(saved);
    }
};

TEST(ConsoleDialogService, WithoutATerminalEveryDialogFailsAndNobodySaysYes) {
    NoTerminal none;
    char out[265] = "untouched";
    testing::internal::CaptureStdout();
    EXPECT_EQ(fopendlg(out, FDK_IMAGE, "a.png"), -1);
    EXPECT_EQ(fopendlgW(nullptr, FDK_IMAGE, u"a.png"), -1);
    std::string open = testing::internal::GetCapturedStdout();
    const std::string failure = "\nFailed Opening File-Open Dialog Box: 0000 (stat=FFFF).\nCDERR_DIALOGFAILURE.\n";
    EXPECT_EQ(open, failure + failure);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fsavedlg(out, FDK_IMAGE, "a.png"), -1);
    std::string save = testing::internal::GetCapturedStdout();
    EXPECT_NE(save.find("\nFailed Opening File-Save Dialog Box: 0000 (stat=FFFF).\nCDERR_DIALOGFAILURE.\n"), std::string::npos);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(g_os.ask_yes_no("replace?", "Save"), 0);
}

// ---- On a pseudo-terminal ---------------------------------------------------------

// Reads the master until `want` has appeared; after two minutes without it
// the child is taken as hung (a guard, not a measurement: a child under a
// sanitizer on a busy machine may take long to get there).
bool read_until(int master, std::string* seen, const std::string& want) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (seen->find(want) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end) return false;
        struct pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char b[256];
        ssize_t n = read(master, b, sizeof b);
        if (n < 0 && errno == EIO) {  // the child has not opened the slave yet
            usleep(10000);
            continue;
        }
        if (n <= 0) return false;
        seen->append(b, (size_t)n);
    }
    return true;
}

tcflag_t lflags(int fd) {
    struct termios t;
    tcgetattr(fd, &t);
    return t.c_lflag;
}

// A child in a session of its own whose controlling terminal is the pty's
// slave runs the native dialog `dialogs` times, then polls the keyboard
// once, and reports "result error file; " for each dialog but the last and
// "result error key file" for the last.
struct PtyChild {
    int master = -1;
    pid_t pid = -1;
    int report = -1;
    int status = -1;

    explicit PtyChild(int dialogs = 1) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("pty");
        std::string slave = ptsname(master);
        // The key poll's mode: no line editing, no echo.
        int s = open(slave.c_str(), O_RDWR | O_NOCTTY);
        struct termios t;
        tcgetattr(s, &t);
        t.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
        tcsetattr(s, TCSANOW, &t);
        close(s);
        int p[2];
        if (pipe(p) != 0) throw std::runtime_error("pipe");
        fflush(nullptr);
        pid = fork();
        if (pid == 0) {
            close(p[0]);
            // A shell that starts the tests in the background leaves SIGINT
            // ignored, and that survives fork: the Ctrl-C typed on the
            // terminal must reach this child as a signal.
            signal(SIGINT, SIG_DFL);
            setsid();
            int fd = open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
            dup2(fd, STDIN_FILENO);
            char* argv[] = {nullptr};
            os_init(0, argv);
            std::string said;
            for (int i = 1; i <= dialogs; i++) {
                char file[260] = "a.png";
                const char list[] = "Image Files\0*.PNG\0All Files\0*.*\0\0";
                os_filedlgA d{};
                d.filter = list;
                d.file = file;
                d.max_file = sizeof file;
                d.initial_dir = "/";
                d.title = "Pick";
                d.flags = 0;
                int r = g_os.open_dialogA(&d);
                char line[400];
                if (i < dialogs) {
                    snprintf(line, sizeof line, "%d %u %s; ", r, (unsigned)g_os.dialog_error(), file);
                } else {
                    int key = 0;
                    int got = g_os.console_event(&key);
                    snprintf(line, sizeof line, "%d %u %d %s", r, (unsigned)g_os.dialog_error(), got ? key : -1, file);
                }
                said += line;
            }
            if (::write(p[1], said.data(), said.size()) < 0) _exit(2);
            _exit(0);
        }
        close(p[1]);
        report = p[0];
    }
    // The child's report; a child that has not ended within 120 s is killed
    // (the report then says so), so that a dialog waiting for ever fails the
    // test instead of hanging the run.
    std::string finish() {
        std::string s;
        char b[512];
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) {
                kill(pid, SIGKILL);
                s += " [timed out]";
                break;
            }
            pollfd pf = {report, POLLIN, 0};
            if (poll(&pf, 1, (int)left) <= 0) continue;
            ssize_t n = read(report, b, sizeof b);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            s.append(b, (size_t)n);
        }
        waitpid(pid, &status, 0);
        pid = -1;
        return s;
    }
    ~PtyChild() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(report);
        close(master);
    }
};

TEST(ConsoleDialogPty, PromptsInCanonicalModeWithEchoAndRestoresTheMode) {
    PtyChild c;
    std::string seen;
    ASSERT_TRUE(read_until(c.master, &seen, "Type [1]: ")) << seen;
    tcflag_t during = lflags(c.master);
    EXPECT_TRUE(during & ICANON);
    EXPECT_TRUE(during & ECHO);
    ASSERT_EQ(write(c.master, "2\n", 2), 2);
    ASSERT_TRUE(read_until(c.master, &seen, "File name [a.png]: ")) << seen;
    EXPECT_NE(seen.find("2\r\n"), std::string::npos) << "the answer is echoed";
    ASSERT_EQ(write(c.master, "x.bin\n", 6), 6);
    EXPECT_EQ(c.finish(), "1 0 -1 /x.bin");
    tcflag_t after = lflags(c.master);
    EXPECT_FALSE(after & ICANON);
    EXPECT_FALSE(after & ECHO);
}

TEST(ConsoleDialogPty, CtrlCCancelsAndStaysLatchedForTheKeyPoll) {
    PtyChild c;
    std::string seen;
    ASSERT_TRUE(read_until(c.master, &seen, "Type [1]: ")) << seen;
    ASSERT_EQ(write(c.master, "\x03", 1), 1);
    EXPECT_EQ(c.finish(), "0 0 3 a.png");
    EXPECT_FALSE(lflags(c.master) & ICANON);
}

// A Ctrl-C that cancelled one dialog does not cancel the next: that one
// waits for the user, answers to what is typed, and a Ctrl-C in it cancels
// it (a first Ctrl-C again, not the second that ends the process).
TEST(ConsoleDialogPty, DialogAfterACtrlCWaitsForTheUser) {
    {
        PtyChild c(2);
        std::string seen;
        ASSERT_TRUE(read_until(c.master, &seen, "Type [1]: ")) << seen;
        ASSERT_EQ(write(c.master, "\x03", 1), 1);
        seen.clear();
        ASSERT_TRUE(read_until(c.master, &seen, "Type [1]: ")) << seen;
        ASSERT_EQ(write(c.master, "\n", 1), 1);
        ASSERT_TRUE(read_until(c.master, &seen, "File name [a.png]: ")) << seen;
        ASSERT_EQ(write(c.master, "y.bin\n", 6), 6);
        EXPECT_EQ(c.finish(), "0 0 a.png; 1 0 -1 /y.bin");
    }
    {
        PtyChild c(2);
        std::string seen;
        ASSERT_TRUE(read_until(c.master, &seen, "Type [1]: ")) << seen;
        ASSERT_EQ(write(c.master, "\x03", 1), 1);
        seen.clear();
        ASSERT_TRUE(read_until(c.master, &seen, "Type [1]: ")) << seen;
        ASSERT_EQ(write(c.master, "\x03", 1), 1);
        EXPECT_EQ(c.finish(), "0 0 a.png; 0 0 3 a.png");
        EXPECT_TRUE(WIFEXITED(c.status) && WEXITSTATUS(c.status) == 0) << "status " << c.status;
    }
}

}  // namespace

#endif  // !_WIN32
