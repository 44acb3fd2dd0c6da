// The frames folder's sink: a temporary folder that gets the WAV first, then a PNG per frame, renamed into
// place when the range ends.
#include "capture/sink_png_frames.h"

#include "capture/encoded_video.h"
#include "capture/interrupt.h"
#include "capture/png_file.h"
#include "capture/soundtrack_wav.h"

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
