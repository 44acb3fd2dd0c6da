// The automatic render scale's step rule, on the frame times of whole windows of frames.
#include "render/auto_scale.h"

#include <algorithm>

void aimAutoScaleAtDisplay(AutoScale* s, int refreshHz) {
    s->targetMs = AUTO_SCALE_TARGET_MS;
    if (refreshHz > 0)
        s->targetMs = std::max(AUTO_SCALE_TARGET_MS, 1000.0 / refreshHz);
}

double countFrameForAutoScale(AutoScale* s, uint32_t frameMs) {
    ++s->frames;
    s->windowMs += frameMs;
    if (s->windowMs < AUTO_SCALE_WINDOW_MS)
        return s->scale;
    double averageMs = static_cast<double>(s->windowMs) / s->frames;
    double up = std::min(s->scale + AUTO_SCALE_STEP, MAX_RENDER_SCALE);
    double growth = (up / s->scale) * (up / s->scale);
    if (averageMs > s->targetMs * AUTO_SCALE_SLOW)
        s->scale = std::max(s->scale - AUTO_SCALE_STEP, MIN_RENDER_SCALE);
    else if (averageMs * growth < s->targetMs * AUTO_SCALE_SPARE)
        s->scale = up;
    s->windowMs = 0;
    s->frames = 0;
    return s->scale;
}
