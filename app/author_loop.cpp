// Author mode's loop: the release frame pass, with the transport before and after it, then the reloader
// and the author title.
#include "app/author_loop.h"

#include "app/author_stage_folder.h"
#include "app/author_title.h"
#include "app/author_tracks.h"
#include "app/fly_keying.h"
#include "app/frame_loop.h"
#include "app/frame_rate_title.h"
#include "app/input.h"
#include "app/run_state.h"
#include "app/sync_link.h"
#include "app/transport.h"
#include "audio/music_clock.h"
#include "platform/debug_output.h"
#include "platform/ticks.h"
#include "platform/window.h"
#include "render/shader_sources.h"
#include "render/stage_files.h"
#include "render/stage_reloader.h"

#include <string>

static bool keySeen = false;

InputAction handleAuthorKey(KeyAction action, bool down) {
    keySeen = true;
    if (performFlyAction(action, down) || !down)
        return InputAction::Consumed;
    if (action == KeyAction::ToggleFullscreen)
        return InputAction::ToggleFullscreen;
    if (action == KeyAction::ReloadStages)
        reloadStagesNow();
    else
        performTransportAction(action);
    return InputAction::Consumed;
}

unsigned authorKeyModes() {
    return flyCamera.flying ? KEY_MODE_AUTHOR | KEY_MODE_FLY : KEY_MODE_AUTHOR;
}

const char* chooseShadersFolder(const CommandLine& options) {
    if (options.shadersDir[0] != '\0')
        return options.shadersDir;
    char missing[64];
    if (stageFolderComplete(DEFAULT_SHADERS_FOLDER, missing, sizeof missing))
        return DEFAULT_SHADERS_FOLDER;
    std::string written;
    char why[512] = "";
    // Said where a compile log goes: stderr, or the debugger output of a Windows executable, which has none.
    if (!writeMissingStages(DEFAULT_SHADERS_FOLDER, SCENE_VERTEX_SOURCE, SCENE_FRAGMENT_SOURCE, &written, why,
                            sizeof why)) {
        writeDebugOutput(
            (std::string("doz-engine: ") + why + ": the built-in stages run and nothing is watched").c_str());
        return nullptr;
    }
    writeDebugOutput(("doz-engine: wrote the built-in stages (" + written + ") to " + DEFAULT_SHADERS_FOLDER +
                      "/ in the working directory; edit them there")
                         .c_str());
    return DEFAULT_SHADERS_FOLDER;
}

void runAuthorLoop(const CommandLine& options) {
    // Held at the asked time first: nothing is heard while the folder's stages compile.
    startTransport(options.atSeconds);
    startStageReloader(chooseShadersFolder(options), SCENE_VERTEX_SOURCE, SCENE_FRAGMENT_SOURCE);
    startAuthorTracks(options.tracksDir);
    setKeyActions(authorKeyModes, handleAuthorKey);
    startFlyMode(authorTracks.folder, options.syncSendKeys);
    setRawInputHook(handleFlyInput);
    setTrackValueOverride(overrideFlownTracks);
    // An editor's save goes to the tracks folder that author mode reads.
    if (options.syncAddress[0] != '\0')
        startSyncLink(options.syncAddress, authorTracks.folder[0] != '\0' ? authorTracks.folder : "tracks");
    while (isRunning()) {
        pumpWindowMessages();
        stepFlyCamera(readTickCount());
        // The editor's pause and rows act like keys: before the pass, which then draws them.
        pollSyncLink(readTickCount());
        // After the keys of the step: the sound moves once for all of them, and the pass draws the time
        // returned, so that the title names the frame on the screen.
        double shown = beforeTransportPass();
        // Every pass then opens a new frame-rate window, so the release title is never due: the author
        // title, with its own frame rate, is the only one.
        holdFrameRateTitle();
        drawFramePass();
        afterTransportPass();
        uint32_t now = readTickCount();
        sendSyncLinkRow(shown, now);
        bool changed = pollStageReloader(now);
        changed = pollAuthorTracks(now) || changed;
        setTitleReloadCount(stageReloader.reloadCounter);
        updateAuthorTitle(now, keySeen || changed, shown);
        keySeen = false;
    }
    stopSyncLink();
    setRawInputHook(nullptr);
    setTrackValueOverride(nullptr);
}
