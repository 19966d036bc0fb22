// driver.cpp - the program driver: start-up, the command line, the frame
// list, the checks before writing, the movie and the report.
//
// Division: process-wide state; message helpers; start-up (version, console
// mode, banner); command line and program directory; the frame list; the
// first image and the sound; the movie and the report; reelkilnmain.
//
// Every console line is a fixed text that users and scripts may match (its
// spelling and spacing are kept as they are); the Japanese texts
// are stored in Shift_JIS (code page 932) and shown as such only in the
// Japanese Shift_JIS console mode.

#include "movie/driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/image.h"
#include "movie/avi1.h"
#include "movie/framelist.h"
#include "movie/odml.h"
#include "movie/wav.h"
#include "platform/platform.h"
#include "stream/stream.h"
#include "text/text.h"

// ---- Process-wide state ------------------------------------------------------------

float winver = 0.0f;
uint8_t jpmode = 0, sjismode = 0, utf8mode = 0;
uint32_t consolecp = 0, consoleoutputcp = 0;
int8_t displayLevel = 0;
int wargc = 0;
char16_t* wargv[CMDARGS_PTRS];
int argcA = 0;
char* argvA[CMDARGS_PTRS];

void driver_reset(void) {
    winver = 0.0f;
    jpmode = sjismode = utf8mode = 0;
    consolecp = consoleoutputcp = 0;
    displayLevel = 0;
    wargc = argcA = 0;
    for (int i = 0; i < CMDARGS_PTRS; i++) {
        wargv[i] = nullptr;
        argvA[i] = nullptr;
    }
    // The failed name the driver reports after the writer: a run stopped
    // before the writer's pre-pass (which empties it) must not find an
    // earlier run's name there.
    badpngname[0] = 0;
    badpngnameW[0] = 0;
}

namespace {

// The Shift_JIS texts.
constexpr const char kModeSjis[] = "(\x93\xFA\x96{\x8C\xEA\x8A\xC2\x8B\xAB) ";
constexpr const char kModeUtf8[] = "(UTF-8\x93\xFA\x96{\x8C\xEA\x8A\xC2\x8B\xAB) ";
constexpr const char kNotFoundJp[] =
    " list.txt \x92\x86\x82\xC9\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xBD\x83t\x83@\x83"
    "C\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD: \n";
constexpr const char kAbortedJp[] = " \x92\x86\x92" "f\x82\xB5\x82\xDC\x82\xB5\x82\xBD. \n";
constexpr const char kBoxNotFoundJp[] =
    " \x83t\x83@\x83" "C\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD"
    " (list.txt): \r\n";
constexpr const char kBoxAbortedJp[] = " \x92\x86\x92" "f\x82\xB5\x82\xDC\x82\xB5\x82\xBD. \r\n";

// The separator put after a current directory.  Windows wants '\'; on POSIX
// the platform layer would turn a '\' into '/' anyway, and '/' keeps the
// printed paths readable.
#if OS_SLASH_SEPARATES
constexpr char kSep[] = "/";
constexpr char16_t kSepW[] = u"/";
#else
constexpr char kSep[] = "\\";
constexpr char16_t kSepW[] = u"\\";
#endif

void sleepms(uint32_t ms) {
    if (g_os.sleep_ms) g_os.sleep_ms(ms);
}

bool japanese() { return jpmode && sjismode; }

// The joins of the program directory and a name (both forms) are the frame
// list's (joinpath): a path that does not fit is refused and left empty, so
// it names no file (the open or the create then fails), as a listed name
// that does not fit names none for the writers.
constexpr int kPathCap = JOINED_CAP;

void join(char* dst, const char* dir, const char* name) { joinpath(dst, kPathCap, dir, name); }

void joinW(char16_t* dst, const char16_t* dir, const char16_t* name) {
    joinpathW(dst, kPathCap, dir, name);
}

// A wide path in Shift_JIS for printing.  wstr2sjis writes at most two bytes
// per unit.
struct sjisname {
    char s[2 * kPathCap + 2];
    explicit sjisname(const char16_t* w) { wstr2sjis(s, w); }
};

}  // namespace

// ---- Message helpers -----------------------------------------------------------------

char* msgcpy(char* dst, const char* src) {
    if (japanese()) return strcpy(dst, src);
    sjistoutf8(dst, src);
    return dst;
}

char* msgcat(char* dst, const char* src) {
    if (japanese()) return strcat(dst, src);
    sjistoutf8cat(dst, src);
    return dst;
}

