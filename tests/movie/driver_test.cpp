// driver_test.cpp - the program driver run in-process with the platform's
// answers injected: the version line over the whole version table, the
// console modes, the options, the list found or made, the checks before
// writing, a stop key during start-up and the report with its message box.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "avi1_fixtures.h"
#include "failcall.h"
#include "fulldisk.h"
#include "movie/driver.h"
#include "movie/frames.h"
#include "platform/platform.h"
#include "riff.h"
#include "stream/stream.h"
#include "text/text.h"

namespace {

using moviefix::capture;
using moviefix::scene;

// ---- Injected platform answers ----------------------------------------------------

std::u16string cmdlineW;
const char16_t* fakecmdlineW() { return cmdlineW.c_str(); }

uint32_t fakeversion;
const char* fakehost;
bool rtlfound;
os_osversion rtlversion;
int32_t rtlstatus;
uint32_t get_version() { return fakeversion; }
int rtl_get_version(os_osversion* out, int32_t* status) {
    if (!rtlfound) return 0;
    *out = rtlversion;
    *status = rtlstatus;
    return 1;
}
const char* host_system() { return fakehost; }

uint16_t fakelang;
bool fakedbcs;
uint32_t fakeoutcp;
uint16_t user_lang() { return fakelang; }
int is_dbcs_lead(uint8_t c) { return fakedbcs && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)); }
uint32_t console_output_cp() { return fakeoutcp; }
uint32_t console_cp() { return fakeoutcp; }

struct box {
    int calls = 0;
    bool wide = false;
    std::string text, caption;
    std::u16string textW, captionW;
    uint32_t style = 0;
} lastbox;
// Both message boxes record the call into lastbox, each in its own width.
void boxcall(bool wide, uint32_t style) {
    lastbox.calls++;
    lastbox.wide = wide;
    lastbox.style = style;
}
int boxA(const char* text, const char* caption, uint32_t style) {
    boxcall(false, style);
    lastbox.text = text;
    lastbox.caption = caption;
    return 1;
}
int boxW(const char16_t* text, const char16_t* caption, uint32_t style) {
    boxcall(true, style);
    lastbox.textW = text;
    lastbox.captionW = caption;
    return 1;
}

// Runs the driver as the program in the scene's directory with the given
// arguments (after the program's own path) and returns what it printed.
struct run {
    int code = -100;
    std::string out;
};

run runmain(const scene& sc, std::vector<std::string> args = {}) {
    std::string prog = sc.path("reelkiln");
#if !OS_SLASH_SEPARATES
    // Windows programs find their folder by the last '\'.
    for (char& ch : prog)
        if (ch == '/') ch = '\\';
#endif
    std::vector<std::string> all = {prog};
    all.insert(all.end(), args.begin(), args.end());
    std::string line;
    for (const std::string& a : all) line += (line.empty() ? "" : " ") + a;
    cmdlineW = testutil::u16(line);
    g_os.command_lineW = fakecmdlineW;
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    run r;
    r.out = capture([&] { r.code = reelkilnmain((int)all.size(), argv.data(), 60.0f, "reelkiln (60 FPS)  V1.04"); });
    return r;
}

class Driver : public ::testing::Test {
protected:
    void SetUp() override {
        driver_reset();
        cmdline_reset();
        lastbox = box{};
        g_os.message_boxA = boxA;
        g_os.message_boxW = boxW;
        g_os.host_system = host_system;
        fakehost = "TestOS 1.0";
        g_os.user_lang = user_lang;
        fakelang = 0x409;
        g_os.is_dbcs_lead = is_dbcs_lead;
        fakedbcs = false;
        g_os.console_output_cp = console_output_cp;
        g_os.console_cp = console_cp;
        fakeoutcp = 437;
    }
    // The scene restores g_os when it goes; SetUp runs after it exists.
    scene sc;
};

// A scene of real frames and a list.
void frames(const scene& sc, const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size(); i++) {
        sc.png(names[i], moviefix::pattern(6, 4, false, (int)i));
        list += names[i] + "\r\n";
    }
    sc.put("list.txt", list);
}

// ---- The version line ------------------------------------------------------------------

