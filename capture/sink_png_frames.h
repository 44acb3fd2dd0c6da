// A video as a folder of PNG frames with the soundtrack beside them as soundtrack.wav, for when there is no
// encoder or --frames asks for it.
#pragma once
#include "capture/frame_sink.h"
#include "capture/output_file.h"

struct PngFramesOutput {
    std::string target; // the folder
    int width = 0, height = 0;
    uint32_t firstSample = 0, samples = 0; // the soundtrack's span, written before the first frame
    PendingOutput out;
    bool withAudio = false;
};

FrameSink pngFramesSink(PngFramesOutput* frames);
