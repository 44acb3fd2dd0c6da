// Shading: the road and its markings, the sign text and its mapping, the canisters, the sky, a view from
// inside a sign. Runs the real main where the whole path matters.
#define GL_GLEXT_PROTOTYPES 1
#include "tests/gl_context.h"
#include "tests/shader_probe.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

TEST(SceneShading, RoadGreyAndMarkingsOnTheLitTop) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            vec2 at[9] = vec2[9](vec2(3., 1.), vec2(5.8, 1.), vec2(-5.6, 1.), vec2(5.59, 1.), vec2(0., 2.),
                                 vec2(.25, 2.), vec2(0., 4.), vec2(-.1, -1.), vec2(.1, -3.));
            return vec4(shade(vec3(at[i], 0.), vec3(0., 0., 1.), normalize(vec3(0., -1., -1.)), M_ROAD, 1e9), 0.);
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 9);
    const float plain = .0697113f, marking = .7842516f;
    // plain, edge, edge at exactly 5.6, just inside the edge line, dash start, dash side, gap start, dash,
    // gap
    const float expected[9] = {plain, marking, marking, plain, marking, marking, plain, marking, plain};
    for (int i = 0; i < 9; ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(v[i][k], expected[i], 1e-6f) << "case " << i << " channel " << k;
}

// A texture standing in for the credits: band L's top half and bottom half, left and right, each hold
// their own red value (L * 4 + half * 2 + side + 1) / 32, sampled without filtering.
static void bindCodedCredits() {
    unsigned char texels[14][2][4] = {};
    for (int row = 0; row < 14; ++row)
        for (int side = 0; side < 2; ++side)
            texels[row][side][0] = static_cast<unsigned char>(((row / 2) * 4 + (row % 2) * 2 + side + 1) * 8);
    GLuint name = 0;
    glGenTextures(1, &name);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 14, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

static float code(int line, int half, int side) {
    return static_cast<float>((line * 4 + half * 2 + side + 1) * 8) / 255.f;
}

TEST(SceneShading, SignTextStandsUprightAndReadsLeftToRight) {
    openTestContext(1, 1);
    bindCodedCredits();
    // Four points on the front of sign L: upper left, upper right, lower left, lower right of the face.
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            int line = i / 4;
            vec3 p = vec3(i % 2 == 0 ? -20. : 20., QUORIL_Y - float(line) * SIGN_GAP + .5, i % 4 < 2 ? 20.5 : 9.5);
            gLine = line;
            vec3 c = shade(p, vec3(0., 1., 0.), vec3(0., -1., 0.), M_TEXT, 0.);
            return vec4(textAt(line, vec2((p.x + 40.) / 80., (p.z - 4.) / 22.)), c);
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 28);
    for (int line = 0; line < 7; ++line)
        for (int corner = 0; corner < 4; ++corner) {
            int half = corner < 2 ? 0 : 1, side = corner % 2;
            const Vec4& got = v[line * 4 + corner];
            EXPECT_NEAR(got[0], code(line, half, side), 1e-3f) << "line " << line << " corner " << corner;
            // Unlit: the colour is the mix of background and text by the texel alone.
            float m = code(line, half, side);
            EXPECT_NEAR(got[1], .015f + (1.4f - .015f) * m, 1e-3f) << "line " << line << " corner " << corner;
        }
}

TEST(SceneShading, SignTextBrightensWithTheBeat) {
    openTestContext(1, 1);
    unsigned char white[4] = {255, 255, 255, 255};
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            gLine = 2;
            return vec4(shade(vec3(0., -696.5, 15.), vec3(0., -1., 0.), vec3(0., 1., 0.), M_TEXT, 0.), 0.);
        }
    )");
    ProbeUniforms quiet, loud;
    loud.beat = 1.f;
    Vec4 a = runProbeCases(program, 1, quiet)[0];
    Vec4 b = runProbeCases(program, 1, loud)[0];
    EXPECT_NEAR(a[0], 1.4f, 1e-6f);
    EXPECT_NEAR(a[1], 1.8f, 1e-6f);
    EXPECT_NEAR(a[2], 2.f, 1e-6f);
    EXPECT_NEAR(b[0], 2.8f, 1e-6f);
    EXPECT_NEAR(b[1], 3.6f, 1e-6f);
    EXPECT_NEAR(b[2], 4.f, 1e-6f);
}

