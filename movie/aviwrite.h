// aviwrite.h - the steps of writing an AVI movie that the AVI 1.0 writer, the
// OpenDML writer and the AVI toolkit share.
//
// The two writers make the same movie in two layouts; the toolkit writes
// movies of its own from the same pieces.  What they share:
//   paths        the writer's paths (the joins to the program directory
//                are the list's, avi.h)
//   pre-pass     the list read once to count and test-open every name
//   first image  the probe that fixes the frame size and pixel format
//   sound        the WAV scan with the rules of what a stream header can
//                declare, and the copy of its data
//   header       the avih / strh / strf / strn values, one field per call,
//                the rate rule and the saturating conversions behind them
//   frames       the frame loop's step (key poll, name, load) and the pixel
//                rows, batched into large block writes; the loads run ahead
//                of the writer on worker threads (ahead.cpp)
//   end          the 'them' trailer, the zero fill, the checked close
//
// Every function prints the movie writers' own console lines; results are
// the writers' codes (avi.h).  Everything here runs on the writer's thread;
// the streams are the process-wide singletons, each opened and closed inside
// one writer call.  The worker threads that decode frames ahead touch none
// of it: they read their own files into their own planes (see framesbegin).

#ifndef REELKILN_MOVIE_AVIWRITE_H
#define REELKILN_MOVIE_AVIWRITE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/image.h"
#include "movie/avi.h"

// ---- Layout sizes ---------------------------------------------------------------

// The bytes each piece of a movie's header takes in the file, its own 8-byte
// header included: what both plans add up and what the put-functions below
// emit (a test holds each function to its constant).  A list's size field
// counts its 4-byte list type and its contents, not its own 8 bytes.
inline constexpr uint32_t CHUNK_HDR = 8;        // fourcc, size
inline constexpr uint32_t LIST_HDR = 12;        // 'LIST', size, list type
inline constexpr uint32_t RIFF_HDR = 12;        // 'RIFF', size, form type
inline constexpr uint32_t AVIH_CHUNK = 8 + 56;  // putavih
inline constexpr uint32_t STRH_CHUNK = 8 + 56;  // putstrhvids, putstrhauds
inline constexpr uint32_t STRF_VIDS_CHUNK = 8 + 40;  // putstrfvids
inline constexpr uint32_t STRF_AUDS_CHUNK = 8 + 18;  // putstrfauds
inline constexpr uint32_t STRN_CHUNK = 8 + 6;   // putstrn
inline constexpr uint32_t IDX1_ENTRY = 16;      // one idx1 entry
inline constexpr uint32_t IDX1_KEYFRAME = 0x10;  // dwFlags of every idx1 entry written: AVIIF_KEYFRAME
inline constexpr uint32_t THEM_TRAILER = 8;     // 'themewnd' after a 24-bit movie

// The AVI 1.0 sound stream list (putstrlauds): 116 bytes, size field 108.
inline constexpr uint32_t STRL_AUDS_LIST = LIST_HDR + STRH_CHUNK + STRF_AUDS_CHUNK + STRN_CHUNK;

// The video stream list of both layouts without the OpenDML super index:
// the size field, 130 for 24-bit movies (with their 'strn'), 116 for 32-bit.
constexpr uint32_t strlvidssize(bool alpha) {
    return 4 + STRH_CHUNK + STRF_VIDS_CHUNK + (alpha ? 0 : STRN_CHUNK);
}

// The AVI 1.0 hdrl list's size field: 206 (24-bit) or 192 (32-bit), and the
// sound stream list on top.
constexpr uint32_t hdrlsize1(bool alpha, bool sound) {
    return 4 + AVIH_CHUNK + CHUNK_HDR + strlvidssize(alpha) + (sound ? STRL_AUDS_LIST : 0);
}

// J of the JUNK (24-bit) or JUNQ (32-bit) filler that both layouts write
// after the AVI 1.0 header, so that the AVI 1.0 movie's first frame chunk
// stands at 2048 or 8824: 1802 / 1686 with sound, 8592 / 8476 with sound.
constexpr uint32_t junksize1(bool alpha, bool sound) {
    return (alpha ? AVI1_FIRST_FRAME_32 : AVI1_FIRST_FRAME_24) -
           (RIFF_HDR + CHUNK_HDR + hdrlsize1(alpha, sound) + CHUNK_HDR + LIST_HDR);
}

// ---- Paths ---------------------------------------------------------------------

// The paths of one writer call.
struct moviepaths {
    const char* avi;
    const char16_t* aviW;
    const char* list;
    const char16_t* listW;
    const char* wav;
    const char16_t* wavW;
    uint8_t wide;  // 0xFF: the wide forms are used, 0: the 8-bit forms
};

