// The credit lines, drawn once into a texture left bound on unit 0.
#pragma once

constexpr int CREDIT_LINE_COUNT = 7;
extern const char* const CREDIT_LINES[CREDIT_LINE_COUNT];

extern unsigned int creditsTexture;

void buildCreditsTexture();
