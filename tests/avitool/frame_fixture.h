// frame_fixture.h - small movies built byte by byte around a bitmap format
// and frame chunks, and avireadframe run on them with its outputs kept.
#ifndef REELKILN_TESTS_AVITOOL_FRAME_FIXTURE_H
#define REELKILN_TESTS_AVITOOL_FRAME_FIXTURE_H

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "avitool/avitool.h"
#include "movie/avi1_fixtures.h"

namespace framefix {

using moviefix::chunkbytes;
using moviefix::le16;
using moviefix::le32;

// One movie of frames in a single video stream.
struct dibmovie {
    uint32_t w = 0, h = 0;               // the main header's size
    std::vector<uint8_t> strf;           // the format chunk's data; empty: no strf
    bool hasstrf = true;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> chunks;  // fourcc, data
    bool idx1 = true;
    std::string idxid;                   // the idx1 entries' fourcc ("": the chunk's own)
    int64_t length = -1;                 // the video strh length (-1: the chunk count)
};

inline std::vector<uint8_t> list(const char* type, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> d(type, type + 4);
    d.insert(d.end(), body.begin(), body.end());
    return chunkbytes("LIST", d);
}

inline std::vector<uint8_t> build(const dibmovie& m) {
    uint32_t n = m.length < 0 ? (uint32_t)m.chunks.size() : (uint32_t)m.length;
    std::vector<uint8_t> avih;
    for (uint32_t v : {16666u, 0u, 0u, 0x10u, n, 0u, 1u, 0u, m.w, m.h, 0u, 0u, 0u, 0u}) le32(avih, v);
    std::vector<uint8_t> strh = {'v', 'i', 'd', 's', 0, 0, 0, 0};
    for (uint32_t v : {0u, 0u, 0u, 1000u, 60000u, 0u, n, 0u, 0xFFFFFFFFu, 0u}) le32(strh, v);
    for (uint32_t v : {0u, 0u, m.w, m.h}) le16(strh, v);
    std::vector<uint8_t> strl = chunkbytes("strh", strh);
    if (m.hasstrf) {
        std::vector<uint8_t> f = chunkbytes("strf", m.strf);
        strl.insert(strl.end(), f.begin(), f.end());
    }
    std::vector<uint8_t> hdrl = chunkbytes("avih", avih);
    std::vector<uint8_t> sl = list("strl", strl);
    hdrl.insert(hdrl.end(), sl.begin(), sl.end());

    std::vector<uint8_t> movi, idx;
    for (const auto& [id, data] : m.chunks) {
        uint32_t off = (uint32_t)movi.size() + 4;
        std::vector<uint8_t> c = chunkbytes(id.c_str(), data);
        movi.insert(movi.end(), c.begin(), c.end());
        const std::string& entry = m.idxid.empty() ? id : m.idxid;
        idx.insert(idx.end(), entry.begin(), entry.end());
        le32(idx, 0x10);
        le32(idx, off);
        le32(idx, (uint32_t)data.size());
    }
    std::vector<uint8_t> body = {'A', 'V', 'I', ' '};
    for (const auto& part : {list("hdrl", hdrl), list("movi", movi)}) body.insert(body.end(), part.begin(), part.end());
    if (m.idx1) {
        std::vector<uint8_t> c = chunkbytes("idx1", idx);
        body.insert(body.end(), c.begin(), c.end());
    }
    return chunkbytes("RIFF", body);
}

// A 40-byte BITMAPINFOHEADER.
inline std::vector<uint8_t> bmih(int32_t w, int32_t h, int bits, uint32_t comp = 0, int planes = 1,
                                 uint32_t size = 40) {
    std::vector<uint8_t> b;
    le32(b, size);
    le32(b, (uint32_t)w);
    le32(b, (uint32_t)h);
    le16(b, (uint32_t)planes);
    le16(b, (uint32_t)bits);
    le32(b, comp);
    for (int i = 0; i < 5; i++) le32(b, 0);
    return b;
}

// What one avireadframe call gave.
struct readout {
    int result = -100;
    int width = -1, height = -1, frames = -1;
    float fps = 0;
    uint8_t hasalpha = 0x77, reallocated = 0x77;
    bool planes = false;              // all four set
    std::vector<uint32_t> rgba;       // 0xRRGGBBAA, row 0 at the top (when planes)
    std::string printed;
};

// Runs the reader; start planes are allocated first when given, so the test
// sees them freed.  The planes are read as width x pxrows (the format's size,
// which the reader makes equal to the main header's).
inline readout readframe(const std::string& path, int frame, bool startplanes = true) {
    readout o;
    uint8_t *R = nullptr, *G = nullptr, *B = nullptr, *A = nullptr;
    if (startplanes) {
        R = (uint8_t*)std::malloc(8);
        G = (uint8_t*)std::malloc(8);
        B = (uint8_t*)std::malloc(8);
        A = (uint8_t*)std::malloc(8);
    }
    o.printed = moviefix::capture([&] {
        o.result = avireadframe(&o.width, &o.height, &o.hasalpha, &o.frames, &o.fps, &R, &G, &B, &A,
                                &o.reallocated, path.c_str(), frame);
    });
    o.planes = R && G && B && A;
    if (o.planes && (o.result == 0 || o.result == 27)) {
        size_t n = (size_t)o.width * (size_t)o.height;
        o.rgba.resize(n);
        for (size_t i = 0; i < n; i++)
            o.rgba[i] = (uint32_t)R[i] << 24 | (uint32_t)G[i] << 16 | (uint32_t)B[i] << 8 | A[i];
    }
    std::free(R);
    std::free(G);
    std::free(B);
    std::free(A);
    return o;
}

}  // namespace framefix

#endif
