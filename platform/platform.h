// platform.h - the operating-system services reelkiln uses, and nothing more.
//
// The program is a Windows console program at heart: its file, search, console,
// locale and process calls are the Win32 ones.  This header is the one seam
// between that design and the machine it runs on.  platform/win32.cpp fills it
// with the real Windows services; platform/posix.cpp gives the nearest honest
// equivalent on Linux.  No other file includes <windows.h> or a POSIX header.
//
// Every service is reached through the table g_os, so that a test can replace
// one entry (fail the Nth write, answer code page 932, claim a Windows version,
// deliver a key press) and put the table back afterwards:
//
//     os_api saved = g_os;  g_os.write = fail_third_write;  ...;  g_os = saved;
//
// Conventions, the Win32 ones throughout:
//   - yes/no results are 1 (done) and 0 (refused); after a 0 the cause is in
//     g_os.lasterror(), as a Windows error code (OS_ERR_*), on both sides;
//   - 16-bit strings are char16_t arrays ended by a 0 unit (UTF-16); on POSIX
//     they are turned into UTF-8 before they reach the file system, and 8-bit
//     names are passed through as bytes;
//   - on POSIX both '/' and '\' separate path components: the layer turns '\'
//     into '/' before it calls the system;
//   - lasterror is kept per thread, as on Windows; the file services (openW,
//     read, seek, size, close, fopen) may be called from several threads on
//     different files; everything else belongs to the program's main thread.
//
// Division: error codes and handles; files; directory search and file times;
// console input; locale, version and process; the table; start-up.

#ifndef REELKILN_PLATFORM_H
#define REELKILN_PLATFORM_H

#include <cstdint>
#include <cstdio>

// ---- Error codes (the Windows values the program prints) -----------------

enum {
    OS_ERR_FILE_NOT_FOUND = 2,   // ERROR_FILE_NOT_FOUND
    OS_ERR_PATH_NOT_FOUND = 3,   // ERROR_PATH_NOT_FOUND: a directory on the way is missing
    OS_ERR_ACCESS_DENIED = 5,    // ERROR_ACCESS_DENIED: also opening a directory as a file
    OS_ERR_INVALID_HANDLE = 6,   // ERROR_INVALID_HANDLE: a null or closed handle
    OS_ERR_SHARING = 32,         // ERROR_SHARING_VIOLATION
    OS_ERR_DISK_FULL = 112,      // ERROR_DISK_FULL
    OS_ERR_NEGATIVE_SEEK = 131,  // ERROR_NEGATIVE_SEEK: a move before the start of the file
    OS_ERR_NO_MORE_FILES = 18,   // ERROR_NO_MORE_FILES
    OS_ERR_OTHER = 31            // ERROR_GEN_FAILURE: anything without a closer code
};

// An open system file (a HANDLE on Windows, a descriptor on POSIX); null is
// no file.  A handle-mode stream keeps one of these.
typedef struct os_file_s* os_file;

// How a file is opened by openW.  Every open but OS_OPEN_READ_SHARED is
// exclusive (share mode 0) on Windows; POSIX cannot impose that.
enum {
    OS_OPEN_READ = 1,    // GENERIC_READ, OPEN_EXISTING
    OS_CREATE_WRITE = 2, // GENERIC_WRITE, CREATE_ALWAYS: created, or emptied when it exists
    OS_OPEN_WRITE = 3,   // GENERIC_WRITE, OPEN_ALWAYS: created, or opened as it is (writes start at 0)
    OS_OPEN_READ_SHARED = 4  // as OS_OPEN_READ, sharing reads (FILE_SHARE_READ): for
                             // worker threads that may read one file at once
};

// Seek origins, as FILE_BEGIN, FILE_CURRENT and FILE_END.
enum { OS_SEEK_BEGIN = 0, OS_SEEK_CURRENT = 1, OS_SEEK_END = 2 };

// The least time between two looks at the console that found nothing: a
// person cannot tell 4 ms, a 1080p frame has about 30 of them.
constexpr uint64_t OS_CONSOLE_LOOK_MS = 4;

