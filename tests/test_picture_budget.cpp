// The benchmark's and the picture test's figures on pictures made by hand: the budget's comparison at its
// level boundary, and the step figures' blocks and bodies.
#include "bench/picture_budget.h"
#include "bench/step_picture.h"

#include <gtest/gtest.h>

#include <vector>

TEST(PictureBudget, CountsPixelsBeyondTheLevelsInAnyColourChannel) {
    std::vector<unsigned char> a(4 * 8, 100), b = a;
    b[0] += DIFFERENT_LEVELS;          // at the boundary: not different
    b[4 + 1] -= DIFFERENT_LEVELS + 1;  // green of pixel 1
    b[8 + 2] += DIFFERENT_LEVELS + 40; // blue of pixel 2, the worst
    b[12 + 3] = 0;                     // alpha does not count
    PictureDifference d = comparePictures(a, b);
    EXPECT_DOUBLE_EQ(d.share, 2. / 8.);
    EXPECT_EQ(d.worst, DIFFERENT_LEVELS + 40);
    EXPECT_DOUBLE_EQ(comparePictures(a, a).share, 0.);
}

TEST(StepPictureFigures, BlocksPayTheirSlowestPixelAndBodiesShareThePixels) {
    // Two blocks side by side, 8x2 pixels: one pixel of the left block took 200 steps, the rest 10; the
    // right block is sky, and one of its pixels ran out of steps. Blue is the steps in the heavy march.
    const int width = 2 * STEP_BLOCK_WIDTH, height = STEP_BLOCK_HEIGHT;
    std::vector<unsigned char> pixels(4 * width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &pixels[4 * (y * width + x)];
            p[0] = 10;
            p[1] = x < STEP_BLOCK_WIDTH ? 1 : 0;
            p[2] = 5;
        }
    pixels[0] = 200;
    pixels[4 * (width - 1) + 1] = 5;
    StepFigures f = stepFigures(pixels, width, height);
    double pixelCount = width * height;
    EXPECT_DOUBLE_EQ(f.meanSteps, (200. + 10. * (pixelCount - 1)) / pixelCount);
    EXPECT_DOUBLE_EQ(f.meanBlockSteps, (200. + 10.) / 2.);
    EXPECT_DOUBLE_EQ(f.heavyShare, 5. * pixelCount / (200. + 10. * (pixelCount - 1)));
    EXPECT_DOUBLE_EQ(f.bodyShare[1], .5);
    EXPECT_DOUBLE_EQ(f.bodyShare[0], (pixelCount / 2 - 1) / pixelCount);
    EXPECT_DOUBLE_EQ(f.bodyShare[5], 1. / pixelCount);
    EXPECT_DOUBLE_EQ(f.bodySteps[1], (200. + 10. * 7.) / 8.);
    EXPECT_DOUBLE_EQ(f.bodySteps[0], 10.);
}
