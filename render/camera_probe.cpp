// The camera probe: the scene's fragment source with its main renamed and a probe main appended, built
// through the scene program's own compile path and drawn into a 2 x 1 RGBA32F target.
#include "render/camera_probe.h"

#include "render/framebuffer_calls.h"
#include "render/gl_api.h"
#include "render/scene_program.h"
#include "render/stage_track_names.h"

#include <string>

static FramebufferCalls& fb = framebufferCalls;
static GLuint framebuffer = 0, colour = 0;
static GLuint probeProgram = 0;
static bool probeFailed = false;
static std::string builtVertex, builtFragment;
static GLint timeLocation = -1, resolutionLocation = -1;
// The last answer: a held frame asks for the same time every pass, and a read back waits for the GPU.
static bool answered = false;
static double answeredSeconds = 0.0;
static SceneCamera answer;

// Column 0 the eye, column 1 the target.
static const char* const PROBE_MAIN = "\n#undef main\n"
                                      "void main() {\n"
                                      "    vec3 ro, ta;\n"
                                      "    camera(ro, ta);\n"
                                      "    O = vec4(gl_FragCoord.x < 1. ? ro : ta, 1.);\n"
                                      "}\n";

// The fragment text with "#define main sceneMain" after its version line (a source without one gets it
// first), then the probe's own main.
static std::string probeFragment(const std::string& fragment) {
    std::string text = fragment;
    const StageVersionLine version = findVersionLine(text.c_str());
    const bool lineEnded = version.end == 0 || text[version.end - 1] == '\n';
    text.insert(version.end, std::string(lineEnded ? "" : "\n") + "#define main sceneMain\n");
    return text + PROBE_MAIN;
}

static bool buildProbe(const char* vertexSource, const char* fragmentSource) {
    if (probeProgram != 0 && builtVertex == vertexSource && builtFragment == fragmentSource)
        return true;
    if (probeFailed && builtVertex == vertexSource && builtFragment == fragmentSource)
        return false;
    if (probeProgram != 0)
        gl.deleteProgram(probeProgram);
    builtVertex = vertexSource;
    builtFragment = fragmentSource;
    char log[COMPILE_LOG_SIZE];
    StageFailure failure = StageFailure::None;
    // The scene program's own compile path, so that whatever it makes of a stage text applies here too.
    probeProgram =
        compileAndLinkStages(vertexSource, probeFragment(builtFragment).c_str(), log, sizeof log, &failure);
    probeFailed = probeProgram == 0;
    answered = false;
    if (probeFailed)
        return false;
    timeLocation = gl.getUniformLocation(probeProgram, "iTime");
    resolutionLocation = gl.getUniformLocation(probeProgram, "iResolution");
    return true;
}

bool probeSceneCamera(const char* vertexSource, const char* fragmentSource, double seconds,
                      SceneCamera* out) {
    if (!loadFramebufferCalls() || !buildProbe(vertexSource, fragmentSource))
        return false;
    if (answered && answeredSeconds == seconds) {
        *out = answer;
        return true;
    }
    GLint previousFramebuffer = 0, viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFramebuffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (framebuffer == 0) {
        fb.genFramebuffers(1, &framebuffer);
        fb.genRenderbuffers(1, &colour);
        fb.bindRenderbuffer(GL_RENDERBUFFER, colour);
        fb.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, 2, 1);
    }
    fb.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    fb.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    bool complete = fb.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    float pixels[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    if (complete) {
        gl.useProgram(probeProgram);
        // As the frame pass sets it: the music time as a float.
        gl.uniform1f(timeLocation, static_cast<float>(seconds));
        gl.uniform2f(resolutionLocation, 2.f, 1.f);
        glViewport(0, 0, 2, 1);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, 2, 1, GL_RGBA, GL_FLOAT, pixels);
        gl.useProgram(sceneProgram);
    }
    fb.bindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFramebuffer));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    if (!complete)
        return false;
    for (int k = 0; k < 3; ++k) {
        out->eye[k] = pixels[k];
        out->target[k] = pixels[4 + k];
    }
    answered = true;
    answeredSeconds = seconds;
    answer = *out;
    return true;
}

void forgetCameraProbe() {
    // The objects belong to a context that may be gone: only forgotten.
    probeProgram = 0;
    probeFailed = false;
    answered = false;
    builtVertex.clear();
    builtFragment.clear();
    framebuffer = 0;
    colour = 0;
}
