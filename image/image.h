// image.h - the image codec: image record, libpng binding, PNG decoder, PNG
// probe and plane loader.
//
// Division:
//   the image record imgrec   a device-independent bitmap in memory
//   the libpng binding        byte input from RD, output to WR, error and
//                             warning callbacks, the silent message sink, the
//                             row-progress meter
//   the PNG decoder           one PNG file into an image record
//   the probe                 signature and IHDR into the current-image facts
//   the plane loader          one PNG file into four 8-bit colour planes
//   the palette builder       a process-wide table of up to 256 colours
//   the PNG encoder           four planes into a PNG of 1, 4, 8, 24 or 32
//                             bpp, written through WR
//   the BMP writer            four planes into a 32-bit bit-field BMP
//
// Everything here is process-wide and single-threaded: one image is probed,
// decoded or loaded at a time, through the one read stream RD, and one is
// encoded at a time, through the write stream WR.  The one exception is
// pngloadjob, which worker threads may run side by side (see there).  No function throws;
// results are the int codes documented at each one.

#ifndef REELKILN_IMAGE_H
#define REELKILN_IMAGE_H

#include <atomic>
#include <cstddef>
#include <cstdint>

// libpng's structures, as libpng itself names them, so that the callbacks
// below have libpng's own signatures without this header including <png.h>.
struct png_struct_def;

// ---- The image record -------------------------------------------------------

// One image as a device-independent bitmap.  Pixel layout in a row: 24 bpp
// blue, green, red; 32 bpp blue, green, red, alpha; 8 bpp or less palette
// indices packed from the most significant bit of each byte.
//
// With topdown 0 (the only value the codec uses) the block is bottom-up:
// rows[k] = bits + size - (k + 1) * stride, so rows[0], the image's top row,
// is the last stride bytes of the block.  With topdown nonzero rows[k] =
// bits + k * stride.
//
// The record is a plain value owned by its caller; imgalloc gives it its
// buffers and imgfree releases them.
//
// Every device-independent bitmap's row, here, in a BMP and in a movie's
// frame chunk alike, is a whole number of 32-bit words: dibstride bytes
// (so 3w rounded up to 4 at 24 bpp, 4w at 32).  width < 2^32 and bits <= 32
// keep it exact.
constexpr uint64_t dibstride(uint64_t width, uint32_t bits) { return (width * bits + 31) / 32 * 4; }

struct imgrec {
    uint32_t width;      // pixels per row
    int32_t height;      // rows (positive)
    uint32_t bpp;        // bits per pixel: 1, 4, 8, 24 or 32
    uint32_t colors;     // palette entries: 2^bpp when bpp <= 8, else 0
    int32_t topdown;     // nonzero: row 0 first in the block; 0: bottom-up
    int32_t alpha;       // 1 when the pixels carry an alpha byte (32 bpp)
    uint32_t stride;     // bytes per row, a multiple of 4
    uint32_t size;       // stride * height
    uint8_t* palette;    // colors * 3 bytes, red, green, blue; null when 0
    uint8_t** rows;      // height row pointers; rows[0] is the top row
    uint8_t* bits;       // the pixel block, size bytes
    uint8_t sbit[5];     // significant bits: red, green, blue, gray, alpha
};

// imgalloc: given width, height, bpp, colors and topdown, sets palette (or
// null), stride, size, rows and bits and fills the row table.  The last four
// bytes of every row are zeroed, so a row's padding is always 0.  Returns 1,
// or 0 when an allocation failed or the block would not fit in 32 bits (or
// width or height is not positive); then palette, rows and bits are all
// null.  Prints nothing.
int imgalloc(imgrec* rec);
// imgfree: releases palette, rows and bits (null is allowed); the pointers
// keep their now stale values.
void imgfree(imgrec* rec);
// imginit: sets palette, rows and bits to null; releases nothing.
void imginit(imgrec* rec);

// ---- The libpng binding ---------------------------------------------------------

