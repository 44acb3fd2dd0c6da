// The render scale: the scene drawn into an off-screen target of a fraction of the client size, then
// stretched over the window with linear filtering. Without a scale nothing here makes a call.
#pragma once
#include <cstdint>

// A fixed scale from MIN_RENDER_SCALE to MAX_RENDER_SCALE, or 0 for none: the scene goes to the window.
void setRenderScale(double scale);
// The scale follows the frame rate (render/auto_scale.h), starting at the full size; with the display's
// refresh rate in Hz where frames wait for it (0: unknown, or no waiting), a display slower than the
// target rate sets the pace instead.
void setAutoRenderScale(int displayRefreshHz = 0);
// The scale of the next frame; 0 without one.
double renderScale();

// Before the draw, with a scale and a client area that is not empty: makes the target (scale times the
// client size, at least one pixel each way) the framebuffer to draw to, and replaces the size with the
// target's, for the viewport and iResolution. Otherwise leaves both as they are.
void bindScaleTarget(int* width, int* height);
// After the draw: stretches the target over the client area and makes the window's framebuffer current
// again. Nothing without a target in use.
void drawScaleTarget(int clientWidth, int clientHeight);

// After the present, with the automatic scale: counts a frame scaled through the target that took from tick
// `drawStart` to `drawEnd` to draw and show, for the rule. The first frame of a new scene program is not
// counted: a renderer may compile its code then.
void countFrameForScale(uint32_t drawStart, uint32_t drawEnd);
