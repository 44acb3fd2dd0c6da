// What the window's input does: Escape or a close ends the run, a plain left click cycles the frac
// counter, Shift+left and middle drags hold the mouse capture. Platforms hand over raw events
// (platform/input_event.h); a key's meaning comes from the key table (app/key_table.h) for the modes in
// force, and its action goes to the handler the program installed. The release run has no handler: its
// only key is Escape.
#pragma once
#include "app/key_table.h"
#include "platform/input_event.h"
#include "platform/window.h"

// Every raw event from a window: the rules' answer, the action the window then carries out.
InputAction handleRawInput(const RawInputEvent& event);
// Whether the rules give this event a meaning now: a page keeps the browser's own handling of the others.
bool rawInputWanted(const RawInputEvent& event);
// The executables' window callbacks: every raw event to handleRawInput.
WindowCallbacks demoWindowCallbacks();

// A program's key actions: `down` on the press (and each repeat of a binding that repeats), not `down` on
// the release of a key whose binding is held (the flying moves). Returns what the window does then.
using KeyActionHandler = InputAction (*)(KeyAction action, bool down);
// The KeyMode bits in force now.
using KeyModesNow = unsigned (*)();
// Author mode and the page install theirs; null, null: the release run (KEY_MODE_RUN, no handler).
void setKeyActions(KeyModesNow modes, KeyActionHandler handler);
unsigned keyModesNow();

// Author mode's first look at every raw event (flying); returns true when it took the event, which then
// goes no further. Null (the default): none.
using RawInputHook = bool (*)(const RawInputEvent& event);
void setRawInputHook(RawInputHook hook);

int fracCounter();

// True once Escape or a close or destroy has been seen: the run ends for the user, not for the music.
bool quitRequested();

// Back to the state of a fresh process: frac 0, no drag, no quit request, no key actions or hook (the
// release run's keys). Tests run many cases in one process.
void resetInput();
