// The executables' run from the command line to the exit code.
#include "app/startup.h"

#include "app/author_loop.h"
#include "app/command_line.h"
#include "app/demo_preparation.h"
#include "app/frame_loop.h"
#include "app/input.h"
#include "platform/sound_device.h"
#include "platform/window.h"
#include "render/scale_target.h"

#include <cstdio>

bool openPreparedDemo(const WindowCallbacks& callbacks, int authorWidth, int authorHeight) {
    char why[512] = "";
    const bool opened = authorWidth > 0 && authorHeight > 0
                            ? openAuthorWindow(callbacks, authorWidth, authorHeight, why, sizeof why)
                            : openDemoWindow(callbacks, why, sizeof why);
    if (opened && prepareDemo(why, sizeof why))
        return true;
    char text[768];
    std::snprintf(text, sizeof text, "doz-engine needs %s\n%s", requiredGraphicsName(), why);
    showFatalError(text);
    return false;
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
    if (!openPreparedDemo(demoWindowCallbacks(), options.author ? options.windowWidth : 0,
                          options.author ? options.windowHeight : 0))
        return endDemo(1);
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
