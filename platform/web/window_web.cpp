// The browser's window: a canvas filling the page with a WebGL 2 context, html5 keys and clicks into the
// input table, fullscreen through the Fullscreen API, the page's visibility and freezing as lifecycle
// events, the page's title, and plain messages in the page where a desktop would show a box.
#include "platform/held_input.h"
#include "platform/input_event.h"
#include "platform/web/web_page.h"
#include "platform/window.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

static const char* const CANVAS = "#canvas";

static EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
static bool exists = false;
// Where the window's input, gestures and lifecycle go, as the program gave them when the window opened.
static WindowCallbacks callbacks;
// Events wait here, in arrival order, until the frame pass empties the queue. However slow the frames, none
// is dropped: a lost release would leave a key held.
static std::vector<RawInputEvent> queued;
// The buttons pressed on the canvas and not yet released there: a release off the canvas, in another window
// or on a hidden page never comes, so a blur or a hidden page lets go of them.
static HeldInput held;

// Input waits for the frame pass only while the run plays: before the first click and after the end there is
// no pass to take it.
static void queueInput(const RawInputEvent& event) {
    if (callbacks.playing != nullptr && callbacks.playing())
        queued.push_back(event);
}

// The browser lets sound start only inside the user's gesture: the program gets its chance there.
static bool takenInGesture(const RawInputEvent& event) {
    wakeSound();
    return callbacks.gesture != nullptr && callbacks.gesture(event);
}

static void reportLifecycle(WindowLifecycle event, bool on) {
    if (callbacks.lifecycle != nullptr)
        callbacks.lifecycle(event, on);
}

EM_JS(void, showPageMessageJs, (const char* text), {
    var box = document.getElementById('message');
    if (!box) {
        box = document.createElement('pre');
        box.id = 'message';
        document.body.appendChild(box);
    }
    box.textContent = UTF8ToString(text);
    box.style.display = 'block';
    var canvas = document.getElementById('canvas');
    if (canvas)
        canvas.style.display = 'none';
});

EM_JS(void, showPageNoticeJs, (const char* text), {
    var notice = document.getElementById('notice');
    if (!notice)
        return;
    var value = UTF8ToString(text);
    notice.textContent = value;
    notice.style.display = value.length ? 'flex' : 'none';
});

// WebGL has no GL_CLAMP (0x2900); with the credits' black border it samples as GL_CLAMP_TO_EDGE (0x812F)
// does.
EM_JS(void, mapDesktopClampJs, (), {
    var gl = GLctx;
    var texParameteri = gl.texParameteri.bind(gl);
    gl.texParameteri = function(target, name, value) {
        texParameteri(target, name, value == 0x2900 ? 0x812F : value);
    };
});

// Says in the console which WebGL the page got: the version and the renderer behind it, where told.
EM_JS(void, reportRendererJs, (), {
    var gl = GLctx;
    var renderer = gl.getParameter(gl.RENDERER);
    var info = gl.getExtension('WEBGL_debug_renderer_info');
    if (info)
        renderer = gl.getParameter(info.UNMASKED_RENDERER_WEBGL);
    console.log('doz-engine: ' + gl.getParameter(gl.VERSION) + ', renderer ' + renderer);
});

EM_JS(int, inFullscreenJs, (), { return document.fullscreenElement ? 1 : 0; });

EM_JS(void, exitFullscreenJs, (), {
    if (document.fullscreenElement)
        document.exitFullscreen().catch(function(){});
});

EM_JS(void, toggleFullscreenJs, (), {
    if (document.fullscreenElement) {
        document.exitFullscreen().catch(function(){});
        return;
    }
    // Allowed shortly after the key or double click that asked for it (the browser's transient activation).
    var root = document.documentElement;
    if (root.requestFullscreen)
        root.requestFullscreen().catch(
            function(e) { console.warn('doz-engine: no fullscreen (' + e + ')'); });
});

// A frozen page runs nothing until it resumes: the run holds before, as for a hidden page.
EM_JS(void, watchFreezeJs, (), {
    document.addEventListener(
        'freeze', function() { Module._dozPageFrozen(1); });
    document.addEventListener(
        'resume', function() { Module._dozPageFrozen(0); });
});

