// doz-capture's run from the command line to the exit code: the options, the tracks, then the mode.
#include "capture/capture_run.h"

#include "capture/capture_frames.h"
#include "capture/capture_modes.h"
#include "capture/capture_options.h"
#include "capture/capture_tracks.h"
#include "capture/interrupt.h"
#include "render/scale_target.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

int runCapture(int argc, char** argv) {
    CaptureOptions options;
    std::string why;
    if (!parseCaptureOptions(argc, argv, &options, &why))
        return reportRefusal(why + " (see doz-capture --help)");
    // A chunk draws with its job's copy of the tracks unless told otherwise.
    std::string tracks = options.tracksDir;
    struct stat info;
    if (tracks.empty() && options.mode == CaptureMode::RenderChunk &&
        stat((options.jobDir + "/tracks").c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        tracks = options.jobDir + "/tracks";
    setCaptureTracksFolder(tracks);
    if (options.mode != CaptureMode::Help && options.mode != CaptureMode::Assemble)
        loadCaptureTracks(true);
    installInterruptHandlers();
    setRenderScale(options.scale);
    setCaptureSupersample(options.supersample);
    switch (options.mode) {
    case CaptureMode::Help:
        std::fputs(captureHelp().c_str(), stdout);
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
