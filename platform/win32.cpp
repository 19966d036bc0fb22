// win32.cpp - the operating-system services of platform.h on 64-bit Windows.
//
// Every entry of the table calls the Windows service the program was designed
// around, with the arguments the callers expect (share mode 0 on every open,
// SetFilePointer with a high-part pointer, RtlGetVersion looked up at run
// time).  Nothing here adds policy: results and error codes are the system's
// own, so what a user sees on Windows is what Windows said.  The few guards
// that are added (a null handle or search is refused before the system sees
// it) only keep the answers the header promises where Windows would raise an
// exception under a debugger instead.
//
// This is the only file of the program besides posix.cpp that includes the
// system's headers (<windows.h>, through win32_include.h), and the only one
// where wchar_t appears: char16_t and wchar_t are both UTF-16 units here, so
// the wide strings are passed through with a cast.
//
// Division: files; directory search and file times; console input (with the
// Ctrl-C handler); locale and version; process; the table; start-up.

#if defined(_WIN32)

#include "platform/win32_include.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/dialog_internal.h"
#include "platform/console_look.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide strings are UTF-16 units on Windows");
static_assert(sizeof(OSVERSIONINFOW) == 276, "RtlGetVersion is given the classic 276-byte record");

namespace {

// ---- Handles ----------------------------------------------------------------

// A HANDLE travels as os_file / os_search.  INVALID_HANDLE_VALUE never leaves
// this file: a failed open or search is null, as the header says.
HANDLE to_handle(os_file f) { return reinterpret_cast<HANDLE>(f); }
HANDLE to_handle(os_search s) { return reinterpret_cast<HANDLE>(s); }
os_file to_file(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<os_file>(h); }
os_search to_search(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<os_search>(h); }

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

// Refuses a null handle the way the system refuses a closed one.  Windows
// would answer ERROR_INVALID_HANDLE for most calls anyway, but CloseHandle of
// a null handle raises an exception when a debugger is attached.
bool refuse_null(const void* p) {
    if (p) return false;
    SetLastError(ERROR_INVALID_HANDLE);
    return true;
}

uint64_t join64(DWORD hi, DWORD lo) { return (uint64_t)hi << 32 | lo; }
uint64_t from_filetime(const FILETIME& t) { return join64(t.dwHighDateTime, t.dwLowDateTime); }
FILETIME to_filetime(uint64_t v) {
    FILETIME t;
    t.dwLowDateTime = (DWORD)(v & 0xFFFFFFFFu);
    t.dwHighDateTime = (DWORD)(v >> 32);
    return t;
}

// ---- Files --------------------------------------------------------------------

// CreateFileW with the access and disposition of `how`, no sharing, no
// security attributes, FILE_ATTRIBUTE_NORMAL and no template.  The system's
// own error codes stand: 2 for a missing file, 3 for a missing directory on
// the way, 5 for a directory (opened without backup semantics) or no access,
// 32 when another process holds the file.
os_file w_openW(const char16_t* name, int how) {
    DWORD access, disposition, share = 0;
    switch (how) {
    case OS_OPEN_READ: access = GENERIC_READ; disposition = OPEN_EXISTING; break;
    case OS_OPEN_READ_SHARED: access = GENERIC_READ; disposition = OPEN_EXISTING; share = FILE_SHARE_READ; break;
    case OS_CREATE_WRITE: access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
    case OS_OPEN_WRITE: access = GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
    if (!name) { SetLastError(ERROR_INVALID_PARAMETER); return nullptr; }
    HANDLE h = CreateFileW(wide(name), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return to_file(h);
}

// One ReadFile: a disk file delivers everything asked for up to its end, so
// a short count means the end of the file, and 0 bytes with success is the
// end itself.
int w_read(os_file f, void* buf, uint32_t n, uint32_t* got) {
    DWORD k = 0;
    if (got) *got = 0;
    if (refuse_null(f)) return 0;
    BOOL ok = ReadFile(to_handle(f), buf, n, &k, nullptr);
    if (got) *got = k;
    return ok ? 1 : 0;
}

// One WriteFile.  A full disk fails with ERROR_DISK_FULL; *put then holds
// what the system did write.
int w_write(os_file f, const void* buf, uint32_t n, uint32_t* put) {
    DWORD k = 0;
    if (put) *put = 0;
    if (refuse_null(f)) return 0;
    BOOL ok = WriteFile(to_handle(f), buf, n, &k, nullptr);
    if (put) *put = k;
    return ok ? 1 : 0;
}

// SetFilePointer with the low part and a pointer to the high part, so that
// the whole 64-bit distance reaches the system.  The low part of a valid
// position can be 0xFFFFFFFF, so a refusal is INVALID_SET_FILE_POINTER with
// a last error other than NO_ERROR; the last error is cleared first to make
// that test sound.  A target before the start is refused by the system
// (ERROR_NEGATIVE_SEEK) and leaves the file pointer where it was.
int w_seek(os_file f, int64_t dist, int origin, int64_t* newpos) {
    DWORD method;
    switch (origin) {
    case OS_SEEK_BEGIN: method = FILE_BEGIN; break;
    case OS_SEEK_CURRENT: method = FILE_CURRENT; break;
    case OS_SEEK_END: method = FILE_END; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
    }
    if (refuse_null(f)) return 0;
    LONG lo = (LONG)(uint32_t)((uint64_t)dist & 0xFFFFFFFFu);
    LONG hi = (LONG)(uint32_t)((uint64_t)dist >> 32);
    SetLastError(NO_ERROR);
    DWORD r = SetFilePointer(to_handle(f), lo, &hi, method);
    if (r == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return 0;
    if (newpos) *newpos = (int64_t)join64((DWORD)hi, r);
    return 1;
}

// GetFileSizeEx: the size on disk, without moving the file pointer.
int w_size(os_file f, int64_t* size) {
    if (refuse_null(f)) return 0;
    LARGE_INTEGER v;
    if (!GetFileSizeEx(to_handle(f), &v)) return 0;
    if (size) *size = v.QuadPart;
    return 1;
}

int w_close(os_file f) {
    if (refuse_null(f)) return 0;
    return CloseHandle(to_handle(f)) ? 1 : 0;
}

uint32_t w_lasterror(void) { return GetLastError(); }

// The runtime's own fopen, with the 8-bit name as it is (the ANSI code
// page's bytes); the runtime refuses a directory by itself.
FILE* w_fopen(const char* name, const char* mode) { return std::fopen(name, mode); }
int w_remove(const char* name) { return std::remove(name); }

// Both files are opened for their attributes only (no access asked, every
// sharing allowed), so that a file another open holds, the text reader's
// input among them, can still be looked at.
int w_same_file(const char* a, const char* b) {
    if (!a || !b) return 0;
    BY_HANDLE_FILE_INFORMATION info[2];
    const char* names[2] = {a, b};
    for (int i = 0; i < 2; i++) {
        HANDLE h = CreateFileA(names[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 0;
        BOOL ok = GetFileInformationByHandle(h, &info[i]);
        CloseHandle(h);
        if (!ok) return 0;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
                   info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
                   info[0].nFileIndexLow == info[1].nFileIndexLow
               ? 1
               : 0;
}

// MoveFileExA replaces a read-only file on some systems and refuses it on
// others; the attribute test makes the answer the same everywhere, and a
// reparse point (a link) is refused as POSIX refuses a symbolic link.
int w_replace(const char* tmp, const char* target) {
    DWORD a = GetFileAttributesA(target);
    if (a == INVALID_FILE_ATTRIBUTES) return 0;
    if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return MoveFileExA(tmp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

// The runtime's FILE calls.  A failed write, flush or close leaves the
// system's own code in GetLastError (the runtime's write is WriteFile).
size_t w_fread(void* buf, size_t size, size_t count, FILE* f) { return std::fread(buf, size, count, f); }
size_t w_fwrite(const void* buf, size_t size, size_t count, FILE* f) { return std::fwrite(buf, size, count, f); }
int w_fgetc(FILE* f) { return std::fgetc(f); }
int w_fputc(int c, FILE* f) { return std::fputc(c, f); }
int w_fseek64(FILE* f, int64_t offset, int origin) { return _fseeki64(f, offset, origin); }
int64_t w_ftell64(FILE* f) { return _ftelli64(f); }
int w_fflush(FILE* f) { return std::fflush(f); }
int w_fclose(FILE* f) { return std::fclose(f); }
int w_ferror(FILE* f) { return std::ferror(f) ? 1 : 0; }

int w_removeW(const char16_t* name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return DeleteFileW(wide(name)) ? 0 : -1;
}

// ---- Directory search and file times ---------------------------------------------

// The system's find record into ours, for both widths: the fields are the
// same, only the name's unit differs (names of MAX_PATH bytes or units).
template <class Data, class Out>
void fill_find(const Data& d, Out* out) {
    if (!out) return;
    out->attrib = d.dwFileAttributes;
    out->ctime = from_filetime(d.ftCreationTime);
    out->atime = from_filetime(d.ftLastAccessTime);
    out->wtime = from_filetime(d.ftLastWriteTime);
    out->size = join64(d.nFileSizeHigh, d.nFileSizeLow);
    static_assert(sizeof(out->name) == sizeof(d.cFileName), "names of MAX_PATH units");
    std::memcpy(out->name, d.cFileName, sizeof(out->name));
    out->name[sizeof(out->name) / sizeof(out->name[0]) - 1] = 0;
}

// The A and W services, overloaded on the record so that one body below
// serves both widths.
HANDLE find_first(const char* pattern, WIN32_FIND_DATAA* d) { return FindFirstFileA(pattern, d); }
HANDLE find_first(const char16_t* pattern, WIN32_FIND_DATAW* d) { return FindFirstFileW(wide(pattern), d); }
BOOL find_next(HANDLE h, WIN32_FIND_DATAA* d) { return FindNextFileA(h, d); }
BOOL find_next(HANDLE h, WIN32_FIND_DATAW* d) { return FindNextFileW(h, d); }

// FindFirstFileA/W: null when nothing matches (last error 2, or 3 when the
// directory itself is missing).  Entries come in the order the file system
// keeps them, "." and ".." included where the pattern matches them.
template <class Data, class Char, class Out>
os_search find_first_as(const Char* pattern, Out* out) {
    Data d;
    HANDLE h = find_first(pattern, &d);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    fill_find(d, out);
    return to_search(h);
}

template <class Data, class Out>
int find_next_as(os_search s, Out* out) {
    if (refuse_null(s)) return 0;
    Data d;
    if (!find_next(to_handle(s), &d)) return 0;  // ERROR_NO_MORE_FILES at the end
    fill_find(d, out);
    return 1;
}

os_search w_findfirstA(const char* pattern, os_findA* out) { return find_first_as<WIN32_FIND_DATAA>(pattern, out); }
int w_findnextA(os_search s, os_findA* out) { return find_next_as<WIN32_FIND_DATAA>(s, out); }
os_search w_findfirstW(const char16_t* pattern, os_findW* out) { return find_first_as<WIN32_FIND_DATAW>(pattern, out); }
int w_findnextW(os_search s, os_findW* out) { return find_next_as<WIN32_FIND_DATAW>(s, out); }

void w_findclose(os_search s) {
    if (s) FindClose(to_handle(s));
}

// GetFileAttributesA takes no pattern: a name with '*' or '?' is an invalid
// name there, so it is reported as not found (0).
int w_attributesA(const char* name, uint32_t* attrib) {
    if (!name || !attrib) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD a = GetFileAttributesA(name);
    if (a == INVALID_FILE_ATTRIBUTES) return 0;
    *attrib = (uint32_t)a;
    return 1;
}

void from_systemtime(const SYSTEMTIME& t, os_systime* out) {
    out->year = t.wYear;
    out->month = t.wMonth;
    out->weekday = t.wDayOfWeek;
    out->day = t.wDay;
    out->hour = t.wHour;
    out->minute = t.wMinute;
    out->second = t.wSecond;
    out->ms = t.wMilliseconds;
}

SYSTEMTIME to_systemtime(const os_systime& t) {
    SYSTEMTIME s;
    s.wYear = t.year;
    s.wMonth = t.month;
    s.wDayOfWeek = t.weekday;
    s.wDay = t.day;
    s.wHour = t.hour;
    s.wMinute = t.minute;
    s.wSecond = t.second;
    s.wMilliseconds = t.ms;
    return s;
}

// FileTimeToSystemTime: refuses file times with the top bit set.
int w_filetime_to_systime(uint64_t ft, os_systime* out) {
    FILETIME t = to_filetime(ft);
    SYSTEMTIME s;
    if (!out || !FileTimeToSystemTime(&t, &s)) return 0;
    from_systemtime(s, out);
    return 1;
}

// SystemTimeToTzSpecificLocalTime with a null time zone: the zone in force,
// with its daylight-saving rule for that date.
int w_systime_to_local(const os_systime* utc, os_systime* local) {
    if (!utc || !local) { SetLastError(ERROR_INVALID_PARAMETER); return 0; }
    SYSTEMTIME u = to_systemtime(*utc), l;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &u, &l)) return 0;
    from_systemtime(l, local);
    return 1;
}

// ---- Console input ----------------------------------------------------------------

// Ctrl-C.  A console in its normal (processed) input mode never delivers
// Ctrl-C as a key: it raises a control event, whose default handler ends the
// process at once, in the middle of a frame, with the movie cut short.  So
// os_init installs a handler that takes the first Ctrl-C and leaves it here
// for console_event, which reports it as the key 3 (what the console gives
// in raw mode), and the frame loops stop through their normal path.  A
// second Ctrl-C while the first is still waiting (nothing is polling: the
// program is busy outside a frame loop, or hangs) is left to the default
// handler, so the user can always end the program by pressing it again.
// Ctrl-Break and the close and shutdown events keep their default handling.
// The handler runs on a thread of its own, hence the interlocked flag.
volatile LONG g_ctrl_c_waiting = 0;

BOOL WINAPI on_console_ctrl(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;
    if (InterlockedExchange(&g_ctrl_c_waiting, 1) != 0) return FALSE;
    return TRUE;
}

void w_pump_messages(void) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// At most one console input event: peek first, so that an empty queue never
// blocks, then read exactly one record of whatever kind.  Standard input that
// is a file or a pipe is no console: PeekConsoleInputA refuses it and
// nothing is read from it.
int w_console_event(int* key) {
    if (InterlockedExchange(&g_ctrl_c_waiting, 0) != 0) {
        if (key) *key = 3;
        return 1;
    }
    static platform_detail::console_look look;
    if (!look.due()) return 0;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    INPUT_RECORD rec;
    DWORD n = 0;
    bool waiting = in != INVALID_HANDLE_VALUE && in != nullptr && PeekConsoleInputA(in, &rec, 1, &n) && n != 0;
    look.found(waiting);
    if (!waiting) return 0;
    n = 0;
    if (!ReadConsoleInputA(in, &rec, 1, &n) || n == 0) return 0;
    int k = 0;
    if (rec.EventType == KEY_EVENT && rec.Event.KeyEvent.bKeyDown && rec.Event.KeyEvent.uChar.AsciiChar != 0)
        k = (int)(signed char)rec.Event.KeyEvent.uChar.AsciiChar;
    if (key) *key = k;
    return 1;
}

// ---- Locale and version -----------------------------------------------------------

uint32_t w_console_cp(void) { return GetConsoleCP(); }
uint32_t w_console_output_cp(void) { return GetConsoleOutputCP(); }
uint16_t w_user_lang(void) { return GetUserDefaultLangID(); }
int w_is_dbcs_lead(uint8_t c) { return IsDBCSLeadByte(c) ? 1 : 0; }

uint32_t w_get_version(void) { return GetVersion(); }

// "RtlGetVersion" from "ntdll.dll", looked up at run time: GetVersion lies to
// programs without a compatibility manifest, RtlGetVersion does not.  The
// module must already be mapped (it always is in a Windows process); the
// extra LoadLibraryExA reference keeps it while the function runs and is
// given back with FreeLibrary on every path.
typedef LONG(WINAPI* rtl_get_version_fn)(OSVERSIONINFOW*);

int w_rtl_get_version(os_osversion* out, int32_t* status) {
    if (!GetModuleHandleA("ntdll.dll")) return 0;
    HMODULE mod = LoadLibraryExA("ntdll.dll", nullptr, 0);
    if (!mod) return 0;
    FARPROC p = GetProcAddress(mod, "RtlGetVersion");
    if (!p) {
        FreeLibrary(mod);
        return 0;
    }
    // Through void (*)(void), the one function type that converts to any
    // other without a warning.
    auto fn = reinterpret_cast<rtl_get_version_fn>(reinterpret_cast<void (*)(void)>(p));
    OSVERSIONINFOW vi;
    std::memset(&vi, 0, sizeof vi);
    vi.dwOSVersionInfoSize = 276;
    LONG st = fn(&vi);
    FreeLibrary(mod);
    if (status) *status = (int32_t)st;
    if (out) {
        out->major = vi.dwMajorVersion;
        out->minor = vi.dwMinorVersion;
        out->build = vi.dwBuildNumber;
    }
    return 1;
}

// Windows is the system itself: there is no other host to name.
const char* w_host_system(void) { return nullptr; }

// ---- Process ----------------------------------------------------------------------

const char* w_command_lineA(void) { return GetCommandLineA(); }
const char16_t* w_command_lineW(void) { return reinterpret_cast<const char16_t*>(GetCommandLineW()); }

// GetCurrentDirectoryA/W answer the needed size (with its 0) when the buffer
// is too small, which is never below cap; that is a failure here, and the
// buffer is then left empty so that a caller that ignores the 0 still holds
// no half-written path.
uint32_t w_current_dirA(uint32_t cap, char* buf) {
    if (!buf || cap == 0) return 0;
    DWORD r = GetCurrentDirectoryA(cap, buf);
    if (r == 0 || r >= cap) {
        buf[0] = 0;
        return 0;
    }
    return r;
}

uint32_t w_current_dirW(uint32_t cap, char16_t* buf) {
    if (!buf || cap == 0) return 0;
    DWORD r = GetCurrentDirectoryW(cap, reinterpret_cast<wchar_t*>(buf));
    if (r == 0 || r >= cap) {
        buf[0] = 0;
        return 0;
    }
    return r;
}

void w_sleep_ms(uint32_t ms) { Sleep(ms); }

// The performance counter: GetTickCount64 moves in steps of about 16 ms.
uint64_t w_tick_ms(void) {
    static LARGE_INTEGER freq = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return (uint64_t)(c.QuadPart / freq.QuadPart) * 1000u + (uint64_t)(c.QuadPart % freq.QuadPart) * 1000u / (uint64_t)freq.QuadPart;
}

// Every active processor of every processor group: GetSystemInfo would
// count only the group the process started in.
int w_cpu_count(void) {
    DWORD n = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    if (n == 0) {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        n = si.dwNumberOfProcessors;
    }
    return n > 0 ? (n < 4096 ? (int)n : 4096) : 1;
}

// Nothing to change: the CRT's malloc is one heap for every thread, and it
// gives blocks past its VirtualAlloc threshold (about a megabyte on x64)
// back when they are freed.
void w_heap_shared(void) {}

// No owner window.  Without a desktop (a service, or wine with no display)
// the system returns at once.
int w_message_boxA(const char* text, const char* caption, uint32_t style) {
    return MessageBoxA(nullptr, text, caption, style);
}

int w_message_boxW(const char16_t* text, const char16_t* caption, uint32_t style) {
    return MessageBoxW(nullptr, wide(text), wide(caption), style);
}

// ---- The table ----------------------------------------------------------------------

// constexpr, so that both tables below are filled before any code runs (a
// static constructor elsewhere may already call g_os).
constexpr os_api kNative = {
    .openW = w_openW,
    .read = w_read,
    .write = w_write,
    .seek = w_seek,
    .size = w_size,
    .close = w_close,
    .lasterror = w_lasterror,
    .fopen = w_fopen,
    .remove = w_remove,
    .same_file = w_same_file,
    .replace = w_replace,
    .fread = w_fread,
    .fwrite = w_fwrite,
    .fgetc = w_fgetc,
    .fputc = w_fputc,
    .fseek64 = w_fseek64,
    .ftell64 = w_ftell64,
    .fflush = w_fflush,
    .fclose = w_fclose,
    .removeW = w_removeW,
    .findfirstA = w_findfirstA,
    .findnextA = w_findnextA,
    .findfirstW = w_findfirstW,
    .findnextW = w_findnextW,
    .findclose = w_findclose,
    .attributesA = w_attributesA,
    .filetime_to_systime = w_filetime_to_systime,
    .systime_to_local = w_systime_to_local,
    .pump_messages = w_pump_messages,
    .console_event = w_console_event,
    .console_cp = w_console_cp,
    .console_output_cp = w_console_output_cp,
    .user_lang = w_user_lang,
    .is_dbcs_lead = w_is_dbcs_lead,
    .get_version = w_get_version,
    .rtl_get_version = w_rtl_get_version,
    .host_system = w_host_system,
    .command_lineA = w_command_lineA,
    .command_lineW = w_command_lineW,
    .current_dirA = w_current_dirA,
    .current_dirW = w_current_dirW,
    .sleep_ms = w_sleep_ms,
    .tick_ms = w_tick_ms,
    .cpu_count = w_cpu_count,
    .heap_shared = w_heap_shared,
    .message_boxA = w_message_boxA,
    .message_boxW = w_message_boxW,
    // File dialogs (win32_dialog.cpp).
    .open_dialogW = platform_detail::native_open_dialogW,
    .open_dialogA = platform_detail::native_open_dialogA,
    .save_dialogA = platform_detail::native_save_dialogA,
    .dialog_error = platform_detail::native_dialog_error,
    .ask_yes_no = platform_detail::native_ask_yes_no,
    .ferror = w_ferror,
};

}  // namespace

const os_api os_native = kNative;
os_api g_os = kNative;

// ---- Start-up -----------------------------------------------------------------------

// The mingw runtime would expand wildcards in the arguments before main
// ("*.png" becoming the folder's file names); a Windows program gets its
// arguments as they were typed, so the expansion is turned off here, where
// every program links it.
extern "C" {
int _CRT_glob = 0;
}

// Windows keeps the command line itself (GetCommandLineA/W), so there is
// nothing to record; the console gets the Ctrl-C handler described above,
// once however often this is called.
char** os_init(int argc, char** argv) {
    (void)argc;
    static bool handler_set = false;
    if (!handler_set) handler_set = SetConsoleCtrlHandler(on_console_ctrl, TRUE) != 0;
    return argv;
}

#endif  // _WIN32
