// The MP4's sink: the WAV of the span and ffmpeg are started before the first frame; ffmpeg's exit decides
// whether the file is put in place.
#include "capture/sink_mp4.h"

#include "capture/report.h"
#include "capture/sink_png_frames.h"
#include "capture/video_kind.h"

#include <memory>

static bool begin(void* state, std::string* why) {
    auto* mp4 = static_cast<Mp4Output*>(state);
    if (!beginEncodedVideo(mp4->options, mp4->ffmpeg, mp4->encoder, mp4->frames, &mp4->video, why))
        return false;
    noteWhenSilent();
    return true;
}

static bool take(void* state, const CapturedFrame& frame, std::string* why) {
    if (sendFrame(&static_cast<Mp4Output*>(state)->video.encoder, frame.rgb, frame.size))
        return true;
    *why = "ffmpeg stopped taking frames";
    return false;
}

static bool finish(void* state, std::string* why) {
    auto* mp4 = static_cast<Mp4Output*>(state);
    return finishEncodedVideo(&mp4->video, why) && commitOutput(&mp4->video.out, why);
}

static void discard(void* state, std::string* why) {
    auto* mp4 = static_cast<Mp4Output*>(state);
    std::string encoderWhy;
    if (mp4->video.encoder.pid > 0 && !finishEncodedVideo(&mp4->video, &encoderWhy))
        addReason(why, encoderWhy);
    discardEncodedVideo(&mp4->video);
}

FrameSink mp4Sink(Mp4Output* mp4) {
    return {mp4, begin, take, finish, discard};
}

// "demo.mp4" becomes "demo-frames" when there is no encoder to make the MP4.
static std::string framesFolderFor(const std::string& output) {
    size_t slash = output.find_last_of('/');
    size_t dot = output.find_last_of('.');
    std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                           ? output.substr(0, dot)
                           : output;
    return stem + "-frames";
}

static bool mp4HasSound(const void* state) {
    return static_cast<const Mp4Output*>(state)->video.withAudio;
}

static bool openMp4(const CaptureOptions& options, int frames, VideoOutput* output, std::string* why) {
    auto mp4 = std::make_shared<Mp4Output>();
    std::string noEncoder;
    mp4->ffmpeg = findFfmpeg(&mp4->encoder, &noEncoder);
    if (mp4->ffmpeg.empty()) {
        CaptureOptions folder = options;
        folder.output = framesFolderFor(options.output);
        reportNote(noEncoder + ": writing PNG frames into '" + folder.output + "' instead of a video");
        return PNG_FRAMES_VIDEO.open(folder, frames, output, why);
    }
    mp4->options = options;
    mp4->frames = frames;
    output->sink = mp4Sink(mp4.get());
    output->target = options.output;
    output->shownAs = "video";
    output->keep = mp4;
    output->hasSound = mp4HasSound;
    return true;
}

// The video as an MP4; where there is no encoder, PNG frames in "NAME-frames" beside it instead.
const VideoKind MP4_VIDEO = {"H.264 in yuv420p needs an even width and height (or use --frames)", openMp4};
