// Linux-native window: an SDL2 borderless window over the primary display with a plain GL context.
#include "platform/held_input.h"
#include "platform/input_event.h"
#include "platform/window.h"

#include <SDL.h>

#include <cstdio>

static SDL_Window* window = nullptr;
// Where the window's input goes, as the program gave it when the window opened.
static WindowCallbacks callbacks;
static SDL_GLContext glContext = nullptr;
// The modifier keys as of the event being handled. SDL's own modifier state is that after everything
// queued so far, so a quick Shift+click whose Shift release came in the same batch would read as plain.
static Uint16 modifiers = 0;
// SDL itself lets go of the keys when the window loses the keyboard, not of the mouse buttons: the backend
// does, from what it has been told is down (a key SDL released already is not held any more).
static HeldInput held;

// The modifiers as the window opens, then a context made current on it.
static bool makeContextCurrent(char* why, size_t whySize) {
    modifiers = static_cast<Uint16>(SDL_GetModState());
    glContext = SDL_GL_CreateContext(window);
    if (glContext == nullptr || SDL_GL_MakeCurrent(window, glContext) != 0) {
        std::snprintf(why, whySize, "No OpenGL context: %s", SDL_GetError());
        return false;
    }
    return true;
}

// Where SDL reaches no display it falls back by itself to a driver that draws where no one sees: the run
// would play its sound with no picture and no Escape. Such a driver is taken only when asked for by name.
static bool reachedDisplay(char* why, size_t whySize) {
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool unseen =
        driver != nullptr && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
    if (!unseen || SDL_GetHint(SDL_HINT_VIDEODRIVER) != nullptr)
        return true;
    const char* display = SDL_getenv("DISPLAY");
    std::snprintf(why, whySize, "No display to show the window on (DISPLAY is %s%s%s)",
                  display != nullptr ? "\"" : "not set", display != nullptr ? display : "",
                  display != nullptr ? "\"" : "");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
}

// Video, the callbacks and the pixel format both windows ask for: double-buffered RGB with no depth or
// stencil; no profile asked for, so a compatibility context.
static bool startVideo(const WindowCallbacks& given, char* why, size_t whySize) {
    callbacks = given;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::snprintf(why, whySize, "No video: %s", SDL_GetError());
        return false;
    }
    if (!reachedDisplay(why, whySize))
        return false;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    return true;
}

// The window just made, or why there is none.
static bool windowMade(char* why, size_t whySize) {
    if (window == nullptr)
        std::snprintf(why, whySize, "No OpenGL window: %s", SDL_GetError());
    return window != nullptr;
}

bool openDemoWindow(const WindowCallbacks& given, char* why, size_t whySize) {
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (!startVideo(given, why, whySize))
        return false;
    SDL_Rect screen = {0, 0, 640, 480};
    SDL_GetDisplayBounds(0, &screen);
    window = SDL_CreateWindow("doz-engine", screen.x, screen.y, screen.w, screen.h,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP |
                                  SDL_WINDOW_SHOWN);
    if (!windowMade(why, whySize))
        return false;
    SDL_ShowCursor(SDL_DISABLE);
    return makeContextCurrent(why, whySize);
}

