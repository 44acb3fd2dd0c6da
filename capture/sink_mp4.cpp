// The MP4's sink: the WAV of the span and ffmpeg are started before the first frame; ffmpeg's exit decides
// whether the file is put in place.
#include "capture/sink_mp4.h"

#include "capture/report.h"

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
