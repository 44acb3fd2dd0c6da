// The sheet's sink: the whole picture is held until its last cell, then written under the temporary name.
#include "capture/sink_sheet.h"

#include "capture/contact_sheet.h"
#include "capture/png_file.h"

static bool begin(void* state, std::string* why) {
    auto* sheet = static_cast<SheetOutput*>(state);
    if (!beginOutput(sheet->target, false, 0, &sheet->out, why))
        return false;
    sheet->sheet.assign(
        static_cast<size_t>(sheet->cellWidth) * sheet->columns * sheet->cellHeight * sheet->rows * 3, 0);
    return true;
}

static bool take(void* state, const CapturedFrame& frame, std::string*) {
    auto* sheet = static_cast<SheetOutput*>(state);
    addSheetCell(&sheet->sheet, sheet->columns, frame.index, frame.rgb, sheet->cellWidth, sheet->cellHeight,
                 frame.seconds);
    return true;
}

static bool finish(void* state, std::string* why) {
    auto* sheet = static_cast<SheetOutput*>(state);
    return writePngRgb(sheet->out.temp, sheet->sheet.data(), sheet->cellWidth * sheet->columns,
                       sheet->cellHeight * sheet->rows, why) &&
           commitOutput(&sheet->out, why);
}

static void discard(void* state, std::string*) {
    discardOutput(&static_cast<SheetOutput*>(state)->out);
}

FrameSink sheetSink(SheetOutput* sheet) {
    return {sheet, begin, take, finish, discard};
}
