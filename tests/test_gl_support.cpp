// The refusal to run on a context without GLSL 3.30, driven by Mesa's version override.
#include "render/gl_support.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(GlSupport, AcceptsTheHeadlessContext) {
    openTestContext(4, 4);
    char why[256] = "";
    EXPECT_TRUE(contextRunsGlsl330(why, sizeof why)) << why;
}

TEST(GlSupport, RefusesAnOlderShadingLanguageAndSaysWhatTheDriverReported) {
    // Mesa reads these when the context is made.
    setenv("MESA_GL_VERSION_OVERRIDE", "2.1", 1);
    setenv("MESA_GLSL_VERSION_OVERRIDE", "120", 1);
    openTestContext(4, 4);
    char why[256] = "";
    EXPECT_FALSE(contextRunsGlsl330(why, sizeof why));
    EXPECT_NE(std::string(why).find("GLSL 1.20"), std::string::npos) << why;
}
