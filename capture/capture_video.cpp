// A video of a time range: frames in order, through ffmpeg to MP4, or as a folder of PNG frames.
#include "audio/soundtrack.h"
#include "capture/capture_frames.h"
#include "capture/capture_modes.h"
#include "capture/encoded_video.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/interrupt.h"
#include "capture/output_file.h"
#include "capture/png_file.h"
#include "capture/progress.h"
#include "capture/soundtrack_wav.h"

#include <cmath>
#include <cstdio>
#include <vector>

static const char* const FOLDER_SOUNDTRACK = "soundtrack.wav";

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
    EncodedVideo video;
    PendingOutput& out = video.out;
    if (toFrames) {
        if (!beginOutput(target, true, 0, &out, &why))
            return reportFailure(why);
        std::string silent;
        video.withAudio = captureHasSound(&silent);
        if (video.withAudio) {
            const uint32_t frames =
                static_cast<uint32_t>(std::llround(total * double(SAMPLE_RATE) / options.fps));
            registerAbandonFolder(out.temp.c_str(), FOLDER_SOUNDTRACK);
            if (!writeSoundtrackWav(out.temp + "/" + FOLDER_SOUNDTRACK, soundPositionAt(options.from), frames,
                                    &why)) {
                discardOutput(&out);
                return reportFailure(why);
            }
        }
    } else if (!beginEncodedVideo(options, ffmpeg, encoder, total, &video, &why)) {
        return reportFailure(why);
    }
    const bool withAudio = video.withAudio;
    std::string silent;
    if (!captureHasSound(&silent))
        reportNote(silent + ": the video has no audio");

    setGracefulStop(true);
    startProgress(toFrames ? "frames" : "video", "frames", total);
    reportProgress(0);
    auto take = [&](int k, const std::vector<unsigned char>& rgb, std::string* failure) {
        if (toFrames) {
            char name[32];
            frameFileName(k, name, sizeof name);
            setAbandonFolderFrames(k);
            if (!writePngRgb(out.temp + "/" + name, rgb.data(), options.width, options.height, failure))
                return false;
        } else if (!sendFrame(&video.encoder, rgb.data(), rgb.size())) {
            *failure = "ffmpeg stopped taking frames";
            return false;
        }
        reportProgress(k + 1);
        return true;
    };
    const int done = renderFrameRange(videoFrames(options, 0, total), take, &why);
    bool failed = !why.empty();
    finishProgress();

    std::string encoderWhy;
    if (!toFrames && !finishEncodedVideo(&video, &encoderWhy)) {
        why = failed ? why + "; " + encoderWhy : encoderWhy;
        failed = true;
    }
    const int interruptedBy = stopSignal();
    if (failed || done == 0) {
        discardEncodedVideo(&video);
        if (failed)
            return reportFailure(why);
        reportNote("interrupted before the first frame; nothing was written");
        return 128 + interruptedBy;
    }
    if (!commitOutput(&out, &why))
        return reportFailure(why);
    setGracefulStop(false);

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
