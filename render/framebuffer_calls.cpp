// The framebuffer entry points, fetched once for every off-screen target.
#include "render/framebuffer_calls.h"

#include "platform/gl_loader.h"

FramebufferCalls framebufferCalls;

static bool loaded = false, usable = false;

template <typename Proc> static bool fetch(Proc* slot, const char* name) {
    *slot = reinterpret_cast<Proc>(lookupGlEntryPoint(name));
    return *slot != nullptr;
}

bool loadFramebufferCalls() {
    if (!loaded) {
        loaded = true;
        FramebufferCalls& fb = framebufferCalls;
        usable = fetch(&fb.genFramebuffers, "glGenFramebuffers") &&
                 fetch(&fb.bindFramebuffer, "glBindFramebuffer") &&
                 fetch(&fb.genRenderbuffers, "glGenRenderbuffers") &&
                 fetch(&fb.bindRenderbuffer, "glBindRenderbuffer") &&
                 fetch(&fb.renderbufferStorage, "glRenderbufferStorage") &&
                 fetch(&fb.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
                 fetch(&fb.checkFramebufferStatus, "glCheckFramebufferStatus") &&
                 fetch(&fb.blitFramebuffer, "glBlitFramebuffer");
    }
    return usable;
}
