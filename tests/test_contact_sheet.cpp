// Contact sheets of tiny cells: the labels stay inside their cells (shortened or left out when the cell is
// too small), every grid up to 16x16 of cells down to 1x1 is put together in place, and the real tool makes
// such sheets. Under the sanitizers (the asan preset) a write past the picture fails the run.
#include "capture/contact_sheet.h"
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr unsigned char PICTURE = 77; // neither the label's black nor its white

struct LabelDrawn {
    int strays = 0;      // pixels changed outside the cell, or to something other than black or white
    int boxWidth = 0;    // the black box's width on the cell's top row
    bool glyphs = false; // white pixels in the cell
};

// The widest label drawn into the middle cell of a 3x3 sheet of `width` x `height` cells.
LabelDrawn drawIntoMiddleCell(int width, int height) {
    const int sheetWidth = 3 * width, sheetHeight = 3 * height;
    std::vector<unsigned char> sheet(static_cast<size_t>(sheetWidth) * sheetHeight * 3, PICTURE);
    drawCellLabel(&sheet, sheetWidth, width, height, width, height, sheetLabel(124.0));
    LabelDrawn drawn;
    for (int y = 0; y < sheetHeight; ++y) {
        for (int x = 0; x < sheetWidth; ++x) {
            unsigned char value = sheet[(static_cast<size_t>(y) * sheetWidth + x) * 3];
            bool inCell = x >= width && x < 2 * width && y >= height && y < 2 * height;
            if (value != PICTURE && (!inCell || (value != 0 && value != 255)))
                ++drawn.strays;
            drawn.glyphs |= inCell && value == 255;
            drawn.boxWidth += y == height && inCell && value == 0;
        }
    }
    return drawn;
}

} // namespace

TEST(ContactSheetLabel, StaysInItsCellShortenedOrLeftOutWhenTheCellIsSmall) {
    for (int height = 1; height <= 40; ++height) {
        for (int width = 1; width <= 60; ++width) {
            LabelDrawn drawn = drawIntoMiddleCell(width, height);
            ASSERT_EQ(drawn.strays, 0) << width << "x" << height;
            // A label is whole or absent: never a black box without its text.
            ASSERT_EQ(drawn.boxWidth > 0, drawn.glyphs) << width << "x" << height;
        }
    }
    // Too small for any label: left out, not cut.
    EXPECT_FALSE(drawIntoMiddleCell(1, 1).glyphs);
    EXPECT_FALSE(drawIntoMiddleCell(60, 10).glyphs);
    EXPECT_FALSE(drawIntoMiddleCell(20, 40).glyphs);
    // The cell of the crash (32x18) shows the time without its unit, a wide one the whole label, a tall
    // one larger glyphs.
    LabelDrawn small = drawIntoMiddleCell(32, 18), wide = drawIntoMiddleCell(240, 135),
               tall = drawIntoMiddleCell(640, 360);
    EXPECT_TRUE(small.glyphs && wide.glyphs && tall.glyphs);
    EXPECT_EQ(small.strays + wide.strays + tall.strays, 0);
    EXPECT_LE(small.boxWidth, 32);
    EXPECT_GT(wide.boxWidth, small.boxWidth);
    EXPECT_EQ(tall.boxWidth, 4 * wide.boxWidth); // glyphs scale with the height: 4 px a font unit at 360
}

TEST(ContactSheetGrid, EveryGridUpTo16x16OfTinyCellsIsPutTogetherInPlace) {
    const int SIZES[][2] = {{1, 1}, {2, 3}, {7, 5}, {31, 11}, {32, 18}, {36, 20}, {37, 12}};
    for (const auto& size : SIZES) {
        const int width = size[0], height = size[1];
        for (int columns = 1; columns <= 16; ++columns) {
            for (int rows = 1; rows <= 16; ++rows) {
                const int count = columns * rows, sheetWidth = columns * width;
                std::vector<double> times = sheetTimes(count);
                std::vector<unsigned char> sheet(static_cast<size_t>(sheetWidth) * rows * height * 3);
                // Each cell one colour of its own (never black or white), so that a pixel tells its cell.
                auto colourOf = [](int index) { return static_cast<unsigned char>(1 + index % 253); };
                for (int i = 0; i < count; ++i) {
                    std::vector<unsigned char> cell(static_cast<size_t>(width) * height * 3, colourOf(i));
                    addSheetCell(&sheet, columns, i, cell.data(), width, height,
                                 times[static_cast<size_t>(i)]);
                }
                int misplaced = 0, labelled = 0;
                for (int i = 0; i < count; ++i) {
                    int shown = 0, label = 0;
                    for (int y = i / columns * height; y < (i / columns + 1) * height; ++y) {
                        for (int x = i % columns * width; x < (i % columns + 1) * width; ++x) {
                            unsigned char value = sheet[(static_cast<size_t>(y) * sheetWidth + x) * 3];
                            shown += value == colourOf(i);
                            misplaced += value != colourOf(i) && value != 0 && value != 255;
                            label += value == 0 || value == 255;
                        }
                    }
                    misplaced += 4 * shown < width * height; // a label hides at most 3/4 of its still
                    labelled += label > 0;
                }
                // Every cell of a sheet is labelled alike.
                EXPECT_TRUE(labelled == 0 || labelled == count) << labelled << " of " << count;
                ASSERT_EQ(misplaced, 0) << columns << "x" << rows << " cells of " << width << "x" << height;
            }
        }
    }
}

// The real tool on tiny cells; the first is the size that made it crash in the label.
TEST(CaptureSheet, TinyCellsMakeASheet) {
    const char* const CASES[][2] = {{"8x4", "32x18"}, {"16x16", "1x1"}, {"16x3", "36x11"}};
    for (const auto& c : CASES) {
        ScratchFolder folder;
        ToolRun run = runCapture({"--sheet", c[0], "--size", c[1], "-o", folder / "sheet.png"});
        ASSERT_EQ(run.status, 0) << c[0] << " of " << c[1] << ": " << run.err;
        EXPECT_EQ(run.out, folder / "sheet.png" + "\n");
        int columns = 0, rows = 0, width = 0, height = 0;
        ASSERT_EQ(std::sscanf(c[0], "%dx%d", &columns, &rows), 2);
        ASSERT_EQ(std::sscanf(c[1], "%dx%d", &width, &height), 2);
        RgbImage sheet = loadPng(folder / "sheet.png");
        EXPECT_EQ(sheet.width, columns * width) << c[0] << " of " << c[1];
        EXPECT_EQ(sheet.height, rows * height) << c[0] << " of " << c[1];
    }
}