// Callbacks handed to libpng.  The read and write callbacks move bytes
// between libpng and the streams RD and WR; a short count raises png_error
// with "Read Error" or "Write Error".  pngerrcb sends its text to pngmsg
// and jumps back to the caller's recovery point (it never returns);
// pngwarncb sends its text and returns.  pngrowcb advances the meter.
void pngreadcb(png_struct_def* png, uint8_t* data, size_t length);
void pngwritecb(png_struct_def* png, uint8_t* data, size_t length);
void pngflushcb(png_struct_def* png);
[[noreturn]] void pngerrcb(png_struct_def* png, const char* msg);
void pngwarncb(png_struct_def* png, const char* msg);
void pngrowcb(png_struct_def* png, uint32_t row, int pass);

// The codec's message sink: takes a printf-style format, prints and keeps
// nothing, and ends the meter (progon 0, progval -1).
void pngmsg(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The row-progress meter.  Nothing in the program displays it; a display
// would poll progactive and progget.
extern int progmax;    // full scale, 100
extern int progval;    // 0..progmax while metering, -1 when idle
extern int progon;     // 1 while an image is metered
extern int progunits;  // the scale of the current image
extern int progrows;   // weighted rows expected for the current image
extern int progdone;   // weighted rows done
extern int progcap;    // progunits lowered to progmax; kept, never read

// progbegin: switches on libpng's interlace handling for png and starts
// metering an image of the given size (call it after the row callback is
// installed, before the rows are read or written).
void progbegin(png_struct_def* png, uint32_t width, uint32_t height);
void progstart(int units);
void progset(int v);
void progend(void);
uint32_t adam7rows(uint32_t width, uint32_t height);
int progsetmax(int v);
int progget(void);
int progactive(void);

// ---- The PNG decoder ----------------------------------------------------------

// Decoder settings; the plane loader sets both before every decode.
extern int pngalphamode;  // nonzero keeps alpha; 0 strips it (initially 2)
extern int pngtrnsalpha;  // nonzero with pngalphamode: tRNS becomes alpha (1)

// pngdecode / pngdecodeW: one PNG file (signature at offset 0 or after a
// 128-byte preamble) into rec, as a bottom-up bitmap of 1, 4, 8, 24 or 32
// bpp.  Returns 1 decoded (the caller then owns the buffers and releases
// them with imgfree) or 0 failed (nothing to release: the record's pointers
// are null).  RD is closed on return either way.
int pngdecode(const char* path, imgrec* rec);
int pngdecodeW(const char16_t* path, imgrec* rec);

// ---- The current-image facts ------------------------------------------------------

// Set by every successful probe and left alone by a failed one.
extern uint32_t pngwidth;    // IHDR width
extern uint32_t pngheight;   // IHDR height
extern int pngdepth;         // IHDR bit depth: bits per sample
extern uint8_t pnghasalpha;  // 0xFF when the colour type has the alpha bit

// The bitmap description beside those facts.  The probe fills the first
// eight fields; the AVI information reader fills the rest as well.
struct curimgdesc {
    int width, height;
    int bitcount;      // bits per sample (PNG) or per pixel (AVI)
    int palcolors;     // 2^bitcount, -1 when bitcount is 9 or more
    int planes;        // 1
    int kind;          // 3
    int hdrsize;       // 40, or 108 with alpha
    int compression;   // 0, or 3 (bit fields) with alpha
    int imagesize;
    int xres, yres;    // pixels per metre
    int clrused, clrimportant;
    int is555, is565;  // 16-bit layouts, byte flags
    int pixperword;    // pixels per 32-bit word
    int rowstride, rowpad;
    int frames;        // frame count of the movie
    int chunkoff;      // file offset of frame 0's chunk
    int chunkend;      // end of that chunk
};
extern curimgdesc curimg;

// ---- The probe ----------------------------------------------------------------

// pngscan / pngscanW: reads the signature (at 0 or after a 128-byte preamble)
// and the IHDR chunk and fills pngwidth, pngheight, pngdepth, pnghasalpha
// and curimg.  Prints "(IHDR passed) (w,h) d-bit [alpha-exist ]done.\n".
// Returns 0 probed, -1 cannot open, 2 no PNG signature, 3 no complete
// 13-byte IHDR chunk first.
int pngscan(const char* path);
int pngscanW(const char16_t* path);

// ---- The plane loader --------------------------------------------------------------

// The colour planes of one image: pixel (x, y) at index y * width + x, row 0
// at the top, each plane width * height + 16 bytes from planesalloc; alpha
// 255 is opaque.  The caller owns the planes and releases them with
// planesfree (each plane is one malloc block).
struct imgplanes {
    int width, height;
    uint8_t* R;
    uint8_t* G;
    uint8_t* B;
    uint8_t* A;
    uint8_t reallocated;  // 0xFF when the last load allocated new planes
    uint8_t hasalpha;     // 0xFF when some alpha byte is not 255
};

// Every owner of planes (the loaders, the movie writers, the frame reader)
// allocates, releases and sizes them through these, so the width * height +
// 16 rule and the order of the four live here alone.
//
// planesalloc: releases what p holds, then allocates four planes of width *
// height + 16 bytes each, red, green, blue, alpha in that order.  true: the
// four set, p's width and height set, reallocated 0xFF.  false (no memory,
// width or height not positive, or a plane past INT32_MAX bytes): all four
// null, width and height 0, reallocated 0.  hasalpha is left alone.
bool planesalloc(imgplanes* p, int64_t width, int64_t height);
// planesfree: releases the four (null is allowed), sets them null, width and
// height 0 and reallocated 0; hasalpha is left alone.
void planesfree(imgplanes* p);
// planesbytes: the memory a plane set of width x height takes, 4 * (width *
// height + 16), for callers that account for the planes they hold.
uint64_t planesbytes(uint64_t width, uint64_t height);
// decodebytes: the most the decode of one width x height image holds beside
// the planes: the record's block at 32 bpp (4 bytes a pixel), its row table
// and a word of slack a row.
uint64_t decodebytes(uint64_t width, uint64_t height);
// rowdecodebytes: the most a decode that writes its rows straight into the
// planes holds beside them: one record row and libpng's two rows of the
// file's pixels (at most 8 bytes a pixel, and a filter byte).
uint64_t rowdecodebytes(uint64_t width);

// The driver's plane set, released at exit by imgfree4.
extern imgplanes mainplanes;

// The loader's palette, filled from the record at each load; pala is 255.
extern uint8_t palr[256], palg[256], palb[256], pala[256];

// pngload and its twins: decode the file and convert it into the planes.
// The plain loaders free and allocate the four planes for every image; the
// keep loaders reuse them when *width, *height match and all four exist.
// Results:
//   0   loaded: planes filled, *width, *height, *hasalpha set
//  -1   the file cannot be opened               planes untouched
//   2   no PNG signature at offset 0 or 128     planes untouched
//  -2   the decoder failed                      planes untouched
//  -3   the planes cannot be allocated (or would pass 2^31 - 1 bytes):
//       all four null, *reallocated 0; *width, *height 0 when not keeping
//  27   ESC pressed during the conversion, 3 Ctrl-C: planes allocated and
//       filled from the bottom row up to where it stopped; *hasalpha looks
//       at the converted rows only
int pngload(const char* path, int* width, int* height, uint8_t** R, uint8_t** G,
            uint8_t** B, uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha);
int pngloadW(const char16_t* path, int* width, int* height, uint8_t** R, uint8_t** G,
             uint8_t** B, uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha);
int pngloadkeep(const char* path, int* width, int* height, uint8_t** R, uint8_t** G,
                uint8_t** B, uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha);
int pngloadkeepW(const char16_t* path, int* width, int* height, uint8_t** R, uint8_t** G,
                 uint8_t** B, uint8_t** A, uint8_t* reallocated, uint8_t* hasalpha);

// ---- The plane loader as a job -----------------------------------------------------

// One PNG into planes: what the keep loaders do, with every piece of state
// its own, and the loaders' one core.  It reads the file through its own
// input (not RD), keeps its own record and palette, takes the decoder
// settings from the job (not pngalphamode and pngtrnsalpha, which the
// writer's thread may set meanwhile), prints nothing and sets no
// process-wide record: pngjobreport, on the thread that owns the console,
// prints its lines and sets those records afterwards.
//
// A worker's job (console 0) also meters nothing and never polls the
// keyboard: the console's thread stops it by setting *cancel.  Many such
// jobs may run at once, each on its own thread.  The console's job (console
// 0xFF, the one-thread loaders) decodes with the meter and the message
// sink, opens a 16-bit name without sharing, as RD does, and polls the
// keyboard once per row: ESC or Ctrl-C stops it with 27 or 3.
struct pngjob {
    // In.
    const char* path;                // the file by 8-bit name, used when wpath is null
    const char16_t* wpath;           // else by 16-bit name
    int alphamode, trnsalpha;        // the decoder settings (the loaders use 2 and 1)
    const std::atomic<int>* cancel;  // nonzero stops the decode between reads and the
                                     // conversion between rows; may be null
    // May be null.  Called once the file's signature and IHDR are read, with
    // the image's declared size, before anything the size of the image is
    // allocated: it may wait (for memory to be given back, say) and gives
    // false to stop the job, which then ends with result 1 and the planes
    // untouched.  Width and height are 0 when no IHDR came first (the
    // decoder then refuses the file).
    bool (*admit)(void* ctx, const struct pngjob* job, uint32_t width, uint32_t height);
    void* admitctx;
    // May be null.  A worker's job run on the console's thread (a writer
    // that decodes while it waits) polls the keyboard through it: called
    // with admitctx between reads and rows as *cancel is looked at, nonzero
    // stops the job as *cancel does.
    int (*look)(void* ctx);
    uint8_t console;                 // 0xFF: run on the console's thread (above)
    // In and out: planes that are reused when width and height match and
    // all four exist, as the keep loaders reuse theirs; afterwards the job's
    // planes, freed by the caller with free().
    imgplanes planes;
    // Out.
    int result;          // as pngloadkeep: 0, -1, 2, -2, -3 (with the planes
                         // as it leaves them), 27 or 3 for the console's job;
                         // 1 when *cancel or admit stopped a worker's job
                         // (after a conversion began, the planes are filled
                         // from the bottom row up to where it stopped)
    uint32_t openerror;  // g_os.lasterror() of an open that was refused
    int bpp;             // the decoded record's bits per pixel (0 before it)
    int recwidth, recheight;  // the decoded record's size (0 before it)
    uint8_t fresh;       // 0xFF when the job allocated new planes
    // Set before admit is called: 0xFF when the decode will write its rows
    // straight into the planes (a worker's job on an image that is not
    // interlaced), so that it holds rowdecodebytes beside them, not
    // decodebytes.  Only when the planes cannot be allocated does such a
    // decode fall back to the whole record.
    uint8_t rowsdirect;
    int palcount;        // palette entries set in pal, for bpp <= 8
    uint8_t pal[4][256]; // red, green, blue, alpha (255) of those entries
};

// Runs the job; returns job->result.
int pngloadjob(pngjob* job);

// pngjobreport: on the console's thread, what the loader prints and sets
// for a finished job: for -1 the read stream's open-failure line (nothing
// when the job had no path); once the signature passed, the decoder
// settings pngalphamode and pngtrnsalpha from the job; once decoded,
// "(%ld,%ld) %d-bit " with the record's size and bits per pixel, then
// "Memory Allocation FAILED.\n" (-3), or the palette tables palr, palg,
// palb, pala from the job, the exit handler's registration when the job
// allocated planes, and "\n" when it loaded (0).  Returns job->result.
int pngjobreport(const pngjob* job);

// imgfree4: frees the planes of mainplanes that are not null, sets them to
// null and clears its reallocated flag.  imgfree4reg registers imgfree4 with
// atexit the first time it is called and does nothing afterwards.
void imgfree4(void);
void imgfree4reg(void);

// ---- The palette builder ------------------------------------------------------------

// Up to 256 colours, each three component bytes in the order the caller gives
// them (the encoder gives red, green, blue); byte 3 of an entry is unused.
// The entries past palnum hold (i, i, i) after palclear.  In gray mode
// (palgray 0xFF, set by palsetgray) an entry's index is its gray value.
//
// Change the table only through the functions below: paladd and palfind
// find entries through an index that those functions keep in step with it
// (a colour found there is checked against the table; one not found is
// looked for by a scan of the table).  They return exactly what a scan
// from entry 0 would, and new colours are appended in the order they first
// appear.
extern uint8_t paltable[256][4];
extern int palnum;      // entries in use, 0 to 256
extern uint8_t palgray; // 0xFF in gray mode, else 0

int palclear(void);    // palnum 0, gray mode off, entry i = (i, i, i); 0
int palsetgray(void);  // palnum 256, gray mode on, entry i = (i, i, i); 0
// The index of the entry equal to (c0, c1, c2) among the first palnum, else
// the colour is appended and its new index returned; -1 when no entry
// matches and 256 are in use.  Gray mode is ignored.
int paladd(uint8_t c0, uint8_t c1, uint8_t c2);
// Normal mode: the first entry equal to (c0, c1, c2), -1 when none.  Gray
// mode: c0 when the three are equal, else -1.
int palfind(uint8_t c0, uint8_t c1, uint8_t c2);
int palcount(void);    // palnum
int palisgray(void);   // -1 when every used entry is gray (also when none is), else 0
// Black to entry 0 and white to the last used entry, each by one swap with
// the entry that held the place; with no entry in use nothing moves.  Look
// indices up after it, since they follow the swaps.  Returns -1.
int palnormbw(void);

// ---- The PNG encoder ------------------------------------------------------------------

// pngsaveplanes: planes (row 0 at the top, index y * width + x) into a PNG
// file.  trns 0 writes no alpha, 1 writes alpha (32-bit RGBA), a negative
// value decides from the alpha plane: no alpha when every byte is 255, or
// when every byte is 0 (kept as the long-standing rule, though it saves an
// all-transparent image opaque).  Without alpha an image of at most 256
// colours becomes a palette image of 1, 4 or 8 bits (a 256-gray ramp,
// indices equal to the gray values, when all colours are gray and there are
// 129 or more), any other image 24-bit RGB.  A is read only when trns is
// not 0.  Prints "Checking PNG type ... " and the decision on one line,
// then "done.\n" on success.  Results:
//   0   written
//  -2   "Cannot allocate imgbuf memory. \n": the record cannot be allocated,
//       or width or height is below 1, or width * height + 16 passes
//       INT32_MAX (the planes could not exist); nothing is created
//  -3   the encoder failed (the file, as far as it was written, stays: a
//       failed save over an existing file loses it)
//  27   ESC pressed while the record was filled; nothing is created.
//       Other keys, Ctrl-C among them, are taken from the latch and
//       ignored: only ESC stops an encode.
int pngsaveplanes(const char* path, int width, int height, const uint8_t* R, const uint8_t* G,
                  const uint8_t* B, const uint8_t* A, int8_t trns);

// pngencode: one record (bpp 1, 4, 8 with its palette, 24, 32) into a PNG
// through WR, with pHYs 2835 x 2835 per metre (72 dpi), compression level 6,
// no interlace.  Returns 1 written, 0 failed; the record's buffers are
// released either way.  Failures go to the silent sink pngmsg: "Cannot
// create: %s\n", "Out of memory: %s\n", "ERROR(libpng): %s - %s\n" (also
// "Write Error" when WR's final write-out at the close failed).
int pngencode(const char* path, imgrec* rec);

// ---- The BMP writer -------------------------------------------------------------------

// bmpwrite32: four planes into one 32-bit BMP (BITMAPV4 header, bit-field
// masks red 0xFF, green 0xFF00, blue 0xFF0000, alpha 0xFF000000), rows
// bottom-up, each pixel one byte of p1, p2, p3, p4 in that order.  The file
// is opened through g_os.fopen ("wb").  Prints to standard output; results:
//   0   "Saved.\n"
//  -1   "Image size not writable as BMP: %s\n" (width or height below 1,
//       or a file past 4 GB - 1 bytes): nothing is created;
//       "Cannot open writing file: %s\n": the file cannot be created
//   1, 2, 3   "Error outputting file (n): %s\n": the file header, the
//       bitmap header or the repeated masks were not written whole
//   4   "Error outputting file (4): %s\n": a pixel row was not written
//   5   "Error outputting file (5): %s\n": the final write-out at the
//       close failed
// A failure after the file was created leaves it as far as it was written.
int bmpwrite32(const char* path, int width, int height, const uint8_t* p1, const uint8_t* p2,
               const uint8_t* p3, const uint8_t* p4);

// ---- Tests --------------------------------------------------------------------------

// Puts the meter, the decoder settings, the facts and the palette tables back
// in their start state.  For test fixtures.
void image_reset(void);

#endif
