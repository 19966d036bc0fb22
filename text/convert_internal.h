// convert_internal.h - pieces of the converters shared within text/; not for
// callers outside the folder.
//
// The whole-file checks and converters decode the same way as the in-memory
// converters of convert.h; these are the parts they can share: the CP932
// compatibility mappings and the UTF-8 encoder.

#ifndef REELKILN_TEXT_CONVERT_INTERNAL_H
#define REELKILN_TEXT_CONVERT_INTERNAL_H

#include <cstdint>

namespace text_detail {

// The code point that the CP932 compatibility mappings give a Shift_JIS
// code (0x815C -> U+2015, 0x8790 -> U+2252, ...), 0 for a code they do not
// list.  Only the 18 two-way pairs decode.
int compat_sjis2uni(int code);

// The Shift_JIS code that the mappings give a code point (U+301C and
// U+FF5E -> 0x8160, ...), 0 for a code point they do not list.
int compat_uni2sjis(int cp);

// Writes cp (up to 0x1FFFFF) in the shortest UTF-8 form at d: one byte below
// 0x80, two below 0x800, three below 0x10000, else four.  Surrogate values
// are encoded like any other.  Returns the bytes written; writes no
// terminator.
int put_utf8(uint8_t* d, uint32_t cp);

}  // namespace text_detail

#endif
