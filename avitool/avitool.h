// avitool.h - the AVI toolkit: scanning and editing existing movies in place.
//
// Every operation begins with aviscan, which reads the movie twice through
// the RD stream and leaves what it found in two process-wide places:
//   aviscaninfo  the file position of every header field an edit patches,
//                the header values, the first JUNK chunk, the audio sums and
//                the layout facts the edits check before they write;
//   idxtable     one u32 chunk offset per video frame, in the convention of
//                the file's own idx1 (absolute, or counted from 'movi').
// The edits (aviremovewav, aviappendwav, and the frame and rate edits built
// on the same protocol) write the edited movie into "~qeltmp.avi" beside it
// and put it in the movie's place with one atomic replace: a failure at any
// point leaves the movie as it was and removes the temporary file.
//
// Division: index table; scan record; scanner; edits.
//
// One thread: the scan record, the table and the streams are process-wide
// singletons, and only one toolkit call runs at a time.

#ifndef REELKILN_AVITOOL_H
#define REELKILN_AVITOOL_H

#include <cstdint>

struct rdsource;  // stream/stream.h: a read source

// ---- Index table ----------------------------------------------------------------

// One entry per video frame, in frame order: the offset of the frame's chunk
// fourcc in the convention of the scanned file's idx1.  Both start empty (no
// array, capacity 0).  The scanner sizes the table by the main header's
// frame count, capped at what the file can hold (every frame chunk takes at
// least its 8-byte header), so a hostile header cannot make it allocate
// gigabytes; the frame-append edit grows it.
extern uint32_t* idxtable;
extern int32_t idxtablecap;

// Gives the table n entries: allocates, keeps, or resizes (entries added by a
// resize are 0; a new array is not cleared).  Registers idxtablefree at exit
// first.  n = 0 frees and empties the table (capacity 0).  0, or -1 with a
// line ("Memory new allocation for AVI index table FAILED.\n" or "Memory
// reallocation for AVI index table FAILED.\n") and the table unchanged, also
// for n < 0 or a byte count that does not fit a size_t.
int idxtablealloc(int32_t n);
int32_t idxtablesize(void);   // idxtablecap
int idxtableatexit(void);     // registers idxtablefree once; 0
void idxtablefree(void);      // releases the array; capacity 0

// ---- Scan record --------------------------------------------------------------------

// The main header's fields as stored, and the derived frame rate.
struct aviavih {
    int32_t aviusperframe;        // dwMicroSecPerFrame [250000]
    uint32_t maxbytespersec;      // dwMaxBytesPerSec
    uint32_t paddinggranularity;  // dwPaddingGranularity
    uint32_t flags;               // dwFlags [0x810]
    uint32_t avitotalframes;      // dwTotalFrames
    uint32_t initialframes;       // dwInitialFrames
    uint32_t streams;             // dwStreams [1]
    uint32_t suggestedbufsize;    // dwSuggestedBufferSize
    uint32_t aviwidth;            // dwWidth
    uint32_t aviheight;           // dwHeight
    uint32_t reserved[4];
    bool operator==(const aviavih&) const = default;
};

// A stream header (strh) after its type: the video and the audio stream each
// keep their own copy.
struct avistrh {
    uint8_t handler[4];   // fccHandler
    uint32_t flags;       // dwFlags
    uint32_t prilang;     // wPriority and wLanguage read as one u32
    uint32_t initialframes;
    uint32_t scale;       // dwScale [vids 1000, auds 4]
    uint32_t rate;        // dwRate [vids 4000, auds 44100]
    uint32_t start;
    uint32_t length;      // dwLength: the video's is totalmaxframes
    uint32_t bufsize;     // dwSuggestedBufferSize: avividsbufsize, aviaudsbufsize
    int32_t quality;      // dwQuality [vids -1, auds 10000]
    uint32_t samplesize;  // dwSampleSize [auds 4]
    int16_t frame[4];     // rcFrame
    bool operator==(const avistrh&) const = default;
};

