// The frame-rate title: when it is written, what it says, and what a compile failure does to it.
#include "app/frame_rate_title.h"
#include "app/input.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "render/scene_program.h"

#include <gtest/gtest.h>

// Counts `frames` frames spread evenly from tick `start` to tick `end` (the first at `start`).
static void countFrames(uint32_t start, uint32_t end, int frames) {
    for (int i = 0; i < frames; ++i)
        countFrameForTitle(start + static_cast<uint32_t>(uint64_t(end - start) * i / (frames - 1)));
}

TEST(FrameRateTitle, KeepsTheNameUntilASecondHasPassed) {
    EXPECT_EQ(headlessWindowTitle(), "doz-engine");
    countFrameForTitle(5000);
    EXPECT_EQ(frameRateTitle.windowStartTick, 5000u);
    EXPECT_EQ(frameRateTitle.frameCounter, 1u);
    countFrameForTitle(5999);
    EXPECT_EQ(headlessTitleWrites(), 0);
    EXPECT_EQ(headlessWindowTitle(), "doz-engine");
}

TEST(FrameRateTitle, SixtyFramesOverExactlyOneSecond) {
    countFrames(1000, 2000, 60);
    EXPECT_EQ(headlessTitleWrites(), 1);
    EXPECT_EQ(headlessWindowTitle(), "doz-engine  60 fps  frac 0  [reload 0]");
    // The frame that closed the window starts the next one with the counter at 0.
    EXPECT_EQ(frameRateTitle.windowStartTick, 2000u);
    EXPECT_EQ(frameRateTitle.frameCounter, 0u);
}

TEST(FrameRateTitle, FpsTruncatesAndCountsTheFirstFrame) {
    countFrameForTitle(100);
    countFrameForTitle(600);
    countFrameForTitle(1599); // 3 frames over 1499 ms: 2001 / 1000 rounds down to 2
    EXPECT_EQ(headlessWindowTitle(), "doz-engine  2 fps  frac 0  [reload 0]");
}

static void clickLeft() {
    RawInputEvent click;
    click.type = RawEventType::MouseDown;
    click.button = MOUSE_LEFT;
    handleRawInput(click);
}

TEST(FrameRateTitle, ShowsTheFracCounter) {
    clickLeft();
    clickLeft();
    countFrames(1000, 2000, 30);
    EXPECT_EQ(headlessWindowTitle(), "doz-engine  30 fps  frac 2  [reload 0]");
    clickLeft();
    countFrames(2050, 3000, 20); // the window began at 2000, when the last one closed
    EXPECT_EQ(headlessWindowTitle(), "doz-engine  20 fps  frac 0  [reload 0]");
}

TEST(FrameRateTitle, CompileFailureSuppressesTitleButWindowsStillReset) {
    setWindowTitle("0:1(1): error: broken");
    shaderErrorFlag = true;
    countFrames(1000, 2000, 10);
    EXPECT_EQ(headlessWindowTitle(), "0:1(1): error: broken");
    EXPECT_EQ(frameRateTitle.windowStartTick, 2000u);
    EXPECT_EQ(frameRateTitle.frameCounter, 0u);
}

TEST(FrameRateTitle, ElapsedTimeSurvivesTheTickCountWrap) {
    countFrameForTitle(0xFFFFFF00u);
    countFrameForTitle(0x000002E7u); // 999 ms later, past the wrap
    EXPECT_EQ(headlessTitleWrites(), 0);
    countFrameForTitle(0x000002E8u); // 1000 ms
    EXPECT_EQ(headlessWindowTitle(), "doz-engine  3 fps  frac 0  [reload 0]");
}
