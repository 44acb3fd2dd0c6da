// doz-capture's stills and contact sheet against frames drawn in-process by the demo's own frame pass.
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

struct StillCase {
    double seconds;
    int width, height;
};

class CaptureStill : public testing::TestWithParam<StillCase> {};

TEST_P(CaptureStill, IsTheFrameTheFrameLoopDrawsAtThatTime) {
    const StillCase c = GetParam();
    ScratchFolder folder;
    char at[32], size[32];
    std::snprintf(at, sizeof at, "%g", c.seconds);
    std::snprintf(size, sizeof size, "%dx%d", c.width, c.height);
    ToolRun run = runCapture({"--at", at, "--size", size, "-o", folder / "still.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, folder / "still.png" + "\n");
    EXPECT_EQ(folder.list(), std::vector<std::string>{"still.png"});

    RgbImage still = loadPng(folder / "still.png");
    ASSERT_EQ(still.width, c.width);
    ASSERT_EQ(still.height, c.height);
    prepareReferenceDemo(c.width, c.height);
    RgbImage reference = drawReferenceFrame(c.seconds);
    EXPECT_TRUE(still.rgb == reference.rgb) << "mean difference " << meanAbsoluteDifference(still, reference);
}

// The ends of the run and an odd size, whose rows are not a multiple of four bytes.
INSTANTIATE_TEST_SUITE_P(Times, CaptureStill,
                         testing::Values(StillCase{0.0, 64, 36}, StillCase{37.5, 33, 17},
                                         StillCase{124.0, 48, 27}),
                         [](const testing::TestParamInfo<StillCase>& info) {
                             char name[64];
                             std::snprintf(name, sizeof name, "At%dms_%dx%d",
                                           static_cast<int>(info.param.seconds * 1000), info.param.width,
                                           info.param.height);
                             return std::string(name);
                         });

TEST(CaptureSheet, HasTheGridAndEachCellIsTheStillOfItsLabel) {
    constexpr int COLUMNS = 4, ROWS = 3, CELL_W = 40, CELL_H = 24;
    // Twelve cells over 0 to 124 s: every 124/11 s, rounded to the tenth shown in the label.
    const double TIMES[COLUMNS * ROWS] = {0.0,  11.3, 22.5, 33.8,  45.1,  56.4,
                                          67.6, 78.9, 90.2, 101.5, 112.7, 124.0};
    ScratchFolder folder;
    ToolRun run = runCapture({"--sheet", "4x3", "--size", "40x24", "-o", folder / "sheet.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(folder.list(), std::vector<std::string>{"sheet.png"});
    RgbImage sheet = loadPng(folder / "sheet.png");
    ASSERT_EQ(sheet.width, COLUMNS * CELL_W);
    ASSERT_EQ(sheet.height, ROWS * CELL_H);

    prepareReferenceDemo(CELL_W, CELL_H);
    // The label sits in the top rows of each cell; below it the cell is the still itself.
    constexpr int LABEL_ROWS = 11;
    std::vector<RgbImage> stills;
    for (int i = 0; i < COLUMNS * ROWS; ++i) {
        restartReferenceRun();
        RgbImage still = drawReferenceFrame(TIMES[i]);
        int x = i % COLUMNS * CELL_W, y = i / COLUMNS * CELL_H;
        RgbImage cell = cropImage(sheet, x, y, CELL_W, CELL_H);
        EXPECT_TRUE(cropImage(cell, 0, LABEL_ROWS, CELL_W, CELL_H - LABEL_ROWS).rgb ==
                    cropImage(still, 0, LABEL_ROWS, CELL_W, CELL_H - LABEL_ROWS).rgb)
            << "cell " << i << " is not the still at " << TIMES[i] << " s";
        // The label: white glyphs on black, covering part of the picture.
        RgbImage label = cropImage(cell, 0, 0, CELL_W, LABEL_ROWS);
        int white = 0, black = 0;
        for (size_t p = 0; p < label.rgb.size(); p += 3) {
            white += label.rgb[p] == 255 && label.rgb[p + 1] == 255 && label.rgb[p + 2] == 255;
            black += label.rgb[p] == 0 && label.rgb[p + 1] == 0 && label.rgb[p + 2] == 0;
        }
        EXPECT_GT(white, 10) << "cell " << i;
        EXPECT_GT(black, 10) << "cell " << i;
        stills.push_back(still);
    }
    // The opening canister, the falling field and the truck's drive look different.
    EXPECT_GT(meanAbsoluteDifference(stills[0], stills[4]), 1.0);
    EXPECT_GT(meanAbsoluteDifference(stills[4], stills[9]), 1.0);
    EXPECT_GT(meanAbsoluteDifference(stills[0], stills[9]), 1.0);
}
