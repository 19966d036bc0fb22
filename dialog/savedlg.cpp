// savedlg.cpp - the save dialog: traces every step on standard output,
// shows the platform's save dialog without a default extension, then gives
// the returned name the chosen filter's extension and rebuilds the path.
//
// The system's dialog judges the name as the user typed it (overwrite
// question, no read-only file, no folder).  When the assigned extension
// changes that name, the same rules are applied here to the new name: an
// existing file is replaced only after a Yes, a read-only file or a folder
// is refused with a trace line; No and a refusal return to the dialog on
// the rebuilt name, as the system's own checks return to it.

#include <cstdio>
#include <cstring>

#include "dialog/dialog.h"
#include "dialog/dialog_internal.h"
#include "text/paths.h"

using namespace dialog_detail;

namespace {

// The bytes of the filter list as the trace shows them: 0x20-0x7B as
// themselves, others as xHH; up to and including the NUL that follows a
// NUL, or 16384 bytes.
void print_filter(const char* list) {
    fputs("Confirm: ", stdout);
    for (int i = 0; i < kFilterCap; i++) {
        uint8_t c = (uint8_t)list[i];
        if (c >= 0x20 && c <= 0x7B) putchar(c);
        else printf("x%02X", c);
        if (c == 0 && i > 0 && list[i - 1] == 0) break;
    }
    fputs("\n", stdout);
}

// The four path-part lines.  dir is printed as it is given.
void print_parts(const char* dir, const char* name, const char* body, const char* ext) {
    printf("Initdir: %s \n", dir);
    printf("Initfname: %s \n", name);
    printf("Initbody: %s \n", body);
    printf("Initext: %s \n", ext);
}

// Two paths name the same file as far as the system's names go: without
// regard to ASCII case on Windows, byte for byte elsewhere.  The two paths
// compared differ at most in their extension, which is ASCII, so folding
// ASCII letters never meets a trail byte that could differ.
bool same_name(const char* a, const char* b) {
#if defined(_WIN32)
    for (;; a++, b++) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x >= 'a' && x <= 'z') x = (unsigned char)(x - 32);
        if (y >= 'a' && y <= 'z') y = (unsigned char)(y - 32);
        if (x != y) return false;
        if (x == 0) return true;
    }
#else
    return strcmp(a, b) == 0;
#endif
}

// What stands at the rebuilt name, looked up as the name itself.  A name
// is never a pattern here: Linux allows '*' and '?' in file names and the
// console dialog hands them back as typed, so "sho*.png" is a name of its
// own, not every "sho....png" (refusing such names would refuse files the
// file system holds); Windows' dialog never returns them.
enum what_is { NOTHING, A_FILE, A_READONLY_FILE, A_FOLDER };

what_is look_at(const char* path) {
    uint32_t a = 0;
    if (!g_os.attributesA(path, &a)) return NOTHING;
    if (a & OS_ATTR_DIRECTORY) return A_FOLDER;
    return (a & OS_ATTR_READONLY) ? A_READONLY_FILE : A_FILE;
}

// The extension of the chosen filter without its '.', for the trace line
// that pairs it with the filter's index ("4 (jpg)").  The preselected pair
// keeps the preselection's default, so the first line stays as it was.
// Never null, as printf's %s must never get one: kind 0's one filter, "All
// Files", keeps the typed extension and says so ("1 (as typed)"); any other
// filter without a default ("All Files" of another kind, an index without a
// match) shows "(null)".
const char* chosen_def_ext(int kind, uint32_t index, const preselect& pre) {
    if (kind == FDK_ANY) return "as typed";
    const char* e = index == pre.index ? pre.def_ext : save_assigned_ext(kind, index);
    if (!e) return "(null)";
    return index == pre.index ? e : e + 1;
}

}  // namespace

