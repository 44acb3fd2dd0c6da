// Grid times, cell placement and labels drawn with stb_easy_font's segment glyphs.
#include "capture/contact_sheet.h"

#include "capture/capture_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_easy_font.h>
#pragma GCC diagnostic pop

std::vector<double> sheetTimes(int count) {
    std::vector<double> times(static_cast<size_t>(count), 0.0);
    for (int i = 1; i < count; ++i)
        times[static_cast<size_t>(i)] = std::round(END_TIME * i / (count - 1) * 10.0) / 10.0;
    return times;
}

std::string sheetLabel(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

namespace {
// A rectangle of pixels, x0 and y0 included, x1 and y1 not.
struct PixelBox {
    int x0, y0, x1, y1;
};
} // namespace

// Glyph rows of stb_easy_font's digits and letters, in font units.
constexpr int GLYPH_ROWS = 7;

// Fills the part of `box` that lies inside `clip` (nothing when they do not meet).
static void fillBox(std::vector<unsigned char>* rgb, int imageWidth, PixelBox box, PixelBox clip,
                    unsigned char value) {
    int x0 = std::max(box.x0, clip.x0), x1 = std::min(box.x1, clip.x1);
    int y0 = std::max(box.y0, clip.y0), y1 = std::min(box.y1, clip.y1);
    if (x1 <= x0 || y1 <= y0)
        return;
    for (int y = y0; y < y1; ++y)
        std::memset(rgb->data() + (static_cast<size_t>(y) * imageWidth + x0) * 3, value,
                    static_cast<size_t>(x1 - x0) * 3);
}

// The label's black box at `scale` pixels per font unit, with its padding.
static int labelBoxWidth(const std::string& text, int scale) {
    std::vector<char> chars(text.begin(), text.end());
    chars.push_back('\0');
    return stb_easy_font_width(chars.data()) * scale + 4 * scale;
}

// The label up to its first space: the time without its unit.
static std::string withoutUnit(const std::string& label) {
    return label.substr(0, label.find(' '));
}

void drawCellLabel(std::vector<unsigned char>* rgb, int imageWidth, int x, int y, int cellWidth,
                   int cellHeight, const std::string& text) {
    int scale = std::max(1, cellHeight / 90);
    int pad = 2 * scale, boxHeight = GLYPH_ROWS * scale + 2 * pad;
    // The still matters more than its label: a label that would hide most of it is left out.
    auto fits = [&](const std::string& label) {
        int boxWidth = labelBoxWidth(label, scale);
        return boxWidth <= cellWidth && boxHeight <= cellHeight &&
               4 * boxWidth * boxHeight <= 3 * cellWidth * cellHeight;
    };
    // A cell too narrow for the whole label shows the time without its unit; one too small for that shows
    // no label: a number cut short would read as another time. The widest label of the run decides, so
    // that every cell of a sheet is labelled alike.
    const std::string widest = sheetLabel(END_TIME);
    std::string shown = fits(widest) ? text : fits(withoutUnit(widest)) ? withoutUnit(text) : std::string();
    if (shown.empty())
        return;
    std::vector<char> chars(shown.begin(), shown.end());
    chars.push_back('\0');
    int boxWidth = labelBoxWidth(shown, scale);
    // Nothing is drawn outside the cell, nor outside the image, whatever the sizes.
    int imageHeight = static_cast<int>(rgb->size() / 3 / static_cast<size_t>(imageWidth));
    PixelBox clip = {std::max(x, 0), std::max(y, 0), std::min(x + std::min(boxWidth, cellWidth), imageWidth),
                     std::min(y + boxHeight, imageHeight)};
    fillBox(rgb, imageWidth, {x, y, x + boxWidth, y + boxHeight}, clip, 0);

    // Each glyph is a list of axis-aligned quads: 4 vertices of x, y, z (floats) and a colour.
    static char vertices[16 * 4 * 512];
    unsigned char white[4] = {255, 255, 255, 255};
    int quads = stb_easy_font_print(0.0f, 0.0f, chars.data(), white, vertices, sizeof vertices);
    for (int q = 0; q < quads; ++q) {
        float corner[2][2];
        std::memcpy(corner[0], vertices + q * 64, sizeof corner[0]);
        std::memcpy(corner[1], vertices + q * 64 + 32, sizeof corner[1]);
        PixelBox glyph = {x + pad + static_cast<int>(corner[0][0]) * scale,
                          y + pad + static_cast<int>(corner[0][1]) * scale,
                          x + pad + static_cast<int>(corner[1][0]) * scale,
                          y + pad + static_cast<int>(corner[1][1]) * scale};
        fillBox(rgb, imageWidth, glyph, clip, 255);
    }
}

void placeCell(std::vector<unsigned char>* sheet, int sheetWidth, int x, int y, const unsigned char* cell,
               int cellWidth, int cellHeight) {
    size_t row = static_cast<size_t>(cellWidth) * 3;
    for (int r = 0; r < cellHeight; ++r)
        std::memcpy(sheet->data() + (static_cast<size_t>(y + r) * sheetWidth + x) * 3, cell + r * row, row);
}

void addSheetCell(std::vector<unsigned char>* sheet, int columns, int index, const unsigned char* cell,
                  int cellWidth, int cellHeight, double seconds) {
    int x = index % columns * cellWidth, y = index / columns * cellHeight;
    placeCell(sheet, columns * cellWidth, x, y, cell, cellWidth, cellHeight);
    drawCellLabel(sheet, columns * cellWidth, x, y, cellWidth, cellHeight, sheetLabel(seconds));
}
