// avi.h - the frame list, the WAV header scanner and the AVI 1.0 writer.
//
// A movie is made of the images named in "list.txt" (the frame list) and,
// optionally, the sample data of one WAV file.  This header declares:
//   - the program directory exedir/exedirW and the list-line rule
//     (listgetname) by which the driver and both movie writers read the list;
//   - the WAV header scanner (wavscan, wavscanW, wavscansub) and its facts
//     wavhdr;
//   - the AVI 1.0 writer (mkavi1, mkavi1W, mkavi1sub), its pure size plan
//     (planavi1) and the name of the image that stopped a writer
//     (badpngname/badpngnameW).
// The OpenDML writer (odml.h) shares the writer's steps through
// movie/aviwrite.h.
//
// Process-wide state here is defined once in the movie library's .cpp files;
// one thread, nothing reentrant.

#ifndef REELKILN_MOVIE_AVI_H
#define REELKILN_MOVIE_AVI_H

#include <cstdint>

// ---- Program directory and frame list ----------------------------------------------

// Capacity, in bytes or units with the terminator, of exedir and exedirW.
// The directory is kept with its trailing separator.  It is far more than the
// 264 of a Windows path because POSIX paths (and UTF-8 names) run longer; whoever
// fills these must still copy with this bound.
inline constexpr int EXEDIR_CAP = 4096;

// The directory that holds the program, with a trailing '\' (or '/'), in 8-bit
// and in wide form; set once by the driver at start.  Every listed name is
// joined to it (never to the list's own directory).  Empty means "no
// directory": names are then used as they are.
extern char exedir[EXEDIR_CAP];
extern char16_t exedirW[EXEDIR_CAP];

// The longest valid list name in bytes; a name buffer holds one more byte for
// the terminator (LISTNAME_MAX + 1) and the reader also uses that byte while
// it collects an over-long line, so buffers are LISTNAME_BUF bytes.
inline constexpr int LISTNAME_MAX = 63;
inline constexpr int LISTNAME_BUF = LISTNAME_MAX + 2;

// listgetname: takes the next valid name from the open text reader (tfopen or
// tfopenW) into name, which must hold LISTNAME_BUF bytes.  Returns 0 with a
// name (the empty name included), -1 at the end of the list.
//
// The rule, per line:
//   - a line ends at CR, at an LF that does not directly follow a CR (so CR LF
//     is one line end, and lists saved with bare LF read line by line), and
//     at the end of the file (a non-empty last line is a name);
//   - a line that begins with "//" is a comment: it is skipped with its line
//     end; after a comment that ends in CR (or Ctrl-Z), one CR or LF that
//     follows is taken as part of that line end;
//   - bytes below 32 and above 127 are dropped (127 is kept);
//   - a name of 0 to 63 bytes is valid; 64 bytes print "*** length over:
//     invalid:  %s \n" and the line is skipped; every byte beyond 64 prints
//     "*** name length over \n" once.
// Lists written with CR LF or CR line ends give the same names as a rule that
// ends lines at CR only and ignores every LF; that rule lost a last line
// without CR, this one keeps it.
int listgetname(char* name);

// A joined path: program directory + listed name.  Both forms are kept; the
// wide flag says which one a writer opens.
inline constexpr int JOINED_CAP = EXEDIR_CAP + LISTNAME_BUF + 16;

// Copies dir and then name into dst (cap bytes or units with the
// terminator).  Returns false, with dst holding as much as fits, when the
// result would not fit.
bool joinpath(char* dst, size_t cap, const char* dir, const char* name);
bool joinpathW(char16_t* dst, size_t cap, const char16_t* dir, const char16_t* name);

// An 8-bit listed name to its wide form (sjis2wstr; a name has at most 63
// bytes, so 64 units always hold it).
void name2wide(char16_t* dst, const char* name);

// ---- WAV header scanner ------------------------------------------------------------

// The facts of the last scanned sound file, emptied by every scan.
struct wavfacts {
    uint16_t formattag;      // fmt: format tag (not checked)
    uint16_t channels;       // fmt
    uint32_t samplespersec;  // fmt
    uint32_t avgbytespersec; // fmt
    uint16_t blockalign;     // fmt
    uint16_t bitspersample;  // fmt
    uint16_t extrasize;      // fmt of 18 bytes or more, else 0
    uint32_t samplecount;    // fact; else data length / block align
    int64_t datalength;      // data chunk size, read as unsigned 32-bit
    int64_t dataoffset;      // absolute file position of the first data byte
};
extern wavfacts wavhdr;

