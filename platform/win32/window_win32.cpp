// Windows window: class "doz", a popup over the primary screen, a plain WGL context, and the window
// procedure that hands input to the portable input table.
#include "app/input.h"
#include "platform/window.h"

#include <windows.h>

#include <cstdio>

static HWND window = nullptr;
static HDC deviceContext = nullptr;
static HGLRC glContext = nullptr;
static bool cursorHidden = false;

static InputEvent translate(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_CLOSE:
        return InputEvent::Close;
    case WM_DESTROY:
        return InputEvent::Destroy;
    case WM_KEYDOWN:
        return wParam == VK_ESCAPE ? InputEvent::KeyEscape : InputEvent::KeyOther;
    case WM_LBUTTONDOWN:
        return (wParam & MK_SHIFT) != 0 ? InputEvent::ShiftLeftDown : InputEvent::LeftDown;
    case WM_LBUTTONUP:
        return InputEvent::LeftUp;
    case WM_MBUTTONDOWN:
        return InputEvent::MiddleDown;
    case WM_MBUTTONUP:
        return InputEvent::MiddleUp;
    case WM_RBUTTONDOWN:
        return InputEvent::RightDown;
    case WM_MOUSEMOVE:
        return InputEvent::MouseMove;
    case WM_MOUSEWHEEL:
        return InputEvent::MouseWheel;
    default:
        return InputEvent::Other;
    }
}

static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (handleInput(translate(message, wParam))) {
    case InputAction::DefaultHandler:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case InputAction::TakeCapture:
        SetCapture(hwnd);
        break;
    case InputAction::ReleaseCapture:
        ReleaseCapture();
        break;
    case InputAction::Consumed:
        break;
    }
    return 0;
}

bool openDemoWindow(char* why, int whySize) {
    HINSTANCE instance = GetModuleHandleA(nullptr);

    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = windowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr; // never erased
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = "doz";
    RegisterClassA(&windowClass);

    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    window = CreateWindowExA(0, "doz", "doz-engine", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                             nullptr, instance, nullptr);
    ShowCursor(FALSE);
    cursorHidden = true;
    deviceContext = GetDC(window);

    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = 40;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    SetPixelFormat(deviceContext, ChoosePixelFormat(deviceContext, &format), &format);

    glContext = wglCreateContext(deviceContext);
    if (glContext == nullptr || !wglMakeCurrent(deviceContext, glContext)) {
        std::snprintf(why, static_cast<size_t>(whySize), "No OpenGL context could be made (error %lu).",
                      GetLastError());
        return false;
    }
    return true;
}

void pumpWindowMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void readClientSize(int* width, int* height) {
    RECT client;
    GetClientRect(window, &client);
    *width = client.right;
    *height = client.bottom;
}

void presentFrame() {
    SwapBuffers(deviceContext);
}

bool windowExists() {
    return window != nullptr;
}

void setWindowTitle(const char* text) {
    SetWindowTextA(window, text);
}

void formatWindowTitle(char* buffer, const char* format, unsigned fps, int frac, int reload) {
    wsprintfA(buffer, format, fps, frac, reload);
}

void showFatalError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    MessageBoxA(window, text, "doz-engine", MB_OK | MB_ICONERROR);
}

void closeDemoWindow() {
    if (glContext != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(glContext);
        glContext = nullptr;
    }
    if (deviceContext != nullptr)
        ReleaseDC(window, deviceContext);
    deviceContext = nullptr;
    if (window != nullptr)
        DestroyWindow(window); // its WM_DESTROY only stops the run, which has stopped already
    window = nullptr;
    if (cursorHidden)
        ShowCursor(TRUE);
    cursorHidden = false;
}
