// The demo inside a web page, as a player. Browsers let sound start only from a gesture, so the first frame
// waits behind a notice; a linked moment shows its frame paused, with no sound; after the end the last frame
// stays until a click plays the demo again. While it plays, the keys go through the transport (pause, seeks)
// and the page's lifecycle (a hidden or frozen page, a sound the system stopped) holds the run and lets it
// go on. The page calls these from its animation frames, gestures and lifecycle events and carries out the
// sound change, the notice and the address each one returns.
#pragma once
#include "app/input.h"
#include "app/page_address.h"

enum class PageState {
    WaitingForClick, // the first frame stands behind the notice
    Playing,         // also while paused by the viewer or held by the page's lifecycle
    Paused,          // a linked moment: that frame, no sound
    Ended,           // the last frame stays
    Lost,            // the browser took the context: nothing more is drawn
};

enum class PageSound {
    Keep,
    Play,          // start at the linked moment (from the gesture)
    PlayFromStart, // the playback was started afresh by the session: play it from music time 0
    Stop,
};

// What keeps a playing run held apart from the viewer's pause; each is set and cleared by its own event.
enum PageHold : unsigned {
    HOLD_HIDDEN = 1,            // the page is not visible (another tab, a minimised window)
    HOLD_FROZEN = 2,            // the browser froze the page
    HOLD_SOUND_INTERRUPTED = 4, // the system stopped the audio context under the playing sound
};

struct PageStep {
    bool drawn;         // a frame pass ran
    PageSound sound;    // what to do with the sound now
    const char* notice; // the notice to show; "" hides it, nullptr leaves it as it is
    // The query the page's address should hold ("?at=45.07551&paused" while the viewer pauses, "" while
    // it plays); nullptr leaves the address as it is.
    const char* address;
    bool openEditor; // the viewer asked for the stage editor (E)
};

constexpr const char* CLICK_TO_START = "click to start";
constexpr const char* CLICK_TO_PLAY_AGAIN = "click to play again";

PageState pageState();

// True while a playing run stands still: paused by the viewer or held by the page.
bool pagePaused();

// After prepareDemo: waits for a click, or shows the paused moment. Returns the notice to show.
PageStep beginPageSession(const PageAddress& address);

// One animation frame with the canvas at this size: a pass every frame while playing (held frames while
// paused, so that keys are still read); otherwise only when the size changed, so the frame on the canvas is
// redrawn to fit. The end of the run (Escape, or the frame past 124 s) stops the sound and keeps that frame.
PageStep runPageAnimationFrame(int width, int height);

// A left click, or Space, inside the user's gesture. Starts the sound while waiting or at a linked moment
// (Space only there: a click leaves the moment standing), or the whole run again after the end (running
// flag, music clock, playback from the start). `taken` says whether the page used it; otherwise it goes to
// the input table.
PageStep takePageClick(bool* taken);
PageStep takePageSpace(bool* taken);
// A raw event inside the user's gesture, as the window hands it: a left click goes to takePageClick; Space
// while the run does not play to takePageSpace (taken, once per press); anything else is not taken and goes
// to the input table. E before the run plays asks for the editor (taken).
PageStep takePageGesture(const RawInputEvent& event, bool* taken);

// The player's key actions while playing (the key table's page rows): Space pauses and resumes, the arrows,
// Home and the page keys seek, F (or a double click) asks for fullscreen, which the page then toggles, E
// asks for the stage editor.
InputAction handlePageKey(KeyAction action, bool down);

// The frame standing on the canvas is drawn again at the next animation frame (a new program).
void redrawPageStill();

// The viewer's pause set from elsewhere (a sync editor's pause), as Space would.
void setPageViewerPaused(bool paused);

// A lifecycle event: `hold` begins (on) or ends (off). The run pauses while any hold or the viewer's pause
// stands and resumes, in step, when none does.
PageStep setPageHold(PageHold hold, bool on);

// The browser took the context away.
PageStep losePageContext();