// ---- Directory search and file times --------------------------------------

enum {
    OS_ATTR_READONLY = 0x01,  // FILE_ATTRIBUTE_READONLY
    OS_ATTR_DIRECTORY = 0x10  // FILE_ATTRIBUTE_DIRECTORY
};

// One directory entry as FindFirstFile/FindNextFile deliver it.  Times are
// Windows file times: 100 ns units since 1601-01-01 UTC.
struct os_findA {
    uint32_t attrib;
    uint64_t ctime, atime, wtime;  // creation, last access, last write
    uint64_t size;
    char name[260];                // bytes as the file system holds them
};
struct os_findW {
    uint32_t attrib;
    uint64_t ctime, atime, wtime;
    uint64_t size;
    char16_t name[260];
};
typedef struct os_search_s* os_search;  // null: no search

// SYSTEMTIME, field for field.  weekday counts from Sunday = 0.
struct os_systime {
    uint16_t year, month, weekday, day, hour, minute, second, ms;
};

// ---- Locale and version ---------------------------------------------------

// What RtlGetVersion fills of OSVERSIONINFOW.
struct os_osversion {
    uint32_t major, minor, build;
};

// ---- File dialogs -------------------------------------------------------------

// The fields of OPENFILENAMEA/W that the dialogs set or read, in neutral
// records.  The Windows side copies them into the system's record (size
// 152, no owner, no instance, every other field 0) and back; POSIX runs the
// console dialog of posix_dialog.cpp on the same fields.
struct os_filedlgA {
    const char* filter;        // lpstrFilter: description, pattern, ... ended by a double NUL
    uint32_t filter_index;     // nFilterIndex: in, the preselected pair (0: the first); out, the chosen one
    char* file;                // lpstrFile: in, the initial name; out, the whole path
    uint32_t max_file;         // nMaxFile, in units, the terminator included
    const char* initial_dir;   // lpstrInitialDir, null for none
    const char* title;         // lpstrTitle
    uint32_t flags;            // Flags (OS_OFN_*)
    uint16_t file_offset;      // nFileOffset: where the name starts in file
    uint16_t file_extension;   // nFileExtension: where the extension starts (after its '.'), 0 none
    const char* def_ext;       // lpstrDefExt, without its '.', null for none
};
struct os_filedlgW {
    const char16_t* filter;
    uint32_t filter_index;
    char16_t* file;
    uint32_t max_file;
    const char16_t* initial_dir;
    const char16_t* title;
    uint32_t flags;
    uint16_t file_offset;
    uint16_t file_extension;
    const char16_t* def_ext;
};

// The OFN_* flags the dialogs use, with the system's values.
enum {
    OS_OFN_OVERWRITEPROMPT = 0x0002,
    OS_OFN_HIDEREADONLY = 0x0004,
    OS_OFN_PATHMUSTEXIST = 0x0800,
    OS_OFN_FILEMUSTEXIST = 0x1000,
    OS_OFN_NOREADONLYRETURN = 0x8000
};

// CommDlgExtendedError codes the layer itself gives (the system's values).
enum {
    OS_CDERR_DIALOGFAILURE = 0xFFFF,  // no dialog could be shown
    OS_FNERR_INVALIDFILENAME = 0x3002,
    OS_FNERR_BUFFERTOOSMALL = 0x3003  // the chosen path does not fit max_file
};

// ---- The table -------------------------------------------------------------

