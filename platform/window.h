// The demo's one window and the OpenGL context current on it. Each platform links one implementation.
#pragma once

// Opens the borderless window over the primary screen, hides the cursor and makes a plain (compatibility)
// OpenGL context current on it. Returns false, with a reason in `why`, when no context could be made.
bool openDemoWindow(char* why, int whySize);

// Empties the window's message queue; every input message goes through handleInput (app/input.h).
void pumpWindowMessages();

// The client area in pixels, read afresh on every call.
void readClientSize(int* width, int* height);

// Shows the finished frame.
void presentFrame();

// True once the window exists; a title is only written to an existing window.
bool windowExists();

void setWindowTitle(const char* text);

// Formats the frame-rate title: `format` takes one unsigned and two signed integers.
void formatWindowTitle(char* buffer, const char* format, unsigned fps, int frac, int reload);

// Tells the user why the demo cannot run (message box where there is one, and stderr).
void showFatalError(const char* text);

// Releases the OpenGL context and the device context and destroys the window, showing the cursor again;
// whatever openDemoWindow made, even when it failed part way. Every run ends through it.
void closeDemoWindow();
