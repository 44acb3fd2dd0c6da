// The credits texture as the Linux build makes it, read back from GL: band layout, text, centring, sampling.
#include "platform/credits_raster.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int CELL_BOTTOM = CREDITS_CELL_TOP + CREDITS_CELL_HEIGHT; // first free row below the cell

std::vector<unsigned char> readBoundTexture() {
    std::vector<unsigned char> texels(static_cast<size_t>(CREDITS_WIDTH) * CREDITS_HEIGHT * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

unsigned char redAt(const std::vector<unsigned char>& texels, int x, int y) {
    return pixelAt(texels, CREDITS_WIDTH, x, y).r;
}

// Columns of the first and last lit texel in rows [top, bottom), or {-1, -1} when none is lit.
std::pair<int, int> inkColumns(const std::vector<unsigned char>& texels, int top, int bottom) {
    int left = -1, right = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < CREDITS_WIDTH; ++x)
            if (redAt(texels, x, y) != 0) {
                if (left < 0 || x < left)
                    left = x;
                right = x > right ? x : right;
            }
    return {left, right};
}

// Rows of the first and last lit texel in column x within rows [top, bottom).
std::pair<int, int> inkRows(const std::vector<unsigned char>& texels, int x, int top, int bottom) {
    int first = -1, last = -1;
    for (int y = top; y < bottom; ++y)
        if (redAt(texels, x, y) != 0) {
            first = first < 0 ? y : first;
            last = y;
        }
    return {first, last};
}

class CreditsTexture : public testing::Test {
  protected:
    void SetUp() override {
        openTestContext(16, 16);
        buildCreditsTexture();
        texels = readBoundTexture();
    }
    std::vector<unsigned char> texels;
};

TEST_F(CreditsTexture, IsBoundWithItsSizeAndSampling) {
    ASSERT_NE(creditsTexture, 0u);
    GLint bound = 0, unit = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    EXPECT_EQ(static_cast<GLuint>(bound), creditsTexture);
    EXPECT_EQ(unit, GL_TEXTURE0);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(width, 512);
    EXPECT_EQ(height, 560);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, WRAP_CLAMP);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, WRAP_CLAMP);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(CreditsTexture, MarginsAboveAndBelowEveryCellAreBlack) {
    for (int band = 0; band < CREDIT_LINE_COUNT; ++band) {
        const int top = band * CREDITS_BAND_HEIGHT;
        for (int y = top; y < top + CREDITS_BAND_HEIGHT; ++y) {
            if (y >= top + CREDITS_CELL_TOP && y < top + CELL_BOTTOM)
                continue;
            for (int x = 0; x < CREDITS_WIDTH; ++x) {
                const Rgba texel = pixelAt(texels, CREDITS_WIDTH, x, y);
                ASSERT_TRUE(texel.r == 0 && texel.g == 0 && texel.b == 0)
                    << "band " << band << " texel (" << x << ", " << y << ")";
            }
        }
    }
}

TEST_F(CreditsTexture, EveryBandHoldsWhiteTextInEqualChannels) {
    for (int band = 0; band < CREDIT_LINE_COUNT; ++band) {
        int white = 0, grey = 0;
        for (int y = band * CREDITS_BAND_HEIGHT; y < (band + 1) * CREDITS_BAND_HEIGHT; ++y)
            for (int x = 0; x < CREDITS_WIDTH; ++x) {
                const Rgba texel = pixelAt(texels, CREDITS_WIDTH, x, y);
                ASSERT_TRUE(texel.r == texel.g && texel.g == texel.b) << "texel (" << x << ", " << y << ")";
                white += texel.r == 255;
                grey += texel.r != 0 && texel.r != 255;
            }
        // Bold strokes at this size are several texels thick; antialiasing leaves grey edges around them.
        EXPECT_GT(white, 300) << "band " << band << ": " << CREDIT_LINES[band];
        EXPECT_GT(grey, 50) << "band " << band << ": " << CREDIT_LINES[band];
    }
}

TEST_F(CreditsTexture, LinesAreCentredOnColumn256) {
    for (int band = 0; band < CREDIT_LINE_COUNT; ++band) {
        const int top = band * CREDITS_BAND_HEIGHT;
        const auto [left, right] = inkColumns(texels, top, top + CREDITS_BAND_HEIGHT);
        ASSERT_GE(left, 0) << "band " << band;
        // Side bearings of the first and last glyph shift the ink a little from the advance extent.
        EXPECT_NEAR((left + right) / 2.0, 256.0, 4.0) << "band " << band << ": " << CREDIT_LINES[band];
        // Each line spans a good part of the width but stays inside it.
        EXPECT_GT(right - left, 100) << "band " << band;
        EXPECT_GT(left, 0);
        EXPECT_LT(right, CREDITS_WIDTH - 1);
    }
}

// Top and bottom rows of the ink in rows [top, bottom), or {-1, -1} when none is lit.
std::pair<int, int> inkRowsOfBand(const std::vector<unsigned char>& texels, int top, int bottom) {
    int first = -1, last = -1;
    for (int x = 0; x < CREDITS_WIDTH; ++x) {
        const auto [columnFirst, columnLast] = inkRows(texels, x, top, bottom);
        if (columnFirst < 0)
            continue;
        first = first < 0 || columnFirst < first ? columnFirst : first;
        last = columnLast > last ? columnLast : last;
    }
    return {first, last};
}