// Opens the list with the text reader (tfopenW when wide, else tfopen).
// 0, or -1 when it cannot be opened (a list that reads as empty).
int listopen(const moviepaths& p);

// Test-opens exedir(W) + name quietly on RD and closes it again: 0 / -1.
int testopen(const char* name, uint8_t wide);

// listgetname with its console lines (the over-long line reports) appended
// to *held instead of printed when held is not null: for a reader that takes
// names ahead of the frames they belong to and prints each frame's lines
// when the writer reaches it.
int listgetnamekeep(char* name, std::string* held);

// ---- Pre-pass --------------------------------------------------------------------

struct listfacts {
    uint32_t n;                   // valid names
    char first[LISTNAME_BUF];     // the first valid name ("" when none)
    char16_t firstW[LISTNAME_BUF];
};

// listprepass: reads the whole list once, test-opens every valid name joined
// to the program directory and counts them ("%d:  %s \n" each, then
// "  => %d frames. \n").  Empties badpngname(W) first.  Returns 0, or -6
// with badpngname(W) set to the first name that cannot be opened.  The list
// is closed on return.
int listprepass(const moviepaths& p, listfacts* out);

// ---- First image ---------------------------------------------------------------

// firstimage: test-opens and probes the first listed image (after the pauses
// of 100 ms before each step) and prints its facts.  On success the probe's
// facts are in pngwidth, pngheight, pngdepth, pnghasalpha.
//   odml false (AVI 1.0): a failed open prints "Could not open in ..." and
//     "Sorry. This Folder does not support access in ANSI/UTF-8 mode. \n" and
//     gives 2; a failed probe gives 3.
//   odml true: an empty list or a failed open prints "Could not open in ..."
//     and " PNG files unavailable. \n" and gives 3; a failed probe gives 3.
int firstimage(const moviepaths& p, const listfacts& lf, bool odml);

// ---- Sound ---------------------------------------------------------------------

struct soundfacts {
    bool present;      // the movie gets a sound chunk
    int64_t datlen;    // data bytes to copy (cut to what the file holds)
    int64_t dataoff;   // file position of the first data byte
    int32_t ch;        // channels (0 to 65535; -1 before a scan)
    int32_t bits;      // bits per sample (0 to 65535; -1 before a scan)
    int32_t rate;      // samples per second
    uint32_t ba;       // (bits / 8) * ch: block align of the stream
    uint32_t avgbytes; // ba * rate
    bool readfail;     // the scan met a failed read (WAV_READFAIL): the sound cannot be used
};

// soundscan: presets everything to -1 and absent; when the WAV path of the
// mode in use is not empty, scans it and prints "wav datlen = %d \n" on
// success.  The sound is then left out, with a line saying why, when it has
// no channel, fewer than 8 bits per sample (block align 0), or a byte rate
// that does not fit 32 bits.  A file shorter than its data chunk declares has
// datlen cut to the bytes it holds, with a line saying so.  A scan that met
// a failed read sets readfail (after the scanner's line) and leaves the
// sound out; the writers then end with AVI1_COPY_FAILED.
void soundscan(const moviepaths& p, soundfacts* out);

// What a stream header can declare of a sound: ch channels of bits per
// sample at rate samples per second.  The block align is (bits / 8) per
// channel, so a sound below 8 bits would make it 0 and the stream's length a
// division by zero; the block align is 16 bits and the byte rate 32 bits in
// the headers.  SOUND_OK sets *ba and *avgbytes; any other result leaves them.
enum {
    SOUND_OK = 0,
    SOUND_NO_CHANNELS,    // ch < 1
    SOUND_UNDER_8_BITS,   // bits < 8
    SOUND_FRAME_TOO_LARGE, // (bits / 8) * ch above 0xFFFF
    SOUND_RATE_TOO_LARGE  // rate < 1, or the byte rate above 0xFFFFFFFF
};
int soundrule(int32_t ch, int32_t bits, int32_t rate, uint32_t* ba, uint32_t* avgbytes);

// soundcopy: after the '01wb' chunk header, prints "Opening WAV(A): %s \n"
// (or "(W)", or the prefix the caller gives) and copies datlen bytes from the
// WAV's data offset to WR through RD2.  Returns 0; -4 when the WAV cannot be
// opened ("Cannot open (RD(2)) for appending WAV to AVI (%d).\n"); 4 when the
// output failed ("Copy failed (WR) for appending WAV PCM to AVI1.\n") or the
// WAV gave fewer bytes than planned (after "Read failed (RD(2)) while copying
// WAV: %s\n" when a read failed; rwferror then tells so).  RD2 is closed on
// return.  verb is
// "Opening" (AVI 1.0) or "reading" (OpenDML).
int soundcopy(const moviepaths& p, const soundfacts& s, const char* verb);

