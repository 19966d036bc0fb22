// wav.h - the WAV header scanner: where a RIFF WAVE file's sample data lies
// and what format it declares (wav.cpp).
//
// The facts of the last scan are process-wide (wavhdr), defined once in
// wav.cpp; one thread.

#ifndef REELKILN_MOVIE_WAV_H
#define REELKILN_MOVIE_WAV_H

#include <cstdint>

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

#endif
