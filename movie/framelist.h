// framelist.h - the program directory and the frame list "list.txt": the
// list-line rule by which the driver and both movie writers read it, and the
// joins of a name to the directory.
//
// A movie is made of the images named in the frame list, each name relative
// to the program directory exedir/exedirW (never to the list's own
// location).  Process-wide state here is defined once in framelist.cpp; one
// thread, nothing reentrant.

#ifndef REELKILN_MOVIE_FRAMELIST_H
#define REELKILN_MOVIE_FRAMELIST_H

#include <cstddef>
#include <cstdint>
#include <string>

// ---- Program directory -------------------------------------------------------------

// Capacity, in bytes or units with the terminator, of exedir and exedirW.
// The directory is kept with its trailing separator.  It is far more than the
// 264 of a Windows path because POSIX paths (and UTF-8 names) run longer; whoever
// fills these must still copy with this bound.
inline constexpr int EXEDIR_CAP = 4096;

// The directory that holds the program, with a trailing '\' (or '/'), in 8-bit
// and in wide form; set once by the driver at start.  Every listed name is
// joined to it (never to the list's own directory).  Empty means "no
// directory": names are then used as they are.
extern char exedir[EXEDIR_CAP];
extern char16_t exedirW[EXEDIR_CAP];

// ---- The list-line rule ----------------------------------------------------------

// The longest valid list name in bytes; a name buffer holds one more byte for
// the terminator (LISTNAME_MAX + 1) and the reader also uses that byte while
// it collects an over-long line, so buffers are LISTNAME_BUF bytes.
inline constexpr int LISTNAME_MAX = 63;
inline constexpr int LISTNAME_BUF = LISTNAME_MAX + 2;

// listgetname: takes the next valid name from the open text reader (tfopen or
// tfopenW) into name, which must hold LISTNAME_BUF bytes.  Returns 0 with a
// name (the empty name included), -1 at the end of the list.
//
// The rule, per line:
//   - a line ends at CR, at an LF that does not directly follow a CR (so CR LF
//     is one line end, and lists saved with bare LF read line by line), and
//     at the end of the file (a non-empty last line is a name);
//   - a line that begins with "//" is a comment: it is skipped with its line
//     end; after a comment that ends in CR (or Ctrl-Z), one CR or LF that
//     follows is taken as part of that line end;
//   - bytes below 32 and above 127 are dropped (127 is kept);
//   - a name of 0 to 63 bytes is valid; 64 bytes print "*** length over:
//     invalid:  %s \n" and the line is skipped; every byte beyond 64 prints
//     "*** name length over \n" once.
// Lists written with CR LF or CR line ends give the same names as a rule that
// ends lines at CR only and ignores every LF; that rule lost a last line
// without CR, this one keeps it.
int listgetname(char* name);

// listgetname with its console lines (the over-long line reports) appended
// to *held instead of printed when held is not null: for a reader that takes
// names ahead of the frames they belong to and prints each frame's lines
// when the writer reaches it.
int listgetnamekeep(char* name, std::string* held);

// ---- Joins -----------------------------------------------------------------------

// A joined path: program directory + listed name.
inline constexpr int JOINED_CAP = EXEDIR_CAP + LISTNAME_BUF + 16;

// Copies dir and then name into dst (cap bytes or units with the
// terminator).  Returns false, with dst empty, when the result would not
// fit: a path cut short could name another file than the one meant, so a
// path that does not fit names none.
bool joinpath(char* dst, size_t cap, const char* dir, const char* name);
bool joinpathW(char16_t* dst, size_t cap, const char16_t* dir, const char16_t* name);

// An 8-bit listed name to its wide form (sjis2wstr; a name has at most 63
// bytes, so 64 units always hold it).
void name2wide(char16_t* dst, const char* name);

// joinlisted: a listed name joined to the program directory in the mode in
// use: with wide 0xFF its wide form to exedirW into pathW, else the name to
// exedir into path (each JOINED_CAP long; the other is left alone).  False,
// with the path empty, when the join does not fit (joinpath): the writers
// then take the name as one that cannot be opened.
bool joinlisted(char* path, char16_t* pathW, const char* name, uint8_t wide);

#endif
