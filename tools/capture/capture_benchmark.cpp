// Capture throughput against the plain frame time: how much reading back, PNG encoding or piping to ffmpeg
// add to drawing a frame on the headless context.
#include "platform/headless/headless.h"
#include "tools/capture/capture_frames.h"
#include "tools/capture/capture_modes.h"
#include "tools/capture/ffmpeg_pipe.h"
#include "tools/capture/interrupt.h"
#include "tools/capture/output_file.h"

#include <stb/stb_image_write.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {
enum class Stage { Draw, Readback, Png, Pipe };

struct BenchmarkSize {
    int width, height;
};
} // namespace

static void countBytes(void* context, void*, int size) {
    *static_cast<size_t*>(context) += static_cast<size_t>(size);
}

// Seconds for the frames at `times`, each drawn and taken as far as `stage`.
static double timeFrames(Stage stage, const std::vector<double>& times, FfmpegPipe* pipe, int width,
                         int height) {
    std::vector<unsigned char> rgb;
    size_t pngBytes = 0;
    auto start = std::chrono::steady_clock::now();
    startCaptureRun();
    for (double t : times) {
        drawFrameAt(t); // ends with glFinish: the frame is complete
        if (stage == Stage::Draw)
            continue;
        readFrameRgb(&rgb);
        if (stage == Stage::Png)
            stbi_write_png_to_func(countBytes, &pngBytes, width, height, 3, rgb.data(), width * 3);
        if (stage == Stage::Pipe)
            sendFrame(pipe, rgb.data(), rgb.size());
    }
    if (stage == Stage::Pipe) {
        std::string why;
        finishFfmpeg(pipe, &why); // the encoder's tail counts too
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int runCaptureBenchmark(const CaptureOptions& options) {
    std::string why, encoder;
    const BenchmarkSize sizes[] = {{320, 180}, {640, 360}};
    if (!prepareCapture(sizes[0].width, sizes[0].height, &why))
        return reportFailure(why);
    std::string ffmpeg = findFfmpeg(&encoder, &why);
    if (ffmpeg.empty())
        reportNote(why + ": the pipe figures are left out");

    const int n = options.benchmarkFrames;
    std::vector<double> times;
    for (int i = 0; i < n; ++i)
        times.push_back(124.0 * i / n);
    std::printf("doz-capture benchmark: %s, %d frames spread over 0 to 124 s per figure\n",
                headlessRendererName().c_str(), n);
    std::printf("%-9s  %-32s %10s %9s %8s\n", "size", "stage", "ms/frame", "fps", "vs draw");

    for (const BenchmarkSize& size : sizes) {
        setHeadlessClientSize(size.width, size.height);
        drawStillAt(0.0); // warms caches and the first-use paths of the driver
        double draw = 0.0;
        for (Stage stage : {Stage::Draw, Stage::Readback, Stage::Png, Stage::Pipe}) {
            const char* name = stage == Stage::Draw       ? "draw + glFinish"
                               : stage == Stage::Readback ? "+ readback to RGB"
                               : stage == Stage::Png      ? "+ PNG encode (stb)"
                                                          : "+ ffmpeg pipe, start to finish";
            FfmpegPipe pipe;
            char temp[] = "/tmp/doz-capture-benchmark-XXXXXX";
            if (stage == Stage::Pipe) {
                if (ffmpeg.empty())
                    continue;
                int fd = mkstemp(temp);
                if (fd < 0)
                    return reportFailure(describeError("cannot make a temporary file"));
                close(fd);
                registerAbandonFile(0, temp);
                VideoFormat format = {size.width, size.height, 30.0, encoder, "", temp};
                if (!startFfmpeg(ffmpeg, format, &pipe, &why)) {
                    unlink(temp);
                    return reportFailure(why);
                }
            }
            double seconds = timeFrames(stage, times, &pipe, size.width, size.height);
            if (stage == Stage::Pipe) {
                registerAbandonFile(0, nullptr);
                unlink(temp);
            }
            if (stage == Stage::Draw)
                draw = seconds;
            char label[16];
            std::snprintf(label, sizeof label, "%dx%d", size.width, size.height);
            std::printf("%-9s  %-32s %10.2f %9.1f %7.2fx\n", label, name, 1000.0 * seconds / n, n / seconds,
                        seconds / draw);
            std::fflush(stdout);
        }
    }
    return 0;
}
