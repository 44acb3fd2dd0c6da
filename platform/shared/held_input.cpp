// The keys and buttons a window holds, and their releases when it loses them.
#include "platform/held_input.h"

void noteHeldInput(HeldInput* held, const RawInputEvent& event) {
    switch (event.type) {
    case RawEventType::KeyDown:
    case RawEventType::KeyUp:
        if (event.key > KEY_NONE && event.key < KEY_CODE_LIMIT)
            held->keys[event.key] = event.type == RawEventType::KeyDown;
        break;
    case RawEventType::MouseDown:
    case RawEventType::MouseUp:
        if (event.button >= 0 && event.button < MOUSE_BUTTON_LIMIT)
            held->buttons[event.button] = event.type == RawEventType::MouseDown;
        break;
    default:
        break;
    }
}

bool anyButtonHeld(const HeldInput& held) {
    for (bool down : held.buttons)
        if (down)
            return true;
    return false;
}

void reportHeldReleases(HeldInput* held, unsigned kinds, void (*report)(const RawInputEvent& release)) {
    RawInputEvent release;
    if ((kinds & HELD_KEYS) != 0)
        for (int key = 0; key < KEY_CODE_LIMIT; ++key)
            if (held->keys[key]) {
                held->keys[key] = false;
                release.type = RawEventType::KeyUp;
                release.key = key;
                report(release);
            }
    release = RawInputEvent();
    if ((kinds & HELD_BUTTONS) != 0)
        for (int button = 0; button < MOUSE_BUTTON_LIMIT; ++button)
            if (held->buttons[button]) {
                held->buttons[button] = false;
                release.type = RawEventType::MouseUp;
                release.button = button;
                report(release);
            }
}