struct VersionCase {
    const char* name;
    const char* host;      // null: a Windows host
    uint32_t getversion;   // major | minor << 8
    bool rtl;
    os_osversion rtlv;
    int32_t status;
    const char* want;
};

const VersionCase kVersions[] = {
    {"posix_names_its_host", "Linux 6.1.0-18-amd64", 0x0A, true, {10, 0, 19045}, 0, " on Linux 6.1.0-18-amd64 "},
    {"win10_build", nullptr, 0x0206, true, {10, 0, 19045}, 0, " on Windows 10.019 "},
    {"win11_build", nullptr, 0x0206, true, {10, 0, 22631}, 0, " on Windows 10.0226 "},
    {"rtl_status_bit1_keeps_getversion", nullptr, 0x0206, true, {10, 0, 19045}, 2, " on Windows 7 "},
    {"win81", nullptr, 0x0206, true, {6, 3, 9600}, 0, " on Windows 8.1 "},
    {"win8", nullptr, 0x0206, true, {6, 2, 9200}, 0, " on Windows 8 "},
    {"win7", nullptr, 0x0106, true, {6, 1, 7601}, 0, " on Windows 7 "},
    {"vista_getversion_alone", nullptr, 0x0006, false, {0, 0, 0}, 0, " on Windows Vista "},
    // 5.2 as a float lies just below 5.2.
    {"xp64_getversion_52", nullptr, 0x0205, true, {10, 0, 1}, 0, " on Windows 2000 "},
    {"major5_ignores_rtl", nullptr, 0x0305, true, {10, 0, 1}, 0, " on Windows XP "},
    // 5.1 as a float lies just below 5.1.
    {"win2000_getversion_51", nullptr, 0x0105, false, {0, 0, 0}, 0, " on Windows 95-98,Me "},
    {"win9x", nullptr, 0x0004, false, {0, 0, 0}, 0, " on Windows 95-98,Me "},
};

class Version : public Driver, public ::testing::WithParamInterface<VersionCase> {};
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Version, Line) {
    const VersionCase& c = GetParam();
    fakehost = c.host;
    fakeversion = c.getversion;
    rtlfound = c.rtl;
    rtlversion = c.rtlv;
    rtlstatus = c.status;
    g_os.get_version = get_version;
    g_os.rtl_get_version = rtl_get_version;
    if (!c.host) g_os.host_system = nullptr;
    run r = runmain(sc);
    std::string want = std::string("reelkiln (60 FPS)  V1.04\n") + c.want + "(English mode) (x64) \n";
    EXPECT_EQ(r.out.substr(0, want.size()), want);
}

INSTANTIATE_TEST_SUITE_P(Driver, Version, ::testing::ValuesIn(kVersions),
                         [](const ::testing::TestParamInfo<VersionCase>& i) { return std::string(i.param.name); });

// ---- Console mode ------------------------------------------------------------------------

struct ModeCase {
    const char* name;
    uint16_t lang;
    bool dbcs;
    uint32_t outcp;
    uint8_t jp, sjis, utf8;
    const char* text;
};

const ModeCase kModes[] = {
    {"english", 0x409, true, 932, 0, 0, 0, "(English mode) "},
    {"japanese_sjis", 0x411, true, 932, 0xFF, 0xFF, 0, "(\x93\xFA\x96{\x8C\xEA\x8A\xC2\x8B\xAB) "},
    {"japanese_utf8", 0x411, true, 65001, 0xFF, 0, 0xFF, "(UTF-8\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE7\x92\xB0\xE5\xA2\x83) "},
    {"japanese_utf8_no_dbcs", 0x411, false, 65001, 0xFF, 0, 0xFF,
     "(UTF-8\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE7\x92\xB0\xE5\xA2\x83) "},
    {"japanese_932_no_dbcs", 0x411, false, 932, 0xFF, 0, 0, "(English mode) "},
    {"japanese_other_cp", 0x411, true, 437, 0xFF, 0, 0, "(English mode) "},
};

