// doz-capture's command line as one table: each row is an option (or a mode) with its value, the modes it
// applies to, how its value is read and its help; the usage text, the refusals and the mode rules are all
// made from the rows.
#include "capture/capture_options.h"

#include "app/option_numbers.h"
#include "capture/video_kind.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {
using ModeSet = unsigned;

constexpr ModeSet modeBit(CaptureMode mode) {
    return 1u << static_cast<unsigned>(mode);
}

constexpr ModeSet STILL = modeBit(CaptureMode::Still), SHEET = modeBit(CaptureMode::Sheet),
                  VIDEO = modeBit(CaptureMode::Video), BENCHMARK = modeBit(CaptureMode::Benchmark),
                  PLAN = modeBit(CaptureMode::Plan), RENDER_CHUNK = modeBit(CaptureMode::RenderChunk),
                  ASSEMBLE = modeBit(CaptureMode::Assemble);
constexpr ModeSet ALL_MODES = STILL | SHEET | VIDEO | BENCHMARK | PLAN | RENDER_CHUNK | ASSEMBLE;
// A chunk's and an assembly's picture options come from the plan and are only held to it.
constexpr ModeSet RANGE_MODES = VIDEO | PLAN | RENDER_CHUNK | ASSEMBLE;

using Parse = bool (*)(const char* name, const char* value, CaptureOptions* options, std::string* why);

struct OptionRow {
    const char* names; // as --help shows them: "-o, --output"
    const char* value; // the value's name in --help; nullptr for a flag
    CaptureMode mode;  // the mode a mode's row chooses; None for an option
    ModeSet modes;     // the modes an option applies to
    Parse parse;       // reads the value into the options; nullptr: nothing to read
    std::string help;  // lines; the first beside the names
    // Given in a mode outside `modes`, an option is refused with `misplaced` (or, in `ownModes`, with
    // `ownReason`); when several are, the lowest rank is said. A mode in `needs` refuses to go without it.
    int rank = 0;
    const char* misplaced = nullptr;
    ModeSet ownModes = 0;
    const char* ownReason = nullptr;
    ModeSet needs = 0;
    const char* needed = nullptr;
};
} // namespace

