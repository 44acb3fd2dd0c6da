// The render scale: the scene drawn into an off-screen target of a fraction of the client size, then
// stretched over the window with linear filtering. Without a scale nothing here makes a call.
#pragma once

// A fixed scale from MIN_RENDER_SCALE to MAX_RENDER_SCALE, or 0 for none: the scene goes to the window.
void setRenderScale(double scale);
// The scale follows the frame rate (render/auto_scale.h), starting at the full size.
void setAutoRenderScale();
// The scale of the next frame; 0 without one.
double renderScale();

// Before the draw, with a scale and a client area that is not empty: makes the target (scale times the
// client size, at least one pixel each way) the framebuffer to draw to, and replaces the size with the
// target's, for the viewport and iResolution. Otherwise leaves both as they are.
void bindScaleTarget(int* width, int* height);
// After the draw: stretches the target over the client area and makes the window's framebuffer current
// again; with the automatic scale, counts the frame for its rule. Nothing without a target in use.
void drawScaleTarget(int clientWidth, int clientHeight);