class Mode : public Driver, public ::testing::WithParamInterface<ModeCase> {};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Mode, FlagsAndText) {
    const ModeCase& c = GetParam();
    fakelang = c.lang;
    fakedbcs = c.dbcs;
    fakeoutcp = c.outcp;
    run r = runmain(sc);
    EXPECT_EQ(jpmode, c.jp);
    EXPECT_EQ(sjismode, c.sjis);
    EXPECT_EQ(utf8mode, c.utf8);
    EXPECT_EQ(consoleoutputcp, c.outcp);
    std::string want = std::string(" on TestOS 1.0 ") + c.text + "(x64) \n";
    EXPECT_NE(r.out.find(want), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Driver, Mode, ::testing::ValuesIn(kModes),
                         [](const ::testing::TestParamInfo<ModeCase>& i) { return std::string(i.param.name); });

// ---- Options and arguments ------------------------------------------------------------------

TEST_F(Driver, Options) {
    sc.put("exists.txt", "x");
    // On POSIX the paths are given relative to the current directory: an
    // argument that begins with '/' is an option string.
    auto rel = [&](const char* n) {
#if OS_SLASH_SEPARATES
        return std::filesystem::relative(sc.path(n)).string();
#else
        return sc.path(n);
#endif
    };
    run r = runmain(sc, {"-D=12", "/d200", "-x", rel("exists.txt"), rel("missing.txt")});
    // The displayLevel line once per option, the option error twice (once per
    // pass), the test-open reports once.
    auto count = [&](const std::string& s) {
        int k = 0;
        for (size_t p = r.out.find(s); p != std::string::npos; p = r.out.find(s, p + 1)) k++;
        return k;
    };
    EXPECT_EQ(count("Info.displayLevel = 12. \n"), 1) << r.out;
    EXPECT_EQ(count("Info.displayLevel = -56. \n"), 1) << r.out;
    EXPECT_EQ(displayLevel, -56);
    EXPECT_EQ(count("\nOption error: <x> 78"), 2) << r.out;
    EXPECT_EQ(count(" -- correctly opened in ANSI or UTF-8. \n"), 1) << r.out;
    EXPECT_EQ(count(" -- could not open in ANSI or UTF-8. \n"), 1) << r.out;
    EXPECT_EQ(count(" -- could not open in UTF-16. (***) \n"), 1) << r.out;
    EXPECT_EQ(argcA, 6);
    EXPECT_EQ(wargc, 6);
}

TEST_F(Driver, HighOptionByteIsSignExtended) {
    run r = runmain(sc, {"-\xE9"});
    EXPECT_NE(r.out.find("\nOption error: <\xE9> FFFFFFE9"), std::string::npos) << r.out;
}

// ---- The list ------------------------------------------------------------------------------------

// No list: one is made from the "*.png" entries in the order the system gives
// them (sorted on POSIX), directories left out, each name ended by CR LF; the
// movie is then made from it.
TEST_F(Driver, MakesTheListAndTheMovie) {
    sc.png("c.png", moviefix::pattern(6, 4, false, 1));
    sc.png("b.png", moviefix::pattern(6, 4, false, 2));
    std::filesystem::create_directory(sc.path("a.png"));
    sc.put("notes.txt", "not an image");
    run r = runmain(sc);
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(testutil::read_file(sc.path("list.txt")), std::vector<uint8_t>({'b', '.', 'p', 'n', 'g', 13, 10, 'c', '.', 'p', 'n', 'g', 13, 10}));
    EXPECT_NE(r.out.find(" list.txt not found. \nCreating list.txt ... \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  => Valid PNG file names: 2. \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("movie.AVI save OK.\n"), std::string::npos) << r.out;
    EXPECT_TRUE(sc.exists("movie.avi"));
    EXPECT_EQ(lastbox.calls, 0);

    // A second run reads the list it made.
    cmdline_reset();
    r = runmain(sc);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("list.txt found. Reading from list.txt ... \n"), std::string::npos) << r.out;
}

// An empty list made in a directory without images: exit code 3, and so on
// every later run.
TEST_F(Driver, NoImagesGivesThree) {
    for (int i = 0; i < 2; i++) {
        cmdline_reset();
        run r = runmain(sc);
        EXPECT_EQ(r.code, 3) << r.out;
        EXPECT_NE(r.out.find("Sorry. Cannot access in PNG file(s) in ANSI/UTF-8/UTF-16 modes. \n"), std::string::npos);
        EXPECT_TRUE(sc.exists("list.txt"));
        EXPECT_FALSE(sc.exists("movie.avi"));
    }
}

// An empty first line names the directory itself: exit code 3.
TEST_F(Driver, EmptyFirstNameGivesThree) {
    frames(sc, {"a.png"});
    sc.put("list.txt", "\r\na.png\r\n");
    run r = runmain(sc);
    EXPECT_EQ(r.code, 3) << r.out;
    EXPECT_NE(r.out.find("  => Valid PNG file names: 2. \n"), std::string::npos) << r.out;
}

// Whether a path names the list (in either width).
template <class C>
bool islist(std::basic_string_view<C> name) {
    const C want[] = {'l', 'i', 's', 't', '.', 't', 'x', 't'};
    return name.size() >= 8 && name.substr(name.size() - 8) == std::basic_string_view<C>(want, 8);
}

// The list refused by 8-bit name (it then opens only by its wide name), or
// by both names.
FILE* nolistfopen(const char* name, const char* mode) {
    if (islist(std::string_view(name))) return nullptr;
    return os_native.fopen(name, mode);
}
os_file nolistopenW(const char16_t* name, int how) {
    if (islist(std::u16string_view(name))) return nullptr;
    return os_native.openW(name, how);
}

// What the refused opens of the list say of it.
uint32_t listerror;
uint32_t listlasterror() { return listerror; }

// Neither form of the list path can be created: exit code 5.

TEST_F(Driver, ListCannotBeMadeGivesFive) {
    sc.png("a.png", moviefix::pattern(4, 4, false, 1));
    g_os.fopen = nolistfopen;
    g_os.openW = nolistopenW;
    g_os.lasterror = listlasterror;
    listerror = OS_ERR_FILE_NOT_FOUND;
    run r = runmain(sc);
    EXPECT_EQ(r.code, 5) << r.out;
    EXPECT_NE(r.out.find("Failed in creating list.txt. \n"), std::string::npos) << r.out;
    EXPECT_FALSE(sc.exists("movie.avi"));
}

// A list that is there but cannot be read (no read permission, a folder of
// that name, held by another program) is never replaced by the folder's
// listing: exit code 5, a line naming the cause, the file untouched.
TEST_F(Driver, UnreadableListIsLeftAlone) {
    frames(sc, {"a.png", "b.png"});
    const std::string mine = "// my order\r\nb.png\r\na.png\r\n";
    sc.put("list.txt", mine);
    g_os.fopen = nolistfopen;
    g_os.openW = nolistopenW;
    g_os.lasterror = listlasterror;
    struct Cause { uint32_t error; const char* text; } causes[] = {
        {OS_ERR_ACCESS_DENIED, "(access denied)"},
        {OS_ERR_SHARING, "(in use by another program)"},
        {OS_ERR_OTHER, "(system error 31)"},
    };
    for (const Cause& c : causes) {
        listerror = c.error;
        cmdline_reset();
        run r = runmain(sc);
        EXPECT_EQ(r.code, 5) << r.out;
        EXPECT_NE(r.out.find(std::string(" list.txt exists but cannot be read ") + c.text +
                             ": it is left as it is. \n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("Creating list.txt"), std::string::npos) << r.out;
        EXPECT_EQ(testutil::read_file(sc.path("list.txt")), std::vector<uint8_t>(mine.begin(), mine.end()));
        EXPECT_FALSE(sc.exists("movie.avi"));
    }
}

// A list that fills the disk as it is written is not taken for a whole
// list, and is not left behind for the next run to trust.  It is made by
// 8-bit name (the runtime's writes), or by 16-bit name when the 8-bit create
// is refused, and then removed by that 16-bit name: here the 8-bit remove is
// made to miss the list, as on Windows a name without an 8-bit spelling
// does.  The disk fills after 10 bytes.
FILE* nolistcreate(const char* name, const char* mode) {
    if (islist(std::string_view(name)) && mode[0] == 'w') return nullptr;
    return os_native.fopen(name, mode);
}
int nolistremove(const char* name) {
    if (islist(std::string_view(name))) return -1;
    return os_native.remove(name);
}

TEST_F(Driver, ListCutByFullDiskGivesFive) {
    for (int i = 0; i < 5; i++) sc.png("p" + std::to_string(i) + ".png", moviefix::pattern(4, 4, false, i));
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "made by 16-bit name" : "made by 8-bit name");
        if (wide) {
            g_os.fopen = nolistcreate;
            g_os.remove = nolistremove;
        }
        run r;
        {
            fulldisk::Use disk(10);
            cmdline_reset();
            r = runmain(sc);
            EXPECT_TRUE(disk.tripped());
        }
        EXPECT_EQ(r.code, 5) << r.out;
        EXPECT_NE(r.out.find("Failed in creating list.txt. \n"), std::string::npos) << r.out;
        EXPECT_FALSE(sc.exists("list.txt"));

        // With room for the whole list the same path makes it.
        {
            fulldisk::Use disk(1000000);
            cmdline_reset();
            r = runmain(sc);
        }
        EXPECT_NE(r.code, 5) << r.out;
        EXPECT_EQ(testutil::read_file(sc.path("list.txt")).size(), 5u * 8);
        std::filesystem::remove(sc.path("list.txt"));
    }
}

// ---- The report ---------------------------------------------------------------------------------

struct ReportCase {
    const char* name;
    uint16_t lang;
    uint32_t outcp;
    bool widelist;         // the list opens only by its wide name
    const char* console;   // the report's lines on the console
    const char* boxtext;   // the message box text (8-bit, or UTF-8 of the wide text)
};

const ReportCase kReports[] = {
    {"english", 0x409, 437, false,
     "AVI save failed. (-6)\n\n The PNG file (assigned in the list.txt) not found: \n   gone.png \n Aborted. \n",
     " PNG file not found (list.txt): \r\n \r\n   gone.png \r\n \r\n Aborted. \r\n"},
    {"japanese",
     0x411, 932, false,
     "AVI save failed. (-6)\n\n list.txt \x92\x86\x82\xC9\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xBD\x83t\x83@\x83"
     "C\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD: \n"
     "   gone.png \n \x92\x86\x92" "f\x82\xB5\x82\xDC\x82\xB5\x82\xBD. \n",
     " \x83t\x83@\x83" "C\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD"
     " (list.txt): \r\n \r\n   gone.png \r\n \r\n \x92\x86\x92" "f\x82\xB5\x82\xDC\x82\xB5\x82\xBD. \r\n"},
    // A Japanese user on a UTF-8 console gets the English report.
    {"japanese_utf8_console", 0x411, 65001, false,
     "AVI save failed. (-6)\n\n The PNG file (assigned in the list.txt) not found: \n   gone.png \n Aborted. \n",
     " PNG file not found (list.txt): \r\n \r\n   gone.png \r\n \r\n Aborted. \r\n"},
    {"wide", 0x409, 437, true,
     "AVI save failed. (-6)\n\n The PNG file (assigned in the list.txt) not found: \n   gone.png \n Aborted. \n",
     " PNG file not found (list.txt): \r\n \r\n   gone.png \r\n \r\n Aborted. \r\n"},
};

class Report : public Driver, public ::testing::WithParamInterface<ReportCase> {};
void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }


// A listed image that is missing: -6, the console lines and a message box
// with the caption "reelkiln", topmost with the information icon.
TEST_P(Report, MissingImage) {
    const ReportCase& c = GetParam();
    fakelang = c.lang;
    fakedbcs = true;
    fakeoutcp = c.outcp;
    frames(sc, {"a.png", "b.png"});
    sc.put("list.txt", "a.png\r\ngone.png\r\nb.png\r\n");
    if (c.widelist) g_os.fopen = nolistfopen;
    run r = runmain(sc);
    EXPECT_EQ(r.code, -6) << r.out;
    EXPECT_NE(r.out.find(c.console), std::string::npos) << r.out;
    ASSERT_EQ(lastbox.calls, 1);
    EXPECT_EQ(lastbox.style, 0x40040u);
    EXPECT_EQ(lastbox.wide, c.widelist);
    if (c.widelist) {
        EXPECT_NE(r.out.find(" UTF-16 access OK. \n"), std::string::npos) << r.out;
        EXPECT_EQ(lastbox.captionW, u"reelkiln");
        EXPECT_EQ(lastbox.textW, testutil::u16(c.boxtext));
    } else {
        EXPECT_EQ(lastbox.caption, "reelkiln");
        EXPECT_EQ(lastbox.text, c.boxtext);
    }
}

INSTANTIATE_TEST_SUITE_P(Driver, Report, ::testing::ValuesIn(kReports),
                         [](const ::testing::TestParamInfo<ReportCase>& i) { return std::string(i.param.name); });

// An empty name further down: -6 with no name line.
TEST_F(Driver, EmptyNameFurtherDownHasNoNameLine) {
    frames(sc, {"a.png"});
    sc.put("list.txt", "a.png\r\n\r\n");
    run r = runmain(sc);
    EXPECT_EQ(r.code, -6) << r.out;
    EXPECT_NE(r.out.find(" The PNG file (assigned in the list.txt) not found: \n Aborted. \n"), std::string::npos)
        << r.out;
    EXPECT_EQ(lastbox.text, " PNG file not found (list.txt): \r\n \r\n Aborted. \r\n");
}

// The results' first lines.
struct ResultCase {
    const char* name;
    int key;             // delivered by the key poll at once
    int code;
    const char* line;
};

int keynow;
int fakekey(int* key) {
    *key = keynow;
    return 1;
}

const ResultCase kResults[] = {
    {"esc", 27, 27, "ESC - Aborted. \nAVI save failed. (27)\n"},
    {"ctrl_c", 3, 3, "STOP - Aborted. \nAVI save failed. (3)\n"},
    {"other_keys_ignored", 'a', 0, "done. \nmovie.AVI save OK.\n"},
};

class Result : public Driver, public ::testing::WithParamInterface<ResultCase> {};
void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.name; }


