// Controls of the headless platform, for tests and offline tools: an EGL context with no display that
// draws into an off-screen framebuffer, a tick count and a sound position set by the caller.
#pragma once
#include "platform/input_event.h"
#include "platform/window.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Creates the EGL context (once) and a framebuffer of the given size as the "client area"; false, with the
// reason in `why`, when there is none.
bool openHeadlessContext(int width, int height, char* why, size_t whySize);
// Resizes the off-screen client area (a size of 0 is allowed: it draws nothing).
void setHeadlessClientSize(int width, int height);
// Reads the client area back, top row first, 4 bytes (RGBA) per pixel.
std::vector<unsigned char> readHeadlessPixels();
// The renderer's own name, for reports.
std::string headlessRendererName();

// The title as last written; "doz-engine" from creation.
const std::string& headlessWindowTitle();
int headlessTitleWrites();
// Pretends the window is gone (or back), to check that nothing writes a title then.
void setHeadlessWindowExists(bool exists);

// Where the headless window's input goes, as a window opened with these callbacks would hand it (the
// context is opened apart, by openHeadlessContext).
void setHeadlessWindowCallbacks(const WindowCallbacks& callbacks);
// Queues a raw event for the next pumpWindowMessages, which hands it to the input callback.
void queueHeadlessInput(const RawInputEvent& event);
// Queues the window's losing focus: the next pumpWindowMessages reports the release of every key and button
// held, as a desktop window's backend does.
void queueHeadlessFocusLoss();

void setHeadlessTickCount(uint32_t ticks);
// The total of the program's waits so far.
uint64_t headlessSleptMilliseconds();
// Frames presented so far.
int headlessPresentCount();

// The swap interval last asked for; -1 when none was.
int headlessSwapInterval();

// Whether the fake sound device opens and reports positions, and the position it reports next.
void setHeadlessSoundAvailable(bool available);
void setHeadlessSoundPosition(uint32_t sampleFrames);
// Whether the fake sound device is open: from openLoopingSound (when available) to closeLoopingSound.
bool headlessSoundOpen();
// Positions for the next readings, one each; the last one then holds.
void scriptHeadlessSoundPositions(const std::vector<uint32_t>& positions);
// The track frame of the latest seek (-1 before any) and whether playback is held.
int32_t headlessSoundSeekFrame();
// How many seeks the device has taken since the program started.
int headlessSoundSeekCount();
bool headlessSoundPaused();

// Back to the state of a fresh process, one per service: the window's title, counters, swap interval and
// callbacks (the EGL context and its size stay, with no GL error pending); the sound device available,
// closed, at 0, never sought or paused; the tick count and the waits at 0.
void resetHeadlessWindow();
void resetHeadlessSound();
void resetHeadlessTicks();