// The video stream format, read as a BITMAPINFOHEADER; a format whose
// header size field says 12 is read as the 12-byte header (16-bit width,
// height, planes and bit count, never past the format chunk's end; the other
// fields 0), and the walk goes on at the chunk's end.
struct avibitmapinfo {
    uint32_t biSize;       // [40]
    int32_t biWidth;
    int32_t biHeight;      // negative: rows stored top-down
    int16_t biPlanes;      // [1]
    int16_t biBitCount;    // [24]
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
    bool operator==(const avibitmapinfo&) const = default;
};

// The audio stream format, read as a WAVEFORMATEX.
struct aviwaveformat {
    uint16_t wFormatTag;       // [1]
    uint16_t nChannels;        // [2]
    int64_t nSamplesPerSec;    // [44100]
    int64_t nAvgBytesPerSec;   // [176400]
    uint16_t nBlockAlign;      // [4]
    uint16_t wBitsPerSample;   // [16]
    uint16_t cbSize;
    bool operator==(const aviwaveformat&) const = default;
};

// Everything one scan leaves behind.  Three groups:
//   - patch positions and layout facts: set to 0 at the start of every scan,
//     0 meaning "not met";
//   - sizes and sums: set to 0 at the start of every scan (the four audio
//     sums again before the second pass, so they hold its counts);
//   - header values: kept from scan to scan, each holding what the last scan
//     that met its chunk stored (or its initial value).  A reader must not act
//     on one unless the matching position says the chunk was met in this scan
//     (aviptrusperframe for avih, aviptrvidsrate for the video strh,
//     aviptrvidsstrf for avibmih, aviptraudsscale and aviptraudsstrf for audio).
struct aviscanrecord {
    // Patch positions: the file offset of the named field's first byte, or of
    // the named chunk's fourcc.
    int64_t aviptrriffleng;     // the RIFF size field
    int64_t aviptrusperframe;   // avih dwMicroSecPerFrame
    int64_t aviptrmaxbytes;     // avih dwMaxBytesPerSec
    int64_t aviptrtotalframes;  // avih dwTotalFrames
    int64_t aviptrstreams;      // avih dwStreams
    int64_t aviptrvidsrate;     // video strh dwRate (dwScale is the 4 bytes before)
    int64_t aviptrvidslength;   // video strh dwLength
    int64_t aviptrvidsbufsize;  // video strh dwSuggestedBufferSize
    int64_t aviptrvidsstrf;     // first byte of the video strf data
    int64_t aviptraudshandler;  // audio strh fccHandler
    int64_t aviptraudsscale;    // audio strh dwScale
    int64_t aviptraudsstrf;     // first byte of the audio strf data
    int64_t aviptrjunk;         // the first top-level JUNK or JUNQ chunk
    int64_t aviptridx1;         // the 'idx1' chunk
    int64_t aviptridx1end;      // the end of the idx1 data
    int64_t aviptrmovi;         // the movi list's 'LIST' (its 'movi' fourcc - 8)
    int64_t aviptrmoviend;      // the end of the movi list
    int64_t aviptrfirstwav;     // the first audio ('##wb') chunk
    int64_t aviptrthem;         // the 8-byte 'them' trailer
    int64_t avizeroframeptr;    // the first video chunk in movi
    int64_t avizeroframeidx;    // the first video entry's offset as idx1 stores it

