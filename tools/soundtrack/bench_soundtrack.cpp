// Benchmark: how long decoding the carried soundtrack takes with the demo's decoder against mpg123 decoding
// the same file to raw PCM, how far the two decoders' 16-bit output lies apart, and how long the demo's
// start-up takes from the launch of a process to its first finished frame (headless, 1920 x 1080).
// Prints figures; it is not a test. Usage: bench_soundtrack [RUNS]
#include "app/frame_loop.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/headless/headless.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "render/gl_support.h"
#include "render/scene_program.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

static double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

static double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs `command`, reading its standard output to the end; returns the bytes read.
static std::vector<unsigned char> capture(const std::string& command, double* seconds) {
    std::vector<unsigned char> out;
    Clock::time_point start = Clock::now();
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        std::vector<unsigned char> chunk(1 << 20);
        size_t n;
        while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
            out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<long>(n));
        pclose(pipe);
    }
    *seconds = secondsSince(start);
    return out;
}

// The start-up sequence of the demo on the headless platform, up to the end of the first frame. Prints
// the steady-clock time at each step so that the parent can measure from the moment it launched us.
static int runFirstFrame() {
    auto stamp = [](const char* step) {
        std::printf("%s %.6f\n", step,
                    std::chrono::duration<double>(Clock::now().time_since_epoch()).count());
    };
    stamp("main");
    char why[256] = "";
    if (!openHeadlessContext(1920, 1080, why, sizeof why) || loadGlEntryPoints() != nullptr) {
        std::fprintf(stderr, "no OpenGL context: %s\n", why);
        return 1;
    }
    stamp("context");
    std::printf("renderer %s\n", headlessRendererName().c_str());
    buildCreditsTexture();
    buildSceneProgram();
    stamp("program");
    StereoFloatTrack track = decodeSoundtrack();
    stamp("decode");
    buildLoudnessEnvelope(track);
    convertToPcm16(track);
    startLoopingPlayback();
    stamp("playback");
    runFramePass();
    glFinish();
    stamp("frame");
    return 0;
}

static void benchFirstFrame(const char* self, int runs) {
    std::vector<double> total, context, program, decode, playback, frame;
    std::string renderer = "?";
    for (int run = 0; run < runs; ++run) {
        double launched = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
        double unused;
        std::vector<unsigned char> out = capture(std::string("'") + self + "' --first-frame", &unused);
        std::string text(out.begin(), out.end());
        auto at = [&](const char* step) {
            size_t p = text.find(std::string(step) + " ");
            return p == std::string::npos ? -1.0
                                          : std::atof(text.c_str() + p + std::strlen(step) + 1) - launched;
        };
        if (at("frame") < 0) {
            std::printf("first frame: the child failed:\n%s\n", text.c_str());
            return;
        }
        size_t name = text.find("renderer ");
        if (name != std::string::npos)
            renderer = text.substr(name + 9, text.find('\n', name) - name - 9);
        total.push_back(at("frame"));
        context.push_back(at("context") - at("main"));
        program.push_back(at("program") - at("context"));
        decode.push_back(at("decode") - at("program"));
        playback.push_back(at("playback") - at("decode"));
        frame.push_back(at("frame") - at("playback"));
    }
    std::printf("launch to first frame (headless 1920x1080, %s), median of %d: %.3f s\n", renderer.c_str(),
                runs, median(total));
    std::printf("  GL context %.3f s, credits + scene program %.3f s, decode %.3f s,\n"
                "  envelope + 16-bit + playback %.3f s, first frame %.3f s\n",
                median(context), median(program), median(decode), median(playback), median(frame));
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--first-frame") == 0)
        return runFirstFrame();
    int runs = argc == 2 ? std::max(1, std::atoi(argv[1])) : 5;

    std::vector<double> ours, theirs;
    StereoFloatTrack track = {};
    for (int run = 0; run < runs; ++run) {
        if (track.samples != nullptr)
            std::free(track.samples); // the decoder's buffer; the demo keeps it, the benchmark need not
        Clock::time_point start = Clock::now();
        track = decodeSoundtrack();
        ours.push_back(secondsSince(start));
    }
    convertToPcm16(track);
    std::vector<unsigned char> reference;
    for (int run = 0; run < runs; ++run) {
        double seconds = 0;
        reference = capture(std::string(DOZ_MPG123) + " -q -s '" + DOZ_SOUNDTRACK_FILE + "'", &seconds);
        theirs.push_back(seconds);
    }
    std::printf("decoding the carried soundtrack (%d frames), median of %d runs:\n", track.frames, runs);
    std::printf("  ours (minimp3, one call, float):     %.3f s\n", median(ours));
    std::printf("  mpg123 to raw 16-bit PCM (process):  %.3f s\n", median(theirs));
    std::printf("  ratio ours / mpg123:                 %.2f\n", median(ours) / median(theirs));

    size_t referenceFrames = reference.size() / 4;
    int largest = 0;
    size_t compared = std::min(referenceFrames, size_t(pcmTrack.frames)) * 2;
    for (size_t i = 0; i < compared; ++i) {
        int16_t value;
        std::memcpy(&value, reference.data() + 2 * i, 2);
        largest = std::max(largest, std::abs(pcmTrack.samples[i] - value));
    }
    std::printf("16-bit output: %zu frames from mpg123, %d ours; largest difference %d LSB\n",
                referenceFrames, pcmTrack.frames, largest);

    benchFirstFrame(argv[0], runs);
    return 0;
}
