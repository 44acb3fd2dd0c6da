// Between the web platform's own files: the page around the canvas, the session's click, the sound's start.
#pragma once
#include <cstdint>

// Sizes the canvas's drawing buffer to its CSS size times devicePixelRatio; returns that size.
void fitCanvasToPage(int* width, int* height);

// The line over the picture ("click to start"); an empty text hides it.
void showPageNotice(const char* text);

// Called by the window's click handler, inside the user's gesture, before the click reaches the input
// table. Returns true when the page took the click (to start or restart the sound).
bool onPageClick();

// Called once the browser has taken the WebGL context away: nothing more can be drawn.
void onContextLost();

// Where the sound starts when it next plays, in frames of the track; until then its position stays there.
void setSoundStartFrame(uint32_t frame);
// Starts the sound prepared by openLoopingSound (needs the user's gesture for Web Audio). The position
// moves from the start frame once the audio context runs, or at once on the page timer without Web Audio.
void playSoundAfterGesture();
// Stops the sound; the position stays where it was.
void stopSound();
