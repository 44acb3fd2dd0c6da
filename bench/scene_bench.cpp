// Frame time of the scene on the headless context: median milliseconds per frame for each act of the
// timeline, at two sizes, for the stage the executables carry against the straight stage it replaced (the
// two take turns frame by frame); with --detail also the stage with the fractal detail switched off (a build
// whose detail distance is negative); with --against also an earlier stage, so that the new one's speed-up
// over it comes from the same run.
#include "app/frame_loop.h"
#include "bench/straight_stage.h"
#include "platform/headless/headless.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"

#include <stb_image_write.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct Act {
    const char* name;
    std::vector<double> times;
};

static const Act ACTS[] = {
    {"pull-out", {5., 15., 25., 35.}},
    {"flight", {42., 46., 50.}},
    {"orbit", {54., 57., 60.}},
    {"trailing", {66., 75., 90., 105., 122.}},
};

struct Size {
    int width, height;
};

static double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.;
}

static bool readStage(const char* path, std::string* text) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    *text = content.str();
    return static_cast<bool>(in);
}

static std::string withoutDetail(const std::string& stage) {
    std::string source = stage;
    const std::string line = "#define LOD_DIST 25.0";
    size_t at = source.find(line);
    if (at == std::string::npos) {
        std::fprintf(stderr, "the stage has no \"%s\" line to switch the detail off\n", line.c_str());
        std::exit(1);
    }
    source.replace(at, line.size(), "#define LOD_DIST (-1.0)");
    return source;
}

// Wall time, or with --cpu the processor time of the whole process (the driver's rasteriser threads
// included), which other load on the machine disturbs much less.
static bool cpuClock = false;

static double nowMilliseconds() {
    if (!cpuClock)
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static double frameMilliseconds(double time) {
    setHeadlessSoundPosition(static_cast<uint32_t>(time * 44100.));
    double start = nowMilliseconds();
    runFramePass(); // ends with glFinish
    return nowMilliseconds() - start;
}

static void writeFrame(const std::string& dir, const char* variant, Size size, double time) {
    std::vector<unsigned char> pixels = readHeadlessPixels();
    char name[64];
    std::snprintf(name, sizeof name, "/%s_%dx%d_%05.1f.png", variant, size.width, size.height, time);
    std::string path = dir + name;
    if (!stbi_write_png(path.c_str(), size.width, size.height, 4, pixels.data(), size.width * 4))
        std::fprintf(stderr, "could not write %s\n", path.c_str());
}

// A built stage and its uniform table, so that the two variants can take turns frame by frame.
struct Variant {
    const char* name;
    GLuint program;
    UniformTable table;
};

static Variant buildVariant(const char* name, const char* fragment) {
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, fragment);
    if (sceneProgram == 0) {
        std::fprintf(stderr, "the %s stage did not build:\n%s\n", name, compileLog);
        std::exit(1);
    }
    return {name, sceneProgram, uniforms};
}

static void use(const Variant& v) {
    uniforms = v.table;
    gl.useProgram(v.program);
}

// Median per act and variant. The variants alternate frame by frame, so that load from other processes on
// the machine weighs on both alike.
static std::vector<std::vector<double>> measure(const std::vector<Variant>& variants, Size size, int reps,
                                                const std::string& framesDir) {
    setHeadlessClientSize(size.width, size.height);
    for (const Variant& v : variants) {
        use(v);
        frameMilliseconds(ACTS[0].times[0]); // the driver compiles on first use
    }
    std::vector<std::vector<double>> medians(variants.size());
    for (const Act& act : ACTS) {
        std::vector<std::vector<double>> samples(variants.size());
        for (double time : act.times) {
            for (int r = 0; r < reps; ++r)
                for (size_t k = 0; k < variants.size(); ++k) {
                    use(variants[k]);
                    samples[k].push_back(frameMilliseconds(time));
                    if (!framesDir.empty() && r == 0)
                        writeFrame(framesDir, variants[k].name, size, time);
                }
        }
        for (size_t k = 0; k < variants.size(); ++k)
            medians[k].push_back(median(samples[k]));
    }
    return medians;
}

