// png_encode.cpp - the PNG encoder and the BMP writer on planes made from
// any bytes, each file read back.
//
// The input: a byte for the width (1 to 64), one for the height (1 to 64),
// one for the alpha handling (its value mod 3: trns 0, 1 or -1; bit 7: every
// pixel's colour taken straight from the input, so that most images pass
// 256 colours) and one for the number of colours k (1 to 256); then k
// colours of four bytes (red, green, blue, alpha) and one byte per pixel
// choosing its colour (mod k).  Missing bytes count as 0.
//
// Checks on every input:
//   - pngsaveplanes succeeds, and the file holds the format the colours
//     call for (bit depth and colour type in its IHDR);
//   - the plane loader reads it back as the planes, alpha included where
//     alpha was written and 255 elsewhere;
//   - bmpwrite32 succeeds, and its file is 134 + 4 * w * h bytes with every
//     pixel's four bytes at their place, bottom row first.

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "fuzz/harness.h"
#include "image/image.h"

namespace {

struct Planes {
    int w, h;
    std::vector<uint8_t> R, G, B, A;
};

uint32_t be32(const uint8_t* p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::Input in{data, size};
    Planes m;
    m.w = in.byte() % 64 + 1;
    m.h = in.byte() % 64 + 1;
    uint8_t mode = in.byte();
    int8_t trns = (int8_t)(mode % 3 == 2 ? -1 : mode % 3);
    bool direct = (mode & 0x80) != 0;
    int k = in.byte() + 1;
    std::vector<uint8_t> colours((size_t)k * 4);
    for (auto& c : colours) c = in.byte();
    size_t n = (size_t)m.w * m.h;
    for (auto* v : {&m.R, &m.G, &m.B, &m.A}) v->assign(n + 16, 0);
    for (size_t i = 0; i < n; i++) {
        const uint8_t* c;
        uint8_t px[4];
        if (direct) {
            for (auto& b : px) b = in.byte();
            c = px;
        } else {
            c = &colours[(size_t)(in.byte() % k) * 4];
        }
        m.R[i] = c[0];
        m.G[i] = c[1];
        m.B[i] = c[2];
        m.A[i] = c[3];
    }

    // What the encoder must decide.
    bool alpha = trns > 0;
    if (trns < 0) {
        uint8_t a = 255, o = 0;
        for (size_t i = 0; i < n; i++) {
            a &= m.A[i];
            o |= m.A[i];
        }
        alpha = !(a == 255 || o == 0);
    }
    std::set<uint32_t> distinct;
    for (size_t i = 0; i < n; i++) distinct.insert((uint32_t)m.R[i] << 16 | (uint32_t)m.G[i] << 8 | m.B[i]);
    int depth = 8, ctype = 3;
    if (alpha) ctype = 6;
    else if (distinct.size() > 256) ctype = 2;
    else depth = distinct.size() <= 2 ? 1 : distinct.size() <= 16 ? 4 : 8;

    FUZZ_CHECK(pngsaveplanes("enc.png", m.w, m.h, m.R.data(), m.G.data(), m.B.data(), m.A.data(), trns) == 0);
    std::vector<uint8_t> png = fuzz::written("enc.png");
    FUZZ_CHECK(png.size() > 33 && std::memcmp(png.data() + 12, "IHDR", 4) == 0);
    FUZZ_CHECK(be32(&png[16]) == (uint32_t)m.w && be32(&png[20]) == (uint32_t)m.h);
    FUZZ_CHECK(png[24] == depth && png[25] == ctype);

    int w = 0, h = 0;
    uint8_t *R = nullptr, *G = nullptr, *B = nullptr, *A = nullptr, re = 0, has = 0;
    FUZZ_CHECK(pngload("enc.png", &w, &h, &R, &G, &B, &A, &re, &has) == 0);
    FUZZ_CHECK(w == m.w && h == m.h);
    bool same = std::memcmp(R, m.R.data(), n) == 0 && std::memcmp(G, m.G.data(), n) == 0 &&
                std::memcmp(B, m.B.data(), n) == 0;
    for (size_t i = 0; i < n && same; i++) same = A[i] == (alpha ? m.A[i] : 255);
    std::free(R);
    std::free(G);
    std::free(B);
    std::free(A);
    FUZZ_CHECK(same);

    FUZZ_CHECK(bmpwrite32("enc.bmp", m.w, m.h, m.R.data(), m.G.data(), m.B.data(), m.A.data()) == 0);
    std::vector<uint8_t> bmp = fuzz::written("enc.bmp");
    FUZZ_CHECK(bmp.size() == 134 + 4 * n);
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++) {
            size_t i = (size_t)y * m.w + x;
            const uint8_t* p = &bmp[134 + 4 * ((size_t)(m.h - 1 - y) * m.w + x)];
            FUZZ_CHECK(p[0] == m.R[i] && p[1] == m.G[i] && p[2] == m.B[i] && p[3] == m.A[i]);
        }
    return 0;
}
