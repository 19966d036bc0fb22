// filedlg.cpp - what the open and save dialogs share: the file kinds' texts
// and tables, the filter-list builder (one template for 8-bit and 16-bit
// lists), the preselection by extension and the failure report.
//
// Division: texts; the builder; kinds (titles, lists, preselection); the
// report.

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "dialog/dialog.h"
#include "dialog/dialog_internal.h"
#include "text/paths.h"

namespace dialog_detail {

namespace {

// ---- Texts --------------------------------------------------------------------

// The open dialogs' groups.  Descriptions carry two blanks before '('.
constexpr filter_pair kOpenScript[] = {
    {"Script Files  (*.txt;*.ini;*.qel)", "*.TXT;*.INI;*.QEL"},
    {"Text Files  (*.txt)", "*.TXT"},
    {"INI Files  (*.ini)", "*.INI"},
};
constexpr filter_pair kOpenImage[] = {
    {"Image Files  (*.bmp;*.gif;*.avi;*.png;*.psd;*.jpg;*.jpe)", "*.BMP;*.GIF;*.AVI;*.PNG;*.PSD;*.JPG;*.JPE"},
    {"BMP Files  (*.bmp)", "*.BMP"},
    {"PNG Files  (*.png)", "*.PNG"},
    {"PSD Files  (*.psd)", "*.PSD"},
    {"JPEG Files  (*.jpg;*.jpe)", "*.JPG;*.JPE"},
    {"GIF Files  (*.gif)", "*.GIF"},
    {"AVI Files  (*.avi)", "*.AVI"},
};
// Kinds 4 to 8, in kind order.
constexpr filter_pair kOpenOwn[] = {
    {"MMD Motion File  (*.vmd)", "*.VMD"},
    {"VRM Model File  (*.vrm)", "*.VRM"},
    {"MMD Model File  (*.pmx)", "*.PMX"},
    {"VRM-Animation File  (*.vrma)", "*.VRMA"},
    {"BVH Motion File  (*.bvh)", "*.BVH"},
};

// The save dialog's groups: no umbrella pairs, no GIF.
constexpr filter_pair kSaveImage[] = {
    {"BMP File  (*.bmp)", "*.bmp"},
    {"PNG File  (*.png)", "*.png"},
    {"PSD File  (*.psd)", "*.psd"},
    {"JPEG File  (*.jpg)", "*.jpg"},
    {"AVI File  (*.avi)", "*.avi"},
};
constexpr filter_pair kSaveText[] = {
    {"Text File  (*.txt)", "*.TXT"},
    {"INI File  (*.ini)", "*.INI"},
    {"Corvane Script  (*.qel)", "*.QEL"},
};
constexpr filter_pair kSaveOwn[] = {
    {"VMD File  (*.vmd)", "*.vmd"},
    {"VRM Model File  (*.vrm)", "*.VRM"},
    {"MMD Model File  (*.pmx)", "*.PMX"},
    {"VRM-Animation File  (*.vrma)", "*.VRMA"},
    {"BVH Motion File  (*.bvh)", "*.BVH"},
};

constexpr filter_pair kClosing = {"All Files  (*.*)", "*.*"};

// The own extensions of kinds 4 to 8, for the default and the tests.
constexpr const char* kOwnExt[] = {"vmd", "vrm", "pmx", "vrma", "bvh"};

template <class T, int N> constexpr int count(const T (&)[N]) { return N; }

bool is_own_kind(int kind) { return kind >= FDK_VMD && kind <= FDK_BVH; }

// The default extension of every kind without its own, by the two low bits
// of the two's-complement value: 1 "bmp", 2 "txt", 0 and 3 none.
const char* default_by_bits(int kind) {
    switch ((unsigned)kind & 3u) {
    case 1: return "bmp";
    case 2: return "txt";
    default: return nullptr;
    }
}

// ASCII text widened into a unit buffer (the extension tests' prefixes).
template <class Ch> void widen(Ch* dst, const char* s) {
    while ((*dst++ = (Ch)(unsigned char)*s++) != 0) {}
}

int headcmp(const char* s, const char* prefix) { return strheadcmp(s, prefix); }
int headcmp(const char16_t* s, const char16_t* prefix) { return strheadcmpW(s, prefix); }

// One line of an extension test: a case-insensitive prefix of the initial
// extension selects a filter index and a default extension.
struct ext_test {
    const char* prefix;
    uint32_t index;
    const char* def_ext;
};

constexpr ext_test kOpenTests1[] = {
    {".BMP", 2, "bmp"}, {".PNG", 3, "png"}, {".PSD", 4, "psd"},
    {".JPG", 5, "jpg"}, {".GIF", 6, "gif"}, {".AVI", 7, "avi"},
};
constexpr ext_test kOpenTests2[] = {{".TXT", 2, "txt"}, {".INI", 3, "ini"}};
constexpr ext_test kOpenTests3[] = {
    {".TXT", 2, "txt"}, {".INI", 3, "ini"}, {".BMP", 5, "bmp"}, {".PNG", 6, "png"},
    {".PSD", 7, "psd"}, {".JPG", 8, "jpg"}, {".GIF", 9, "gif"}, {".AVI", 10, "avi"},
};
constexpr ext_test kSaveTests1[] = {
    {".BMP", 1, "bmp"}, {".PNG", 2, "png"}, {".PSD", 3, "psd"}, {".JPG", 4, "jpg"}, {".AVI", 5, "avi"},
};
constexpr ext_test kSaveTests2[] = {{".TXT", 1, "txt"}, {".INI", 2, "ini"}, {".QEL", 3, "qel"}};
constexpr ext_test kSaveTests3[] = {
    {".BMP", 1, "bmp"}, {".PNG", 2, "png"}, {".PSD", 3, "psd"}, {".JPG", 4, "jpg"},
    {".AVI", 5, "avi"}, {".TXT", 6, "txt"}, {".INI", 7, "ini"}, {".QEL", 8, "qel"},
};
// Own kinds 4 to 8: index 1 for the own extension.
constexpr ext_test kOwnTests[] = {
    {".VMD", 1, "vmd"}, {".VRM", 1, "vrm"}, {".PMX", 1, "pmx"}, {".VRMA", 1, "vrma"}, {".BVH", 1, "bvh"},
};

// Runs every line of a kind's test; at most one matches with the fixed
// tables (their prefixes never extend one another within a row, except
// ".VRM" and ".VRMA", which live in different rows).
template <class Ch>
void run_tests(preselect* p, const Ch* ext, const ext_test* tests, int n) {
    for (int i = 0; i < n; i++) {
        Ch prefix[8];
        widen(prefix, tests[i].prefix);
        if (headcmp(ext, prefix) == 0) {
            p->index = tests[i].index;
            p->def_ext = tests[i].def_ext;
        }
    }
}

}  // namespace

// ---- The builder ----------------------------------------------------------------

template <class Ch> void begin_filter(Ch* list, int* pos) {
    *pos = 0;
    list[0] = 0;
}

template <class Ch> void append_pairs(Ch* list, int* pos, const filter_pair* pairs, int n) {
    for (int i = 0; i < n; i++) {
        if (*pos >= kFilterStop) return;  // the rest of the group is dropped
        for (const char* s : {pairs[i].desc, pairs[i].pattern}) {
            size_t len = strlen(s);
            widen(list + *pos, s);
            *pos += (int)len + 1;
        }
        list[*pos] = 0;
    }
}

template <class Ch> void end_filter(Ch* list, int* pos) {
    list[*pos] = 0;
    list[*pos + 1] = 0;
    *pos += 2;
}

template <class Ch> void build_open_filter(Ch* list, int kind) {
    int pos;
    begin_filter(list, &pos);
    if (is_own_kind(kind)) append_pairs(list, &pos, &kOpenOwn[kind - FDK_VMD], 1);
    if ((kind & 2) && kind <= FDK_SOURCE) append_pairs(list, &pos, kOpenScript, count(kOpenScript));
    if ((kind & 1) && kind <= FDK_SOURCE) append_pairs(list, &pos, kOpenImage, count(kOpenImage));
    append_pairs(list, &pos, &kClosing, 1);
    end_filter(list, &pos);
}

void build_save_filter(char* list, int kind) {
    int pos;
    begin_filter(list, &pos);
    if (is_own_kind(kind)) append_pairs(list, &pos, &kSaveOwn[kind - FDK_VMD], 1);
    if ((kind & 1) && kind <= FDK_SOURCE) append_pairs(list, &pos, kSaveImage, count(kSaveImage));
    if ((kind & 2) && kind <= FDK_SOURCE) append_pairs(list, &pos, kSaveText, count(kSaveText));
    append_pairs(list, &pos, &kClosing, 1);
    end_filter(list, &pos);
}

template void begin_filter(char*, int*);
template void begin_filter(char16_t*, int*);
template void append_pairs(char*, int*, const filter_pair*, int);
template void append_pairs(char16_t*, int*, const filter_pair*, int);
template void end_filter(char*, int*);
template void end_filter(char16_t*, int*);
template void build_open_filter(char*, int);
template void build_open_filter(char16_t*, int);

// ---- Kinds ----------------------------------------------------------------------

const char* open_title(int kind) {
    switch (kind) {
    case FDK_VMD: return "Open MMD Motion File";
    case FDK_VRM: return "Open VRM Model File";
    case FDK_PMX: return "Open MMD Model File";
    case FDK_VRMA: return "Open VRM-Animation File";
    case FDK_BVH: return "Open BVH Motion File";
    default: break;
    }
    static const char* const by_bits[] = {"Open File", "Open Image File", "Open Script File", "Open Source File"};
    return by_bits[(unsigned)kind & 3u];
}

const char* save_title(int kind) {
    switch (kind) {
    case FDK_VMD: return "Save MMD Motion File";
    case FDK_VRM: return "Save VRM Model File";
    case FDK_PMX: return "Save MMD Model File";
    case FDK_VRMA: return "Save VRM-Animation File";
    case FDK_BVH: return "Save BVH Motion File";
    default: break;
    }
    static const char* const by_bits[] = {"Save File", "Save Image File", "Save Text File", "Save File"};
    return by_bits[(unsigned)kind & 3u];
}

template <class Ch> preselect open_preselect(int kind, const Ch* ext) {
    preselect p = {0, is_own_kind(kind) ? kOwnExt[kind - FDK_VMD] : default_by_bits(kind)};
    switch (kind) {
    case FDK_IMAGE: run_tests(&p, ext, kOpenTests1, count(kOpenTests1)); break;
    case FDK_SCRIPT: run_tests(&p, ext, kOpenTests2, count(kOpenTests2)); break;
    case FDK_SOURCE: run_tests(&p, ext, kOpenTests3, count(kOpenTests3)); break;
    case FDK_VMD: case FDK_VRM: case FDK_PMX: case FDK_VRMA: case FDK_BVH:
        run_tests(&p, ext, &kOwnTests[kind - FDK_VMD], 1);
        break;
    default: break;  // kind 0 and every other value: no test
    }
    return p;
}

template preselect open_preselect(int, const char*);
template preselect open_preselect(int, const char16_t*);

preselect save_preselect(int kind, const char* ext) {
    preselect p = {0, is_own_kind(kind) ? kOwnExt[kind - FDK_VMD] : default_by_bits(kind)};
    switch (kind) {
    case FDK_ANY: p.index = 1; break;  // the only pair; no default: "All Files" adds nothing
    case FDK_IMAGE: run_tests(&p, ext, kSaveTests1, count(kSaveTests1)); break;
    case FDK_SCRIPT: run_tests(&p, ext, kSaveTests2, count(kSaveTests2)); break;
    case FDK_SOURCE: run_tests(&p, ext, kSaveTests3, count(kSaveTests3)); break;
    case FDK_VMD: case FDK_VRM: case FDK_PMX: case FDK_VRMA: case FDK_BVH:
        run_tests(&p, ext, &kOwnTests[kind - FDK_VMD], 1);
        break;
    default: break;
    }
    return p;
}

// Kind 0 assigns nothing: its one pair is "All Files", and replacing a typed
// "notes.txt" by "notes.bmp" would hand back a name the user neither typed
// nor saw offered.
const char* save_assigned_ext(int kind, uint32_t index) {
    static const char* const image[] = {".bmp", ".png", ".psd", ".jpg", ".avi"};
    static const char* const text[] = {".txt", ".ini", ".qel"};
    static const char* const own[] = {".vmd", ".vrm", ".pmx", ".vrma", ".bvh"};
    switch (kind) {
    case FDK_IMAGE:
        if (index >= 1 && index <= 5) return image[index - 1];
        break;
    case FDK_SCRIPT:
        if (index >= 1 && index <= 3) return text[index - 1];
        break;
    case FDK_SOURCE:
        if (index >= 1 && index <= 5) return image[index - 1];
        if (index >= 6 && index <= 8) return text[index - 6];
        break;
    case FDK_VMD: case FDK_VRM: case FDK_PMX: case FDK_VRMA: case FDK_BVH:
        if (index == 1) return own[kind - FDK_VMD];
        break;
    default: break;
    }
    return nullptr;
}

template <class Ch> int bounded_len(const Ch* s, int cap) {
    if (!s) return cap;
    int n = 0;
    while (n < cap && s[n] != 0) n++;
    return n;
}

template int bounded_len(const char*, int);
template int bounded_len(const char16_t*, int);

// ---- The report -------------------------------------------------------------------

namespace {

const char* code_name(uint32_t code) {
    switch (code) {
    case 0xFFFF: return "CDERR_DIALOGFAILURE";
    case 0x0001: return "CDERR_STRUCTSIZE";
    case 0x0002: return "CDERR_INITIALIZATION";
    case 0x0003: return "CDERR_NOTEMPLATE";
    case 0x0004: return "CDERR_NOHINSTANCE";
    case 0x0005: return "CDERR_LOADSTRFAILURE";
    case 0x0006: return "CDERR_FINDRESFAILURE";
    case 0x0007: return "CDERR_LOADRESFAILURE";
    case 0x0008: return "CDERR_LOCKRESFAILURE";
    case 0x0009: return "CDERR_MEMALLOCFAILURE";
    case 0x000A: return "CDERR_MEMLOCKFAILURE";
    case 0x000B: return "CDERR_NOHOOK";
    case 0x3001: return "FNERR_SUBCLASSFAILURE";
    case 0x3002: return "FNERR_INVALIDFILENAME";
    case 0x3003: return "FNERR_BUFFERTOOSMALL";
    default: return nullptr;  // CDERR_REGISTERMSGFAIL (0x000C) among them
    }
}

}  // namespace

void print_status(const char* head, uint32_t code) {
    if (head) fputs(head, stdout);
    printf("(stat=%04X).\n", (unsigned)code);
    if (const char* name = code_name(code)) printf("%s.\n", name);
}

const char* open_failure_head(uint32_t code) {
    // The result of the dialog call is 0 on this path, hence the fixed 0000.
    return code == 0 ? "\nCanceled File-Open Dialog Box. " : "\nFailed Opening File-Open Dialog Box: 0000 ";
}

}  // namespace dialog_detail
