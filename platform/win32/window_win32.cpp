// Windows window: class "doz", a popup over the primary screen, a plain WGL context, and the window
// procedure that hands input to the portable input table.
#include "platform/input_event.h"
#include "platform/shared/held_input.h"
#include "platform/window.h"

#include <windows.h>

#include <cstdio>

static HWND window = nullptr;
static HDC deviceContext = nullptr;
static HGLRC glContext = nullptr;
static bool cursorHidden = false;

// The last cursor position in the client area, for motion as a step from it.
static int lastMouseX = 0, lastMouseY = 0;
static bool mouseSeen = false;
// What the window has been told is down, for the releases it is never told of once it loses focus.
static HeldInput held;

// Modifiers as of this message, not the keyboard now.
static unsigned keyModifiers() {
    unsigned bits = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        bits |= MODIFIER_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0)
        bits |= MODIFIER_CTRL;
    if (GetKeyState(VK_MENU) < 0)
        bits |= MODIFIER_ALT;
    return bits;
}

// A mouse message says Shift and Ctrl itself.
static unsigned mouseModifiers(WPARAM wParam) {
    unsigned bits = 0;
    if ((wParam & MK_SHIFT) != 0)
        bits |= MODIFIER_SHIFT;
    if ((wParam & MK_CONTROL) != 0)
        bits |= MODIFIER_CTRL;
    return bits;
}

static int keyCode(WPARAM key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || key == VK_SPACE)
        return static_cast<int>(key);
    switch (key) {
    case VK_OEM_COMMA:
        return KEY_COMMA;
    case VK_OEM_PERIOD:
        return KEY_PERIOD;
    case VK_OEM_MINUS:
        return KEY_MINUS;
    case VK_OEM_PLUS:
        return KEY_EQUAL;
    case VK_OEM_4:
        return KEY_LEFT_BRACKET;
    case VK_OEM_6:
        return KEY_RIGHT_BRACKET;
    case VK_ESCAPE:
        return KEY_ESCAPE;
    case VK_RETURN:
        return KEY_ENTER;
    case VK_TAB:
        return KEY_TAB;
    case VK_BACK:
        return KEY_BACKSPACE;
    case VK_RIGHT:
        return KEY_RIGHT;
    case VK_LEFT:
        return KEY_LEFT;
    case VK_DOWN:
        return KEY_DOWN;
    case VK_UP:
        return KEY_UP;
    case VK_PRIOR:
        return KEY_PAGE_UP;
    case VK_NEXT:
        return KEY_PAGE_DOWN;
    case VK_HOME:
        return KEY_HOME;
    case VK_END:
        return KEY_END;
    case VK_F11:
        return KEY_F11;
    case VK_ADD:
        return KEY_KEYPAD_ADD;
    case VK_SUBTRACT:
        return KEY_KEYPAD_SUBTRACT;
    default:
        return KEY_NONE;
    }
}

static RawInputEvent mouseButton(RawEventType type, int button, WPARAM wParam) {
    RawInputEvent raw;
    raw.type = type;
    raw.button = button;
    raw.modifiers = mouseModifiers(wParam);
    return raw;
}

static RawInputEvent translate(UINT message, WPARAM wParam, LPARAM lParam) {
    RawInputEvent raw;
    switch (message) {
    case WM_CLOSE:
        raw.type = RawEventType::Close;
        break;
    case WM_DESTROY:
        raw.type = RawEventType::Destroy;
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN: // a key with Alt held, or F10
    case WM_SYSKEYUP: {
        const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
        raw.type = down ? RawEventType::KeyDown : RawEventType::KeyUp;
        raw.key = keyCode(wParam);
        // Bit 30 of a key message: the key was down already, so this is the system repeating it.
        raw.repeat = down && (lParam & (1L << 30)) != 0;
        raw.modifiers = keyModifiers();
        break;
    }
    case WM_LBUTTONDOWN:
        return mouseButton(RawEventType::MouseDown, MOUSE_LEFT, wParam);
    case WM_LBUTTONUP:
        return mouseButton(RawEventType::MouseUp, MOUSE_LEFT, wParam);
    case WM_MBUTTONDOWN:
        return mouseButton(RawEventType::MouseDown, MOUSE_MIDDLE, wParam);
    case WM_MBUTTONUP:
        return mouseButton(RawEventType::MouseUp, MOUSE_MIDDLE, wParam);
    case WM_RBUTTONDOWN:
        return mouseButton(RawEventType::MouseDown, MOUSE_RIGHT, wParam);
    case WM_RBUTTONUP:
        return mouseButton(RawEventType::MouseUp, MOUSE_RIGHT, wParam);
    case WM_MOUSEMOVE: {
        raw = mouseButton(RawEventType::MouseMove, MOUSE_LEFT, wParam);
        int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
        if (mouseSeen) {
            raw.dx = static_cast<float>(x - lastMouseX);
            raw.dy = static_cast<float>(y - lastMouseY);
        }
        mouseSeen = true;
        lastMouseX = x;
        lastMouseY = y;
        break;
    }
    case WM_MOUSEWHEEL:
        raw = mouseButton(RawEventType::MouseWheel, MOUSE_LEFT, wParam);
        raw.wheel = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
        break;
    default:
        break;
    }
    return raw;
}

// A release the window was never told of, as if it had come; what the mouse does follows the buttons held.
static void handleRelease(const RawInputEvent& release) {
    handleRawInput(release);
}

// Whether the window took the mouse itself: the system's move and size loops take it for the window too,
// and must keep it.
static bool mouseTaken = false;

// The mouse stays with the window while any button is held, so that a release outside it still comes here.
static void captureWhileButtonsHeld(HWND hwnd) {
    const bool any = anyButtonHeld(held);
    if (any && !mouseTaken) {
        SetCapture(hwnd);
        mouseTaken = true;
    } else if (!any && mouseTaken) {
        mouseTaken = false;
        ReleaseCapture(); // its WM_CAPTURECHANGED finds no button held
    }
}

static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KILLFOCUS: // Alt+Tab, a click in another window: its keys and buttons go there now
        reportHeldReleases(&held, HELD_KEYS | HELD_BUTTONS, handleRelease);
        break;
    case WM_CAPTURECHANGED: // another window took the mouse
        if (reinterpret_cast<HWND>(lParam) != hwnd) {
            mouseTaken = false;
            reportHeldReleases(&held, HELD_BUTTONS, handleRelease);
        }
        break;
    default:
        break;
    }
    const RawInputEvent raw = translate(message, wParam, lParam);
    noteHeldInput(&held, raw);
    const InputAction action = handleRawInput(raw);
    // Taking and giving back the mouse follows the buttons held, whatever a button means above.
    captureWhileButtonsHeld(hwnd);
    switch (action) {
    case InputAction::DefaultHandler:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case InputAction::ToggleFullscreen:
        toggleBorderlessFullscreen();
        break;
    case InputAction::TakeCapture:
    case InputAction::ReleaseCapture:
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
