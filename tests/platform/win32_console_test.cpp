// win32_console_test.cpp - Ctrl-C on the Windows side: a console control
// event reaches the console poll as the key 3, once, and the process lives
// on to stop through the frame loops' normal path.
//
// The test gives the process a console of its own (FreeConsole, then
// AllocConsole), sends it a real CTRL_C_EVENT with GenerateConsoleCtrlEvent,
// and gives the console back afterwards.  The system delivers the event on
// a thread of its own, so the test polls until it has arrived; the bound is
// only there so that a lost event fails instead of hanging.  Like the POSIX
// side's terminal tests, this drives the system itself and so includes its
// header.

#if defined(_WIN32)

#include "platform/win32_include.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

// A console of the test's own for the length of one test.
class OwnConsole {
public:
    OwnConsole() : saved_in_(GetStdHandle(STD_INPUT_HANDLE)) {
        FreeConsole();
        ok_ = AllocConsole() != 0;
    }
    ~OwnConsole() {
        FreeConsole();
        SetStdHandle(STD_INPUT_HANDLE, saved_in_);
    }
    bool ok() const { return ok_; }

private:
    HANDLE saved_in_;
    bool ok_ = false;
};

// Polls until an event comes; gives up after two minutes at least (a guard
// against an event that never comes, not a measurement).
int wait_for_event(int* key) {
    for (int i = 0; i < 12000; i++) {
        if (g_os.console_event(key)) return 1;
        Sleep(10);
    }
    return 0;
}

// A poll that finds nothing leaves the key as it was.
void expect_no_event() {
    int key = 12345;
    EXPECT_EQ(g_os.console_event(&key), 0);
    EXPECT_EQ(key, 12345);
}

TEST(Win32CtrlC, ArrivesOnceAsKeyThree) {
    g_os = os_native;
    OwnConsole console;
    if (!console.ok()) GTEST_SKIP() << "no console can be made here";
    char arg0[] = "test";
    char* argv[] = {arg0, nullptr};
    os_init(1, argv);  // installs the handler

    // Nothing waits before the event: a new console has no input.
    expect_no_event();

    // Each Ctrl-C comes once, as the key 3; one that has been taken leaves
    // room for the next.
    for (int round = 1; round <= 2; round++) {
        SCOPED_TRACE(round == 1 ? "first Ctrl-C" : "second Ctrl-C");
        ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
        int key = 0;
        ASSERT_EQ(wait_for_event(&key), 1);
        EXPECT_EQ(key, 3);
        expect_no_event();  // taken: the next poll has nothing
    }
}

// The console is looked at only when OS_CONSOLE_LOOK_MS have passed on the
// clock since a look that found nothing: a key that waits is not taken a
// millisecond too early and is taken as soon as the time is up.
uint64_t g_fake_ms = 0;
uint64_t fake_tick() { return g_fake_ms; }

TEST(Win32ConsolePoll, LooksOnlyEveryFewMilliseconds) {
    g_os = os_native;
    OwnConsole console;
    if (!console.ok()) GTEST_SKIP() << "no console can be made here";
    g_os.tick_ms = fake_tick;
    g_fake_ms = 1000000;
    int key = 0;
    EXPECT_EQ(g_os.console_event(&key), 0);  // a new console has no input
    INPUT_RECORD rec{};
    rec.EventType = KEY_EVENT;
    rec.Event.KeyEvent.bKeyDown = TRUE;
    rec.Event.KeyEvent.wRepeatCount = 1;
    rec.Event.KeyEvent.uChar.AsciiChar = 'a';
    // The console's input buffer opened for writing as well (the standard
    // handle is for reading only), as the poll's standard input.
    HANDLE conin = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(conin, INVALID_HANDLE_VALUE);
    DWORD waiting = 0;
    if (!GetNumberOfConsoleInputEvents(conin, &waiting)) {
        CloseHandle(conin);
        g_os = os_native;
        GTEST_SKIP() << "this console has no input buffer (wine without a display); console_look_test covers the rule";
    }
    SetStdHandle(STD_INPUT_HANDLE, conin);
    DWORD n = 0;
    ASSERT_TRUE(WriteConsoleInputA(conin, &rec, 1, &n)) << GetLastError();
    ASSERT_EQ(n, 1u);
    g_fake_ms += OS_CONSOLE_LOOK_MS - 1;
    EXPECT_EQ(g_os.console_event(&key), 0);
    g_fake_ms += 1;
    key = 0;
    EXPECT_EQ(g_os.console_event(&key), 1);
    EXPECT_EQ(key, 'a');
    CloseHandle(conin);
    g_os = os_native;
}

}  // namespace

#endif  // _WIN32