__attribute__((format(printf, 1, 2))) static std::string format(const char* pattern, ...) {
    char text[640];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

// "WxH" as two positive-or-zero integers (range checks are the caller's).
static bool parsePair(const char* text, long* first, long* second) {
    const char* x = std::strchr(text, 'x');
    if (x == nullptr)
        return false;
    std::string a(text, x), b(x + 1);
    return !a.empty() && !b.empty() && a[0] != '-' && b[0] != '-' && readOptionInteger(a.c_str(), first) &&
           readOptionInteger(b.c_str(), second);
}

// A whole number from `smallest` to `largest`, or `refusal` in `why`.
static bool readCount(const char* value, long smallest, long largest, int* count, std::string* why,
                      const std::string& refusal) {
    long n = 0;
    if (!readOptionInteger(value, &n) || n < smallest || n > largest) {
        *why = refusal;
        return false;
    }
    *count = static_cast<int>(n);
    return true;
}

static bool readTime(const char* name, const char* value, double* seconds, std::string* why) {
    if (!readOptionNumber(value, seconds)) {
        *why = format("%s takes a time in seconds, not '%s'", name, value);
        return false;
    }
    if (*seconds < 0.0 || *seconds > END_TIME) {
        *why = format("%s %s is outside the run: times go from 0 to %g seconds", name, value, END_TIME);
        return false;
    }
    return true;
}

static bool parseAt(const char* name, const char* value, CaptureOptions* o, std::string* why) {
    return readTime(name, value, &o->at, why);
}

static bool parseFrom(const char* name, const char* value, CaptureOptions* o, std::string* why) {
    return (o->fromGiven = readTime(name, value, &o->from, why));
}

static bool parseTo(const char* name, const char* value, CaptureOptions* o, std::string* why) {
    return (o->toGiven = readTime(name, value, &o->to, why));
}

static bool parseSheet(const char*, const char* value, CaptureOptions* o, std::string* why) {
    long c = 0, r = 0;
    if (!parsePair(value, &c, &r) || c < 1 || r < 1 || c > MAX_SHEET_SIDE || r > MAX_SHEET_SIDE) {
        *why = format("--sheet takes COLUMNSxROWS, each 1 to %d, not '%s'", MAX_SHEET_SIDE, value);
        return false;
    }
    o->columns = static_cast<int>(c);
    o->rows = static_cast<int>(r);
    return true;
}

static bool parseJobDir(const char* name, const char* value, CaptureOptions* o, std::string* why) {
    if (*value == '\0') {
        *why = format("%s needs a job folder", name);
        return false;
    }
    o->jobDir = value;
    return true;
}

static bool parseOutput(const char*, const char* value, CaptureOptions* o, std::string* why) {
    if (*value == '\0') {
        *why = "the output path is empty";
        return false;
    }
    o->output = value;
    return true;
}

static bool parseSize(const char*, const char* value, CaptureOptions* o, std::string* why) {
    long w = 0, h = 0;
    if (!parsePair(value, &w, &h)) {
        *why = format("--size takes WIDTHxHEIGHT, not '%s'", value);
        return false;
    }
    if (w < 1 || h < 1 || w > MAX_CAPTURE_SIDE || h > MAX_CAPTURE_SIDE) {
        *why = format("--size %s: width and height must be 1 to %d", value, MAX_CAPTURE_SIDE);
        return false;
    }
    o->width = static_cast<int>(w);
    o->height = static_cast<int>(h);
    return (o->sizeGiven = true);
}

static bool parseFps(const char*, const char* value, CaptureOptions* o, std::string* why) {
    if (!readOptionNumber(value, &o->fps) || o->fps <= 0.0 || o->fps > MAX_CAPTURE_FPS) {
        *why = format("--fps %s: the frame rate must be above 0 and at most %g", value, MAX_CAPTURE_FPS);
        return false;
    }
    return (o->fpsGiven = true);
}

// A kind of video's row: choosing it is all there is to read.
template <const VideoKind* KIND>
static bool chooseVideoKind(const char*, const char*, CaptureOptions* o, std::string*) {
    o->videoKind = KIND;
    return true;
}

static bool parseBenchFrames(const char*, const char* value, CaptureOptions* o, std::string* why) {
    return readCount(value, 1, MAX_BENCH_FRAMES, &o->benchmarkFrames, why,
                     format("--bench-frames %s: give 1 to %d frames", value, MAX_BENCH_FRAMES));
}

static bool parseScale(const char*, const char* value, CaptureOptions* o, std::string* why) {
    if (!readOptionNumber(value, &o->scale) || o->scale < MIN_CAPTURE_SCALE || o->scale > 1.0) {
        *why = format("--scale takes a number from %g to 1, not '%s' (auto follows a live run's frame rate, "
                      "which a capture does not have)",
                      MIN_CAPTURE_SCALE, value);
        return false;
    }
    return (o->scaleGiven = true);
}

static bool parseSupersample(const char*, const char* value, CaptureOptions* o, std::string* why) {
    return (o->supersampleGiven =
                readCount(value, 1, MAX_SUPERSAMPLE, &o->supersample, why,
                          format("--supersample %s: give 1 to %d (samples per pixel: its square)", value,
                                 MAX_SUPERSAMPLE)));
}

static bool parseChunks(const char*, const char* value, CaptureOptions* o, std::string* why) {
    return readCount(value, 1, MAX_JOB_CHUNKS, &o->chunks, why,
                     format("--chunks %s: give 1 to %d chunks", value, MAX_JOB_CHUNKS));
}

static bool parseChunk(const char*, const char* value, CaptureOptions* o, std::string* why) {
    return readCount(value, 0, MAX_JOB_CHUNKS - 1, &o->chunk, why,
                     format("--chunk %s: give a chunk number from 0", value));
}

static bool parseTracks(const char*, const char* value, CaptureOptions* o, std::string* why) {
    struct stat info;
    if (*value == '\0' || stat(value, &info) != 0 || !S_ISDIR(info.st_mode)) {
        *why = format("--tracks %s: no such folder", value);
        return false;
    }
    o->tracksDir = value;
    return true;
}

static const char* const FPS_FROM_TO_ELSEWHERE =
    "--fps, --from and --to apply to --video and capture jobs only";
static const char* const BENCHMARK_TAKES_NO_PICTURE =
    "--benchmark takes no --size or --output: it measures fixed sizes and writes nothing";

// Modes first, then options, each in the order --help lists them.
static const std::vector<OptionRow>& optionRows() {
    using M = CaptureMode;
    static const std::vector<OptionRow> rows = {
        {"--at", "SECONDS", M::Still, 0, parseAt,
         format("a still of the frame at that music time (0 to %g) to the PNG given by -o", END_TIME)},
        {"--sheet", "COLSxROWS", M::Sheet, 0, parseSheet,
         format("a contact sheet: COLS*ROWS stills spread evenly over 0 to %g s, left to right, top\n"
                "to bottom, each labelled with its time, in one PNG (default grid 8x4: one every 4 s).\n"
                "Times are rounded to 0.1 s, so a cell is exactly the still of `--at` its label",
                END_TIME)},
        {"--video", nullptr, M::Video, 0, nullptr,
         "a video of the run, or of --from..--to, H.264 (yuv420p) with the soundtrack as AAC,\n"
         "in MP4, made by piping raw frames to ffmpeg. Without ffmpeg (or with --frames) a\n"
         "folder of PNG frames, with the soundtrack beside them as soundtrack.wav"},
        {"--benchmark", nullptr, M::Benchmark, 0, nullptr,
         "prints capture throughput at 320x180 and 640x360 against the plain frame time"},
        {"--plan", "JOBDIR", M::Plan, 0, parseJobDir,
         "a capture job: writes JOBDIR/job.json with the video options, -o and --chunks N\n"
         "contiguous frame ranges, for the chunks to be rendered anywhere and joined later"},
        {"--render-chunk", "JOBDIR", M::RenderChunk, 0, parseJobDir,
         "renders chunk --chunk I of the job into JOBDIR (FFV1 in Matroska, plus a hash per\n"
         "frame); does nothing for a chunk that is already complete and sound"},
        {"--assemble", "JOBDIR", M::Assemble, 0, parseJobDir,
         "checks every chunk and joins them into the job's MP4, sound encoded once; names\n"
         "any chunk that is missing or damaged with the command that redoes it"},
        {"-h, --help", nullptr, M::Help, 0, nullptr, "this text"},

        {"-o, --output", "PATH", M::None, STILL | SHEET | VIDEO | PLAN, parseOutput,
         "the file (or, for --frames, the folder) to write; required except for --benchmark.\n"
         "Output is written beside PATH under a temporary name and renamed when complete",
         7, "the output was named by --plan: -o applies to --plan only", BENCHMARK,
         BENCHMARK_TAKES_NO_PICTURE, STILL | SHEET | VIDEO | PLAN, "no output path: give -o PATH"},
        {"--size", "WxH", M::None, ALL_MODES & ~BENCHMARK, parseSize,
         format("picture size, 1 to %d each way; for a sheet, the size of one cell\n"
                "(defaults: 1280x720, sheet cells 240x135). MP4 needs an even width and height",
                MAX_CAPTURE_SIDE),
         8, BENCHMARK_TAKES_NO_PICTURE},
        {"--fps", "N", M::None, RANGE_MODES, parseFps, "video frame rate, above 0 (default 30)", 4,
         FPS_FROM_TO_ELSEWHERE},
        {"--from", "SECONDS", M::None, RANGE_MODES, parseFrom, "video start (default 0)", 4,
         FPS_FROM_TO_ELSEWHERE},
        {"--to", "SECONDS", M::None, RANGE_MODES, parseTo,
         format("video end (default %g); the video holds round((to-from)*fps) frames, frame k at\n"
                "music time from + k/fps",
                END_TIME),
         4, FPS_FROM_TO_ELSEWHERE},
        {"--frames", nullptr, M::None, VIDEO, chooseVideoKind<&PNG_FRAMES_VIDEO>,
         "write the video as PNG frames into the folder PATH", 3,
         "--frames applies to --video only (a job's chunks are its frames until they are joined)"},
        {"--bench-frames", "N", M::None, BENCHMARK | RENDER_CHUNK | ASSEMBLE, parseBenchFrames,
         format("frames per measurement of --benchmark (default 16, spread over 0 to %g s)", END_TIME), 6,
         "--bench-frames applies to --benchmark only"},
        {"--scale", "F", M::None, ALL_MODES, parseScale,
         format("draw the scene at F (%g to 1) times the picture size and stretch it, as the demo\n"
                "does with --scale F: what a viewer at that render scale sees",
                MIN_CAPTURE_SCALE)},
        {"--supersample", "N", M::None, ALL_MODES & ~BENCHMARK, parseSupersample,
         format("N*N samples per pixel (N 1 to %d, default 1), averaged: clean edges at N*N times\n"
                "the drawing cost. For stills, sheets, videos and jobs",
                MAX_SUPERSAMPLE),
         5, "--supersample does not apply to --benchmark"},
        {"--chunks", "N", M::None, PLAN, parseChunks,
         "the number of chunks of a --plan (1 to the frame count)", 1, "--chunks applies to --plan only", 0,
         nullptr, PLAN, "--plan needs --chunks N"},
        {"--chunk", "I", M::None, RENDER_CHUNK, parseChunk, "the chunk of --render-chunk, 0 to chunks-1", 2,
         "--chunk applies to --render-chunk only", 0, nullptr, RENDER_CHUNK,
         "--render-chunk needs --chunk I"},
        {"--tracks", "DIR", M::None, ALL_MODES & ~(BENCHMARK | ASSEMBLE), parseTracks,
         "draw with the sync tracks of DIR (track files and rows.txt, as author mode's tracks\n"
         "folder holds them) instead of the built-in ones; a refused file is named and its\n"
         "track has no keys. A plan records the tracks' hash and keeps a copy in JOBDIR/tracks,\n"
         "which --render-chunk uses when not given --tracks; a chunk is drawn only with the\n"
         "plan's tracks",
         9, "--tracks applies to stills, sheets, videos, --plan and --render-chunk"},
    };
    return rows;
}

static const char* const HELP_HEAD = R"(Usage: doz-capture MODE [OPTIONS]

Renders doz-engine offline, with no display (EGL), at fixed music times: the same scene program, credits
texture, soundtrack envelope and frame pass as the demo itself, independent of real time.
)";