    // Layout facts the edits check before they write (0 when not met).
    int64_t aviptrhdrl;         // the hdrl list's 'LIST'
    int64_t aviptraudsstrl;     // the 'LIST' of the strl that holds the audio strh
    int64_t aviptrvidsstrlend;  // the end of the strl that holds the video strh
    uint32_t aviriffsize;       // the first RIFF chunk's size field
    uint32_t avihdrlsize;       // the hdrl list's size field
    uint32_t aviavihsize;       // the avih chunk's size field
    uint32_t avividsstrhsize;   // the video strh chunk's size field
    int32_t avistrlcount;       // strl lists in hdrl
    int32_t avividsstrhcount;   // video strh met
    int32_t aviaudsstrhcount;   // audio strh met
    int32_t avividsstrl;        // the strl (from 1) that holds the first video strh
    int32_t aviaudsstrl;        // the strl (from 1) that holds the first audio strh
    int32_t avimovicount;       // movi lists met
    uint8_t aviodml;            // 0xFF: OpenDML met ('odml', 'indx', 'ix##', a second RIFF)
    uint8_t avimovibad;         // 0xFF: a movi chunk the walk could not take, or a
                                //   chunk running past its list
    uint8_t avihdrlbad;         // 0xFF: an item of hdrl or of one of its lists running past
                                //   the list's end
    uint8_t avividschunkid[4];  // the fourcc of the first video chunk ("00db", "01dc", ...)
    // The chunk a player shows for the target frame (set with a 0 result):
    // the target's own, or, when the target's chunk is empty (size 0: a
    // dropped frame, which players show as the frame before it repeated),
    // the nearest earlier video chunk that is not empty.  Found where the
    // target was found (idx1, else the movi walk).  0, 0, 0 when the target
    // was not found or every chunk up to it is empty.
    int64_t aviptrshown;        // its absolute file position
    int64_t avishownsize;       // its size field
    int64_t avishownframe;      // its frame number (from 0)

    // Sizes and sums.
    int64_t avijunksize;        // size field of the first top-level JUNK/JUNQ
    int64_t avifirstwavsize;    // size field of the first audio chunk
    int64_t aviwavcount;        // audio chunks in movi plus audio entries in idx1
    int64_t aviwavstrlbytes;    // bytes of the audio strl list, its header included
    int64_t aviwavmovibytes;    // bytes of the '##wb' chunks in movi, headers included
    int64_t aviwavidx1bytes;    // 16 per '##wb' entry of idx1
    int64_t aviwavmaxchunk;     // the largest '##wb' chunk size met in movi

    // Header values (kept between scans).
    aviavih avih;
    float avifps;               // 1e6 / dwMicroSecPerFrame [4.0]
    avistrh vids;               // vids.length is totalmaxframes, vids.bufsize avividsbufsize
    avistrh auds;               // auds.bufsize is aviaudsbufsize
    avibitmapinfo avibmih;
    aviwaveformat aviwfx;
    uint8_t avistreamkind;      // the current strl's strh: 0 none, 1 video, 2 audio
    bool operator==(const aviscanrecord&) const = default;
};
extern aviscanrecord aviscaninfo;

// The offset convention of the scanned idx1: absolute file positions when
// the first video entry's offset is the first video chunk's position; with
// no video chunk or no video entry met (positions 0, a movie of no frame),
// offsets from the 'movi' fourcc, the toolkit's own form.
inline bool aviindexabsolute(const aviscanrecord& S) {
    return S.avizeroframeptr != 0 && S.avizeroframeidx == S.avizeroframeptr;
}

// Puts aviscaninfo back in its start state (every header value at its
// initial value).  For test fixtures.
void aviscanreset(void);

// ---- Scanner ------------------------------------------------------------------------

// aviscan: scans the AVI file name (8-bit path) for the target frame (from
// 0; negative means the last frame), printing its trace on standard output.
// Two passes: the index pass walks the headers, looks at the first video
// chunk only and reads idx1; the detail pass walks every movi chunk and
// checks idx1 against what it found.  Both stop at the end of the first RIFF
// chunk (the 'AVIX' segments of an OpenDML file are not walked; aviodml says
// that they may be there).
//
// Results: 0 scanned (also for truncated files and files without hdrl, movi
// or idx1); -1 the file cannot be opened (RD's own message); 2 no "RIFF" at
// offset 0 or 128; 3 the form type does not begin "AVI"; 5 a read of the
// file failed (a failing disk, a dropped share: not the end of the data),
// after "Read failed (RD) while scanning AVI: %s\n" with the name, since a
// pass cut at an arbitrary byte would describe another movie.  The outputs
// are written only for 0:
//   total      the video strh dwLength
//   width, height  from avih
//   sizeflag   15 when the target chunk's size equals a 24-bit frame of width
//              x height (rows padded to 4 bytes), 0 when that frame is larger
//              than the chunk, 1 when it is smaller
//   hasaudio   0xFF with an audio strh, a '##wb' chunk or a '##wb' entry
//   audiobuf   the audio strh dwSuggestedBufferSize, sign-extended
//   junkpos, junksize  the first top-level JUNK/JUNQ (0, 0 without)
//   chunksize  the target chunk's size field (0 when not found; a target past
//              the last frame gets the first video entry's size)
//   chunkoff   the target chunk's absolute file position (0 when not found)
//   fps        aviscaninfo.avifps
// RD is closed when it returns.
enum { AVISCAN_READFAIL = 5 };
int aviscan(const char* name, int32_t frame, uint32_t* total, uint32_t* width, uint32_t* height,
            uint8_t* sizeflag, uint8_t* hasaudio, int64_t* audiobuf, int64_t* junkpos,
            int64_t* junksize, int64_t* chunksize, int64_t* chunkoff, float* fps);

