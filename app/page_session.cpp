// The web page's session: when the frame pass runs, and what a click or the end does to the sound.
#include "app/page_session.h"

#include "app/frame_loop.h"
#include "app/run_state.h"
#include "audio/music_clock.h"

namespace {
struct PageSession {
    PageState state;
    // The size and music time of the frame standing on the canvas while nothing plays (time < 0: none yet).
    int stillWidth, stillHeight;
    double stillTime;
};
} // namespace

static PageSession session = {PageState::WaitingForClick, -1, -1, -1.0};

PageState pageState() {
    return session.state;
}

PageStep beginPageSession(const PageAddress& address) {
    session = {address.paused ? PageState::Paused : PageState::WaitingForClick, -1, -1, -1.0};
    return {false, PageSound::Keep, address.paused ? "" : CLICK_TO_START};
}

PageStep runPageAnimationFrame(int width, int height) {
    switch (session.state) {
    case PageState::Playing:
        runFramePass();
        if (isRunning())
            return {true, PageSound::Keep, nullptr};
        session = {PageState::Ended, width, height, musicClock.lastMusicTime};
        return {true, PageSound::Stop, CLICK_TO_PLAY_AGAIN};
    case PageState::WaitingForClick:
    case PageState::Paused:
    case PageState::Ended:
        if (width == session.stillWidth && height == session.stillHeight)
            return {false, PageSound::Keep, nullptr};
        // A still is redrawn at its own time: a sound position that stands while the page waits must not
        // let the clock take it for a lost device and run on.
        if (session.stillTime >= 0.0)
            reanchorMusicClock(session.stillTime);
        runFramePass();
        session.stillWidth = width;
        session.stillHeight = height;
        session.stillTime = musicClock.lastMusicTime;
        return {true, PageSound::Keep, nullptr};
    case PageState::Lost:
        break;
    }
    return {false, PageSound::Keep, nullptr};
}

PageStep takePageClick(bool* taken) {
    *taken = true;
    switch (session.state) {
    case PageState::WaitingForClick:
        // The clock starts afresh with the sound: the wait for the click was no stall of the device.
        startLoopingPlayback();
        session.state = PageState::Playing;
        return {false, PageSound::Play, ""};
    case PageState::Ended:
        // From the start once more: a fresh clock over the same track.
        startRunning();
        startLoopingPlayback();
        session.state = PageState::Playing;
        return {false, PageSound::PlayFromStart, ""};
    case PageState::Playing:
    case PageState::Paused:
    case PageState::Lost:
        break;
    }
    *taken = false;
    return {false, PageSound::Keep, nullptr};
}

PageStep losePageContext() {
    session.state = PageState::Lost;
    return {false, PageSound::Stop, nullptr};
}
