// Capture throughput against the plain frame time: how much reading back, PNG encoding or piping to ffmpeg
// add to drawing a frame on the headless context.
#include "capture/capture_frames.h"
#include "capture/capture_modes.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/interrupt.h"
#include "capture/output_file.h"
#include "platform/headless/headless.h"

#include <stb/stb_image_write.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

static uint64_t bigEndian(const unsigned char* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// Whether ffmpeg's output is a whole MP4: top-level boxes that end exactly at the end of the file, a movie
// box among them. ffmpeg exits with 0 even when it could not write the end of the file.
static bool mp4Complete(const char* path, std::string* why) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        *why = describeError("cannot read ffmpeg's output back");
        return false;
    }
    bool movie = false, whole = std::fseek(file, 0, SEEK_END) == 0;
    const uint64_t end = whole ? static_cast<uint64_t>(ftello(file)) : 0;
    uint64_t offset = 0;
    unsigned char header[16];
    while (whole && offset < end) {
        whole =
            fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 && std::fread(header, 1, 8, file) == 8;
        uint64_t size = whole ? bigEndian(header, 4) : 0;
        if (whole && size == 1) { // a 64-bit size follows the type
            whole = std::fread(header + 8, 1, 8, file) == 8;
            size = bigEndian(header + 8, 8);
        } else if (size == 0) { // the box runs to the end of the file
            size = end - offset;
        }
        whole = whole && size >= 8 && size <= end - offset;
        movie = movie || (whole && std::memcmp(header + 4, "moov", 4) == 0);
        offset += size;
    }
    std::fclose(file);
    if (whole && movie)
        return true;
    *why = "ffmpeg exited with 0, but the MP4 it wrote is incomplete (its message is above): no pipe figure";
    return false;
}

// Draws the frames at `times`, each taken as far as `stage`, and puts the seconds that took in `seconds`.
// False, with the reason, when ffmpeg fails, stops taking frames or takes none: no figure is made then.
static bool timeFrames(Stage stage, const std::vector<double>& times, FfmpegPipe* pipe, int width, int height,
                       double* seconds, std::string* why) {
    std::vector<unsigned char> rgb;
    size_t pngBytes = 0, taken = 0;
    auto start = std::chrono::steady_clock::now();
    startCaptureRun();
    for (double t : times) {
        drawFrameAt(t); // ends with glFinish: the frame is complete
        if (stage == Stage::Draw)
            continue;
        readFrameRgb(&rgb);
        if (stage == Stage::Png)
            stbi_write_png_to_func(countBytes, &pngBytes, width, height, 3, rgb.data(), width * 3);
        if (stage == Stage::Pipe) {
            if (!sendFrame(pipe, rgb.data(), rgb.size()))
                break;
            ++taken;
        }
    }
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (stage != Stage::Pipe)
        return true;
    // The encoder's tail counts too; its exit status says whether the figure means anything.
    std::string failure;
    bool finished = finishFfmpeg(pipe, &failure);
    if (finished && taken == times.size())
        return true;
    char text[224];
    if (finished)
        std::snprintf(text, sizeof text, "ffmpeg ended after taking %zu of %zu frames: no pipe figure", taken,
                      times.size());
    else
        std::snprintf(text, sizeof text, "%s, after taking %zu of %zu frames: no pipe figure",
                      failure.c_str(), taken, times.size());
    *why = text;
    return false;
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
        times.push_back(END_TIME * i / n);
    std::printf("doz-capture benchmark: %s, %d frames spread over 0 to %g s per figure\n",
                headlessRendererName().c_str(), n, END_TIME);
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
            double seconds = 0.0;
            bool timed = timeFrames(stage, times, &pipe, size.width, size.height, &seconds, &why);
            if (timed && stage == Stage::Pipe)
                timed = mp4Complete(temp, &why);
            if (stage == Stage::Pipe) {
                registerAbandonFile(0, nullptr);
                unlink(temp);
            }
            if (!timed)
                return reportFailure(why);
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
