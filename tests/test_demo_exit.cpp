// The whole demo on the headless platform, from start-up to its exit: however the run ends, the sound
// device is closed and the window is gone before runDemo returns its exit code.
#include "app/startup.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "render/scene_program.h"

#include <gtest/gtest.h>

TEST(DemoExit, TheEndOfTheMusicClosesTheSoundAndTheWindowThenReturnsZero) {
    // A small client area keeps the one frame cheap on a software renderer.
    char why[256] = "";
    ASSERT_TRUE(openHeadlessContext(16, 9, why, sizeof why)) << why;
    // The device already past 124 s: the first pass ends the run, and is still drawn.
    setHeadlessSoundPosition(125 * 44100);
    char name[] = "doz-engine";
    char* argv[] = {name, nullptr};
    int code = runDemo(1, argv);

    EXPECT_EQ(code, 0);
    EXPECT_FALSE(shaderErrorFlag) << compileLog;
    EXPECT_FALSE(headlessSoundOpen());
    EXPECT_FALSE(windowExists());
    EXPECT_EQ(headlessWindowTitle(), "doz-engine"); // no second of frames, so no frame-rate title
}