// ---- Header values -----------------------------------------------------------

// A double to u32, truncated toward zero, saturating (NaN and v <= 0 give 0).
uint32_t satu32(double v);
// A double to i32, truncated toward zero, saturating (NaN gives 0).
int32_t sati32(double v);

// 1000000 / fps, truncated; saturated to the u32 range (0 for fps <= 0 or
// not a number).
uint32_t usecperframe(float fps);
// (fs + 24) as float times fps in single precision, truncated and clamped to
// what a u32 holds (a plain u32 product would wrap past 4 GB per second).
uint32_t maxbytespersec(uint64_t fs, float fps);
// The 1000/1001 rule of the video stream header: 60 fps gives 1001/60060,
// 0.5 gives 1000/500.
void raterule(float fps, uint32_t* scale, uint32_t* rate);

// Writes the four bytes of a fourcc, each checked: 0, or the writers' code
// for the first byte that failed: 1 for the 'R' and 2 for the 'IFF' of a
// 'RIFF' when riff is true, 3 otherwise.  The output is closed on failure.
int putfourcc(const char* cc, bool riff = false);

// The header chunks that both layouts write in the same form.  Each writes
// its chunk's fourcc (checked as putfourcc, result 0 or 3), size and
// fields; numbers are not checked one by one (callers test wferr later).
struct videohdr {
    uint32_t n, w, h;
    bool alpha;
    uint64_t fs;
    float fps;
    bool sound;
};
// 'avih', 56, the main header.
int putavih(const videohdr& v);
// 'strh', 56, the 'vids' stream header.
int putstrhvids(const videohdr& v);
// 'strf', 40, the BITMAPINFOHEADER.
int putstrfvids(const videohdr& v);
// 'strh', 56, the 'auds' stream header.
int putstrhauds(const soundfacts& s);
// 'strf', 18, the WAVEFORMATEX (always declared PCM).
int putstrfauds(const soundfacts& s);
// The AVI 1.0 sound stream list: 'LIST', 108, 'strl', then putstrhauds,
// putstrfauds and putstrn("AUDIO").
int putstrlauds(const soundfacts& s);
// 'strn', 6, the name ("VIDEO" or "AUDIO") and its 0.
int putstrn(const char* name5);
// 'JUNK' (24-bit) or 'JUNQ' (32-bit), J, J zero bytes: CHUNK_HDR + J.
int putjunk(bool alpha, uint32_t j);

// ---- Frames ----------------------------------------------------------------------

// Threads that load frames, the writer's own included: 0 (the program's
// setting) takes one per processor core (g_os.cpu_count); 1 loads every
// frame on the writer's thread, between the writes, as pngloadkeep does.
// For tests; read by framesbegin.
extern int framethreads;

// The memory that frames loaded ahead may hold: the planes of every frame
// loaded and not yet written (the writer's own included) and the decode
// buffers of the loads in progress.  A load waits, once its file's header
// is read, until its share fits; only the load of the frame the writer takes
// next never waits (without it the writer could not go on, and the
// one-thread writer would hold that memory too), so the cap can be passed
// by that one frame's share.  512 MiB; tests lower it.
extern uint64_t frameaheadcap;
inline constexpr uint64_t FRAME_AHEAD_CAP = 512ull << 20;

// Frames handed to the workers and not yet written: at most this many per
// thread (16 on 8 cores).
inline constexpr uint32_t FRAME_AHEAD_PER_THREAD = 2;

// What the last frame loop's loading ahead came to, for tests and the
// benchmark: set when the loop's state is released.
struct aheadstats {
    uint32_t workers;     // worker threads started (0: the frames were loaded in turn)
    uint32_t slots;       // the count cap: frames handed out and not yet written
    uint32_t peakframes;  // the most frames handed out and not yet written at once
    uint64_t peakbytes;   // the most bytes held and reserved at once (see frameaheadcap)
    uint32_t loaded;      // frames whose load a worker finished
};
extern aheadstats frameaheadstats;

struct aheadpool;