// The browser's names of the keys that print nothing (its `key`), against the raw key set.
static const struct {
    const char* name;
    int code;
} NAMED_KEYS[] = {
    {"Escape", KEY_ESCAPE},
    {"Esc", KEY_ESCAPE},
    {"Enter", KEY_ENTER},
    {"Tab", KEY_TAB},
    {"Backspace", KEY_BACKSPACE},
    {"Insert", KEY_INSERT},
    {"Delete", KEY_DELETE},
    {"ArrowRight", KEY_RIGHT},
    {"ArrowLeft", KEY_LEFT},
    {"ArrowDown", KEY_DOWN},
    {"ArrowUp", KEY_UP},
    {"PageUp", KEY_PAGE_UP},
    {"PageDown", KEY_PAGE_DOWN},
    {"Home", KEY_HOME},
    {"End", KEY_END},
    {"CapsLock", KEY_CAPS_LOCK},
    {"ScrollLock", KEY_SCROLL_LOCK},
    {"NumLock", KEY_NUM_LOCK},
    {"PrintScreen", KEY_PRINT_SCREEN},
    {"Pause", KEY_PAUSE},
    {"F1", KEY_F1},
    {"F2", KEY_F2},
    {"F3", KEY_F3},
    {"F4", KEY_F4},
    {"F5", KEY_F5},
    {"F6", KEY_F6},
    {"F7", KEY_F7},
    {"F8", KEY_F8},
    {"F9", KEY_F9},
    {"F10", KEY_F10},
    {"F11", KEY_F11},
    {"F12", KEY_F12},
    {"ContextMenu", KEY_MENU},
};

// The keypad's and the modifiers' own keys, by where they are (`code`): their `key` is a character or
// is shared with their twins.
static const struct {
    const char* code;
    int key;
} PLACED_KEYS[] = {
    {"NumpadDecimal", KEY_KEYPAD_DECIMAL},
    {"NumpadDivide", KEY_KEYPAD_DIVIDE},
    {"NumpadMultiply", KEY_KEYPAD_MULTIPLY},
    {"NumpadSubtract", KEY_KEYPAD_SUBTRACT},
    {"NumpadAdd", KEY_KEYPAD_ADD},
    {"NumpadEnter", KEY_KEYPAD_ENTER},
    {"NumpadEqual", KEY_KEYPAD_EQUAL},
    {"ShiftLeft", KEY_LEFT_SHIFT},
    {"ControlLeft", KEY_LEFT_CONTROL},
    {"AltLeft", KEY_LEFT_ALT},
    {"MetaLeft", KEY_LEFT_SUPER},
    {"ShiftRight", KEY_RIGHT_SHIFT},
    {"ControlRight", KEY_RIGHT_CONTROL},
    {"AltRight", KEY_RIGHT_ALT},
    {"MetaRight", KEY_RIGHT_SUPER},
    {"Space", KEY_SPACE},
    {"Quote", KEY_APOSTROPHE},
    {"Comma", KEY_COMMA},
    {"Minus", KEY_MINUS},
    {"Period", KEY_PERIOD},
    {"Slash", KEY_SLASH},
    {"Semicolon", KEY_SEMICOLON},
    {"Equal", KEY_EQUAL},
    {"BracketLeft", KEY_LEFT_BRACKET},
    {"Backslash", KEY_BACKSLASH},
    {"BracketRight", KEY_RIGHT_BRACKET},
    {"Backquote", KEY_GRAVE_ACCENT},
};

