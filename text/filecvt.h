// filecvt.h - whole-file encoding checks, the UTF-8 <-> Shift_JIS file
// converters, and the escape reader of Shift_JIS strings.
//
// Division: checks; file converters; the escape reader.
//
// Files are read byte by byte through the text reader (the checks by 8-bit
// or 16-bit name, the converters by 8-bit name) and written through the
// write stream WR.  The walks are those of the in-memory converters
// (convert.h), with the end of the file in the place of the terminating 0:
// a 0 byte in a file is an ordinary character.  Status bytes start at 7
// ("clean", see convert.h); 255 means that a file could not be opened, or
// that the output could not be written whole.
//
// Notes on invalid input:
//   - malformed UTF-8 writes nothing: the first such sequence turns the
//     status to 0 and the walk goes on, the second ends it.  As in the
//     in-memory converters there is no test for overlong forms, surrogate
//     values or values above U+10FFFF: an overlong C0 AF becomes '/';
//   - a character without a Shift_JIS code becomes the text
//     "<<<uni%06X>>>" with its value in the output; every four-byte form
//     does, even a character beyond U+FFFF that Shift_JIS has (the lookup
//     takes 16-bit units), while an overlong four-byte form writes nothing;
//   - a Shift_JIS code without a Unicode mapping becomes the text
//     "<<<uni000000:sjis%06X>>>" with the code in the output; so does every
//     code with lead byte 0x80; bytes 0xFD-0xFF write nothing and are
//     counted;
//   - a lead byte as the last byte of the file ends the walk.
//
// The converters trace every byte or character on standard output.  The
// trace prints a code's high and low byte with %c, so a code below 256 puts
// a NUL byte there: read the trace as bytes.
//
// Safety: a converter refuses an output that is its input under any name (a
// hard link, another spelling), which would empty the input before it was
// read; and an output it could not write whole (a full disk) is removed,
// reported as "Cannot write (WR) %s .\n" in place of "done.\n", and answered
// with 255.  The input is closed on every way out.
//
// One thread.  The functions use the single text reader and the single WR
// stream: none may run while another user of those has a file open.

#ifndef REELKILN_TEXT_FILECVT_H
#define REELKILN_TEXT_FILECVT_H

#include <cstdint>

// ---- Checks ----------------------------------------------------------------------

// The UTF-8 status of the whole file (7 or 0), read by 16-bit name when
// wide is 0xFF and by 8-bit name when it is 0.  A sequence cut by the end of
// the file is malformed.  255 when the file cannot be opened, with "Cannot
// open (RDs). \n" (wide) or "Cannot open %s .\n"; nothing else is printed.
int chkifutf8core(const char* name, const char16_t* nameW, uint8_t wide);
int chkifutf8W(const char16_t* name);  // the core with ("", name, 0xFF)
int chkifutf8(const char* name);       // the core with (name, u"", 0)

// The Shift_JIS status of the whole file: 7 when no byte above 0x7F was
// seen other than 0xA0-0xDF and leads 0x81-0x9F with trails from 0x40 up;
// ORed with 8 for leads 0xE0-0xFC and bytes 0xFD-0xFF; ANDed with 3 for a
// lead as the last byte (which ends the walk), with 2 for a lead 0x80 and
// with 1 for a trail below 0x40.  Prints "[%02X(x) %02X] (1st byte==0x80) "
// and "[%02X %02X(x)](2nd byte==0x00-3F) " for those two.  255 as above.
int chkifsjis(const char* name, const char16_t* nameW, uint8_t wide);
int chkifsjisW(const char16_t* name);
int chkifsjisA(const char* name);

// ---- File converters ---------------------------------------------------------------

// UTF-8 file to Shift_JIS file.  Returns the input's UTF-8 status; 255 with
// "Cannot open (RD) %s .\n" (the input), "Cannot open (WR) %s .\n" (an
// output that cannot be created, or that is the input) or "Cannot write
// (WR) %s .\n" (the output lost data and was removed).  Traces each
// character: a byte below 0x80 as itself (CR as a blank), a longer form as
// its bytes and value, then the code written as "[%c%c](%02X:%02X) ";
// malformed sequences as the bytes read, marked "(x)".  Ends with "done.\n".
int utf8file2sjis(const char* outname, const char* inname);

// Shift_JIS file to UTF-8 file (leads 0x81-0x9F through the compatibility
// mappings, then the table; 0xE0-0xFC through the table; 0xA0 stays U+00A0
// and 0x5C stays '\').  Returns the input's Shift_JIS status; 255 as
// utf8file2sjis.  Traces each single byte as "%02X ", the anomalies as the
// check does, then "\n" and the summary "sjisstat = %d. \n",
// "  ctnoutf = %d. \n", "  ctsecond003F = %d. \n", "  ctfirst80 = %d. \n"
// (also when the output failed), and "done.\n".
int sjisfile2utf8(const char* outname, const char* inname);

// The summary counters of the latest sjisfile2utf8: bytes 0xFD-0xFF, codes
// with a trail below 0x40, codes with lead 0x80.
extern int ctnoutf, ctsecond003F, ctfirst80;

// ---- The escape reader --------------------------------------------------------------

// Reads a Shift_JIS string with '&' escapes ("&&" '&', "&r" CR, "&n" LF,
// "&v" VT; '&' and any other character are dropped together; a final '&'
// ends the walk) into code points; returns how many it found.  Lead bytes
// are the fixed ranges (0x80 counts); single bytes and codes go through the
// table, so 0x5C gives U+00A5, and what has no mapping is dropped (0xA0,
// 0xFD-0xFF, unmapped codes, a lead right before the end).  The code points
// are kept in a buffer of 1023 and a closing 0 and not handed out; past
// that they are counted only.  Prints "%s (%d) " with the string and its
// length, then "=> unilen(%d) \n".
int sjisesc2uni(const char* s);

#endif
