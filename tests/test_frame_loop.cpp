// One pass of the frame loop on the headless context: uniforms, the two clock readings, the end rule.
#define GL_GLEXT_PROTOTYPES 1
#include "app/frame_loop.h"
#include "app/frame_rate_title.h"
#include "app/idle_pass.h"
#include "app/run_state.h"
#include "audio/loudness_envelope.h"
#include "platform/headless/headless.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <vector>

// White wherever drawn; reads the four per-frame uniforms so that they stay active.
static const char* const WHITE_FRAGMENT =
    "#version 330\nuniform vec2 iResolution;\nuniform float iTime, iBeat, iBeatHalf;\nout vec4 O;\n"
    "void main() { O = vec4(min(iResolution.x, iTime + iBeat + iBeatHalf) > -1e30 ? 1. : .5); }\n";

class FrameLoop : public testing::Test {
  protected:
    void SetUp() override {
        openTestContext(8, 8);
        buildSceneProgramFrom(SCENE_VERTEX_SOURCE, WHITE_FRAGMENT);
        ASSERT_FALSE(shaderErrorFlag);
    }
    static float uniform(GLint location) {
        float value = -1.0f;
        glGetUniformfv(sceneProgram, location, &value);
        return value;
    }
    static void clearTo(float grey) {
        glClearColor(grey, grey, grey, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    static int whitePixels() {
        int count = 0;
        std::vector<unsigned char> pixels = readHeadlessPixels();
        for (size_t i = 0; i < pixels.size(); i += 4)
            count += pixels[i] == 255;
        return count;
    }
};

TEST_F(FrameLoop, TimeOf124DoesNotEndTheRunButTheFirstFrameBeyondDoesAfterDrawing) {
    setHeadlessSoundPosition(124 * 44100);
    runFramePass();
    EXPECT_TRUE(isRunning());
    EXPECT_FLOAT_EQ(uniform(uniforms.iTime), 124.0f);

    clearTo(0);
    setHeadlessSoundPosition(124 * 44100 + 1);
    runFramePass();
    EXPECT_FALSE(isRunning());
    EXPECT_EQ(whitePixels(), 64) << "the last frame is still drawn";
    EXPECT_EQ(frameRateTitle.frameCounter, 2u) << "and counted";
}

TEST_F(FrameLoop, BeatFollowsTheSecondReading) {
    // Two blocks: silent, then loud.
    static float samples[2 * 2 * ENVELOPE_BLOCK_FRAMES];
    for (int i = 2 * ENVELOPE_BLOCK_FRAMES; i < 4 * ENVELOPE_BLOCK_FRAMES; ++i)
        samples[i] = 0.5f;
    buildLoudnessEnvelope({samples, 2 * ENVELOPE_BLOCK_FRAMES});

    scriptHeadlessSoundPositions({100, ENVELOPE_BLOCK_FRAMES + 100});
    runFramePass();
    EXPECT_FLOAT_EQ(uniform(uniforms.iTime), static_cast<float>(100 / 44100.0));
    EXPECT_FLOAT_EQ(uniform(uniforms.iBeat), 1.0f);
    EXPECT_FLOAT_EQ(uniform(uniforms.iBeatHalf), 1.0f) << "a rise from 0 to 1 is the first onset";
}

TEST_F(FrameLoop, ResolutionFollowsTheClientAreaEveryPass) {
    setHeadlessClientSize(32, 16);
    runFramePass();
    float resolution[2] = {0, 0};
    glGetUniformfv(sceneProgram, uniforms.iResolution, resolution);
    EXPECT_EQ(resolution[0], 32.0f);
    EXPECT_EQ(resolution[1], 16.0f);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 32);
    EXPECT_EQ(viewport[3], 16);

    setHeadlessClientSize(7, 3);
    runFramePass();
    glGetUniformfv(sceneProgram, uniforms.iResolution, resolution);
    EXPECT_EQ(resolution[0], 7.0f);
    EXPECT_EQ(resolution[1], 3.0f);
}

TEST_F(FrameLoop, NoPassRunsWhenTheFlagIsAlreadyClear) {
    clearTo(0);
    stopRunning();
    runFrameLoop();
    EXPECT_EQ(whitePixels(), 0);
    EXPECT_EQ(frameRateTitle.frameCounter, 0u);
}

TEST_F(FrameLoop, LoopRunsUntilTheMusicPasses124) {
    // A clock that moves a second per pass (two readings each): the loop must stop on its own after the
    // first frame past 124.
    std::vector<uint32_t> positions;
    for (uint32_t second = 0; second <= 130; ++second)
        positions.insert(positions.end(), {second * 44100, second * 44100});
    scriptHeadlessSoundPositions(positions);
    runFrameLoop();
    EXPECT_FALSE(isRunning());
    EXPECT_FLOAT_EQ(uniform(uniforms.iTime), 125.0f);
}

TEST_F(FrameLoop, MinimisedWindowWaitsInsteadOfDrawingWhileTheClockAndTheEndRuleGoOn) {
    const int presents = headlessPresentCount();
    setHeadlessClientSize(0, 0);
    setHeadlessSoundPosition(10 * 44100);
    for (int pass = 0; pass < 5; ++pass)
        runFramePass();
    EXPECT_EQ(headlessPresentCount(), presents) << "nothing presented";
    EXPECT_EQ(headlessSleptMilliseconds(), 5u * IDLE_WAIT_MILLISECONDS);
    EXPECT_EQ(frameRateTitle.frameCounter, 0u);
    EXPECT_TRUE(isRunning());

    // The music plays on and ends the run while the window stays minimised: one reading per idle pass.
    std::vector<uint32_t> positions;
    for (uint32_t second = 11; second <= 130; ++second)
        positions.push_back(second * 44100);
    scriptHeadlessSoundPositions(positions);
    runFrameLoop();
    EXPECT_FALSE(isRunning());
    EXPECT_EQ(headlessSleptMilliseconds(), (5u + 125u - 10u) * IDLE_WAIT_MILLISECONDS);
    EXPECT_EQ(headlessPresentCount(), presents);

    // Restored, a pass draws and presents at once, with no wait.
    clearTo(0);
    setHeadlessClientSize(8, 8);
    runFramePass();
    EXPECT_EQ(headlessPresentCount(), presents + 1);
    EXPECT_EQ(whitePixels(), 64);
    EXPECT_EQ(headlessSleptMilliseconds(), 120u * IDLE_WAIT_MILLISECONDS);
}
