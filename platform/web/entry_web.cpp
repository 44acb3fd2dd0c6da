// The demo in a web page: the same start-up and frame pass as the executables, driven by the browser's
// animation frames. The page waits for a click before its sound may play, shows a linked moment paused
// without sound ("?at=SECONDS&paused"), and after the end keeps the last frame until a click plays it again.
#include "app/frame_loop.h"
#include "app/page_address.h"
#include "app/run_state.h"
#include "app/startup.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/web/web_page.h"
#include "platform/window.h"

#include <emscripten/console.h>
#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstdlib>

namespace {
enum class PageState {
    WaitingForClick, // the first frame stands behind the notice
    Playing,
    Paused, // a linked moment, no sound
    Ended,  // the last frame stays
    Lost,   // no context any more
};
} // namespace

constexpr const char* CLICK_TO_START = "click to start";
constexpr const char* CLICK_TO_PLAY_AGAIN = "click to play again";

static PageState state = PageState::WaitingForClick;
// The size of the still frame on the canvas, drawn again only when the page's size changes.
static int stillWidth = -1, stillHeight = -1;

EM_JS(char*, readPageQueryJs, (), { return stringToNewUTF8(window.location.search || ""); });

// Marks the first frame on the page for the load figures (performance.now() on the page's clock).
EM_JS(void, markFirstFrameJs, (), {
    if (Module.dozFirstFrameMs == undefined)
        Module.dozFirstFrameMs = performance.now();
});

bool takePageClick() {
    if (state == PageState::WaitingForClick) {
        playSoundAfterGesture();
    } else if (state == PageState::Ended) {
        // From the start once more: a fresh clock over the same track.
        startRunning();
        setSoundStartFrame(0);
        startLoopingPlayback();
        playSoundAfterGesture();
    } else {
        return false;
    }
    state = PageState::Playing;
    showPageNotice("");
    return true;
}

void onContextLost() {
    state = PageState::Lost;
    stopSound();
    emscripten_cancel_main_loop();
    showFatalError(
        "doz-engine lost its WebGL context (the browser took it back); reload the page to play again.");
}

static void drawStillIfResized() {
    int width = 0, height = 0;
    fitCanvasToPage(&width, &height);
    if (width == stillWidth && height == stillHeight)
        return;
    runFramePass();
    stillWidth = width;
    stillHeight = height;
}

static void onAnimationFrame() {
    switch (state) {
    case PageState::Playing: {
        int width = 0, height = 0;
        fitCanvasToPage(&width, &height);
        runFramePass();
        if (!isRunning()) {
            // Escape, or the first frame past the end: the last frame stays.
            stopSound();
            state = PageState::Ended;
            stillWidth = width;
            stillHeight = height;
            showPageNotice(CLICK_TO_PLAY_AGAIN);
        }
        break;
    }
    case PageState::WaitingForClick:
    case PageState::Paused:
    case PageState::Ended:
        drawStillIfResized();
        break;
    case PageState::Lost:
        break;
    }
    markFirstFrameJs();
}

int main() {
    char* query = readPageQueryJs();
    char warnings[512] = "";
    PageAddress address = readPageAddress(query, warnings, sizeof warnings);
    std::free(query);
    if (warnings[0] != '\0')
        emscripten_console_warn(warnings);

    char why[512] = "";
    if (!openDemoWindow(why, sizeof why) || !prepareDemo(why, sizeof why)) {
        char text[768];
        std::snprintf(text, sizeof text, "doz-engine needs WebGL 2\n%s", why);
        showFatalError(text);
        return 1;
    }
    // prepareDemo opened the sound; it stays at the linked moment until it plays.
    setSoundStartFrame(static_cast<uint32_t>(address.atSeconds * SAMPLE_RATE + 0.5));
    state = address.paused ? PageState::Paused : PageState::WaitingForClick;
    showPageNotice(address.paused ? "" : CLICK_TO_START);
    emscripten_set_main_loop(onAnimationFrame, 0, 0);
    return 0;
}