// SDL's key codes for the keys that have no printable character, against the raw key set.
static const struct {
    SDL_Keycode sdl;
    int key;
} NAMED_KEYS[] = {
    {SDLK_ESCAPE, KEY_ESCAPE},
    {SDLK_RETURN, KEY_ENTER},
    {SDLK_TAB, KEY_TAB},
    {SDLK_BACKSPACE, KEY_BACKSPACE},
    {SDLK_INSERT, KEY_INSERT},
    {SDLK_DELETE, KEY_DELETE},
    {SDLK_RIGHT, KEY_RIGHT},
    {SDLK_LEFT, KEY_LEFT},
    {SDLK_DOWN, KEY_DOWN},
    {SDLK_UP, KEY_UP},
    {SDLK_PAGEUP, KEY_PAGE_UP},
    {SDLK_PAGEDOWN, KEY_PAGE_DOWN},
    {SDLK_HOME, KEY_HOME},
    {SDLK_END, KEY_END},
    {SDLK_CAPSLOCK, KEY_CAPS_LOCK},
    {SDLK_SCROLLLOCK, KEY_SCROLL_LOCK},
    {SDLK_NUMLOCKCLEAR, KEY_NUM_LOCK},
    {SDLK_PRINTSCREEN, KEY_PRINT_SCREEN},
    {SDLK_PAUSE, KEY_PAUSE},
    {SDLK_F1, KEY_F1},
    {SDLK_F2, KEY_F2},
    {SDLK_F3, KEY_F3},
    {SDLK_F4, KEY_F4},
    {SDLK_F5, KEY_F5},
    {SDLK_F6, KEY_F6},
    {SDLK_F7, KEY_F7},
    {SDLK_F8, KEY_F8},
    {SDLK_F9, KEY_F9},
    {SDLK_F10, KEY_F10},
    {SDLK_F11, KEY_F11},
    {SDLK_F12, KEY_F12},
    {SDLK_KP_0, KEY_KEYPAD_0},
    {SDLK_KP_1, KEY_KEYPAD_0 + 1},
    {SDLK_KP_2, KEY_KEYPAD_0 + 2},
    {SDLK_KP_3, KEY_KEYPAD_0 + 3},
    {SDLK_KP_4, KEY_KEYPAD_0 + 4},
    {SDLK_KP_5, KEY_KEYPAD_0 + 5},
    {SDLK_KP_6, KEY_KEYPAD_0 + 6},
    {SDLK_KP_7, KEY_KEYPAD_0 + 7},
    {SDLK_KP_8, KEY_KEYPAD_0 + 8},
    {SDLK_KP_9, KEY_KEYPAD_9},
    {SDLK_KP_PERIOD, KEY_KEYPAD_DECIMAL},
    {SDLK_KP_DIVIDE, KEY_KEYPAD_DIVIDE},
    {SDLK_KP_MULTIPLY, KEY_KEYPAD_MULTIPLY},
    {SDLK_KP_MINUS, KEY_KEYPAD_SUBTRACT},
    {SDLK_KP_PLUS, KEY_KEYPAD_ADD},
    {SDLK_KP_ENTER, KEY_KEYPAD_ENTER},
    {SDLK_KP_EQUALS, KEY_KEYPAD_EQUAL},
    {SDLK_LSHIFT, KEY_LEFT_SHIFT},
    {SDLK_LCTRL, KEY_LEFT_CONTROL},
    {SDLK_LALT, KEY_LEFT_ALT},
    {SDLK_LGUI, KEY_LEFT_SUPER},
    {SDLK_RSHIFT, KEY_RIGHT_SHIFT},
    {SDLK_RCTRL, KEY_RIGHT_CONTROL},
    {SDLK_RALT, KEY_RIGHT_ALT},
    {SDLK_RGUI, KEY_RIGHT_SUPER},
    {SDLK_APPLICATION, KEY_MENU},
};

// SDL names a printable key by its lower-case character, the raw set by its upper-case one.
static int keyCode(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z)
        return static_cast<int>(key - SDLK_a) + 'A';
    if (key >= ' ' && key <= '`')
        return static_cast<int>(key);
    for (const auto& named : NAMED_KEYS)
        if (named.sdl == key)
            return named.key;
    return KEY_NONE;
}

static unsigned modifierBits(Uint16 mod) {
    unsigned bits = 0;
    if ((mod & KMOD_SHIFT) != 0)
        bits |= MODIFIER_SHIFT;
    if ((mod & KMOD_CTRL) != 0)
        bits |= MODIFIER_CTRL;
    if ((mod & KMOD_ALT) != 0)
        bits |= MODIFIER_ALT;
    if ((mod & KMOD_GUI) != 0)
        bits |= MODIFIER_SUPER;
    return bits;
}

static int buttonCode(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT:
        return MOUSE_LEFT;
    case SDL_BUTTON_RIGHT:
        return MOUSE_RIGHT;
    case SDL_BUTTON_MIDDLE:
        return MOUSE_MIDDLE;
    default:
        return MOUSE_OTHER;
    }
}

static RawInputEvent translate(const SDL_Event& e) {
    RawInputEvent raw;
    switch (e.type) {
    case SDL_QUIT:
        raw.type = RawEventType::Close;
        break;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE)
            raw.type = RawEventType::Close;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        modifiers = e.key.keysym.mod;
        raw.type = e.type == SDL_KEYDOWN ? RawEventType::KeyDown : RawEventType::KeyUp;
        raw.key = keyCode(e.key.keysym.sym);
        raw.repeat = e.type == SDL_KEYDOWN && e.key.repeat != 0;
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        raw.type = e.type == SDL_MOUSEBUTTONDOWN ? RawEventType::MouseDown : RawEventType::MouseUp;
        raw.button = buttonCode(e.button.button);
        break;
    case SDL_MOUSEMOTION:
        raw.type = RawEventType::MouseMove;
        raw.dx = static_cast<float>(e.motion.xrel);
        raw.dy = static_cast<float>(e.motion.yrel);
        break;
    case SDL_MOUSEWHEEL:
        raw.type = RawEventType::MouseWheel;
        raw.wheel = static_cast<float>(e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y);
        break;
    default:
        break;
    }
    raw.modifiers = modifierBits(modifiers);
    return raw;
}