struct os_api {
    // Files by system handle (CreateFileW, ReadFile, WriteFile,
    // SetFilePointer, GetFileSizeEx, CloseHandle, GetLastError).
    //
    // openW: how is one of OS_OPEN_*; null on failure, with lasterror set
    //   (missing file 2, missing directory 3, a directory or no access 5).
    // read: up to n bytes; 1 with *got = bytes delivered (0 at the end of the
    //   file), 0 on failure.  POSIX loops over short transfers.
    // write: n bytes; 1 with *put = bytes written, 0 on failure (disk full
    //   is 112).  A short count is possible only when the disk fills.
    // seek: moves by dist from origin; 1 with *newpos (may be null) = the new
    //   absolute offset, 0 when refused (a negative target, a null handle):
    //   the file pointer is then unchanged.
    // size: the file's size (GetFileSizeEx); 1 / 0.  Does not move the
    //   file pointer.
    // close: 1 / 0.  A null handle is refused.
    os_file (*openW)(const char16_t* name, int how);
    int (*read)(os_file f, void* buf, uint32_t n, uint32_t* got);
    int (*write)(os_file f, const void* buf, uint32_t n, uint32_t* put);
    int (*seek)(os_file f, int64_t dist, int origin, int64_t* newpos);
    int (*size)(os_file f, int64_t* size);
    int (*close)(os_file f);
    uint32_t (*lasterror)(void);

    // The C runtime's fopen, for the streams' 8-bit-name mode.  On POSIX the
    // name's '\' become '/', and a directory is refused as Windows refuses it
    // (Linux would open one for reading).
    FILE* (*fopen)(const char* name, const char* mode);
    int (*remove)(const char* name);  // the runtime's remove: 0 done
    // 1 when the two 8-bit names are the same existing file, whatever the
    // spelling ("a.txt" and "./A.TXT" on Windows, a hard link): identity is
    // the volume serial number and file index on Windows, device and inode
    // on POSIX.  0 when they differ or either cannot be looked at (missing).
    int (*same_file)(const char* a, const char* b);

    // replace: puts the finished file tmp in the place of target in one step
    // (8-bit names), so that a crash, a kill or a power cut leaves the old
    // target or the new one, never a mix.  1 done (tmp is gone), 0 refused
    // with lasterror (both files as they were).  The target must be an
    // existing writable regular file: a missing one gives 2, a directory, a
    // read-only file (no owner write bit on POSIX, as the read-only attribute
    // on Windows; also for root) or, on POSIX, a symbolic link gives 5 (the
    // link's target may lie on another file system than tmp, and replacing
    // the link itself would cut it).  POSIX gives tmp the target's mode,
    // gives it the target's owner and group where the process may (root
    // always; a user only a group of its own), fsyncs it, renames it over
    // the target and fsyncs the directory;
    // Windows uses MoveFileExA with MOVEFILE_REPLACE_EXISTING and
    // MOVEFILE_WRITE_THROUGH.  tmp and target must be in one directory.
    int (*replace)(const char* tmp, const char* target);

    // The runtime's calls on a FILE* that fopen gave, so that a test can fail
    // the Nth write of the 8-bit-name mode as it fails the Nth system write.
    // Each is the runtime's own (fread, fwrite, fgetc, fputc, fflush, fclose)
    // with its results; fseek64 and ftell64 take and give 64-bit offsets
    // (_fseeki64 and _ftelli64 on Windows, whose long is 32-bit): fseek64 0
    // done, ftell64 -1 when the runtime cannot say.  After a failed write,
    // flush or close, lasterror holds the cause where the runtime gives one
    // (a full disk is 112).  setvbuf stays the runtime's: it moves no byte.
    size_t (*fread)(void* buf, size_t size, size_t count, FILE* f);
    size_t (*fwrite)(const void* buf, size_t size, size_t count, FILE* f);
    int (*fgetc)(FILE* f);
    int (*fputc)(int c, FILE* f);
    int (*fseek64)(FILE* f, int64_t offset, int origin);
    int64_t (*ftell64)(FILE* f);
    int (*fflush)(FILE* f);
    int (*fclose)(FILE* f);

    // Removes a file by 16-bit name (DeleteFileW): 0 done, -1 refused with
    // lasterror set.  A directory is refused, as by remove.
    int (*removeW)(const char16_t* name);

