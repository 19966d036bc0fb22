// dialog_internal.h - internals of the file dialogs, not for callers: the
// sizes, the filter-list builder, the path splitting twins and the failure
// report that the open dialogs (opendlg.cpp) and the save dialog
// (savedlg.cpp) share.  Defined in filedlg.cpp.

#ifndef REELKILN_DIALOG_INTERNAL_H
#define REELKILN_DIALOG_INTERNAL_H

#include <cstdint>

#include "platform/platform.h"

namespace dialog_detail {

constexpr int kFilterCap = 16384;   // the filter list's buffer, in units
constexpr int kFilterStop = 16256;  // no pair is started at or past this position
constexpr int kPathCap = 260;       // path parts, the file box and nMaxFile
constexpr int kSavePathCap = 265;   // 259 returned units, a 5-unit extension, the 0

// One description / pattern pair, in ASCII.
struct filter_pair {
    const char* desc;
    const char* pattern;
};

// Appends the pairs to the list at *pos (units), each as description NUL
// pattern NUL, keeping the list ended by a double NUL while it grows.  A pair
// that would start at kFilterStop or later is dropped with the rest of the
// group.  begin_filter starts an empty list; end_filter stores the closing
// two NULs.  One body for 8-bit and 16-bit lists (the texts are ASCII).
template <class Ch> void begin_filter(Ch* list, int* pos);
template <class Ch> void append_pairs(Ch* list, int* pos, const filter_pair* pairs, int n);
template <class Ch> void end_filter(Ch* list, int* pos);

// The open dialogs' list for kind (own pair, script group, image group,
// closing pair), the save dialog's (own pair, image group, text group,
// closing pair).  list has kFilterCap units.
template <class Ch> void build_open_filter(Ch* list, int kind);
void build_save_filter(char* list, int kind);

// Titles by kind; other values by their two low bits.
const char* open_title(int kind);
const char* save_title(int kind);

// The preselected filter (1-based, 0 none) and default extension (without
// '.', null for none) that the kind and the initial path's extension select.
struct preselect {
    uint32_t index;
    const char* def_ext;
};
template <class Ch> preselect open_preselect(int kind, const Ch* ext);
preselect save_preselect(int kind, const char* ext);

// The save dialog's extension for the chosen filter ("" for none).
const char* save_assigned_ext(int kind, uint32_t index);

// Length of s counted no further than cap; a null s counts as cap, so that
// "length < cap" accepts exactly the paths that fit.
template <class Ch> int bounded_len(const Ch* s, int cap);

// Prints the failure report: head (the first line, printed as it is) when it
// is not null, then "(stat=%04X).\n" and the code's name line when it has one.
void print_status(const char* head, uint32_t code);

// The open dialogs' first line for a code: the cancel line for 0, the
// "Failed Opening File-Open" line otherwise.
const char* open_failure_head(uint32_t code);

}  // namespace dialog_detail

#endif
