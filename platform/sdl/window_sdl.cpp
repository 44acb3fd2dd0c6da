// Linux-native window: an SDL2 borderless window over the primary display with a plain GL context.
#include "app/input.h"
#include "platform/window.h"

#include <SDL.h>

#include <cstdio>

static SDL_Window* window = nullptr;
static SDL_GLContext glContext = nullptr;
// The modifier keys as of the event being handled. SDL's own modifier state is that after everything
// queued so far, so a quick Shift+click whose Shift release came in the same batch would read as plain.
static Uint16 modifiers = 0;

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
    modifiers = static_cast<Uint16>(SDL_GetModState());
    glContext = SDL_GL_CreateContext(window);
    if (glContext == nullptr || SDL_GL_MakeCurrent(window, glContext) != 0) {
        std::snprintf(why, static_cast<size_t>(whySize), "No OpenGL context: %s", SDL_GetError());
        return false;
    }
    return true;
}

static InputEvent translate(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        return InputEvent::Close;
    case SDL_WINDOWEVENT:
        return e.window.event == SDL_WINDOWEVENT_CLOSE ? InputEvent::Close : InputEvent::Other;
    case SDL_KEYDOWN:
        modifiers = e.key.keysym.mod;
        return e.key.keysym.sym == SDLK_ESCAPE ? InputEvent::KeyEscape : InputEvent::KeyOther;
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
        switch (handleInput(translate(event))) {
        case InputAction::TakeCapture:
            SDL_CaptureMouse(SDL_TRUE);
            break;
        case InputAction::ReleaseCapture:
            SDL_CaptureMouse(SDL_FALSE);
            break;
        case InputAction::Consumed:
        case InputAction::DefaultHandler:
            break;
        }
    }
}

void readClientSize(int* width, int* height) {
    SDL_GL_GetDrawableSize(window, width, height);
}

void presentFrame() {
    SDL_GL_SwapWindow(window);
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

void showFatalError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
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
