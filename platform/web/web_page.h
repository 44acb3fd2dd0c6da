// The web platform's own services beyond the common ones: the page around the canvas and the sound's start
// and end. The page's rules (app/page_session.h) sit above the platform; the page program (programs/page/)
// calls these to carry out what the rules decide, and the window hands it the page's gestures and lifecycle
// through its callbacks (platform/window.h).
#pragma once

#include <cstdint>

// Sizes the canvas's drawing buffer to its CSS size times devicePixelRatio; returns that size.
void fitCanvasToPage(int* width, int* height);

// The line over the picture ("click to start"); an empty text hides it.
void showPageNotice(const char* text);

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
