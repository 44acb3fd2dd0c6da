// The demo's one window and the OpenGL context current on it. Each platform links one implementation.
#pragma once

// Opens the borderless window over the primary screen, hides the cursor and makes a plain (compatibility)
// OpenGL context current on it. Returns false, with a reason in `why`, when no context could be made.
bool openDemoWindow(char* why, int whySize);

// Empties the window's message queue; every input message goes through handleInput (platform/input_event.h).
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

// Tells the user why the demo cannot run (message box where there is one, and stderr).
void showFatalError(const char* text);

// Author mode: a normal, resizable, decorated window whose client area is `width` x `height`, with the
// cursor visible and the same kind of context as the demo window.
bool openAuthorWindow(int width, int height, char* why, int whySize);

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
