// paths_internal.h - not for callers: the character walk shared by the path
// functions and the command-line splitter of text/.
//
// A char may open a double-byte character in the system's ANSI code page
// (g_os.is_dbcs_lead, IsDBCSLeadByte); a char16_t never does, so the 16-bit
// twins of a template walk unit by unit.

#ifndef REELKILN_TEXT_PATHS_INTERNAL_H
#define REELKILN_TEXT_PATHS_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace text_detail {

inline bool is_lead(char c) { return g_os.is_dbcs_lead((uint8_t)c) != 0; }
inline bool is_lead(char16_t) { return false; }

// Width in units of the character that starts at p: 2 for a lead byte with
// its trail byte, else 1.  A lead byte right before the terminator is a
// character of its own, so no walk steps over the 0.
template <class C>
inline size_t charw(const C* p) {
    return (is_lead(*p) && p[1] != 0) ? 2 : 1;
}

}  // namespace text_detail

#endif
