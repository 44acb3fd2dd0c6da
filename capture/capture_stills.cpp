// A still and the contact sheet: single frames, each drawn as the first frame of a run.
#include "capture/capture_frames.h"
#include "capture/capture_modes.h"
#include "capture/contact_sheet.h"
#include "capture/sink_sheet.h"
#include "capture/sink_still.h"

#include <cstdio>

// Says what was written and prints its path on stdout.
static int reportImage(const char* what, int width, int height, const std::string& target) {
    char text[128];
    std::snprintf(text, sizeof text, "wrote %s, %dx%d: ", what, width, height);
    reportNote(text + target);
    std::printf("%s\n", target.c_str());
    return 0;
}

int captureStill(const CaptureOptions& options) {
    std::string why;
    if (!prepareCapture(options.width, options.height, &why))
        return reportFailure(why);
    StillOutput still;
    still.target = options.output;
    still.width = options.width;
    still.height = options.height;
    renderFrameRange(stillFrames({options.at}), stillSink(&still), &why);
    if (!why.empty())
        return reportFailure(why);
    char what[64];
    std::snprintf(what, sizeof what, "the still at %g s", options.at);
    return reportImage(what, options.width, options.height, options.output);
}

int captureSheet(const CaptureOptions& options) {
    std::string why;
    if (!prepareCapture(options.width, options.height, &why))
        return reportFailure(why);
    SheetOutput sheet;
    sheet.target = options.output;
    sheet.columns = options.columns;
    sheet.rows = options.rows;
    sheet.cellWidth = options.width;
    sheet.cellHeight = options.height;
    FrameRange stills = stillFrames(sheetTimes(options.columns * options.rows));
    stills.shownAs = "contact sheet";
    stills.unit = "stills";
    renderFrameRange(stills, sheetSink(&sheet), &why);
    if (!why.empty())
        return reportFailure(why);
    char what[64];
    std::snprintf(what, sizeof what, "the %dx%d contact sheet", options.columns, options.rows);
    return reportImage(what, options.width * options.columns, options.height * options.rows, options.output);
}
