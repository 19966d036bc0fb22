// bmpwrite.cpp - the 32-bit BMP writer: four colour planes into one
// uncompressed BMP with a BITMAPV4 header and bit-field masks, through the C
// runtime's FILE (opened, written and closed by the platform table's fopen,
// fwrite, fflush and fclose), not through the write streams.
//
// The file, little-endian throughout:
//     0  BITMAPFILEHEADER, 14 bytes
//    14  BITMAPV4HEADER, 108 bytes
//   122  the red, green and blue masks once more, 12 bytes
//   134  the pixels: the bottom row first, 4 bytes a pixel (one from each
//        plane, in the order given), 4 * width bytes a row, no padding
// Readers take the file as it has always been written, odd fields included:
// 255 pixels per metre, a size-image of 0 and the repeated masks after the
// header.

#include "image/image.h"
#include "image/pixelrow.h"
#include "platform/platform.h"
#include "stream/stream.h"

#include <cstdio>

namespace {

constexpr uint32_t kFileHeader = 14, kInfoHeader = 108, kMasks = 12;
constexpr uint32_t kPixelOffset = kFileHeader + kInfoHeader + kMasks;  // 134
constexpr uint64_t kMaxFile = 0xFFFFFFFFu;                            // bfSize is 32 bits

constexpr uint32_t kRedMask = 0x000000FFu, kGreenMask = 0x0000FF00u, kBlueMask = 0x00FF0000u,
                   kAlphaMask = 0xFF000000u;

// The 134 header bytes for an image of width x height (both checked).
void header(uint8_t* h, uint32_t width, uint32_t height, uint32_t filesize) {
    for (uint32_t i = 0; i < kPixelOffset; i++) h[i] = 0;
    h[0] = 'B';                           // bfType
    h[1] = 'M';
    put_le32(h + 2, filesize);            // bfSize
    put_le16(h + 6, 0);                   // bfReserved1
    put_le16(h + 8, 0);                   // bfReserved2
    put_le32(h + 10, kPixelOffset);       // bfOffBits
    uint8_t* v = h + kFileHeader;
    put_le32(v + 0, kInfoHeader);         // bV4Size
    put_le32(v + 4, width);               // bV4Width
    put_le32(v + 8, height);              // bV4Height: positive, bottom-up
    put_le16(v + 12, 1);                  // bV4Planes
    put_le16(v + 14, 32);                 // bV4BitCount
    put_le32(v + 16, 3);                  // bV4V4Compression: BI_BITFIELDS
    put_le32(v + 20, 0);                  // bV4SizeImage
    put_le32(v + 24, 255);                // bV4XPelsPerMeter
    put_le32(v + 28, 255);                // bV4YPelsPerMeter
    put_le32(v + 32, 0);                  // bV4ClrUsed
    put_le32(v + 36, 0);                  // bV4ClrImportant
    put_le32(v + 40, kRedMask);           // bV4RedMask
    put_le32(v + 44, kGreenMask);         // bV4GreenMask
    put_le32(v + 48, kBlueMask);          // bV4BlueMask
    put_le32(v + 52, kAlphaMask);         // bV4AlphaMask
    put_le32(v + 56, 0x73524742u);        // bV4CSType: "BGRs", LCS_sRGB
    // v + 60 .. v + 95: bV4Endpoints, 36 zero bytes
    put_le32(v + 96, 1);                  // bV4GammaRed
    put_le32(v + 100, 1);                 // bV4GammaGreen
    put_le32(v + 104, 1);                 // bV4GammaBlue
    uint8_t* m = h + kFileHeader + kInfoHeader;
    put_le32(m + 0, kRedMask);
    put_le32(m + 4, kGreenMask);
    put_le32(m + 8, kBlueMask);
}

int fail(FILE* f, int code, const char* name) {
    std::printf("Error outputting file (%d): %s\n", code, name);
    g_os.fclose(f);
    return code;
}

}  // namespace

// Every size is checked before the file is created: a width or height below
// 1 has no pixels to write (and a negative height would mean top-down rows),
// and a file past 4 GB - 1 bytes cannot state its size.  Each row goes out in
// pieces of up to 4096 pixels, and the stream's error flag, which stays set
// once a write failed, is tested after every row: the runtime fails only
// the write that reaches the full disk, and the bytes after it may seem to
// go through.  The close writes out the runtime's buffer, which holds all
// of a small file, so its result is checked as well.
int bmpwrite32(const char* path, int width, int height, const uint8_t* p1, const uint8_t* p2,
               const uint8_t* p3, const uint8_t* p4) {
    const char* name = path ? path : "";
    uint64_t filesize = 0;
    if (width < 1 || height < 1 ||
        (filesize = 4ull * (uint64_t)width * (uint64_t)height + kPixelOffset) > kMaxFile) {
        std::printf("Image size not writable as BMP: %s\n", name);
        return -1;
    }
    FILE* f = path ? g_os.fopen(path, "wb") : nullptr;
    if (!f) {
        std::printf("Cannot open writing file: %s\n", name);
        return -1;
    }
    uint8_t h[kPixelOffset];
    header(h, (uint32_t)width, (uint32_t)height, (uint32_t)filesize);
    if (g_os.fwrite(h, 1, kFileHeader, f) != kFileHeader) return fail(f, 1, name);
    if (g_os.fwrite(h + kFileHeader, 1, kInfoHeader, f) != kInfoHeader) return fail(f, 2, name);
    if (g_os.fwrite(h + kFileHeader + kInfoHeader, 1, kMasks, f) != kMasks) return fail(f, 3, name);

    constexpr size_t kPiece = 4096;
    uint8_t buf[4 * kPiece];
    const size_t w = (size_t)width;
    for (int y = height - 1; y >= 0; y--) {
        const size_t at = (size_t)y * w;
        for (size_t x = 0; x < w; x += kPiece) {
            size_t n = w - x < kPiece ? w - x : kPiece;
            // The movie row kernel writes its third plane first: handed the
            // planes in reverse colour order it gives p1 p2 p3 p4.
            pixelrow::torow(p3 + at + x, p2 + at + x, p1 + at + x, p4 + at + x, buf, n, true);
            if (g_os.fwrite(buf, 1, 4 * n, f) != 4 * n) return fail(f, 4, name);
        }
        if (std::ferror(f)) return fail(f, 4, name);
    }
    // The write-out is asked for before the close: the runtime of the
    // Windows build (as wine runs it) reports a failure of the write-out
    // inside fclose in neither fclose's result nor anywhere else.
    bool bad = g_os.fflush(f) != 0 || std::ferror(f) != 0;
    if (g_os.fclose(f) != 0 || bad) {
        std::printf("Error outputting file (5): %s\n", name);
        return 5;
    }
    std::printf("Saved.\n");
    return 0;
}
