// dialog.h - choosing a file through the system's open and save dialogs by
// file kind.
//
// Division: file kinds; open dialogs; save dialog.
//
// Every entry point builds the dialog from the kind and an initial path: the
// filter list (description and pattern pairs), the title, the initial folder
// and file name, the preselected filter and the default extension.  On
// Windows the dialogs are the common dialogs of comdlg32; on Linux they are
// the console dialog of the platform layer, on the controlling terminal
// (README, "File dialogs on Linux").  Nothing is kept between calls and
// nothing comes from the heap.
//
// Results: 0 when the user chose a file, -1 when the dialog was cancelled or
// failed; the reason is then printed on standard output ("\nCanceled
// File-Open Dialog Box. ", or "\nFailed Opening ... Dialog Box: 0000 ", then
// "(stat=XXXX).\n" and the code's name on a line of its own).  The
// "Failed" line always shows 0000: it prints the dialog call's own result,
// which is 0 on that path.
//
// Contract and choices:
//   - initpath is required and has at most 259 units; an empty string is
//     allowed.  NULL, or a path of 260 units or more, is refused before
//     anything is copied: no dialog is shown, the failure is reported as
//     FNERR_INVALIDFILENAME (stat=3002) and out is left untouched.
//   - The initial path's extension (for the preselected filter) is taken
//     from the whole path in the open dialogs, so a '.' in a directory name
//     counts when the name has none ('C:\old.bmp\photo' preselects BMP); the
//     save dialog takes it from the name only.
//   - Kinds other than 0-8 are accepted: their title and default extension
//     follow the kind's two low bits (kind 9 is titled "Open Image File"
//     with default "bmp" while offering only "All Files").  Kind 0 has no
//     default extension, in the open dialogs as in the save dialog: its
//     only filter is "All Files  (*.*)", so the system must not add ".txt"
//     or ".bmp" to what the user typed.
//   - The open dialogs do not pass OFN_NOCHANGEDIR: the dialog may move the
//     process's current directory (Windows and wine do, wine even on
//     cancel).  The program fixes its own directory at start and never uses
//     the current directory afterwards.
//   - The save dialog lets the system append no extension; it assigns the
//     chosen filter's extension itself afterwards.  When that changes the
//     name, the system's checks have not covered the new one, and fsavedlg
//     applies them itself, looking the name up as it stands ('*' and '?'
//     are name characters, never a pattern): a folder or a read-only file
//     there is refused with the trace line "Refused FName : <path> (a
//     folder) " or "(read-only) "; an existing file gets the question
//     "<path> already exists.\nDo you want to replace it?" (Yes/No), and
//     with nobody to ask the answer is No.  A refusal or a No shows the
//     dialog again on the rebuilt name with the chosen filter, and its
//     "Initial Filter" line names that filter's extension.
//
// One thread; the dialogs block the caller while they are open.

#ifndef REELKILN_DIALOG_H
#define REELKILN_DIALOG_H

// ---- File kinds ---------------------------------------------------------------

// The kind parameter is a plain int and any value is accepted; these are the
// ones with filter lists of their own.
enum fdlgkind : int {
    FDK_ANY,     // any file
    FDK_IMAGE,   // BMP, PNG, PSD, JPEG, GIF (open only), AVI
    FDK_SCRIPT,  // .txt, .ini, .qel
    FDK_SOURCE,  // script/text and image files
    FDK_VMD,     // MMD motion
    FDK_VRM,     // VRM model
    FDK_PMX,     // MMD model
    FDK_VRMA,    // VRM animation
    FDK_BVH      // BVH motion
};

// ---- Open dialogs ---------------------------------------------------------------

// The open dialog (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST) for kind, starting
// in the directory of initpath with its name in the file box.  out (room for
// 260 units, may be NULL) receives the chosen path.  The t forms show the
// caller's title when it is non-null and non-empty, else the kind's; the
// others always the kind's.  0 chosen, -1 cancelled or failed (reported).
int fopendlgtW(char16_t* out, int kind, const char16_t* initpath, const char16_t* title);
int fopendlgt(char* out, int kind, const char* initpath, const char* title);
int fopendlgW(char16_t* out, int kind, const char16_t* initpath);
int fopendlg(char* out, int kind, const char* initpath);

// ---- Save dialog ----------------------------------------------------------------

// The save dialog for kind, starting in the directory of initpath with the
// body of its name (without extension) in the file box.  Every step is traced
// on standard output.  After the user confirms, the returned name's
// extension is replaced by the chosen filter's (kind 0 and the "All Files"
// pair keep what was typed) and the path is rebuilt; out (room for 265
// bytes, may be NULL) receives it.  0 confirmed, -1 cancelled or failed.
int fsavedlg(char* out, int kind, const char* initpath);

#endif
