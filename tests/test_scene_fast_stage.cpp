// The faster scene stage against the straight one: both drawn in the same run at the same times, across the
// four acts, at the truck's and the camera's passes through the signs, and with the fractal's beat scale.
#include "bench/straight_stage.h"
#include "platform/headless/headless.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

constexpr int WIDTH = 160, HEIGHT = 90;
// A pixel differs when one of its channels is more than this many levels off; at most this share may.
constexpr int DIFFERENT_LEVELS = 2;
constexpr double DIFFERENT_SHARE = .01;

struct Moment {
    double time;
    float beat, beatHalf;
};

static void PrintTo(const Moment& m, std::ostream* os) {
    *os << m.time << " s, beat " << m.beat << ", half beat " << m.beatHalf;
}

static std::vector<unsigned char> draw(const Moment& m) {
    glViewport(0, 0, WIDTH, HEIGHT);
    gl.uniform2f(uniforms.iResolution, WIDTH, HEIGHT);
    gl.uniform1f(uniforms.iTime, static_cast<float>(m.time));
    gl.uniform1f(uniforms.iBeat, m.beat);
    gl.uniform1f(uniforms.iBeatHalf, m.beatHalf);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    return readHeadlessPixels();
}

class FastStagePicture : public testing::TestWithParam<Moment> {};

TEST_P(FastStagePicture, SameAsTheStraightStage) {
    openTestContext(WIDTH, HEIGHT);
    buildCreditsTexture();
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, STRAIGHT_SCENE_FRAGMENT_SOURCE);
    ASSERT_NE(sceneProgram, 0u) << compileLog;
    std::vector<unsigned char> straight = draw(GetParam());
    buildSceneProgram();
    ASSERT_NE(sceneProgram, 0u) << compileLog;
    std::vector<unsigned char> fast = draw(GetParam());

    ASSERT_EQ(straight.size(), fast.size());
    size_t different = 0;
    int worst = 0;
    for (size_t i = 0; i < fast.size(); i += 4) {
        int d = 0;
        for (int k = 0; k < 3; ++k)
            d = std::max(d, std::abs(static_cast<int>(fast[i + k]) - static_cast<int>(straight[i + k])));
        worst = std::max(worst, d);
        different += d > DIFFERENT_LEVELS ? 1 : 0;
    }
    double pixels = WIDTH * HEIGHT;
    EXPECT_LE(different / pixels, DIFFERENT_SHARE)
        << different << " of " << WIDTH * HEIGHT << " pixels differ, the worst by " << worst << " levels";
    // A stage that drew nothing would pass against a straight stage that drew nothing as well.
    EXPECT_GT(std::count_if(straight.begin(), straight.end(), [](unsigned char c) { return c > 20; }), 0);
}

static const Moment MOMENTS[] = {
    // Pull-out: inside the hero canister, its fractal surface, the eased steps back, the widest view.
    {2., 0.f, 0.f},
    {9.5, 0.f, 0.f},
    {15., .6f, .6f},
    {25., 0.f, 0.f},
    {29.5, 0.f, 0.f},
    {35., 1.f, 1.f},
    // Flight over the falling field, the hero still there just before 52 s.
    {40.5, 0.f, 0.f},
    // A falling canister passes beside the hero, near the eye: rays between the two measure both canisters
    // through one body, in the order of their spheres, with the fractal's beat scale.
    {41.5, .4f, .4f},
    {46., .5f, 0.f},
    {51.9, 0.f, 0.f},
    // Orbit around the truck.
    {54., 0.f, 0.f},
    {57., .8f, .8f},
    {61., 0.f, 0.f},
    // Trailing: the road, the truck through sign 0 (75 s) and sign 3 (93 s), the camera through sign 0
    // (82.5 s) and sign 1 (88.5 s), the last sign, the end.
    {66., 0.f, 0.f},
    {70., 0.f, 0.f},
    {75., .3f, 0.f},
    {80., 1.f, 0.f},
    {82.5, 0.f, 0.f},
    {88.5, 0.f, 0.f},
    {93., 0.f, 0.f},
    {100., 0.f, 0.f},
    {111., 0.f, 0.f},
    {124., 0.f, 0.f}};

INSTANTIATE_TEST_SUITE_P(SceneFastStage, FastStagePicture, testing::ValuesIn(MOMENTS),
                         [](const testing::TestParamInfo<Moment>& info) {
                             char name[32];
                             std::snprintf(name, sizeof name, "At%05.1fs", info.param.time);
                             std::string s = name;
                             std::replace(s.begin(), s.end(), '.', '_');
                             return s;
                         });
