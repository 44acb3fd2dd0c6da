// The web page's session on the headless context: when passes run, what clicks and the end do to the
// sound, that a replay starts the music clock afresh, and the player: keys through the transport, the
// address of a paused moment, and the holds of the page's lifecycle against the viewer's pause.
#define GL_GLEXT_PROTOTYPES 1
#include "app/frame_rate_title.h"
#include "app/input.h"
#include "app/page_session.h"
#include "app/run_state.h"
#include "app/transport.h"
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
        // What other tests in the same process may have left: a missing device, an ended run, a late clock.
        setHeadlessSoundAvailable(true);
        setHeadlessTickCount(0);
        startRunning();
        frameRateTitle = {0, 0, 0, 0};
        pcmTrack.frames = 150 * SAMPLE_RATE;
        startLoopingPlayback();
    }
    // The session gives the page its keys; the next test starts without.
    void TearDown() override {
        resetInput();
        followSoundThroughStalls(false);
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

    // The page's sound stands where it is put (the start) until it plays.
    at(0.0);
    PageStep again = click();
    EXPECT_EQ(again.sound, PageSound::PlayFromStart);
    EXPECT_TRUE(isRunning());
    // A fresh clock from the start: the step back from 124.5 s is no loop of the track.
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

namespace {
// Plays from `seconds` with the device there, and draws one frame.
void playAt(double seconds) {
    setHeadlessSoundPosition(static_cast<uint32_t>(seconds * SAMPLE_RATE));
    beginPageSession({seconds, false});
    runPageAnimationFrame(8, 8);
    bool taken = false;
    takePageClick(&taken);
    runPageAnimationFrame(8, 8);
}

// A key as the page's frame pass hands it to the input rules.
InputAction key(int code, unsigned modifiers = 0) {
    RawInputEvent event;
    event.type = RawEventType::KeyDown;
    event.key = code;
    event.modifiers = modifiers;
    return handleRawInput(event);
}
} // namespace

TEST_F(PageSession, SpacePausesAndResumesTheSoundAndTheAddressNamesTheHeldMoment) {
    playAt(30.0);
    at(31.25);
    PageStep playing = runPageAnimationFrame(8, 8);
    EXPECT_EQ(playing.address, nullptr) << "the address changes only with what it names";

    EXPECT_EQ(key(KEY_SPACE), InputAction::Consumed);
    EXPECT_TRUE(pagePaused());
    EXPECT_TRUE(headlessSoundPaused()) << "silent at once";
    // The moves of a message step reach the device with the next pass, once.
    PageStep held = runPageAnimationFrame(8, 8);
    EXPECT_EQ(headlessSoundSeekFrame(), static_cast<int32_t>(31.25 * SAMPLE_RATE))
        << "what is heard on resume starts at the held picture";
    EXPECT_TRUE(held.drawn) << "held frames go on, so that keys are read";
    ASSERT_NE(held.address, nullptr);
    EXPECT_STREQ(held.address, "?at=31.25&paused");
    EXPECT_FLOAT_EQ(drawnTime(), 31.25f);
    // Long after, the same moment, and the clock never gave up on the standing device.
    setHeadlessTickCount(90000);
    EXPECT_EQ(runPageAnimationFrame(8, 8).address, nullptr);
    EXPECT_FLOAT_EQ(drawnTime(), 31.25f);
    EXPECT_FALSE(musicClock.useTicks);

    // Seeks while paused stay paused; the address follows.
    key(KEY_RIGHT);
    key(KEY_LEFT, MODIFIER_SHIFT);
    EXPECT_TRUE(pagePaused());
    EXPECT_STREQ(runPageAnimationFrame(8, 8).address, "?at=32.15&paused");
    EXPECT_NEAR(drawnTime(), 32.15f, 1e-5);
    key(KEY_HOME);
    EXPECT_STREQ(runPageAnimationFrame(8, 8).address, "?at=0&paused");
    EXPECT_EQ(headlessSoundSeekFrame(), 0);

    key(KEY_SPACE);
    EXPECT_FALSE(pagePaused());
    at(0.0);
    PageStep resumed = runPageAnimationFrame(8, 8);
    EXPECT_FALSE(headlessSoundPaused());
    EXPECT_STREQ(resumed.address, "") << "playing, the address names no moment";
    at(0.5);
    runPageAnimationFrame(8, 8);
    EXPECT_FLOAT_EQ(drawnTime(), 0.5f);
    // The sound stands for seconds (a starved audio thread): the picture stands with it, and then follows
    // it on, never handed to the page's timer.
    setHeadlessTickCount(100000);
    runPageAnimationFrame(8, 8);
    EXPECT_FLOAT_EQ(drawnTime(), 0.5f);
    EXPECT_FALSE(musicClock.useTicks);

    // A seek while playing moves the sound and the clock together.
    key(KEY_RIGHT);
    runPageAnimationFrame(8, 8);
    EXPECT_EQ(headlessSoundSeekFrame(), static_cast<int32_t>(1.5 * SAMPLE_RATE));
    EXPECT_FLOAT_EQ(drawnTime(), 1.5f);
}

TEST_F(PageSession, FullscreenKeyAndTheKeysOfAuthorModeAlone) {
    playAt(10.0);
    EXPECT_EQ(key('F'), InputAction::ToggleFullscreen) << "F and the double click";
    key('B');
    key('N');
    EXPECT_FALSE(loopActive()) << "no loop in the page: the end of the music ends the run";
    key(KEY_ESCAPE);
    EXPECT_EQ(runPageAnimationFrame(8, 8).sound, PageSound::Stop);
    EXPECT_EQ(pageState(), PageState::Ended);
}

TEST_F(PageSession, LifecycleHoldsPauseAndResumeUnlessTheViewerPaused) {
    playAt(50.0);
    at(52.0);
    runPageAnimationFrame(8, 8);
    // Hidden: the sound stands at once, without a frame (a hidden page gets none).
    PageStep hidden = setPageHold(HOLD_HIDDEN, true);
    EXPECT_TRUE(headlessSoundPaused());
    EXPECT_EQ(hidden.address, nullptr) << "a hold is no moment the viewer chose";
    EXPECT_DOUBLE_EQ(transport.pausedAt, 52.0);
    // The context is also interrupted meanwhile; both must end before the run goes on.
    setPageHold(HOLD_SOUND_INTERRUPTED, true);
    setPageHold(HOLD_HIDDEN, false);
    EXPECT_TRUE(headlessSoundPaused());
    setHeadlessTickCount(40000);
    setPageHold(HOLD_SOUND_INTERRUPTED, false);
    at(52.0);
    runPageAnimationFrame(8, 8);
    EXPECT_FALSE(headlessSoundPaused());
    EXPECT_EQ(headlessSoundSeekFrame(), 52 * SAMPLE_RATE);
    EXPECT_FLOAT_EQ(drawnTime(), 52.0f) << "on again where it was held";
    EXPECT_FALSE(musicClock.useTicks) << "a hold is no stall of the device";

    // Paused by the viewer, a page that comes back stays paused.
    key(KEY_SPACE);
    runPageAnimationFrame(8, 8);
    setPageHold(HOLD_HIDDEN, true);
    setPageHold(HOLD_FROZEN, true);
    setPageHold(HOLD_FROZEN, false);
    setPageHold(HOLD_HIDDEN, false);
    EXPECT_TRUE(headlessSoundPaused());
    EXPECT_TRUE(pagePaused());
    key(KEY_SPACE);
    runPageAnimationFrame(8, 8);
    EXPECT_FALSE(headlessSoundPaused());
}

TEST_F(PageSession, SpaceAtALinkedMomentPlaysFromItWhereAClickDoesNot) {
    at(44.4);
    beginPageSession({44.4, true});
    runPageAnimationFrame(8, 8);
    EXPECT_EQ(click().sound, PageSound::Keep);
    bool taken = false;
    PageStep step = takePageSpace(&taken);
    EXPECT_TRUE(taken);
    EXPECT_EQ(step.sound, PageSound::Play);
    EXPECT_EQ(pageState(), PageState::Playing);
    EXPECT_EQ(headlessSoundSeekFrame(), static_cast<int32_t>(44.4 * SAMPLE_RATE + 0.5));
    // While playing Space is a key of the input table, not the page's gesture.
    takePageSpace(&taken);
    EXPECT_FALSE(taken);
}

TEST_F(PageSession, AnEditorsPauseIsTheViewersAndTheAddressKeepsTheLink) {
    at(30);
    PageAddress linked = {30.0, false, "ws://127.0.0.1:1339"};
    beginPageSession(linked);
    EXPECT_EQ(runPageAnimationFrame(8, 8).address, nullptr) << "the address as opened stands";
    setPageViewerPaused(true);
    EXPECT_EQ(runPageAnimationFrame(8, 8).address, nullptr) << "nothing to pause before the click";
    click();
    EXPECT_EQ(runPageAnimationFrame(8, 8).address, nullptr);

    setPageViewerPaused(true);
    EXPECT_TRUE(pagePaused());
    EXPECT_TRUE(headlessSoundPaused());
    PageStep held = runPageAnimationFrame(8, 8);
    ASSERT_NE(held.address, nullptr);
    EXPECT_STREQ(held.address, "?at=30&paused&sync=ws://127.0.0.1:1339");
    // Space resumes what the editor paused, as the viewer's own pause.
    key(KEY_SPACE);
    PageStep resumed = runPageAnimationFrame(8, 8);
    EXPECT_FALSE(pagePaused());
    ASSERT_NE(resumed.address, nullptr);
    EXPECT_STREQ(resumed.address, "?sync=ws://127.0.0.1:1339");
    // A hold over the editor's pause: the run stays paused when the hold ends.
    setPageViewerPaused(true);
    setPageHold(HOLD_HIDDEN, true);
    setPageHold(HOLD_HIDDEN, false);
    EXPECT_TRUE(pagePaused());
    setPageViewerPaused(false);
    EXPECT_FALSE(pagePaused());
}

TEST_F(PageSession, EAsksForTheEditorOnceAndTheAddressKeepsEdit) {
    at(30);
    char warnings[64];
    PageAddress opened = readPageAddress("?at=30&edit", warnings, sizeof warnings);
    ASSERT_TRUE(opened.edit);
    beginPageSession(opened);
    RawInputEvent press{};
    press.type = RawEventType::KeyDown;
    press.key = 'E';
    bool taken = false;
    EXPECT_TRUE(takePageGesture(press, &taken).openEditor) << "E at \"click to start\"";
    EXPECT_TRUE(taken);
    click();
    EXPECT_FALSE(runPageAnimationFrame(8, 8).openEditor);
    key('E');
    EXPECT_TRUE(runPageAnimationFrame(8, 8).openEditor);
    EXPECT_FALSE(runPageAnimationFrame(8, 8).openEditor) << "one wish per press";
    key(KEY_SPACE);
    PageStep held = runPageAnimationFrame(8, 8);
    ASSERT_NE(held.address, nullptr);
    EXPECT_STREQ(held.address, "?at=30&paused&edit")
        << "a reload of the paused moment opens the editor again";
}
