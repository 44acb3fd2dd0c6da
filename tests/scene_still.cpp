// Whole-scene stills through the frame loop on the headless context, and the reference comparison.
#include "tests/scene_still.h"
#include "tests/build_paths.h"

#include "app/frame_loop.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "render/credits_texture.h"
#include "render/scene_program.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

// Beyond this per-channel difference a pixel counts as changed; a few may change (edges of small canisters
// shift with the rasteriser's rounding), and the mean difference must stay small.
constexpr int CHANGED_PIXEL_DIFFERENCE = 24;
constexpr double CHANGED_PIXEL_SHARE = .005;
constexpr double MEAN_DIFFERENCE = 1.5;

void openSceneForStills(int width, int height) {
    openTestContext(width, height);
    buildCreditsTexture();
    buildSceneProgram();
    ASSERT_NE(sceneProgram, 0u) << compileLog;
}

Still renderSceneAt(double seconds) {
    setHeadlessSoundPosition(static_cast<uint32_t>(seconds * 44100.));
    runFramePass();
    Still s;
    readClientSize(&s.width, &s.height);
    s.rgba = readHeadlessPixels();
    return s;
}

static void writePng(const std::filesystem::path& path, const Still& s) {
    std::filesystem::create_directories(path.parent_path());
    ASSERT_NE(stbi_write_png(path.c_str(), s.width, s.height, 4, s.rgba.data(), s.width * 4), 0) << path;
}

void expectMatchesReference(const Still& still, const std::string& name) {
    const std::filesystem::path reference = std::filesystem::path(referenceDir()) / (name + ".png");
    writePng(std::filesystem::path(stillsOutputDir()) / (name + ".png"), still);
    if (std::getenv("DOZ_UPDATE_REFERENCES") != nullptr) {
        writePng(reference, still);
        std::printf("rewrote %s\n", reference.c_str());
        return;
    }
    int width = 0, height = 0, channels = 0;
    unsigned char* expected = stbi_load(reference.c_str(), &width, &height, &channels, 4);
    ASSERT_NE(expected, nullptr)
        << "no reference " << reference
        << "; render one with DOZ_UPDATE_REFERENCES=1 and look at it before committing";
    ASSERT_EQ(width, still.width);
    ASSERT_EQ(height, still.height);
    size_t changed = 0;
    double total = 0.;
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        int worst = 0;
        for (int k = 0; k < 3; ++k) {
            int d = std::abs(static_cast<int>(expected[i * 4 + k]) - static_cast<int>(still.rgba[i * 4 + k]));
            worst = std::max(worst, d);
            total += d;
        }
        changed += worst > CHANGED_PIXEL_DIFFERENCE ? 1 : 0;
    }
    stbi_image_free(expected);
    double pixels = static_cast<double>(width) * height;
    EXPECT_LE(changed / pixels, CHANGED_PIXEL_SHARE)
        << name << ": " << changed << " pixels changed; the frame is in " << stillsOutputDir()
        << " (renderer " << headlessRendererName() << ")";
    EXPECT_LE(total / (pixels * 3), MEAN_DIFFERENCE) << name;
}
