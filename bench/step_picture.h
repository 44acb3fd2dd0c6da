// Reads the stage's step picture (each pixel's march, drawn with STEP_PICTURE 1): the figures per frame and
// false-colour pictures of the steps and the bodies hit.
#pragma once
#include <vector>

// Bodies in the order of the picture's green levels: sky, canister, road, truck, sign, out of steps.
constexpr int STEP_BODIES = 6;
// A software rasteriser shades pixels in groups and pays a loop pass for the whole group while any pixel
// still needs it; the slowest pixel of each such block is what a frame costs there.
constexpr int STEP_BLOCK_WIDTH = 4, STEP_BLOCK_HEIGHT = 2;

struct StepFigures {
    double meanSteps;
    double meanBlockSteps; // the most steps in each block, averaged over the blocks
    double heavyShare;     // of all steps, those in the march that measures the fractal and the truck
    double bodyShare[STEP_BODIES];
    double bodySteps[STEP_BODIES]; // mean steps of the pixels that ended on each body
};

StepFigures stepFigures(const std::vector<unsigned char>& pixels, int width, int height);
// The steps from black through blue, red and yellow to white at 255.
std::vector<unsigned char> stepHeatPicture(const std::vector<unsigned char>& pixels);
// Each body in a colour of its own.
std::vector<unsigned char> stepBodyPicture(const std::vector<unsigned char>& pixels);
