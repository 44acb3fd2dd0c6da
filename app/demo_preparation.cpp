// The start-up sequence from a current context to the first frame.
#include "app/demo_preparation.h"

#include "app/frame_rate_title.h"
#include "audio/music_clock.h"
#include "audio/soundtrack_preparation.h"
#include "platform/debug_output.h"
#include "render/credits_texture.h"
#include "render/gl_api.h"
#include "render/gl_support.h"
#include "render/scene_program.h"
#include "sync/builtin_tracks.h"

#include <cstdio>
#include <string>

// Said where a compile log goes; the carried files are checked by the tests, so this is for a broken build.
static void reportBuiltinTrack(const char* message) {
    writeDebugOutput((std::string("doz-engine: ") + message + "\n").c_str());
}

bool prepareDemo(char* why, size_t whySize) {
    if (const char* missing = loadGlEntryPoints()) {
        std::snprintf(why, whySize, "The driver has no entry point %s.", missing);
        return false;
    }
    if (!contextRunsGlsl330(why, whySize))
        return false;

    buildCreditsTexture();
    buildSceneProgram();
    showCompileLogInTitle();
    loadBuiltinTracks(reportBuiltinTrack);

    prepareSoundtrack();
    startLoopingPlayback();
    return true;
}
