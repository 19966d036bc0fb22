// posix_internal.h - internals of the POSIX side of the platform layer, not
// for callers: the pure pieces of platform/posix.cpp (name conversion, error
// mapping, wildcard matching, name order, key-sequence decoding, command-line
// building, calendar arithmetic), declared here so that tests can reach them
// without a file system, a terminal or a clock.
//
// Everything here is a plain function of its arguments; none of it touches
// process state.  Only the POSIX build defines these.

#ifndef REELKILN_PLATFORM_POSIX_INTERNAL_H
#define REELKILN_PLATFORM_POSIX_INTERNAL_H

#if !defined(_WIN32)

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform_detail {

// Windows codes the header has no name for, used only on this side.
enum {
    ERR_NOT_ENOUGH_MEMORY = 8,     // ERROR_NOT_ENOUGH_MEMORY
    ERR_INVALID_PARAMETER = 87,    // ERROR_INVALID_PARAMETER
    ERR_INVALID_NAME = 123         // ERROR_INVALID_NAME: a name we refuse to mangle
};

// ---- Names ------------------------------------------------------------------

// UTF-16 (ended by a 0 unit) to UTF-8 for the file system, with every '\'
// turned into '/' when `slashes` is set.  Returns false, leaving `out`
// unspecified, for an unpaired surrogate: such a name has no UTF-8 spelling,
// and guessing one would open or create a different file than asked.
bool utf16_to_utf8(const char16_t* s, std::string& out, bool slashes);

// UTF-8 bytes to UTF-16.  Notes on invalid input: every byte that does not
// belong to a well-formed sequence (stray continuation bytes, truncated or
// overlong sequences, encoded surrogates, values past U+10FFFF) becomes one
// U+FFFD, byte for byte, so the count of replacements shows how many bytes
// were bad.
std::u16string utf8_to_utf16(std::string_view s);

// An 8-bit name with '\' turned into '/'.
std::string to_posix_path(const char* name);

// errno after a failed call on `path` to the Windows code the program
// prints: ENOENT with an existing parent directory 2, with a missing parent 3;
// ENOTDIR 3; EACCES, EPERM, EISDIR, EROFS 5; EBADF 6; EBUSY, ETXTBSY 32;
// ENOSPC, EDQUOT, EFBIG 112; ENOMEM 8; anything else 31.  `path` is already in
// POSIX form; it may be null when no name is involved (ENOENT then gives 2).
uint32_t map_errno(int e, const char* path);

// The descriptor behind a handle (handles are descriptors plus one, so that
// descriptor 0 is not the null handle); -1 for null.
inline int handle_fd(os_file f) { return f ? (int)((intptr_t)f - 1) : -1; }

// ---- Search -------------------------------------------------------------------

// Matches `name` against the wildcard pattern `pat` (both sequences of code
// points) without regard to case: '*' takes any run, '?' exactly one code
// point.  A pattern ending in ".*" also matches what its part before ".*"
// matches, so "*.*" takes every name (dotless ones included) and "a.*" takes
// "a", as FindFirstFile does; and a pattern ending in one '.' also matches
// dotless names by its part before the '.' ("*." takes "noext").
bool wild_match(std::u32string_view pat, std::u32string_view name);

// Code points of an 8-bit name for matching: UTF-8 sequences as their code
// points; when `cp932` is set, a lead byte with its trail byte as one unit
// (no case); any other byte as one unit of its own outside Unicode, so that
// every byte still counts as one character and nothing is lost.
std::u32string points_of_bytes(std::string_view s, bool cp932);
// Code points of UTF-16 units; an unpaired surrogate is one unit of its own.
std::u32string points_of_utf16(std::u16string_view s);

// Simple uppercase of one code point (the BMP through the C library's UTF-8
// tables, ASCII when those are missing); anything else unchanged.
char32_t upper(char32_t c);

// A name with every unit uppercased by upper (surrogates stay as they are).
std::u16string upper_key(std::u16string_view s);

// The order of search results: names compared as sequences of uppercased
// UTF-16 units, as NTFS keeps a directory; names that differ only in case
// fall back to plain unit order so that the order is total.  <0, 0, >0.
int name_order(std::u16string_view a, std::u16string_view b);

// ---- Times ----------------------------------------------------------------------

// Windows file time (100 ns since 1601-01-01 UTC) of a POSIX time; times
// before 1601 give 0.
uint64_t filetime_of(int64_t sec, long nsec);

// Days since 1601-01-01 to a civil date, and back (proleptic Gregorian).
void civil_of_days(int64_t days, int* year, int* month, int* day);
int64_t days_of_civil(int year, int month, int day);

// ---- Console ------------------------------------------------------------------------

// One console event decoded from the front of the terminal bytes b[0..n).
//   consumed  bytes the event took (0: nothing decided yet, more bytes may
//             complete a sequence: wait a little and call again, then with
//             at_end set);
//   key       the event's character as a signed 8-bit value, or 0 for a key
//             that has no character (arrows, function keys, any escape
//             sequence).
// Rules: ESC followed by '[' opens a control sequence (parameter bytes 0x30-
// 0x3F, intermediate bytes 0x20-0x2F, ended by a final byte 0x40-0x7E; the
// Linux console's "ESC [ [ x" function keys included); ESC 'O' x is a keypad
// or function key; a sequence broken by a byte that cannot belong to it ends
// before that byte.  ESC followed by anything else, or by nothing when
// at_end is set, is a lone ESC, 27.  Any other byte is one key press.
// n = 0 gives consumed 0.
struct key_event {
    size_t consumed;
    int key;
};
key_event decode_key(const uint8_t* b, size_t n, bool at_end);

// ---- Process -----------------------------------------------------------------------

// The process command line made from an argument vector: the arguments in
// order, separated by one space, each one that holds a space or a TAB, or is
// empty, put in double quotes.  A double quote inside an argument is kept as
// it is: the line's splitter gives quotes no escaping power, so no spelling
// would bring it back, and this one at least keeps the quote visible.
std::string build_command_line(int argc, char** argv);

// The Windows code page that stands for a locale codeset name:
// UTF-8 65001, Shift_JIS and its kin (SJIS, CP932, Windows-31J) 932,
// EUC-JP 20932, ISO-8859-1 28591, ISO-8859-15 28605, ASCII (also
// "ANSI_X3.4-1968", the "C" locale's) 20127, anything else 437, the code
// page of a console nobody set up.  Names compare without regard to case
// and to '-' and '_'.
uint32_t codeset_cp(const char* codeset);

// The language identifier of a locale name (the first non-empty of LC_ALL,
// LC_MESSAGES, LANG): one starting with "ja" gives 0x411, every other one,
// null and empty included, 0x409.
uint16_t lang_of_locale(const char* name);

}  // namespace platform_detail

#endif  // !_WIN32
#endif
