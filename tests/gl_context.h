// Test helpers for the headless GL context.
#pragma once
#include <string>
#include <vector>

// Opens the EGL context with a client area of the given size and loads the entry points; fails the test
// (fatally) when no context can be made.
void openTestContext(int width, int height);

// RGBA8 pixel at (x, y) counted from the top-left of the client area.
struct Rgba {
    unsigned char r, g, b, a;
};
Rgba pixelAt(const std::vector<unsigned char>& pixels, int width, int x, int y);
