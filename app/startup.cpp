// The start-up sequence, shared by every executable.
#include "app/startup.h"

#include "app/author_loop.h"
#include "app/command_line.h"
#include "app/frame_loop.h"
#include "audio/music_clock.h"
#include "audio/soundtrack_preparation.h"
#include "platform/debug_output.h"
#include "platform/sound_device.h"
#include "platform/window.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "render/gl_support.h"
#include "render/scale_target.h"
#include "render/scene_program.h"
#include "sync/builtin_tracks.h"

#include <cstdio>
#include <string>

// Said where a compile log goes; the carried files are checked by the tests, so this is for a broken build.
static void reportBuiltinTrack(const char* message) {
    writeDebugOutput((std::string("doz-engine: ") + message + "\n").c_str());
}

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
    loadBuiltinTracks(reportBuiltinTrack);

    prepareSoundtrack();
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

int runDemo(int argc, char** argv) {
    CommandLine options;
    char why[512] = "";
    if (!parseCommandLine(argc, argv, &options, why, sizeof why)) {
        char text[600];
        std::snprintf(text, sizeof text, "doz-engine: %s", why);
        showUsageError(text);
        return 2;
    }
    if (options.request != CommandLineRequest::Run) {
        char text[2048];
        commandLineText(options.request, text, sizeof text);
        showInformation(text);
        return 0;
    }
    bool opened = options.author
                      ? openAuthorWindow(options.windowWidth, options.windowHeight, why, sizeof why)
                      : openDemoWindow(why, sizeof why);
    if (!opened || !prepareDemo(why, sizeof why))
        return endDemo(refuseToRun(why));
    setSwapInterval(options.vsync ? 1 : 0);
    if (options.scaleAuto)
        setAutoRenderScale(options.vsync ? readDisplayRefreshRate() : 0);
    else
        setRenderScale(options.scale);
    if (options.author)
        runAuthorLoop(options);
    else
        runFrameLoop();
    return endDemo(0);
}
