// The reload rules on the headless context with a real watched folder: a changed pair replaces the program
// once writes settle and counts, unchanged content is not rebuilt, a broken pair keeps the last good
// program and says why, R rebuilds at once; and the author title that shows it all.
#define GL_GLEXT_PROTOTYPES 1
#include "app/author_title.h"
#include "app/frame_loop.h"
#include "app/transport.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/headless/headless.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "render/stage_reloader.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string colourFragment(const char* rgb) {
    // uText is sampled so that it stays active and its unit can be checked.
    return std::string(
               "#version 330\nuniform vec2 iResolution;\nuniform float iTime;\nuniform sampler2D uText;\n"
               "out vec4 O;\nvoid main() { O = vec4(") +
           rgb + ", 1.) + 0.001 * texture(uText, vec2(iTime / iResolution.x)); }\n";
}

// The unused variable makes the compiler warn before it reports the error.
const char* const BROKEN_FRAGMENT = "#version 330\nout vec4 O;\nvoid main() { float unused; O = "
                                    "vec4(unused); O += vec4(notDeclaredHere); }\n";

class StageReloaderTest : public testing::Test {
  protected:
    fs::path folder;

    void SetUp() override {
        folder = fs::temp_directory_path() / ("doz-reload-" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        write("scene.vert", SCENE_VERTEX_SOURCE);
        write("scene.frag", colourFragment("1., 0., 0."));
        openTestContext(4, 4);
        buildSceneProgramFrom(SCENE_VERTEX_SOURCE, colourFragment("0., 0., 1.").c_str());
        ASSERT_FALSE(shaderErrorFlag);
    }
    void TearDown() override { fs::remove_all(folder); }

    void write(const char* name, const std::string& text) {
        // Written next to the file and renamed over it, as many editors save.
        fs::path temporary = folder / (std::string(".") + name + ".swp");
        std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        fs::rename(temporary, folder / name);
    }

    static Rgba drawnColour() {
        runFramePass();
        return pixelAt(readHeadlessPixels(), 4, 1, 1);
    }
};

} // namespace

TEST_F(StageReloaderTest, ReloadRulesOverOneSession) {
    // Start-up: the folder's stages differ from the running ones, so they are loaded, without counting.
    startStageReloader(folder.string().c_str(), SCENE_VERTEX_SOURCE, colourFragment("0., 0., 1.").c_str());
    EXPECT_EQ(stageReloader.reloadCounter, 0);
    EXPECT_FALSE(stageReloader.failed);
    EXPECT_EQ(drawnColour().r, 255);

    // A save is taken only once writes have settled for 200 ms.
    GLuint before = sceneProgram;
    write("scene.frag", colourFragment("0., 1., 0."));
    EXPECT_FALSE(pollStageReloader(10000));
    write("scene.frag", colourFragment("0., 1., 0."));
    EXPECT_FALSE(pollStageReloader(10150));
    EXPECT_FALSE(pollStageReloader(10349));
    EXPECT_EQ(sceneProgram, before);
    EXPECT_TRUE(pollStageReloader(10350));
    EXPECT_EQ(stageReloader.reloadCounter, 1);
    EXPECT_NE(sceneProgram, before);
    GLint current = 0, unit = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), sceneProgram);
    ASSERT_NE(uniforms.uText, -1);
    glGetUniformiv(sceneProgram, uniforms.uText, &unit);
    EXPECT_EQ(unit, 0);
    Rgba green = drawnColour();
    EXPECT_EQ(green.g, 255);
    EXPECT_EQ(green.r, 0);

    // Saving the same content again rebuilds nothing.
    GLuint good = sceneProgram;
    write("scene.frag", colourFragment("0., 1., 0."));
    EXPECT_FALSE(pollStageReloader(20000));
    EXPECT_FALSE(pollStageReloader(20300));
    EXPECT_EQ(sceneProgram, good);
    EXPECT_EQ(stageReloader.reloadCounter, 1);

    // A broken save keeps the picture, names the failure in the title and the whole log with the file.
    write("scene.frag", BROKEN_FRAGMENT);
    pollStageReloader(30000);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(pollStageReloader(30200));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(stageReloader.failed);
    EXPECT_EQ(sceneProgram, good);
    EXPECT_EQ(stageReloader.reloadCounter, 1);
    EXPECT_EQ(std::string(stageReloader.failure).rfind("reload failed: ", 0), 0u) << stageReloader.failure;
    EXPECT_EQ(std::string(stageReloader.failure).find('\n'), std::string::npos);
    // The title shows the error, not a warning listed before it.
    EXPECT_NE(std::string(stageReloader.failure).find("notDeclaredHere"), std::string::npos)
        << stageReloader.failure;
    EXPECT_NE(std::string(stageReloader.failure).find("error"), std::string::npos) << stageReloader.failure;
    EXPECT_NE(said.find("scene.frag"), std::string::npos) << said;
    EXPECT_NE(said.find("notDeclaredHere"), std::string::npos) << said;
    EXPECT_EQ(drawnColour().g, 255);
    updateAuthorTitle(30200, true, transportTime());
    EXPECT_EQ(headlessWindowTitle(), stageReloader.failure);

    // A vertex stage that does not compile is named as such.
    write("scene.vert", "#version 330\nvoid main() { gl_Position = vertexMistake; }\n");
    pollStageReloader(40000);
    testing::internal::CaptureStderr();
    pollStageReloader(40200);
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("scene.vert"), std::string::npos) << said;
    EXPECT_EQ(sceneProgram, good);

    // The fix clears the failure and counts.
    write("scene.vert", SCENE_VERTEX_SOURCE);
    write("scene.frag", colourFragment("1., 1., 0."));
    pollStageReloader(50000);
    EXPECT_TRUE(pollStageReloader(50200));
    EXPECT_FALSE(stageReloader.failed);
    EXPECT_EQ(stageReloader.reloadCounter, 2);
    Rgba yellow = drawnColour();
    EXPECT_EQ(yellow.r, 255);
    EXPECT_EQ(yellow.g, 255);

    // R rebuilds at once, changed or not, and counts.
    EXPECT_TRUE(reloadStagesNow());
    EXPECT_EQ(stageReloader.reloadCounter, 3);
    EXPECT_EQ(drawnColour().g, 255);
}

