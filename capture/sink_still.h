// A still as a sink: the one frame it takes, as a PNG at the target.
#pragma once
#include "capture/frame_sink.h"
#include "capture/output_file.h"

#include <vector>

struct StillOutput {
    std::string target;
    int width = 0, height = 0;
    PendingOutput out;
    std::vector<unsigned char> rgb;
};

FrameSink stillSink(StillOutput* still);
