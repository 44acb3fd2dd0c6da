// The window's input as every backend reports it: raw events in, and what the window is then to do. The
// rules that decide belong above the platform; a backend hands each event to handleInput and carries out
// the action it returns.
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
    // Author keys (Shift+Left/Right are their own events).
    KeySpace,
    KeyLeft,
    KeyRight,
    KeyShiftLeft,
    KeyShiftRight,
    KeyPageUp,
    KeyPageDown,
    KeyHome,
    KeyComma,
    KeyPeriod,
    KeyB,
    KeyN,
    KeyBackspace,
    KeyR,
    KeyF11,
};

enum class InputAction {
    Consumed,       // handled, nothing more to do
    DefaultHandler, // pass the message to the system's default handling
    TakeCapture,    // keep mouse messages coming to the window while the button is held
    ReleaseCapture,
    ToggleFullscreen, // author mode: borderless fullscreen on the window's monitor, or back
};

// Answered by the input rules above the platform, linked into every program with a window. `autoRepeat`:
// the event is the system repeating a held key.
InputAction handleInput(InputEvent event, bool autoRepeat = false);