namespace {

// ---- Start-up ----------------------------------------------------------------------------

// The Windows version: GetVersion, refined by RtlGetVersion from 6.0 on.
void readversion() {
    uint32_t v = g_os.get_version ? g_os.get_version() : 0;
    winver = (float)((double)(v & 0xFF) + (double)((v >> 8) & 0xFF) / 10.0);
    if ((v & 0xFF) >= 6 && g_os.rtl_get_version) {
        os_osversion o{0, 0, 0};
        int32_t status = 0;
        if (g_os.rtl_get_version(&o, &status) && !(status & 2)) {
            float f = (float)o.build;
            f /= 100000.0f;
            f += (float)o.minor;
            f /= 10.0f;
            f += (float)o.major;
            winver = f;
        }
    }
}

void readconsolemode() {
    consolecp = g_os.console_cp ? g_os.console_cp() : 0;
    consoleoutputcp = g_os.console_output_cp ? g_os.console_output_cp() : 0;
    jpmode = sjismode = utf8mode = 0;
    if (g_os.user_lang && g_os.user_lang() == 0x411) {
        jpmode = 0xFF;
        if (g_os.is_dbcs_lead && g_os.is_dbcs_lead(0x92)) {
            if (consoleoutputcp == 65001) utf8mode = 0xFF;
            else if (consoleoutputcp == 932) sjismode = 0xFF;
        } else if (consoleoutputcp == 65001) {
            utf8mode = 0xFF;
        }
    }
}

// The banner, the version text, the mode text and "(x64) ".  A host that is
// not Windows names itself: the program never claims a Windows it is not
// running on.
void printbanner(const char* banner) {
    sleepms(500);
    puts(banner);
    const char* host = g_os.host_system ? g_os.host_system() : nullptr;
    if (host) {
        printf(" on %s ", host);
    } else {
        double v = winver;
        if (v >= 10.0) printf(" on Windows %g ", v);
        else if (v >= 6.3) printf(" on Windows 8.1 ");
        else if (v >= 6.2) printf(" on Windows 8 ");
        else if (v >= 6.1) printf(" on Windows 7 ");
        else if (v >= 6.0) printf(" on Windows Vista ");
        else if (v >= 5.2) printf(" on Windows XP ");
        else if (v >= 5.1) printf(" on Windows 2000 ");
        else printf(" on Windows 95-98,Me ");
    }
    if (jpmode && sjismode) {
        printf("%s", kModeSjis);
    } else if (jpmode && utf8mode) {
        char buf[64];
        buf[0] = 0;
        sjistoutf8(buf, kModeUtf8);
        printf("%s", buf);
    } else {
        printf("(English mode) ");
    }
    printf("(x64) ");
    printf("\n");
}

// ---- Command line and program directory -------------------------------------------

// The directory part of the program's own path, or the current directory
// with a separator.  The 8-bit and wide forms are found the same way.
void setexedirW() {
    static char16_t dir[CMDARGS_TEXT];
    dir[0] = 0;
    if (wargc > 0 && wargv[0]) getdirW(dir, wargv[0]);
    if (dir[0] && wstrlen(dir) < EXEDIR_CAP) {
        wstrcpy(exedirW, dir);
        return;
    }
    exedirW[0] = 0;
    if (dir[0] == 0 && g_os.current_dirW) {
        uint32_t k = g_os.current_dirW(EXEDIR_CAP - 2, exedirW);
        if (k > 0 && k < EXEDIR_CAP - 2) {
            wstrcat(exedirW, kSepW);
            return;
        }
    }
    exedirW[0] = 0;
    printf("(Obtaining exe dir failed.) \n");
}

void setexedir() {
    static char dir[CMDARGS_TEXT];
    dir[0] = 0;
    if (argcA > 0 && argvA[0]) getdir(dir, argvA[0]);
    if (dir[0] && strlen(dir) < (size_t)EXEDIR_CAP) {
        strcpy(exedir, dir);
        return;
    }
    exedir[0] = 0;
    if (dir[0] == 0 && g_os.current_dirA) {
        uint32_t k = g_os.current_dirA(EXEDIR_CAP - 2, exedir);
        if (k > 0 && k < EXEDIR_CAP - 2) {
            strcat(exedir, kSep);
            return;
        }
    }
    exedir[0] = 0;
    printf("(Obtaining exe dir failed.) \n");
}

// Reads one option string: '-' and '/' are skipped, "D" or "d" with an
// optional '=' and a decimal number sets displayLevel (printed when print is
// set), anything else is an option error.
void readoption(const char* s, bool print) {
    while (*s) {
        char c = *s;
        if (c == '-' || c == '/') {
            s++;
        } else if (c == 'D' || c == 'd') {
            s++;
            if (*s == '=') s++;
            char* end = nullptr;
            long v = strtol(s, &end, 10);
            if (end) s = end;
            if (print) {
                displayLevel = (int8_t)(uint8_t)(v & 0xFF);
                printf("Info.displayLevel = %ld. \n", (long)displayLevel);
            }
        } else {
            printf("\nOption error: <%c> %02X", c, (unsigned)(int)(signed char)c);
            s++;
        }
    }
}

bool isoption(const char* s) { return s[0] == '-' || s[0] == '/'; }

void readcommandline(int argc, char** argv) {
    // The wide set, from the process command line.
    wargc = 0;
    wargv[0] = wargbuf;
    splitcmdlineW(&wargc, wargv);
    setexedirW();

    // The 8-bit set, rebuilt from the runtime's arguments.
    argbuf[0] = 0;
    argbuflen = 0;
    argcA = 0;
    argvA[0] = argbuf;
    for (int i = 0; i < argc; i++) {
        if (i == CMDARGS_MAX) {
            printf("Too many command line parameters.\n");
            break;
        }
        addarg(&argcA, argvA, argv[i] ? argv[i] : "");
    }
    setexedir();

    // First pass: options, and a test-open of every other argument.
    for (int i = 1; i < argcA; i++) {
        const char* a = argvA[i];
        if (isoption(a)) {
            readoption(a, true);
            continue;
        }
        if (rfopenq(a) == 0) {
            printf(" -- correctly opened in ANSI or UTF-8. \n");
            rfclose();
            continue;
        }
        printf(" -- could not open in ANSI or UTF-8. \n");
        static const char16_t none[1] = {0};
        const char16_t* w = i < wargc ? wargv[i] : none;
        if (rfopenqW(w) == 0) {
            printf(" -- correctly opened in UTF-16. \n");
            rfclose();
        } else {
            printf(" -- could not open in UTF-16. (***) \n");
        }
    }
    // Second pass: the options once more, without the displayLevel line.
    if (argcA <= 1) {
        printf("\n");
    } else {
        for (int i = 1; i < argcA; i++) {
            if (isoption(argvA[i])) readoption(argvA[i], false);
            else printf("\n");
        }
    }
}

// ---- The frame list ---------------------------------------------------------------------

// The cause of a failed open, from the system's error code, for the lines
// that name it.
struct causetext {
    char s[48];
};
causetext opencause(uint32_t e) {
    causetext t{};
    switch (e) {
    case OS_ERR_ACCESS_DENIED: snprintf(t.s, sizeof t.s, "access denied"); break;
    case OS_ERR_SHARING: snprintf(t.s, sizeof t.s, "in use by another program"); break;
    default: snprintf(t.s, sizeof t.s, "system error %u", (unsigned)e); break;
    }
    return t;
}

// Writes "list.txt" from the directory's "*.png" entries, in the order the
// system returns them, each name ended by CR LF.  The list is flushed and
// checked before it is closed: a list cut short by a full disk would make a
// movie that silently lacks frames, so a failed list is removed again.
// Returns 0, or 5.
int createlist(const char* listpath, const char16_t* listpathW, const char* pattern,
               const char16_t* patternW, uint8_t* wide) {
    sleepms(100);
    printf("Creating list.txt ... \n");
    if (wfcreate(listpath) != 0) {
        if (wfcreateW(listpathW) != 0) {
            printf("Failed in creating list.txt. \n");
            return 5;
        }
        *wide = 0xFF;
    }
    if (*wide) {
        static os_findW fd;
        os_search s = g_os.findfirstW(patternW, &fd);
        if (s) {
            do {
                if (fd.attrib & OS_ATTR_DIRECTORY) continue;
                char name[2 * 260 + 2];
                wstr2sjis(name, fd.name);
                if (!name[0]) continue;
                wfputs(name);
                wfputc(13);
                wfputc(10);
            } while (g_os.findnextW(s, &fd));
            g_os.findclose(s);
        }
    } else {
        static os_findA fd;
        os_search s = g_os.findfirstA(pattern, &fd);
        if (s) {
            do {
                if (fd.attrib & OS_ATTR_DIRECTORY) continue;
                if (!fd.name[0]) continue;
                wfputs(fd.name);
                wfputc(13);
                wfputc(10);
            } while (g_os.findnextA(s, &fd));
            g_os.findclose(s);
        }
    }
    wfflush();
    bool failed = wferr() != 0;
    failed |= wfclose() != 0;
    if (failed) {
        // A cut list must not be found and trusted by the next run; it is
        // removed by the name it was created by (a list made by 16-bit name
        // may have no 8-bit spelling).
        if (*wide) g_os.removeW(listpathW);
        else g_os.remove(listpath);
        printf("Failed in creating list.txt. \n");
        return 5;
    }
    return 0;
}

// Counts the valid names of the list and keeps the first; -1 after its line
// when a read of the list failed.
int countlist(const char* listpath, const char16_t* listpathW, uint8_t wide, char* first) {
    sleepms(100);
    int count = 0;
    first[0] = 0;
    if ((wide ? tfopenW(listpathW) : tfopen(listpath)) == 0) {
        char name[LISTNAME_BUF];
        while (listgetname(name) == 0) {
            if (count == 0) strcpy(first, name);
            count++;
        }
        tfclose();
        if (tferror()) {
            // Not the list's end: what was read up to there is not the list.
            printf("Read failed in the list of images (list.txt). \n");
            return -1;
        }
    }
    printf("  => Valid PNG file names: %d. \n", count);
    printf("done. \n");
    return count;
}

// ---- The report -----------------------------------------------------------------------

// The console lines and the message box of a result.
void report(int r, uint8_t wide) {
    if (r != 0) {
        if (r == 3) printf("STOP - Aborted. \n");
        else if (r == 27) printf("ESC - Aborted. \n");
        else if (r == -1) printf("- Aborted. \n");
        printf("AVI save failed. (%d)\n", r);
    } else {
        printf("done. \n");
        printf("movie.AVI save OK.\n");
    }
    if (r != AVI1_BAD_IMAGE) return;

    const char* N = badpngname;
    printf("\n");
    if (japanese()) {
        printf("%s", kNotFoundJp);
        if (N[0]) printf("   %s \n", N);
        printf("%s", kAbortedJp);
    } else {
        printf(" The PNG file (assigned in the list.txt) not found: \n");
        if (N[0]) printf("   %s \n", N);
        printf(" Aborted. \n");
    }

    // The message box text, in 8-bit form (msgcat) and in wide form, built
    // from the same pieces.  The name has at most 287 bytes, so 1024 bytes
    // (or units) hold the whole text also after a conversion to UTF-8.
    char text[1024];
    char16_t textW[1024];
    char piece[512];
    text[0] = 0;
    textW[0] = 0;
    auto add = [&](const char* s) {
        msgcat(text, s);
        sjis2wstrcat(textW, s);
    };
    add(japanese() ? kBoxNotFoundJp : " PNG file not found (list.txt): \r\n");
    add(" \r\n");
    if (N[0]) {
        snprintf(piece, sizeof piece, "   %s \r\n", N);
        add(piece);
        add(" \r\n");
    }
    add(japanese() ? kBoxAbortedJp : " Aborted. \r\n");
    fflush(stdout);
    if (wide) {
        if (g_os.message_boxW) g_os.message_boxW(textW, u"reelkiln", 0x40040);
    } else {
        if (g_os.message_boxA) g_os.message_boxA(text, "reelkiln", 0x40040);
    }
}

}  // namespace