// The frame loop's state: the list being read for the second time, the
// writer's own colour planes and the pixel block buffer, and the workers
// that load frames ahead.  Release with framesdone (also called by the
// destructor).
struct framestate {
    const moviepaths* paths = nullptr;
    uint32_t n = 0;                // frames announced
    uint32_t W = 0, H = 0;         // the first image's size: every frame's size
    bool alpha = false;            // 32-bit frames
    uint64_t stride = 0;           // bytes per stored row
    uint32_t rowpad = 0;           // zero bytes after each 24-bit row
    bool listopen = false;

    imgplanes planes = {};  // the current image's planes (the loader's output)
    char name[LISTNAME_BUF] = {};

    // Rows are gathered here and written with one wfwrite per block.
    uint8_t* buf = nullptr;
    size_t bufcap = 0;
    size_t buffill = 0;

    aheadpool* ahead = nullptr;  // the workers, when frames are loaded ahead

    ~framestate();
};

// framesbegin: opens the list again and prepares the block buffer for frames
// of W x H (alpha: 32-bit).  Returns 0, or -1 when no buffer could be had
// ("Memory Allocation for frame buffer FAILED.\n").
//
// With more than one thread (framethreads) and more than one frame it also
// starts the workers that load frames ahead of the writer.  Nothing the user
// sees changes: framenext still takes the frames in list order and prints,
// when the writer reaches frame i, exactly the lines the one-thread loop
// prints for it (the list rule's reports, the name, the loader's lines and
// results), and the movie's bytes are the same.  Workers that cannot be
// started leave the loop to load in turn, as with one thread.
int framesbegin(framestate* f, const moviepaths& p, uint32_t n, uint32_t W, uint32_t H,
                bool alpha);

// framenext: one frame's step before its chunk is written: the key poll
// (Ctrl-C 3 and ESC 27 stop), the next name ("%d/%d:  %s  ", i from 0), the
// image load into the planes, and the size lines when it differs from the
// first image.  Returns 0, 3, 27, or -6 after "PNG load failed. (%d)\n",
// "Memory released. \n", badpngname(W) set and "Aborted. \n".  A load that
// ESC or Ctrl-C stops gives 27 or 3, not -6; so does a key while the writer
// waits for a frame that is still loaded ahead (the keyboard is looked at
// every few milliseconds meanwhile).
int framenext(framestate* f, uint32_t i);

// framepixels: writes the frame's fs pixel bytes by the pixel rule (rows
// bottom-up, BGR or BGRA, outside the loaded image white, alpha 0) through
// WR.  Returns 0, or -1 when the output failed (wferr tells the same).
int framepixels(framestate* f);

// The frames of a write pass that are not the list's images: fill writes
// frame i's fs pixel bytes through WR, as framepixels does (rows bottom-up,
// B G R or B G R A, 24-bit rows padded with zeros), and returns 0, or -1
// when the output failed.  No list is opened and no key is polled.
struct framesource {
    int (*fill)(void* ctx, uint32_t i);
    void* ctx;
};

// framesdone: stops and waits for the workers, closes the list and frees the
// planes and the buffer.
void framesdone(framestate* f);

// The parts of the frame step that ahead.cpp shares with aviwrite.cpp.
// aheadstart starts the workers for f (a no-op for one thread or one
// frame); aheadload is framenext's load of frame i from them: the name and
// the loader's lines printed, the planes taken, the loader's result (or 3 /
// 27 for a key while waiting); aheadstop stops them and frees what they
// hold.
void aheadstart(framestate* f);
int aheadload(framestate* f, uint32_t i);
void aheadstop(framestate* f);

// ---- End -------------------------------------------------------------------------

// puttail: for 24-bit movies the 8-byte 'them' trailer, each byte checked
// (a failure gives trailerfail: 3 in the OpenDML writer; -1 in the AVI 1.0
// writer, which then prints "*** Disk Full *** \n"), then 1 to 512 zero
// bytes up to the next multiple of 512 of the output's position (a failure
// prints "*** Disk Full *** \n" and gives -1).  Returns 0 or the failure;
// the output is closed on failure.
int puttail(bool alpha, int trailerfail);

// finishoutput: flushes and closes the output and checks that the file on
// disk is expect bytes long (by the path of the mode in use), so that a
// buffer lost in the final flush cannot pass for a finished movie.  Returns
// 0, or -1 after "*** Disk Full *** \n".
int finishoutput(const moviepaths& p, uint64_t expect);

// offplan: the end of a write pass that is not where its plan says, after
// the line that tells where: closes the output and returns -1.  The plan
// fixed every size already written, so such a file would contradict itself.
int offplan();

// The disk-full report of both writers: prints "*** Disk Full *** \n" and
// closes the output.  Returns -1.
int diskfull();

#endif
