// Parsing and checking doz-capture's command line, and the help text.
#include "capture/capture_options.h"

#include "app/option_numbers.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>

const char* const CAPTURE_HELP = R"(Usage: doz-capture MODE [OPTIONS]

Renders doz-engine offline, with no display (EGL), at fixed music times: the same scene program, credits
texture, soundtrack envelope and frame pass as the demo itself, independent of real time.

Modes (exactly one):
  --at SECONDS        a still of the frame at that music time (0 to 124) to the PNG given by -o
  --sheet COLSxROWS   a contact sheet: COLS*ROWS stills spread evenly over 0 to 124 s, left to right, top
                      to bottom, each labelled with its time, in one PNG (default grid 8x4: one every 4 s).
                      Times are rounded to 0.1 s, so a cell is exactly the still of `--at` its label
  --video             a video of the run, or of --from..--to, H.264 (yuv420p) with the soundtrack as AAC,
                      in MP4, made by piping raw frames to ffmpeg. Without ffmpeg (or with --frames) a
                      folder of PNG frames, with the soundtrack beside them as soundtrack.wav
  --benchmark         prints capture throughput at 320x180 and 640x360 against the plain frame time
  --plan JOBDIR       a capture job: writes JOBDIR/job.json with the video options, -o and --chunks N
                      contiguous frame ranges, for the chunks to be rendered anywhere and joined later
  --render-chunk JOBDIR
                      renders chunk --chunk I of the job into JOBDIR (FFV1 in Matroska, plus a hash per
                      frame); does nothing for a chunk that is already complete and sound
  --assemble JOBDIR   checks every chunk and joins them into the job's MP4, sound encoded once; names
                      any chunk that is missing or damaged with the command that redoes it
  -h, --help          this text

Options:
  -o, --output PATH   the file (or, for --frames, the folder) to write; required except for --benchmark.
                      Output is written beside PATH under a temporary name and renamed when complete
  --size WxH          picture size, 1 to 16384 each way; for a sheet, the size of one cell
                      (defaults: 1280x720, sheet cells 240x135). MP4 needs an even width and height
  --fps N             video frame rate, above 0 (default 30)
  --from SECONDS      video start (default 0)
  --to SECONDS        video end (default 124); the video holds round((to-from)*fps) frames, frame k at
                      music time from + k/fps
  --frames            write the video as PNG frames into the folder PATH
  --bench-frames N    frames per measurement of --benchmark (default 16, spread over 0 to 124 s)
  --scale F           draw the scene at F (0.25 to 1) times the picture size and stretch it, as the demo
                      does with --scale F: what a viewer at that render scale sees
  --supersample N     N*N samples per pixel (N 1 to 4, default 1), averaged: clean edges at N*N times
                      the drawing cost. For stills, sheets, videos and jobs
  --chunks N          the number of chunks of a --plan (1 to the frame count)
  --chunk I           the chunk of --render-chunk, 0 to chunks-1

Beat signals: iBeat is the soundtrack's loudness at the frame's time. iBeatHalf follows the demo's onset
rule, which compares each frame with the one before: in a video it is counted from the first captured
frame on, so it depends on the frame rate and on --from, and need not match a live run, which counts at
its own frame rate. A still, and every cell of a sheet, is drawn as the first frame of a run (iBeatHalf is
iBeat where that exceeds 0.3, otherwise 0).

Music times are rounded to the nearest sample (1/44100 s), as the demo's clock reads them.
Ctrl-C during a video stops after the current frame and keeps a playable file of the frames done so far
(a second Ctrl-C abandons it); during a still or a sheet it writes nothing.
A job's chunk starts from the beat state that one process has at the chunk's first frame, so the assembled
video is frame for frame and sample for sample the one `--video` makes with the same options.
Exit status: 0 done, 1 failure (for --assemble: chunks to redo), 2 bad command line or job folder, 128 + the
signal when interrupted (130 for Ctrl-C).
)";

// "WxH" as two positive-or-zero integers (range checks are the caller's).
static bool parsePair(const char* text, long* first, long* second) {
    const char* x = std::strchr(text, 'x');
    if (x == nullptr)
        return false;
    std::string a(text, x), b(x + 1);
    return !a.empty() && !b.empty() && a[0] != '-' && b[0] != '-' && readOptionInteger(a.c_str(), first) &&
           readOptionInteger(b.c_str(), second);
}

