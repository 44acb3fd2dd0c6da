// The scene program: compile, report a failing stage, link, make current, look up the uniform table.
#include "render/scene_program.h"

#include "platform/debug_output.h"
#include "platform/window.h"
#include "render/shader_sources.h"

#include <cstdio>
#include <cstring>

const UniformSlot UNIFORM_SLOTS[UNIFORM_COUNT] = {
    {"iResolution", &UniformTable::iResolution},
    {"iTime", &UniformTable::iTime},
    {"iBeat", &UniformTable::iBeat},
    {"iBeatHalf", &UniformTable::iBeatHalf},
    {"iZoom", &UniformTable::iZoom},
    {"iDepth", &UniformTable::iDepth},
    {"iFocus", &UniformTable::iFocus},
    {"uNodes", &UniformTable::uNodes},
    {"uNodeCount", &UniformTable::uNodeCount},
    {"iCam", &UniformTable::iCam},
    {"iFractal", &UniformTable::iFractal},
    {"iSpider", &UniformTable::iSpider},
    {"iFScale", &UniformTable::iFScale},
    {"iCamPos", &UniformTable::iCamPos},
    {"uText", &UniformTable::uText},
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

// The report goes to the debugger output and stays in the title; a stage whose driver wrote no log is
// still named, so that the title never goes blank.
static void reportBuildFailure(const char* stageName) {
    if (compileLog[0] == '\0')
        std::snprintf(compileLog, sizeof compileLog, "%s%s", stageName, NO_LOG_REPORT);
    writeDebugOutput(compileLog);
    if (windowExists())
        setWindowTitle(compileLog);
    shaderErrorFlag = true;
}

// The program's own log after the link failure's heading; false when the stages linked.
static bool readLinkFailure(GLuint program) {
    GLint linked = 1; // unwritten by the driver: success, as with the compile statuses
    gl.getProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != 0)
        return false;
    int heading = std::snprintf(compileLog, sizeof compileLog, "%s:\n", LINK_FAILURE_REPORT);
    std::memset(compileLog + heading, 0, sizeof compileLog - heading);
    gl.getProgramInfoLog(program, COMPILE_LOG_SIZE - heading, nullptr, compileLog + heading);
    compileLog[COMPILE_LOG_SIZE - 1] = '\0';
    if (compileLog[heading] == '\0')
        std::snprintf(compileLog, sizeof compileLog, "%s%s", LINK_FAILURE_REPORT, NO_LOG_REPORT);
    return true;
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
        if (readLinkFailure(program)) {
            reportBuildFailure(LINK_FAILURE_REPORT);
            gl.deleteProgram(program);
            program = 0;
        }
    } else {
        // The vertex stage's log wins when both fail.
        GLuint failed = vertexOk == 0 ? vertex : fragment;
        std::memset(compileLog, 0, sizeof compileLog);
        gl.getShaderInfoLog(failed, COMPILE_LOG_SIZE, nullptr, compileLog);
        compileLog[COMPILE_LOG_SIZE - 1] = '\0';
        reportBuildFailure(vertexOk == 0 ? "Vertex stage: compile failed" : "Fragment stage: compile failed");
        gl.deleteShader(vertex);
        gl.deleteShader(fragment);
    }
    sceneProgram = program;
    gl.useProgram(program);

    for (const UniformSlot& slot : UNIFORM_SLOTS)
        uniforms.*slot.location = gl.getUniformLocation(program, slot.name);
    gl.uniform1i(uniforms.uText, 0);
}

void buildSceneProgram() {
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, SCENE_FRAGMENT_SOURCE);
}
