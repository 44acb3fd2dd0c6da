// Between the web platform's own files: the page around the canvas, the session's gestures and lifecycle
// events, the sound's start and end. The page's rules (app/page_session.h) sit above the platform: the web
// entry answers the calls below that the window makes.
#pragma once

#include <cstdint>

// Sizes the canvas's drawing buffer to its CSS size times devicePixelRatio; returns that size.
void fitCanvasToPage(int* width, int* height);

// The line over the picture ("click to start"); an empty text hides it.
void showPageNotice(const char* text);

// True while the demo plays (paused by the viewer or held by the page included): the window's input then
// goes to the input table. Before the first click and after the end, the page takes clicks itself.
bool pagePlaying();

// Events of the page's lifecycle that hold a playing run while they last.
enum class PageLifecycle {
    Hidden,           // the page is not visible (another tab, a minimised window)
    Frozen,           // the browser froze the page
    SoundInterrupted, // the system stopped the audio context under the playing sound
};

// Called by the window's click handler, inside the user's gesture, before the click reaches the input
// table. Returns true when the page took the click (to start or restart the sound).
bool onPageClick();
// Space outside a playing run, inside the user's gesture: starts the sound as a click does, and also at a
// linked moment.
void onPageSpace();
// A lifecycle event of the page begins (on) or ends: the session holds the run or lets it go on.
void onPageLifecycle(PageLifecycle event, bool on);

// Called once the browser has taken the WebGL context away: nothing more can be drawn.
void onContextLost();

// Where the sound starts when it next plays, in frames of the track; until then its position stays there.
void setSoundStartFrame(uint32_t frame);
// Starts the sound prepared by openLoopingSound (needs the user's gesture for Web Audio). The position
// moves from the start frame once the audio context runs, or at once on the page timer without Web Audio.
void playSoundAfterGesture();
// Stops the sound; the position stays where it was.
void stopSound();
// Nothing plays from this frame of the track on: the end of the music, scheduled in the audio graph.
void setSoundEndFrame(uint32_t frame);
// From a user's gesture: asks an audio context that the system interrupted to run again.
void wakeSound();