static const char* const HELP_TAIL = R"(
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

// The column where every row's help starts.
constexpr size_t HELP_COLUMN = 22;

static void addHelpRow(const OptionRow& row, std::string* text) {
    std::string label =
        std::string("  ") + row.names + (row.value != nullptr ? std::string(" ") + row.value : "");
    const std::string indent(HELP_COLUMN, ' ');
    *text += label.size() < HELP_COLUMN ? label + std::string(HELP_COLUMN - label.size(), ' ')
                                        : label + "\n" + indent;
    for (char c : row.help)
        *text += c == '\n' ? "\n" + indent : std::string(1, c);
    *text += "\n";
}

std::string captureHelp() {
    std::string text = std::string(HELP_HEAD) + "\nModes (exactly one):\n";
    for (const OptionRow& row : optionRows())
        if (row.mode != CaptureMode::None)
            addHelpRow(row, &text);
    text += "\nOptions:\n";
    for (const OptionRow& row : optionRows())
        if (row.mode == CaptureMode::None)
            addHelpRow(row, &text);
    return text + HELP_TAIL;
}

// Whether `arg` is one of the row's names ("-o" or "--output" for "-o, --output").
static bool names(const OptionRow& row, const char* arg) {
    for (const char* name = row.names; name != nullptr;) {
        const char* comma = std::strchr(name, ',');
        const size_t length = comma != nullptr ? static_cast<size_t>(comma - name) : std::strlen(name);
        if (std::strlen(arg) == length && std::strncmp(arg, name, length) == 0)
            return true;
        name = comma != nullptr ? comma + 2 : nullptr;
    }
    return false;
}