    // Directory search (FindFirstFileA/W, FindNextFileA/W, FindClose).  The
    // pattern's last component may hold '*' and '?'.  POSIX matches it without
    // regard to case and returns the entries sorted by name compared without
    // regard to case, as NTFS returns them, "." and ".." included where the
    // pattern matches them.  findfirst gives null when nothing matches.
    os_search (*findfirstA)(const char* pattern, os_findA* out);
    int (*findnextA)(os_search s, os_findA* out);  // 1 next entry, 0 none
    os_search (*findfirstW)(const char16_t* pattern, os_findW* out);
    int (*findnextW)(os_search s, os_findW* out);
    void (*findclose)(os_search s);
    // GetFileAttributesA: what one file or folder, named literally, is.  The
    // name is never a pattern: '*' and '?' stand for themselves (Windows
    // refuses them in a name, so nothing is found there).  1 with *attrib
    // (OS_ATTR_DIRECTORY, OS_ATTR_READONLY); 0 when nothing of that name
    // exists or it cannot be looked at, with lasterror.  POSIX follows
    // symbolic links (a link that leads nowhere is a plain file, as Windows
    // reports the link itself) and calls a file read-only when nobody may
    // write it (no write bit; also for root) or this process may not.
    int (*attributesA)(const char* name, uint32_t* attrib);

    // FileTimeToSystemTime and SystemTimeToTzSpecificLocalTime with the
    // current time zone; 1 / 0.
    int (*filetime_to_systime)(uint64_t ft, os_systime* out);
    int (*systime_to_local)(const os_systime* utc, os_systime* local);

    // Console input.  pump_messages empties the thread's window message queue
    // (PeekMessageA, TranslateMessage, DispatchMessageA; nothing on POSIX).
    // console_event takes at most one console input event: 0 when there is no
    // console input, it cannot be queried or nothing is waiting; 1 when one
    // event was taken, with *key = the character of a key press (AsciiChar as
    // a signed 8-bit value) or 0 for any other event.  On POSIX only a
    // terminal is read; a lone ESC gives 27, arrow and function keys give 0,
    // and Ctrl-C (SIGINT) gives 3.  The console itself is looked at no more
    // than once every OS_CONSOLE_LOOK_MS of tick_ms after a look that found
    // nothing (the frame loops poll once a row, and each look costs system
    // calls); a waiting Ctrl-C and events already taken from the system come
    // at every call, and a look that found an event allows the next at once.
    void (*pump_messages)(void);
    int (*console_event)(int* key);

    // Locale.  is_dbcs_lead is IsDBCSLeadByte over the process's ANSI code
    // page: POSIX answers for code page 932 when the locale's codeset is
    // Shift_JIS or CP932, and no byte is a lead byte otherwise.
    uint32_t (*console_cp)(void);         // GetConsoleCP
    uint32_t (*console_output_cp)(void);  // GetConsoleOutputCP
    uint16_t (*user_lang)(void);          // GetUserDefaultLangID
    int (*is_dbcs_lead)(uint8_t c);       // IsDBCSLeadByte: 1 / 0

    // Version.  get_version is GetVersion().  rtl_get_version looks
    // "RtlGetVersion" up in "ntdll.dll" (GetModuleHandleA, LoadLibraryExA,
    // GetProcAddress, FreeLibrary) and calls it: 0 when it could not be found,
    // else 1 with *status = its NTSTATUS and *out filled.  host_system is null
    // on Windows; on other systems it names the host ("Linux 6.1.0-18-amd64")
    // so that the program never claims a Windows it is not running on.
    uint32_t (*get_version)(void);
    int (*rtl_get_version)(os_osversion* out, int32_t* status);
    const char* (*host_system)(void);