// aviscansrc: aviscan of the bytes of a read source (stream.h's rdsource, a
// file that exists only as a plan, say) in place of a named file: the same
// passes, trace, results and outputs, each pass reading the source through
// RD in source mode (rfopensrc), so that nothing but RD and the scan's own
// records is touched.  -1 for a source RD refuses.
int aviscansrc(const rdsource* src, int32_t frame, uint32_t* total, uint32_t* width, uint32_t* height,
               uint8_t* sizeflag, uint8_t* hasaudio, int64_t* audiobuf, int64_t* junkpos,
               int64_t* junksize, int64_t* chunksize, int64_t* chunkoff, float* fps);

// ---- Edits --------------------------------------------------------------------------

// The results the edits give beside 0 and the scanners' own, by family.  The
// audio edits, the rate change and the frame edits share the first three;
// the frame edits add theirs.
enum editresult : int {
    EDIT_OK = 0,
    EDIT_NOFILE = -1,       // a file missing or not opened, no memory, a path too long, the replace refused
    EDIT_REFUSED = 3,       // a position missing, a layout refused, unexpected bytes, the output lost
    EDIT_LATECOPY = 4,      // the sound edits: a write error found after movi, or the sound's copy failed
    EDIT_BADWAV = 4,        // aviappendwav: a sound no stream header can declare
    EDIT_READFAIL = 5,      // a read of the movie or the sound failed (not its end): nothing changed;
                            // the scanners give 5 for the same before the edit begins
    FRAME_CANNOT = 1,       // the frame edits: frames that cannot take the image
    FRAME_OTHERSIZE = 2,    // the image's size is not the movie's
    FRAME_NOTVIDEO = 21,    // the chunk is not one of the video stream's
    FRAME_NOROOM = 23,      // the chunk's size is not the scanned one, or below the frame
};


// aviremovewav: takes the sound out of the movie (8-bit path): its stream
// list from hdrl (a JUNK after hdrl grows by as much, so movi keeps its
// place), its '##wb' chunks from movi and their idx1 entries; the main
// header then declares one stream, the video's frame count and
// dwMaxBytesPerSec = frame bytes x fps + 2.
//
// Results: 0 removed, and also when the movie has no sound ("WAV not exist
// in AVI.\n", nothing touched); -1 the movie missing ("Cannot find
// AVI.(%s)\n"), a temporary path that does not fit, a stream that cannot be
// opened, or the replace refused (a read-only movie); the scanner's -1, 2, 3
// ("ErrScanningAVI (%d)\n"); 3 a header position missing, a layout it cannot
// take (OpenDML, several movi lists, an absolute index, short headers, a
// frame duration of 0, other stream layouts than video then audio, a movi
// chunk the walk cannot take), the movie named as the temporary file, or a
// failed write; 4 a write error found after movi.  Every result but 0 leaves
// the movie byte-identical and no temporary file.
int aviremovewav(const char* avi);

