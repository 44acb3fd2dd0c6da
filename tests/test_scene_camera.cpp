// The camera timeline: the pull-out distances, the key instants of every act and the act boundaries.
#include "tests/gl_context.h"
#include "tests/shader_probe.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(SceneCamera, PullOutDistanceHoldsThenEases) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            float t[8] = float[8](0., 8.8, 9.4, 10., 28.8, 29.4, 30., 39.9);
            return vec4(act1Dist(t[i]));
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 8);
    const float expected[8] = {.15f, .15f, .325f, .5f, 1.2f, 4.6f, 8.f, 8.f};
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(v[i][0], expected[i], 1e-4f) << "case " << i;
}

struct Camera {
    double eye[3], target[3];
};

static unsigned cameraProgram() {
    return buildProbeProgram(R"(
        vec4 probe(int i) {
            vec3 ro, ta;
            camera(ro, ta);
            return vec4(i == 0 ? ro : ta, 0.);
        }
    )");
}

static Camera cameraAt(unsigned program, float time) {
    ProbeUniforms at;
    at.time = time;
    std::vector<Vec4> v = runProbeCases(program, 2, at);
    return {{v[0][0], v[0][1], v[0][2]}, {v[1][0], v[1][1], v[1][2]}};
}

struct KeyInstant {
    float time;
    Camera camera;
    double distance;
    double view[3];
};

TEST(SceneCamera, KeyInstantsOfEveryAct) {
    const KeyInstant table[] = {
        {0, {{60.04705, 55.04705, 42.13443}, {60, 55, 42}}, 0.15, {-0.3137, -0.3137, -0.8962}},
        {10, {{60.15684, 55.15684, 42.44811}, {60, 55, 42}}, 0.5, {-0.3137, -0.3137, -0.8962}},
        {20, {{60.37641, 55.37641, 43.07547}, {60, 55, 42}}, 1.2, {-0.3137, -0.3137, -0.8962}},
        {30, {{62.50942, 57.50942, 49.16977}, {60, 55, 42}}, 8, {-0.3137, -0.3137, -0.8962}},
        {40, {{62.50942, 57.50942, 49.16977}, {60, 55, 42}}, 8, {-0.3137, -0.3137, -0.8962}},
        {46, {{40.25471, -155.24529, 34.18489}, {30, -156.5, 22.6}}, 15.52234, {-0.6606, -0.0808, -0.7463}},
        {52, {{18, -416, 19.2}, {0, -416, 3.2}}, 24.08319, {-0.7474, 0, -0.6644}},
        {57, {{-12.72844, -468.72740, 14.2}, {0, -456, 3.2}}, 21.09502, {0.6034, 0.6033, -0.5215}},
        {62, {{0, -478, 9.2}, {0, -496, 3.2}}, 18.97367, {0, -0.9487, -0.3162}},
        {65, {{0, -495.4375, 9.2}, {0, -532, 4.2}}, 36.90280, {0, -0.9908, -0.1355}},
        {74, {{0, -532, 9.2}, {0, -604, 4.2}}, 72.17340, {0, -0.9976, -0.0693}},
        {124, {{0, -932, 9.2}, {0, -1004, 4.2}}, 72.17340, {0, -0.9976, -0.0693}},
    };
    openTestContext(1, 1);
    unsigned program = cameraProgram();
    for (const KeyInstant& row : table) {
        Camera c = cameraAt(program, row.time);
        double offset[3], distance = 0;
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(c.eye[k], row.camera.eye[k], 1e-4) << "eye at " << row.time << " s, axis " << k;
            EXPECT_NEAR(c.target[k], row.camera.target[k], 1e-4)
                << "target at " << row.time << " s, axis " << k;
            offset[k] = c.target[k] - c.eye[k];
            distance += offset[k] * offset[k];
        }
        distance = std::sqrt(distance);
        EXPECT_NEAR(distance, row.distance, 1e-4) << "at " << row.time << " s";
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(offset[k] / distance, row.view[k], 1e-4)
                << "view at " << row.time << " s, axis " << k;
    }
}

TEST(SceneCamera, ActsMeetWithoutAJump) {
    openTestContext(1, 1);
    unsigned program = cameraProgram();
    for (float boundary : {40.f, 52.f, 62.f}) {
        Camera before = cameraAt(program, std::nextafter(boundary, 0.f));
        Camera at = cameraAt(program, boundary);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(at.eye[k], before.eye[k], 2e-3) << boundary << " s, axis " << k;
            EXPECT_NEAR(at.target[k], before.target[k], 1e-3) << boundary << " s, axis " << k;
        }
    }
    // At 62 s exactly the trailing act has begun: straight behind the truck, where the orbit ended a hair
    // to the +x side.
    EXPECT_EQ(cameraAt(program, 62.f).eye[0], 0.);
    double orbitEnd = cameraAt(program, std::nextafter(62.f, 0.f)).eye[0];
    EXPECT_GT(orbitEnd, .001);
    EXPECT_LT(orbitEnd, .002);
}

TEST(SceneCamera, TrailingOffsetIsFixedFrom74) {
    openTestContext(1, 1);
    unsigned program = cameraProgram();
    for (float time : {74.f, 82.5f, 99.f, 118.f}) {
        Camera c = cameraAt(program, time);
        double truckY = -8.0 * time;
        EXPECT_NEAR(c.eye[1] - truckY, 60., 1e-4) << time;
        EXPECT_NEAR(c.eye[2], 9.2, 1e-5) << time;
        EXPECT_NEAR(c.target[1] - truckY, -12., 1e-4) << time;
        EXPECT_NEAR(c.target[2], 4.2, 1e-5) << time;
    }
}