TEST_P(Result, Lines) {
    frames(sc, {"a.png", "b.png", "c.png"});
    keynow = GetParam().key;
    g_os.console_event = fakekey;
    run r = runmain(sc);
    EXPECT_EQ(r.code, GetParam().code) << r.out;
    EXPECT_NE(r.out.find(GetParam().line), std::string::npos) << r.out;
    EXPECT_EQ(lastbox.calls, 0);
}

INSTANTIATE_TEST_SUITE_P(Driver, Result, ::testing::ValuesIn(kResults),
                         [](const ::testing::TestParamInfo<ResultCase>& i) { return std::string(i.param.name); });

// ---- A stop key during start-up ----------------------------------------------------------

// The key comes on poll `at` (1 = the first of the run) and on every poll
// after it, as a held key or a Ctrl-C that is not taken would: a run that
// swallowed it stops at its next poll instead of writing the whole movie.
int startkeyat, startkeyvalue, startkeycalls;
int startkey(int* key) {
    if (++startkeycalls < startkeyat) return 0;
    *key = startkeyvalue;
    return 1;
}

// Where the key is taken: inside the driver's load of the first image (its
// first or its last row), or by the writer just before it would create the
// movie (the first poll after that load).
enum startplace { LOAD_FIRST_ROW, LOAD_LAST_ROW, BEFORE_CREATE };