TEST_F(CreditsTexture, EveryLineSitsAtTheSameHeightInItsBand) {
    // Every line reaches up to capital height; these four have no descender, so their ink ends on the
    // baseline. Round letters overshoot both by a texel at most.
    const int capitalDepth = inkRowsOfBand(texels, 0, CREDITS_BAND_HEIGHT).first;
    int baselineDepth = -1;
    for (int band = 0; band < CREDIT_LINE_COUNT; ++band) {
        const int top = band * CREDITS_BAND_HEIGHT;
        const auto [first, last] = inkRowsOfBand(texels, top, top + CREDITS_BAND_HEIGHT);
        ASSERT_GE(first, 0) << "band " << band;
        EXPECT_NEAR(first - top, capitalDepth, 1) << "band " << band << ": " << CREDIT_LINES[band];
        const bool hasDescender = band == 0 || band == 3; // the tail of Q, the y of "dirty"
        if (band == 1 || hasDescender)
            continue;
        if (baselineDepth < 0)
            baselineDepth = last - top;
        EXPECT_NEAR(last - top, baselineDepth, 1) << "band " << band << ": " << CREDIT_LINES[band];
    }
    // Capitals fill most of the cell above the baseline; the descent takes the rest.
    EXPECT_GT(capitalDepth, CREDITS_CELL_TOP);
    EXPECT_LT(capitalDepth, CREDITS_CELL_TOP + CREDITS_CELL_HEIGHT / 4);
    EXPECT_GT(baselineDepth, CREDITS_CELL_TOP + CREDITS_CELL_HEIGHT * 2 / 3);
    EXPECT_LT(baselineDepth, CELL_BOTTOM - CREDITS_CELL_HEIGHT / 8);
}

TEST_F(CreditsTexture, QuotationMarksOfBand1AreDrawn) {
    const int top = CREDITS_BAND_HEIGHT;
    const auto [left, right] = inkColumns(texels, top, top + CREDITS_BAND_HEIGHT);

    // The same word without its marks, drawn alone by the same rasteriser.
    const char* const bare[] = {"Zobrinel"};
    const unsigned char* pixels = drawCreditsBitmap(bare, 1);
    std::vector<unsigned char> alone(pixels,
                                     pixels + static_cast<size_t>(CREDITS_WIDTH) * CREDITS_HEIGHT * 4);
    releaseCreditsBitmap();
    const auto [bareLeft, bareRight] = inkColumns(alone, 0, CREDITS_BAND_HEIGHT);
    ASSERT_GE(bareLeft, 0);
    EXPECT_GT(right - left, bareRight - bareLeft + 20);

    // The outermost ink on both sides is a mark high in the cell, not a letter standing on the baseline.
    for (int x : {left, right}) {
        const auto [first, last] = inkRows(texels, x, top, top + CREDITS_BAND_HEIGHT);
        EXPECT_LT(last - top, CREDITS_CELL_TOP + CREDITS_CELL_HEIGHT / 2) << "column " << x;
    }
}

TEST(CreditsRaster, ClipsLinesThatRunPastTheBitmap) {
    // Wider than the bitmap in the top band, and an eighth line whose band lies wholly below it: both are
    // cut at the edges (a sanitizer build catches any write outside).
    const std::string wide(60, 'W');
    const char* const lines[] = {wide.c_str(), "", "", "", "", "", "gjpqy", "Below the bitmap"};
    const unsigned char* pixels = drawCreditsBitmap(lines, 8);
    const std::vector<unsigned char> texels(pixels,
                                            pixels + static_cast<size_t>(CREDITS_WIDTH) * CREDITS_HEIGHT * 4);
    releaseCreditsBitmap();
    const auto [left, right] = inkColumns(texels, 0, CREDITS_BAND_HEIGHT);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, CREDITS_WIDTH - 1);
    // The descenders of the last band end inside its cell, above the bitmap's last rows.
    const auto [first, last] = inkRowsOfBand(texels, 6 * CREDITS_BAND_HEIGHT, CREDITS_HEIGHT);
    EXPECT_GT(first, 6 * CREDITS_BAND_HEIGHT + CREDITS_CELL_TOP);
    EXPECT_LT(last, 6 * CREDITS_BAND_HEIGHT + CELL_BOTTOM);
    EXPECT_EQ(inkColumns(texels, CREDITS_BAND_HEIGHT, 6 * CREDITS_BAND_HEIGHT).first, -1);
}

TEST(CreditsTextureWithoutFonts, DrawsWithTheCarriedFont) {
    // A fontconfig set-up that knows no font directory at all: the executables carry their font, so the
    // signs still get their text, the same as with the system's fonts, and nothing is said about a font.
    const std::string config = testing::TempDir() + "doz_no_fonts.conf";
    FILE* file = std::fopen(config.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n", file);
    std::fclose(file);
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    setenv("FONTCONFIG_PATH", testing::TempDir().c_str(), 1);

    openTestContext(16, 16);
    testing::internal::CaptureStderr();
    buildCreditsTexture();
    const std::string said = testing::internal::GetCapturedStderr();
    // Later tests and the tools they start get the machine's set-up back.
    unsetenv("FONTCONFIG_FILE");
    unsetenv("FONTCONFIG_PATH");
    EXPECT_EQ(said.find("font"), std::string::npos) << said;
    ASSERT_NE(creditsTexture, 0u);
    const std::vector<unsigned char> texels = readBoundTexture();
    // Every one of the seven bands holds ink.
    for (int band = 0; band < CREDIT_LINE_COUNT; ++band)
        EXPECT_NE(inkColumns(texels, band * CREDITS_BAND_HEIGHT, (band + 1) * CREDITS_BAND_HEIGHT).first, -1)
            << "band " << band;
}

} // namespace