// wavscansub: reads the RIFF WAVE header of a file through the RD stream
// (rfopenW with the wide name when wide is 0xFF, else rfopen) and reports
// where its data lies.  The signature may stand at offset 0 or behind a
// 128-byte preamble; positions stay absolute.  Top-level chunks are walked up
// to the RIFF size; JUNK/JUNQ, LIST, iwep, iwem, fmt (any 'f','m','t',x),
// fact and data are read as they are, unknown chunks skipped by their size.
// The RIFF size and the data chunk size are read as unsigned 32-bit numbers,
// so sounds of 2 GB and more are reported with their true length; other chunk
// sizes are signed (an unknown chunk with a negative size ends the walk).
//
// Results: 0 scanned (also when chunks are missing: no fmt gives 0 channels,
// no data gives length and offset 0); -1 the file cannot be opened; 2 no
// 'RIFF' at offset 0 or 128; 3 no 'WAVE'; 4 a fmt chunk under 16 bytes;
// WAV_READFAIL (5) a read of the file failed (not its end), after "Read
// failed (RD) while scanning WAV: %s\n".
// The five outs are written only on success (callers preset them to -1);
// channels and bits per sample are the fmt chunk's unsigned 16-bit fields,
// 0 to 65535.
// RD is closed on every return.
enum { WAV_READFAIL = 5 };
int wavscansub(const char* name, const char16_t* nameW, int64_t* datlen, int64_t* dataoff,
               int32_t* ch, int32_t* bits, int32_t* rate, uint8_t wide);
int wavscan(const char* name, int64_t* datlen, int64_t* dataoff, int32_t* ch, int32_t* bits,
            int32_t* rate);
int wavscanW(const char16_t* name, int64_t* datlen, int64_t* dataoff, int32_t* ch,
             int32_t* bits, int32_t* rate);

// ---- AVI 1.0 writer ------------------------------------------------------------------

// Capacity of badpngname (bytes) and badpngnameW (units), terminator included.
inline constexpr int BADPNGNAME_CAP = 288;

// The listed name that stopped the last writer with -6 (8-bit as listed, and
// its wide form); emptied at the start of every writer call.
extern char badpngname[BADPNGNAME_CAP];
extern char16_t badpngnameW[BADPNGNAME_CAP];

// The file position of the first frame chunk: the header and its JUNK (24-bit)
// or JUNQ (32-bit) filler always end there.
inline constexpr uint32_t AVI1_FIRST_FRAME_24 = 2048;
inline constexpr uint32_t AVI1_FIRST_FRAME_32 = 8824;

// Every size and offset of an AVI 1.0 movie, fixed before the file is made.
// Offsets are file positions unless named "from M" (M is the position of the
// 'movi' fourcc, the base of the idx1 offsets).
struct avi1plan {
    // The input.
    uint32_t n;          // frames
    uint32_t w, h;       // frame size
    bool alpha;          // 32-bit frames '00dc', else 24-bit '00db'
    bool sound;          // one '01wb' chunk
    uint64_t datlen;     // its data bytes (0 without sound)

    // Frame geometry.
    uint64_t stride;     // bytes of one stored row: 4w, or 3w rounded up to 4
    uint32_t rowpad;     // zero bytes after each 24-bit row (0 to 3)
    uint64_t fs;         // pixel bytes of one frame: stride * h

    // Header sizes.
    uint32_t hdrlsize;   // the hdrl list's size field: 206/192, +116 with sound
    uint32_t strlsize;   // the video strl list's size field: 130/116
    uint32_t junksize;   // J of the JUNK/JUNQ filler
    uint32_t firstframe; // P: 2048 or 8824

