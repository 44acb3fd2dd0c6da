// doz-capture: renders doz-engine offline with no display, to stills, a contact sheet or a video.
#include "capture/capture_frames.h"
#include "capture/capture_modes.h"
#include "capture/capture_options.h"
#include "capture/interrupt.h"
#include "render/scale_target.h"

#include <cstdio>

int main(int argc, char** argv) {
    CaptureOptions options;
    std::string error;
    if (!parseCaptureOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "doz-capture: %s (see doz-capture --help)\n", error.c_str());
        return 2;
    }
    installInterruptHandlers();
    setRenderScale(options.scale);
    setCaptureSupersample(options.supersample);
    switch (options.mode) {
    case CaptureMode::Help:
        std::fputs(CAPTURE_HELP, stdout);
        return 0;
    case CaptureMode::Still:
        return captureStill(options);
    case CaptureMode::Sheet:
        return captureSheet(options);
    case CaptureMode::Video:
        return captureVideo(options);
    case CaptureMode::Benchmark:
        return runCaptureBenchmark(options);
    case CaptureMode::Plan:
        return capturePlan(options);
    case CaptureMode::RenderChunk:
        return renderChunk(options);
    case CaptureMode::Assemble:
        return assembleJob(options);
    case CaptureMode::None:
        break;
    }
    return 2;
}
