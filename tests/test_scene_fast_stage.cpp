// The faster scene stage against the straight one: both drawn in the same run at the same times, across the
// four acts, at the truck's and the camera's passes through the signs, at the cuts and with the fractal's
// beat scale; and the stage's step picture, which the benchmark reads.
#include "bench/picture_budget.h"
#include "bench/step_picture.h"
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
    PictureDifference d = comparePictures(straight, fast);
    EXPECT_LE(d.share, DIFFERENT_SHARE) << d.share * WIDTH * HEIGHT << " of " << WIDTH * HEIGHT
                                        << " pixels differ, the worst by " << d.worst << " levels";
    // A stage that drew nothing would pass against a straight stage that drew nothing as well.
    EXPECT_GT(std::count_if(straight.begin(), straight.end(), [](unsigned char c) { return c > 20; }), 0);
}

static const Moment MOMENTS[] = {
    // Pull-out: inside the hero canister, its fractal surface, the eased steps back, the widest view.
    {2., 0.f, 0.f},
    {5., 1.f, 1.f},
    {9.5, 0.f, 0.f},
    {15., .6f, .6f},
    {25., 0.f, 0.f},
    {29.5, 0.f, 0.f},
    {35., 1.f, 1.f},
    // Flight over the falling field, the hero still there just before 52 s.
    {39.9, 0.f, 0.f},
    {40.1, .7f, .7f},
    {40.5, 0.f, 0.f},
    // A falling canister passes beside the hero, near the eye: rays between the two measure both canisters
    // through one body, in the order of their spheres, with the fractal's beat scale.
    {41.5, .4f, .4f},
    {46., .5f, 0.f},
    {50., 1.f, 1.f},
    {51.9, 0.f, 0.f},
    {52.1, .5f, .5f},
    // Orbit around the truck.
    {54., 0.f, 0.f},
    {57., .8f, .8f},
    {60., .9f, 0.f},
    {61., 0.f, 0.f},
    {61.9, 0.f, 0.f},
    {62.1, 1.f, 1.f},
    // Trailing: the road, the truck through sign 0 (75 s) and sign 3 (93 s), the camera through sign 0
    // (82.5 s) and sign 1 (88.5 s), the last sign, the end.
    {66., 0.f, 0.f},
    {70., 0.f, 0.f},
    {72., 1.f, 1.f},
    {75., .3f, 0.f},
    {80., 1.f, 0.f},
    {82.5, 0.f, 0.f},
    {88.5, 0.f, 0.f},
    {93., 0.f, 0.f},
    {100., 0.f, 0.f},
    {105., .6f, .6f},
    {111., 0.f, 0.f},
    {122., 1.f, 1.f},
    {124., 0.f, 0.f}};

INSTANTIATE_TEST_SUITE_P(SceneFastStage, FastStagePicture, testing::ValuesIn(MOMENTS),
                         [](const testing::TestParamInfo<Moment>& info) {
                             char name[32];
                             std::snprintf(name, sizeof name, "At%05.1fs", info.param.time);
                             std::string s = name;
                             std::replace(s.begin(), s.end(), '.', '_');
                             return s;
                         });

// The step picture tells what the march did: in the pull-out every pixel measures the hero's fractal and
// ends on a canister, late in the trailing the last sign fills most of the frame, and hardly a ray runs out
// of steps (two of 14,400 at 25 s).
TEST(SceneStepPicture, SaysWhatTheMarchDid) {
    openTestContext(WIDTH, HEIGHT);
    buildCreditsTexture();
    std::string stage = SCENE_FRAGMENT_SOURCE;
    const std::string line = "#define STEP_PICTURE 0";
    size_t at = stage.find(line);
    ASSERT_NE(at, std::string::npos);
    stage.replace(at, line.size(), "#define STEP_PICTURE 1");
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, stage.c_str());
    ASSERT_NE(sceneProgram, 0u) << compileLog;

    StepFigures inside = stepFigures(draw({5., 0.f, 0.f}), WIDTH, HEIGHT);
    EXPECT_EQ(inside.bodyShare[1], 1.);
    EXPECT_GT(inside.heavyShare, .99);
    EXPECT_GT(inside.meanSteps, 5.);
    EXPECT_GE(inside.meanBlockSteps, inside.meanSteps);

    StepFigures sign = stepFigures(draw({105., 0.f, 0.f}), WIDTH, HEIGHT);
    EXPECT_GT(sign.bodyShare[4], .5);
    EXPECT_GT(sign.bodyShare[0], 0.);
    for (Moment m : {Moment{25., 0.f, 0.f}, Moment{54., 0.f, 0.f}, Moment{122., 0.f, 0.f}}) {
        StepFigures f = stepFigures(draw(m), WIDTH, HEIGHT);
        EXPECT_LT(f.bodyShare[5], .001) << m.time;
        EXPECT_GT(f.bodyShare[0], .05) << m.time;
        EXPECT_GT(f.bodyShare[2], 0.) << m.time;
        EXPECT_LT(f.heavyShare, .5) << m.time;
    }
}
