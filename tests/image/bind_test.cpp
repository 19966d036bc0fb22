// bind_test.cpp - the libpng binding on the write side: libpng's output
// through WR, and a failing write ending at the caller's recovery point.
// (The read side runs under every decode test.)
#include "pngfix.h"

#include <csetjmp>

namespace {

using pngfix::ImageTest;
using pngfix::Tap;

// Writes pic through WR with the program's callbacks; returns 1 written, 0
// when the error callback jumped back.  Only libpng calls and trivially
// destructible values between the setjmp and the end.
int writethroughwr(const pngfix::Pic& s, png_bytep* rows, const char* name) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, (png_voidp)name, pngerrcb, pngwarncb);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_set_write_fn(png, nullptr, pngwritecb, pngflushcb);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.ctype, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 0);  // every pixel byte reaches the stream
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return 1;
}

std::vector<png_bytep> rowptrs(std::vector<uint8_t>& packed, const pngfix::Pic& s, size_t rowbytes) {
    std::vector<png_bytep> rows(s.height);
    for (uint32_t y = 0; y < s.height; y++) rows[y] = &packed[y * rowbytes];
    return rows;
}

TEST_F(ImageTest, WriteCallbackFeedsWR) {
    auto s = pngfix::make(40, 30, PNG_COLOR_TYPE_RGB, 8);
    size_t rowbytes;
    auto packed = pngfix::pack(s, &rowbytes);
    auto rows = rowptrs(packed, s, rowbytes);
    std::string path = dir.str("w.png");
    ASSERT_EQ(wfcreate(path.c_str()), 0);
    ASSERT_EQ(writethroughwr(s, rows.data(), path.c_str()), 1);
    wfclose();
    pngfix::Planes p;
    ASSERT_EQ(p.load(path), 0);
    EXPECT_EQ(p.rgba(), pngfix::rgba(s));
}

// The third system write fails as a full disk would: libpng's write gets a
// short count, "Write Error" goes to the sink naming the file, and the jump
// returns to the writer's recovery point.
TEST_F(ImageTest, FailingWriteJumpsBack) {
    auto s = pngfix::make(300, 200, PNG_COLOR_TYPE_RGB, 8);
    size_t rowbytes;
    auto packed = pngfix::pack(s, &rowbytes);
    auto rows = rowptrs(packed, s, rowbytes);
    std::string path = dir.str("full.png");
    static int writes;
    writes = 0;
    os_api saved = g_os;
    g_os.write = [](os_file f, const void* buf, uint32_t n, uint32_t* put) -> int {
        if (++writes >= 3) {
            *put = 0;
            return 0;
        }
        return os_native.write(f, buf, n, put);
    };
    Tap tap;
    ASSERT_EQ(wfcreateW(testutil::u16(path).c_str()), 0);
    int r = writethroughwr(s, rows.data(), "full.png");
    wfclose();
    g_os = saved;
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(tap.saw("ERROR(libpng): Write Error - full.png")) << tap.all();
    EXPECT_EQ(progon, 0);
}

}  // namespace
