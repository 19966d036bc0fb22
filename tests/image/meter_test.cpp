// meter_test.cpp - the row-progress meter: its scale, its rules, and its
// weighted row count checked against the rows libpng actually reports.
#include "pngfix.h"

namespace {

using pngfix::ImageTest;

class Meter : public ImageTest {};

struct UnitCase {
    uint32_t width, height;
    int units;
};

// 1024 x 768 pixels or more: the full scale; smaller: proportional, rounded up.
const UnitCase kUnits[] = {
    {1024, 768, 100}, {1024, 769, 100}, {4096, 4096, 100}, {640, 480, 40},
    {100, 100, 2},    {1, 1, 1},        {1023, 768, 100},  {786432, 1, 100},
    {786433, 1, 100}, {1, 786431, 100}, {2000, 1, 1},      {1, 7865, 2},
};

TEST_F(Meter, UnitsFollowTheImageSize) {
    for (const UnitCase& c : kUnits) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        ASSERT_NE(png, nullptr);
        progbegin(png, c.width, c.height);
        EXPECT_EQ(progunits, c.units) << c.width << " x " << c.height;
        EXPECT_EQ(progrows, (int)c.height);  // not interlaced
        EXPECT_EQ(progdone, 0);
        EXPECT_EQ(progval, 0);
        EXPECT_EQ(progon, 1);
        png_destroy_read_struct(&png, nullptr, nullptr);
    }
}

TEST_F(Meter, Adam7WeightedRows) {
    struct { uint32_t w, h, rows; } cases[] = {
        {8, 8, 64}, {100, 100, 800}, {1, 1, 1}, {8, 1, 8}, {1, 8, 1 + 2 + 4 * 2 + 8 * 4},
    };
    for (auto& c : cases) EXPECT_EQ(adam7rows(c.w, c.h), c.rows) << c.w << " x " << c.h;
    // With every pass present, a block of 8 rows weighs 8 full rows of 8.
    for (uint32_t h = 8; h <= 80; h += 8) EXPECT_EQ(adam7rows(9, h), 8 * h);
}

TEST_F(Meter, SetRules) {
    EXPECT_EQ(progactive(), 0);
    EXPECT_EQ(progget(), -1);
    progset(-5);  // idle: becomes active at 0 first
    EXPECT_EQ(progactive(), 1);
    EXPECT_EQ(progget(), 0);
    progset(30);
    EXPECT_EQ(progget(), 30);
    progset(20);  // never goes down
    EXPECT_EQ(progget(), 30);
    progset(1000);
    EXPECT_EQ(progget(), 100);
    progend();
    EXPECT_EQ(progactive(), 0);
    EXPECT_EQ(progget(), -1);

    progstart(250);
    EXPECT_EQ(progcap, 100);
    EXPECT_EQ(progget(), 0);
    pngmsg("anything %d\n", 1);  // every message ends the meter
    EXPECT_EQ(progactive(), 0);
    EXPECT_EQ(progget(), -1);

    EXPECT_EQ(progsetmax(50), 50);
    progset(70);
    EXPECT_EQ(progget(), 50);
}

// A decode drives the meter from libpng's own row reports: at the end the
// weighted rows done equal those planned, for plain and interlaced images of
// every small size (narrow images lack some passes), and the meter stands
// active at its full scale for the image.
TEST_F(Meter, DecodeEndsAtTheFullCount) {
    for (bool interlace : {false, true})
        for (uint32_t w = 1; w <= 9; w++)
            for (uint32_t h = 1; h <= 9; h++) {
                auto pic = pngfix::make(w, h, PNG_COLOR_TYPE_GRAY, 8, interlace);
                std::string path = put("m.png", pngfix::write(pic));
                imgrec rec;
                ASSERT_EQ(pngdecode(path.c_str(), &rec), 1);
                imgfree(&rec);
                SCOPED_TRACE(testing::Message() << w << " x " << h << (interlace ? " interlaced" : ""));
                EXPECT_EQ(progrows, (int)(interlace ? adam7rows(w, h) : h));
                EXPECT_EQ(progdone, progrows);
                EXPECT_EQ(progunits, 1);
                EXPECT_EQ(progval, progunits);
                EXPECT_EQ(progon, 1);
            }
}

}  // namespace
