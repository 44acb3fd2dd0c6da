// Building the scene program: uniform table, compile and link failure reports, and the full-screen triangle.
#define GL_GLEXT_PROTOTYPES 1
#include "app/frame_loop.h"
#include "app/frame_rate_title.h"
#include "platform/headless/headless.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

static const char* const WHITE_FRAGMENT = "#version 330\nout vec4 O;\nvoid main() { O = vec4(1.); }\n";
static const char* const BROKEN_FRAGMENT =
    "#version 330\nout vec4 O;\nvoid main() { O = vec4(fragmentOnlyMistake); }\n";
static const char* const BROKEN_VERTEX = "#version 330\nvoid main() { gl_Position = vertexOnlyMistake; }\n";

TEST(SceneProgram, BuildsAndLooksUpTheUniformTable) {
    openTestContext(16, 16);
    buildSceneProgram();
    ASSERT_NE(sceneProgram, 0u);
    EXPECT_FALSE(shaderErrorFlag);
    EXPECT_EQ(headlessTitleWrites(), 0);
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), sceneProgram);
    // Names the fragment stage does not declare find no location.
    for (GLint location :
         {uniforms.iFocus, uniforms.uNodes, uniforms.uNodeCount, uniforms.iFractal, uniforms.iSpider})
        EXPECT_EQ(location, -1);
    EXPECT_NE(uniforms.iResolution, -1);
    EXPECT_NE(uniforms.iTime, -1);
    EXPECT_NE(uniforms.iBeat, -1);
    EXPECT_NE(uniforms.iBeatHalf, -1);
    ASSERT_NE(uniforms.uText, -1);
    GLint unit = -1;
    glGetUniformiv(sceneProgram, uniforms.uText, &unit);
    EXPECT_EQ(unit, 0);
}

TEST(SceneProgram, FragmentFailureShowsItsLogInTheTitle) {
    openTestContext(16, 16);
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, BROKEN_FRAGMENT);
    showCompileLogInTitle();
    EXPECT_TRUE(shaderErrorFlag);
    EXPECT_EQ(sceneProgram, 0u);
    EXPECT_NE(headlessWindowTitle().find("fragmentOnlyMistake"), std::string::npos) << headlessWindowTitle();
    EXPECT_EQ(uniforms.iTime, -1);
    EXPECT_EQ(uniforms.uText, -1);
}

TEST(SceneProgram, WhenBothFailTheVertexLogIsShown) {
    openTestContext(16, 16);
    buildSceneProgramFrom(BROKEN_VERTEX, BROKEN_FRAGMENT);
    showCompileLogInTitle();
    EXPECT_TRUE(shaderErrorFlag);
    const std::string& title = headlessWindowTitle();
    EXPECT_NE(title.find("vertexOnlyMistake"), std::string::npos) << title;
    EXPECT_EQ(title.find("fragmentOnlyMistake"), std::string::npos) << title;
}

TEST(SceneProgram, NoTitleIsWrittenWithoutAWindow) {
    openTestContext(16, 16);
    setHeadlessWindowExists(false);
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, BROKEN_FRAGMENT);
    showCompileLogInTitle();
    EXPECT_TRUE(shaderErrorFlag);
    EXPECT_EQ(headlessTitleWrites(), 0);
    EXPECT_NE(std::string(compileLog).find("fragmentOnlyMistake"), std::string::npos);
}

TEST(SceneProgram, LongLogIsCutTo2047Characters) {
    openTestContext(16, 16);
    // An undeclared name thousands of characters long makes the log run far past the buffer.
    std::string source =
        "#version 330\nout vec4 O;\nvoid main() { O = vec4(" + std::string(6000, 'q') + "); }\n";
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, source.c_str());
    showCompileLogInTitle();
    EXPECT_TRUE(shaderErrorFlag);
    EXPECT_EQ(headlessWindowTitle().size(), 2047u);
}

