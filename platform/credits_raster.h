// Draws the credit lines with the system's font rasteriser into an off-screen bitmap.
#pragma once

constexpr int CREDITS_WIDTH = 512;
constexpr int CREDITS_HEIGHT = 560;
constexpr int CREDITS_BAND_HEIGHT = 80;
constexpr int CREDITS_CELL_TOP = 12;
constexpr int CREDITS_CELL_HEIGHT = 56;

// Draws `count` lines, white on black, line i with its character cell's top at row 80*i + 12, centred on
// column 256, into a 512x560 top-down bitmap of 4 bytes per texel (blue, green, red, fourth byte).
// Returns the pixels, valid until releaseCreditsBitmap.
const unsigned char* drawCreditsBitmap(const char* const* lines, int count);

void releaseCreditsBitmap();
