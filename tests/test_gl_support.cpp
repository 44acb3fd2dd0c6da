// The refusal to run on a context without GLSL 3.30, driven by Mesa's version override.
#include "render/gl_support.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

TEST(GlSupport, AcceptsTheHeadlessContext) {
    openTestContext(4, 4);
    char why[256] = "";
    EXPECT_TRUE(contextRunsGlsl330(why, sizeof why)) << why;
}

// Mesa reads the overrides when the process makes its context, so the case runs in a process of its own
// (the test binary started again for this test); it prints the refusal and exits with 0 when refused.
static void openOlderContextAndExit() {
    setenv("MESA_GL_VERSION_OVERRIDE", "2.1", 1);
    setenv("MESA_GLSL_VERSION_OVERRIDE", "120", 1);
    openTestContext(4, 4);
    char why[256] = "";
    bool runs = contextRunsGlsl330(why, sizeof why);
    std::fprintf(stderr, "%s\n", why);
    std::exit(runs ? 1 : 0);
}

TEST(GlSupport, RefusesAnOlderShadingLanguageAndSaysWhatTheDriverReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(openOlderContextAndExit(), testing::ExitedWithCode(0), "GLSL 1\\.20");
}

TEST(GlSupport, ReadsDesktopAndWebShadingLanguageVersions) {
    EXPECT_TRUE(shadingLanguageRunsScene("3.30"));
    EXPECT_TRUE(shadingLanguageRunsScene("4.60 NVIDIA"));
    EXPECT_FALSE(shadingLanguageRunsScene("1.20"));
    EXPECT_FALSE(shadingLanguageRunsScene("3.20"));
    EXPECT_FALSE(shadingLanguageRunsScene(nullptr));
    EXPECT_FALSE(shadingLanguageRunsScene("unknown"));
    // What emscripten reports for WebGL 2 and WebGL 1: the ES number, measured against ES 3.00.
    EXPECT_TRUE(shadingLanguageRunsScene(
        "OpenGL ES GLSL ES 3.00 (WebGL GLSL ES 3.00 (OpenGL ES GLSL ES 3.0 Chromium))"));
    EXPECT_FALSE(shadingLanguageRunsScene(
        "OpenGL ES GLSL ES 1.00 (WebGL GLSL ES 1.0 (OpenGL ES GLSL ES 1.0 Chromium))"));
}
