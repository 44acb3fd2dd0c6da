// Frame time of the scene on the headless context: median milliseconds per frame for each act of the
// timeline, at two sizes, in processor time and wall time from the same frames, for the stage the executables
// carry against the straight stage it replaced (the two take turns frame by frame), and the picture figure:
// the stage's worst frame against the straight stage's, at times spread over the whole run. --steps draws
// each pixel's march instead; --detail adds the stage with the fractal detail switched off; --against adds
// earlier stages, so that the new one's speed-up over them comes from the same run.
#include "app/frame_loop.h"
#include "audio/loudness_envelope.h"
#include "audio/soundtrack.h"
#include "bench/picture_budget.h"
#include "bench/step_picture.h"
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
    double end; // music time
    std::vector<double> times;
};

static const Act ACTS[] = {
    {"pull-out", 40., {5., 15., 25., 35.}},
    {"flight", 52., {42., 46., 50.}},
    {"orbit", 62., {54., 57., 60.}},
    {"trailing", END_TIME, {66., 75., 90., 105., 122.}},
};
constexpr int ACT_COUNT = sizeof ACTS / sizeof ACTS[0];
// The picture is checked at this many times evenly spread over the run, besides the times above.
constexpr int SPREAD_CHECKS = 32;

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

// The stage with one of its defining lines replaced.
static std::string withLine(const std::string& stage, const std::string& line,
                            const std::string& replacement) {
    std::string source = stage;
    size_t at = source.find(line);
    if (at == std::string::npos) {
        std::fprintf(stderr, "the stage has no \"%s\" line to replace\n", line.c_str());
        std::exit(1);
    }
    source.replace(at, line.size(), replacement);
    return source;
}

struct Clocks {
    double wall, cpu; // ms; cpu is the whole process's, the driver's rasteriser threads included
};

static Clocks now() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
                .count(),
            t.tv_sec * 1e3 + t.tv_nsec / 1e6};
}

static void drawAt(double time) {
    setHeadlessSoundPosition(static_cast<uint32_t>(time * 44100.));
    runFramePass(); // ends with glFinish
}

static Clocks frameMilliseconds(double time) {
    Clocks start = now();
    drawAt(time);
    Clocks end = now();
    return {end.wall - start.wall, end.cpu - start.cpu};
}

static void writePicture(const std::string& dir, const char* variant, Size size, double time,
                         const std::vector<unsigned char>& pixels) {
    char name[64];
    std::snprintf(name, sizeof name, "/%s_%dx%d_%05.1f.png", variant, size.width, size.height, time);
    std::string path = dir + name;
    if (!stbi_write_png(path.c_str(), size.width, size.height, 4, pixels.data(), size.width * 4))
        std::fprintf(stderr, "could not write %s\n", path.c_str());
}

// A built stage and its uniform table, so that the variants can take turns frame by frame.
struct Variant {
    std::string name;
    GLuint program;
    UniformTable table;
};

static Variant buildVariant(const std::string& name, const char* fragment) {
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, fragment);
    if (sceneProgram == 0) {
        std::fprintf(stderr, "the %s stage did not build:\n%s\n", name.c_str(), compileLog);
        std::exit(1);
    }
    return {name, sceneProgram, uniforms};
}

static void use(const Variant& v) {
    uniforms = v.table;
    sceneProgram = v.program;
    gl.useProgram(v.program);
}

// Medians per act, variant and clock.
struct Medians {
    std::vector<std::vector<Clocks>> perVariant; // [variant][act]
};

// The variants alternate frame by frame, so that load from other processes on the machine weighs on all
// alike.
static Medians measure(const std::vector<Variant>& variants, Size size, int reps,
                       const std::string& framesDir) {
    setHeadlessClientSize(size.width, size.height);
    for (const Variant& v : variants) {
        use(v);
        frameMilliseconds(ACTS[0].times[0]); // the driver compiles on first use
    }
    Medians medians{std::vector<std::vector<Clocks>>(variants.size())};
    for (const Act& act : ACTS) {
        std::vector<std::vector<double>> wall(variants.size()), cpu(variants.size());
        for (double time : act.times) {
            for (int r = 0; r < reps; ++r)
                for (size_t k = 0; k < variants.size(); ++k) {
                    use(variants[k]);
                    Clocks c = frameMilliseconds(time);
                    wall[k].push_back(c.wall);
                    cpu[k].push_back(c.cpu);
                    if (!framesDir.empty() && r == 0)
                        writePicture(framesDir, variants[k].name.c_str(), size, time, readHeadlessPixels());
                }
        }
        for (size_t k = 0; k < variants.size(); ++k)
            medians.perVariant[k].push_back({median(wall[k]), median(cpu[k])});
    }
    return medians;
}

