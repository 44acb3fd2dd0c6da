// A video of a time range: its frames in order into the sink of the kind of video the options chose.
#include "capture/capture_frames.h"
#include "capture/capture_modes.h"
#include "capture/interrupt.h"
#include "capture/video_kind.h"

#include <cstdio>

static std::string describeVideo(const CaptureOptions& options, int frames, bool audio) {
    char text[160];
    std::snprintf(text, sizeof text, "%d frames, %dx%d at %g fps, %.3f s from %g s, %s", frames,
                  options.width, options.height, options.fps, frames / options.fps, options.from,
                  audio ? "with the soundtrack" : "no audio");
    return text;
}

int captureVideo(const CaptureOptions& options) {
    std::string why;
    const int total = videoFrameCount(options);
    VideoOutput output;
    if (!options.videoKind->open(options, total, &output, &why))
        return reportFailure(why);
    // The demo, its soundtrack included, is ready before any output is begun: the WAV reads the track.
    if (!prepareCapture(options.width, options.height, &why))
        return reportFailure(why);
    FrameRange range = videoFrames(options, 0, total);
    range.shownAs = output.shownAs;
    range.stoppable = true;
    const int done = renderFrameRange(range, output.sink, &why);
    if (!why.empty())
        return reportFailure(why);
    const int interruptedBy = stopSignal();
    if (done == 0) {
        reportNote("interrupted before the first frame; nothing was written");
        return 128 + interruptedBy;
    }

    const bool withAudio = output.hasSound(output.sink.state);
    const std::string& target = output.target;
    if (done < total)
        reportNote("interrupted after " + std::to_string(done) + " of " + std::to_string(total) +
                   " frames; kept what was done, " + describeVideo(options, done, withAudio) + ": " + target);
    else
        reportNote("wrote " + describeVideo(options, done, withAudio) + ": " + target);
    const std::string advice = output.advice != nullptr ? output.advice(output.sink.state, options) : "";
    if (!advice.empty())
        reportNote(advice);
    std::printf("%s\n", target.c_str());
    return done < total ? 128 + interruptedBy : 0;
}
