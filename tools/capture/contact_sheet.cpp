// Grid times, cell placement and labels drawn with stb_easy_font's segment glyphs.
#include "tools/capture/contact_sheet.h"

#include "tools/capture/capture_options.h"

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
        times[static_cast<size_t>(i)] = std::round(CAPTURE_END_TIME * i / (count - 1) * 10.0) / 10.0;
    return times;
}

std::string sheetLabel(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

static void fillBox(std::vector<unsigned char>* rgb, int imageWidth, int x0, int y0, int x1, int y1,
                    unsigned char value) {
    for (int y = y0; y < y1; ++y)
        std::memset(rgb->data() + (static_cast<size_t>(y) * imageWidth + x0) * 3, value,
                    static_cast<size_t>(x1 - x0) * 3);
}

void drawCellLabel(std::vector<unsigned char>* rgb, int imageWidth, int x, int y, int cellWidth,
                   int cellHeight, const std::string& text) {
    int scale = std::max(1, cellHeight / 90);
    int pad = 2 * scale;
    std::vector<char> chars(text.begin(), text.end());
    chars.push_back('\0');
    int boxWidth = std::min(cellWidth, stb_easy_font_width(chars.data()) * scale + 2 * pad);
    int boxHeight = std::min(cellHeight, 7 * scale + 2 * pad);
    fillBox(rgb, imageWidth, x, y, x + boxWidth, y + boxHeight, 0);

    // Each glyph is a list of axis-aligned quads: 4 vertices of x, y, z (floats) and a colour.
    static char vertices[16 * 4 * 512];
    unsigned char white[4] = {255, 255, 255, 255};
    int quads = stb_easy_font_print(0.0f, 0.0f, chars.data(), white, vertices, sizeof vertices);
    for (int q = 0; q < quads; ++q) {
        float corner[2][2];
        std::memcpy(corner[0], vertices + q * 64, sizeof corner[0]);
        std::memcpy(corner[1], vertices + q * 64 + 32, sizeof corner[1]);
        int x0 = x + pad + static_cast<int>(corner[0][0]) * scale;
        int y0 = y + pad + static_cast<int>(corner[0][1]) * scale;
        int x1 = x + pad + static_cast<int>(corner[1][0]) * scale;
        int y1 = y + pad + static_cast<int>(corner[1][1]) * scale;
        fillBox(rgb, imageWidth, std::max(x0, x), std::max(y0, y), std::min(x1, x + boxWidth),
                std::min(y1, y + boxHeight), 255);
    }
}

void placeCell(std::vector<unsigned char>* sheet, int sheetWidth, int x, int y, const unsigned char* cell,
               int cellWidth, int cellHeight) {
    size_t row = static_cast<size_t>(cellWidth) * 3;
    for (int r = 0; r < cellHeight; ++r)
        std::memcpy(sheet->data() + (static_cast<size_t>(y + r) * sheetWidth + x) * 3, cell + r * row, row);
}
