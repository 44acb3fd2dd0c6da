// Once a second the title shows the frames per second, the frac counter and the reload counter.
#pragma once
#include <cstdint>

constexpr const char* DEMO_TITLE = "doz-engine";
constexpr const char* FRAME_RATE_TITLE_FORMAT = "doz-engine  %u fps  frac %d  [reload %d]";
constexpr uint32_t TITLE_INTERVAL_MS = 1000;

struct FrameRateTitle {
    uint32_t windowStartTick; // 0: no window started yet
    uint32_t frameCounter;
    int32_t reloadCounter;
    unsigned fps; // of the last full window
};

extern FrameRateTitle frameRateTitle;

// Counts the frame that ends at tick `now` and, once at least a second has passed, writes the title
// (unless a compile log holds it) and starts the next window.
void countFrameForTitle(uint32_t now);

// Author mode's title is its own: every pass opens a new window, so the frame-rate title never comes due.
void holdFrameRateTitle();
// The reload counter the title shows.
void setTitleReloadCount(int32_t reloads);
// Writes the title now, with the last window's frame rate; a failed reload of the stage reloader holds it
// (its failure is the title), as does a compile log.
void writeFrameRateTitle();

// A scene program that failed to build shows its report in the title, which then keeps it for good (no
// frame-rate title replaces it); nothing without a window or without a failure.
void showCompileLogInTitle();