// aviappendwav: adds the sample data of the WAV file as the movie's sound:
// one '01wb' chunk at the end of movi, the 116-byte audio stream list after
// the video's (a JUNK of 116 bytes or more gives them up), its idx1 entry,
// dwStreams 2, dwMaxBytesPerSec = frame bytes x fps + the sound's byte rate
// + 2, and a frame count of ceil(sound seconds x fps) when the sound is
// longer than the video.  With replace 0 a movie that has sound is left as
// it is (result 0, "WAV already exists in AVI.\n"); with any other value its
// sound is replaced in one edit: the removal (aviremovewav's checks and
// lines) is planned, not written, and the addition to the movie so planned
// writes the one temporary file and makes the one replace, so any failure or
// a kill leaves the old movie or the new one.  The bytes and lines are those
// of aviremovewav followed by the addition.
//
// Results: 0 added (or nothing to do); -1 the WAV or the movie missing, a
// stream that cannot be opened, the replace refused; the WAV scanner's
// nonzero result ("ErrScanningWAV (%d)\n"); 4 a sound a stream header cannot
// declare (no channels, under 8 bits, a byte rate past 32 bits); the AVI
// scanner's nonzero result; aviremovewav's ("ErrRemovingWAVfromAVI (%d)\n");
// -7 a movie that would pass 4 GB ("File size will be over 4 GB.  Cannot
// create file. \n"); 3 and 4 as for aviremovewav (a WAV named as the
// temporary file gives 3).
int aviappendwav(const char* avi, const char* wav, uint8_t replace);

// ---- Repeated-frame movies ------------------------------------------------------

// avicreate: writes a new AVI 1.0 movie at path of n copies of one image
// (planes R, G, B, A of width x height, image.h's imgplanes layout), without
// sound, at fps frames per second: 24-bit frames ('00db', A not read), or
// 32-bit frames with alpha ('00dc') when bit32 is nonzero.  The movie is the
// one the program writes for a list of that image n times without a sound,
// byte for byte.  Results: 0; -1 a rate that is not finite and above 0 (or
// too small for the header), a size of 0 or less, a missing plane or n < 0
// (a line, nothing created), the chunk table not allocated ("Memory
// Allocation for chunk table FAILED.\n"), the file not created, or a write
// failed ("*** Disk Full *** \n"); -7 the movie would pass 4 GB ("File size
// will be over 4 GB.  Cannot create file. \n", nothing created); 1, 2, 3 a
// fourcc byte not written ('R', 'I' 'F' 'F', a later one).  A failed call
// removes the file it created (a file that was there before is emptied by
// the create and left).
int avicreate(const char* path, int width, int height, const uint8_t* R, const uint8_t* G,
              const uint8_t* B, const uint8_t* A, int n, float fps, uint8_t bit32);

// ---- Frame rate ------------------------------------------------------------------

// avisetfps: gives the movie at path the frame rate fps in place: the main
// header's dwMicroSecPerFrame and dwMaxBytesPerSec (the video figure
// (float)fs x fps + 2, fs frame 0's chunk size, plus the audio bytes per
// second when the movie has audio) and the video stream header's dwScale and
// dwRate (the 1000/1001 rule) and dwSuggestedBufferSize (the video figure).
// Every other byte stays, the length too; an OpenDML movie is copied whole.
// Results: 0 changed, or nothing to do (the rate within 0.01 % of the
// movie's: the file is not touched); -1 the movie is missing ("AVI file not
// found: %s \n"), cannot be opened, or cannot be replaced; the scan's
// nonzero result ("ErrScanningAVI (%d)\n"); 1 frame 0's chunk is smaller than
// a 24-bit frame ("Cannot treat compressed AVI (fwrite:%d).\n"); 3 a rate
// that is not finite and above 0, a rate field missing or in a header chunk
// shorter than its layout, the movie being the temporary file, or the
// output lost.  Any failure leaves the movie as it was.
int avisetfps(const char* path, float fps);

// ---- Frame edits -------------------------------------------------------------------

