// The web page's session: when the frame pass runs, what gestures, keys, the page's lifecycle and the end do
// to the run and its sound, and the address that names a paused moment.
#include "app/page_session.h"

#include "app/frame_loop.h"
#include "app/key_table.h"
#include "app/run_state.h"
#include "app/transport.h"
#include "audio/music_clock.h"

#include <cstdio>
#include <cstring>

namespace {
struct PageSession {
    PageState state;
    // The size and music time of the frame standing on the canvas while nothing plays (time < 0: none yet).
    int stillWidth, stillHeight;
    double stillTime;
    double linkedTime; // where the first play starts
    bool viewerPaused;
    unsigned holds; // PageHold bits
    // The address query last handed to the page, and the one that stands now.
    char reportedAddress[384];
    char address[384];
    // "&sync=..." of a page linked to a sync editor and "&edit" of one that opened the stage editor, kept in
    // every address so that a reload links and opens it again.
    char keptPart[300];
    bool editorWanted; // E was pressed since the last step
};
} // namespace

static PageSession session = {PageState::WaitingForClick, -1, -1, -1.0, 0.0, false, 0u, "", "", "", false};

PageState pageState() {
    return session.state;
}

bool pagePaused() {
    return session.state == PageState::Playing && transport.paused;
}

// The address changes only with what it names; the page is told only when it does.
static const char* addressChange() {
    if (session.state == PageState::Playing && session.viewerPaused) {
        formatPausedMoment(transport.pausedAt, session.address, sizeof session.address);
        size_t used = std::strlen(session.address);
        std::snprintf(session.address + used, sizeof session.address - used, "%s", session.keptPart);
    } else if (session.state != PageState::Paused) {
        // Playing: nothing but the kept part, if any ("?sync=...", "?edit").
        session.address[0] = '\0';
        if (session.keptPart[0] != '\0')
            std::snprintf(session.address, sizeof session.address, "?%s", session.keptPart + 1);
    }
    if (std::strcmp(session.address, session.reportedAddress) == 0)
        return nullptr;
    std::snprintf(session.reportedAddress, sizeof session.reportedAddress, "%s", session.address);
    return session.reportedAddress;
}

// The transport stands while the viewer pauses or anything holds the run, and plays otherwise.
static void followPause() {
    bool wanted = session.viewerPaused || session.holds != 0;
    if (wanted != transport.paused)
        togglePause();
}

static PageStep step(bool drawn, PageSound sound, const char* notice) {
    bool openEditor = session.editorWanted;
    session.editorWanted = false;
    return {drawn, sound, notice, addressChange(), openEditor};
}

static unsigned pageKeyModes() {
    return KEY_MODE_PAGE;
}

PageStep beginPageSession(const PageAddress& address) {
    session = {address.paused ? PageState::Paused : PageState::WaitingForClick,
               -1,
               -1,
               -1.0,
               address.atSeconds,
               false,
               0u,
               "",
               "",
               "",
               false};
    if (address.sync[0] != '\0' || address.edit) {
        std::snprintf(session.keptPart, sizeof session.keptPart, "%s%s%s",
                      address.sync[0] != '\0' ? "&sync=" : "", address.sync, address.edit ? "&edit" : "");
        // The address as opened stands until a pause names a moment.
        std::snprintf(session.address, sizeof session.address, "?%s", session.keptPart + 1);
        std::snprintf(session.reportedAddress, sizeof session.reportedAddress, "%s", session.address);
    }
    setKeyActions(pageKeyModes, handlePageKey);
    // The page's sound falls back on the page timer by itself, and a context that the system stops holds
    // the run: a sound that stands otherwise (an audio thread starved on a busy machine) is heard standing,
    // so the picture stands with it rather than running on, apart from the sound, for the rest of the run.
    followSoundThroughStalls(true);
    // The linked moment's own address stands as it is.
    return {false, PageSound::Keep, address.paused ? "" : CLICK_TO_START, nullptr, false};
}

