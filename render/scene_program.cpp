// The scene program: compile, report a failing stage, link, make current, look up the uniform table.
#include "render/scene_program.h"

#include "platform/debug_output.h"
#include "platform/gl_loader.h"
#include "platform/window.h"
#include "render/shader_sources.h"

#include <cstdio>
#include <cstring>

const char* const UNIFORM_NAMES[UNIFORM_COUNT] = {
    "iResolution", "iTime", "iBeat",    "iBeatHalf", "iZoom",   "iDepth",  "iFocus", "uNodes",
    "uNodeCount",  "iCam",  "iFractal", "iSpider",   "iFScale", "iCamPos", "uText",
};

UniformTable uniforms;
GLuint sceneProgram = 0;
bool shaderErrorFlag = false;
char compileLog[COMPILE_LOG_SIZE];

static GLuint compileStage(GLenum type, const char* source) {
    GLuint shader = gl.createShader(type);
    gl.shaderSource(shader, 1, &source, nullptr);
    gl.compileShader(shader);
    return shader;
}

void buildSceneProgramFrom(const char* vertexSource, const char* fragmentSource) {
    GLuint vertex = compileStage(GL_VERTEX_SHADER, vertexSource);
    GLuint fragment = compileStage(GL_FRAGMENT_SHADER, fragmentSource);

    // A status the driver leaves unwritten counts as success.
    GLint vertexOk = 1, fragmentOk = 1;
    gl.getShaderiv(vertex, GL_COMPILE_STATUS, &vertexOk);
    gl.getShaderiv(fragment, GL_COMPILE_STATUS, &fragmentOk);

    GLuint program = 0;
    if (vertexOk != 0 && fragmentOk != 0) {
        program = gl.createProgram();
        gl.attachShader(program, vertex);
        gl.attachShader(program, fragment);
        gl.linkProgram(program);
        // Still attached, so the program keeps them alive.
        gl.deleteShader(vertex);
        gl.deleteShader(fragment);
    } else {
        // The vertex stage's log wins when both fail.
        GLuint failed = vertexOk == 0 ? vertex : fragment;
        std::memset(compileLog, 0, sizeof compileLog);
        gl.getShaderInfoLog(failed, COMPILE_LOG_SIZE, nullptr, compileLog);
        compileLog[COMPILE_LOG_SIZE - 1] = '\0';
        writeDebugOutput(compileLog);
        if (windowExists())
            setWindowTitle(compileLog);
        shaderErrorFlag = true;
        gl.deleteShader(vertex);
        gl.deleteShader(fragment);
    }
    useSceneProgram(program);
}

void useSceneProgram(GLuint program) {
    sceneProgram = program;
    gl.useProgram(program);

    static_assert(sizeof(UniformTable) == UNIFORM_COUNT * sizeof(GLint), "one slot per name");
    GLint* slots = &uniforms.iResolution;
    for (int i = 0; i < UNIFORM_COUNT; ++i)
        slots[i] = gl.getUniformLocation(program, UNIFORM_NAMES[i]);
    gl.uniform1i(uniforms.uText, 0);
}

// Program info logs are read through glGetProgramiv/glGetProgramInfoLog, which are not among the sixteen
// entry points of the release run; author mode fetches them itself, once.
static PFNGLGETPROGRAMIVPROC getProgramiv = nullptr;
static PFNGLGETPROGRAMINFOLOGPROC getProgramInfoLog = nullptr;

GLuint compileAndLinkStages(const char* vertexSource, const char* fragmentSource, char* log, int logSize,
                            StageFailure* failure) {
    GLuint vertex = compileStage(GL_VERTEX_SHADER, vertexSource);
    GLuint fragment = compileStage(GL_FRAGMENT_SHADER, fragmentSource);
    GLint vertexOk = 0, fragmentOk = 0;
    gl.getShaderiv(vertex, GL_COMPILE_STATUS, &vertexOk);
    gl.getShaderiv(fragment, GL_COMPILE_STATUS, &fragmentOk);
    log[0] = '\0';
    if (vertexOk == 0 || fragmentOk == 0) {
        *failure = vertexOk == 0 ? StageFailure::Vertex : StageFailure::Fragment;
        gl.getShaderInfoLog(vertexOk == 0 ? vertex : fragment, logSize, nullptr, log);
        log[logSize - 1] = '\0';
        gl.deleteShader(vertex);
        gl.deleteShader(fragment);
        return 0;
    }
    GLuint program = gl.createProgram();
    gl.attachShader(program, vertex);
    gl.attachShader(program, fragment);
    gl.linkProgram(program);
    gl.deleteShader(vertex);
    gl.deleteShader(fragment);

    if (getProgramiv == nullptr) {
        getProgramiv = reinterpret_cast<PFNGLGETPROGRAMIVPROC>(lookupGlEntryPoint("glGetProgramiv"));
        getProgramInfoLog =
            reinterpret_cast<PFNGLGETPROGRAMINFOLOGPROC>(lookupGlEntryPoint("glGetProgramInfoLog"));
    }
    GLint linked = 1;
    if (getProgramiv != nullptr)
        getProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != 0) {
        *failure = StageFailure::None;
        return program;
    }
    *failure = StageFailure::Link;
    if (getProgramInfoLog != nullptr)
        getProgramInfoLog(program, logSize, nullptr, log);
    log[logSize - 1] = '\0';
    if (log[0] == '\0')
        std::snprintf(log, static_cast<size_t>(logSize), "the stages do not link");
    gl.deleteProgram(program);
    return 0;
}

void buildSceneProgram() {
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, SCENE_FRAGMENT_SOURCE);
}
