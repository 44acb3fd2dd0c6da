// What the window's input does: Escape or a close ends the run, a plain left click cycles the frac
// counter, Shift+left and middle drags hold the mouse capture. Platforms hand over raw events
// (platform/input_event.h); a key table here names each one as an InputEvent, and the InputAction goes
// back. The author keys mean nothing in a release run; in author mode a handler set by the author loop
// takes them.
#pragma once
#include "platform/input_event.h"
#include "platform/window.h"

// What the tables make of a raw event.
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

// The executables' keys, or the page's: there F (and a double click) is fullscreen, keys with Ctrl, Alt or
// Meta stay the browser's, and the author-only keys are not taken.
enum class KeyTable { Desktop, Page };
void setKeyTable(KeyTable table);

// The current table's name for a raw event.
InputEvent translateRawInput(const RawInputEvent& event);

// Every raw event from a window: the rules' answer, the action the window then carries out.
InputAction handleRawInput(const RawInputEvent& event);
// Whether the tables give this event a meaning now: a page keeps the browser's own handling of the others.
bool rawInputWanted(const RawInputEvent& event);
// The executables' window callbacks: every raw event to handleRawInput.
WindowCallbacks demoWindowCallbacks();

// The rules for a named event. A held author key's repeats go to the author handler with `autoRepeat` set,
// which acts again only where that means something (seeks and frame steps scrub).
InputAction handleInput(InputEvent event, bool autoRepeat = false);

// Author mode's first look at every raw event (flying); returns true when it took the event, which then
// goes no further. Null (the default): none.
using RawInputHook = bool (*)(const RawInputEvent& event);
void setRawInputHook(RawInputHook hook);

int fracCounter();

// True once Escape or a close or destroy has been seen: the run ends for the user, not for the music.
bool quitRequested();

// Author mode: the author keys go to `handler`, which returns true when the window should then toggle
// fullscreen. Null (the default) leaves them to the system's default handling.
using AuthorKeyHandler = bool (*)(InputEvent event, bool autoRepeat);
void setAuthorKeyHandler(AuthorKeyHandler handler);

// Back to the state of a fresh process: frac 0, no drag, no quit request, no author handler or hook, the
// executables' table. Tests run many
// cases in one process.
void resetInput();
