// The kinds of video doz-capture writes: each readies the sink a range's frames go into and says what it
// made of them, so a new kind is its sink file and the option row that chooses it.
#pragma once
#include "capture/frame_sink.h"

#include <memory>
#include <string>

struct CaptureOptions;

// One range's output, ready to be fed by the frame-range renderer.
struct VideoOutput {
    FrameSink sink;
    std::string target;            // the file or folder it ends up as
    const char* shownAs = "video"; // the progress report's name
    std::shared_ptr<void> keep;    // owns the sink's state
    // Whether the output has the soundtrack, once begun.
    bool (*hasSound)(const void* state) = nullptr;
    // What to say once the frames are in place (how to go on with them); nullptr or "" for nothing.
    std::string (*advice)(const void* state, const CaptureOptions& options) = nullptr;
};

struct VideoKind {
    // The refusal of a picture size the encoding cannot take (odd sides); nullptr when any size will do.
    const char* oddSizeRefusal;
    // Readies the output of `frames` frames of the range in `options`; false, with the reason.
    bool (*open)(const CaptureOptions& options, int frames, VideoOutput* output, std::string* why);
};
