// The page program: the one start-up path of the executables, then the page session (app/page_session.h)
// driven by the browser's animation frames, gestures and lifecycle, its sound changes carried out on Web
// Audio.
#include "app/frame_loop.h"
#include "app/input.h"
#include "app/page_address.h"
#include "app/page_session.h"
#include "app/page_stage_edit.h"
#include "app/startup.h"
#include "app/sync_link.h"
#include "app/transport.h"
#include "audio/soundtrack.h"
#include "platform/ticks.h"
#include "platform/web/web_page.h"
#include "platform/window.h"
#include "render/shader_sources.h"

#include <emscripten/console.h>
#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstdlib>

EM_JS(char*, readPageQueryJs, (), { return stringToNewUTF8(window.location.search || ""); });

// The address names the moment on screen: replaced in place, so that the back button keeps its meaning.
EM_JS(void, replacePageQueryJs, (const char* query), {
    try {
        history.replaceState(history.state, "", location.pathname + UTF8ToString(query) + location.hash);
    } catch (e) {
        console.warn('doz-engine: the address cannot name the moment (' + e + ')');
    }
});

// Marks the first frame on the page for the load figures (performance.now() on the page's clock).
EM_JS(void, markFirstFrameJs, (), {
    if (Module.dozFirstFrameMs == undefined)
        Module.dozFirstFrameMs = performance.now();
});

// The editor's script (programs/page/editor/) may not have arrived yet: it looks for the wish when it does.
EM_JS(void, openStageEditorJs, (), {
    if (window.dozStages)
        window.dozStages.openEditor();
    else
        window.dozStageEditorWanted = true;
});

// The module takes edited stages from here on.
EM_JS(void, announceStageEditingJs, (), {
    Module.dozStagesReady = true;
    if (window.dozStages)
        window.dozStages.attach(Module);
});

static void carryOut(const PageStep& step) {
    switch (step.sound) {
    case PageSound::Keep:
        break;
    case PageSound::Play:
    case PageSound::PlayFromStart:
        // The transport has put the sound where it starts.
        playSoundAfterGesture();
        break;
    case PageSound::Stop:
        stopSound();
        break;
    }
    if (step.notice != nullptr)
        showPageNotice(step.notice);
    if (step.address != nullptr)
        replacePageQueryJs(step.address);
    if (step.drawn)
        markFirstFrameJs();
    if (step.openEditor)
        openStageEditorJs();
}

static bool takeGesture(const RawInputEvent& event) {
    bool taken = false;
    carryOut(takePageGesture(event, &taken));
    return taken;
}

static bool playing() {
    return pageState() == PageState::Playing;
}

static void holdForLifecycle(WindowLifecycle event, bool on) {
    PageHold hold = event == WindowLifecycle::Hidden   ? HOLD_HIDDEN
                    : event == WindowLifecycle::Frozen ? HOLD_FROZEN
                                                       : HOLD_SOUND_INTERRUPTED;
    carryOut(setPageHold(hold, on));
}

static void loseContext() {
    carryOut(losePageContext());
    emscripten_cancel_main_loop();
    showFatalError(
        "doz-engine lost its WebGL context (the browser took it back); reload the page to play again.");
}

static void onAnimationFrame() {
    int width = 0, height = 0;
    fitCanvasToPage(&width, &height);
    // The editor drives the transport only once the demo plays (after the click that lets sound start).
    bool linked = syncLinkActive() && pageState() == PageState::Playing;
    if (linked)
        pollSyncLink(readTickCount());
    carryOut(runPageAnimationFrame(width, height));
    if (linked)
        sendSyncLinkRow(transportTime(), readTickCount());
}

int main() {
    char* query = readPageQueryJs();
    char warnings[512] = "";
    PageAddress address = readPageAddress(query, warnings, sizeof warnings);
    std::free(query);
    if (warnings[0] != '\0')
        emscripten_console_warn(warnings);

    WindowCallbacks callbacks = demoWindowCallbacks();
    callbacks.playing = playing;
    callbacks.gesture = takeGesture;
    callbacks.lifecycle = holdForLifecycle;
    callbacks.contextLost = loseContext;
    if (!openPreparedDemo(callbacks, 0, 0))
        return 1;
    // prepareDemo opened the sound; its position stands at the linked moment until it plays.
    setSoundStartFrame(static_cast<uint32_t>(address.atSeconds * SAMPLE_RATE + 0.5));
    setSoundEndFrame(static_cast<uint32_t>(END_TIME * SAMPLE_RATE));
    carryOut(beginPageSession(address));
    // The page has no folder to save into: the editor's saves are refused, said in the console.
    if (address.sync[0] != '\0') {
        startSyncLink(address.sync, nullptr);
        setSyncPauseHandler(setPageViewerPaused);
    }
    startPageStageEditing(SCENE_VERTEX_SOURCE, SCENE_FRAGMENT_SOURCE);
    announceStageEditingJs();
    emscripten_set_main_loop(onAnimationFrame, 0, 0);
    return 0;
}
