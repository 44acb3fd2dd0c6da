// The off-screen target of the render scale: one framebuffer with a colour renderbuffer (no texture, so the
// credits texture stays bound to unit 0), resized when the wanted size changes, copied to the window with
// a linear blit.
#include "render/scale_target.h"

#include "render/auto_scale.h"
#include "render/framebuffer_calls.h"
#include "render/gl_api.h"
#include "render/scene_program.h"

#include <algorithm>
#include <cmath>

static double scale = 0.0;
static bool automatic = false;
static AutoScale autoState;
static FramebufferCalls& fb = framebufferCalls;
static bool made = false;
static GLuint target = 0, colour = 0;
static int targetWidth = 0, targetHeight = 0;
static GLint windowFramebuffer = 0;
static bool inUse = false;
static bool drewScaled = false;
static GLuint countedProgram = 0;

// The target is made on the first scaled frame, so that a run without a scale makes nothing.
static bool loadOnce() {
    if (!made && loadFramebufferCalls()) {
        made = true;
        fb.genFramebuffers(1, &target);
        fb.genRenderbuffers(1, &colour);
    }
    return made;
}

void setRenderScale(double value) {
    scale = value;
    automatic = false;
}

void setAutoRenderScale(int displayRefreshHz) {
    autoState = AutoScale();
    aimAutoScaleAtDisplay(&autoState, displayRefreshHz);
    countedProgram = 0;
    scale = autoState.scale;
    automatic = true;
}

double renderScale() {
    return scale;
}

static int scaled(int side) {
    return std::max(1, static_cast<int>(std::lround(side * scale)));
}

void bindScaleTarget(int* width, int* height) {
    inUse = false;
    if (scale <= 0.0 || *width <= 0 || *height <= 0 || !loadOnce())
        return;
    int w = scaled(*width), h = scaled(*height);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &windowFramebuffer);
    fb.bindFramebuffer(GL_FRAMEBUFFER, target);
    if (w != targetWidth || h != targetHeight) {
        fb.bindRenderbuffer(GL_RENDERBUFFER, colour);
        fb.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        targetWidth = w;
        targetHeight = h;
    }
    *width = w;
    *height = h;
    inUse = true;
}

void drawScaleTarget(int clientWidth, int clientHeight) {
    if (!inUse)
        return;
    fb.bindFramebuffer(GL_READ_FRAMEBUFFER, target);
    fb.bindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(windowFramebuffer));
    fb.blitFramebuffer(0, 0, targetWidth, targetHeight, 0, 0, clientWidth, clientHeight, GL_COLOR_BUFFER_BIT,
                       GL_LINEAR);
    fb.bindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(windowFramebuffer));
    inUse = false;
    drewScaled = true;
}

void countFrameForScale(uint32_t drawStart, uint32_t drawEnd) {
    if (!automatic || !drewScaled)
        return;
    drewScaled = false;
    if (sceneProgram != countedProgram) {
        countedProgram = sceneProgram;
        return;
    }
    scale = countFrameForAutoScale(&autoState, drawEnd - drawStart);
}