// "--at, --sheet ... --render-chunk and --assemble": the modes, the last one joined by `last`.
static std::string modeNames(const char* last) {
    std::vector<const char*> modes;
    for (const OptionRow& row : optionRows())
        if (row.mode != CaptureMode::None && row.mode != CaptureMode::Help)
            modes.push_back(row.names);
    std::string list = modes.front();
    for (size_t i = 1; i < modes.size(); ++i)
        list += (i + 1 < modes.size() ? ", " : std::string(" ") + last + " ") + modes[i];
    return list;
}

// The first rule the command line breaks, by rank: an option outside its modes, or one its mode needs.
static bool followsModeRules(const CaptureOptions& o, const std::vector<bool>& given, std::string* why) {
    const std::vector<OptionRow>& rows = optionRows();
    int highest = 0;
    for (const OptionRow& row : rows)
        highest = row.rank > highest ? row.rank : highest;
    const ModeSet mode = modeBit(o.mode);
    for (int rank = 1; rank <= highest; ++rank)
        for (size_t i = 0; i < rows.size(); ++i) {
            const OptionRow& row = rows[i];
            if (row.rank != rank)
                continue;
            if (given[i] && (row.modes & mode) == 0) {
                *why = (row.ownModes & mode) != 0 ? row.ownReason : row.misplaced;
                return false;
            }
            if (!given[i] && (row.needs & mode) != 0) {
                *why = row.needed;
                return false;
            }
        }
    return true;
}

