// Where a capture's frames go: every output (a still, a contact sheet, PNG frames with their WAV, an MP4
// with its sound, a job's lossless chunk) is a sink behind the same four functions, fed by one frame-range
// renderer (renderFrameRange in capture/capture_frames.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct CapturedFrame {
    int index;                // its place in the range, from 0
    double seconds;           // the music time it was drawn at
    uint32_t soundPosition;   // the sample frame that stands for that time
    const unsigned char* rgb; // top row first, 3 bytes per pixel, at the picture size
    size_t size;
};

struct FrameSink {
    void* state;
    // Claims the output and starts whatever writes it; false, with the reason, having left nothing behind.
    bool (*begin)(void* state, std::string* why);
    // Takes the range's next frame; false, with the reason, ends the range there.
    bool (*take)(void* state, const CapturedFrame& frame, std::string* why);
    // Completes the output once its frames are taken and puts it in place; false, with the reason.
    bool (*finish)(void* state, std::string* why);
    // Abandons the output, removing what it wrote; what stopping it shows (an encoder that failed as well)
    // is added to `why`.
    void (*discard)(void* state, std::string* why);
};
