// What the window's input does: Escape or a close ends the run, a plain left click cycles the frac
// counter, Shift+left and middle drags hold the mouse capture. Platforms translate their messages into
// InputEvent and carry out the InputAction. The author keys mean nothing in a release run; in author mode a
// handler set by the author loop takes them.
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

// `autoRepeat`: the event is the system repeating a held key. Held author keys act again only where that
// means something (the seeks and frame steps scrub); a held toggle acts once.
InputAction handleInput(InputEvent event, bool autoRepeat = false);

int fracCounter();

// True once Escape or a close or destroy has been seen: the run ends for the user, not for the music.
bool quitRequested();

// Author mode: the author keys go to `handler`, which returns true when the window should then toggle
// fullscreen. Null (the default) leaves them to the system's default handling.
using AuthorKeyHandler = bool (*)(InputEvent event);
void setAuthorKeyHandler(AuthorKeyHandler handler);

// Back to the state of a fresh process: frac 0, no drag, no quit request, no author handler. Tests run many
// cases in one process.
void resetInput();
