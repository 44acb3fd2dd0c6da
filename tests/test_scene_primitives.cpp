// Distance primitives, the canister and the truck, measured in the real fragment stage.
#include "tests/gl_context.h"
#include "tests/shader_probe.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(ScenePrimitives, BoxCylinderTorusAndCombinators) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            vec3 b = vec3(1.123454);
            if (i == 0) return vec4(sdBox(vec3(0.), b), sdBox(b, b), sdBox(vec3(0., 2.123454, 0.), b), 0.);
            // Half-height .5 and radius 2: the second argument is the half-height.
            if (i == 1) return vec4(sdCappedCylinder(vec3(0.), .5, 2.), sdCappedCylinder(vec3(0., 0., 1.5), .5, 2.),
                                    sdCappedCylinder(vec3(3., 0., 0.), .5, 2.), 0.);
            if (i == 2) return vec4(sdTorus(vec3(0.)), sdTorus(vec3(.459876, 0., 0.)), sdTorus(vec3(0., -.459876, 0.)), 0.);
            if (i == 3) return vec4(opU(2., -1.), opU(-3., 4.), opS(1., -2.), opS(-1., 2.));
            // A cutter that stays clear of the box leaves the box's values as they are.
            vec3 p = vec3(-2. + float(i - 4), .3, .2);
            float box = sdBox(p, vec3(1.));
            float cutter = sdBox(p - vec3(5., 0., 0.), vec3(1.));
            return vec4(opS(cutter, box), box, 0., 0.);
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 8);
    EXPECT_NEAR(v[0][0], -1.123454f, 1e-6f);
    EXPECT_NEAR(v[0][1], 0.f, 1e-6f);
    EXPECT_NEAR(v[0][2], 1.f, 1e-6f);
    EXPECT_NEAR(v[1][0], -.5f, 1e-6f);
    EXPECT_NEAR(v[1][1], 1.f, 1e-6f);
    EXPECT_NEAR(v[1][2], 1.f, 1e-6f);
    EXPECT_NEAR(v[2][0], .344907f, 1e-6f);
    EXPECT_NEAR(v[2][1], -.114969f, 1e-6f);
    EXPECT_NEAR(v[2][2], -.114969f, 1e-6f);
    EXPECT_EQ(v[3][0], -1.f);
    EXPECT_EQ(v[3][1], -3.f);
    EXPECT_EQ(v[3][2], -1.f); // max(-1, -2)
    EXPECT_EQ(v[3][3], 2.f);
    for (int i = 4; i < 8; ++i)
        EXPECT_EQ(v[i][0], v[i][1]) << "point " << i - 4;
}

TEST(ScenePrimitives, Rot2TurnsAQuarterTheRightWay) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            if (i == 0) return vec4(rot2(0.) * vec2(.3, .7), rot2(0.) * vec2(-2., 5.));
            return vec4(rot2(-1.5708) * vec2(1., 0.), rot2(-1.5708) * vec2(0., 1.));
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 2);
    EXPECT_FLOAT_EQ(v[0][0], .3f);
    EXPECT_FLOAT_EQ(v[0][1], .7f);
    EXPECT_FLOAT_EQ(v[0][2], -2.f);
    EXPECT_FLOAT_EQ(v[0][3], 5.f);
    EXPECT_NEAR(v[1][0], 0.f, 1e-4f);
    EXPECT_NEAR(v[1][1], 1.f, 1e-6f);
    EXPECT_NEAR(v[1][2], -1.f, 1e-6f);
    EXPECT_NEAR(v[1][3], 0.f, 1e-4f);
}

TEST(ScenePrimitives, CanisterShape) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            if (i == 0) return vec4(sdCanister(vec3(0.)), 0., 0., 0.);
            // Flat faces at y = -.361298 and .368809 (away from the grooves), spout top, ring top.
            if (i == 1) return vec4(sdCanister(vec3(.5, -.361298, -.8)), sdCanister(vec3(.5, .368809, -.8)),
                                    sdCanister(vec3(-1.074234, 0., 1.216969)), sdCanister(vec3(-.120112, 0., 1.4291)));
            // Beyond the extent in every direction.
            return vec4(sdCanister(vec3(-1.52, 0., 0.)), sdCanister(vec3(.68, 0., 0.)),
                        sdCanister(vec3(0., 0., -1.1)), sdCanister(vec3(.5, .468809, -.8)));
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 3);
    EXPECT_NEAR(v[0][0], -.361298f, 1e-6f);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(v[1][k], 0.f, 2e-4f) << "surface point " << k;
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(v[2][k], .1f, 2e-3f) << "outside point " << k;
}

TEST(ScenePrimitives, TruckDrivesTowardMinusYAboveTheRoad) {
    openTestContext(1, 1);
    unsigned position = buildProbeProgram("vec4 probe(int i) { return vec4(truckPos(), 0.); }");
    ProbeUniforms at75;
    at75.time = 75.f;
    Vec4 p = runProbeCases(position, 1, at75)[0];
    EXPECT_EQ(p[0], 0.f);
    EXPECT_EQ(p[1], -600.f);
    EXPECT_FLOAT_EQ(p[2], 3.2f);

    // The road top under and around the truck: a 64 x 64 grid over x in [-4, 4], y in [-603, -586].
    unsigned road = buildProbeProgram(R"(
        vec4 probe(int i) {
            int gx = i % 64, gy = i / 64;
            vec3 p = vec3(-4. + 8. * float(gx) / 63., -603. + 17. * float(gy) / 63., 0.);
            return vec4(sdTruck(p), p);
        }
    )");
    std::vector<Vec4> grid = runProbeCases(road, 64 * 64, at75);
    float lowest = 1e9f;
    for (const Vec4& g : grid)
        lowest = std::min(lowest, g[0]);
    EXPECT_GE(lowest, .1285f);
    EXPECT_LT(lowest, .2f);

    // Straight under a wheel's lowest point; the model's front points along world -y, so its long body
    // lies on the +y side of the origin.
    unsigned points = buildProbeProgram(R"(
        vec4 probe(int i) {
            vec3 t = truckPos();
            return vec4(sdTruck(vec3(-1.041157, t.y + .60978, 0.)), sdTruck(vec3(1.032389, t.y + 9.301631, 0.)),
                        sdTruck(t + vec3(0., 5., 0.)), sdTruck(t + vec3(0., -5., 0.)));
        }
    )");
    Vec4 w = runProbeCases(points, 1, at75)[0];
    EXPECT_NEAR(w[0], .128552f, 1e-4f);
    EXPECT_NEAR(w[1], .128552f, 1e-4f);
    EXPECT_LT(w[2], -1.f);
    EXPECT_GT(w[3], 3.f);
}
