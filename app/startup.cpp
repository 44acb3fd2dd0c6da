// The start-up sequence, shared by every executable.
#include "app/startup.h"

#include "app/frame_loop.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/sound_device.h"
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

bool prepareDemo(char* why, int whySize) {
    if (const char* missing = loadGlEntryPoints()) {
        std::snprintf(why, static_cast<size_t>(whySize), "The driver has no entry point %s.", missing);
        return false;
    }
    if (!contextRunsGlsl330(why, whySize))
        return false;

    buildCreditsTexture();
    buildSceneProgram();

    // Decoding the whole track dominates start-up; input meanwhile waits in the queue.
    StereoFloatTrack track = decodeSoundtrack();
    buildLoudnessEnvelope(track);
    convertToPcm16(track);
    startLoopingPlayback();
    return true;
}

// Every run ends this way, whatever ended it (Escape, a close request, the end of the music, a refusal):
// the sound stops and lets go of the samples, then the context, the device context and the window go.
static int endDemo(int exitCode) {
    closeLoopingSound();
    closeDemoWindow();
    return exitCode;
}

int runDemo() {
    char why[512] = "";
    if (!openDemoWindow(why, sizeof why) || !prepareDemo(why, sizeof why))
        return endDemo(refuseToRun(why));
    runFrameLoop();
    return endDemo(0);
}