int main(int argc, char** argv) {
    int reps = 3;
    std::vector<Size> sizes;
    std::string framesDir;
    bool detail = false;
    std::string stageText = SCENE_FRAGMENT_SOURCE;
    std::string againstText;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            Size s = {0, 0};
            if (std::sscanf(argv[++i], "%dx%d", &s.width, &s.height) != 2 || s.width <= 0 || s.height <= 0) {
                std::fprintf(stderr, "bad size %s\n", argv[i]);
                return 2;
            }
            sizes.push_back(s);
        } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            framesDir = argv[++i];
            std::filesystem::create_directories(framesDir);
        } else if (std::strcmp(argv[i], "--stage") == 0 && i + 1 < argc) {
            if (!readStage(argv[++i], &stageText)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
            if (!readStage(argv[++i], &againstText) || againstText.empty()) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--cpu") == 0) {
            cpuClock = true;
        } else if (std::strcmp(argv[i], "--detail") == 0) {
            detail = true;
        } else {
            std::fprintf(
                stderr,
                "usage: %s [--reps N] [--size WxH]... [--frames DIR] [--detail] [--stage FILE]\n"
                "       [--against FILE] [--cpu]\n"
                "  median frame time per act of the scene stage against the straight stage;\n"
                "  --detail adds the stage without the fractal detail;\n"
                "  --stage races a fragment stage read from FILE instead of the carried one;\n"
                "  --against adds an earlier stage read from FILE, and the stage's speed-up over it;\n"
                "  --cpu measures the process's processor time instead of wall time;\n"
                "  --frames writes the frame at each time as a PNG\n",
                argv[0]);
            return 2;
        }
    }

    if (sizes.empty())
        sizes = {{320, 180}, {640, 360}};

    std::string why;
    if (!openHeadlessContext(sizes[0].width, sizes[0].height, &why)) {
        std::fprintf(stderr, "no headless context: %s\n", why.c_str());
        return 1;
    }
    if (const char* missing = loadGlEntryPoints()) {
        std::fprintf(stderr, "missing OpenGL entry point %s\n", missing);
        return 1;
    }
    buildCreditsTexture();
    std::printf("renderer: %s\n", headlessRendererName().c_str());
    std::printf("frames per time and variant: %d; %s\n\n", reps, cpuClock ? "processor time" : "wall time");

    std::string plain = withoutDetail(stageText);
    std::vector<Variant> variants = {buildVariant("straight", STRAIGHT_SCENE_FRAGMENT_SOURCE),
                                     buildVariant("stage", stageText.c_str())};
    if (detail)
        variants.push_back(buildVariant("nodetail", plain.c_str()));
    if (!againstText.empty())
        variants.push_back(buildVariant("earlier", againstText.c_str()));
    for (Size size : sizes) {
        std::vector<std::vector<double>> medians = measure(variants, size, reps, framesDir);
        const std::vector<double>& straight = medians[0];
        const std::vector<double>& stage = medians[1];
        const std::vector<double>* earlier = againstText.empty() ? nullptr : &medians.back();
        std::printf("%dx%d      straight ms   stage ms   speed-up%s%s\n", size.width, size.height,
                    detail ? "   no-detail ms   detail share" : "",
                    earlier ? "   earlier ms   over earlier" : "");
        double straightSum = 0., stageSum = 0., earlierSum = 0.;
        for (size_t a = 0; a < stage.size(); ++a) {
            std::printf("  %-10s %10.2f %10.2f %9.2fx", ACTS[a].name, straight[a], stage[a],
                        straight[a] / stage[a]);
            if (detail)
                std::printf(" %14.2f %14.0f%%", medians[2][a], 100. * (stage[a] - medians[2][a]) / stage[a]);
            if (earlier)
                std::printf(" %12.2f %13.2fx", (*earlier)[a], (*earlier)[a] / stage[a]);
            std::printf("\n");
            straightSum += straight[a];
            stageSum += stage[a];
            earlierSum += earlier ? (*earlier)[a] : 0.;
        }
        std::printf("  %-10s %10.2f %10.2f %9.2fx", "all acts", straightSum, stageSum,
                    straightSum / stageSum);
        if (earlier)
            std::printf("%s %12.2f %13.2fx", detail ? std::string(30, ' ').c_str() : "", earlierSum,
                        earlierSum / stageSum);
        std::printf("\n\n");
        std::fflush(stdout);
    }
    return 0;
}
