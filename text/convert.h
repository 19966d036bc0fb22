// convert.h - in-memory converters between UTF-8, UTF-16LE and Shift_JIS,
// with the CP932 compatibility mappings, and UTF-16LE compare and length.
//
// Division: UTF-8 sources; UTF-16LE sources; Shift_JIS sources; compare and
// length.
//
// Strings:
//   - UTF-8 and Shift_JIS strings are char arrays ended by a 0 byte.
//   - UTF-16LE strings are byte arrays holding 16-bit units low byte first,
//     ended by a unit whose two bytes are 0.  They are read and written byte
//     by byte and need no alignment (a char16_t buffer will do on a
//     little-endian machine, which both our targets are).
//   - Shift_JIS lead bytes are the fixed ranges 0x80-0x9F and 0xE0-0xFC here
//     (issjislead), never the system's code page.
//
// CP932 compatibility mappings.  Before the Shift_JIS-2004 tables (codes.h)
// the converters try these 19 pairs: U+301C -> 0x8160 towards Shift_JIS
// only; both ways U+2015 0x815C, U+FF3C 0x815F, U+FF5E 0x8160, U+2225
// 0x8161, U+FF0D 0x817C, U+FFE0 0x8191, U+FFE1 0x8192, U+FFE2 0x81CA, and
// the NEC row-13 symbols U+2252 0x8790, U+2261 0x8791, U+222B 0x8792, U+2211
// 0x8794, U+221A 0x8795, U+22A5 0x8796, U+2220 0x8797, U+2235 0x879A, U+2229
// 0x879B, U+222A 0x879C.  So 0x815C decodes to U+2015 here (the table alone
// gives U+2014), while U+2014 still encodes to 0x815C.
//
// Status bytes start at 7, which means "clean":
//   UTF-8 status: 0 after a malformed sequence.  The first malformed sequence
//     is skipped; the second ends the conversion.  There is no test for
//     overlong forms, surrogate values or values above U+10FFFF.
//   Shift_JIS status: ANDed with 3 when a lead byte is the last byte; ANDed
//     with 2 for a lead byte 0x80; ANDed with 1 for a trail below 0x40 (which
//     also prints "[%02X %02X(x)](2nd byte==0x00-3F) " with lead and trail);
//     ORed with 8 for leads 0xE0-0xFC and bytes 0xFD-0xFF.  A lead byte takes
//     the byte after it as its trail whatever it is, except the terminator.
//
// Output buffers are the caller's and are not sized; each function below
// says what is enough.  Every function terminates its output.  None reads
// past the terminator of its source.  One thread; no state between calls.

#ifndef REELKILN_TEXT_CONVERT_H
#define REELKILN_TEXT_CONVERT_H

#include <cstdint>

// ---- UTF-8 sources --------------------------------------------------------------

// UTF-8 to UTF-16LE, one unit per character.  A character beyond U+FFFF
// becomes the seven units 'x' and six upper-case hexadecimal digits of its
// value ("x01F600"); a four-byte form of a smaller value gives that unit.
// The output ends with two 0 units.  Returns the UTF-8 status.
// dst: 3.5 bytes per source byte, plus 4.
int utf8towstr(uint8_t* dst, const char* src);

// UTF-8 to Shift_JIS.  One-byte characters are copied; two-byte forms go
// through the table; three-byte forms through the compatibility mappings,
// then the table; four-byte forms of U+10000 and up give '?'.  A character
// without a code gives '?'.  Returns the UTF-8 status.
// dst: one byte per source byte, plus 1.
int utf8tosjis(char* dst, const char* src);

// Copies UTF-8, re-encoding every character in its shortest form (an
// overlong form comes out short), and resolves backslash escapes:
//   "\&" writes '&'; "\/" writes '/' and prints "(0x2F)"; "\u" with four
//   hexadecimal digits writes that code point in UTF-8 when it has a
//   Shift_JIS code (uni2sjis), and '?' when it has none; any other backslash
//   is copied and the character after it is read as usual.
// Every backslash met prints "(0x5C)".  A character of value 0 (an overlong
// NUL) writes nothing and prints "<<<uni000000:sjis%06X>>>" with the code
// found by the latest "\u" escape (0 before any).  Returns the UTF-8 status.
// dst: one byte per source byte, plus 1.
int utf8unesc(char* dst, const char* src);

// ---- UTF-16LE sources -----------------------------------------------------------

// UTF-16LE to UTF-8.  A high surrogate is read with the unit after it: with
// a low surrogate the pair gives four bytes; with any other unit the two give
// one '?'; before the terminator it gives '?' and the conversion ends there.
// A lone low surrogate and every other unit give one to three bytes.
// Returns the bytes of src taken (two per unit).  dst: 1.5 bytes per source
// byte, plus 1.
int wstrtoutf8(char* dst, const uint8_t* src);

// UTF-16LE to Shift_JIS with the compatibility mappings.  Units up to 0x7F
// are copied as single bytes; a high surrogate and the unit after it give
// one '?' (characters beyond U+FFFF are never converted); others go through
// the mappings, then the table: '?' when there is no code, one byte for a
// code below 256 (U+00A5 gives 0x5C), else lead then trail (U+00E9 gives
// 0x85 0x7E).  Returns the bytes of src taken.  dst: one byte per source
// byte, plus 1.
int utf16tosjis(char* dst, const uint8_t* src);

// ---- Shift_JIS sources ------------------------------------------------------------

// Shift_JIS to UTF-8 (one to four bytes per character) with the
// compatibility mappings for leads 0x81-0x9F.  A byte 0xA0 keeps its value
// (U+00A0); bytes 0xFD-0xFF write nothing.  A code without a mapping writes
// nothing and prints "<<<uni000000:sjis%06X>>>" with the code.  Returns the
// Shift_JIS status.  dst: three bytes per source byte, plus 1.
int sjistoutf8(char* dst, const char* src);

// As sjistoutf8, appending to the UTF-8 string in dst.  Its end must lie
// within the first 520 bytes: otherwise the result is -1 and dst is left as
// it was.
int sjistoutf8cat(char* dst, const char* src);

// Shift_JIS to UTF-16LE, as sjistoutf8 but one unit per character and a
// surrogate pair beyond U+FFFF.  A code without a mapping becomes '?' (no
// marker is printed).  The output ends with one 0 unit.  Returns the
// Shift_JIS status.  dst: two bytes per source byte, plus 2.
int sjistoutf16(uint8_t* dst, const char* src);

// As sjistoutf16, appending to the UTF-16LE string in dst, whose end (a 0
// unit at an even offset) must lie within the first 520 units; otherwise -1
// and dst is left as it was.
int sjistoutf16cat(uint8_t* dst, const char* src);

// ---- Compare and length ------------------------------------------------------------

// Compares unit by unit while b has units: -1 at the first unit that differs
// (also when a is shorter); when b ends, 0 when a ends there too, else 3.
int utf16cmp(const uint8_t* a, const uint8_t* b);

// Bytes before the terminating unit: two per unit, no cap.
int utf16len(const uint8_t* s);

#endif
