// A video of a time range: its frames in order into the MP4 sink, or into a folder of PNG frames.
#include "capture/capture_frames.h"
#include "capture/capture_modes.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/interrupt.h"
#include "capture/sink_mp4.h"
#include "capture/sink_png_frames.h"

#include <cstdio>

// "demo.mp4" becomes "demo-frames" when there is no encoder to make the MP4.
static std::string framesFolderFor(const std::string& output) {
    size_t slash = output.find_last_of('/');
    size_t dot = output.find_last_of('.');
    std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                           ? output.substr(0, dot)
                           : output;
    return stem + "-frames";
}

static std::string describeVideo(const CaptureOptions& options, int frames, bool audio) {
    char text[160];
    std::snprintf(text, sizeof text, "%d frames, %dx%d at %g fps, %.3f s from %g s, %s", frames,
                  options.width, options.height, options.fps, frames / options.fps, options.from,
                  audio ? "with the soundtrack" : "no audio");
    return text;
}

int captureVideo(const CaptureOptions& options) {
    std::string why, encoder, ffmpeg;
    bool toFrames = options.frames;
    std::string target = options.output;
    if (!toFrames) {
        ffmpeg = findFfmpeg(&encoder, &why);
        if (ffmpeg.empty()) {
            toFrames = true;
            target = framesFolderFor(options.output);
            reportNote(why + ": writing PNG frames into '" + target + "' instead of a video");
        }
    }
    const int total = videoFrameCount(options);
    // The demo, its soundtrack included, is ready before any output is begun: the WAV reads the track.
    if (!prepareCapture(options.width, options.height, &why))
        return reportFailure(why);
    PngFramesOutput frames;
    frames.target = target;
    frames.width = options.width;
    frames.height = options.height;
    frames.firstSample = soundPositionAt(options.from);
    frames.samples = soundSamplesFor(options, total);
    Mp4Output mp4;
    mp4.options = options;
    mp4.ffmpeg = ffmpeg;
    mp4.encoder = encoder;
    mp4.frames = total;
    FrameRange range = videoFrames(options, 0, total);
    range.shownAs = toFrames ? "frames" : "video";
    range.stoppable = true;
    const int done = renderFrameRange(range, toFrames ? pngFramesSink(&frames) : mp4Sink(&mp4), &why);
    if (!why.empty())
        return reportFailure(why);
    const int interruptedBy = stopSignal();
    if (done == 0) {
        reportNote("interrupted before the first frame; nothing was written");
        return 128 + interruptedBy;
    }

    const bool withAudio = toFrames ? frames.withAudio : mp4.video.withAudio;
    if (done < total)
        reportNote("interrupted after " + std::to_string(done) + " of " + std::to_string(total) +
                   " frames; kept what was done, " + describeVideo(options, done, withAudio) + ": " + target);
    else
        reportNote("wrote " + describeVideo(options, done, withAudio) + ": " + target);
    if (toFrames) {
        // A colon in the folder's name would read as a protocol to ffmpeg; the file protocol takes it as is.
        const std::string folder = (target.find(':') != std::string::npos ? "file:" : "") + target;
        char command[512];
        std::snprintf(command, sizeof command,
                      "to make the video: ffmpeg -framerate %g -i '%s/frame-%%06d.png'%s%s%s -c:v libx264 "
                      "-pix_fmt yuv420p%s video.mp4",
                      options.fps, folder.c_str(), withAudio ? " -i '" : "", withAudio ? folder.c_str() : "",
                      withAudio ? "/soundtrack.wav'" : "", withAudio ? " -c:a aac -shortest" : "");
        reportNote(command);
    }
    std::printf("%s\n", target.c_str());
    return done < total ? 128 + interruptedBy : 0;
}