// avireplaceframe: writes the image (planes of width x height) over frame
// (from 0; negative: the last) of the movie at path, in place: the chunk
// keeps its fourcc, size and place, the frame is written in the movie's own
// format (24 or 32 bits, its row order), the rest of the chunk zero, and the
// file keeps its length.  The rate fields take fps when it differs from the
// movie's by more than 0.05 %.  total (raised to frame + 1) is the frame
// count a missing movie is created with (at least 1); a frame past the end
// is appended (aviappendframe).  Results: 0; avicreate's and
// aviappendframe's; the scan's ("ErrScanningAVI (%d)\n"); 1 the movie is not
// uncompressed 24- or 32-bit frames of its main header's size, or frame's
// chunk is smaller than a 24-bit frame, or the planes are not there
// ("Cannot replace frame image (fwrite:%d) in AVI.\n"); 2 the image's size is
// not the movie's; 3 a rate that is not finite and above 0, a frame past the
// first RIFF segment of an OpenDML movie (which the scan does not walk), a
// position missing, the movie being the temporary file, or the output lost;
// 21 the chunk is not one of the video stream's; 23 its size is not the
// scanned one or smaller than the frame; -1 the movie exists but cannot be
// read, a stream cannot be opened, or the replace is refused.
int avireplaceframe(const char* path, int frame, int total, int width, int height, const uint8_t* R,
                    const uint8_t* G, const uint8_t* B, const uint8_t* A, float fps, uint8_t bit32);

// aviappendframe: lengthens the movie at path to total frames (raised to
// frame + 1) by copies of the image after movi's content, with their index
// entries, in the movie's own format and chunk id; the main header's and the
// video stream's frame counts grow with them, and the rate fields take fps as
// above.  A missing movie is created (total copies, at least 1); a request
// that adds no frame replaces frame (avireplaceframe).  Results: 0;
// avicreate's and avireplaceframe's; the scan's; 2 the image's size is not
// the movie's ("Different image size (outputting %ldx%ld != AVI %ldx%ld).\n");
// 1 the movie's format cannot take it; 3 OpenDML, several movi lists, an
// absolute index, an index cut off by the end of the file, a position
// missing, 'idx1' not where the scan saw it, a rate that cannot be used, or
// the output lost; -7 the movie would pass
// 4 GB; -1 no memory for the index table, a stream cannot be opened, or the
// replace is refused.
int aviappendframe(const char* path, int frame, int total, int width, int height, const uint8_t* R,
                   const uint8_t* G, const uint8_t* B, const uint8_t* A, float fps, uint8_t bit32);

// ---- Assignments ------------------------------------------------------------------

// The assignment text: a movie's path and ';'-separated fields, such as
// 'D:\clips\walk.avi;L12;FP29.97': "L" a frame counted from 1, "FR" a frame
// counted from 0, "FP" a frame rate (0 means 4.0), letters in any case, the
// number read from the end of the field; defaults frame 0 and 4.0 fps.  A
// text of 304 bytes or more, or a field of 272 or more, is refused whole
// (result 1), never cut.  The path's extension must begin with ".AVI"
// ("Not AVI extension: %s.\n", result 1).  Prints "Assigned file: %s", ",
// Frame %ld", ", %g fps", ".\n"; "Unrecognized assignment: %s.\n" for a field
// of no kind.
//
// aviassignframe writes the image as the named frame: aviappendframe(path,
// frame, 0, ...) with the named rate, so the movie is created, lengthened or
// the frame replaced as needed.  aviassignfps sets the named rate with
// avisetfps (a frame field is parsed and printed only).  Results: 1 refused,
// else the callee's.
int aviassignframe(const char* text, int width, int height, const uint8_t* R, const uint8_t* G,
                   const uint8_t* B, const uint8_t* A, uint8_t bit32);
int aviassignfps(const char* text);

// ---- Frame reader and information --------------------------------------------------

// Nonzero: a frame number past the end makes avireadframe fail with -2;
// zero: it reads the last frame instead.  Starts at 0xFF.
extern uint8_t avistrictframe;
// The palette of the last frame read (red, green, blue, alpha); entries a
// read does not fill keep what they held.
extern uint8_t avipalette[256][4];
// The file position of the chunk of the frame the reader read last.
extern int64_t targetBMPaddr;

