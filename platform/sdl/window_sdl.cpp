// Linux-native window: an SDL2 borderless window over the primary display with a plain GL context.
#include "platform/input_event.h"
#include "platform/window.h"

#include <SDL.h>

#include <cstdio>

static SDL_Window* window = nullptr;
static SDL_GLContext glContext = nullptr;
// The modifier keys as of the event being handled. SDL's own modifier state is that after everything
// queued so far, so a quick Shift+click whose Shift release came in the same batch would read as plain.
static Uint16 modifiers = 0;

// The modifiers as the window opens, then a context made current on it.
static bool makeContextCurrent(char* why, int whySize) {
    modifiers = static_cast<Uint16>(SDL_GetModState());
    glContext = SDL_GL_CreateContext(window);
    if (glContext == nullptr || SDL_GL_MakeCurrent(window, glContext) != 0) {
        std::snprintf(why, static_cast<size_t>(whySize), "No OpenGL context: %s", SDL_GetError());
        return false;
    }
    return true;
}

bool openDemoWindow(char* why, int whySize) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::snprintf(why, static_cast<size_t>(whySize), "No video: %s", SDL_GetError());
        return false;
    }
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // Double-buffered RGB with no depth or stencil; no profile asked for, so a compatibility context.
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);

    SDL_Rect screen = {0, 0, 640, 480};
    SDL_GetDisplayBounds(0, &screen);
    window = SDL_CreateWindow("doz-engine", screen.x, screen.y, screen.w, screen.h,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP |
                                  SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        std::snprintf(why, static_cast<size_t>(whySize), "No OpenGL window: %s", SDL_GetError());
        return false;
    }
    SDL_ShowCursor(SDL_DISABLE);
    return makeContextCurrent(why, whySize);
}

static InputEvent translateKey(SDL_Keycode key, bool shift) {
    switch (key) {
    case SDLK_ESCAPE:
        return InputEvent::KeyEscape;
    case SDLK_SPACE:
        return InputEvent::KeySpace;
    case SDLK_LEFT:
        return shift ? InputEvent::KeyShiftLeft : InputEvent::KeyLeft;
    case SDLK_RIGHT:
        return shift ? InputEvent::KeyShiftRight : InputEvent::KeyRight;
    case SDLK_PAGEUP:
        return InputEvent::KeyPageUp;
    case SDLK_PAGEDOWN:
        return InputEvent::KeyPageDown;
    case SDLK_HOME:
        return InputEvent::KeyHome;
    case SDLK_COMMA:
        return InputEvent::KeyComma;
    case SDLK_PERIOD:
        return InputEvent::KeyPeriod;
    case SDLK_b:
        return InputEvent::KeyB;
    case SDLK_n:
        return InputEvent::KeyN;
    case SDLK_BACKSPACE:
        return InputEvent::KeyBackspace;
    case SDLK_r:
        return InputEvent::KeyR;
    case SDLK_F11:
        return InputEvent::KeyF11;
    default:
        return InputEvent::KeyOther;
    }
}

static InputEvent translate(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        return InputEvent::Close;
    case SDL_WINDOWEVENT:
        return e.window.event == SDL_WINDOWEVENT_CLOSE ? InputEvent::Close : InputEvent::Other;
    case SDL_KEYDOWN:
        modifiers = e.key.keysym.mod;
        return translateKey(e.key.keysym.sym, (modifiers & KMOD_SHIFT) != 0);
    case SDL_KEYUP:
        modifiers = e.key.keysym.mod;
        return InputEvent::Other;
    case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT)
            return (modifiers & KMOD_SHIFT) != 0 ? InputEvent::ShiftLeftDown : InputEvent::LeftDown;
        if (e.button.button == SDL_BUTTON_MIDDLE)
            return InputEvent::MiddleDown;
        return e.button.button == SDL_BUTTON_RIGHT ? InputEvent::RightDown : InputEvent::Other;
    case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT)
            return InputEvent::LeftUp;
        return e.button.button == SDL_BUTTON_MIDDLE ? InputEvent::MiddleUp : InputEvent::Other;
    case SDL_MOUSEMOTION:
        return InputEvent::MouseMove;
    case SDL_MOUSEWHEEL:
        return InputEvent::MouseWheel;
    default:
        return InputEvent::Other;
    }
}

void pumpWindowMessages() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        bool autoRepeat = event.type == SDL_KEYDOWN && event.key.repeat != 0;
        switch (handleInput(translate(event), autoRepeat)) {
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

bool openAuthorWindow(int width, int height, char* why, int whySize) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::snprintf(why, static_cast<size_t>(whySize), "No video: %s", SDL_GetError());
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    window = SDL_CreateWindow("doz-engine", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        std::snprintf(why, static_cast<size_t>(whySize), "No OpenGL window: %s", SDL_GetError());
        return false;
    }
    return makeContextCurrent(why, whySize);
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
