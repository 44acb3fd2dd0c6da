// Windows window: class "doz", a popup over the primary screen, a plain WGL context, and the window
// procedure that hands input to the portable input table.
#include "platform/input_event.h"
#include "platform/window.h"

#include <windows.h>

#include <cstdio>

static HWND window = nullptr;
static HDC deviceContext = nullptr;
static HGLRC glContext = nullptr;
static bool cursorHidden = false;

// Shift as of this message, not the keyboard now; asked only for the keys that it changes.
static bool shiftHeld() {
    return GetKeyState(VK_SHIFT) < 0;
}

static InputEvent translateKey(WPARAM key) {
    switch (key) {
    case VK_ESCAPE:
        return InputEvent::KeyEscape;
    case VK_SPACE:
        return InputEvent::KeySpace;
    case VK_LEFT:
        return shiftHeld() ? InputEvent::KeyShiftLeft : InputEvent::KeyLeft;
    case VK_RIGHT:
        return shiftHeld() ? InputEvent::KeyShiftRight : InputEvent::KeyRight;
    case VK_PRIOR:
        return InputEvent::KeyPageUp;
    case VK_NEXT:
        return InputEvent::KeyPageDown;
    case VK_HOME:
        return InputEvent::KeyHome;
    case VK_OEM_COMMA:
        return InputEvent::KeyComma;
    case VK_OEM_PERIOD:
        return InputEvent::KeyPeriod;
    case 'B':
        return InputEvent::KeyB;
    case 'N':
        return InputEvent::KeyN;
    case VK_BACK:
        return InputEvent::KeyBackspace;
    case 'R':
        return InputEvent::KeyR;
    case VK_F11:
        return InputEvent::KeyF11;
    default:
        return InputEvent::KeyOther;
    }
}

static InputEvent translate(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_CLOSE:
        return InputEvent::Close;
    case WM_DESTROY:
        return InputEvent::Destroy;
    case WM_KEYDOWN:
        return translateKey(wParam);
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
    // Bit 30 of a key message: the key was down already, so this is the system repeating it.
    bool autoRepeat = message == WM_KEYDOWN && (lParam & (1L << 30)) != 0;
    switch (handleInput(translate(message, wParam), autoRepeat)) {
    case InputAction::DefaultHandler:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case InputAction::TakeCapture:
        SetCapture(hwnd);
        break;
    case InputAction::ReleaseCapture:
        ReleaseCapture();
        break;
    case InputAction::ToggleFullscreen:
        toggleBorderlessFullscreen();
        break;
    case InputAction::Consumed:
        break;
    }
    return 0;
}

static bool refuse(char* why, int whySize, const char* step) {
    DWORD error = GetLastError();
    if (error != 0)
        std::snprintf(why, static_cast<size_t>(whySize), "%s (error %lu).", step, error);
    else
        std::snprintf(why, static_cast<size_t>(whySize), "%s.", step);
    return false;
}

// The window's device context with a double-buffered RGBA format and a plain context made current on it.
// A refusal names the step that failed: where Wine loaded no display driver, the window itself is missing.
static bool makeContextCurrent(char* why, int whySize) {
    if (window == nullptr)
        return refuse(why, whySize, "The window could not be made");
    deviceContext = GetDC(window);
    if (deviceContext == nullptr)
        return refuse(why, whySize, "The window gave no device context");

    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = 40;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    int formatIndex = ChoosePixelFormat(deviceContext, &format);
    if (formatIndex == 0)
        return refuse(why, whySize, "No pixel format fits a double-buffered RGBA window");
    if (!SetPixelFormat(deviceContext, formatIndex, &format))
        return refuse(why, whySize, "The pixel format could not be set");

    glContext = wglCreateContext(deviceContext);
    if (glContext == nullptr)
        return refuse(why, whySize, "No OpenGL context could be made");
    if (!wglMakeCurrent(deviceContext, glContext))
        return refuse(why, whySize, "The OpenGL context could not be made current");
    return true;
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
    return makeContextCurrent(why, whySize);
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

void setSwapInterval(int interval) {
    using SwapIntervalProc = BOOL(WINAPI*)(int);
    // WGL_EXT_swap_control: drivers without it answer the lookup with null (or a small number).
    PROC entry = wglGetProcAddress("wglSwapIntervalEXT");
    auto value = reinterpret_cast<INT_PTR>(entry);
    if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1)
        return;
    reinterpret_cast<SwapIntervalProc>(reinterpret_cast<void*>(entry))(interval);
}

int readDisplayRefreshRate() {
    // 0 and 1 stand for the hardware's default rate, which the driver does not name.
    int hz = deviceContext != nullptr ? GetDeviceCaps(deviceContext, VREFRESH) : 0;
    return hz > 1 ? hz : 0;
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
    // The box needs a pointer to be clicked away. The display count was lowered once; raise it once.
    if (cursorHidden)
        ShowCursor(TRUE);
    cursorHidden = false;
    MessageBoxA(window, text, "doz-engine", MB_OK | MB_ICONERROR);
}

bool openAuthorWindow(int width, int height, char* why, int whySize) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "doz";
    RegisterClassA(&windowClass);

    // The outer size that gives the asked-for client area.
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, style, FALSE);
    window =
        CreateWindowExA(0, "doz", "doz-engine", style, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                        frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    return makeContextCurrent(why, whySize);
}

// The usual borderless fullscreen: a popup over the whole monitor the window is on, and back.
static WINDOWPLACEMENT windowedPlacement;

void toggleBorderlessFullscreen() {
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if ((style & WS_OVERLAPPEDWINDOW) != 0) {
        windowedPlacement = {};
        windowedPlacement.length = sizeof windowedPlacement;
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof monitor;
        if (!GetWindowPlacement(window, &windowedPlacement) ||
            !GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor))
            return;
        SetWindowLongA(window, GWL_STYLE, (style & ~WS_OVERLAPPEDWINDOW) | WS_POPUP);
        const RECT& area = monitor.rcMonitor;
        SetWindowPos(window, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    } else {
        SetWindowLongA(window, GWL_STYLE, (style & ~WS_POPUP) | WS_OVERLAPPEDWINDOW);
        SetWindowPlacement(window, &windowedPlacement);
        SetWindowPos(window, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    }
}

void showUsageError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    MessageBoxA(nullptr, text, "doz-engine", MB_OK | MB_ICONERROR);
}

void showInformation(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
    MessageBoxA(nullptr, text, "doz-engine", MB_OK | MB_ICONINFORMATION);
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
