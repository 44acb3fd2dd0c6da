// The rule of the automatic render scale: steps of an eighth between a quarter and the full size, so that
// the frames come at about 30 per second.
#pragma once
#include <cstdint>

constexpr double AUTO_SCALE_STEP = 0.125;
constexpr double AUTO_SCALE_TARGET_MS = 1000.0 / 30.0;
// Frames are averaged over windows of at least this long before the scale may move.
constexpr uint32_t AUTO_SCALE_WINDOW_MS = 500;
// One step down when the frames take this much longer than the target; one step up only when the next
// step, whose cost grows with its pixel count, would still leave this much to spare. As long as the cost
// follows the pixel count, a step either way cannot bring the other rule into play: no flicker.
constexpr double AUTO_SCALE_SLOW = 1.15;
constexpr double AUTO_SCALE_SPARE = 0.85;

struct AutoScale {
    double scale = 1.0;
    bool started = false;
    uint32_t windowStart = 0;
    int frames = 0;
};

// Counts a finished frame at tick `now` (milliseconds, wrapping) and returns the scale for the next one.
double countFrameForAutoScale(AutoScale* state, uint32_t now);