// Each stage compiles on its own; the two disagree on the type of the value passed between them.
static const char* const VERTEX_PASSING_VEC3 =
    "#version 330\nout vec3 vShared;\nvoid main() { vShared = vec3(1.); gl_Position = vec4(0.); }\n";
static const char* const FRAGMENT_TAKING_VEC4 =
    "#version 330\nin vec4 vShared;\nout vec4 O;\nvoid main() { O = vShared; }\n";

TEST(SceneProgram, LinkFailureIsReportedAndThePictureIsTheClearedScreen) {
    openTestContext(8, 8);
    testing::internal::CaptureStderr();
    buildSceneProgramFrom(VERTEX_PASSING_VEC3, FRAGMENT_TAKING_VEC4);
    showCompileLogInTitle();
    std::string debugOutput = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(shaderErrorFlag);
    EXPECT_EQ(sceneProgram, 0u);
    const std::string& title = headlessWindowTitle();
    EXPECT_EQ(title.rfind(LINK_FAILURE_REPORT, 0), 0u) << title;
    EXPECT_NE(title.find("vShared"), std::string::npos) << "the linker's own log follows: " << title;
    EXPECT_NE(debugOutput.find(title), std::string::npos) << debugOutput;
    EXPECT_EQ(uniforms.iTime, -1);
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);

    // Whatever the buffer held before the pass, the pass leaves it black.
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    runFramePass();
    std::vector<unsigned char> pixels = readHeadlessPixels();
    size_t lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
        lit += pixels[i] != 0 || pixels[i + 1] != 0 || pixels[i + 2] != 0;
    EXPECT_EQ(lit, 0u);
    EXPECT_EQ(headlessWindowTitle(), title) << "no frame-rate title replaces the report";
}

// A driver that fails a build and writes no log: stand-ins for its two log calls.
static void writeNoShaderLog(GLuint, GLsizei, GLsizei*, GLchar* log) {
    log[0] = '\0';
}
static void writeNoProgramLog(GLuint, GLsizei, GLsizei*, GLchar* log) {
    log[0] = '\0';
}

TEST(SceneProgram, FailureWithoutALogStillNamesTheStage) {
    openTestContext(8, 8);
    gl.getShaderInfoLog = writeNoShaderLog;
    gl.getProgramInfoLog = writeNoProgramLog;
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, BROKEN_FRAGMENT);
    showCompileLogInTitle();
    EXPECT_EQ(headlessWindowTitle(), std::string("Fragment stage: compile failed") + NO_LOG_REPORT);
    buildSceneProgramFrom(BROKEN_VERTEX, BROKEN_FRAGMENT);
    showCompileLogInTitle();
    EXPECT_EQ(headlessWindowTitle(), std::string("Vertex stage: compile failed") + NO_LOG_REPORT);
    buildSceneProgramFrom(VERTEX_PASSING_VEC3, FRAGMENT_TAKING_VEC4);
    showCompileLogInTitle();
    EXPECT_EQ(headlessWindowTitle(), std::string(LINK_FAILURE_REPORT) + NO_LOG_REPORT);
    EXPECT_EQ(sceneProgram, 0u);
}

class FullScreenTriangle : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FullScreenTriangle, CoversEveryPixel) {
    auto [width, height] = GetParam();
    openTestContext(width, height);
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, WHITE_FRAGMENT);
    showCompileLogInTitle();
    ASSERT_FALSE(shaderErrorFlag);
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    std::vector<unsigned char> pixels = readHeadlessPixels();
    size_t uncovered = 0;
    for (unsigned char channel : pixels)
        uncovered += channel != 255;
    EXPECT_EQ(uncovered, 0u);
}

INSTANTIATE_TEST_SUITE_P(OddViewports, FullScreenTriangle,
                         testing::Values(std::make_pair(1, 1), std::make_pair(7, 3),
                                         std::make_pair(1920, 1080)));

TEST(SceneProgram, ZeroHeightViewportDrawsNothing) {
    openTestContext(5, 0);
    buildSceneProgram();
    glViewport(0, 0, 5, 0);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glFinish();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
