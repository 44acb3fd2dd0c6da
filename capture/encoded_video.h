// The MP4 of a video or of a joined job: a temporary beside the target, the soundtrack's WAV for the
// frame range, and ffmpeg encoding both, so that both ways give the same file for the same frames.
#pragma once
#include "capture/capture_options.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/output_file.h"

#include <cstdint>
#include <string>

struct EncodedVideo {
    PendingOutput out, audio;
    FfmpegPipe encoder;
    bool withAudio = false;
};

// Whether a capture has sound: only a soundtrack that decoded gives one. When not, `whyNot` says why in a
// few words ("this build carries no soundtrack", "the soundtrack did not decode").
bool captureHasSound(std::string* whyNot);
// Says why a video has no audio, when it has none.
void noteWhenSilent();
// The sample frames of `frames` video frames: the span of sound that goes with them.
uint32_t soundSamplesFor(const CaptureOptions& options, int frames);

// Claims the output, writes the WAV of the `frames` frames from options.from and starts ffmpeg.
bool beginEncodedVideo(const CaptureOptions& options, const std::string& ffmpeg, const std::string& encoder,
                       int frames, EncodedVideo* video, std::string* why);
// Lets ffmpeg finish and removes the WAV; false, with the reason, when ffmpeg failed. The MP4 is still the
// temporary: commit or discard `video->out`.
bool finishEncodedVideo(EncodedVideo* video, std::string* why);
// Stops everything and removes the temporaries.
void discardEncodedVideo(EncodedVideo* video);
