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

namespace {
RawInputEvent raw(RawEventType type, int code = KEY_NONE, unsigned modifiers = 0, int button = MOUSE_LEFT) {
    RawInputEvent event;
    event.type = type;
    event.key = code;
    event.modifiers = modifiers;
    event.button = button;
    return event;
}
} // namespace

TEST(Input, RawEventsAreNamedByTheExecutablesTableOrThePagesTable) {
    resetInput();
    const RawEventType down = RawEventType::KeyDown;
    EXPECT_EQ(translateRawInput(raw(down, KEY_LEFT, MODIFIER_SHIFT)), InputEvent::KeyShiftLeft);
    EXPECT_EQ(translateRawInput(raw(down, KEY_RIGHT, MODIFIER_CTRL)), InputEvent::KeyRight);
    EXPECT_EQ(translateRawInput(raw(down, 'B', MODIFIER_CTRL)), InputEvent::KeyB);
    EXPECT_EQ(translateRawInput(raw(down, 'F')), InputEvent::KeyOther);
    EXPECT_EQ(translateRawInput(raw(down, KEY_F11)), InputEvent::KeyF11);
    EXPECT_EQ(translateRawInput(raw(RawEventType::KeyUp, KEY_ESCAPE)), InputEvent::Other);
    EXPECT_EQ(translateRawInput(raw(RawEventType::MouseDown, KEY_NONE, MODIFIER_SHIFT)),
              InputEvent::ShiftLeftDown);
    EXPECT_EQ(translateRawInput(raw(RawEventType::MouseDown, KEY_NONE, 0, MOUSE_OTHER)), InputEvent::Other);
    EXPECT_EQ(translateRawInput(raw(RawEventType::MouseUp, KEY_NONE, 0, MOUSE_RIGHT)), InputEvent::Other);
    EXPECT_EQ(translateRawInput(raw(RawEventType::DoubleClick)), InputEvent::Other);
    EXPECT_FALSE(rawInputWanted(raw(down, 'Q')));

    // The page: F and a double click are fullscreen, Ctrl, Alt and Meta keep the browser's keys (Escape
    // still ends), the author-only keys are the browser's, any button but the left and middle is the right.
    setKeyTable(KeyTable::Page);
    EXPECT_EQ(translateRawInput(raw(down, 'F')), InputEvent::KeyF11);
    EXPECT_EQ(translateRawInput(raw(RawEventType::DoubleClick)), InputEvent::KeyF11);
    EXPECT_EQ(translateRawInput(raw(down, KEY_ESCAPE, MODIFIER_CTRL)), InputEvent::KeyEscape);
    EXPECT_FALSE(rawInputWanted(raw(down, KEY_SPACE, MODIFIER_SUPER)));
    EXPECT_FALSE(rawInputWanted(raw(down, 'B')));
    EXPECT_TRUE(rawInputWanted(raw(down, KEY_PERIOD)));
    EXPECT_EQ(translateRawInput(raw(RawEventType::MouseDown, KEY_NONE, 0, MOUSE_OTHER)),
              InputEvent::RightDown);

    // A held key's repeat reaches the author handler as one; a hook that takes an event stops it there.
    resetInput();
    static bool repeated = false;
    setAuthorKeyHandler([](InputEvent, bool autoRepeat) {
        repeated = autoRepeat;
        return false;
    });
    RawInputEvent held = raw(down, KEY_LEFT);
    held.repeat = true;
    EXPECT_EQ(handleRawInput(held), InputAction::Consumed);
    EXPECT_TRUE(repeated);
    setRawInputHook([](const RawInputEvent& event) { return event.type == RawEventType::MouseDown; });
    EXPECT_EQ(handleRawInput(raw(RawEventType::MouseDown)), InputAction::Consumed);
    EXPECT_EQ(fracCounter(), 0) << "the hook took the click";
    EXPECT_EQ(handleRawInput(raw(RawEventType::Close)), InputAction::Consumed);
    EXPECT_FALSE(isRunning());
    resetInput();
    startRunning();
}