static std::string format(const char* pattern, const char* a, const char* b = "") {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

static bool checkTime(const char* option, const char* text, double* value, std::string* error) {
    if (!readOptionNumber(text, value)) {
        *error = format("%s takes a time in seconds, not '%s'", option, text);
        return false;
    }
    if (*value < 0.0 || *value > END_TIME) {
        *error = format("%s %s is outside the run: times go from 0 to 124 seconds", option, text);
        return false;
    }
    return true;
}

// Every option but the flags takes the next argument.
static const char* const VALUE_OPTIONS[] = {
    "--at",     "--sheet",        "-o",      "--output",      "--size", "--fps",          "--from",
    "--to",     "--bench-frames", "--scale", "--supersample", "--plan", "--render-chunk", "--assemble",
    "--chunks", "--chunk"};

static bool setMode(CaptureOptions* options, CaptureMode mode, std::string* error) {
    if (options->mode != CaptureMode::None && options->mode != mode) {
        *error = "choose one of --at, --sheet, --video, --benchmark, --plan, --render-chunk and --assemble";
        return false;
    }
    options->mode = mode;
    return true;
}

bool parseCaptureOptions(int argc, const char* const* argv, CaptureOptions* options, std::string* error) {
    CaptureOptions& o = *options;
    bool sizeGiven = false, fpsGiven = false, rangeGiven = false, framesGiven = false, benchGiven = false;
    bool chunksGiven = false, chunkGiven = false;
    o.program = argc > 0 && std::strchr(argv[0], '/') != nullptr ? argv[0] : "doz-capture";
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto isOption = [arg](const char* a, const char* b = nullptr) {
            return std::strcmp(arg, a) == 0 || (b != nullptr && std::strcmp(arg, b) == 0);
        };
        const char* value = nullptr;
        bool takesValue = std::any_of(std::begin(VALUE_OPTIONS), std::end(VALUE_OPTIONS),
                                      [arg](const char* name) { return std::strcmp(arg, name) == 0; });
        if (takesValue) {
            if (i + 1 >= argc) {
                *error = format("%s needs a value", arg);
                return false;
            }
            value = argv[++i];
        }
        if (isOption("-h", "--help")) {
            o.mode = CaptureMode::Help;
            return true;
        } else if (isOption("--at")) {
            if (!setMode(options, CaptureMode::Still, error) || !checkTime("--at", value, &o.at, error))
                return false;
        } else if (isOption("--sheet")) {
            long c = 0, r = 0;
            if (!setMode(options, CaptureMode::Sheet, error))
                return false;
            if (!parsePair(value, &c, &r) || c < 1 || r < 1 || c > MAX_SHEET_SIDE || r > MAX_SHEET_SIDE) {
                *error = format("--sheet takes COLUMNSxROWS, each 1 to 64, not '%s'", value);
                return false;
            }
            o.columns = static_cast<int>(c);
            o.rows = static_cast<int>(r);
        } else if (isOption("--video")) {
            if (!setMode(options, CaptureMode::Video, error))
                return false;
        } else if (isOption("--benchmark")) {
            if (!setMode(options, CaptureMode::Benchmark, error))
                return false;
        } else if (isOption("--plan") || isOption("--render-chunk") || isOption("--assemble")) {
            CaptureMode mode = isOption("--plan")           ? CaptureMode::Plan
                               : isOption("--render-chunk") ? CaptureMode::RenderChunk
                                                            : CaptureMode::Assemble;
            if (!setMode(options, mode, error))
                return false;
            if (*value == '\0') {
                *error = format("%s needs a job folder", arg);
                return false;
            }
            o.jobDir = value;
        } else if (isOption("--chunks")) {
            long n = 0;
            if (!readOptionInteger(value, &n) || n < 1 || n > MAX_JOB_CHUNKS) {
                *error = format("--chunks %s: give 1 to 100000 chunks", value);
                return false;
            }
            o.chunks = static_cast<int>(n);
            chunksGiven = true;
        } else if (isOption("--chunk")) {
            long n = 0;
            if (!readOptionInteger(value, &n) || n < 0 || n >= MAX_JOB_CHUNKS) {
                *error = format("--chunk %s: give a chunk number from 0", value);
                return false;
            }
            o.chunk = static_cast<int>(n);
            chunkGiven = true;
        } else if (isOption("--supersample")) {
            long n = 0;
            if (!readOptionInteger(value, &n) || n < 1 || n > MAX_SUPERSAMPLE) {
                *error = format("--supersample %s: give 1 to 4 (samples per pixel: its square)", value);
                return false;
            }
            o.supersample = static_cast<int>(n);
            o.supersampleGiven = true;
        } else if (isOption("-o", "--output")) {
            if (*value == '\0') {
                *error = "the output path is empty";
                return false;
            }
            o.output = value;
        } else if (isOption("--size")) {
            long w = 0, h = 0;
            if (!parsePair(value, &w, &h)) {
                *error = format("--size takes WIDTHxHEIGHT, not '%s'", value);
                return false;
            }
            if (w < 1 || h < 1 || w > MAX_CAPTURE_SIDE || h > MAX_CAPTURE_SIDE) {
                *error = format("--size %s: width and height must be 1 to 16384", value);
                return false;
            }
            o.width = static_cast<int>(w);
            o.height = static_cast<int>(h);
            sizeGiven = true;
        } else if (isOption("--fps")) {
            if (!readOptionNumber(value, &o.fps) || o.fps <= 0.0 || o.fps > MAX_CAPTURE_FPS) {
                *error = format("--fps %s: the frame rate must be above 0 and at most 1000", value);
                return false;
            }
            fpsGiven = true;
        } else if (isOption("--from")) {
            if (!checkTime("--from", value, &o.from, error))
                return false;
            rangeGiven = o.fromGiven = true;
        } else if (isOption("--to")) {
            if (!checkTime("--to", value, &o.to, error))
                return false;
            rangeGiven = o.toGiven = true;
        } else if (isOption("--frames")) {
            o.frames = true;
            framesGiven = true;
        } else if (isOption("--bench-frames")) {
            long n = 0;
            if (!readOptionInteger(value, &n) || n < 1 || n > 10000) {
                *error = format("--bench-frames %s: give 1 to 10000 frames", value);
                return false;
            }
            o.benchmarkFrames = static_cast<int>(n);
            benchGiven = true;
        } else if (isOption("--scale")) {
            if (!readOptionNumber(value, &o.scale) || o.scale < 0.25 || o.scale > 1.0) {
                *error =
                    format("--scale takes a number from 0.25 to 1, not '%s' (auto follows a live run's frame "
                           "rate, which a capture does not have)",
                           value);
                return false;
            }
            o.scaleGiven = true;
        } else if (arg[0] == '-') {
            *error = format("unknown option '%s'", arg);
            return false;
        } else {
            *error = format("unexpected argument '%s'", arg);
            return false;
        }
    }

    o.sizeGiven = sizeGiven;
    o.fpsGiven = fpsGiven;
    if (o.mode == CaptureMode::None) {
        *error =
            "nothing to do: give --at, --sheet, --video, --benchmark, --plan, --render-chunk or --assemble";
        return false;
    }
    auto in = [&o](std::initializer_list<CaptureMode> modes) {
        return std::find(modes.begin(), modes.end(), o.mode) != modes.end();
    };
    using M = CaptureMode;
    const bool outputGiven = !o.output.empty();
    // Options given outside the modes they belong to, and the options a mode needs. The first broken rule
    // is the one said. A chunk's and an assembly's other options come from the plan and are only held to
    // it, so the rules past the output's do not reach them.
    const struct {
        bool broken;
        const char* reason;
    } rules[] = {
        {chunksGiven && o.mode != M::Plan, "--chunks applies to --plan only"},
        {!chunksGiven && o.mode == M::Plan, "--plan needs --chunks N"},
        {chunkGiven && o.mode != M::RenderChunk, "--chunk applies to --render-chunk only"},
        {!chunkGiven && o.mode == M::RenderChunk, "--render-chunk needs --chunk I"},
        {framesGiven && o.mode != M::Video,
         "--frames applies to --video only (a job's chunks are its frames until they are joined)"},
        {(fpsGiven || rangeGiven) && !in({M::Video, M::Plan, M::RenderChunk, M::Assemble}),
         "--fps, --from and --to apply to --video and capture jobs only"},
        {o.supersampleGiven && o.mode == M::Benchmark, "--supersample does not apply to --benchmark"},
        {outputGiven && in({M::RenderChunk, M::Assemble}),
         "the output was named by --plan: -o applies to --plan only"},
        {benchGiven && !in({M::Benchmark, M::RenderChunk, M::Assemble}),
         "--bench-frames applies to --benchmark only"},
        {(sizeGiven || outputGiven) && o.mode == M::Benchmark,
         "--benchmark takes no --size or --output: it measures fixed sizes and writes nothing"},
    };
    for (const auto& rule : rules)
        if (rule.broken) {
            *error = rule.reason;
            return false;
        }
    if (in({M::RenderChunk, M::Assemble, M::Benchmark}))
        return true;
    if (o.output.empty()) {
        *error = "no output path: give -o PATH";
        return false;
    }
    if (static_cast<long>(o.width) * o.supersample > MAX_CAPTURE_SIDE ||
        static_cast<long>(o.height) * o.supersample > MAX_CAPTURE_SIDE) {
        *error = "--supersample draws at N times the size, which would exceed 16384 pixels a side";
        return false;
    }
    if (o.mode == CaptureMode::Sheet) {
        if (!sizeGiven) {
            o.width = 240;
            o.height = 135;
        }
        if (static_cast<long>(o.width) * o.columns > MAX_CAPTURE_SIDE ||
            static_cast<long>(o.height) * o.rows > MAX_CAPTURE_SIDE) {
            *error = "the sheet would exceed 16384 pixels a side: use fewer or smaller cells";
            return false;
        }
    }
    if (o.mode == CaptureMode::Video || o.mode == CaptureMode::Plan) {
        if (o.from >= o.to) {
            *error = "--from must come before --to";
            return false;
        }
        if (!o.frames && (o.width % 2 != 0 || o.height % 2 != 0)) {
            *error = "H.264 in yuv420p needs an even width and height (or use --frames)";
            return false;
        }
        if (videoFrameCount(o) < 1) {
            *error = "the time range is shorter than one frame";
            return false;
        }
        if (o.mode == CaptureMode::Plan && o.chunks > videoFrameCount(o)) {
            *error =
                "more chunks than frames: give at most " + std::to_string(videoFrameCount(o)) + " chunks";
            return false;
        }
    }
    return true;
}

int videoFrameCount(const CaptureOptions& options) {
    return static_cast<int>(std::llround((options.to - options.from) * options.fps));
}

double videoFrameTime(const CaptureOptions& options, int index) {
    return options.from + index / options.fps;
}
