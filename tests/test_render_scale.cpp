// The render scale on the headless context: the scene drawn at half the client size and stretched is the
// half-size picture scaled up; the whole demo asks for the swap interval its options say, and refuses a bad
// option before it opens a window.
#include "app/frame_loop.h"
#include "app/startup.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "render/gl_api.h"
#include "render/scale_target.h"
#include "tests/scene_still.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

constexpr int WIDTH = 160, HEIGHT = 90;

// What a linear blit of `small` over a width x height area shows: each pixel centre mapped back into the
// small picture, the four nearest texels mixed, edges clamped.
static std::vector<float> stretched(const Still& small, int width, int height) {
    std::vector<float> out(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double u = (x + .5) * small.width / width - .5, v = (y + .5) * small.height / height - .5;
            int x0 = static_cast<int>(std::floor(u)), y0 = static_cast<int>(std::floor(v));
            double fx = u - x0, fy = v - y0;
            auto texel = [&](int tx, int ty, int k) {
                tx = std::clamp(tx, 0, small.width - 1);
                ty = std::clamp(ty, 0, small.height - 1);
                return static_cast<double>(small.at(tx, ty)[k]);
            };
            for (int k = 0; k < 3; ++k)
                out[(static_cast<size_t>(y) * width + x) * 3 + k] = static_cast<float>(
                    (1 - fy) * ((1 - fx) * texel(x0, y0, k) + fx * texel(x0 + 1, y0, k)) +
                    fy * ((1 - fx) * texel(x0, y0 + 1, k) + fx * texel(x0 + 1, y0 + 1, k)));
        }
    return out;
}

// Share of the pixels within `levels` of the expected picture in every channel.
static double shareWithin(const Still& s, const std::vector<float>& expected, int levels) {
    size_t close = 0;
    for (size_t i = 0; i < static_cast<size_t>(s.width) * s.height; ++i) {
        bool near = true;
        for (int k = 0; k < 3; ++k)
            near = near && std::abs(s.rgba[i * 4 + k] - expected[i * 3 + k]) <= levels;
        close += near ? 1 : 0;
    }
    return static_cast<double>(close) / (s.width * s.height);
}

TEST(RenderScale, HalfScaleIsTheHalfSizePictureStretched) {
    openSceneForStills(WIDTH, HEIGHT);
    // 80 s: the first sign with its text, the truck and the road; 46 s: the flight over the field.
    for (double time : {80., 46.}) {
        setRenderScale(0.);
        setHeadlessClientSize(WIDTH / 2, HEIGHT / 2);
        Still half = renderSceneAt(time);
        setHeadlessClientSize(WIDTH, HEIGHT);
        Still full = renderSceneAt(time);
        setRenderScale(.5);
        Still scaled = renderSceneAt(time);
        ASSERT_EQ(scaled.width, WIDTH);
        ASSERT_EQ(scaled.height, HEIGHT);

        std::vector<float> expected = stretched(half, WIDTH, HEIGHT);
        // The rasteriser's blit may round its sample positions a little differently.
        EXPECT_GT(shareWithin(scaled, expected, 6), .97) << time;
        // Not the full-size picture: the scale really drew fewer pixels (the fine field differs).
        std::vector<float> fullAsFloat;
        for (size_t i = 0; i < full.rgba.size(); i += 4)
            for (int k = 0; k < 3; ++k)
                fullAsFloat.push_back(full.rgba[i + k]);
        EXPECT_LT(shareWithin(scaled, fullAsFloat, 6), .9) << time;
    }
}

TEST(RenderScale, TargetFollowsTheClientSizeAndTheSceneSeesItsSize) {
    openSceneForStills(WIDTH, HEIGHT);
    setRenderScale(.25);
    int width = 163, height = 91;
    bindScaleTarget(&width, &height);
    EXPECT_EQ(width, 41); // 40.75 rounded
    EXPECT_EQ(height, 23);
    drawScaleTarget(163, 91);
    // Back on the window's framebuffer, so that what follows draws and reads there.
    GLint bound = -1;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    EXPECT_NE(bound, 0); // the headless window is itself a framebuffer object
    int tiny = 3, one = 1;
    bindScaleTarget(&tiny, &one);
    EXPECT_EQ(tiny, 1); // never an empty target
    EXPECT_EQ(one, 1);
    drawScaleTarget(3, 1);
    // An empty client area draws nothing and makes no target.
    int none = 0, some = 90;
    bindScaleTarget(&none, &some);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(some, 90);
    // Without a scale the size is the client's.
    setRenderScale(0.);
    int w = WIDTH, h = HEIGHT;
    bindScaleTarget(&w, &h);
    EXPECT_EQ(w, WIDTH);
    EXPECT_EQ(h, HEIGHT);
}

TEST(RenderScale, TheAutomaticScaleCountsDrawingNotTheStallsBetweenFrames) {
    openSceneForStills(WIDTH, HEIGHT);
    setHeadlessSoundPosition(44100 * 10);
    setAutoRenderScale();
    uint32_t now = 1000;
    for (int frame = 0; frame < 12; ++frame) {
        // Two seconds between frames that take no time: a modal loop, a reload, a minimised window.
        setHeadlessTickCount(now += 2000);
        runFramePass();
    }
    EXPECT_EQ(renderScale(), 1.);
}

static int runDemoWith(std::vector<std::string> words) {
    words.insert(words.begin(), "doz-engine");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    // One frame: the music is already past the end.
    setHeadlessSoundPosition(static_cast<uint32_t>(125. * 44100.));
    return runDemo(static_cast<int>(argv.size()), argv.data());
}

TEST(RenderScale, TheDemoAsksForVsyncUnlessToldNot) {
    EXPECT_EQ(headlessSwapInterval(), -1);
    EXPECT_EQ(runDemoWith({"--scale", "0.5"}), 0);
    EXPECT_EQ(headlessSwapInterval(), 1);
    EXPECT_EQ(renderScale(), .5);
    std::vector<unsigned char> pixels = readHeadlessPixels();
    EXPECT_TRUE(std::any_of(pixels.begin(), pixels.end(), [](unsigned char c) { return c > 40; }));
}

TEST(RenderScale, NoVsyncAndTheAutomaticScale) {
    EXPECT_EQ(runDemoWith({"--no-vsync", "--scale", "auto"}), 0);
    EXPECT_EQ(headlessSwapInterval(), 0);
    EXPECT_EQ(renderScale(), 1.); // one frame: too early for the rule to move it
}

TEST(RenderScale, ABadOptionEndsTheRunWithCodeTwoBeforeAnyWindow) {
    EXPECT_EQ(runDemoWith({"--scale", "3"}), 2);
    EXPECT_FALSE(windowExists());
    EXPECT_EQ(headlessSwapInterval(), -1);
}