// ---- The program --------------------------------------------------------------------------

int reelkilnmain(int argc, char** argv, float moviefps, const char* banner) {
    readversion();
    readconsolemode();
    printbanner(banner);
    readcommandline(argc, argv);

    // The paths beside the program.
    static char pattern[kPathCap], listpath[kPathCap];
    static char16_t patternW[kPathCap], listpathW[kPathCap];
    join(pattern, exedir, "*.png");
    joinW(patternW, exedirW, u"*.png");
    printf("Path : %s\n", pattern);
    join(listpath, exedir, "list.txt");
    joinW(listpathW, exedirW, u"list.txt");

    // Find the list, or make it.
    uint8_t wide = 0;
    bool found = false;
    if (rfopenq(listpath) == 0) {
        rfclose();
        printf(" ANSI/UTF-8 access OK. \n");
        found = true;
    } else if (rfopenqW(listpathW) == 0) {
        rfclose();
        wide = 0xFF;
        printf(" UTF-16 access OK. \n");
        found = true;
    } else if (uint32_t e = g_os.lasterror(); e != OS_ERR_FILE_NOT_FOUND && e != OS_ERR_PATH_NOT_FOUND) {
        // It is there but cannot be read (no read permission, a folder of
        // that name, another program holding it): the user's list is never
        // replaced by a listing of the folder; the run ends untouched.
        printf(" list.txt exists but cannot be read (%s): it is left as it is. \n", opencause(e).s);
        return 5;
    } else {
        printf(" list.txt not found. \n");
    }
    if (found) {
        printf("list.txt found. Reading from list.txt ... \n");
    } else if (int r = createlist(listpath, listpathW, pattern, patternW, &wide)) {
        return r;
    }

    // Count the list and keep its first name.
    char first[LISTNAME_BUF];
    if (countlist(listpath, listpathW, wide, first) < 0) return 5;
    char16_t firstW[LISTNAME_BUF];
    sjis2wstr(firstW, first);

    // The first image.
    static char png[kPathCap];
    static char16_t pngW[kPathCap];
    join(png, exedir, first);
    joinW(pngW, exedirW, firstW);
    sleepms(100);
    if (wide) printf("reading PNG(W): %s \n", sjisname(pngW).s);
    else printf("reading PNG(A): %s \n", png);
    sleepms(100);
    if ((wide ? pngscanW(pngW) : pngscan(png)) != 0) {
        printf("Sorry. Cannot access in PNG file(s) in ANSI/UTF-8/UTF-16 modes. \n");
        return 3;
    }
    printf("  => %s : (%d,%d) %d-bit ", first, (int)pngwidth, (int)pngheight, pngdepth);
    printf("%s", pnghasalpha ? " ALPHA exist. \n" : " RGB planes only. \n");
    printf("Opening PNG(W): %s \n", sjisname(pngW).s);
    printf("Opening PNG(A): %s \n", png);

    // The sound.
    static char wav[kPathCap];
    static char16_t wavW[kPathCap];
    join(wav, exedir, "music.wav");
    joinW(wavW, exedirW, u"music.wav");
    int64_t datlen = -1, dataoff = -1;
    int32_t ch = -1, bits = -1;
    int32_t rate = -1;
    int wr = wide ? wavscanW(wavW, &datlen, &dataoff, &ch, &bits, &rate)
                  : wavscan(wav, &datlen, &dataoff, &ch, &bits, &rate);
    if (wr == WAV_READFAIL) {
        // The sound is there but its header could not be read: a movie
        // without it would pass for the whole one.
        report(AVI1_COPY_FAILED, wide);
        fflush(stdout);
        return AVI1_COPY_FAILED;
    }
    if (wr == 0) {
        printf("wav datlen = %d \n", (int)datlen);
        printf("wav maxch = %d \n", ch);
        printf("wav bit/ch = %d \n", bits);
        printf("wav smpl/sec = %d \n", rate);
    }
    const bool sound = ch >= 1;

    // The first image once into the driver's planes; only reported, except
    // for a stop.  The load polls the keyboard once a row, and this is the
    // first poll of the run, so an ESC or Ctrl-C pressed since the start (the
    // pause, the list, the probe) is taken here.  It ends the run as the
    // frame loop's stop does, before anything is created: the loader's open
    // line is ended, then the Aborted line and the result.  "PNG load
    // failed." is not printed for it: nothing is wrong with the image.
    int lr = wide ? pngloadW(pngW, &mainplanes.width, &mainplanes.height, &mainplanes.R, &mainplanes.G,
                             &mainplanes.B, &mainplanes.A, &mainplanes.reallocated, &mainplanes.hasalpha)
                  : pngload(png, &mainplanes.width, &mainplanes.height, &mainplanes.R, &mainplanes.G,
                            &mainplanes.B, &mainplanes.A, &mainplanes.reallocated, &mainplanes.hasalpha);
    if (lr == 3 || lr == 27) {
        printf("\n");
        report(lr, wide);
        fflush(stdout);
        return lr;
    }
    if (lr != 0) printf("PNG load failed. (%d)\n", lr);
    else printf("PNG load OK.\n");

    // The movie: AVI 1.0, or OpenDML when that would pass 4 GB.
    static char avi[kPathCap];
    static char16_t aviW[kPathCap];
    join(avi, exedir, "movie.avi");
    joinW(aviW, exedirW, u"movie.avi");
    static const char16_t none16[1] = {0};
    int r;
    if (wide) {
        r = mkavi1W(aviW, listpathW, moviefps, sound ? wavW : none16);
        if (r == AVI1_TOO_LARGE) r = mkodmlW(aviW, listpathW, moviefps, sound ? wavW : none16);
    } else {
        r = mkavi1(avi, listpath, moviefps, sound ? wav : "");
        if (r == AVI1_TOO_LARGE) r = mkodml(avi, listpath, moviefps, sound ? wav : "");
    }
    report(r, wide);
    fflush(stdout);
    return r;
}
