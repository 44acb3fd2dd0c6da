// The demo's one window and the OpenGL context current on it. Each platform links one implementation.
#pragma once
#include "platform/input_event.h"
#include <cstddef>

// Events of a page's lifecycle that hold a playing run while they last.
enum class WindowLifecycle {
    Hidden,           // the page is not visible (another tab, a minimised window)
    Frozen,           // the browser froze the page
    SoundInterrupted, // the system stopped the audio context under the playing sound
};

// What a window hands the program, given when it opens: every raw event, and on the page its gestures and
// lifecycle. The program decides; the backend carries out the action that comes back. A null callback is
// not called (input then gets the system's default handling).
struct WindowCallbacks {
    InputAction (*input)(const RawInputEvent& event) = nullptr;
    // The page: whether the program gives this event a meaning now; the browser keeps its own handling of the
    // others.
    bool (*inputWanted)(const RawInputEvent& event) = nullptr;
    // The page: whether the run plays now; input waits for the frame pass only then.
    bool (*playing)() = nullptr;
    // The page, inside the user's gesture (a left click, a wanted key), before the event is queued: true when
    // the program took it there (to start the sound, which only a gesture may).
    bool (*gesture)(const RawInputEvent& event) = nullptr;
    // The page: a lifecycle event begins (on) or ends.
    void (*lifecycle)(WindowLifecycle event, bool on) = nullptr;
    // The page: the browser took the GL context away; nothing more can be drawn.
    void (*contextLost)() = nullptr;
};

// Opens the borderless window over the primary screen, hides the cursor and makes a plain (compatibility)
// OpenGL context current on it, its input going to `callbacks`. Returns false, with a reason in `why`, when
// no context could be made.
bool openDemoWindow(const WindowCallbacks& callbacks, char* why, size_t whySize);

// Empties the window's message queue; every input message goes to the callbacks the window was opened with.
void pumpWindowMessages();

// The client area in pixels, read afresh on every call.
void readClientSize(int* width, int* height);

// Shows the finished frame.
void presentFrame();

// Asks the driver to show each frame after this many vertical blanks: 1 waits for the display, 0 shows
// frames as fast as they are drawn. Where the driver has no swap control nothing changes.
void setSwapInterval(int interval);

// The refresh rate in Hz of the display the window is on; 0 when the system does not say.
int readDisplayRefreshRate();

// True once the window exists; a title is only written to an existing window.
bool windowExists();

void setWindowTitle(const char* text);

// Formats the frame-rate title: `format` takes one unsigned and two signed integers.
void formatWindowTitle(char* buffer, const char* format, unsigned fps, int frac, int reload);

// What the platform's graphics are called where the demo says it needs them ("OpenGL 3.3", "WebGL 2").
const char* requiredGraphicsName();

// Tells the user why the demo cannot run (message box where there is one, and stderr).
void showFatalError(const char* text);

// Author mode: a normal, resizable, decorated window whose client area is `width` x `height`, with the
// cursor visible and the same kind of context as the demo window.
bool openAuthorWindow(const WindowCallbacks& callbacks, int width, int height, char* why, size_t whySize);

// Author mode: borderless fullscreen on the monitor the window is on, or back to the window as it was.
void toggleBorderlessFullscreen();

// A refused command line: stderr, and a message box where the system has no console to show it.
void showUsageError(const char* text);

// A text the user asked for (--help, --version): stdout, and a message box where the system has no console
// to show it.
void showInformation(const char* text);

// Releases the OpenGL context and the device context and destroys the window, showing the cursor again;
// whatever openDemoWindow made, even when it failed part way. Every run ends through it.
void closeDemoWindow();
