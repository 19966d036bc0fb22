// text.h - strings, character encodings, paths and the command line.
//
// One header for the folder; its sections live in the headers below:
//   codes.h    the Shift_JIS-2004 tables and the 16-bit string primitives
//   convert.h  the in-memory converters between UTF-8, UTF-16 and Shift_JIS
//   filecvt.h  whole-file encoding checks, UTF-8 <-> Shift_JIS file converters
//   paths.h    path parts, single-file lookup, fields and numbers in strings
//   cmdline.h  the command-line splitter and the argument sets

#ifndef REELKILN_TEXT_H
#define REELKILN_TEXT_H

#include "text/codes.h"
#include "text/convert.h"
#include "text/filecvt.h"
#include "text/paths.h"
#include "text/cmdline.h"

#endif