// The key a browser names ("a", "ArrowLeft", with its place "KeyA", "Numpad4") as a raw key code.
static int keyCode(const char* key, const char* code) {
    if (std::strncmp(code, "Numpad", 6) == 0 && code[6] >= '0' && code[6] <= '9' && code[7] == '\0')
        return KEY_KEYPAD_0 + (code[6] - '0');
    for (const auto& placed : PLACED_KEYS)
        if (std::strcmp(code, placed.code) == 0)
            return placed.key;
    // Letters and digits by place too, so that Shift and the layout's other characters name the same key.
    if (std::strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z' && code[4] == '\0')
        return code[3];
    if (std::strncmp(code, "Digit", 5) == 0 && code[5] >= '0' && code[5] <= '9' && code[6] == '\0')
        return code[5];
    if (key[0] != '\0' && key[1] == '\0') {
        char c = key[0];
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 'A';
        if (c >= ' ' && c <= '`')
            return c;
        return KEY_NONE;
    }
    for (const auto& named : NAMED_KEYS)
        if (std::strcmp(key, named.name) == 0)
            return named.code;
    return KEY_NONE;
}

static unsigned modifierBits(bool shift, bool ctrl, bool alt, bool meta) {
    return (shift ? MODIFIER_SHIFT : 0u) | (ctrl ? MODIFIER_CTRL : 0u) | (alt ? MODIFIER_ALT : 0u) |
           (meta ? MODIFIER_SUPER : 0u);
}

static EM_BOOL keyDown(int, const EmscriptenKeyboardEvent* event, void*) {
    RawInputEvent raw;
    raw.type = RawEventType::KeyDown;
    raw.key = keyCode(event->key, event->code);
    raw.modifiers = modifierBits(event->shiftKey, event->ctrlKey, event->altKey, event->metaKey);
    raw.repeat = event->repeat != 0;
    if (callbacks.inputWanted == nullptr || !callbacks.inputWanted(raw))
        return EM_FALSE; // the browser keeps its own keys
    // As browsers do: in fullscreen, Escape leaves fullscreen; the next one ends the run.
    if (raw.key == KEY_ESCAPE && inFullscreenJs()) {
        exitFullscreenJs();
        return EM_TRUE;
    }
    if (!takenInGesture(raw))
        queueInput(raw);
    return EM_TRUE; // Space and the arrows do not scroll the page
}

static RawInputEvent mouseEvent(RawEventType type, const EmscriptenMouseEvent* event) {
    RawInputEvent raw;
    raw.type = type;
    raw.button = event->button == 0 ? MOUSE_LEFT : event->button == 1 ? MOUSE_MIDDLE : MOUSE_RIGHT;
    raw.modifiers = modifierBits(event->shiftKey, event->ctrlKey, event->altKey, event->metaKey);
    return raw;
}

static void queueButton(const RawInputEvent& event) {
    noteHeldInput(&held, event);
    queueInput(event);
}

static void letGoOfButtons() {
    reportHeldReleases(&held, HELD_BUTTONS, queueInput);
}

static EM_BOOL mouseDown(int, const EmscriptenMouseEvent* event, void*) {
    const RawInputEvent raw = mouseEvent(RawEventType::MouseDown, event);
    if (event->button == 0 && takenInGesture(raw))
        return EM_TRUE;
    queueButton(raw);
    return EM_TRUE;
}

static EM_BOOL doubleClick(int, const EmscriptenMouseEvent* event, void*) {
    if (event->button == 0)
        queueInput(mouseEvent(RawEventType::DoubleClick, event));
    return EM_TRUE;
}

extern "C" EMSCRIPTEN_KEEPALIVE void dozPageFrozen(int frozen) {
    reportLifecycle(WindowLifecycle::Frozen, frozen != 0);
}

// Called by the sound when the system stops its audio context under it, and when it runs again.
extern "C" EMSCRIPTEN_KEEPALIVE void dozSoundInterrupted(int interrupted) {
    reportLifecycle(WindowLifecycle::SoundInterrupted, interrupted != 0);
}

static EM_BOOL visibilityChange(int, const EmscriptenVisibilityChangeEvent* event, void*) {
    if (event->hidden != 0)
        letGoOfButtons();
    reportLifecycle(WindowLifecycle::Hidden, event->hidden != 0);
    return EM_FALSE;
}

static EM_BOOL blur(int, const EmscriptenFocusEvent*, void*) {
    letGoOfButtons();
    return EM_FALSE;
}

static EM_BOOL mouseUp(int, const EmscriptenMouseEvent* event, void*) {
    queueButton(mouseEvent(RawEventType::MouseUp, event));
    return EM_TRUE;
}

static EM_BOOL contextLost(int, const void*, void*) {
    if (callbacks.contextLost != nullptr)
        callbacks.contextLost();
    return EM_TRUE;
}

bool openDemoWindow(const WindowCallbacks& given, char* why, size_t whySize) {
    callbacks = given;
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    // Double-buffered RGB without depth or stencil, as the desktop pixel format.
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
    int width = 0, height = 0;
    fitCanvasToPage(&width, &height);
    context = emscripten_webgl_create_context(CANVAS, &attributes);
    if (context <= 0) {
        std::snprintf(why, whySize, "This browser offers no WebGL 2 on the page's canvas.");
        return false;
    }
    emscripten_webgl_make_context_current(context);
    mapDesktopClampJs();
    reportRendererJs();
    emscripten_set_webglcontextlost_callback(CANVAS, nullptr, EM_FALSE, contextLost);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, keyDown);
    emscripten_set_mousedown_callback(CANVAS, nullptr, EM_FALSE, mouseDown);
    emscripten_set_mouseup_callback(CANVAS, nullptr, EM_FALSE, mouseUp);
    emscripten_set_dblclick_callback(CANVAS, nullptr, EM_FALSE, doubleClick);
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, visibilityChange);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, blur);
    watchFreezeJs();
    exists = true;
    return true;
}

