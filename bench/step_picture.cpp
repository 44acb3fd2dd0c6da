// Figures and false-colour pictures from the stage's step picture.
#include "bench/step_picture.h"

#include <algorithm>
#include <cmath>

StepFigures stepFigures(const std::vector<unsigned char>& pixels, int width, int height) {
    StepFigures f = {0., 0., 0., {}, {}};
    double steps = 0., heavy = 0., blockSteps = 0.;
    int blocks = 0;
    for (int y = 0; y < height; y += STEP_BLOCK_HEIGHT)
        for (int x = 0; x < width; x += STEP_BLOCK_WIDTH) {
            int most = 0;
            for (int by = y; by < std::min(height, y + STEP_BLOCK_HEIGHT); ++by)
                for (int bx = x; bx < std::min(width, x + STEP_BLOCK_WIDTH); ++bx)
                    most = std::max(most, static_cast<int>(pixels[4 * (by * width + bx)]));
            blockSteps += most;
            ++blocks;
        }
    for (size_t i = 0; i < pixels.size(); i += 4) {
        steps += pixels[i];
        heavy += pixels[i + 2];
        int body = std::min<int>(pixels[i + 1], STEP_BODIES - 1);
        f.bodyShare[body] += 1.;
        f.bodySteps[body] += pixels[i];
    }
    double n = static_cast<double>(width) * height;
    f.meanSteps = steps / n;
    f.meanBlockSteps = blockSteps / blocks;
    f.heavyShare = steps > 0. ? heavy / steps : 0.;
    for (int b = 0; b < STEP_BODIES; ++b) {
        f.bodySteps[b] = f.bodyShare[b] > 0. ? f.bodySteps[b] / f.bodyShare[b] : 0.;
        f.bodyShare[b] /= n;
    }
    return f;
}

std::vector<unsigned char> stepHeatPicture(const std::vector<unsigned char>& pixels) {
    std::vector<unsigned char> out(pixels.size());
    for (size_t i = 0; i < pixels.size(); i += 4) {
        double s = pixels[i] / 255.;
        // Four ramps of a quarter each: blue, red, yellow, white.
        double r = std::clamp(s * 4. - 1., 0., 1.), g = std::clamp(s * 4. - 2., 0., 1.);
        double b =
            std::clamp(s * 4., 0., 1.) - std::clamp(s * 4. - 1., 0., 1.) + std::clamp(s * 4. - 3., 0., 1.);
        out[i] = static_cast<unsigned char>(std::lround(r * 255.));
        out[i + 1] = static_cast<unsigned char>(std::lround(g * 255.));
        out[i + 2] = static_cast<unsigned char>(std::lround(b * 255.));
        out[i + 3] = 255;
    }
    return out;
}

std::vector<unsigned char> stepBodyPicture(const std::vector<unsigned char>& pixels) {
    static const unsigned char COLOURS[STEP_BODIES][3] = {{20, 30, 60},  {230, 120, 30}, {120, 120, 120},
                                                          {200, 20, 20}, {60, 200, 230}, {255, 0, 255}};
    std::vector<unsigned char> out(pixels.size());
    for (size_t i = 0; i < pixels.size(); i += 4) {
        const unsigned char* c = COLOURS[std::min<int>(pixels[i + 1], STEP_BODIES - 1)];
        std::copy(c, c + 3, out.begin() + static_cast<long>(i));
        out[i + 3] = 255;
    }
    return out;
}
