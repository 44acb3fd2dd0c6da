// Credit lines through GDI: a top-down DIB section on a memory context, bold Arial 56 px cell, antialiased.
#include "platform/credits_raster.h"

#include <windows.h>

#include <cstring>

static HDC memoryContext = nullptr;
static HBITMAP bitmap = nullptr;
static HGDIOBJ previousBitmap = nullptr;
static HFONT font = nullptr;
static HGDIOBJ previousFont = nullptr;

const unsigned char* drawCreditsBitmap(const char* const* lines, int count) {
    memoryContext = CreateCompatibleDC(nullptr);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = CREDITS_WIDTH;
    info.bmiHeader.biHeight = -CREDITS_HEIGHT; // negative: rows run top-down, as the texture's do
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    bitmap = CreateDIBSection(memoryContext, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    previousBitmap = SelectObject(memoryContext, bitmap);

    RECT whole = {0, 0, CREDITS_WIDTH, CREDITS_HEIGHT};
    FillRect(memoryContext, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    font = CreateFontA(CREDITS_CELL_HEIGHT, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FF_SWISS | DEFAULT_PITCH,
                       "Arial");
    previousFont = SelectObject(memoryContext, font);

    SetTextColor(memoryContext, RGB(255, 255, 255));
    SetBkMode(memoryContext, TRANSPARENT);
    SetTextAlign(memoryContext, TA_CENTER | TA_TOP);
    for (int i = 0; i < count; ++i)
        TextOutA(memoryContext, CREDITS_WIDTH / 2, CREDITS_BAND_HEIGHT * i + CREDITS_CELL_TOP, lines[i],
                 static_cast<int>(std::strlen(lines[i])));
    GdiFlush();
    return static_cast<const unsigned char*>(pixels);
}

void releaseCreditsBitmap() {
    SelectObject(memoryContext, previousFont);
    SelectObject(memoryContext, previousBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(memoryContext);
}
