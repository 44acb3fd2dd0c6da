// The start-up sequence, shared by every executable.
#include "app/startup.h"

#include "app/frame_loop.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/window.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "render/gl_support.h"
#include "render/scene_program.h"

#include <cstdio>

static int refuseToRun(const char* reason) {
    char text[768];
    std::snprintf(text, sizeof text, "doz-engine needs OpenGL 3.3\n%s", reason);
    showFatalError(text);
    return 1;
}

int runDemo() {
    char why[512] = "";
    if (!openDemoWindow(why, sizeof why))
        return refuseToRun(why);
    if (const char* missing = loadGlEntryPoints()) {
        char reason[256];
        std::snprintf(reason, sizeof reason, "The driver has no entry point %s.", missing);
        return refuseToRun(reason);
    }
    if (!contextRunsGlsl330(why, sizeof why))
        return refuseToRun(why);

    buildCreditsTexture();
    buildSceneProgram();

    // Decoding the whole track dominates start-up; input meanwhile waits in the queue.
    StereoFloatTrack track = decodeSoundtrack();
    buildLoudnessEnvelope(track);
    convertToPcm16(track);
    startLoopingPlayback();

    runFrameLoop();
    return 0;
}
