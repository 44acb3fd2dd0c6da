// The whole scene drawn as the executable draws it, at times across the acts: what a viewer would see, and
// the picture against its reference.
#define GL_GLEXT_PROTOTYPES 1
#include "render/credits_texture.h"
#include "render/scene_program.h"
#include "tests/gl_context.h"
#include "tests/scene_still.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

constexpr int WIDTH = 160, HEIGHT = 90;

// Canister colours run from red-orange to pale yellow, red leading, then green, then blue; fog draws the far
// ones towards the blue-grey sky.
static bool canisterHue(int r, int g, int b) {
    return r > b + 10 && r >= g && g + 8 >= b;
}
static bool warm(int r, int g, int b) {
    return r > b + 40 && canisterHue(r, g, b);
}
static bool truckRed(int r, int g, int b) {
    return r > 60 && r > 2 * g && r > 2 * b;
}
// The sky after gamma is blue-grey, bluest channel last.
static bool skyBlue(int r, int g, int b) {
    return b > r + 15 && b > g && b > 60 && b < 125;
}
static bool grey(int r, int g, int b) {
    return std::abs(r - g) < 10 && std::abs(g - b) < 14;
}

TEST(SceneStills, PullOutShowsCanistersInTheirColours) {
    openSceneForStills(WIDTH, HEIGHT);
    Still s = renderSceneAt(35.);
    EXPECT_GT(fractionWhere(s, 0, 0, 1, 1, warm), .25);
    // Whatever is reddish is a canister in the range of its two colours.
    double reddish = fractionWhere(s, 0, 0, 1, 1, [](int r, int, int b) { return r > b + 10; });
    EXPECT_NEAR(fractionWhere(s, 0, 0, 1, 1, canisterHue), reddish, .01);
    EXPECT_EQ(fractionWhere(s, 0, 0, 1, 1, truckRed), 0.);
    expectMatchesReference(s, "pull_out_35s");
}

TEST(SceneStills, InsideTheHeroCanisterAtTheStart) {
    openSceneForStills(WIDTH, HEIGHT);
    Still s = renderSceneAt(5.);
    EXPECT_GT(fractionWhere(s, 0, 0, 1, 1, warm), .5);
    expectMatchesReference(s, "pull_out_5s");
}

TEST(SceneStills, FlightOverTheFieldTowardsTheRoad) {
    openSceneForStills(WIDTH, HEIGHT);
    Still s = renderSceneAt(46.);
    EXPECT_GT(fractionWhere(s, 0, 0, 1, 1, warm), .2);
    expectMatchesReference(s, "flight_46s");
}

TEST(SceneStills, OrbitKeepsTheTruckInTheMiddle) {
    openSceneForStills(WIDTH, HEIGHT);
    Still s = renderSceneAt(57.);
    EXPECT_GT(fractionWhere(s, .4, .4, .6, .6, truckRed), .3);
    expectMatchesReference(s, "orbit_57s");
}

TEST(SceneStills, TrailingTheTruckOnTheRoadTowardsTheFirstSign) {
    openSceneForStills(WIDTH, HEIGHT);
    Still s = renderSceneAt(70.);
    // The truck a little below the middle, the sky in the top rows, road markings in the lower half.
    EXPECT_GT(fractionWhere(s, .45, .5, .55, .6, truckRed), .2);
    EXPECT_GT(fractionWhere(s, 0, 0, 1, .05, skyBlue), .25);
    EXPECT_GT(fractionWhere(s, .2, .7, .8, 1, [](int r, int g, int b) { return grey(r, g, b) && r > 150; }),
              .01);
    expectMatchesReference(s, "trailing_70s");
}

// The sign's ground after gamma is a dark blue-grey; its text is near white.
static bool signGround(int r, int g, int b) {
    return b > r && b > g && b < 70;
}
static bool brightText(int r, int g, int b) {
    return r > 180 && g > 180 && b > 180;
}

TEST(SceneStills, ASignInView) {
    openSceneForStills(WIDTH, HEIGHT);
    Still s = renderSceneAt(80.); // 20 units before sign 0, which fills the upper middle of the view
    double sign = fractionWhere(s, .25, .05, .75, .35, [](int r, int g, int b) {
        return signGround(r, g, b) || brightText(r, g, b);
    });
    EXPECT_GT(sign, .6);
    // Text texels show only when the platform's rasteriser drew any.
    std::vector<unsigned char> credits(512 * 560 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, credits.data());
    bool anyText = false;
    for (size_t i = 0; i < credits.size(); i += 4)
        anyText = anyText || credits[i] > 128;
    if (anyText) {
        EXPECT_GT(fractionWhere(s, .25, .05, .75, .35, brightText), .01);
    }
    expectMatchesReference(s, "sign_in_view_80s");
}

TEST(SceneStills, SignTextReadsLeftToRightTheRightWayUp) {
    openTestContext(WIDTH, HEIGHT);
    // In place of the credits: only the upper left quarter of every band is white.
    std::vector<unsigned char> texels(512 * 560 * 4, 0);
    for (int y = 0; y < 560; ++y)
        for (int x = 0; x < 256; ++x)
            if (y % 80 < 40)
                for (int k = 0; k < 4; ++k)
                    texels[(static_cast<size_t>(y) * 512 + x) * 4 + k] = 255;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 512, 560, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    buildSceneProgram();
    Still s = renderSceneAt(80.);
    // Sign 0's middle (z = 15) lies about a quarter down the picture; above it the band's upper half.
    EXPECT_GT(fractionWhere(s, .1, .02, .45, .18, brightText), .6);
    EXPECT_LT(fractionWhere(s, .55, .02, .9, .18, brightText), .1);
    EXPECT_LT(fractionWhere(s, .1, .3, .9, .4, brightText), .1);
}

TEST(SceneStills, InsideASignOneFlatColour) {
    openSceneForStills(WIDTH, HEIGHT);
    Still s = renderSceneAt(82.5);
    const unsigned char* first = s.at(0, 0);
    EXPECT_EQ(
        fractionWhere(s, 0, 0, 1, 1,
                      [&](int r, int g, int b) { return r == first[0] && g == first[1] && b == first[2]; }),
        1.);
    expectMatchesReference(s, "inside_sign_82_5s");
}

TEST(SceneStills, LastFrameBeyondTheSigns) {
    openSceneForStills(WIDTH, HEIGHT);
    Still s = renderSceneAt(124.);
    EXPECT_GT(fractionWhere(s, 0, 0, 1, .05, skyBlue), .25);
    EXPECT_GT(fractionWhere(s, .45, .4, .55, .6, truckRed), .02);
    expectMatchesReference(s, "end_124s");
}