struct StartKeyCase {
    const char* name;
    startplace place;
    int key;
    bool odml;    // the movie would pass 4 GB: the OpenDML writer's path
    int threads;  // framethreads
};

std::vector<StartKeyCase> startkeycases() {
    std::vector<StartKeyCase> v;
    static std::vector<std::string> names;  // the cases keep pointers into it
    names.reserve(64);
    for (startplace at : {LOAD_FIRST_ROW, LOAD_LAST_ROW, BEFORE_CREATE})
        for (int key : {27, 3})
            for (bool odml : {false, true})
                for (int threads : {1, 4}) {
                    const char* where = at == LOAD_FIRST_ROW  ? "load_first_row"
                                        : at == LOAD_LAST_ROW ? "load_last_row"
                                                              : "before_create";
                    names.push_back(std::string(where) + (key == 27 ? "_esc" : "_ctrl_c") +
                                    (odml ? "_odml" : "_avi1") + "_threads" + std::to_string(threads));
                    v.push_back({names.back().c_str(), at, key, odml, threads});
                }
    return v;
}

class StartKey : public Driver, public ::testing::WithParamInterface<StartKeyCase> {
protected:
    void TearDown() override { framethreads = 0; }
};
void PrintTo(const StartKeyCase& c, std::ostream* os) { *os << c.name; }

