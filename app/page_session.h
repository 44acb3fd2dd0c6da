// The demo inside a web page. Browsers let sound start only from a click, so the first frame waits behind
// a notice; a linked moment shows its frame paused, with no sound; after the end the last frame stays
// until a click plays the demo again. The page calls these from its animation frames and its clicks and
// carries out the sound change and the notice each one returns.
#pragma once
#include "app/page_address.h"

enum class PageState {
    WaitingForClick, // the first frame stands behind the notice
    Playing,
    Paused, // a linked moment: that frame, no sound
    Ended,  // the last frame stays
    Lost,   // the browser took the context: nothing more is drawn
};

enum class PageSound {
    Keep,
    Play,          // start at the linked moment (from the click, inside the user's gesture)
    PlayFromStart, // the playback was started afresh by the session: play it from music time 0
    Stop,
};

struct PageStep {
    bool drawn;         // a frame pass ran
    PageSound sound;    // what to do with the sound now
    const char* notice; // the notice to show; "" hides it, nullptr leaves it as it is
};

constexpr const char* CLICK_TO_START = "click to start";
constexpr const char* CLICK_TO_PLAY_AGAIN = "click to play again";

PageState pageState();

// After prepareDemo: waits for a click, or shows the paused moment. Returns the notice to show.
PageStep beginPageSession(const PageAddress& address);

// One animation frame with the canvas at this size: a pass every frame while playing; otherwise only when
// the size changed, so the frame on the canvas is redrawn to fit. The end of the run (Escape, or the frame
// past 124 s) stops the sound and keeps that frame.
PageStep runPageAnimationFrame(int width, int height);

// A left click. Starts the sound while waiting, or the whole run again after the end (running flag, music
// clock, playback from the start). `taken` says whether the page used it; otherwise it goes to the input
// table.
PageStep takePageClick(bool* taken);

// The browser took the context away.
PageStep losePageContext();
