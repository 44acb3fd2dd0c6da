// The web page's session on the headless context: when passes run, what clicks and the end do to the
// sound, and that a replay starts the music clock afresh.
#define GL_GLEXT_PROTOTYPES 1
#include "app/frame_rate_title.h"
#include "app/page_session.h"
#include "app/run_state.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/headless/headless.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <string>

static const char* const TIME_FRAGMENT =
    "#version 330\nuniform vec2 iResolution;\nuniform float iTime, iBeat, "
    "iBeatHalf;\nout vec4 O;\nvoid main() { O = vec4(iTime + iBeat + "
    "iBeatHalf + iResolution.x > -1e30 ? 1. : .5); }\n";

class PageSession : public testing::Test {
  protected:
    void SetUp() override {
        openTestContext(8, 8);
        buildSceneProgramFrom(SCENE_VERTEX_SOURCE, TIME_FRAGMENT);
        ASSERT_FALSE(shaderErrorFlag);
        pcmTrack.frames = 150 * SAMPLE_RATE;
        startLoopingPlayback();
    }
    static float drawnTime() {
        float value = -1.0f;
        glGetUniformfv(sceneProgram, uniforms.iTime, &value);
        return value;
    }
    static void at(double seconds) { setHeadlessSoundPosition(static_cast<uint32_t>(seconds * SAMPLE_RATE)); }
    static PageStep click() {
        bool taken = false;
        PageStep step = takePageClick(&taken);
        EXPECT_EQ(taken, step.sound != PageSound::Keep)
            << "a click is taken exactly when it changes the sound";
        return step;
    }
};

TEST_F(PageSession, FirstFrameWaitsForTheClickThenPlaysToTheEndAndAgainFromTheStart) {
    at(10);
    PageStep begun = beginPageSession({10.0, false});
    EXPECT_EQ(std::string(begun.notice), CLICK_TO_START);
    EXPECT_EQ(begun.sound, PageSound::Keep);

    // The first frame, then nothing until the page changes size.
    EXPECT_TRUE(runPageAnimationFrame(8, 8).drawn);
    EXPECT_FLOAT_EQ(drawnTime(), 10.0f);
    EXPECT_FALSE(runPageAnimationFrame(8, 8).drawn);
    EXPECT_EQ(frameRateTitle.frameCounter, 1u);
    setHeadlessClientSize(16, 8);
    EXPECT_TRUE(runPageAnimationFrame(16, 8).drawn) << "redrawn to fit";

    // A viewer takes a while to click; the position stood still all that time.
    setHeadlessTickCount(20000);
    PageStep started = click();
    EXPECT_EQ(started.sound, PageSound::Play);
    EXPECT_EQ(std::string(started.notice), "");
    EXPECT_EQ(pageState(), PageState::Playing);
    // The audio context takes a moment to run: a frame or two before the position moves.
    setHeadlessTickCount(20100);
    EXPECT_TRUE(runPageAnimationFrame(16, 8).drawn);
    EXPECT_FLOAT_EQ(drawnTime(), 10.0f);
    for (double t : {10.5, 11.0, 11.5}) {
        at(t);
        PageStep step = runPageAnimationFrame(16, 8);
        EXPECT_TRUE(step.drawn);
        EXPECT_EQ(step.sound, PageSound::Keep);
        EXPECT_EQ(step.notice, nullptr);
        EXPECT_FLOAT_EQ(drawnTime(), static_cast<float>(t));
    }
    EXPECT_EQ(click().sound, PageSound::Keep) << "while playing, clicks belong to the input table";

    at(124.5);
    PageStep ended = runPageAnimationFrame(16, 8);
    EXPECT_TRUE(ended.drawn) << "the frame past the end is drawn and stays";
    EXPECT_EQ(ended.sound, PageSound::Stop);
    EXPECT_EQ(std::string(ended.notice), CLICK_TO_PLAY_AGAIN);
    EXPECT_EQ(pageState(), PageState::Ended);
    EXPECT_FALSE(isRunning());
    EXPECT_FALSE(runPageAnimationFrame(16, 8).drawn);

    PageStep again = click();
    EXPECT_EQ(again.sound, PageSound::PlayFromStart);
    EXPECT_TRUE(isRunning());
    // A fresh clock: without it the step back from 124.5 s to 1 s would count as a loop of the track.
    at(1.0);
    EXPECT_TRUE(runPageAnimationFrame(16, 8).drawn);
    EXPECT_FLOAT_EQ(drawnTime(), 1.0f);
    EXPECT_TRUE(isRunning());
}

TEST_F(PageSession, EscapeEndsThePlayLikeTheEndOfTheMusic) {
    at(3);
    beginPageSession({3.0, false});
    runPageAnimationFrame(8, 8);
    click();
    stopRunning(); // what Escape does through the input table during the next pass
    PageStep step = runPageAnimationFrame(8, 8);
    EXPECT_EQ(step.sound, PageSound::Stop);
    EXPECT_EQ(pageState(), PageState::Ended);
}

TEST_F(PageSession, PausedMomentDrawsOnlyToFitAndTakesNoClick) {
    at(44.4);
    PageStep begun = beginPageSession({44.4, true});
    EXPECT_EQ(std::string(begun.notice), "");
    EXPECT_TRUE(runPageAnimationFrame(8, 8).drawn);
    EXPECT_FLOAT_EQ(drawnTime(), 44.4f);
    EXPECT_FALSE(runPageAnimationFrame(8, 8).drawn);
    EXPECT_EQ(click().sound, PageSound::Keep);
    EXPECT_EQ(pageState(), PageState::Paused);
    // Redrawn to fit long after, with the position standing all the while: the same moment.
    setHeadlessTickCount(60000);
    EXPECT_TRUE(runPageAnimationFrame(4, 4).drawn);
    EXPECT_FLOAT_EQ(drawnTime(), 44.4f);
    setHeadlessTickCount(70000);
    EXPECT_TRUE(runPageAnimationFrame(8, 8).drawn);
    EXPECT_FLOAT_EQ(drawnTime(), 44.4f);
}

TEST_F(PageSession, LostContextDrawsNothingMore) {
    beginPageSession({0.0, false});
    runPageAnimationFrame(8, 8);
    click();
    EXPECT_EQ(losePageContext().sound, PageSound::Stop);
    EXPECT_FALSE(runPageAnimationFrame(8, 8).drawn);
    EXPECT_FALSE(runPageAnimationFrame(4, 4).drawn);
    EXPECT_EQ(click().sound, PageSound::Keep);
}
