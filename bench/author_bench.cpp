// Author mode's latencies on the headless context, in one run:
// - reload: a changed scene stage saved into a watched folder until the first frame drawn by the new
//   program, against the same stage's own compile and link, and its compile, link and first frame;
// - seek: the frames from a seek key to the first frame drawn at the new time.
// The tick count that the reloader's settling waits on is the real clock here.
#define GL_GLEXT_PROTOTYPES 1
#include "app/frame_loop.h"
#include "app/transport.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/headless/headless.h"
#include "platform/ticks.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "render/stage_reloader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static const Clock::time_point START = Clock::now();

static double millisecondsSince(Clock::time_point then) {
    return std::chrono::duration<double, std::milli>(Clock::now() - then).count();
}

static void syncTicks() {
    setHeadlessTickCount(static_cast<uint32_t>(millisecondsSince(START)) + 1);
}

static double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.;
}

// The scene stage with a constant that changes the picture and defeats any cache of compiled programs.
static std::string variant(int n) {
    return std::string(SCENE_FRAGMENT_SOURCE) + "\n// variant " + std::to_string(n) +
           "\nconst float AUTHOR_BENCH_VARIANT = " + std::to_string(n) + ".0;\n";
}

static void save(const fs::path& folder, const char* name, const std::string& text) {
    fs::path temporary = folder / (std::string(name) + ".tmp");
    std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
    if (file == nullptr) {
        std::perror(temporary.string().c_str());
        std::exit(1);
    }
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    fs::rename(temporary, folder / name);
}

static void drawAt(double seconds) {
    setHeadlessSoundPosition(static_cast<uint32_t>(seconds * SAMPLE_RATE));
    runFramePass(); // ends with glFinish
}

int main(int argc, char** argv) {
    int width = 160, height = 90, reps = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--size") == 0 && std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2)
            continue;
        if (std::strcmp(argv[i], "--reps") == 0 && (reps = std::atoi(argv[i + 1])) > 0)
            continue;
        std::fprintf(stderr, "usage: doz-author-bench [--size WxH] [--reps N]\n");
        return 2;
    }
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    char why[256] = "";
    if (!openHeadlessContext(width, height, why, sizeof why) || loadGlEntryPoints() != nullptr) {
        std::fprintf(stderr, "no headless context: %s\n", why);
        return 1;
    }
    buildCreditsTexture();
    buildSceneProgram();
    pcmTrack.frames = 150 * SAMPLE_RATE; // the music itself plays no part; the clock needs a track length
    setHeadlessSoundPosition(0);
    startLoopingPlayback();
    const double AT = 30.0;
    drawAt(AT);
    std::printf("renderer: %s, %dx%d, %d repetitions\n", headlessRendererName().c_str(), width, height, reps);

    // Measured in turns, one of each per repetition, so that both see the same load on a shared machine.
    fs::path folder = fs::temp_directory_path() / ("doz-author-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    int n = 0;
    save(folder, "scene.vert", SCENE_VERTEX_SOURCE);
    save(folder, "scene.frag", variant(++n));
    syncTicks();
    startStageReloader(folder.string().c_str(), SCENE_VERTEX_SOURCE, variant(n).c_str());
    std::vector<double> compileLink, compileLinkFrame, frame, reload, reloadFrames, ratio;
    for (int r = 0; r < reps; ++r) {
        // The stage on its own: compile and link, then the first frame (a software renderer compiles the
        // program's code for its first draw).
        std::string text = variant(++n);
        char log[COMPILE_LOG_SIZE];
        StageFailure failure = StageFailure::None;
        Clock::time_point start = Clock::now();
        GLuint program = compileAndLinkStages(SCENE_VERTEX_SOURCE, text.c_str(), log, sizeof log, &failure);
        compileLink.push_back(millisecondsSince(start));
        if (program == 0) {
            std::fprintf(stderr, "the stage did not build: %s\n", log);
            return 1;
        }
        GLuint previous = sceneProgram;
        useSceneProgram(program);
        gl.deleteProgram(previous);
        drawAt(AT);
        compileLinkFrame.push_back(millisecondsSince(start));
        Clock::time_point again = Clock::now();
        drawAt(AT);
        frame.push_back(millisecondsSince(again));

        // Through the reloader: saved into the watched folder, polled once per frame as the author loop does.
        int counter = stageReloader.reloadCounter;
        save(folder, "scene.frag", variant(++n));
        Clock::time_point saved = Clock::now();
        int frames = 0;
        for (;;) {
            syncTicks();
            pollStageReloader(readTickCount());
            bool reloaded = stageReloader.reloadCounter != counter;
            drawAt(AT); // after a reload, the first frame of the new program
            ++frames;
            if (reloaded)
                break;
        }
        reload.push_back(millisecondsSince(saved));
        reloadFrames.push_back(frames);
        ratio.push_back(reload.back() / compileLinkFrame.back());
    }
    fs::remove_all(folder);

    // Seek: the key is handled in a pass's message step, before that pass reads the clock.
    std::vector<double> seekFrames;
    startTransport(AT);
    for (int r = 0; r < reps; ++r) {
        double target = transportTime() + SEEK_STEP;
        int frames = 0;
        performTransportAction(KeyAction::SeekForward);
        for (;;) {
            beforeTransportPass();
            runFramePass();
            ++frames;
            GLfloat shown = 0.f;
            glGetUniformfv(sceneProgram, uniforms.iTime, &shown);
            if (std::fabs(shown - target) < 1e-3 || frames > 100)
                break;
        }
        seekFrames.push_back(frames);
    }

    std::printf("scene stage compile + link:               %8.1f ms (median)\n", median(compileLink));
    std::printf("scene stage compile + link + first frame: %8.1f ms\n", median(compileLinkFrame));
    std::printf("a later frame of the same program:        %8.1f ms\n", median(frame));
    std::printf("reload, saved -> first frame of the new program: %8.1f ms, %.0f frames drawn meanwhile "
                "(settling %u ms)\n",
                median(reload), median(reloadFrames), RELOAD_SETTLE_MS);
    std::printf("reload / (compile + link + first frame), per repetition: median %.2f\n", median(ratio));
    std::printf("seek, key -> first frame at the new time: %.0f frame(s)\n", median(seekFrames));
    return 0;
}
