// The contact sheet as a sink: each still it takes goes into its labelled cell of one PNG.
#pragma once
#include "capture/frame_sink.h"
#include "capture/output_file.h"

#include <vector>

struct SheetOutput {
    std::string target;
    int columns = 0, rows = 0;
    int cellWidth = 0, cellHeight = 0;
    PendingOutput out;
    std::vector<unsigned char> sheet;
};

FrameSink sheetSink(SheetOutput* sheet);