static void printSpeedTable(const std::vector<Variant>& variants, const Medians& m, Size size, bool detail) {
    std::printf("%dx%d     straight cpu   stage cpu  speed-up | straight wall  stage wall  speed-up",
                size.width, size.height);
    size_t firstEarlier = detail ? 3 : 2;
    if (detail)
        std::printf(" | no-detail cpu  detail share");
    for (size_t k = firstEarlier; k < variants.size(); ++k)
        std::printf(" | %s cpu  over it (cpu, wall)", variants[k].name.c_str());
    std::printf("\n");
    std::vector<Clocks> sums(variants.size(), Clocks{0., 0.});
    for (int a = 0; a <= ACT_COUNT; ++a) {
        bool all = a == ACT_COUNT;
        std::vector<Clocks> row(variants.size());
        for (size_t k = 0; k < variants.size(); ++k) {
            row[k] = all ? sums[k] : m.perVariant[k][a];
            if (!all) {
                sums[k].wall += row[k].wall;
                sums[k].cpu += row[k].cpu;
            }
        }
        std::printf("  %-10s %10.1f %11.1f %8.2fx | %13.1f %11.1f %8.2fx", all ? "all acts" : ACTS[a].name,
                    row[0].cpu, row[1].cpu, row[0].cpu / row[1].cpu, row[0].wall, row[1].wall,
                    row[0].wall / row[1].wall);
        if (detail)
            std::printf(" | %13.1f %12.0f%%", row[2].cpu, 100. * (row[1].cpu - row[2].cpu) / row[1].cpu);
        for (size_t k = firstEarlier; k < variants.size(); ++k)
            std::printf(" | %*.1f  %6.2fx, %5.2fx", static_cast<int>(variants[k].name.size()) + 4, row[k].cpu,
                        row[k].cpu / row[1].cpu, row[k].wall / row[1].wall);
        std::printf("\n");
    }
    std::printf("\n");
}

// The times the picture is checked at: evenly spread over the run and the benchmark's own, in order.
static std::vector<double> checkTimes() {
    std::vector<double> times;
    for (int k = 0; k < SPREAD_CHECKS; ++k)
        times.push_back(END_TIME * (k + .5) / SPREAD_CHECKS);
    for (const Act& act : ACTS)
        times.insert(times.end(), act.times.begin(), act.times.end());
    std::sort(times.begin(), times.end());
    return times;
}

// The stage's frames against the straight stage's: the share beyond the budget's levels per time, the worst
// per act and over the run.
static bool checkPictures(const Variant& straight, const Variant& stage, Size size) {
    setHeadlessClientSize(size.width, size.height);
    std::vector<double> times = checkTimes();
    std::printf("%dx%d picture: share of pixels more than %d/255 off the straight stage (budget %.0f%%)\n",
                size.width, size.height, DIFFERENT_LEVELS, DIFFERENT_SHARE * 100.);
    double worstShare = 0., worstTime = 0.;
    int act = 0;
    double actWorst = 0.;
    std::string line;
    for (size_t i = 0; i <= times.size(); ++i) {
        if (i == times.size() || times[i] >= ACTS[act].end) {
            std::printf("  %-10s worst %6.3f%%:%s\n", ACTS[act].name, actWorst * 100., line.c_str());
            line.clear();
            actWorst = 0.;
            if (i == times.size())
                break;
            ++act;
        }
        use(straight);
        drawAt(times[i]);
        std::vector<unsigned char> reference = readHeadlessPixels();
        use(stage);
        drawAt(times[i]);
        PictureDifference d = comparePictures(reference, readHeadlessPixels());
        char item[40];
        std::snprintf(item, sizeof item, " %.1f:%.2f", times[i], d.share * 100.);
        line += item;
        actWorst = std::max(actWorst, d.share);
        if (d.share >= worstShare) {
            worstShare = d.share;
            worstTime = times[i];
        }
    }
    bool held = worstShare <= DIFFERENT_SHARE;
    std::printf("  all acts   worst %6.3f%% at %.1f s over %zu times: budget %s\n\n", worstShare * 100.,
                worstTime, times.size(), held ? "held" : "BROKEN");
    return held;
}

