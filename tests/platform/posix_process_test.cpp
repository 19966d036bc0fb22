// posix_process_test.cpp - the process and locale services on POSIX: the
// command line built from argv, the current directory with its cap rule,
// code pages, language and lead bytes from the locale, the version answers,
// the host name (judged by uname(1)), the processor count (judged by nproc),
// one heap for every thread (judged by glibc's mallinfo2) and the
// message box on standard error.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sched.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix_internal.h"
#include "testutil.h"

namespace fs = std::filesystem;
using namespace platform_detail;

namespace {

TEST(CommandLine, QuotesBlankAndEmptyArguments) {
    struct Case { std::vector<const char*> args; const char* want; } cases[] = {
        {{"prog"}, "prog"},
        {{"./reelkiln", "-D=2", "x.png"}, "./reelkiln -D=2 x.png"},
        {{"/a b/reelkiln", "x"}, "\"/a b/reelkiln\" x"},
        {{"p", ""}, "p \"\""},
        {{"p", "a\tb"}, "p \"a\tb\""},
        {{"p", " "}, "p \" \""},
        {{"p", "a\"b"}, "p a\"b"},                    // no spelling brings a quote back
        {{"p", "C:\\dir\\f.png"}, "p C:\\dir\\f.png"},  // a backslash is an ordinary character
        {{"p", "\xE6\x98\xA0 \xE7\x94\xBB"}, "p \"\xE6\x98\xA0 \xE7\x94\xBB\""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
        argv.push_back(nullptr);
        EXPECT_EQ(build_command_line((int)c.args.size(), argv.data()), c.want);
    }
}

TEST(CommandLine, OsInitKeepsBothForms) {
    std::string a0 = "/opt/my movies/reelkiln", a1 = "caf\xC3\xA9", a2 = "", a3 = "bad\xFF\xC3";
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};
    EXPECT_EQ(os_init(4, argv), argv);
    // The arguments may go away: the line is a copy.
    a0.assign(a0.size(), 'x');
    EXPECT_STREQ(g_os.command_lineA(), "\"/opt/my movies/reelkiln\" caf\xC3\xA9 \"\" bad\xFF\xC3");
    EXPECT_EQ(std::u16string(g_os.command_lineW()), u"\"/opt/my movies/reelkiln\" caf\u00e9 \"\" bad\uFFFD\uFFFD");
}

TEST(CurrentDirectory, LengthOrZeroWhenTheBufferIsSmall) {
    testutil::TempDir d;
    fs::path sub = d.path() / "\xE6\x98\xA0\xE7\x94\xBB";  // 2 units, 6 bytes
    fs::create_directory(sub);
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(sub.c_str()), 0);
    std::string real = fs::current_path().string();
    std::u16string real16 = utf8_to_utf16(real);

    std::vector<char> a(real.size() + 8, '#');
    uint32_t na_exact = g_os.current_dirA((uint32_t)real.size() + 1, a.data());
    std::string got_a(a.data());
    uint32_t na_short = g_os.current_dirA((uint32_t)real.size(), a.data());
    std::vector<char16_t> w(real16.size() + 8, u'#');
    uint32_t nw_exact = g_os.current_dirW((uint32_t)real16.size() + 1, w.data());
    std::u16string got_w(w.data());
    uint32_t nw_short = g_os.current_dirW((uint32_t)real16.size(), w.data());
    uint32_t n0 = g_os.current_dirA(0, nullptr);
    ASSERT_EQ(chdir(old), 0);

    EXPECT_EQ(na_exact, real.size());
    EXPECT_EQ(got_a, real);
    EXPECT_EQ(na_short, 0u);
    EXPECT_EQ(nw_exact, real16.size());
    EXPECT_EQ(got_w, real16);
    EXPECT_EQ(real16.size() + 4, real.size());  // the two characters are 3 bytes each
    EXPECT_EQ(nw_short, 0u);
    EXPECT_EQ(n0, 0u);
}

