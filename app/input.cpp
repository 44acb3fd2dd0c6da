// The input rules and their state: the modes and handler in force, the frac counter and the two drag flags.
#include "app/input.h"

#include "app/run_state.h"

static int frac = 0;
static bool leftDrag = false;
static bool middleDrag = false;
static bool quit = false;
static KeyModesNow modesNow = nullptr;
static KeyActionHandler actionHandler = nullptr;
static RawInputHook rawHook = nullptr;

void setKeyActions(KeyModesNow modes, KeyActionHandler handler) {
    modesNow = modes;
    actionHandler = handler;
}

unsigned keyModesNow() {
    return modesNow != nullptr ? modesNow() : KEY_MODE_RUN;
}

void setRawInputHook(RawInputHook hook) {
    rawHook = hook;
}

static InputAction quitRun() {
    quit = true;
    stopRunning();
    return InputAction::Consumed;
}

static bool onPage() {
    return (keyModesNow() & KEY_MODE_PAGE) != 0;
}

static InputAction mouseAction(const RawInputEvent& event) {
    switch (event.type) {
    case RawEventType::MouseDown:
        if (event.button == MOUSE_LEFT && (event.modifiers & MODIFIER_SHIFT) != 0) {
            leftDrag = true;
            return InputAction::TakeCapture;
        }
        if (event.button == MOUSE_LEFT) {
            frac = (frac + 1) % 3;
            return InputAction::Consumed;
        }
        if (event.button == MOUSE_MIDDLE) {
            middleDrag = true;
            return InputAction::TakeCapture;
        }
        // The page has no fourth button: any other is the right one there.
        return event.button == MOUSE_RIGHT || onPage() ? InputAction::Consumed : InputAction::DefaultHandler;
    case RawEventType::MouseUp: {
        bool* drag = event.button == MOUSE_LEFT     ? &leftDrag
                     : event.button == MOUSE_MIDDLE ? &middleDrag
                                                    : nullptr;
        if (drag == nullptr)
            return InputAction::DefaultHandler;
        if (!*drag)
            return InputAction::Consumed;
        *drag = false;
        return InputAction::ReleaseCapture;
    }
    case RawEventType::MouseMove:
    case RawEventType::MouseWheel:
        return InputAction::Consumed;
    case RawEventType::DoubleClick:
        // The page's fullscreen, as F.
        return onPage() && actionHandler != nullptr ? actionHandler(KeyAction::ToggleFullscreen, true)
                                                    : InputAction::DefaultHandler;
    default:
        return InputAction::DefaultHandler;
    }
}

static InputAction keyAction(const RawInputEvent& event) {
    const unsigned modes = keyModesNow();
    const KeyBinding* binding = event.type == RawEventType::KeyDown
                                    ? findKeyBinding(event.key, event.modifiers, modes)
                                    : findReleasedKeyBinding(event.key, modes);
    if (binding == nullptr)
        return InputAction::DefaultHandler;
    if (event.type == RawEventType::KeyUp)
        return actionHandler != nullptr ? actionHandler(binding->action, false) : InputAction::Consumed;
    if (event.repeat && !binding->repeats)
        return InputAction::Consumed;
    if (binding->action == KeyAction::Quit)
        return quitRun();
    if (actionHandler == nullptr)
        return InputAction::DefaultHandler;
    return actionHandler(binding->action, true);
}

bool rawInputWanted(const RawInputEvent& event) {
    switch (event.type) {
    case RawEventType::Close:
    case RawEventType::Destroy:
    case RawEventType::MouseMove:
    case RawEventType::MouseWheel:
        return true;
    case RawEventType::KeyDown:
        return findKeyBinding(event.key, event.modifiers, keyModesNow()) != nullptr;
    case RawEventType::MouseDown:
        return event.button != MOUSE_OTHER || onPage();
    case RawEventType::MouseUp:
        return event.button == MOUSE_LEFT || event.button == MOUSE_MIDDLE;
    case RawEventType::DoubleClick:
        return onPage();
    case RawEventType::KeyUp:
    case RawEventType::Other:
        break;
    }
    return false;
}

InputAction handleRawInput(const RawInputEvent& event) {
    if (rawHook != nullptr && rawHook(event))
        return InputAction::Consumed;
    switch (event.type) {
    case RawEventType::Close:
    case RawEventType::Destroy:
        return quitRun();
    case RawEventType::KeyDown:
    case RawEventType::KeyUp:
        return keyAction(event);
    default:
        return mouseAction(event);
    }
}

WindowCallbacks demoWindowCallbacks() {
    WindowCallbacks callbacks;
    callbacks.input = handleRawInput;
    callbacks.inputWanted = rawInputWanted;
    return callbacks;
}

bool quitRequested() {
    return quit;
}

int fracCounter() {
    return frac;
}

void resetInput() {
    frac = 0;
    leftDrag = false;
    middleDrag = false;
    quit = false;
    modesNow = nullptr;
    actionHandler = nullptr;
    rawHook = nullptr;
}
