// The mandelbox, the falling canister field and the hero canister's level of detail.
#include "tests/gl_context.h"
#include "tests/shader_probe.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(SceneFractal, MandelboxDistanceAndTrapFollowTheBeat) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            gTrap = -5.;
            float d = mandelbox(i == 0 ? vec3(0.) : vec3(1., 0., 0.));
            return vec4(d, gTrap, 0., 0.);
        }
    )");
    ProbeUniforms quiet, onBeat;
    onBeat.beat = 1.f;
    onBeat.beatHalf = 1.f;
    std::vector<Vec4> at26 = runProbeCases(program, 2, quiet);
    std::vector<Vec4> at31 = runProbeCases(program, 2, onBeat);
    EXPECT_EQ(at26[0][0], 0.f);
    EXPECT_EQ(at26[0][1], 0.f);
    EXPECT_EQ(at31[0][0], 0.f);
    EXPECT_NEAR(at26[1][0], .2485f, 1e-4f);
    EXPECT_FLOAT_EQ(at26[1][1], 4.9f);
    EXPECT_NEAR(at31[1][0], .4005f, 1e-4f);
    EXPECT_FLOAT_EQ(at31[1][1], 5.65f);
}

TEST(SceneField, ColumnsAreChosenByTheNearestCentre) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            float sz;
            vec3 a = cellFold(vec3(3.9, -4.1, 0.), sz);
            vec3 b = cellFold(vec3(4.1, -3.9, 0.), sz);
            return vec4(a.xy, b.xy);
        }
    )");
    Vec4 v = runProbeCases(program, 1)[0];
    EXPECT_NEAR(v[0], 3.9f, 1e-5f);  // column x = 0
    EXPECT_NEAR(v[1], 3.9f, 1e-5f);  // column y = -8
    EXPECT_NEAR(v[2], -3.9f, 1e-5f); // column x = 8
    EXPECT_NEAR(v[3], -3.9f, 1e-5f); // column y = 0
}

// For 64 columns: the speed factor, and the fold of one point at 0, 40 and 41 s.
static const char* const FALL_PROBE = R"(
    vec4 probe(int i) {
        vec3 p = vec3(8. * float(i % 8 - 4), 8. * float(i / 8 - 4), 3.);
        float sz;
        vec3 q = cellFold(p, sz);
        return vec4(rand(round(p.xy / CELL.xy) + vec2(4.2, 1.7)), q.z, sz, 0.);
    }
)";

TEST(SceneField, StillUntil40ThenEachColumnFallsAtItsOwnSpeed) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(FALL_PROBE);
    ProbeUniforms at;
    std::vector<Vec4> atStart = runProbeCases(program, 64, at);
    at.time = 20.f;
    std::vector<Vec4> at20 = runProbeCases(program, 64, at);
    at.time = 40.f;
    std::vector<Vec4> at40 = runProbeCases(program, 64, at);
    at.time = 41.f;
    std::vector<Vec4> at41 = runProbeCases(program, 64, at);
    float slowest = 2.f, fastest = 0.f;
    for (int c = 0; c < 64; ++c) {
        EXPECT_EQ(atStart[c][1], at40[c][1]) << "column " << c;
        EXPECT_EQ(at20[c][1], at40[c][1]) << "column " << c;
        float speed = .4f + 1.2f * at40[c][0];
        slowest = std::fmin(slowest, speed);
        fastest = std::fmax(fastest, speed);
        // The fold moves the point up the falling frame by the fallen distance, modulo one cell.
        float moved = std::fmod(at41[c][1] - at40[c][1] + 28.f, 14.f);
        float fallen = std::fmod(6.f * speed, 14.f);
        EXPECT_NEAR(moved, fallen, 2e-3f) << "column " << c;
    }
    EXPECT_GE(slowest, .4f);
    EXPECT_LE(fastest, 1.6f);
    EXPECT_GT(fastest - slowest, .5f) << "the columns should not all fall alike";
}

TEST(SceneField, ACanisterKeepsItsSizeAsItFalls) {
    openTestContext(1, 1);
    // Follow the canister of one column's cell from 40 to 45 s: the world point that folds to the same place
    // has moved down by the fallen distance, and the size stays.
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            vec2 col = vec2(float(i % 8 - 4), float(i / 8 - 4));
            float spd = mix(SPEED_MIN, SPEED_MAX, rand(col + vec2(4.2, 1.7)));
            float fallen = max(0., iTime - T_OUT) * FALL * spd;
            float sz;
            vec3 q = cellFold(vec3(col * 8. + vec2(1., -1.), 5. - fallen), sz);
            return vec4(q, sz);
        }
    )");
    ProbeUniforms at;
    at.time = 40.f;
    std::vector<Vec4> before = runProbeCases(program, 64, at);
    at.time = 45.f;
    std::vector<Vec4> after = runProbeCases(program, 64, at);
    float smallest = 2.f, largest = 0.f;
    for (int c = 0; c < 64; ++c) {
        EXPECT_NEAR(after[c][2], before[c][2], 1e-3f) << "column " << c;
        EXPECT_EQ(after[c][3], before[c][3]) << "column " << c;
        smallest = std::fmin(smallest, before[c][3]);
        largest = std::fmax(largest, before[c][3]);
        EXPECT_LE(std::fabs(before[c][2]), 7.f);
    }
    EXPECT_GE(smallest, .4f);
    EXPECT_LE(largest, 1.3f);
    EXPECT_GT(largest - smallest, .3f) << "the canisters should not all be alike";
}

TEST(SceneField, FieldCanisterCentreIsCarvedOnlyNearTheEye) {
    openTestContext(1, 1);
    // The centre of the cell around a world point: the canister's model origin lies on its carved surface.
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            vec3 p0 = vec3(36., 300., 40.);
            float sz;
            vec3 centre = p0 - cellFold(p0, sz);
            gRo = centre + vec3(0., 0., i == 0 ? 10. : 26.);
            gTrap = 123.;
            return vec4(sdRain(centre), gTrap, sz, 0.);
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 2);
    EXPECT_NEAR(v[0][0], 0.f, 1e-3f);
    EXPECT_NEAR(v[0][1], 0.f, 1e-3f);
    EXPECT_NEAR(v[1][0], -.361298f * v[1][2], 1e-4f);
    EXPECT_EQ(v[1][1], 123.f) << "beyond the detail distance the fractal must not run";
}

TEST(SceneField, HeroDetailWithinTheDetailDistanceOnly) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            float above[4] = float[4](10., 25., 25.01, 40.);
            vec3 p = i < 4 ? HERO_POS : HERO_POS + vec3(3., 0., 0.);
            gRo = HERO_POS + vec3(0., 0., above[i % 4]);
            gTrap = 123.;
            return vec4(sdHero(p), gTrap, 0., 0.);
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 5);
    EXPECT_EQ(v[0][0], 0.f);
    EXPECT_EQ(v[0][1], 0.f);
    EXPECT_EQ(v[1][0], 0.f) << "exactly 25 away still carves";
    EXPECT_EQ(v[1][1], 0.f);
    EXPECT_NEAR(v[2][0], -.361298f, 1e-6f);
    EXPECT_EQ(v[2][1], 123.f);
    EXPECT_NEAR(v[3][0], -.361298f, 1e-6f);
    // More than .15 outside the plain canister: no fractal even next to the eye.
    EXPECT_NEAR(v[4][0], 3.f - .57977f, 1e-3f);
    EXPECT_EQ(v[4][1], 123.f);
}
