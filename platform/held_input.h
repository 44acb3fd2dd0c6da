// What a window has reported held: the keys and mouse buttons pressed and not yet released. A window that
// loses the keyboard or the mouse gets no release for them, so its backend reports the releases from here
// and nothing above the platform waits for one that never comes.
#pragma once
#include "platform/input_event.h"

struct HeldInput {
    bool keys[KEY_CODE_LIMIT] = {};
    bool buttons[MOUSE_BUTTON_LIMIT] = {};
};

enum HeldKind : unsigned { HELD_KEYS = 1, HELD_BUTTONS = 2 };

// Keeps a KeyDown, KeyUp, MouseDown or MouseUp in the set; other events, and keys without a code, change
// nothing.
void noteHeldInput(HeldInput* held, const RawInputEvent& event);

bool anyButtonHeld(const HeldInput& held);

// Takes every key and button of the `kinds` asked for off the set and hands `report` its release, a KeyUp
// or MouseUp with no modifiers, one at a time.
void reportHeldReleases(HeldInput* held, unsigned kinds, void (*report)(const RawInputEvent& release));
