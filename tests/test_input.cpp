// The input table: what each message does to the running flag, the frac counter and the mouse capture.
#include "app/input.h"
#include "app/run_state.h"

#include <gtest/gtest.h>

TEST(Input, PlainLeftClicksCycleFracAndFourLeaveOne) {
    int seen[4];
    for (int& value : seen) {
        EXPECT_EQ(handleInput(InputEvent::LeftDown), InputAction::Consumed);
        EXPECT_EQ(handleInput(InputEvent::LeftUp), InputAction::Consumed);
        value = fracCounter();
    }
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[1], 2);
    EXPECT_EQ(seen[2], 0);
    EXPECT_EQ(seen[3], 1);
    EXPECT_TRUE(isRunning());
}

TEST(Input, DoubleClickCountsTwoPresses) {
    // Without a double-click class style, a double click arrives as two plain presses.
    handleInput(InputEvent::LeftDown);
    handleInput(InputEvent::LeftUp);
    handleInput(InputEvent::LeftDown);
    handleInput(InputEvent::LeftUp);
    EXPECT_EQ(fracCounter(), 2);
}

TEST(Input, ShiftClickTakesCaptureAndDoesNotAdvance) {
    EXPECT_EQ(handleInput(InputEvent::ShiftLeftDown), InputAction::TakeCapture);
    EXPECT_EQ(fracCounter(), 0);
    EXPECT_EQ(handleInput(InputEvent::LeftUp), InputAction::ReleaseCapture);
    // The drag is over: a second release has nothing to release.
    EXPECT_EQ(handleInput(InputEvent::LeftUp), InputAction::Consumed);
}

TEST(Input, ReleasesWithoutPressReleaseNothing) {
    EXPECT_EQ(handleInput(InputEvent::LeftUp), InputAction::Consumed);
    EXPECT_EQ(handleInput(InputEvent::MiddleUp), InputAction::Consumed);
    EXPECT_EQ(handleInput(InputEvent::MiddleDown), InputAction::TakeCapture);
    EXPECT_EQ(handleInput(InputEvent::MiddleUp), InputAction::ReleaseCapture);
}

TEST(Input, OtherKeysAndMessagesGoToTheDefaultHandler) {
    EXPECT_EQ(handleInput(InputEvent::KeyOther), InputAction::DefaultHandler);
    EXPECT_EQ(handleInput(InputEvent::Other), InputAction::DefaultHandler);
    for (InputEvent e : {InputEvent::RightDown, InputEvent::MouseMove, InputEvent::MouseWheel})
        EXPECT_EQ(handleInput(e), InputAction::Consumed);
    EXPECT_TRUE(isRunning());
    EXPECT_EQ(fracCounter(), 0);
}

class InputQuits : public testing::TestWithParam<InputEvent> {};

TEST_P(InputQuits, ClearsTheRunningFlagOnly) {
    EXPECT_EQ(handleInput(GetParam()), InputAction::Consumed);
    EXPECT_FALSE(isRunning());
    EXPECT_EQ(fracCounter(), 0);
}

INSTANTIATE_TEST_SUITE_P(EscapeCloseDestroy, InputQuits,
                         testing::Values(InputEvent::KeyEscape, InputEvent::Close, InputEvent::Destroy));
