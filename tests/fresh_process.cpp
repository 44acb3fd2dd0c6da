// The reset before every test, and the test binary's entry that installs it.
#define GL_GLEXT_PROTOTYPES 1
#include "tests/fresh_process.h"

#include "app/author_title.h"
#include "app/frame_rate_title.h"
#include "app/input.h"
#include "app/run_state.h"
#include "app/transport.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/headless/headless.h"
#include "render/credits_texture.h"
#include "render/scale_target.h"
#include "render/scene_program.h"
#include "render/stage_reloader.h"
#include "sync/sync_protocol.h"
#include "sync/sync_tracks.h"
#include "sync/track_files.h"

#include <gtest/gtest.h>

void resetProcessState() {
    startRunning();
    resetInput();
    frameRateTitle = {};
    authorTitle = {};
    transport = {};
    musicClock = {};
    beatOnsetState = {};
    loudnessEnvelope.blockCount = 0;
    pcmTrack.frames = 0;
    stageReloader = StageReloader();
    // A program or texture exists only on the context, which stays current for the whole process.
    if (sceneProgram != 0) {
        glUseProgram(0);
        glDeleteProgram(sceneProgram);
    }
    if (creditsTexture != 0) {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &creditsTexture);
    }
    sceneProgram = 0;
    creditsTexture = 0;
    uniforms = {};
    shaderErrorFlag = false;
    compileLog[0] = '\0';
    setRenderScale(0.0);
    resetHeadlessWindow();
    // As a program hands them to the window it opens.
    setHeadlessWindowCallbacks(demoWindowCallbacks());
    resetHeadlessSound();
    resetHeadlessTicks();
    resetSyncTracks();
    forgetRefusedTrackFiles();
    resetSyncClient();
}

namespace {
class FreshProcessState : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { resetProcessState(); }
};
} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new FreshProcessState);
    return RUN_ALL_TESTS();
}
