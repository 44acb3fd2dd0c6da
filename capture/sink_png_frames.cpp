// The frames folder's sink: a temporary folder that gets the WAV first, then a PNG per frame, renamed into
// place when the range ends.
#include "capture/sink_png_frames.h"

#include "capture/capture_frames.h"
#include "capture/encoded_video.h"
#include "capture/interrupt.h"
#include "capture/png_file.h"
#include "capture/soundtrack_wav.h"
#include "capture/video_kind.h"

#include <cstdio>
#include <memory>

static const char* const FOLDER_SOUNDTRACK = "soundtrack.wav";

static bool begin(void* state, std::string* why) {
    auto* frames = static_cast<PngFramesOutput*>(state);
    if (!beginOutput(frames->target, true, 0, &frames->out, why))
        return false;
    std::string silent;
    frames->withAudio = captureHasSound(&silent);
    if (frames->withAudio) {
        registerAbandonFolder(frames->out.temp.c_str(), FOLDER_SOUNDTRACK);
        if (!writeSoundtrackWav(frames->out.temp + "/" + FOLDER_SOUNDTRACK, frames->firstSample,
                                frames->samples, why)) {
            discardOutput(&frames->out);
            return false;
        }
    }
    noteWhenSilent();
    return true;
}

static bool take(void* state, const CapturedFrame& frame, std::string* why) {
    auto* frames = static_cast<PngFramesOutput*>(state);
    char name[32];
    frameFileName(frame.index, name, sizeof name);
    setAbandonFolderFrames(frame.index);
    return writePngRgb(frames->out.temp + "/" + name, frame.rgb, frames->width, frames->height, why);
}

static bool finish(void* state, std::string* why) {
    return commitOutput(&static_cast<PngFramesOutput*>(state)->out, why);
}

static void discard(void* state, std::string*) {
    discardOutput(&static_cast<PngFramesOutput*>(state)->out);
}

FrameSink pngFramesSink(PngFramesOutput* frames) {
    return {frames, begin, take, finish, discard};
}

static bool framesHaveSound(const void* state) {
    return static_cast<const PngFramesOutput*>(state)->withAudio;
}

static std::string videoCommandFor(const void* state, const CaptureOptions& options) {
    const auto* frames = static_cast<const PngFramesOutput*>(state);
    const bool audio = frames->withAudio;
    // A colon in the folder's name would read as a protocol to ffmpeg; the file protocol takes it as is.
    const std::string folder =
        (frames->target.find(':') != std::string::npos ? "file:" : "") + frames->target;
    char command[512];
    std::snprintf(command, sizeof command,
                  "to make the video: ffmpeg -framerate %g -i '%s/frame-%%06d.png'%s%s%s -c:v libx264 "
                  "-pix_fmt yuv420p%s video.mp4",
                  options.fps, folder.c_str(), audio ? " -i '" : "", audio ? folder.c_str() : "",
                  audio ? "/soundtrack.wav'" : "", audio ? " -c:a aac -shortest" : "");
    return command;
}

static bool openFramesFolder(const CaptureOptions& options, int frames, VideoOutput* output, std::string*) {
    auto folder = std::make_shared<PngFramesOutput>();
    folder->target = options.output;
    folder->width = options.width;
    folder->height = options.height;
    folder->firstSample = soundPositionAt(options.from);
    folder->samples = soundSamplesFor(options, frames);
    output->sink = pngFramesSink(folder.get());
    output->target = options.output;
    output->shownAs = "frames";
    output->keep = folder;
    output->hasSound = framesHaveSound;
    output->advice = videoCommandFor;
    return true;
}

// The video as a folder of frames, with the ffmpeg command that makes a video of them.
const VideoKind PNG_FRAMES_VIDEO = {nullptr, openFramesFolder};
