// What the window's input does: Escape or a close ends the run, a plain left click cycles the frac
// counter, Shift+left and middle drags hold the mouse capture. Platforms translate their messages into
// InputEvent and carry out the InputAction.
#pragma once

enum class InputEvent {
    Close,
    Destroy,
    KeyEscape,
    KeyOther,
    LeftDown,
    ShiftLeftDown,
    LeftUp,
    MiddleDown,
    MiddleUp,
    RightDown,
    MouseMove,
    MouseWheel,
    Other,
};

enum class InputAction {
    Consumed,       // handled, nothing more to do
    DefaultHandler, // pass the message to the system's default handling
    TakeCapture,    // keep mouse messages coming to the window while the button is held
    ReleaseCapture,
};

InputAction handleInput(InputEvent event);

int fracCounter();
