// The capture side of the frame loop: the headless sound position stands in for the music clock.
#include "capture/capture_frames.h"
#include "capture/interrupt.h"
#include "capture/progress.h"

#include "app/demo_preparation.h"
#include "app/frame_loop.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "capture/capture_tracks.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "render/gl_api.h"
#include "render/scene_program.h"

#include <algorithm>

#include <cmath>
#include <cstdio>

static int supersample = 1;

void setCaptureSupersample(int samples) {
    supersample = samples < 1 ? 1 : samples;
}

bool prepareCapture(int pictureWidth, int pictureHeight, std::string* why) {
    const int width = pictureWidth * supersample, height = pictureHeight * supersample;
    char reason[512] = "";
    if (!openHeadlessContext(width, height, reason, sizeof reason)) {
        *why = std::string("no EGL device: ") + reason;
        return false;
    }
    setHeadlessSoundPosition(0);
    if (!prepareDemo(reason, sizeof reason)) {
        *why = std::string("the OpenGL context cannot run the scene: ") + reason;
        return false;
    }
    if (shaderErrorFlag) {
        *why = std::string("the scene program does not build:\n") + compileLog;
        return false;
    }
    // Start-up loaded the built-in tracks; the capture's own replace them (said once already, at its start).
    loadCaptureTracks(false);
    // Past the driver's limits the framebuffer silently stays unusable and every frame would read back black.
    GLint largest = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    char text[160];
    if (width > largest || height > largest || width > viewport[0] || height > viewport[1]) {
        std::snprintf(text, sizeof text, "this OpenGL driver draws at most %dx%d pixels%s",
                      largest < viewport[0] ? largest : viewport[0],
                      largest < viewport[1] ? largest : viewport[1],
                      supersample > 1 ? " (--supersample draws at N times the size)" : "");
        *why = text;
        return false;
    }
    return checkOpenGl(why);
}

bool checkOpenGl(std::string* why) {
    GLenum error = glGetError();
    if (error == GL_NO_ERROR)
        return true;
    char text[96];
    std::snprintf(text, sizeof text, "OpenGL reported error 0x%x%s", error,
                  error == GL_OUT_OF_MEMORY ? " (out of memory: try a smaller --size)" : "");
    *why = text;
    return false;
}

void startCaptureRun() {
    setHeadlessSoundPosition(0);
    startLoopingPlayback();
    beatOnsetState = {0.0f, 0};
}

uint32_t soundPositionAt(double seconds) {
    return static_cast<uint32_t>(std::llround(seconds * SAMPLE_RATE));
}

void drawFrameAt(double seconds) {
    // Both readings of the pass see this position, so iTime and the beat lookup share the time.
    setHeadlessSoundPosition(soundPositionAt(seconds));
    runFramePass();
}

void skipFrameAt(double seconds) {
    // Nothing else the pass does lasts from one frame to the next.
    setHeadlessSoundPosition(soundPositionAt(seconds));
    stepFrameTime();
    stepFrameBeat();
}

// Each N*N block of the drawn RGBA frame becomes one RGB pixel, the mean rounded to nearest.
static void averageBlocks(const std::vector<unsigned char>& rgba, int samples,
                          std::vector<unsigned char>* rgb) {
    int width = 0, height = 0;
    readClientSize(&width, &height);
    const int outWidth = width / samples, outHeight = height / samples;
    rgb->assign(static_cast<size_t>(outWidth) * outHeight * 3, 0);
    const unsigned area = static_cast<unsigned>(samples * samples);
    std::vector<unsigned> sums(static_cast<size_t>(outWidth) * 3);
    for (int y = 0; y < outHeight; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int sy = 0; sy < samples; ++sy) {
            const unsigned char* row = rgba.data() + (static_cast<size_t>(y) * samples + sy) * width * 4;
            for (int x = 0; x < outWidth; ++x)
                for (int sx = 0; sx < samples; ++sx) {
                    const unsigned char* p = row + (static_cast<size_t>(x) * samples + sx) * 4;
                    sums[x * 3] += p[0];
                    sums[x * 3 + 1] += p[1];
                    sums[x * 3 + 2] += p[2];
                }
        }
        unsigned char* out = rgb->data() + static_cast<size_t>(y) * outWidth * 3;
        for (size_t i = 0; i < sums.size(); ++i)
            out[i] = static_cast<unsigned char>((sums[i] + area / 2) / area);
    }
}

void readFrameRgb(std::vector<unsigned char>* rgb) {
    std::vector<unsigned char> rgba = readHeadlessPixels();
    if (supersample > 1) {
        averageBlocks(rgba, supersample, rgb);
        return;
    }
    size_t pixels = rgba.size() / 4;
    rgb->resize(pixels * 3);
    unsigned char* out = rgb->data();
    const unsigned char* in = rgba.data();
    // A window shows no alpha; neither does a capture.
    for (size_t i = 0; i < pixels; ++i, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    }
}

void drawStillAt(double seconds) {
    startCaptureRun();
    drawFrameAt(seconds);
}

FrameRange videoFrames(const CaptureOptions& options, int first, int count) {
    FrameRange range;
    range.skipped.reserve(static_cast<size_t>(first));
    for (int k = 0; k < first; ++k)
        range.skipped.push_back(videoFrameTime(options, k));
    range.times.reserve(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        range.times.push_back(videoFrameTime(options, first + k));
    return range;
}

FrameRange stillFrames(std::vector<double> times) {
    FrameRange range;
    range.times = std::move(times);
    range.stills = true;
    return range;
}

int renderFrameRange(const FrameRange& range, const FrameSink& sink, std::string* why) {
    why->clear();
    if (!sink.begin(sink.state, why))
        return 0;
    setGracefulStop(range.stoppable);
    if (range.shownAs != nullptr) {
        startProgress(range.shownAs, range.unit, static_cast<int>(range.times.size()));
        reportProgress(0);
    }
    if (!range.stills) {
        startCaptureRun();
        for (double seconds : range.skipped)
            skipFrameAt(seconds);
    }
    std::vector<unsigned char> rgb;
    int done = 0;
    for (double seconds : range.times) {
        if (stopRequested())
            break;
        if (range.stills)
            drawStillAt(seconds);
        else
            drawFrameAt(seconds);
        readFrameRgb(&rgb);
        const CapturedFrame frame = {done, seconds, soundPositionAt(seconds), rgb.data(), rgb.size()};
        if (!checkOpenGl(why) || !sink.take(sink.state, frame, why))
            break;
        done += 1;
        if (range.shownAs != nullptr)
            reportProgress(done);
    }
    if (range.shownAs != nullptr)
        finishProgress();
    if (!why->empty() || done == 0 || !sink.finish(sink.state, why))
        sink.discard(sink.state, why);
    setGracefulStop(false);
    return done;
}
