// Test helpers for the headless GL context.
#include "tests/gl_context.h"

#include "platform/headless/headless.h"
#include "render/gl_api.h"

#include <gtest/gtest.h>

void openTestContext(int width, int height) {
    char why[256] = "";
    ASSERT_TRUE(openHeadlessContext(width, height, why, sizeof why)) << why;
    ASSERT_EQ(loadGlEntryPoints(), nullptr);
}

Rgba pixelAt(const std::vector<unsigned char>& pixels, int width, int x, int y) {
    const unsigned char* p = pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}
