// paths.h - path parts, single-file lookup, ';' fields and numbers in strings.
//
// Division: path parts (directory, file name, extension, trailing separator,
// relative path, slash conversion); strings and numbers (prefix test, field
// splitter, number readers); single-file lookup (first match of a wildcard
// pattern with its name, last-write time, local date and time, size).
//
// Strings are ended by a 0.  8-bit strings are in the system's ANSI code page;
// the functions marked "lead-aware" walk them with the system's lead-byte test
// (g_os.is_dbcs_lead, IsDBCSLeadByte), so the trail byte of a double-byte
// character (a Shift_JIS 0x5C, say) is never taken for '\', '/', '.' or ';'.
// A lead byte right before the terminator counts as a single byte: nothing
// here reads past a string's 0.  16-bit strings (char16_t, UTF-16) are taken
// unit by unit.
//
// Separators: '\' always.  Where a function below "looks for '\'", '/' counts
// as well when OS_SLASH_SEPARATES is 1 (POSIX, where both separate); on
// Windows only '\' counts there, so a '/' stays part of a name.  Functions
// documented with "'\' or '/'" take both everywhere.
//
// Output buffers are supplied by the caller without a size (a path buffer of
// 260 units is enough for every function here given a path that fits in it;
// setext needs room for four more).  Every function writes a terminated result.
// Results are int: 0 done, -1 the yes answer of a test or a found item, other
// negative codes for lookup failures.
//
// One thread; no state survives between calls.

#ifndef REELKILN_TEXT_PATHS_H
#define REELKILN_TEXT_PATHS_H

// ---- Path parts ---------------------------------------------------------------

// The path up to and including its last '\' (looked for as said above);
// an empty string when there is none.  Lead-aware (8-bit).  Result 0.
int getdirW(char16_t* dst, const char16_t* path);
int getdir(char* dst, const char* path);

// The part after the last '\' or '/'; the whole path when there is none.
// Lead-aware (8-bit).  Result 0.
int getfnameW(char16_t* dst, const char16_t* path);
int getfname(char* dst, const char* path);

// The path up to, not including, its last '.' anywhere (also one inside a
// directory name); the whole path when there is none.  Lead-aware.  Result 0.
int cutextW(char16_t* dst, const char16_t* path);
int cutext(char* dst, const char* path);

// From the last '.' anywhere (included) to the end: 'a.b\c' gives '.b\c'.
// -1 when a '.' was found, 0 (and an empty dst) when not.  Lead-aware.
int getextW(char16_t* dst, const char16_t* path);
int getext(char* dst, const char* path);

// Removes one trailing '\' or '/' in place, except from a drive root ('C:\'),
// a one-unit path and an empty path: a path that begins with a letter and ':'
// loses its separator only at 4 to 258 units, any other at 2 to 258.  At most
// 259 units are counted and a longer path is cut to 259.  The 8-bit form
// never takes the trail byte of a double-byte character for the separator.
// Result 0.
int cuttailsepW(char16_t* path);
int cuttailsep(char* path);

// The '.' of the file name's extension and at most three bytes after it
// (a double-byte character that would not fit whole is left out), searched
// from the last '\' on.  -1 when found, 0 (and an empty dst) when not.
// Lead-aware.
int getextfix(const char* path, char* dst);

// Gives path the extension ext ("avi" or ".avi": one leading '.' is skipped,
// then at most three bytes are used, fewer when ext is shorter).  The file
// name's extension, searched from the last '\' on, is overwritten; when it has
// none, the extension is appended.  -1 when one was replaced, 0 when appended.
// The path's buffer must have room for four more bytes.  Lead-aware.
int setext(char* path, const char* ext);

// -1 when path begins with '\' or '/', or with a letter A-Z/a-z and ':';
// else 0.
int isabspath(const char* path);

// Every '/' turned into '\' in place.  Lead-aware.  Result 0.
int slash2bs(char* path);

// The path of tgt relative to the directory of ref ("../" per level up, '/'
// between the names), written to dst.  ref names a directory when it ends in
// '\'; a file name after its last '\' is not a level.  The common part is
// compared exactly (case counts).  When the two lie on different drives ('C:'
// and 'D:', also 'c:' and 'C:') or one is a '\\server' path and the other a
// drive path, dst is tgt unchanged.  Prints "\nTgt: %s\n", "Ref: %s\n" and
// "=> %s\n" on standard output.  Lead-aware.  Result 0.
int relpath(char* dst, const char* tgt, const char* ref);

// ---- Strings and numbers ------------------------------------------------------------

// 0 when prefix is the start of s, comparing a-z and A-Z without regard to
// case and everything else exactly (an empty prefix gives 0); -1 otherwise.
// The 8-bit form compares the trail byte of a double-byte character exactly.
int strheadcmpW(const char16_t* s, const char16_t* prefix);
int strheadcmp(const char* s, const char* prefix);

// Field n (from 0; a negative n counts as 0) of the ';'-separated list s,
// copied to dst: result 0.  When s has fewer than n+1 fields, dst is empty
// and the result -1.  An empty s has one empty field 0.  Lead-aware.
int getfield(char* dst, const char* s, int n);

// The value of the decimal digits at the end of s (wrapping as 32-bit
// arithmetic does for very long runs); -1 when s is empty or does not end in
// a digit.
int strtailint(const char* s);

// The value of the decimal digits at the start of s (wrapping likewise);
// -1 when s does not begin with a digit.
int strheadint(const char* s);

// The value of the run of digits, '.' and '-' at the end of s, as the C
// runtime's atof reads it ('x-12.5' gives -12.5, '1-2' gives 1); -99999.0 for
// an empty string, -1.0 when the last character is neither a digit nor '.'.
float strtailnum(const char* s);

// ---- Single-file lookup -------------------------------------------------------------
//
// Each looks at the first entry that matches pattern (FindFirstFile): when
// that is a directory the next entry is taken instead, and at most one entry
// is skipped.  Failures: -1 nothing matches, or the only match is a
// directory; -2 the first two matches are both directories.  The search is
// always closed before return.  The W forms search by a 16-bit pattern, the
// others by an 8-bit one.

// dst (set empty first) receives the entry's name.  Result 0.
int findfirstnameW(char16_t* dst, const char16_t* pattern);
int findfirstname(char* dst, const char* pattern);

// Bits 20 to 51 of the entry's last-write file time (100 ns units since
// 1601), as a 32-bit signed int.
int getfwtimeW(const char16_t* pattern);
int getfwtime(const char* pattern);

// The entry's last-write time in local time: year, month (1-12), day,
// weekday (Sunday 1 to Saturday 7), hour, minute, second, millisecond.
// weekday is set to 0 before the search; the others are written only on
// success.  Result 0; -3 when the file time has no calendar form.  When the
// change to local time fails, "Failed to convert UTC to local time. \n" is
// printed and the UTC values are delivered (result 0).
int getfdatetimeW(int* year, int* month, int* day, int* weekday, int* hour, int* minute,
                  int* second, int* millisecond, const char16_t* pattern);
int getfdatetime(int* year, int* month, int* day, int* weekday, int* hour, int* minute,
                 int* second, int* millisecond, const char* pattern);

// The entry's size in bytes, or 0x7FFFFFFF for any size above 0x7FFFFFFF
// (2 GiB and more), so that a large file never reads as negative or as a
// failure code.
int getfsizeW(const char16_t* pattern);
int getfsize(const char* pattern);

#endif