TEST_F(StageReloaderTest, TheFolderGoneRenamedAndMadeAgainIsWatchedStill) {
    startStageReloader(folder.string().c_str(), SCENE_VERTEX_SOURCE, colourFragment("1., 0., 0.").c_str());
    GLuint running = sceneProgram;
    uint32_t now = 10000;
    // Polls as frames do, 20 ms apart, until the title changes or a second has gone by.
    auto settle = [&now] {
        for (uint32_t end = now + 1000; now < end; now += 20)
            if (pollStageReloader(now))
                return true;
        return false;
    };
    auto failure = [] { return std::string(stageReloader.failed ? stageReloader.failure : ""); };

    // Renamed away, then made again file by file: the title says what is missing, the last good program
    // runs on, and the first whole pair is loaded.
    fs::path away = folder.string() + ".away";
    fs::rename(folder, away);
    EXPECT_TRUE(settle());
    EXPECT_EQ(failure().rfind("stages missing: no such folder: ", 0), 0u) << failure();
    fs::create_directories(folder);
    write("scene.vert", SCENE_VERTEX_SOURCE);
    EXPECT_TRUE(settle());
    EXPECT_EQ(failure().rfind("stages missing: the folder has no scene.frag", 0), 0u) << failure();
    EXPECT_EQ(sceneProgram, running);
    write("scene.frag", colourFragment("0., 1., 0."));
    EXPECT_TRUE(settle());
    EXPECT_EQ(failure(), "");
    EXPECT_EQ(stageReloader.reloadCounter, 1);
    EXPECT_EQ(drawnColour().g, 255);

    // A broken pair's failure outlives a stage gone for a while, and comes back with it unchanged; the fix
    // of a stage that went and came back unchanged clears all.
    GLuint green = sceneProgram;
    testing::internal::CaptureStderr();
    write("scene.frag", BROKEN_FRAGMENT);
    EXPECT_TRUE(settle());
    fs::rename(folder / "scene.vert", away / "held.vert");
    EXPECT_TRUE(settle());
    EXPECT_EQ(failure().rfind("stages missing: ", 0), 0u) << failure();
    fs::rename(away / "held.vert", folder / "scene.vert");
    EXPECT_TRUE(settle());
    testing::internal::GetCapturedStderr();
    EXPECT_NE(failure().find("notDeclaredHere"), std::string::npos) << failure();
    write("scene.frag", colourFragment("0., 1., 0."));
    EXPECT_TRUE(settle());
    fs::rename(folder / "scene.frag", away / "held.frag");
    EXPECT_TRUE(settle());
    fs::rename(away / "held.frag", folder / "scene.frag");
    EXPECT_TRUE(settle());
    EXPECT_EQ(failure(), "");
    EXPECT_NE(sceneProgram, green);
    EXPECT_EQ(stageReloader.reloadCounter, 2);
    fs::remove_all(away);
}

