// The bitmap decoder against independent decoders: ffmpeg and ImageMagick
// write BMP files in every header kind and pixel form the frame reader
// takes, ffmpeg decodes each of them to RGBA, and the decoder given the same
// header, palette and pixel bytes must agree with it pixel for pixel.  Forms
// no tool writes are made from these files here: the 108-byte header from a
// 124-byte one (the same fields, the last four left out), top-down rows by
// turning the rows round, RLE4 by encoding a 4-bit file's indexes.

#include <gtest/gtest.h>

#ifndef _WIN32  // the tools run on the Linux side only

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "avitool_fixtures.h"
#include "dib_fixture.h"
#include "frame_fixture.h"
#include "movie/e2e_util.h"
#include "stream/stream.h"
#include "testutil.h"

using namespace dibtest;

namespace {

namespace fs = std::filesystem;

// A BMP file taken apart as the frame reader takes a stream format chunk.
struct bmpfile {
    std::vector<uint8_t> bytes;
    uint32_t off = 0;  // first pixel byte
    dibformat f{};
    dibpalette pal{};
};

bmpfile parsebmp(std::vector<uint8_t> b) {
    bmpfile m;
    m.bytes = std::move(b);
    const uint8_t* d = m.bytes.data();
    m.off = get_le32(d + 10);
    dibformat& f = m.f;
    f.hdrsize = get_le32(d + 14);
    size_t pal = 14 + f.hdrsize;
    if (f.hdrsize == 12) {
        f.width = (int16_t)get_le16(d + 18);
        f.height = (int16_t)get_le16(d + 20);
        f.planes = get_le16(d + 22);
        f.bitcount = get_le16(d + 24);
    } else {
        f.width = (int32_t)get_le32(d + 18);
        f.height = (int32_t)get_le32(d + 22);
        f.planes = get_le16(d + 26);
        f.bitcount = get_le16(d + 28);
        f.compression = get_le32(d + 30);
        if (f.hdrsize >= 108 || f.compression == 3) {
            f.rmask = get_le32(d + 54);
            f.gmask = get_le32(d + 58);
            f.bmask = get_le32(d + 62);
            if (f.hdrsize >= 108) f.amask = get_le32(d + 66);
        }
        if (f.hdrsize == 40 && f.compression == 3) pal += 12;
    }
    int colours = dibcolours(f.bitcount);
    size_t entry = f.hdrsize == 12 ? 3 : 4;
    for (int i = 0; i < colours && pal + entry * (i + 1) <= m.off; i++) {
        const uint8_t* e = d + pal + entry * i;
        m.pal[i][0] = e[2];
        m.pal[i][1] = e[1];
        m.pal[i][2] = e[0];
        m.pal[i][3] = f.hdrsize >= 108 ? e[3] : 255;
    }
    return m;
}

std::vector<uint8_t> pixels(const bmpfile& m) {
    return std::vector<uint8_t>(m.bytes.begin() + m.off, m.bytes.end());
}

void putle32(std::vector<uint8_t>& b, size_t at, uint32_t v) { put_le32(b.data() + at, v); }

// A 124-byte header cut to the 108-byte kind.
std::vector<uint8_t> tov4(std::vector<uint8_t> b) {
    if (get_le32(b.data() + 14) != 124) throw std::runtime_error("not a 124-byte header");
    b.erase(b.begin() + 14 + 108, b.begin() + 14 + 124);
    putle32(b, 2, (uint32_t)b.size());
    putle32(b, 10, get_le32(b.data() + 10) - 16);
    putle32(b, 14, 108);
    return b;
}

// The rows in the other order with a negative height.
std::vector<uint8_t> topdown(std::vector<uint8_t> b) {
    bmpfile m = parsebmp(b);
    size_t row = ((size_t)m.f.width * m.f.bitcount + 31) / 32 * 4;
    size_t h = (size_t)m.f.height;
    std::vector<uint8_t> px = pixels(m);
    std::vector<uint8_t> out(px.size());
    for (size_t r = 0; r < h; r++) std::memcpy(&out[r * row], &px[(h - 1 - r) * row], row);
    std::copy(out.begin(), out.end(), b.begin() + m.off);
    if (m.f.hdrsize == 12) {
        b[20] = (uint8_t)(-(int)h);
        b[21] = (uint8_t)((-(int)h) >> 8);
    } else {
        putle32(b, 22, (uint32_t)-(int32_t)h);
    }
    return b;
}

// A 4-bit file's rows as RLE4: runs of one index where the row repeats, the
// rest in absolute runs, an end of line after each row, an end of bitmap.
std::vector<uint8_t> torle4(std::vector<uint8_t> b) {
    bmpfile m = parsebmp(b);
    if (m.f.bitcount != 4 || m.f.compression != 0) throw std::runtime_error("not a plain 4-bit file");
    size_t w = (size_t)m.f.width, h = (size_t)m.f.height, row = (w * 4 + 31) / 32 * 4;
    std::vector<uint8_t> px = pixels(m), rle;
    for (size_t r = 0; r < h; r++) {
        std::vector<uint8_t> idx(w);
        for (size_t x = 0; x < w; x++) {
            uint8_t v = px[r * row + x / 2];
            idx[x] = (x & 1) ? v & 15 : v >> 4;
        }
        for (size_t x = 0; x < w;) {
            size_t n = 1;
            while (x + n < w && idx[x + n] == idx[x] && n < 255) n++;
            if (n >= 2 || w - x < 3) {
                rle.push_back((uint8_t)n);
                rle.push_back((uint8_t)(idx[x] << 4 | idx[x]));
            } else {
                n = std::min<size_t>(w - x, 5);  // absolute run of up to 5: odd counts too
                rle.push_back(0);
                rle.push_back((uint8_t)n);
                std::vector<uint8_t> bytes((n + 3) / 4 * 2);
                for (size_t k = 0; k < n; k++) bytes[k / 2] |= (uint8_t)(idx[x + k] << ((k & 1) ? 0 : 4));
                rle.insert(rle.end(), bytes.begin(), bytes.end());
            }
            x += n;
        }
        rle.push_back(0);
        rle.push_back(r + 1 == h ? 1 : 0);
    }
    b.resize(m.off);
    b.insert(b.end(), rle.begin(), rle.end());
    putle32(b, 2, (uint32_t)b.size());
    putle32(b, 30, 2);
    putle32(b, 34, (uint32_t)rle.size());
    return b;
}

struct OracleCase {
    const char* name;
    const char* source;  // "rgb" or "rgba"
    const char* tool;    // command with {in} and {out}
    std::vector<uint8_t> (*transform)(std::vector<uint8_t>);
    uint32_t hdrsize;    // what the file must have, so the case tests its form
    int bits;
    uint32_t compression;
};

void PrintTo(const OracleCase& c, std::ostream* os) { *os << c.name; }

const char* FF = "ffmpeg -v error -nostdin -y -i {in} -pix_fmt ";

std::vector<OracleCase> oraclecases() {
    using T = std::vector<uint8_t> (*)(std::vector<uint8_t>);
    T none = nullptr;
    std::string ff = FF;
    static std::vector<std::string> keep;  // the command texts live as long as the cases
    auto c = [&](std::string s) { keep.push_back(s); return keep.back().c_str(); };
    keep.reserve(64);
    return {
        {"Ff24", "rgb", c(ff + "bgr24 {out}"), none, 40, 24, 0},
        {"Ff24TopDown", "rgb", c(ff + "bgr24 {out}"), topdown, 40, 24, 0},
        {"Ff32", "rgba", c(ff + "bgra {out}"), none, 40, 32, 0},
        {"Ff32TopDown", "rgba", c(ff + "bgra {out}"), topdown, 40, 32, 0},
        {"Ff565", "rgb", c(ff + "rgb565le {out}"), none, 40, 16, 3},
        {"Ff565TopDown", "rgb", c(ff + "rgb565le {out}"), topdown, 40, 16, 3},
        {"Ff555", "rgb", c(ff + "rgb555le {out}"), none, 40, 16, 0},
        {"FfPal8", "rgb", c(ff + "pal8 {out}"), none, 40, 8, 0},
        {"FfGray8", "rgb", c(ff + "gray {out}"), none, 40, 8, 0},
        {"FfMono1", "rgb", c(ff + "monob {out}"), none, 40, 1, 0},
        {"ImOs2Bits24", "rgb", "convert {in} BMP2:{out}", none, 12, 24, 0},
        {"ImOs2Bits4", "rgb", "convert {in} -colors 16 -type Palette BMP2:{out}", none, 12, 4, 0},
        {"ImBits4", "rgb", "convert {in} -colors 16 -type Palette BMP3:{out}", none, 40, 4, 0},
        {"ImBits1", "rgb", "convert {in} -colors 2 -type Palette BMP3:{out}", none, 40, 1, 0},
        {"ImRle8", "rgb", "convert {in} -colors 200 -type Palette -compress RLE BMP3:{out}", none, 40, 8, 1},
        {"ImRle8FewColours", "rgb", "convert {in} -colors 5 -type Palette -compress RLE BMP3:{out}", none, 40, 8, 1},
        {"Rle4", "rgb", "convert {in} -colors 16 -type Palette BMP3:{out}", torle4, 40, 4, 2},
        {"ImV5Bits24", "rgb", "convert {in} BMP:{out}", none, 124, 24, 0},
        {"ImV5Bits32", "rgba", "convert {in} BMP:{out}", none, 124, 32, 3},
        {"ImV4Bits32", "rgba", "convert {in} BMP:{out}", tov4, 108, 32, 3},
        {"ImV4Bits24", "rgb", "convert {in} BMP:{out}", tov4, 108, 24, 0},
    };
}

class Oracle : public testing::TestWithParam<OracleCase> {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir();
        // Odd sizes, so that every row has padding and the bit rows end
        // inside a word.
        std::string src = "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=13x7 -frames:v 1 ";
        ASSERT_EQ(e2e::sh(src + e2e::quote(dir_->str("rgb.png")), dir_->path()), 0);
        ASSERT_EQ(e2e::sh(src + "-vf \"format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='mod(X*37+Y*11,256)'\" " +
                              e2e::quote(dir_->str("rgba.png")),
                          dir_->path()),
                  0);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static testutil::TempDir* dir_;
};
testutil::TempDir* Oracle::dir_ = nullptr;

std::string fill(std::string cmd, const std::string& in, const std::string& out) {
    cmd.replace(cmd.find("{in}"), 4, e2e::quote(in));
    cmd.replace(cmd.find("{out}"), 5, e2e::quote(out));
    return cmd;
}

// The case's BMP file at path (made by its tool, then transformed), and
// ffmpeg's RGBA decode of it.
std::vector<uint8_t> makebmp(const OracleCase& c, const testutil::TempDir& dir, const std::string& path,
                             std::vector<uint8_t>* rgba) {
    std::string made = path + ".made.bmp";  // the tools go by the extension
    EXPECT_EQ(e2e::sh(fill(c.tool, dir.str(std::string(c.source) + ".png"), made), dir.path()), 0) << c.tool;
    std::vector<uint8_t> bytes = testutil::read_file(made);
    if (c.transform) bytes = c.transform(bytes);
    testutil::write_file(path, bytes);
    std::string raw = path + ".rgba";
    EXPECT_EQ(e2e::sh("ffmpeg -v error -nostdin -y -i " + e2e::quote(path) + " -f rawvideo -pix_fmt rgba " +
                          e2e::quote(raw),
                      dir.path()),
              0);
    *rgba = testutil::read_file(raw);
    return bytes;
}

// The decoder's pixels against ffmpeg's, the first few differences named.
void expectpixels(const std::vector<uint32_t>& got, const std::vector<uint8_t>& want, int width) {
    ASSERT_EQ(got.size() * 4, want.size());
    int wrong = 0;
    for (size_t i = 0; i < got.size() && wrong < 5; i++) {
        uint32_t w = (uint32_t)want[4 * i] << 24 | (uint32_t)want[4 * i + 1] << 16 |
                     (uint32_t)want[4 * i + 2] << 8 | want[4 * i + 3];
        if (got[i] != w) {
            ADD_FAILURE() << "pixel " << i % width << "," << i / width << ": got " << std::hex << got[i]
                          << ", ffmpeg " << w;
            wrong++;
        }
    }
}

TEST_P(Oracle, AgreesWithFfmpeg) {
    const OracleCase& c = GetParam();
    std::vector<uint8_t> want;
    bmpfile m = parsebmp(makebmp(c, *dir_, dir_->str(std::string(c.name) + ".bmp"), &want));
    ASSERT_EQ(m.f.hdrsize, c.hdrsize);
    ASSERT_EQ(m.f.bitcount, c.bits);
    ASSERT_EQ(m.f.compression, c.compression);

    decoded got = decode(m.f, m.pal, pixels(m));
    ASSERT_EQ(got.result, DIB_OK) << got.printed;
    // ImageMagick's RLE8 rows run on over the padding up to their stride,
    // which the end-of-line check reports (each row once); the pixels agree.
    if (std::string(c.name).rfind("ImRle8", 0) != 0) {
        EXPECT_EQ(got.printed, "");
    }
    EXPECT_TRUE(got.guardsok);
    expectpixels(got.rgba, want, m.f.width);
}

// The same bitmap as the one frame of a movie: the format chunk holds the
// file's header, masks and palette (at least 40 bytes, as the scanner reads
// them), the '00db' chunk its pixel bytes; avireadframe must give ffmpeg's
// picture.
TEST_P(Oracle, AsAMovieFrameAgreesWithFfmpeg) {
    const OracleCase& c = GetParam();
    std::vector<uint8_t> want;
    std::vector<uint8_t> bytes = makebmp(c, *dir_, dir_->str(std::string(c.name) + ".movie.bmp"), &want);
    bmpfile m = parsebmp(bytes);

    framefix::dibmovie mv;
    mv.w = (uint32_t)m.f.width;
    mv.h = (uint32_t)std::abs(m.f.height);
    mv.strf.assign(bytes.begin() + 14, bytes.begin() + m.off);
    if (mv.strf.size() < 40) mv.strf.resize(40, 0);
    mv.chunks.push_back({"00db", pixels(m)});
    std::string avi = dir_->str(std::string(c.name) + ".avi");
    testutil::write_file(avi, framefix::build(mv));

    aviscanreset();
    framefix::readout o = framefix::readframe(avi, 0);
    ASSERT_EQ(o.result, 0) << o.printed;
    EXPECT_EQ(o.hasalpha, c.bits == 32 && !(c.hdrsize == 40 && c.compression == 0) ? 1 : 0);
    expectpixels(o.rgba, want, m.f.width);
}

INSTANTIATE_TEST_SUITE_P(Dib, Oracle, testing::ValuesIn(oraclecases()),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace

#endif
