// The command line of doz-capture: what to render, how big, over which times, and where to.
#pragma once
#include "audio/soundtrack.h"

#include <string>

// The limits of the command line, each said in the help and in its refusal from these.
constexpr int MAX_CAPTURE_SIDE = 16384; // pixels a side of anything drawn or written
constexpr int MAX_SHEET_SIDE = 64;      // stills per row or column
constexpr double MAX_CAPTURE_FPS = 1000.0;
constexpr int MAX_SUPERSAMPLE = 4;
constexpr int MAX_JOB_CHUNKS = 100000;
constexpr int MAX_BENCH_FRAMES = 10000;
constexpr double MIN_CAPTURE_SCALE = 0.25;
// A sheet's cell when --size is not given.
constexpr int SHEET_CELL_WIDTH = 240, SHEET_CELL_HEIGHT = 135;

// What a video is written as (capture/video_kind.h), each kind defined by its sink file and chosen by its
// option row.
struct VideoKind;
extern const VideoKind MP4_VIDEO, PNG_FRAMES_VIDEO;

enum class CaptureMode { None, Still, Sheet, Video, Benchmark, Plan, RenderChunk, Assemble, Help };

struct CaptureOptions {
    CaptureMode mode = CaptureMode::None;
    std::string output;
    int width = 1280, height = 720; // one still, one cell of a sheet, or one video frame
    double at = 0.0;
    int columns = 8, rows = 4;
    double fps = 30.0;
    double from = 0.0, to = END_TIME;
    const VideoKind* videoKind = &MP4_VIDEO; // chosen by its option row
    int benchmarkFrames = 16;
    double scale = 0.0;  // render scale as the demo's --scale; 0: none
    int supersample = 1; // N: N*N samples per pixel, averaged
    // Capture jobs: the job folder, the chunk count of a plan, the chunk to render.
    std::string jobDir;
    int chunks = 0;
    int chunk = -1;
    std::string program;   // how doz-capture was called, for the commands it suggests
    std::string tracksDir; // --tracks: a tracks folder instead of the built-in tracks; "" for none
    // Which picture and range options the command line gave: a job's own must not contradict them.
    bool sizeGiven = false, fpsGiven = false, fromGiven = false, toGiven = false, scaleGiven = false,
         supersampleGiven = false;
};

// The usage text of --help, made from the table of options.
std::string captureHelp();

// Reads and checks the whole command line; on a mistake returns false with a one-line reason.
bool parseCaptureOptions(int argc, const char* const* argv, CaptureOptions* options, std::string* why);

// Frames of a video: the range at the frame rate, rounded to whole frames.
int videoFrameCount(const CaptureOptions& options);
// Music time of video frame `index`.
double videoFrameTime(const CaptureOptions& options, int index);