void fitCanvasToPage(int* width, int* height) {
    double cssWidth = 0.0, cssHeight = 0.0;
    emscripten_get_element_css_size(CANVAS, &cssWidth, &cssHeight);
    const double ratio = emscripten_get_device_pixel_ratio();
    int wanted[2] = {static_cast<int>(std::lround(cssWidth * ratio)),
                     static_cast<int>(std::lround(cssHeight * ratio))};
    int current[2] = {0, 0};
    emscripten_get_canvas_element_size(CANVAS, &current[0], &current[1]);
    if (wanted[0] != current[0] || wanted[1] != current[1])
        emscripten_set_canvas_element_size(CANVAS, wanted[0], wanted[1]);
    *width = wanted[0];
    *height = wanted[1];
}

void pumpWindowMessages() {
    // Handling may queue nothing new (no callbacks run inside this loop), so the queue stays as it is.
    for (const RawInputEvent& event : queued) {
        if (callbacks.input != nullptr && callbacks.input(event) == InputAction::ToggleFullscreen)
            toggleBorderlessFullscreen();
    }
    queued.clear();
}

void readClientSize(int* width, int* height) {
    emscripten_get_canvas_element_size(CANVAS, width, height);
}

// The browser shows the drawing buffer when the animation frame's callback returns.
void presentFrame() {}

// The browser paces animation frames to the display itself.
void setSwapInterval(int) {}

// The page's frames follow the browser, which does not tell the display's rate.
int readDisplayRefreshRate() {
    return 0;
}

// The page is the window: the author's window and its command line belong to the executables.
bool openAuthorWindow(const WindowCallbacks&, int, int, char* why, size_t whySize) {
    std::snprintf(why, whySize, "Author mode runs in the executables, not in a page.");
    return false;
}

// The page's fullscreen: the whole page (the canvas and its notice) on the screen, or back.
void toggleBorderlessFullscreen() {
    toggleFullscreenJs();
}

// The canvas belongs to the page and stays with the last frame on it.
void closeDemoWindow() {}

void showUsageError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

void showInformation(const char* text) {
    std::printf("%s\n", text);
}

bool windowExists() {
    return exists;
}

void setWindowTitle(const char* text) {
    emscripten_set_window_title(text);
}

void formatWindowTitle(char* buffer, const char* format, unsigned fps, int frac, int reload) {
    std::snprintf(buffer, 64, format, fps, frac, reload);
}

void showPageNotice(const char* text) {
    showPageNoticeJs(text);
}

const char* requiredGraphicsName() {
    return "WebGL 2";
}

void showFatalError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    showPageMessageJs(text);
}