// Each pixel's march at the benchmark's times: steps, the blocks' slowest pixel, the bodies.
static void stepPictures(const std::string& stageText, Size size, const std::string& dir) {
    Variant steps = buildVariant(
        "steps", withLine(stageText, "#define STEP_PICTURE 0", "#define STEP_PICTURE 1").c_str());
    setHeadlessClientSize(size.width, size.height);
    use(steps);
    std::printf(
        "%dx%d steps: mean per pixel, mean of each %dx%d block's most, share in the heavy march; pixels per "
        "body and their mean steps\n",
        size.width, size.height, STEP_BLOCK_WIDTH, STEP_BLOCK_HEIGHT);
    std::printf(
        "  time     mean  block  heavy |   sky         canister    road        truck       sign        "
        "out of steps\n");
    for (const Act& act : ACTS)
        for (double time : act.times) {
            drawAt(time);
            std::vector<unsigned char> pixels = readHeadlessPixels();
            StepFigures f = stepFigures(pixels, size.width, size.height);
            std::printf("  %5.1f %7.1f %6.1f %5.0f%% |", time, f.meanSteps, f.meanBlockSteps,
                        f.heavyShare * 100.);
            for (int b = 0; b < STEP_BODIES; ++b)
                std::printf(" %5.1f%% %3.0f", f.bodyShare[b] * 100., f.bodySteps[b]);
            std::printf("\n");
            if (!dir.empty()) {
                writePicture(dir, "steps", size, time, stepHeatPicture(pixels));
                writePicture(dir, "body", size, time, stepBodyPicture(pixels));
            }
        }
    std::printf("\n");
}

int main(int argc, char** argv) {
    int reps = 3;
    std::vector<Size> sizes;
    std::string framesDir, stepsDir;
    bool detail = false, check = true, speed = true, steps = false;
    std::string stageText = SCENE_FRAGMENT_SOURCE;
    std::vector<std::string> againstPaths, againstTexts;
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
        } else if (std::strcmp(argv[i], "--steps") == 0 && i + 1 < argc) {
            steps = true;
            stepsDir = argv[++i];
            std::filesystem::create_directories(stepsDir);
        } else if (std::strcmp(argv[i], "--stage") == 0 && i + 1 < argc) {
            if (!readStage(argv[++i], &stageText)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--against") == 0 && i + 1 < argc) {
            std::string text;
            if (!readStage(argv[++i], &text) || text.empty()) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
            againstPaths.push_back(std::filesystem::path(argv[i]).stem().string());
            againstTexts.push_back(text);
        } else if (std::strcmp(argv[i], "--detail") == 0) {
            detail = true;
        } else if (std::strcmp(argv[i], "--no-check") == 0) {
            check = false;
        } else if (std::strcmp(argv[i], "--no-speed") == 0) {
            speed = false;
        } else {
            std::fprintf(
                stderr,
                "usage: %s [--reps N] [--size WxH]... [--frames DIR] [--steps DIR] [--detail]\n"
                "       [--stage FILE] [--against FILE]... [--no-check] [--no-speed]\n"
                "  median frame time per act of the scene stage against the straight stage, in\n"
                "  processor and wall time, and the stage's picture against the straight one's;\n"
                "  --steps prints and draws each pixel's march at the benchmark's times;\n"
                "  --detail adds the stage without the fractal detail;\n"
                "  --stage races a fragment stage read from FILE instead of the carried one;\n"
                "  --against adds an earlier stage read from FILE, and the stage's speed-up over it;\n"
                "  --frames writes the frame at each time as a PNG\n",
                argv[0]);
            return 2;
        }
    }

    if (sizes.empty())
        sizes = {{320, 180}, {640, 360}};

    char why[256] = "";
    if (!openHeadlessContext(sizes[0].width, sizes[0].height, why, sizeof why)) {
        std::fprintf(stderr, "no headless context: %s\n", why);
        return 1;
    }
    if (const char* missing = loadGlEntryPoints()) {
        std::fprintf(stderr, "missing OpenGL entry point %s\n", missing);
        return 1;
    }
    buildCreditsTexture();
    // The beat signals from the carried soundtrack, so that each frame is the one a viewer sees at its time.
    StereoFloatTrack track = decodeSoundtrack();
    buildLoudnessEnvelope(track);
    std::printf("renderer: %s\n", headlessRendererName().c_str());
    std::printf("beat from %.1f s of soundtrack%s\n", static_cast<double>(track.frames) / SAMPLE_RATE,
                isSilentFallback(track) ? " (silence: nothing decoded)" : "");
    releaseDecodedSoundtrack(&track);
    std::printf("frames per time and variant: %d\n\n", reps);

    if (steps)
        for (Size size : sizes)
            stepPictures(stageText, size, stepsDir);

    std::string plain = withLine(stageText, "#define LOD_DIST 25.0", "#define LOD_DIST (-1.0)");
    std::vector<Variant> variants = {buildVariant("straight", STRAIGHT_SCENE_FRAGMENT_SOURCE),
                                     buildVariant("stage", stageText.c_str())};
    if (detail)
        variants.push_back(buildVariant("nodetail", plain.c_str()));
    for (size_t k = 0; k < againstTexts.size(); ++k)
        variants.push_back(buildVariant(againstPaths[k], againstTexts[k].c_str()));
    bool held = true;
    for (Size size : sizes) {
        if (speed)
            printSpeedTable(variants, measure(variants, size, reps, framesDir), size, detail);
        if (check)
            held = checkPictures(variants[0], variants[1], size) && held;
        std::fflush(stdout);
    }
    return held ? 0 : 3;
}