    // Process.  command_lineA/W are GetCommandLineA/W: on POSIX the line is
    // built from the arguments given to os_init, each holding a blank (or
    // empty) put in double quotes.  current_dirA/W are GetCurrentDirectoryA/W:
    // the length written without its 0, or 0 on failure (also when cap is too
    // small).  sleep_ms is Sleep (0 yields).
    const char* (*command_lineA)(void);
    const char16_t* (*command_lineW)(void);
    uint32_t (*current_dirA)(uint32_t cap, char* buf);
    uint32_t (*current_dirW)(uint32_t cap, char16_t* buf);
    void (*sleep_ms)(uint32_t ms);
    // A monotonic clock in milliseconds from an arbitrary start (never set
    // back by a change of the wall clock).
    uint64_t (*tick_ms)(void);
    // The processor cores this process may run on, at least 1 (Windows: the
    // active processors of all groups; POSIX: the CPUs of the process's
    // affinity mask).  May be called from any thread.
    int (*cpu_count)(void);
    // heap_shared: threads started after this call take their memory from
    // the heap the main thread uses instead of each from a heap of its own,
    // so that a block one thread frees serves the next allocation of any
    // thread; for a process whose threads allocate and free blocks of
    // megabytes (the frame workers), so that the memory it holds follows
    // what it has allocated.  glibc's default gives each thread an arena of
    // its own (up to eight per core), keeps the blocks freed there, and
    // once a block of some megabytes has been freed no longer maps such
    // blocks apart: 16 threads at 4K held 440 MiB more than the program
    // had allocated.  Freed blocks stay with the heap for reuse, so a new
    // frame's buffer costs no page faults.  On Windows it does nothing: the
    // CRT's malloc is HeapAlloc on one heap for every thread, which serves
    // blocks of about a megabyte and more by VirtualAlloc and releases them
    // on free.  Lasts for the process; call it from the main thread before
    // any other thread allocates (a thread that already has a heap keeps
    // it).
    void (*heap_shared)(void);

    // MessageBoxA/W with no owner window.  POSIX prints the caption and the
    // text to standard error and returns at once (IDOK, 1).
    int (*message_boxA)(const char* text, const char* caption, uint32_t style);
    int (*message_boxW)(const char16_t* text, const char16_t* caption, uint32_t style);

    // File dialogs (GetOpenFileNameW, GetOpenFileNameA, GetSaveFileNameA):
    // 1 when a file was chosen, with d->file, filter_index, file_offset and
    // file_extension set; 0 when cancelled or failed, and dialog_error
    // (CommDlgExtendedError) then tells which: 0 the user cancelled, another
    // code a failure.  On POSIX they are the console dialog on the
    // controlling terminal; without one (standard input not a terminal, or
    // the process not in its foreground group) they fail with
    // OS_CDERR_DIALOGFAILURE, never a silent cancel.  There each dialog and
    // question forgets a Ctrl-C still latched when it opens (it waits for
    // the user); a Ctrl-C while it is open cancels it and stays latched
    // for console_event.
    // ask_yes_no is a Yes/No question with no owner window (MessageBoxA
    // with MB_YESNO): 1 yes; 0 no, and also when nobody can be asked; -1
    // when the user cancelled it (the console's Esc, Ctrl-D or Ctrl-C, as
    // they cancel the dialog; Windows' Yes/No box has no cancel).
    int (*open_dialogW)(os_filedlgW* d);
    int (*open_dialogA)(os_filedlgA* d);
    int (*save_dialogA)(os_filedlgA* d);
    uint32_t (*dialog_error)(void);
    int (*ask_yes_no)(const char* text, const char* caption);

    // The runtime's error indicator of a FILE* that fopen gave (ferror): 1
    // when a read or write on it failed, 0 otherwise.  It tells a failed
    // read from the end of the data, where fgetc and fread answer alike;
    // a test that fails a read through the table answers here for it.
    int (*ferror)(FILE* f);
};

// The services in force.  Defined by the platform side that is built; tests
// may swap entries and must restore them.
extern os_api g_os;

// The unchanged table of the platform side, for tests that restore one entry.
extern const os_api os_native;

// ---- Start-up -----------------------------------------------------------------

// Called first by a program's main with the runtime's arguments.  It records
// what the process command line is made from and sets up the console; it
// returns argv unchanged.
char** os_init(int argc, char** argv);

// 1 where '/' separates path components as well as '\' in every path
// function that looks for '\' (POSIX), 0 where only '\' counts there, as on
// Windows.  The path functions of text/ test it.
#if defined(_WIN32)
#define OS_SLASH_SEPARATES 0
#else
#define OS_SLASH_SEPARATES 1
#endif

#endif
