// Windows window: class "doz", a popup over the primary screen, a plain WGL context, and the window
// procedure that hands input to the portable input table.
#include "platform/held_input.h"
#include "platform/input_event.h"
#include "platform/window.h"

#include <windows.h>

#include <cstdio>

static HWND window = nullptr;
// Where the window's input goes, as the program gave it when the window opened (before it exists: the
// window procedure runs inside CreateWindowEx).
static WindowCallbacks callbacks;
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

// Windows' virtual keys against the raw key set; letters, digits and Space are their own ASCII codes.
static const struct {
    WPARAM vk;
    int key;
} VIRTUAL_KEYS[] = {
    {VK_OEM_7, KEY_APOSTROPHE},
    {VK_OEM_COMMA, KEY_COMMA},
    {VK_OEM_MINUS, KEY_MINUS},
    {VK_OEM_PERIOD, KEY_PERIOD},
    {VK_OEM_2, KEY_SLASH},
    {VK_OEM_1, KEY_SEMICOLON},
    {VK_OEM_PLUS, KEY_EQUAL},
    {VK_OEM_4, KEY_LEFT_BRACKET},
    {VK_OEM_5, KEY_BACKSLASH},
    {VK_OEM_6, KEY_RIGHT_BRACKET},
    {VK_OEM_3, KEY_GRAVE_ACCENT},
    {VK_ESCAPE, KEY_ESCAPE},
    {VK_RETURN, KEY_ENTER},
    {VK_TAB, KEY_TAB},
    {VK_BACK, KEY_BACKSPACE},
    {VK_INSERT, KEY_INSERT},
    {VK_DELETE, KEY_DELETE},
    {VK_RIGHT, KEY_RIGHT},
    {VK_LEFT, KEY_LEFT},
    {VK_DOWN, KEY_DOWN},
    {VK_UP, KEY_UP},
    {VK_PRIOR, KEY_PAGE_UP},
    {VK_NEXT, KEY_PAGE_DOWN},
    {VK_HOME, KEY_HOME},
    {VK_END, KEY_END},
    {VK_CAPITAL, KEY_CAPS_LOCK},
    {VK_SCROLL, KEY_SCROLL_LOCK},
    {VK_NUMLOCK, KEY_NUM_LOCK},
    {VK_SNAPSHOT, KEY_PRINT_SCREEN},
    {VK_PAUSE, KEY_PAUSE},
    {VK_F1, KEY_F1},
    {VK_F2, KEY_F2},
    {VK_F3, KEY_F3},
    {VK_F4, KEY_F4},
    {VK_F5, KEY_F5},
    {VK_F6, KEY_F6},
    {VK_F7, KEY_F7},
    {VK_F8, KEY_F8},
    {VK_F9, KEY_F9},
    {VK_F10, KEY_F10},
    {VK_F11, KEY_F11},
    {VK_F12, KEY_F12},
    {VK_DECIMAL, KEY_KEYPAD_DECIMAL},
    {VK_DIVIDE, KEY_KEYPAD_DIVIDE},
    {VK_MULTIPLY, KEY_KEYPAD_MULTIPLY},
    {VK_SUBTRACT, KEY_KEYPAD_SUBTRACT},
    {VK_ADD, KEY_KEYPAD_ADD},
    {VK_LSHIFT, KEY_LEFT_SHIFT},
    {VK_LCONTROL, KEY_LEFT_CONTROL},
    {VK_LMENU, KEY_LEFT_ALT},
    {VK_LWIN, KEY_LEFT_SUPER},
    {VK_RSHIFT, KEY_RIGHT_SHIFT},
    {VK_RCONTROL, KEY_RIGHT_CONTROL},
    {VK_RMENU, KEY_RIGHT_ALT},
    {VK_RWIN, KEY_RIGHT_SUPER},
    {VK_APPS, KEY_MENU},
};

// The message's virtual key; `extended` (bit 24 of lParam) tells the right Ctrl and Alt and the keypad's
// Enter from their left and main twins, which share a virtual key.
static int keyCode(WPARAM key, LPARAM lParam) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || key == VK_SPACE)
        return static_cast<int>(key);
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9)
        return KEY_KEYPAD_0 + static_cast<int>(key - VK_NUMPAD0);
    const bool extended = (lParam & (1 << 24)) != 0;
    switch (key) {
    case VK_SHIFT:
        return ((lParam >> 16) & 0xFF) == 0x36 ? KEY_RIGHT_SHIFT : KEY_LEFT_SHIFT;
    case VK_CONTROL:
        return extended ? KEY_RIGHT_CONTROL : KEY_LEFT_CONTROL;
    case VK_MENU:
        return extended ? KEY_RIGHT_ALT : KEY_LEFT_ALT;
    case VK_RETURN:
        return extended ? KEY_KEYPAD_ENTER : KEY_ENTER;
    default:
        break;
    }
    for (const auto& named : VIRTUAL_KEYS)
        if (named.vk == key)
            return named.key;
    return KEY_NONE;
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
        raw.key = keyCode(wParam, lParam);
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
    if (callbacks.input != nullptr)
        callbacks.input(release);
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
    const InputAction action =
        callbacks.input != nullptr ? callbacks.input(raw) : InputAction::DefaultHandler;
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

static bool refuse(char* why, size_t whySize, const char* step) {
    DWORD error = GetLastError();
    if (error != 0)
        std::snprintf(why, whySize, "%s (error %lu).", step, error);
    else
        std::snprintf(why, whySize, "%s.", step);
    return false;
}

// The window's device context with a double-buffered RGBA format and a plain context made current on it.
// A refusal names the step that failed: where Wine loaded no display driver, the window itself is missing.
static bool makeContextCurrent(char* why, size_t whySize) {
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

// The window class both windows share, its procedure handing input to `given`; never erased.
static HINSTANCE registerWindowClass(const WindowCallbacks& given) {
    callbacks = given;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "doz";
    RegisterClassA(&windowClass);
    return instance;
}

bool openDemoWindow(const WindowCallbacks& given, char* why, size_t whySize) {
    HINSTANCE instance = registerWindowClass(given);
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

const char* requiredGraphicsName() {
    return "OpenGL 3.3";
}

void showFatalError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    // The box needs a pointer to be clicked away. The display count was lowered once; raise it once.
    if (cursorHidden)
        ShowCursor(TRUE);
    cursorHidden = false;
    MessageBoxA(window, text, "doz-engine", MB_OK | MB_ICONERROR);
}

bool openAuthorWindow(const WindowCallbacks& given, int width, int height, char* why, size_t whySize) {
    HINSTANCE instance = registerWindowClass(given);
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
