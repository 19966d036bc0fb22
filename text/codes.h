// codes.h - the Shift_JIS-2004 code tables, 16-bit strings, and the plain
// converters between 8-bit and 16-bit strings.
//
// Division: table lookups; 16-bit string primitives; 8-bit <-> 16-bit string
// converters.
//
// Codes.  A Shift_JIS code is an int holding a single byte (0x00-0xFF) or a
// double-byte code, lead * 256 + trail.  A code point is an int; 0 means "no
// mapping".  The tables (text/sjis_tables.inc, generated) hold the published
// Shift_JIS-2004 mapping with three changes: 0x815C <-> U+2014, 0x81D4 <->
// U+FF5F and 0x81D5 <-> U+FF60.  The 25 codes that stand for a letter plus a
// combining mark have no mapping.  No compatibility substitutions are made
// here; the converters of convert.h add the CP932 ones.
//
// 16-bit strings are char16_t arrays of UTF-16 units in the machine's order,
// ended by a 0 unit; no byte-order mark is written or expected.  8-bit
// strings are ended by a 0 byte, in the system's ANSI code page: their lead
// bytes are found with the system's test (g_os.is_dbcs_lead, IsDBCSLeadByte).
//
// Buffers belong to the caller and no function is told a size.  The bounds
// are fixed caps instead: wstrlen counts at most 4999 units; the converters
// convert at most 9998 input bytes or units and always terminate their
// output.  Enough room: sjis2wstr writes at most one unit per input byte,
// wstr2sjis at most two bytes per input unit, each plus the terminator.
//
// One thread; nothing here keeps state between calls.

#ifndef REELKILN_TEXT_CODES_H
#define REELKILN_TEXT_CODES_H

#include <cstdint>

// ---- Table lookups ----------------------------------------------------------

// Fixed-range lead-byte test: -1 when c is 0x80-0x9F or 0xE0-0xFC, else 0.
// 0x80 counts as a lead byte here.  This is the test of the in-memory and
// file converters, not the system's.
int issjislead(uint8_t c);

// Shift_JIS code to code point.  Only the low 16 bits of code count.  0 for
// an unmapped code and for everything outside 0x00-0xFF, 0x8000-0x9FFF and
// 0xE000-0xFCFF.  Code points beyond U+FFFF occur (up to U+2A6B2).
int sjis2uni(int code);

// UTF-16 unit to Shift_JIS code (below 256: one byte).  Only the low 16 bits
// of unit count.  0 for an unmapped unit, for every surrogate and for
// everything outside U+0000-U+04FF, U+1E00-U+9FFF and U+F900-U+FFFF.
int uni2sjis(int unit);

// ---- 16-bit string primitives ------------------------------------------------

// 0 when a and b are equal unit for unit, including their length; -1
// otherwise.  No order is reported.
int wstrcmp(const char16_t* a, const char16_t* b);

// Units before the terminator, counting no further than 4999.
int wstrlen(const char16_t* s);

// Copies src with its terminator to dst; returns the units copied, the
// terminator not counted.  No cap.
int wstrcpy(char16_t* dst, const char16_t* src);

// Appends src with its terminator at the end of dst (looked for without a
// cap); returns the units appended.
int wstrcat(char16_t* dst, const char16_t* src);

// ---- 8-bit <-> 16-bit strings --------------------------------------------------

// 8-bit string to 16-bit string.  Lead bytes are the system's; a lead byte
// takes the next byte as its trail whatever it is (but never the
// terminator: a lead byte right before the end is dropped).  A double-byte
// code goes through the table and becomes '?' when it has no mapping; a code
// point beyond U+FFFF becomes its surrogate pair.  A single byte below 0x80
// is stored as it is (0x5C stays U+005C); a byte from 0x80 up goes through
// the single-byte table (0xA1-0xDF give U+FF61-U+FF9F) and otherwise keeps
// its value (U+0080-U+00FF).
// Returns the input bytes taken: at most 9998 are converted, and a longer
// string gives 9999.  dst is always terminated.
int sjis2wstr(char16_t* dst, const char* src);

// As sjis2wstr, appending to the 16-bit string in dst.  Its end is looked
// for within 9999 units; when none of them is 0 the result is written after
// those 9999 units.
int sjis2wstrcat(char16_t* dst, const char* src);

// 16-bit string to Shift_JIS string.  A unit below 256 is written as that
// byte without the table (U+00A5 gives 0xA5, U+00E9 gives 0xE9); any other
// unit goes through the table, a code below 256 as one byte, others as lead
// then trail; a unit without a code (every surrogate among them) becomes
// '?'.  Returns the input units taken (at most 9998 converted; 9999 for a
// longer string).  dst is always terminated.
int wstr2sjis(char* dst, const char16_t* src);

// As wstr2sjis, appending to the 8-bit string in dst, whose end is looked
// for within 9999 bytes (when none of them is 0 the result is written after
// them).
int wstr2sjiscat(char* dst, const char16_t* src);

// 0 when wstr2sjis would write every unit of src without '?' (within the
// same 9998-unit cap), -1 at the first unit of 256 or more that has no code.
int chkwstrsjis(const char16_t* src);

#endif