static void carryOut(InputAction action) {
    switch (action) {
    case InputAction::TakeCapture:
        SDL_CaptureMouse(SDL_TRUE);
        break;
    case InputAction::ReleaseCapture:
        SDL_CaptureMouse(SDL_FALSE);
        break;
    case InputAction::ToggleFullscreen:
        toggleBorderlessFullscreen();
        break;
    case InputAction::Consumed:
    case InputAction::DefaultHandler:
        break;
    }
}

// The program's answer, as the window carries it out.
static InputAction answer(const RawInputEvent& event) {
    return callbacks.input != nullptr ? callbacks.input(event) : InputAction::DefaultHandler;
}

static void handleRelease(const RawInputEvent& release) {
    carryOut(answer(release));
}

void pumpWindowMessages() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
            reportHeldReleases(&held, HELD_KEYS | HELD_BUTTONS, handleRelease);
        }
        const RawInputEvent raw = translate(event);
        noteHeldInput(&held, raw);
        carryOut(answer(raw));
    }
}

void readClientSize(int* width, int* height) {
    // X keeps the size of an iconified window; a minimised window shows nothing, as on Windows.
    if ((SDL_GetWindowFlags(window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0) {
        *width = 0;
        *height = 0;
        return;
    }
    SDL_GL_GetDrawableSize(window, width, height);
}

void presentFrame() {
    SDL_GL_SwapWindow(window);
}

void setSwapInterval(int interval) {
    SDL_GL_SetSwapInterval(interval); // fails harmlessly where the driver has no swap control
}

int readDisplayRefreshRate() {
    SDL_DisplayMode mode = {};
    if (window == nullptr || SDL_GetCurrentDisplayMode(SDL_GetWindowDisplayIndex(window), &mode) != 0)
        return 0;
    return mode.refresh_rate;
}

bool windowExists() {
    return window != nullptr;
}

void setWindowTitle(const char* text) {
    SDL_SetWindowTitle(window, text);
}

void formatWindowTitle(char* buffer, const char* format, unsigned fps, int frac, int reload) {
    std::snprintf(buffer, 64, format, fps, frac, reload);
}

bool openAuthorWindow(const WindowCallbacks& given, int width, int height, char* why, size_t whySize) {
    if (!startVideo(given, why, whySize))
        return false;
    window = SDL_CreateWindow("doz-engine", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN);
    return windowMade(why, whySize) && makeContextCurrent(why, whySize);
}

// Borderless over the display the window is on, by hand as on Windows: SDL's own desktop fullscreen asks
// the window manager, and without one nothing happens.
static bool fullscreen = false;
static SDL_Rect windowed = {0, 0, 0, 0};

void toggleBorderlessFullscreen() {
    if (!fullscreen) {
        SDL_Rect display = {0, 0, 0, 0};
        if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window), &display) != 0)
            return;
        SDL_GetWindowPosition(window, &windowed.x, &windowed.y);
        SDL_GetWindowSize(window, &windowed.w, &windowed.h);
        SDL_SetWindowBordered(window, SDL_FALSE);
        SDL_SetWindowPosition(window, display.x, display.y);
        SDL_SetWindowSize(window, display.w, display.h);
    } else {
        SDL_SetWindowBordered(window, SDL_TRUE);
        SDL_SetWindowSize(window, windowed.w, windowed.h);
        SDL_SetWindowPosition(window, windowed.x, windowed.y);
    }
    fullscreen = !fullscreen;
}

void showUsageError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

void showInformation(const char* text) {
    std::printf("%s\n", text);
}

const char* requiredGraphicsName() {
    return "OpenGL 3.3";
}

void showFatalError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    if (window != nullptr)
        SDL_ShowCursor(SDL_ENABLE); // the box needs a pointer to be clicked away
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "doz-engine", text, window);
}

void closeDemoWindow() {
    if (glContext != nullptr) {
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(glContext);
        glContext = nullptr;
    }
    if (window != nullptr) {
        SDL_ShowCursor(SDL_ENABLE);
        SDL_DestroyWindow(window);
        window = nullptr;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
