// wav.cpp - the WAV header scanner: where a RIFF WAVE file's sample data lies
// and what format it declares.
//
// It reads no sample data.  The movie writers copy the data themselves from
// the reported offset, and the driver only decides from the result whether
// the movie gets sound.  The walk is bounded by the RIFF size; nothing about
// the format is checked here (a non-PCM tag, 0 channels or 4-bit samples are
// reported as read; the writers decide what they can use).
//
// Sizes of 2 GB and more: the RIFF size and the data chunk size are read as
// unsigned 32-bit numbers, so a sound of 2 GB or more is reported with its
// true length (its data chunk skipped by a 64-bit skip) instead of a negative
// one.  Other chunk sizes stay signed: a header chunk of 2 GB is garbage, and
// an unknown chunk with such a size ends the walk.

#include <cstdio>

#include "movie/wav.h"
#include "stream/stream.h"

wavfacts wavhdr;

namespace {

// Reads a u32 little-endian through RD (rfgetdw gives the bits as an int).
uint32_t getu32() { return (uint32_t)rfgetdw(); }
uint16_t getu16() { return (uint16_t)rfgetw(); }

// Closes RD and gives r, or WAV_READFAIL after its line when a read of the
// file failed on the way (not its end): a walk cut at an arbitrary byte
// would report a sound the file does not hold.
int closewith(int r, const char* name, uint8_t wide) {
    rfclose();
    if (rferror() == 0) return r;
    printf("Read failed (RD) while scanning WAV: %s\n", wide ? "(16-bit name)" : name);
    return WAV_READFAIL;
}

}  // namespace

// wavscansub: see wav.h.
int wavscansub(const char* name, const char16_t* nameW, int64_t* datlen, int64_t* dataoff,
               int32_t* ch, int32_t* bits, int32_t* rate, uint8_t wide) {
    wavhdr = wavfacts{};
    printf("Scanning headder ... ");

    int r = wide ? rfopenW(nameW) : rfopen(name);
    if (r != 0) return -1;

    // Signature: 'RIFF' at 0, or behind a 128-byte preamble.
    int c = rfgetc();
    if (c != 'R') {
        for (int i = 1; i < 128; i++) rfgetc();
        c = rfgetc();
        if (c != 'R') {
            return closewith(2, name, wide);
        }
    }
    if (rfgetc() != 'I' || rfgetc() != 'F' || rfgetc() != 'F') {
        return closewith(2, name, wide);
    }
    const int64_t riffsize = getu32();
    const int64_t start = rftell64();  // 8, or 136 behind a preamble
    if (rfgetc() != 'W' || rfgetc() != 'A' || rfgetc() != 'V' || rfgetc() != 'E') {
        return closewith(3, name, wide);
    }

    while (rftell64() - start < riffsize) {
        if (rfeof()) {
            printf("Unexpected WAV file end (%lld/%lld).\n", (long long)(rftell64() - start),
                   (long long)riffsize);
            break;
        }
        int id0 = rfgetc();
        if (id0 < 0) {
            printf("WAV file end(3) (%lld/%lld).\n", (long long)(rftell64() - start),
                   (long long)riffsize);
            break;
        }
        if (rfeof()) {
            printf("Unexpected WAV file end(2) (%lld/%lld).\n", (long long)(rftell64() - start),
                   (long long)riffsize);
            break;
        }
        uint8_t id[4] = {(uint8_t)id0, (uint8_t)rfgetc(), (uint8_t)rfgetc(), (uint8_t)rfgetc()};
        auto is = [&](const char* s) {
            return id[0] == (uint8_t)s[0] && id[1] == (uint8_t)s[1] && id[2] == (uint8_t)s[2] &&
                   id[3] == (uint8_t)s[3];
        };

        if (is("JUNK") || is("JUNQ")) {
            int32_t size = rfgetdw();
            printf("(JUNK %ld bytes)", (long)size);
            rfskip64(size);
        } else if (is("LIST") || is("iwep") || is("iwem")) {
            int32_t size = rfgetdw();
            if (is("LIST")) printf("(LIST1 %ld bytes)", (long)size);
            else if (is("iwep")) printf("(iwep %ld bytes)", (long)size);
            else printf("(iwem %ld bytes)", (long)size);
            rfskip64((int64_t)size + (size & 1));
        } else if (id[0] == 'f' && id[1] == 'm' && id[2] == 't') {
            int32_t size = rfgetdw();
            printf("(fmt %ld bytes)", (long)size);
            if (size < 16) {
                printf("Unsupported WAV format (%s).\n", wide ? "" : name);
                return closewith(4, name, wide);
            }
            wavhdr.formattag = getu16();
            wavhdr.channels = getu16();
            wavhdr.samplespersec = getu32();
            wavhdr.avgbytespersec = getu32();
            wavhdr.blockalign = getu16();
            wavhdr.bitspersample = getu16();
            wavhdr.extrasize = 0;
            if (size >= 18) wavhdr.extrasize = getu16();
            if (size > 18) rfskip64((int64_t)size - 18);
        } else if (is("fact")) {
            int32_t size = rfgetdw();
            printf("(fact %ld bytes)", (long)size);
            if (size >= 4) wavhdr.samplecount = getu32();
            if (size > 4) rfskip64((int64_t)size - 4);
        } else if (is("data")) {
            int64_t size = getu32();
            if (rfeof()) {
                // The file ends inside the size field: there is no chunk to
                // record, and the "size" would be made of end-of-file values
                // (a data chunk of nearly 4 GB behind the file's last byte).
                printf("Unexpected WAV file end (%lld/%lld).\n", (long long)(rftell64() - start),
                       (long long)riffsize);
                break;
            }
            wavhdr.dataoffset = rftell64();
            printf("(data %lld bytes)", (long long)size);
            wavhdr.datalength = size;
            if (wavhdr.samplecount == 0 && wavhdr.blockalign != 0)
                wavhdr.samplecount = (uint32_t)(size / wavhdr.blockalign);
            if (size != 0) rfskip64(size);
        } else {
            printf("Unknown main chunk %c%c%c%c (%02X %02X %02X %02X) ", id[0], id[1], id[2], id[3],
                   id[0], id[1], id[2], id[3]);
            printf(" at WAV (%lld/%lld). \n", (long long)(rftell64() - start), (long long)riffsize);
            int32_t size = rfgetdw();
            printf("%ld bytes.\n", (long)size);
            if (size < 0) break;
            rfskip64(size);
        }
    }

    if (!rfeof()) printf("(tailing end of WAV) ");
    if (int e = closewith(0, name, wide)) return e;
    printf("scan finished.\n");
    *datlen = wavhdr.datalength;
    *dataoff = wavhdr.dataoffset;
    *ch = wavhdr.channels;  // 16 bits, unsigned: 0 to 65535
    *bits = wavhdr.bitspersample;
    *rate = (int32_t)wavhdr.samplespersec;
    printf("done.\n");
    return 0;
}

int wavscan(const char* name, int64_t* datlen, int64_t* dataoff, int32_t* ch, int32_t* bits,
            int32_t* rate) {
    static const char16_t empty[1] = {0};
    return wavscansub(name, empty, datlen, dataoff, ch, bits, rate, 0);
}

int wavscanW(const char16_t* name, int64_t* datlen, int64_t* dataoff, int32_t* ch,
             int32_t* bits, int32_t* rate) {
    return wavscansub("", name, datlen, dataoff, ch, bits, rate, 0xFF);
}
