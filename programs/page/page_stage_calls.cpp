// What the page's stage editor (programs/page/editor/) calls in the running module: the author's built-in
// fragment stage, a build of an edited text, its errors, and the build's version that names its drafts.
#include "app/page_session.h"
#include "app/page_stage_edit.h"
#include "app/version.h"

#include <emscripten/emscripten.h>

#include <string>

// The "#version 330" text of the fragment stage as authors write it, embedded beside its ES form.
extern const char PAGE_AUTHOR_FRAGMENT_STAGE[];

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* dozAuthorFragmentStage() {
    return PAGE_AUTHOR_FRAGMENT_STAGE;
}

// 1 when the text built and now draws (the frame on the canvas is drawn again with it), 0 when it did not.
EMSCRIPTEN_KEEPALIVE int dozBuildFragmentStage(const char* authorText) {
    const bool built = buildPageFragmentStage(authorText);
    if (built)
        redrawPageStill();
    return built ? 1 : 0;
}

// The last failed build's errors, "LINE<tab>MESSAGE" a line, at the author's lines.
EMSCRIPTEN_KEEPALIVE const char* dozStageErrors() {
    static std::string list;
    list = pageStageErrorList();
    return list.c_str();
}

EMSCRIPTEN_KEEPALIVE int dozStageReloads() {
    return pageStageReloads();
}

EMSCRIPTEN_KEEPALIVE const char* dozBuildVersion() {
    static const std::string version = std::string(PROGRAM_VERSION) + " " + PROGRAM_COMMIT;
    return version.c_str();
}
}