// The limits that hold between options: the drawn size, a sheet's size, a video's range and frames.
static bool withinLimits(CaptureOptions* options, std::string* why) {
    CaptureOptions& o = *options;
    if (static_cast<long>(o.width) * o.supersample > MAX_CAPTURE_SIDE ||
        static_cast<long>(o.height) * o.supersample > MAX_CAPTURE_SIDE) {
        *why = format("--supersample draws at N times the size, which would exceed %d pixels a side",
                      MAX_CAPTURE_SIDE);
        return false;
    }
    if (o.mode == CaptureMode::Sheet) {
        if (!o.sizeGiven) {
            o.width = SHEET_CELL_WIDTH;
            o.height = SHEET_CELL_HEIGHT;
        }
        if (static_cast<long>(o.width) * o.columns > MAX_CAPTURE_SIDE ||
            static_cast<long>(o.height) * o.rows > MAX_CAPTURE_SIDE) {
            *why = format("the sheet would exceed %d pixels a side: use fewer or smaller cells",
                          MAX_CAPTURE_SIDE);
            return false;
        }
    }
    if (o.mode != CaptureMode::Video && o.mode != CaptureMode::Plan)
        return true;
    const char* broken = o.from >= o.to ? "--from must come before --to"
                         : o.videoKind->oddSizeRefusal != nullptr && (o.width % 2 != 0 || o.height % 2 != 0)
                             ? o.videoKind->oddSizeRefusal
                         : videoFrameCount(o) < 1 ? "the time range is shorter than one frame"
                                                  : nullptr;
    if (broken != nullptr) {
        *why = broken;
        return false;
    }
    if (o.mode == CaptureMode::Plan && o.chunks > videoFrameCount(o)) {
        *why = "more chunks than frames: give at most " + std::to_string(videoFrameCount(o)) + " chunks";
        return false;
    }
    return true;
}

static bool setMode(CaptureOptions* options, CaptureMode mode, std::string* why) {
    if (options->mode != CaptureMode::None && options->mode != mode) {
        *why = "choose one of " + modeNames("and");
        return false;
    }
    options->mode = mode;
    return true;
}

bool parseCaptureOptions(int argc, const char* const* argv, CaptureOptions* options, std::string* why) {
    CaptureOptions& o = *options;
    o.program = argc > 0 && std::strchr(argv[0], '/') != nullptr ? argv[0] : "doz-capture";
    const std::vector<OptionRow>& rows = optionRows();
    std::vector<bool> given(rows.size(), false);
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        size_t found = 0;
        while (found < rows.size() && !names(rows[found], arg))
            ++found;
        if (found == rows.size()) {
            *why = format(arg[0] == '-' ? "unknown option '%s'" : "unexpected argument '%s'", arg);
            return false;
        }
        const OptionRow& row = rows[found];
        const char* value = nullptr;
        if (row.value != nullptr) {
            if (i + 1 >= argc) {
                *why = format("%s needs a value", arg);
                return false;
            }
            value = argv[++i];
        }
        if (row.mode == CaptureMode::Help) {
            o.mode = CaptureMode::Help;
            return true;
        }
        if (row.mode != CaptureMode::None && !setMode(&o, row.mode, why))
            return false;
        if (row.parse != nullptr && !row.parse(arg, value, &o, why))
            return false;
        given[found] = true;
    }
    if (o.mode == CaptureMode::None) {
        *why = "nothing to do: give " + modeNames("or");
        return false;
    }
    if (!followsModeRules(o, given, why))
        return false;
    if (o.mode == CaptureMode::RenderChunk || o.mode == CaptureMode::Assemble ||
        o.mode == CaptureMode::Benchmark)
        return true;
    return withinLimits(&o, why);
}

int videoFrameCount(const CaptureOptions& options) {
    return static_cast<int>(std::llround((options.to - options.from) * options.fps));
}

double videoFrameTime(const CaptureOptions& options, int index) {
    return options.from + index / options.fps;
}
