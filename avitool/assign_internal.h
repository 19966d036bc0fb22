// assign_internal.h - the assignment text parser shared by aviassignframe
// and aviassignfps.  Internal to avitool/: not for callers outside the
// folder.
//
// An assignment names a movie and, optionally, a frame and a frame rate:
// 'D:\clips\walk.avi;L12;FP29.97'.  Fields are separated by ';' (lead-byte
// aware, text/paths.h getfield); field 0 is the path, every later field one
// assignment:
//   "L"   frame number counted from 1   strtailint of the field, minus 1
//   "FR"  frame number counted from 0   strtailint of the field
//   "FP"  frame rate                    strtailnum of the field; 0 gives 4.0
// tried in that order after the field's leading blanks, tabs, CR and LF,
// letters compared without regard to case.  The number is always read from
// the end of the whole field, so 'L 12', 'l12' and 'Line=12' all give frame
// 11.  A later field of a kind overrides an earlier one; an unrecognised
// field is reported and passed over.

#ifndef REELKILN_AVITOOL_ASSIGN_INTERNAL_H
#define REELKILN_AVITOOL_ASSIGN_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace avitool_detail {

// The fixed buffers of one parse, terminator included: the path (which first
// held the whole text), the current field, and the path's extension.
inline constexpr size_t ASSIGN_TEXT_CAP = 304;
inline constexpr size_t ASSIGN_FIELD_CAP = 272;
inline constexpr size_t ASSIGN_EXT_CAP = 272;

struct assignment {
    char path[ASSIGN_TEXT_CAP];  // field 0
    int frame;                   // 0 when no frame field was given
    float fps;                   // 4.0 when no rate field was given
    uint8_t hasframe;            // 0xFF when a frame field gave the frame
    uint8_t hasfps;              // 0xFF when a rate field gave the rate
};

// parseassign: parses text into *a and prints what it assigned ("Assigned
// file: %s", ", Frame %ld", ", %g fps", ".\n").  Returns 0, or 1 when the
// assignment is refused:
//   - the text is 304 bytes or longer, or one of its fields (or the path's
//     extension) is 272 bytes or longer: a line names which, and nothing
//     else is printed.  The text is never cut, since a cut path could name
//     a different movie;
//   - the path's extension does not begin with ".AVI" (any case):
//     "Not AVI extension: %s.\n" with the path.
// "Unrecognized assignment: %s.\n" is printed for each field that matches
// none of the prefixes.  A null text counts as empty.  The rate is reported
// as read: a rate that is not positive is left to the edits to refuse.
int parseassign(const char* text, assignment* a);

}  // namespace avitool_detail

#endif