TEST(SceneShading, CanisterColourByTrapAndBeatGlow) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            float trap[3] = float[3](0., 1., 1e9);
            // A face turned away from the light: only the ambient .3 + .2 n.z = .3 lights it.
            return vec4(shade(vec3(0.), vec3(-.8, .6, 0.), vec3(1., 0., 0.), M_RAIN, trap[i]), 0.);
        }
    )");
    ProbeUniforms quiet, loud;
    loud.beat = 1.f;
    std::vector<Vec4> a = runProbeCases(program, 3, quiet);
    std::vector<Vec4> b = runProbeCases(program, 3, loud);
    const float colA[3] = {.9f, .15f, .05f}, colB[3] = {1.f, .85f, .4f}, glow[3] = {.2f, .5f, 1.f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(a[0][k], colA[k] * .3f, 1e-6f);
        EXPECT_NEAR(a[1][k], (colA[k] + colB[k]) * .5f * .3f, 1e-6f);
        EXPECT_NEAR(a[2][k], colB[k] * .3f, 1e-6f);
        EXPECT_NEAR(b[2][k], colB[k] * .3f + glow[k], 1e-6f);
    }
}

// The real main along one chosen ray: iResolution is set so that the single pixel's centre maps to uv.
static Vec4 colourAlong(unsigned program, float time, double uvX, double uvY) {
    ProbeUniforms u;
    u.time = time;
    u.resolutionY = static_cast<float>(1. / (1. + uvY));
    u.resolutionX = static_cast<float>(1. - uvX * u.resolutionY);
    return runProbe(program, 1, 1, u)[0];
}

TEST(SceneShading, SkyAfterGamma) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgramWithMain("void main() { sceneMain(); }");
    // At 35 s the eye hangs 8 out from the hero canister, looking down along (-.3137, -.3137, -.8962); its
    // y lies between the canister columns' footprints, so rays straight down and along -x meet nothing.
    const double right[3] = {.7071068, -.7071068, 0.}, up[3] = {-.6337, -.6337, .4436};
    const double forward[3] = {-.3136775, -.3136775, -.8962214};
    auto uvFor = [&](const double(&d)[3], double* x, double* y) {
        double f = d[0] * forward[0] + d[1] * forward[1] + d[2] * forward[2];
        *x = 1.4 * (d[0] * right[0] + d[1] * right[1] + d[2] * right[2]) / f;
        *y = 1.4 * (d[0] * up[0] + d[1] * up[1] + d[2] * up[2]) / f;
    };
    double x = 0, y = 0;
    uvFor({0., 0., -1.}, &x, &y);
    Vec4 down = colourAlong(program, 35.f, x, y);
    uvFor({-1., 0., 0.}, &x, &y);
    Vec4 level = colourAlong(program, 35.f, x, y);
    // No camera looks straight up; the steepest ray of the trailing camera (the view's top edge pushed far
    // out) climbs within 4 degrees of vertical from an eye on a column border, and misses everything.
    Vec4 steep = colourAlong(program, 74.f, 300., 1e4);
    const float expectDown[3] = {.10506f, .12282f, .18534f}, expectLevel[3] = {.21329f, .24617f, .32978f};
    const float expectUp[3] = {.30109f, .34649f, .45041f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(down[k], expectDown[k], 2e-5f) << "channel " << k;
        EXPECT_NEAR(level[k], expectLevel[k], 2e-5f) << "channel " << k;
        EXPECT_NEAR(steep[k], expectUp[k], 5e-4f) << "channel " << k;
    }
    EXPECT_EQ(down[3], 1.f);
}

TEST(SceneShading, InsideASignThePictureIsOneFlatColour) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgramWithMain("void main() { sceneMain(); }");
    ProbeUniforms u;
    u.time = 82.5f; // the eye is at y = -600, the middle of sign 0
    u.resolutionX = 16.f;
    u.resolutionY = 9.f;
    std::vector<Vec4> v = runProbe(program, 16, 9, u);
    for (const Vec4& c : v)
        for (int k = 0; k < 4; ++k)
            ASSERT_EQ(c[k], v[0][k]);
    // Unfogged sign colour: on the line from the background to the text colour, whatever the text there.
    float r = std::pow(v[0][0], 1.f / .7f), g = std::pow(v[0][1], 1.f / .7f),
          b = std::pow(v[0][2], 1.f / .7f);
    float m = (r - .015f) / (1.4f - .015f);
    EXPECT_GE(m, -1e-4f);
    EXPECT_LE(m, 1.0001f);
    EXPECT_NEAR(g, .02f + (1.8f - .02f) * m, 1e-4f);
    EXPECT_NEAR(b, .03f + (2.f - .03f) * m, 1e-4f);
}
