// Credit lines through FreeType, with the bold face the executable carries (Liberation Sans Bold, which has
// bold Arial's metrics, so no installed font is needed), sized and placed the way GDI places a 56 px cell
// with the reference point at its top centre.
#include "platform/credits_raster.h"

#include "platform/shared/credits_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstring>

static unsigned char pixels[CREDITS_WIDTH * CREDITS_HEIGHT * 4];

// Lays one glyph's coverage over the bitmap, clipped to it; overlapping glyphs keep the brighter value.
static void drawGlyph(const FT_Bitmap& glyph, int left, int top) {
    const int stride = glyph.pitch < 0 ? -glyph.pitch : glyph.pitch;
    for (int row = 0; row < static_cast<int>(glyph.rows); ++row) {
        const int y = top + row;
        if (y < 0 || y >= CREDITS_HEIGHT)
            continue;
        // A negative pitch stores the rows bottom-up.
        const unsigned char* source =
            glyph.buffer + static_cast<size_t>(glyph.pitch < 0 ? glyph.rows - 1 - row : row) * stride;
        for (int column = 0; column < static_cast<int>(glyph.width); ++column) {
            const int x = left + column;
            if (x < 0 || x >= CREDITS_WIDTH)
                continue;
            unsigned char* texel = pixels + (static_cast<size_t>(y) * CREDITS_WIDTH + x) * 4;
            const unsigned char grey = source[column];
            if (grey > texel[0])
                texel[0] = texel[1] = texel[2] = grey;
        }
    }
}

// Draws one line with its cell top at `cellTop` and its advance-width extent centred on `centreX`.
static void drawLine(FT_Face face, const char* text, int centreX, int cellTop, int ascent) {
    const size_t length = std::strlen(text);
    FT_Pos width = 0;
    for (size_t i = 0; i < length; ++i)
        if (FT_Load_Char(face, static_cast<unsigned char>(text[i]), FT_LOAD_DEFAULT) == 0)
            width += face->glyph->advance.x;
    FT_Pos penX = static_cast<FT_Pos>(centreX) * 64 - width / 2;
    const int baseline = cellTop + ascent;
    for (size_t i = 0; i < length; ++i) {
        if (FT_Load_Char(face, static_cast<unsigned char>(text[i]), FT_LOAD_RENDER) != 0)
            continue;
        const FT_GlyphSlot slot = face->glyph;
        drawGlyph(slot->bitmap, static_cast<int>((penX + 32) >> 6) + slot->bitmap_left,
                  baseline - slot->bitmap_top);
        penX += slot->advance.x;
    }
}

const unsigned char* drawCreditsBitmap(const char* const* lines, int count) {
    std::memset(pixels, 0, sizeof pixels);
    const ByteSpan font = findCreditsFontResource();
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (font.size == 0 || FT_Init_FreeType(&library) != 0 ||
        FT_New_Memory_Face(library, font.data, static_cast<FT_Long>(font.size), 0, &face) != 0) {
        std::fprintf(stderr, "doz-engine: the carried credits font does not load; the signs show no text\n");
        if (library != nullptr)
            FT_Done_FreeType(library);
        return pixels;
    }
    // Like a positive height given to GDI: ascent plus descent make the cell.
    FT_Size_RequestRec request = {};
    request.type = FT_SIZE_REQUEST_TYPE_CELL;
    request.height = static_cast<FT_Long>(CREDITS_CELL_HEIGHT) * 64;
    FT_Request_Size(face, &request);
    const int ascent = static_cast<int>((FT_MulFix(face->ascender, face->size->metrics.y_scale) + 32) >> 6);
    for (int i = 0; i < count; ++i)
        drawLine(face, lines[i], CREDITS_WIDTH / 2, CREDITS_BAND_HEIGHT * i + CREDITS_CELL_TOP, ascent);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return pixels;
}

void releaseCreditsBitmap() {}
