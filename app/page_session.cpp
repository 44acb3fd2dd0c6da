// The web page's session: when the frame pass runs, and what a click or the end does to the sound.
#include "app/page_session.h"

#include "app/frame_loop.h"
#include "app/run_state.h"
#include "audio/music_clock.h"

namespace {
struct PageSession {
    PageState state;
    // The size of the frame standing on the canvas while nothing plays.
    int stillWidth, stillHeight;
};
} // namespace

static PageSession session = {PageState::WaitingForClick, -1, -1};

PageState pageState() {
    return session.state;
}

PageStep beginPageSession(const PageAddress& address) {
    session = {address.paused ? PageState::Paused : PageState::WaitingForClick, -1, -1};
    return {false, PageSound::Keep, address.paused ? "" : CLICK_TO_START};
}

PageStep runPageAnimationFrame(int width, int height) {
    switch (session.state) {
    case PageState::Playing:
        runFramePass();
        if (isRunning())
            return {true, PageSound::Keep, nullptr};
        session = {PageState::Ended, width, height};
        return {true, PageSound::Stop, CLICK_TO_PLAY_AGAIN};
    case PageState::WaitingForClick:
    case PageState::Paused:
    case PageState::Ended:
        if (width == session.stillWidth && height == session.stillHeight)
            return {false, PageSound::Keep, nullptr};
        runFramePass();
        session.stillWidth = width;
        session.stillHeight = height;
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