// Sets environment variables for one test and puts them back.
class Env : public ::testing::Test {
protected:
    void set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* v = getenv(name);
            saved_[name] = v ? std::optional<std::string>(v) : std::nullopt;
        }
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    void TearDown() override {
        for (auto& [k, v] : saved_) {
            if (v) setenv(k.c_str(), v->c_str(), 1);
            else unsetenv(k.c_str());
        }
        char* argv[] = {(char*)"test", nullptr};
        os_init(1, argv);  // the locale as the environment has it again
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(Env, LanguageFromTheLocaleVariables) {
    struct Case { const char* all; const char* messages; const char* lang; uint16_t want; } cases[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", 0x411},
        {nullptr, nullptr, "en_US.UTF-8", 0x409},
        {nullptr, "ja_JP.SJIS", "en_US.UTF-8", 0x411},
        {"en_GB.UTF-8", "ja_JP.SJIS", "ja_JP.UTF-8", 0x409},
        {"", "", "ja", 0x411},  // empty ones do not count
        {nullptr, nullptr, nullptr, 0x409},
        {nullptr, nullptr, "C", 0x409},
        {nullptr, nullptr, "jam_JM", 0x409},  // a different language that starts with "ja"
    };
    for (const Case& c : cases) {
        set("LC_ALL", c.all);
        set("LC_MESSAGES", c.messages);
        set("LANG", c.lang);
        EXPECT_EQ(g_os.user_lang(), c.want) << (c.lang ? c.lang : "-");
    }
    struct Name { const char* name; uint16_t want; } names[] = {
        {"ja", 0x411}, {"ja_JP", 0x411}, {"ja.SJIS", 0x411}, {"ja@x", 0x411},
        {"jp", 0x409}, {"JA_JP", 0x409}, {"", 0x409}, {nullptr, 0x409}, {"j", 0x409},
    };
    for (const Name& n : names) EXPECT_EQ(lang_of_locale(n.name), n.want) << (n.name ? n.name : "null");
}

TEST(CodePages, FromCodesetNames) {
    struct Case { const char* codeset; uint32_t want; } cases[] = {
        {"UTF-8", 65001},      {"utf8", 65001},       {"SHIFT_JIS", 932},     {"Shift_JIS", 932},
        {"SJIS", 932},         {"CP932", 932},        {"WINDOWS-31J", 932},   {"SHIFT_JISX0213", 932},
        {"EUC-JP", 20932},     {"ISO-8859-1", 28591}, {"ISO-8859-15", 28605}, {"ANSI_X3.4-1968", 20127},
        {"ASCII", 20127},      {"KOI8-R", 437},       {"", 437},              {nullptr, 437},
    };
    for (const Case& c : cases) EXPECT_EQ(codeset_cp(c.codeset), c.want) << (c.codeset ? c.codeset : "null");
}

// The locale decides the code pages and the lead bytes.  A Shift_JIS locale
// need not be installed: its name still says the codeset.
TEST_F(Env, LeadBytesFollowTheLocaleCodeset) {
    char* argv[] = {(char*)"test", nullptr};
    set("LC_ALL", "ja_JP.SJIS");
    os_init(1, argv);
    EXPECT_EQ(g_os.console_cp(), 932u);
    EXPECT_EQ(g_os.console_output_cp(), 932u);
    for (int c = 0; c < 256; c++) {
        int want = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        EXPECT_EQ(g_os.is_dbcs_lead((uint8_t)c), want) << c;
    }
    set("LC_ALL", "C.UTF-8");
    os_init(1, argv);
    EXPECT_EQ(g_os.console_cp(), 65001u);
    EXPECT_EQ(g_os.console_output_cp(), 65001u);
    for (int c = 0; c < 256; c++) EXPECT_EQ(g_os.is_dbcs_lead((uint8_t)c), 0) << c;
    set("LC_ALL", "C");
    os_init(1, argv);
    EXPECT_EQ(g_os.console_cp(), 20127u);
    EXPECT_EQ(g_os.is_dbcs_lead(0x92), 0);
}

TEST(Version, NoWindowsHereAndTheHostByName) {
    EXPECT_EQ(g_os.get_version(), 0u);
    os_osversion v = {7, 7, 7};
    int32_t status = 5;
    EXPECT_EQ(g_os.rtl_get_version(&v, &status), 0);
    ASSERT_NE(g_os.host_system(), nullptr);
    FILE* p = popen("uname -sr", "r");
    ASSERT_NE(p, nullptr);
    char buf[512] = {};
    ASSERT_NE(fgets(buf, sizeof buf, p), nullptr);
    pclose(p);
    std::string want(buf);
    while (!want.empty() && (want.back() == '\n' || want.back() == '\r')) want.pop_back();
    EXPECT_EQ(std::string(g_os.host_system()), want);
}

// The cores the process may run on: nproc's answer, and one when this
// thread is held to one CPU (its affinity mask, as taskset sets it).
TEST(Processors, TheAffinityMaskCounts) {
    FILE* p = popen("nproc", "r");
    ASSERT_NE(p, nullptr);
    char buf[64] = {};
    ASSERT_NE(fgets(buf, sizeof buf, p), nullptr);
    pclose(p);
    EXPECT_EQ(g_os.cpu_count(), std::atoi(buf));

    cpu_set_t saved, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    int first = 0;
    while (first < CPU_SETSIZE && !CPU_ISSET(first, &saved)) first++;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(g_os.cpu_count(), 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
}

// After heap_shared the space of a block the main thread freed serves
// another thread's allocation of its size (glibc's default would give that thread an arena
// of its own and leave the freed block where it is).  The check runs in a
// fresh process (the threadsafe death-test style executes the test program
// again), since threads of earlier tests leave arenas behind for new
// threads to take.  The sanitizers bring allocators of their own.
TEST(Heap, ThreadsReuseWhatAnotherFreed) {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "glibc's own allocator only";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            g_os.heap_shared();
            // Called through volatile pointers, so that no allocation is left out.
            static void* (*volatile alloc)(size_t) = std::malloc;
            static void (*volatile release)(void*) = std::free;
            constexpr size_t n = 8u << 20;
            // The first block of 8 MiB is mapped on its own; freeing it makes
            // the next come from the heap.
            void* first = alloc(n);
            memset(first, 1, n);
            release(first);
            void* mine = alloc(n);
            memset(mine, 2, n);
            release(mine);
            // The heap's bytes, all arenas summed, grow by the thread's
            // small needs, not by a second block.
            const size_t held = mallinfo2().arena;
            size_t grown = n;
            std::thread([&] {
                void* theirs = alloc(n);
                memset(theirs, 3, n);
                grown = mallinfo2().arena - held;
                release(theirs);
            }).join();
            std::exit(grown < n / 2 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
#endif
}

// Captures what f writes to standard error.
template <class F>
std::string stderr_of(F f) {
    testutil::TempDir d;
    std::string name = d.str("err.txt");
    fflush(stderr);
    int saved = dup(STDERR_FILENO);
    int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
    f();
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    auto v = testutil::read_file(name);
    return std::string(v.begin(), v.end());
}

TEST(MessageBox, PrintsToStandardErrorAndReturnsOk) {
    int r = 0;
    std::string a = stderr_of([&] { r = g_os.message_boxA(" PNG file not found (list.txt): \r\n \r\n   b.png \r\n", "reelkiln", 0x40040); });
    EXPECT_EQ(r, 1);
    EXPECT_EQ(a, "[reelkiln]\n PNG file not found (list.txt): \n \n   b.png \n");
    std::string w = stderr_of([&] { r = g_os.message_boxW(u"\u4e2d\u65ad\u3057\u307e\u3057\u305f. \xD800!", u"reelkiln", 0); });
    EXPECT_EQ(r, 1);
    EXPECT_EQ(w, "[reelkiln]\n\xE4\xB8\xAD\xE6\x96\xAD\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F. \xEF\xBF\xBD!\n");
    std::string n = stderr_of([&] { r = g_os.message_boxA(nullptr, nullptr, 0); });
    EXPECT_EQ(r, 1);
    EXPECT_EQ(n, "[Error]\n\n");
}

}  // namespace

#endif