int fsavedlg(char* out, int kind, const char* initpath) {
    if (bounded_len(initpath, kPathCap) >= kPathCap) {
        print_status("\nFailed Opening File-Save Dialog Box: 0000 ", OS_FNERR_INVALIDFILENAME);
        return -1;
    }
    printf("Initpath: %s \n", initpath);

    char dir[kPathCap], name[kPathCap], body[kPathCap], ext[kPathCap];
    getdir(dir, initpath);
    cuttailsep(dir);
    getfname(name, initpath);
    cutext(body, name);
    getext(ext, name);  // of the name only
    print_parts(dir, name, body, ext);

    char filter[kFilterCap];
    build_save_filter(filter, kind);
    print_filter(filter);

    const char* title = save_title(kind);
    preselect pre = save_preselect(kind, ext);

    char path[kSavePathCap];
    strcpy(path, body);
    os_filedlgA d;
    memset(&d, 0, sizeof d);
    d.filter = filter;
    d.filter_index = pre.index;
    d.file = path;
    d.max_file = kPathCap;
    d.initial_dir = dir[0] ? dir : nullptr;
    d.title = title;
    d.flags = OS_OFN_NOREADONLYRETURN | OS_OFN_PATHMUSTEXIST | OS_OFN_HIDEREADONLY | OS_OFN_OVERWRITEPROMPT;
    d.def_ext = nullptr;  // the extension is assigned below, not by the system

    for (;;) {
        d.file_offset = 0;
        d.file_extension = (uint16_t)strlen(path);
        printf("Initial Filter: %d (%s).\n", (int)d.filter_index, chosen_def_ext(kind, d.filter_index, pre));
        if (!g_os.save_dialogA(&d)) {
            fputs("\nFailed Opening File-Save Dialog Box: 0000 ", stdout);
            print_status(nullptr, g_os.dialog_error());
            return -1;
        }
        path[kPathCap - 1] = 0;
        printf("Ret Path  : %s \n", path);
        printf("Ret Filter: %d \n", (int)d.filter_index);

        char rdir[kPathCap], rname[kPathCap], rbody[kPathCap], rext[kPathCap];
        getdir(rdir, path);  // keeps its separator
        getfname(rname, path);
        cutext(rbody, rname);
        getext(rext, rname);
        print_parts(rdir, rname, rbody, rext);

        const char* assigned = save_assigned_ext(kind, d.filter_index);
        if (!assigned) assigned = rext;
        printf("Assigned Ext   : %s \n", assigned);

        // Directory and body come from a returned path of at most 259 units;
        // with the typed extension that is the returned path again, with an
        // assigned one of up to five units at most 264: with the 0, 265.
        char rebuilt[kSavePathCap];
        strcpy(rebuilt, rdir);
        strcat(rebuilt, rbody);
        strcat(rebuilt, assigned);
        printf("Reconstructed FName : %s \n", rebuilt);

        // The system's dialog has judged the name as typed: it refuses a
        // read-only file and never returns a folder.  A rebuilt name that
        // differs gets the same rules here: a folder or a read-only file is
        // refused with a trace line and the dialog comes back on it, before
        // any question (Yes must never hand back a file that cannot be
        // written); an existing file is replaced only when the user agrees.
        const char* refused = nullptr;
        if (!same_name(rebuilt, path)) {
            what_is w = look_at(rebuilt);
            if (w == A_FOLDER) {
                refused = "a folder";
            } else if (w == A_READONLY_FILE) {
                refused = "read-only";
            } else if (w == A_FILE) {
                char question[kSavePathCap + 64];
                snprintf(question, sizeof question, "%s already exists.\nDo you want to replace it?", rebuilt);
                int yes = g_os.ask_yes_no(question, title);
                if (yes < 0) {  // cancelled as the dialog itself is: the same report
                    fputs("\nFailed Opening File-Save Dialog Box: 0000 ", stdout);
                    print_status(nullptr, 0);
                    return -1;
                }
                if (yes != 1) refused = "";
            }
        }
        if (refused) {
            if (*refused) printf("Refused FName : %s (%s) \n", rebuilt, refused);
            // Back to the dialog on the rebuilt name, the chosen filter kept.
            strcpy(path, rbody);
            cuttailsep(rdir);
            strcpy(dir, rdir);
            d.initial_dir = dir[0] ? dir : nullptr;
            continue;
        }
        if (out) strcpy(out, rebuilt);
        return 0;
    }
}