TEST_F(StageReloaderTest, UnchangedStagesAtStartAreNotRebuilt) {
    write("scene.frag", colourFragment("0., 0., 1."));
    GLuint running = sceneProgram;
    startStageReloader(folder.string().c_str(), SCENE_VERTEX_SOURCE, colourFragment("0., 0., 1.").c_str());
    EXPECT_EQ(sceneProgram, running);
    EXPECT_EQ(stageReloader.reloadCounter, 0);
    // With no folder nothing is watched and R does nothing.
    startStageReloader(nullptr, SCENE_VERTEX_SOURCE, colourFragment("0., 0., 1.").c_str());
    EXPECT_FALSE(reloadStagesNow());
    EXPECT_FALSE(pollStageReloader(100000));
    EXPECT_EQ(sceneProgram, running);
}

TEST(AuthorTitle, FormatShowsTimePauseAndLoop) {
    char text[AUTHOR_TITLE_SIZE];
    formatAuthorTitle(text, sizeof text, 59, 2, 3, 61.256, false, false, 0.0, 0.0);
    EXPECT_STREQ(text, "doz-engine  59 fps  frac 2  [reload 3]  61.26 s");
    formatAuthorTitle(text, sizeof text, 4, 0, 0, 7.5, true, true, 6.0, 8.25);
    EXPECT_STREQ(text, "doz-engine  4 fps  frac 0  [reload 0]  7.50 s  paused  loop 6.00-8.25");
}

TEST(AuthorTitle, AHeldTimeIsShownToItsSample) {
    char text[AUTHOR_TITLE_SIZE];
    // Paused a little after 45.075 s: "45.08" would name another frame than the one held.
    formatAuthorTitle(text, sizeof text, 9, 0, 1, 1987830 / 44100., true, false, 0.0, 0.0);
    EXPECT_STREQ(text, "doz-engine  9 fps  frac 0  [reload 1]  45.0755 s  paused");
    // Whatever the sample (frame steps of 735 among them), the text names it, with two decimals at least.
    for (long long sample = 0; sample <= 124 * 44100; sample += 735 + 997) {
        formatTitleTime(text, sizeof text, sample / 44100., true);
        ASSERT_EQ(std::llround(std::strtod(text, nullptr) * 44100), sample) << text;
        ASSERT_GE(std::strlen(std::strchr(text, '.')), 3u) << text;
    }
}

TEST(AuthorTitle, WrittenFourTimesASecondAndAtOnceWhenForced) {
    setHeadlessSoundPosition(0);
    pcmTrack.frames = 44100 * 10;
    startLoopingPlayback();
    startTransport(12.0);
    int writes = headlessTitleWrites();
    updateAuthorTitle(1000, false, transportTime());
    EXPECT_EQ(headlessTitleWrites(), writes + 1);
    EXPECT_EQ(headlessWindowTitle(), "doz-engine  0 fps  frac 0  [reload 0]  12.00 s");
    updateAuthorTitle(1100, false, transportTime());
    updateAuthorTitle(1249, false, transportTime());
    EXPECT_EQ(headlessTitleWrites(), writes + 1);
    updateAuthorTitle(1250, false, transportTime());
    EXPECT_EQ(headlessTitleWrites(), writes + 2);
    togglePause();
    updateAuthorTitle(1260, true, transportTime());
    EXPECT_EQ(headlessTitleWrites(), writes + 3);
    EXPECT_EQ(headlessWindowTitle(), "doz-engine  0 fps  frac 0  [reload 0]  12.00 s  paused");
    // Six frames, the one that closes the first second included: the rate appears once that second is over.
    updateAuthorTitle(2000, true, transportTime());
    EXPECT_EQ(headlessWindowTitle(), "doz-engine  6 fps  frac 0  [reload 0]  12.00 s  paused");
}
