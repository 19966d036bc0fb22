// cmdline.h - the command-line splitter and the argument sets.
//
// An argument set (cmdargs) is a count, an array of CMDARGS_PTRS string
// pointers and a text buffer of CMDARGS_TEXT units with its used length.
// Entries 0 to count-1 point at the arguments, each ended by a 0 inside the
// buffer; entry `count` (the end pointer) points at the next free place of
// the buffer, not at null.  A set holds at most CMDARGS_MAX (511) arguments,
// so the end pointer always has its slot.
//
// There are two sets.  Their buffers and used lengths live here for the whole
// run: the wide set in `wargbuf`/`wargbuflen`, the 8-bit set in
// `argbuf`/`argbuflen`.  The count and the pointer array belong to the
// caller (the program keeps `wargc`/`wargv` and `argcA`/`argvA`), who passes
// them by address.  A split builds a set anew from the start of its buffer;
// an append continues a set that a split built or that the caller reset
// (buffer's first unit 0, length 0, count 0, entry 0 = start of the buffer).
//
// Every function returns 0; limits are met silently (the program reports the
// 511-argument limit itself).  One thread: the buffers are process-wide and
// written only by these functions (and cmdline_reset).

#ifndef REELKILN_TEXT_CMDLINE_H
#define REELKILN_TEXT_CMDLINE_H

enum {
    CMDARGS_PTRS = 512,    // pointer slots of a set: the arguments and the end pointer
    CMDARGS_MAX = 511,     // arguments a set can hold
    CMDARGS_TEXT = 65535   // units of a set's text buffer
};

extern char16_t wargbuf[CMDARGS_TEXT];  // the wide set's text
extern int wargbuflen;                  // its used length: the index of the next free unit
extern char argbuf[CMDARGS_TEXT];       // the 8-bit set's text
extern int argbuflen;

// Splits the process command line (GetCommandLineW, g_os.command_lineW) into
// wargbuf and sets *count, argv[0..*count] and wargbuflen.  Entry 0 is the
// program's name as the line gives it.  Leading blanks and TABs are skipped;
// a double quote toggles quoting and is dropped wherever it stands; a space
// outside quotes ends an argument and further spaces are skipped; TAB and
// backslash are ordinary characters.  At most 65533 units of the line are
// read; at the first space past 511 arguments or 65275 written units the
// rest of the line is ignored.  A lone empty argument after the name (a
// trailing blank, or "") is dropped; a trailing blank after further
// arguments leaves an empty last one.
int splitcmdlineW(int* count, char16_t** argv);

// The same for GetCommandLineA (g_os.command_lineA) into argbuf, with a
// double-byte character (g_os.is_dbcs_lead) taken whole: its trail byte is
// never a quote, a space or the end of an argument.
int splitcmdline(int* count, char** argv);

// Appends s as one further argument of the wide set.  An empty s, or a set
// that already holds 511 arguments, is left unchanged.  When s begins with a
// double quote, the argument is what follows it up to the next double quote
// (or the end); nothing between the quotes appends nothing.  The copy stops
// where the buffer would overflow, so one string never takes more than what
// is left.
int addargW(int* count, char16_t** argv, const char16_t* s);

// The same on the 8-bit set; a double-byte character is copied whole (its
// trail byte is never the closing quote) or not at all.
int addarg(int* count, char** argv, const char* s);

// As addarg, and its result.
int addargcopy(int* count, char** argv, const char* s);

// Empties both buffers and their lengths, as at program start (for tests).
void cmdline_reset(void);

#endif
