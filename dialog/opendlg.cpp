// opendlg.cpp - the four open dialogs: one body over 8-bit and 16-bit
// strings, which splits the initial path, builds the filter list, chooses
// the title, the preselected filter and the default extension, shows the
// platform's open dialog and reports a cancel or a failure.

#include <cstdio>
#include <cstring>

#include "dialog/dialog.h"
#include "dialog/dialog_internal.h"
#include "text/codes.h"
#include "text/paths.h"

using namespace dialog_detail;

namespace {

// The 8-bit and 16-bit twins of what the body calls, by overloading.
void path_dir(char* d, const char* p) { getdir(d, p); cuttailsep(d); }
void path_dir(char16_t* d, const char16_t* p) { getdirW(d, p); cuttailsepW(d); }
void path_name(char* d, const char* p) { getfname(d, p); }
void path_name(char16_t* d, const char16_t* p) { getfnameW(d, p); }
void path_ext(char* d, const char* p) { getext(d, p); }
void path_ext(char16_t* d, const char16_t* p) { getextW(d, p); }
void copy_out(char* d, const char* s) { strcpy(d, s); }
void copy_out(char16_t* d, const char16_t* s) { wstrcpy(d, s); }

os_filedlgA* as_record(char*, os_filedlgA* a, os_filedlgW*) { return a; }
os_filedlgW* as_record(char16_t*, os_filedlgA*, os_filedlgW* w) { return w; }
int show(os_filedlgA* d) { return g_os.open_dialogA(d); }
int show(os_filedlgW* d) { return g_os.open_dialogW(d); }

// ASCII text as units: the kind's title and default extension are 8-bit
// literals, the 16-bit dialog wants them widened.
template <class Ch, int N> const Ch* as_units(Ch (&buf)[N], const char* s) {
    if (!s) return nullptr;
    int i = 0;
    for (; s[i] && i < N - 1; i++) buf[i] = (Ch)(unsigned char)s[i];
    buf[i] = 0;
    return buf;
}
template <int N> const char* as_units(char (&)[N], const char* s) { return s; }

template <class Ch>
int open_body(Ch* out, int kind, const Ch* initpath, const Ch* title) {
    // Refused before any copy: the path parts below are written without a
    // size into 260-unit buffers.
    if (bounded_len(initpath, kPathCap) >= kPathCap) {
        print_status(open_failure_head(OS_FNERR_INVALIDFILENAME), OS_FNERR_INVALIDFILENAME);
        return -1;
    }

    Ch dir[kPathCap], file[kPathCap], ext[kPathCap];
    path_dir(dir, initpath);
    path_name(file, initpath);
    path_ext(ext, initpath);  // of the whole path: a '.' in a folder name counts

    Ch filter[kFilterCap];
    build_open_filter(filter, kind);

    Ch title_buf[64], ext_buf[8];
    const Ch* shown_title = (title && title[0]) ? title : as_units(title_buf, open_title(kind));
    preselect pre = open_preselect(kind, ext);

    os_filedlgA ra;
    os_filedlgW rw;
    auto* d = as_record(file, &ra, &rw);
    memset(d, 0, sizeof *d);
    d->filter = filter;
    d->filter_index = pre.index;
    d->file = file;
    d->max_file = kPathCap;
    d->initial_dir = dir[0] ? dir : nullptr;
    d->title = shown_title;
    d->flags = OS_OFN_PATHMUSTEXIST | OS_OFN_FILEMUSTEXIST;
    d->def_ext = as_units(ext_buf, pre.def_ext);

    if (!show(d)) {
        uint32_t code = g_os.dialog_error();
        print_status(open_failure_head(code), code);
        return -1;
    }
    file[kPathCap - 1] = 0;
    if (out) copy_out(out, file);
    return 0;
}

}  // namespace

int fopendlgtW(char16_t* out, int kind, const char16_t* initpath, const char16_t* title) {
    return open_body(out, kind, initpath, title);
}

int fopendlgt(char* out, int kind, const char* initpath, const char* title) {
    return open_body(out, kind, initpath, title);
}

int fopendlgW(char16_t* out, int kind, const char16_t* initpath) {
    return open_body<char16_t>(out, kind, initpath, nullptr);
}

int fopendlg(char* out, int kind, const char* initpath) {
    return open_body<char>(out, kind, initpath, nullptr);
}
