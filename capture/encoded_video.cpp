// The encoded video's outputs and encoder, shared by the video mode and the assembly of a job.
#include "capture/encoded_video.h"

#include "audio/soundtrack.h"
#include "audio/soundtrack_preparation.h"
#include "capture/capture_frames.h"
#include "capture/report.h"
#include "capture/soundtrack_wav.h"
#include "platform/resources.h"

#include <cmath>

bool captureHasSound(std::string* whyNot) {
    if (soundtrackDecoded())
        return true;
    *whyNot = findSoundtrackResource().size == 0 ? "this build carries no soundtrack"
                                                 : "the soundtrack did not decode";
    return false;
}

void noteWhenSilent() {
    std::string silent;
    if (!captureHasSound(&silent))
        reportNote(silent + ": the video has no audio");
}

uint32_t soundSamplesFor(const CaptureOptions& options, int frames) {
    return static_cast<uint32_t>(std::llround(frames * double(SAMPLE_RATE) / options.fps));
}

bool beginEncodedVideo(const CaptureOptions& options, const std::string& ffmpeg, const std::string& encoder,
                       int frames, EncodedVideo* video, std::string* why) {
    if (!beginOutput(options.output, false, 0, &video->out, why))
        return false;
    std::string silent;
    video->withAudio = captureHasSound(&silent);
    std::string wav;
    if (video->withAudio) {
        // The samples of exactly the frames' span, from the one 16-bit track: encoded once, never per piece.
        const uint32_t first = soundPositionAt(options.from);
        const uint32_t samples = soundSamplesFor(options, frames);
        if (!beginOutput(options.output + ".wav", false, 1, &video->audio, why) ||
            !writeSoundtrackWav(video->audio.temp, first, samples, why)) {
            discardEncodedVideo(video);
            return false;
        }
        wav = video->audio.temp;
    }
    VideoFormat format = {options.width, options.height, options.fps, encoder, wav, video->out.temp};
    if (!startFfmpeg(ffmpeg, format, &video->encoder, why)) {
        discardEncodedVideo(video);
        return false;
    }
    return true;
}

bool finishEncodedVideo(EncodedVideo* video, std::string* why) {
    bool ok = finishFfmpeg(&video->encoder, why);
    discardOutput(&video->audio);
    return ok;
}

void discardEncodedVideo(EncodedVideo* video) {
    if (video->encoder.pid > 0) {
        std::string ignored;
        finishFfmpeg(&video->encoder, &ignored);
    }
    discardOutput(&video->audio);
    discardOutput(&video->out);
}
