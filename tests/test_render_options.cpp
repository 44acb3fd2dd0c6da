// The render options (scale, vsync), and the automatic render scale's step rule on scripted frame times.
#include "app/command_line.h"
#include "render/auto_scale.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

static bool parse(std::vector<std::string> words, CommandLine* out, std::string* why = nullptr) {
    words.insert(words.begin(), "doz-engine");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    char reason[256] = "";
    bool ok = parseCommandLine(static_cast<int>(argv.size()), argv.data(), out, reason, sizeof reason);
    if (why != nullptr)
        *why = reason;
    return ok;
}

TEST(CommandLine, OptionsAndTheirDefaults) {
    CommandLine c;
    ASSERT_TRUE(parse({}, &c));
    EXPECT_EQ(c.scale, 0.);
    EXPECT_FALSE(c.scaleAuto);
    EXPECT_TRUE(c.vsync);

    ASSERT_TRUE(parse({"--scale", "0.5", "--no-vsync"}, &c));
    EXPECT_EQ(c.scale, .5);
    EXPECT_FALSE(c.vsync);
    ASSERT_TRUE(parse({"--scale=0.25"}, &c));
    EXPECT_EQ(c.scale, .25);
    ASSERT_TRUE(parse({"--scale", "1"}, &c));
    EXPECT_EQ(c.scale, 1.);
    // The last scale given holds; auto asks for no fixed one.
    ASSERT_TRUE(parse({"--scale", "0.5", "--scale", "auto"}, &c));
    EXPECT_TRUE(c.scaleAuto);
    EXPECT_EQ(c.scale, 0.);
    EXPECT_TRUE(c.vsync);
}

TEST(CommandLine, BadValuesSayWhat) {
    CommandLine c;
    std::string why;
    for (const char* bad : {"0.2", "1.01", "0", "-0.5", "half", "0.5x", "", "nan", "inf"}) {
        EXPECT_FALSE(parse({"--scale", bad}, &c, &why)) << bad;
        EXPECT_NE(why.find("--scale takes a number from 0.25 to 1, or auto"), std::string::npos) << why;
    }
    EXPECT_FALSE(parse({"--scale"}, &c, &why));
    EXPECT_NE(why.find("needs a value"), std::string::npos) << why;
    EXPECT_FALSE(parse({"--vsync-off"}, &c, &why));
    EXPECT_NE(why.find("Unknown option \"--vsync-off\""), std::string::npos) << why;
}

// Feeds frames of a fixed cost per pixel, so that at scale s a frame takes fullMs * s * s (and never less
// than floorMs, a display's period), until `windows` windows of frames have closed; returns the scale
// after each.
static std::vector<double> run(AutoScale* s, double fullMs, int windows, double floorMs = 0.) {
    std::vector<double> seen;
    double carry = 0.;
    while (static_cast<int>(seen.size()) < windows) {
        carry += std::max(floorMs, fullMs * s->scale * s->scale);
        uint32_t ms = static_cast<uint32_t>(carry);
        carry -= ms;
        double scale = countFrameForAutoScale(s, ms);
        if (s->frames == 0) // the window closed with this frame
            seen.push_back(scale);
    }
    return seen;
}

TEST(AutoScale, StepsDownToHoldThirtyFramesAndStaysWithoutFlicker) {
    AutoScale s;
    // 120 ms a frame at full size: 30 fps needs about half the pixels per side.
    std::vector<double> scales = run(&s, 120., 40);
    ASSERT_EQ(scales.size(), 40u);
    EXPECT_EQ(scales.front(), .875);
    // It settles where a frame takes at most 1.15 x 33.3 ms and never moves again.
    double settled = scales.back();
    EXPECT_LE(120. * settled * settled, AUTO_SCALE_TARGET_MS * AUTO_SCALE_SLOW);
    EXPECT_GT(120. * (settled + AUTO_SCALE_STEP) * (settled + AUTO_SCALE_STEP), AUTO_SCALE_TARGET_MS);
    EXPECT_EQ(settled, .5);
    int changes = 0;
    for (size_t i = 1; i < scales.size(); ++i)
        changes += scales[i] != scales[i - 1] ? 1 : 0;
    EXPECT_EQ(changes, 3); // .875 -> .75 -> .625 -> .5, one step per window, then steady
}

TEST(AutoScale, StepsBackUpWhenFramesGetCheapAndKeepsItsBounds) {
    AutoScale s;
    // A very slow scene goes down to a quarter and no further.
    std::vector<double> scales = run(&s, 2000., 12);
    EXPECT_EQ(scales.back(), MIN_RENDER_SCALE);
    // Cheap frames (8 ms at full size) take it back up to the full size, a step at a time, and no further.
    scales = run(&s, 8., 12);
    EXPECT_EQ(scales.front(), .375);
    EXPECT_EQ(scales.back(), MAX_RENDER_SCALE);
    // Between the two thresholds it holds: 30 ms at full size is fast enough, 36 ms only just.
    AutoScale held;
    for (double ms : {30., 36.}) {
        for (double scale : run(&held, ms, 6))
            EXPECT_EQ(scale, 1.) << ms;
    }
}

TEST(AutoScale, AWindowOfFramesDecidesNotOneFrame) {
    AutoScale s;
    // One 400 ms hitch among 20 ms frames does not move the scale before the window is over.
    EXPECT_EQ(countFrameForAutoScale(&s, 400), 1.);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(countFrameForAutoScale(&s, 20), 1.);
    // 500 ms over 6 frames is 83 ms a frame: one step down, not a jump to the size that 83 ms asks for.
    EXPECT_EQ(countFrameForAutoScale(&s, 20), .875);
}

TEST(AutoScale, ADisplaySlowerThanTheTargetSetsThePace) {
    // 24 Hz with vsync: no frame comes sooner than 41.7 ms, however small the scale.
    AutoScale unaimed;
    EXPECT_EQ(run(&unaimed, 10., 12, 1000. / 24).back(), MIN_RENDER_SCALE);
    AutoScale aimed;
    aimAutoScaleAtDisplay(&aimed, 24);
    for (double scale : run(&aimed, 10., 12, 1000. / 24))
        EXPECT_EQ(scale, 1.);
    // A scene too slow for that display still steps down, to where it keeps the display's pace.
    EXPECT_EQ(run(&aimed, 80., 12, 1000. / 24).back(), .75);
    // A display at or above 30 Hz, or one that says nothing, leaves the target at 30 frames a second.
    for (int hz : {0, 30, 60, 144}) {
        aimAutoScaleAtDisplay(&aimed, hz);
        EXPECT_DOUBLE_EQ(aimed.targetMs, AUTO_SCALE_TARGET_MS) << hz;
    }
}
