// The framebuffer entry points that the render scale's target and the camera probe draw through: fetched
// by name on first use, so that a run that needs neither looks none up.
#pragma once
#include "render/gl_api.h"

struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
};

extern FramebufferCalls framebufferCalls;

// Fetches them the first time it is called; false, then and after, when the driver lacks any.
bool loadFramebufferCalls();
