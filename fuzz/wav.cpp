// wav.cpp - the WAV header scanner on any bytes, by wide and by 8-bit name:
// both must give the same result, outputs and facts.  A scan that succeeds
// reports a data offset inside the RIFF walk (never before the first chunk),
// and a failed one leaves the outputs as the caller preset them.

#include <cstring>

#include "fuzz/harness.h"
#include "movie/wav.h"

namespace {

struct Scan {
    int result;
    int64_t length, offset;
    int32_t channels, bits;
    int32_t rate;
    wavfacts facts;
};

Scan scan(bool wide) {
    Scan s;
    std::memset(&s, 0, sizeof s);   // padding included, for the memcmp below
    s.length = s.offset = -1;
    s.channels = s.bits = -1;
    s.rate = -1;
    s.result = wide ? wavscanW(fuzz::kInputNameW, &s.length, &s.offset, &s.channels, &s.bits,
                               &s.rate)
                    : wavscan(fuzz::kInputName, &s.length, &s.offset, &s.channels, &s.bits,
                              &s.rate);
    s.facts = wavhdr;
    return s;
}

void show(const char* what, const Scan& s) {
    std::fprintf(stderr,
                 "%s: result %d length %lld offset %lld channels %d bits %d rate %d; facts: tag %u "
                 "channels %u rate %u avg %u align %u bits %u extra %u samples %u length %lld offset "
                 "%lld\n",
                 what, s.result, (long long)s.length, (long long)s.offset, s.channels, s.bits, s.rate,
                 s.facts.formattag, s.facts.channels, s.facts.samplespersec, s.facts.avgbytespersec,
                 s.facts.blockalign, s.facts.bitspersample, s.facts.extrasize, s.facts.samplecount,
                 (long long)s.facts.datalength, (long long)s.facts.dataoffset);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::serve(fuzz::kInputName, data, size);
    Scan w = scan(true);
    Scan n = scan(false);
    FUZZ_CHECK(w.result == 0 || w.result == 2 || w.result == 3 || w.result == 4);
    if (std::memcmp(&w, &n, sizeof w) != 0) {
        show("wide", w);
        show("8-bit", n);
        FUZZ_CHECK(!"the two name modes agree");
    }
    // A broken rule shows the scan before the run ends.
    auto check = [&](bool ok, const char* rule) {
        if (!ok) {
            show("scan", w);
            std::fprintf(stderr, "broken: %s\n", rule);
            FUZZ_CHECK(ok);
        }
    };
    if (w.result != 0) {
        check(w.length == -1 && w.offset == -1 && w.channels == -1 && w.bits == -1 && w.rate == -1,
              "a failed scan leaves the outputs alone");
        return 0;
    }
    // No data chunk gives 0 and 0; a data chunk starts after RIFF, its size,
    // WAVE and its own header: at 20 at the earliest (148 behind a preamble).
    check((w.offset == 0 && w.length == 0) || w.offset >= 20, "data offset");
    check(w.length >= 0, "data length");
    check(w.channels == w.facts.channels && w.bits == w.facts.bitspersample,
          "outputs are the facts");
    return 0;
}
