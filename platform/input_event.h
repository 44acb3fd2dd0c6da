// The window's input as every backend reports it: one raw event per key, button, motion or wheel step, with
// the key's code and the modifiers held, and what the window is then to do. What a key means belongs above
// the platform; a backend hands each event to the input callback the program gave it when the window opened
// (platform/window.h) and carries out the action it returns, so a new key binding touches no backend.
#pragma once

enum class RawEventType {
    Other, // nothing the tables act on
    Close,
    Destroy,
    KeyDown, // `repeat` set when the system repeats a held key
    KeyUp,
    MouseDown,
    MouseUp,
    MouseMove,   // `dx`, `dy`: pixels moved since the last motion
    MouseWheel,  // `wheel`: notches, positive away from the user
    DoubleClick, // a left double click where the system reports one (the page)
};

// Modifier and key names stay clear of the system headers' own (windows.h defines MOD_SHIFT).
// Key codes: printable keys of a US keyboard are their upper-case ASCII code ('A', '1', ',', '['), the
// others follow from 256, as GLFW and sokol_app number them. Every backend reports every one of these keys
// it can tell apart, so that a new binding touches no backend.
enum RawKey : int {
    KEY_NONE = 0,
    KEY_SPACE = ' ',
    KEY_APOSTROPHE = '\'',
    KEY_COMMA = ',',
    KEY_MINUS = '-',
    KEY_PERIOD = '.',
    KEY_SLASH = '/',
    KEY_0 = '0', // to '9'
    KEY_SEMICOLON = ';',
    KEY_EQUAL = '=',
    KEY_A = 'A', // to 'Z'
    KEY_LEFT_BRACKET = '[',
    KEY_BACKSLASH = '\\',
    KEY_RIGHT_BRACKET = ']',
    KEY_GRAVE_ACCENT = '`',
    KEY_ESCAPE = 256,
    KEY_ENTER,
    KEY_TAB,
    KEY_BACKSPACE,
    KEY_INSERT,
    KEY_DELETE,
    KEY_RIGHT,
    KEY_LEFT,
    KEY_DOWN,
    KEY_UP,
    KEY_PAGE_UP,
    KEY_PAGE_DOWN,
    KEY_HOME,
    KEY_END,
    KEY_CAPS_LOCK,
    KEY_SCROLL_LOCK,
    KEY_NUM_LOCK,
    KEY_PRINT_SCREEN,
    KEY_PAUSE,
    KEY_F1,
    KEY_F2,
    KEY_F3,
    KEY_F4,
    KEY_F5,
    KEY_F6,
    KEY_F7,
    KEY_F8,
    KEY_F9,
    KEY_F10,
    KEY_F11,
    KEY_F12,
    KEY_KEYPAD_0, // to KEY_KEYPAD_9
    KEY_KEYPAD_9 = KEY_KEYPAD_0 + 9,
    KEY_KEYPAD_DECIMAL,
    KEY_KEYPAD_DIVIDE,
    KEY_KEYPAD_MULTIPLY,
    KEY_KEYPAD_SUBTRACT,
    KEY_KEYPAD_ADD,
    KEY_KEYPAD_ENTER,
    KEY_KEYPAD_EQUAL,
    KEY_LEFT_SHIFT,
    KEY_LEFT_CONTROL,
    KEY_LEFT_ALT,
    KEY_LEFT_SUPER,
    KEY_RIGHT_SHIFT,
    KEY_RIGHT_CONTROL,
    KEY_RIGHT_ALT,
    KEY_RIGHT_SUPER,
    KEY_MENU,
    KEY_CODE_LIMIT, // one past the last code
};

enum RawModifier : unsigned {
    MODIFIER_SHIFT = 1,
    MODIFIER_CTRL = 2,
    MODIFIER_ALT = 4,
    MODIFIER_SUPER = 8,
};

enum RawMouseButton : int {
    MOUSE_LEFT = 0,
    MOUSE_RIGHT = 1,
    MOUSE_MIDDLE = 2,
    MOUSE_OTHER = 3,
    MOUSE_BUTTON_LIMIT
};

struct RawInputEvent {
    RawEventType type = RawEventType::Other;
    int key = KEY_NONE;      // KeyDown, KeyUp: a RawKey, or KEY_NONE for a key the platform has no code for
    unsigned modifiers = 0;  // RawModifier bits held as of this event
    bool repeat = false;     // KeyDown only
    int button = MOUSE_LEFT; // MouseDown, MouseUp
    float dx = 0.f, dy = 0.f;
    float wheel = 0.f;
};

enum class InputAction {
    Consumed,       // handled, nothing more to do
    DefaultHandler, // pass the message to the system's default handling
    TakeCapture,    // keep mouse messages coming to the window while the button is held
    ReleaseCapture,
    ToggleFullscreen, // author mode: borderless fullscreen on the window's monitor, or back
};
