// The rule of the automatic render scale: steps of an eighth between a quarter and the full size, so that
// the frames come at about 30 per second.
#pragma once
#include <cstdint>

// The range of a fixed render scale, which the automatic scale keeps to as well.
constexpr double MIN_RENDER_SCALE = 0.25;
constexpr double MAX_RENDER_SCALE = 1.0;

constexpr double AUTO_SCALE_STEP = 0.125;
constexpr double AUTO_SCALE_TARGET_MS = 1000.0 / 30.0;
// Frames are averaged over windows of at least this much drawing before the scale may move.
constexpr uint32_t AUTO_SCALE_WINDOW_MS = 500;
// One step down when the frames take this much longer than the target; one step up only when the next
// step, whose cost grows with its pixel count, would still leave this much to spare. As long as the cost
// follows the pixel count, a step either way cannot bring the other rule into play: no flicker.
constexpr double AUTO_SCALE_SLOW = 1.15;
constexpr double AUTO_SCALE_SPARE = 0.85;

struct AutoScale {
    double scale = 1.0;
    double targetMs = AUTO_SCALE_TARGET_MS;
    uint32_t windowMs = 0; // drawing time of the frames counted since the window opened
    int frames = 0;
};

// Where frames wait for a display of `refreshHz` (0: unknown) slower than the target rate, no scale can
// make them come faster: aim at the display's rate instead of stepping down to the smallest scale.
void aimAutoScaleAtDisplay(AutoScale* state, int refreshHz);

// Counts a frame that took `frameMs` to draw and show (the time between frames that was spent elsewhere,
// in a minimised window, a modal loop or a reload, is no frame's) and returns the scale for the next one.
double countFrameForAutoScale(AutoScale* state, uint32_t frameMs);
