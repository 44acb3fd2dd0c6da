// The start-up sequence from a current context to the first frame.
#include "app/demo_preparation.h"

#include "app/frame_rate_title.h"
#include "audio/music_clock.h"
#include "audio/soundtrack_preparation.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "render/gl_support.h"
#include "render/scene_program.h"

#include <cstdio>

bool prepareDemo(char* why, int whySize) {
    if (const char* missing = loadGlEntryPoints()) {
        std::snprintf(why, static_cast<size_t>(whySize), "The driver has no entry point %s.", missing);
        return false;
    }
    if (!contextRunsGlsl330(why, whySize))
        return false;

    buildCreditsTexture();
    buildSceneProgram();
    showCompileLogInTitle();

    prepareSoundtrack();
    startLoopingPlayback();
    return true;
}