    // The movi list and what follows it.
    uint64_t movi;       // M, the 'movi' fourcc: P - 4
    uint64_t movisize;   // the movi list's size field
    uint64_t soundchunk; // the '01wb' chunk from M (0 without sound)
    uint64_t idx1;       // file position of the 'idx1' fourcc
    uint64_t idx1size;   // its size field: 16 per entry
    uint64_t total;      // the RIFF size field: file length to the end of idx1, minus 8
    uint32_t trailer;    // 8 for the 24-bit 'them' trailer, else 0
    uint32_t fill;       // zero bytes at the end (1 to 512)
    uint64_t filelen;    // the whole file

    // True when total fits in 32 bits, so the movie can be written as AVI
    // 1.0; false when it does not, or when the arithmetic itself overflowed
    // 64 bits (absurd sizes).
    bool fits;
};

// planavi1: the layout of an AVI 1.0 movie of n frames of w x h pixels
// (alpha: 32-bit frames), with or without a sound of datlen bytes.  Pure: no
// I/O, no global state.  Every product is checked; when the sizes overflow,
// fits is false and the fields that depend on them are 0.
avi1plan planavi1(uint32_t n, uint32_t w, uint32_t h, bool alpha, bool sound, uint64_t datlen);

// Results of the AVI 1.0 writer.
enum {
    AVI1_OK = 0,
    AVI1_FAILED = -1,       // no memory, not created, a write failed ("*** Disk Full *** "), the list's read failed
    AVI1_NO_SOUND = -4,     // the WAV cannot be opened again for copying
    AVI1_BAD_IMAGE = -6,    // a listed image missing or not loadable: see badpngname
    AVI1_TOO_LARGE = -7,    // the RIFF size would pass 32 bits; nothing created
    AVI1_FOURCC_R = 1,      // the first 'R' not written
    AVI1_FOURCC_IFF = 2,    // 'I', 'F', 'F' not written; or the first image cannot be opened
    AVI1_STOP = 3,          // a later fourcc byte not written; no PNG first image; Ctrl-C
    AVI1_COPY_FAILED = 4,   // the sound copy failed, or a read of the sound failed
    AVI1_ESC = 27           // ESC
};

// mkavi1sub: writes the movie of the list's images (joined to exedir or
// exedirW) at fps frames per second, with the sound of the WAV path when it
// is not empty and scans well, as an AVI 1.0 file at the movie path.  wide
// 0xFF uses the wide paths for every file, 0 the 8-bit ones.
//
// The plan is made before the file is created: a movie whose RIFF size would
// pass 32 bits is refused with -7 and nothing is created (the caller then
// turns to the OpenDML writer).  Every later failure leaves the partial file.
// A sound below 8 bits per sample, without channels, or whose rate does not
// fit the header is left out with a line saying why; a sound file shorter
// than its data chunk declares contributes only the bytes it holds.  Every
// write up to the final flush is checked: a failure prints
// "*** Disk Full *** \n" and gives -1.  ESC and Ctrl-C, between frames or
// while an image loads, give 27 and 3; one waiting when the file would be
// created gives the same with nothing created.
// avi1writepass: the write pass of a plan that fits (made by planavi1 for
// the list's frames and the sound snd, after listprepass, firstimage and
// soundscan of aviwrite.h): the file front to back, no seek.  The 'movi'
// position, every frame chunk's and the sound chunk's offset, the idx1
// position and the RIFF's end are held to the plan where they are reached:
// a disagreement prints a "!!! ... disagreed." line, closes the output and
// gives -1; the file on disk must then have the plan's length
// (finishoutput).  Other results as mkavi1sub.  The frames are the list's
// images, or with src those of its fill (aviwrite.h), which makes the same
// movie of pixels that do not come from the list (the toolkit's movies of
// one repeated image).  With the list's images the keyboard is polled once
// before the file is created: ESC or Ctrl-C there gives 27 or 3 with nothing
// created.
struct moviepaths;
struct soundfacts;
struct framesource;
int avi1writepass(const moviepaths& p, const avi1plan& plan, const soundfacts& snd, float fps,
                  const framesource* src = nullptr);

int mkavi1sub(const char* avipath, const char16_t* avipathW, const char* listpath,
              const char16_t* listpathW, float fps, const char* wavpath,
              const char16_t* wavpathW, uint8_t wide);
int mkavi1(const char* avipath, const char* listpath, float fps, const char* wavpath);
int mkavi1W(const char16_t* avipath, const char16_t* listpath, float fps, const char16_t* wavpath);

#endif
