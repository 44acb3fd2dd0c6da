// The input tables and their state: the key table in force, the frac counter and the two drag flags.
#include "app/input.h"

#include "app/run_state.h"

static int frac = 0;
static bool leftDrag = false;
static bool middleDrag = false;
static bool quit = false;
static AuthorKeyHandler authorKeys = nullptr;
static RawInputHook rawHook = nullptr;
static KeyTable keyTable = KeyTable::Desktop;

void setKeyTable(KeyTable table) {
    keyTable = table;
}

void setRawInputHook(RawInputHook hook) {
    rawHook = hook;
}

// Keys both tables name alike; KeyOther for the rest.
static InputEvent sharedKey(int key, bool shift) {
    switch (key) {
    case KEY_ESCAPE:
        return InputEvent::KeyEscape;
    case KEY_SPACE:
        return InputEvent::KeySpace;
    case KEY_LEFT:
        return shift ? InputEvent::KeyShiftLeft : InputEvent::KeyLeft;
    case KEY_RIGHT:
        return shift ? InputEvent::KeyShiftRight : InputEvent::KeyRight;
    case KEY_PAGE_UP:
        return InputEvent::KeyPageUp;
    case KEY_PAGE_DOWN:
        return InputEvent::KeyPageDown;
    case KEY_HOME:
        return InputEvent::KeyHome;
    case KEY_COMMA:
        return InputEvent::KeyComma;
    case KEY_PERIOD:
        return InputEvent::KeyPeriod;
    default:
        return InputEvent::KeyOther;
    }
}

static InputEvent desktopKey(const RawInputEvent& event) {
    switch (event.key) {
    case 'B':
        return InputEvent::KeyB;
    case 'N':
        return InputEvent::KeyN;
    case KEY_BACKSPACE:
        return InputEvent::KeyBackspace;
    case 'R':
        return InputEvent::KeyR;
    case KEY_F11:
        return InputEvent::KeyF11;
    default:
        return sharedKey(event.key, (event.modifiers & MODIFIER_SHIFT) != 0);
    }
}

static InputEvent pageKey(const RawInputEvent& event) {
    if (event.key == KEY_ESCAPE)
        return InputEvent::KeyEscape;
    if ((event.modifiers & (MODIFIER_CTRL | MODIFIER_ALT | MODIFIER_SUPER)) != 0)
        return InputEvent::KeyOther;
    if (event.key == 'F')
        return InputEvent::KeyF11;
    return sharedKey(event.key, (event.modifiers & MODIFIER_SHIFT) != 0);
}

InputEvent translateRawInput(const RawInputEvent& event) {
    const bool page = keyTable == KeyTable::Page;
    switch (event.type) {
    case RawEventType::Close:
        return InputEvent::Close;
    case RawEventType::Destroy:
        return InputEvent::Destroy;
    case RawEventType::KeyDown:
        return page ? pageKey(event) : desktopKey(event);
    case RawEventType::MouseDown:
        if (event.button == MOUSE_LEFT)
            return (event.modifiers & MODIFIER_SHIFT) != 0 ? InputEvent::ShiftLeftDown : InputEvent::LeftDown;
        if (event.button == MOUSE_MIDDLE)
            return InputEvent::MiddleDown;
        // The page has no fourth button: any other is the right one there.
        return event.button == MOUSE_RIGHT || page ? InputEvent::RightDown : InputEvent::Other;
    case RawEventType::MouseUp:
        if (event.button == MOUSE_LEFT)
            return InputEvent::LeftUp;
        return event.button == MOUSE_MIDDLE ? InputEvent::MiddleUp : InputEvent::Other;
    case RawEventType::MouseMove:
        return InputEvent::MouseMove;
    case RawEventType::MouseWheel:
        return InputEvent::MouseWheel;
    case RawEventType::DoubleClick:
        return page ? InputEvent::KeyF11 : InputEvent::Other;
    case RawEventType::KeyUp:
    case RawEventType::Other:
        break;
    }
    return InputEvent::Other;
}

bool rawInputWanted(const RawInputEvent& event) {
    InputEvent named = translateRawInput(event);
    return named != InputEvent::KeyOther && named != InputEvent::Other;
}

InputAction handleRawInput(const RawInputEvent& event) {
    if (rawHook != nullptr && rawHook(event))
        return InputAction::Consumed;
    return handleInput(translateRawInput(event), event.type == RawEventType::KeyDown && event.repeat);
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

void setAuthorKeyHandler(AuthorKeyHandler handler) {
    authorKeys = handler;
}

int fracCounter() {
    return frac;
}

InputAction handleInput(InputEvent event, bool autoRepeat) {
    switch (event) {
    case InputEvent::Close:
    case InputEvent::Destroy:
    case InputEvent::KeyEscape:
        quit = true;
        stopRunning();
        return InputAction::Consumed;
    case InputEvent::LeftDown:
        frac = (frac + 1) % 3;
        return InputAction::Consumed;
    case InputEvent::ShiftLeftDown:
        leftDrag = true;
        return InputAction::TakeCapture;
    case InputEvent::LeftUp:
        if (!leftDrag)
            return InputAction::Consumed;
        leftDrag = false;
        return InputAction::ReleaseCapture;
    case InputEvent::MiddleDown:
        middleDrag = true;
        return InputAction::TakeCapture;
    case InputEvent::MiddleUp:
        if (!middleDrag)
            return InputAction::Consumed;
        middleDrag = false;
        return InputAction::ReleaseCapture;
    case InputEvent::RightDown:
    case InputEvent::MouseMove:
    case InputEvent::MouseWheel:
        return InputAction::Consumed;
    case InputEvent::KeyOther:
    case InputEvent::Other:
        break;
    case InputEvent::KeySpace:
    case InputEvent::KeyLeft:
    case InputEvent::KeyRight:
    case InputEvent::KeyShiftLeft:
    case InputEvent::KeyShiftRight:
    case InputEvent::KeyPageUp:
    case InputEvent::KeyPageDown:
    case InputEvent::KeyHome:
    case InputEvent::KeyComma:
    case InputEvent::KeyPeriod:
    case InputEvent::KeyB:
    case InputEvent::KeyN:
    case InputEvent::KeyBackspace:
    case InputEvent::KeyR:
    case InputEvent::KeyF11:
        if (authorKeys == nullptr)
            break; // a release run treats them as any other key
        return authorKeys(event, autoRepeat) ? InputAction::ToggleFullscreen : InputAction::Consumed;
    }
    return InputAction::DefaultHandler;
}

void resetInput() {
    frac = 0;
    leftDrag = false;
    middleDrag = false;
    quit = false;
    authorKeys = nullptr;
    rawHook = nullptr;
    keyTable = KeyTable::Desktop;
}
