// A still and the contact sheet: single frames, each drawn as the first frame of a run.
#include "capture/capture_frames.h"
#include "capture/capture_modes.h"
#include "capture/contact_sheet.h"
#include "capture/output_file.h"
#include "capture/png_file.h"
#include "capture/progress.h"

#include <cstdio>
#include <vector>

int reportFailure(const std::string& message) {
    std::fprintf(stderr, "doz-capture: %s\n", message.c_str());
    return 1;
}

void reportNote(const std::string& message) {
    std::fprintf(stderr, "doz-capture: %s\n", message.c_str());
}

// Writes the finished image under the temporary name, then puts it in place; prints the path on stdout.
static int finishImage(PendingOutput* out, const std::vector<unsigned char>& rgb, int width, int height,
                       const char* what) {
    std::string why;
    if (!writePngRgb(out->temp, rgb.data(), width, height, &why) || !commitOutput(out, &why)) {
        discardOutput(out);
        return reportFailure(why);
    }
    char text[128];
    std::snprintf(text, sizeof text, "wrote %s, %dx%d: ", what, width, height);
    reportNote(text + out->target);
    std::printf("%s\n", out->target.c_str());
    return 0;
}

// Claims the output's temporary name and makes the headless demo ready at the capture size.
static bool beginImage(const CaptureOptions& options, PendingOutput* out, std::string* why) {
    if (!beginOutput(options.output, false, 0, out, why))
        return false;
    if (prepareCapture(options.width, options.height, why))
        return true;
    discardOutput(out);
    return false;
}

int captureStill(const CaptureOptions& options) {
    PendingOutput out;
    std::string why;
    if (!beginImage(options, &out, &why))
        return reportFailure(why);
    drawStillAt(options.at);
    std::vector<unsigned char> rgb;
    readFrameRgb(&rgb);
    if (!checkOpenGl(&why)) {
        discardOutput(&out);
        return reportFailure(why);
    }
    char what[64];
    std::snprintf(what, sizeof what, "the still at %g s", options.at);
    return finishImage(&out, rgb, options.width, options.height, what);
}

int captureSheet(const CaptureOptions& options) {
    PendingOutput out;
    std::string why;
    if (!beginImage(options, &out, &why))
        return reportFailure(why);
    const int sheetWidth = options.width * options.columns, sheetHeight = options.height * options.rows;
    std::vector<unsigned char> sheet(static_cast<size_t>(sheetWidth) * sheetHeight * 3);
    const FrameRange stills = stillFrames(sheetTimes(options.columns * options.rows));
    startProgress("contact sheet", "stills", static_cast<int>(stills.times.size()));
    reportProgress(0);
    auto take = [&](int i, const std::vector<unsigned char>& cell, std::string*) {
        addSheetCell(&sheet, options.columns, i, cell.data(), options.width, options.height,
                     stills.times[static_cast<size_t>(i)]);
        reportProgress(i + 1);
        return true;
    };
    renderFrameRange(stills, take, &why);
    finishProgress();
    if (!why.empty()) {
        discardOutput(&out);
        return reportFailure(why);
    }
    char what[64];
    std::snprintf(what, sizeof what, "the %dx%d contact sheet", options.columns, options.rows);
    return finishImage(&out, sheet, sheetWidth, sheetHeight, what);
}
