// Rasterises the credit lines through the platform's text service and uploads them as one texture.
#include "render/credits_texture.h"

#include "platform/credits_raster.h"
#include "render/gl_api.h"

const char* const CREDIT_LINES[CREDIT_LINE_COUNT] = {
    "Quoril", "\"Zobrinel\"", "Harbule Oxu", "Tebb dirty code", "Pilvex art", "Orsak audio", "Yurvo Release",
};

unsigned int creditsTexture = 0;

void buildCreditsTexture() {
    const unsigned char* pixels = drawCreditsBitmap(CREDIT_LINES, CREDIT_LINE_COUNT);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // The bitmap stores blue, green, red; the three are equal, so uploading as RGBA changes nothing.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, CREDITS_WIDTH, CREDITS_HEIGHT, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, WRAP_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, WRAP_CLAMP);
    releaseCreditsBitmap();
    creditsTexture = name;
}