// A stop key taken anywhere before the frame loop ends the run as the frame
// loop's stop does: the Aborted line and the key's code, never a failed
// image, and no movie.avi at all.
TEST_P(StartKey, StopsTheRunWithNoMovie) {
    const StartKeyCase& c = GetParam();
    int h;
    if (c.odml) {
        // One flat 1024 x 1024 image (a PNG of a few kilobytes) listed 1400
        // times: 4.4 GB of frames, past what AVI 1.0 can hold.
        moviefix::image im;
        im.w = im.h = h = 1024;
        im.px.assign((size_t)im.w * im.h * 4, 200);
        sc.png("big.png", im);
        std::string list;
        for (int i = 0; i < 1400; i++) list += "big.png\r\n";
        sc.put("list.txt", list);
    } else {
        frames(sc, {"a.png", "b.png", "c.png"});
        h = 4;
    }
    framethreads = c.threads;
    startkeycalls = 0;
    startkeyvalue = c.key;
    startkeyat = c.place == LOAD_FIRST_ROW ? 1 : c.place == LOAD_LAST_ROW ? h : h + 1;
    g_os.console_event = startkey;
    run r = runmain(sc);

    EXPECT_EQ(r.code, c.key) << r.out;
    EXPECT_FALSE(sc.exists("movie.avi")) << r.out;
    EXPECT_EQ(r.out.find("PNG load failed"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("movie.AVI save OK."), std::string::npos) << r.out;
    EXPECT_STREQ(badpngname, "");
    EXPECT_EQ(lastbox.calls, 0);
    const std::string aborted = c.key == 27 ? "ESC - Aborted. \nAVI save failed. (27)\n"
                                            : "STOP - Aborted. \nAVI save failed. (3)\n";
    // In the load, the loader's open line is ended, as the frame loop ends
    // it; before the file, the writer's last line was whole.
    const std::string tail = (c.place == BEFORE_CREATE ? std::string(" RGB planes only. \n")
                                                       : "(" + std::to_string(c.odml ? 1024 : 6) + "," +
                                                             std::to_string(h) + ") 24-bit \n") +
                             aborted;
    ASSERT_GE(r.out.size(), tail.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
    EXPECT_EQ(r.out.find(aborted), r.out.size() - aborted.size()) << "reported once";
    EXPECT_EQ(r.out.find("PNG load OK.\n") != std::string::npos, c.place == BEFORE_CREATE) << r.out;
    EXPECT_EQ(r.out.find("File size will be over 4 GB.") != std::string::npos, c.odml && c.place == BEFORE_CREATE)
        << r.out;
}

INSTANTIATE_TEST_SUITE_P(Driver, StartKey, ::testing::ValuesIn(startkeycases()),
                         [](const ::testing::TestParamInfo<StartKeyCase>& i) { return std::string(i.param.name); });

// A movie.avi of an earlier run is left as it was by a stop before the
// writer creates the new one (it is not truncated first); a stop in the
// frame loop, after the creation, leaves the partial new movie as before.
TEST_F(Driver, StopBeforeCreateKeepsTheEarlierMovie) {
    frames(sc, {"a.png", "b.png"});
    sc.put("movie.avi", std::string("an earlier movie"));
    startkeycalls = 0;
    startkeyvalue = 27;
    startkeyat = 4 + 1;  // the first poll after the 4 rows of the first image
    g_os.console_event = startkey;
    run r = runmain(sc);
    EXPECT_EQ(r.code, 27) << r.out;
    EXPECT_EQ(sc.get("movie.avi"), std::vector<uint8_t>({'a', 'n', ' ', 'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'm',
                                                         'o', 'v', 'i', 'e'}));

    cmdline_reset();
    startkeycalls = 0;
    startkeyat = 4 + 2;  // the first frame's poll
    r = runmain(sc);
    EXPECT_EQ(r.code, 27) << r.out;
    ASSERT_TRUE(sc.exists("movie.avi"));
    std::vector<uint8_t> b = sc.get("movie.avi");
    EXPECT_EQ(b.size(), 2048u) << "the header of the two frames, no frame";
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
}

// The sound: present with channels, reported; a WAV without a format chunk
// has no channels and gives no sound.
TEST_F(Driver, SoundLines) {
    frames(sc, {"a.png"});
    sc.put("music.wav", moviefix::pcmwav(2, 44100, 16, moviefix::samples(400)));
    run r = runmain(sc);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("wav datlen = 400 \nwav maxch = 2 \nwav bit/ch = 16 \nwav smpl/sec = 44100 \n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("PNG load OK.\n"), std::string::npos);

    sc.put("music.wav", moviefix::wavfile({moviefix::chunkbytes("data", moviefix::samples(10))}));
    cmdline_reset();
    r = runmain(sc);
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("wav maxch = 0 \n"), std::string::npos) << r.out;
    riff::source src = riff::file(sc.path("movie.avi"));
    EXPECT_EQ(src.u32(56), 1u);  // one stream
}

// One read or write call failing, for every call of a whole run in turn
// (the list, the frames, "music.wav", the movie): the run never says
// "movie.AVI save OK." unless the movie is the whole one, and a failed run
// says so with its code.  One decoding thread, so that the calls come in
// the same order in every run.
int onecore() { return 1; }

TEST_F(Driver, FailedReadNeverSavesAPartMovie) {
    frames(sc, {"a.png", "b.png"});
    sc.put("music.wav", moviefix::pcmwav(2, 8000, 16, moviefix::samples(600)));
    g_os.cpu_count = onecore;
    long calls = 0;
    run r;
    {
        failcall::Use f(0);
        r = runmain(sc);
        calls = f.count();
    }
    ASSERT_EQ(r.code, 0) << r.out;
    const std::vector<uint8_t> whole = testutil::read_file(sc.path("movie.avi"));
    ASSERT_GT(calls, 50);
    int failed = 0;
    for (long n = 1; n <= calls; n++) {
        std::filesystem::remove(sc.path("movie.avi"));
        failcall::kind k;
        {
            failcall::Use f(n);
            cmdline_reset();
            r = runmain(sc);
            k = f.fired();
        }
        SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(calls) +
                     (k == failcall::READ ? " (a read)" : k == failcall::SEEK ? " (a seek)" : " (a write)"));
        const bool ok = r.out.find("movie.AVI save OK.\n") != std::string::npos;
        EXPECT_EQ(ok, r.code == 0) << r.out;
        if (ok) EXPECT_EQ(testutil::read_file(sc.path("movie.avi")), whole) << r.out;
        else EXPECT_TRUE(r.out.find("AVI save failed. (") != std::string::npos ||
                         r.out.find("Read failed in the list of images (list.txt). \n") != std::string::npos ||
                         r.out.find("Sorry. Cannot access in PNG file(s)") != std::string::npos)
            << r.code << ": " << r.out;
        failed += !ok;
        if (HasFailure()) break;
    }
    EXPECT_GT(failed, 0);
}

// msgcpy / msgcat: plain copies in the Japanese Shift_JIS mode, UTF-8
// conversions otherwise.
TEST_F(Driver, MessageHelpers) {
    const char* sjis = "\x93\xFA\x96{";  // two characters
    char buf[64];
    jpmode = sjismode = 0xFF;
    EXPECT_STREQ(msgcpy(buf, sjis), sjis);
    EXPECT_STREQ(msgcat(buf, "a"), "\x93\xFA\x96{a");
    jpmode = 0xFF;
    sjismode = 0;
    EXPECT_STREQ(msgcpy(buf, sjis), "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_STREQ(msgcat(buf, sjis), "\xE6\x97\xA5\xE6\x9C\xAC\xE6\x97\xA5\xE6\x9C\xAC");
    // No end within 520 bytes: unchanged.
    std::vector<char> big(600, 'x');
    big[599] = 0;
    EXPECT_EQ(msgcat(big.data(), "abc"), big.data());
    EXPECT_EQ(std::string(big.data()).size(), 599u);
}

}  // namespace
