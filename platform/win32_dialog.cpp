// win32_dialog.cpp - the file-dialog services on Windows: the common dialogs
// of comdlg32 (GetOpenFileNameW/A, GetSaveFileNameA, CommDlgExtendedError)
// and the Yes/No question (MessageBoxA).
//
// comdlg32 is loaded at the first dialog (LoadLibraryExW from the system
// folder only) and kept until exit: the movie program and the test programs
// then start without it and the shell and COM libraries it pulls in.  When
// it cannot be loaded the dialog fails with CDERR_DIALOGFAILURE.
//
// The neutral record is copied into the system's: lStructSize its size, no
// owner window and no instance, no custom filter, file title, hook or
// template, every reserved field 0.  After the call the chosen filter and
// the name's offsets are copied back.
//
// Untested here, to be checked on a real Windows: whether the Explorer-style
// dialog wants COM initialised on the calling thread (wine needs none), and
// how many characters of a default extension the system appends ("vrma").

#if defined(_WIN32)

#include "platform/win32_include.h"

#include <commdlg.h>
#include <cderr.h>

#include <cstring>

#include "platform/dialog_internal.h"
#include "platform/platform.h"

static_assert(sizeof(OPENFILENAMEW) == 152, "the dialog record is 152 bytes on x64");
static_assert(sizeof(OPENFILENAMEA) == 152, "the dialog record is 152 bytes on x64");

namespace {

typedef BOOL(WINAPI* open_w_fn)(OPENFILENAMEW*);
typedef BOOL(WINAPI* open_a_fn)(OPENFILENAMEA*);
typedef DWORD(WINAPI* error_fn)(void);

struct comdlg {
    bool tried = false;
    open_w_fn open_w = nullptr;
    open_a_fn open_a = nullptr;
    open_a_fn save_a = nullptr;
    error_fn error = nullptr;
};
comdlg g_dlg;
// CDERR_DIALOGFAILURE when the last dialog could not even be looked up;
// 0 when the system was called and knows the reason itself.
DWORD g_own_error = 0;

template <class Fn> Fn look_up(HMODULE m, const char* name) {
    // Through void (*)(void), the one function type that converts to any
    // other without a warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(m, name)));
}

const comdlg& loaded() {
    if (!g_dlg.tried) {
        g_dlg.tried = true;
        HMODULE m = LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (m) {
            g_dlg.open_w = look_up<open_w_fn>(m, "GetOpenFileNameW");
            g_dlg.open_a = look_up<open_a_fn>(m, "GetOpenFileNameA");
            g_dlg.save_a = look_up<open_a_fn>(m, "GetSaveFileNameA");
            g_dlg.error = look_up<error_fn>(m, "CommDlgExtendedError");
        }
    }
    return g_dlg;
}

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
wchar_t* wide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }
const char* narrow(const char* s) { return s; }
char* narrow(char* s) { return s; }

// Neutral record -> system record, the call, and back.
template <class Sys, class Rec, class Fn>
int run(Fn fn, Rec* d) {
    if (!fn || !d) {
        g_own_error = CDERR_DIALOGFAILURE;
        return 0;
    }
    g_own_error = 0;
    Sys o;
    std::memset(&o, 0, sizeof o);
    o.lStructSize = sizeof o;
    o.hwndOwner = nullptr;
    o.hInstance = nullptr;
    if constexpr (sizeof(*d->file) == 2) {
        o.lpstrFilter = wide(d->filter);
        o.lpstrFile = wide(d->file);
        o.lpstrInitialDir = wide(d->initial_dir);
        o.lpstrTitle = wide(d->title);
        o.lpstrDefExt = wide(d->def_ext);
    } else {
        o.lpstrFilter = narrow(d->filter);
        o.lpstrFile = narrow(d->file);
        o.lpstrInitialDir = narrow(d->initial_dir);
        o.lpstrTitle = narrow(d->title);
        o.lpstrDefExt = narrow(d->def_ext);
    }
    o.nFilterIndex = d->filter_index;
    o.nMaxFile = d->max_file;
    o.Flags = d->flags;
    o.nFileOffset = d->file_offset;
    o.nFileExtension = d->file_extension;
    BOOL ok = fn(&o);
    d->filter_index = o.nFilterIndex;
    d->file_offset = o.nFileOffset;
    d->file_extension = o.nFileExtension;
    return ok ? 1 : 0;
}

}  // namespace

namespace platform_detail {

int native_open_dialogW(os_filedlgW* d) { return run<OPENFILENAMEW>(loaded().open_w, d); }
int native_open_dialogA(os_filedlgA* d) { return run<OPENFILENAMEA>(loaded().open_a, d); }
int native_save_dialogA(os_filedlgA* d) { return run<OPENFILENAMEA>(loaded().save_a, d); }

uint32_t native_dialog_error(void) {
    if (g_own_error) return g_own_error;
    const comdlg& c = loaded();
    return c.error ? c.error() : CDERR_DIALOGFAILURE;
}

// No selected by default, so that Enter never replaces a file.  Without a
// desktop the box returns at once with neither answer: that is No.
int native_ask_yes_no(const char* text, const char* caption) {
    return MessageBoxA(nullptr, text, caption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES ? 1 : 0;
}

}  // namespace platform_detail

#endif  // _WIN32