PageStep runPageAnimationFrame(int width, int height) {
    switch (session.state) {
    case PageState::Playing:
        // While paused every pass draws the held time with the beat state of a first frame, as a linked
        // moment does (the music passing its end is the page's end, so nothing else of the transport's pass
        // applies).
        // The keys' moves reach the sound here, once per frame; the transport holds the sound after a
        // start until this first move has put it where the picture starts.
        if (transport.paused)
            beforeTransportPass();
        else
            applyTransportMoves();
        runFramePass();
        if (isRunning())
            return step(true, PageSound::Keep, nullptr);
        session.state = PageState::Ended;
        session.stillWidth = width;
        session.stillHeight = height;
        session.stillTime = musicClock.lastMusicTime;
        return step(true, PageSound::Stop, CLICK_TO_PLAY_AGAIN);
    case PageState::WaitingForClick:
    case PageState::Paused:
    case PageState::Ended:
        if (width == session.stillWidth && height == session.stillHeight)
            return step(false, PageSound::Keep, nullptr);
        // A still is redrawn at its own time: a sound position that stands while the page waits must not
        // let the clock take it for a lost device and run on.
        if (session.stillTime >= 0.0)
            reanchorMusicClock(session.stillTime);
        runFramePass();
        session.stillWidth = width;
        session.stillHeight = height;
        session.stillTime = musicClock.lastMusicTime;
        return step(true, PageSound::Keep, nullptr);
    case PageState::Lost:
        break;
    }
    return step(false, PageSound::Keep, nullptr);
}

// Playing from `seconds` on a fresh clock: the wait before it was no stall of the device. Returns what to
// do with the sound: nothing yet while something holds the run (its end lets the sound go on).
static PageSound playFrom(double seconds, PageSound sound) {
    startRunning();
    startLoopingPlayback();
    startTransport(seconds);
    session.viewerPaused = false;
    session.state = PageState::Playing;
    followPause();
    // The sound goes to where the picture starts now, inside the click's gesture, before the page plays it.
    applyTransportMoves();
    return transport.paused ? PageSound::Keep : sound;
}

PageStep takePageClick(bool* taken) {
    *taken = true;
    switch (session.state) {
    case PageState::WaitingForClick:
        return step(false, playFrom(session.linkedTime, PageSound::Play), "");
    case PageState::Ended:
        return step(false, playFrom(0.0, PageSound::PlayFromStart), "");
    case PageState::Playing:
    case PageState::Paused:
    case PageState::Lost:
        break;
    }
    *taken = false;
    return step(false, PageSound::Keep, nullptr);
}

PageStep takePageSpace(bool* taken) {
    if (session.state != PageState::Paused)
        return takePageClick(taken);
    *taken = true;
    return step(false, playFrom(session.linkedTime, PageSound::Play), "");
}

PageStep takePageGesture(const RawInputEvent& event, bool* taken) {
    *taken = false;
    if (event.type == RawEventType::MouseDown && event.button == MOUSE_LEFT)
        return takePageClick(taken);
    if (event.type == RawEventType::KeyDown && event.key == KEY_SPACE &&
        session.state != PageState::Playing) {
        if (!event.repeat)
            return takePageSpace(taken);
        *taken = true;
    }
    // Before the run plays no frame pass reads the key table: the editor's key is taken here.
    const KeyBinding* binding = event.type == RawEventType::KeyDown && session.state != PageState::Playing
                                    ? findKeyBinding(event.key, event.modifiers, KEY_MODE_PAGE)
                                    : nullptr;
    if (binding != nullptr && binding->action == KeyAction::OpenStageEditor) {
        session.editorWanted = !event.repeat;
        *taken = true;
    }
    return step(false, PageSound::Keep, nullptr);
}

void redrawPageStill() {
    session.stillWidth = session.stillHeight = -1;
}

void setPageViewerPaused(bool paused) {
    if (session.state != PageState::Playing)
        return;
    session.viewerPaused = paused;
    followPause();
}

InputAction handlePageKey(KeyAction action, bool down) {
    if (!down)
        return InputAction::Consumed;
    switch (action) {
    case KeyAction::ToggleFullscreen:
        return InputAction::ToggleFullscreen;
    case KeyAction::OpenStageEditor:
        session.editorWanted = true;
        return InputAction::Consumed;
    case KeyAction::TogglePause:
        session.viewerPaused = !session.viewerPaused;
        followPause();
        return InputAction::Consumed;
    default:
        // The seeks and frame steps are the transport's.
        performTransportAction(action);
        return InputAction::Consumed;
    }
}

PageStep setPageHold(PageHold hold, bool on) {
    if (on)
        session.holds |= hold;
    else
        session.holds &= ~static_cast<unsigned>(hold);
    if (session.state == PageState::Playing)
        followPause();
    return step(false, PageSound::Keep, nullptr);
}

PageStep losePageContext() {
    session.state = PageState::Lost;
    return step(false, PageSound::Stop, nullptr);
}
