// checksum_test.cpp - what still catches a damaged file once the decoder
// skips the Adler-32 of the inflated data: the CRC-32 of every chunk.
//
// A file is damaged byte by byte: every byte of every IDAT chunk (its length,
// type, compressed data, the zlib header and trailer inside it, and its CRC)
// is changed in turn, and each damaged file must fail to decode.  Then the
// one damage that only the Adler-32 could see, a wrong zlib trailer under a
// recomputed CRC, decodes to the intact file's record.
#include "pngfix.h"

namespace {

using pngfix::Pic;

// Byte positions of the chunks of a PNG file, from its signature on.
struct ChunkAt {
    size_t at;      // the length field
    uint32_t len;   // data bytes
    std::string type;
};

std::vector<ChunkAt> chunks(const std::vector<uint8_t>& f) {
    std::vector<ChunkAt> out;
    size_t p = 8;
    while (p + 12 <= f.size()) {
        uint32_t len = (uint32_t)f[p] << 24 | (uint32_t)f[p + 1] << 16 | (uint32_t)f[p + 2] << 8 | f[p + 3];
        out.push_back({p, len, std::string(f.begin() + (long)p + 4, f.begin() + (long)p + 8)});
        p += 12 + (size_t)len;
    }
    return out;
}

// The chunk's CRC written anew over its type and data.
void recrc(std::vector<uint8_t>& f, const ChunkAt& c) {
    uLong crc = crc32(0, &f[c.at + 4], 4 + c.len);
    size_t q = c.at + 8 + c.len;
    f[q] = (uint8_t)(crc >> 24);
    f[q + 1] = (uint8_t)(crc >> 16);
    f[q + 2] = (uint8_t)(crc >> 8);
    f[q + 3] = (uint8_t)crc;
}

class Checksum : public pngfix::ImageTest {
protected:
    // 1 decoded (and released), 0 failed; the record's pointers are checked
    // to be null after a failure.
    int decode(const std::vector<uint8_t>& bytes, imgrec* keep = nullptr) {
        std::string p = put("c.png", bytes);
        imgrec rec;
        int ok = pngdecode(p.c_str(), &rec);
        if (!ok) {
            EXPECT_EQ(rec.bits, nullptr);
            EXPECT_EQ(rec.rows, nullptr);
        } else if (keep) {
            *keep = rec;
        } else {
            imgfree(&rec);
        }
        return ok;
    }
};

// The pictures span the record's layouts: 24 and 32 bits, a palette, a
// gray ramp, an interlaced file; and one file whose IDAT is split in two, so
// that a damaged second chunk is tried as well.
struct DamageCase {
    const char* name;
    Pic (*pic)();
    bool split;
};
// The case prints by its name, not as a dump of its bytes.
void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }


const DamageCase kDamage[] = {
    {"rgb", [] { return pngfix::make(9, 7, PNG_COLOR_TYPE_RGB, 8); }, false},
    {"rgba16", [] { return pngfix::make(5, 4, PNG_COLOR_TYPE_RGB_ALPHA, 16); }, false},
    {"palette4", [] { return pngfix::make(11, 6, PNG_COLOR_TYPE_PALETTE, 4); }, false},
    {"gray2", [] { return pngfix::make(13, 5, PNG_COLOR_TYPE_GRAY, 2); }, false},
    {"interlaced", [] { return pngfix::make(10, 10, PNG_COLOR_TYPE_RGB, 8, true); }, false},
    {"twoIdat", [] { return pngfix::make(12, 12, PNG_COLOR_TYPE_RGB, 8); }, true},
};

// The file with its one IDAT cut into two IDAT chunks after the first third
// of its data.
std::vector<uint8_t> splitidat(const std::vector<uint8_t>& f) {
    std::vector<uint8_t> out(f.begin(), f.begin() + 8);
    for (const ChunkAt& c : chunks(f)) {
        std::vector<uint8_t> data(f.begin() + (long)c.at + 8, f.begin() + (long)(c.at + 8 + c.len));
        if (c.type == "IDAT") {
            size_t cut = data.size() / 3;
            auto a = pngfix::chunk("IDAT", std::vector<uint8_t>(data.begin(), data.begin() + (long)cut));
            auto b = pngfix::chunk("IDAT", std::vector<uint8_t>(data.begin() + (long)cut, data.end()));
            out = pngfix::cat({out, a, b});
        } else {
            out = pngfix::cat({out, pngfix::chunk(c.type.c_str(), data)});
        }
    }
    return out;
}

class ChecksumDamage : public Checksum, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(ChecksumDamage, EveryIdatByteIsCovered) {
    std::vector<uint8_t> good = pngfix::write(GetParam().pic());
    if (GetParam().split) good = splitidat(good);
    ASSERT_EQ(decode(good), 1);
    int idats = 0;
    for (const ChunkAt& c : chunks(good)) {
        if (c.type != "IDAT") continue;
        idats++;
        for (size_t i = c.at; i < c.at + 12 + c.len; i++) {
            for (uint8_t flip : {0x01, 0x80}) {
                SCOPED_TRACE("byte " + std::to_string(i - c.at) + " of the IDAT at " + std::to_string(c.at) +
                             ", flip " + std::to_string(flip));
                std::vector<uint8_t> bad = good;
                bad[i] ^= flip;
                EXPECT_EQ(decode(bad), 0);
            }
        }
    }
    EXPECT_EQ(idats, GetParam().split ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Checksum, ChecksumDamage, ::testing::ValuesIn(kDamage),
                         [](const auto& i) { return std::string(i.param.name); });

// A wrong Adler-32 under a CRC that matches it: the compressed bytes are the
// ones the chunk's CRC vouches for, and they inflate to the intact image.
TEST_F(Checksum, WrongAdlerUnderAGoodCrcDecodes) {
    Pic pic = pngfix::make(9, 7, PNG_COLOR_TYPE_RGB, 8);
    std::vector<uint8_t> good = pngfix::write(pic);
    std::vector<uint8_t> bad = good;
    for (const ChunkAt& c : chunks(bad)) {
        if (c.type != "IDAT") continue;
        bad[c.at + 8 + c.len - 1] ^= 0x5A;  // the trailer's last byte
        recrc(bad, c);
    }
    imgrec a, b;
    ASSERT_EQ(decode(good, &a), 1);
    ASSERT_EQ(decode(bad, &b), 1);
    ASSERT_EQ(a.size, b.size);
    EXPECT_EQ(std::memcmp(a.bits, b.bits, a.size), 0);
    imgfree(&a);
    imgfree(&b);
}

}  // namespace