// avisetstrict: avistrictframe = the flag's low byte; returns the flag.
uint32_t avisetstrict(uint32_t flag);

// avireadframe: reads frame (from 0; negative: the last) of the movie at
// path and decodes its chunk as a bitmap of the video stream's format (12-,
// 40-, 108- or 124-byte headers; 1, 2, 4, 8 bits with a palette, plain, RLE8
// or RLE4; 16 bits 5-5-5 or 5-6-5; 24 bits; 32 bits plain or by bit fields;
// rows bottom-up or top-down) into the four planes *R, *G, *B, *A (image.h's
// imgplanes: the caller owns them; the old ones are freed and new ones of
// width x height + 16 bytes allocated, *reallocated 0xFF when all four were).
// width, height (the main header's), frames and fps are set as soon as the
// scan succeeds.  hasalpha, set on 0 and 27: 1 for 32-bit frames except a
// 40-byte header without bit fields, else 0.  The key poll runs once per row.
// A frame whose chunk is empty (size 0: a dropped frame) is the frame before
// it repeated, as players show it: the nearest earlier frame whose chunk is
// not empty is read instead ("(frame %ld is empty: frame %ld repeated) ",
// targetBMPaddr then that frame's chunk).  A 12-byte header has no palette
// alpha and 3-byte palette entries.
//
// Results: 0 "done.\n"; 27 ESC (the rows so far are in the planes); the
// scan's -1, 2, 3 ("ErrScanningAVI (%d)\n"); -2 past the end with
// avistrictframe set, or the file ending inside the rows (for rows of a fixed
// size, known before the planes are touched); -1 RD cannot open;
// 5, 11, 14 the file ends at or in the format's header; 13 planes not 1; 10
// compression outside 0 to 3; 6 an unknown header size ("Cannot treat
// %04X-type BMP.\n"), no format chunk, a width or height without a picture,
// or a format whose size is not the main header's; 15 a bit count without a
// decoding; -3 the planes cannot be had, or would pass 2^31 - 1 bytes each
// ("Memory Allocation FAILED.\n", all four null); 3 the chunk is not a
// frame's, or the scan did not find it ("Cannot extract compressed image
// (AVI): %s.\n"); 4 the frame's chunk and every earlier one are empty, so
// there is no picture to give ("Frame %ld is empty and no earlier frame has
// a picture (AVI): %s.\n", before anything is opened or the planes are
// touched), or the chunk to decode says it is empty where the index called
// it larger ("Empty frame chunk (AVI): %s.\n"); 5 (AVISCAN_READFAIL) also
// when a read failed rather than met the end of the file, in the scan or
// after it ("Read failed (RD) while reading AVI frame: %s\n"; the planes
// then hold what they held or part of the frame).  RD is closed on every
// return.
int avireadframe(int* width, int* height, uint8_t* hasalpha, int* frames, float* fps, uint8_t** R,
                 uint8_t** G, uint8_t** B, uint8_t** A, uint8_t* reallocated, const char* path,
                 int frame);

// aviinfo: scans the movie and fills the bitmap description of image.h's
// curimg from the main header and the video format: kind 3, frames, frame
// 0's chunk offset and end, the format's fields, the 5-5-5 flag (16 bits
// without bit fields), palette colours, pixels per 32-bit word, row stride
// and padding.  Prints "(%ld,%ld)(%g fps) ", "(compression type %04X) " and
// "%d-bit (%ld,%ld) ".  A 12-byte header is described as it stands: its
// 16-bit width, height, planes and bit count, and 0 for the fields it does
// not have.  Results: 0; the scan's nonzero result; 6 no format chunk
// (nothing described); 13 planes not 1; 10 compression outside 0 to 3; 15 a
// bit count without a decoding; 4 frame 0's chunk is empty, so no frame
// before it can stand for it ("Frame 0 is empty and no earlier frame has a
// picture (AVI): %s.\n"; the description is filled, its chunk end = its
// chunk offset).
int aviinfo(const char* path);

#endif
