// The scene program: compile, report a failing stage, link, make current, look up the uniform table.
#include "render/scene_program.h"

#include "platform/debug_output.h"
#include "render/shader_sources.h"
#include "render/stage_track_names.h"
#include "render/track_uniform.h"

#include <cstdio>
#include <cstring>
#include <string>

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

// The log of a failed build: the driver's compile log as it stands; a link failure's log under its heading;
// a stage whose driver wrote no log is still named, so that a report never goes blank.
static void describeFailure(StageFailure failure, char* log, size_t logSize) {
    if (failure == StageFailure::Link) {
        if (log[0] == '\0') {
            std::snprintf(log, logSize, "%s%s", LINK_FAILURE_REPORT, NO_LOG_REPORT);
            return;
        }
        std::string driverLog = log;
        std::snprintf(log, logSize, "%s:\n%s", LINK_FAILURE_REPORT, driverLog.c_str());
    } else if (log[0] == '\0') {
        const char* stage = failure == StageFailure::Vertex ? "Vertex stage" : "Fragment stage";
        std::snprintf(log, logSize, "%s: compile failed%s", stage, NO_LOG_REPORT);
    }
}

GLuint compileAndLinkStages(const char* vertexSource, const char* fragmentSource, char* log, size_t logSize,
                            StageFailure* failure) {
    GLuint vertex = compileStage(GL_VERTEX_SHADER, withTrackNames(vertexSource).c_str());
    GLuint fragment = compileStage(GL_FRAGMENT_SHADER, withTrackNames(fragmentSource).c_str());

    // A status the driver leaves unwritten counts as success.
    GLint vertexOk = 1, fragmentOk = 1;
    gl.getShaderiv(vertex, GL_COMPILE_STATUS, &vertexOk);
    gl.getShaderiv(fragment, GL_COMPILE_STATUS, &fragmentOk);
    std::memset(log, 0, logSize);
    *failure = StageFailure::None;

    GLuint program = 0;
    if (vertexOk != 0 && fragmentOk != 0) {
        program = gl.createProgram();
        gl.attachShader(program, vertex);
        gl.attachShader(program, fragment);
        gl.linkProgram(program);
        GLint linked = 1;
        gl.getProgramiv(program, GL_LINK_STATUS, &linked);
        if (linked == 0) {
            *failure = StageFailure::Link;
            gl.getProgramInfoLog(program, logSize, nullptr, log);
            gl.deleteProgram(program);
            program = 0;
        }
    } else {
        // The vertex stage's log wins when both fail.
        *failure = vertexOk == 0 ? StageFailure::Vertex : StageFailure::Fragment;
        gl.getShaderInfoLog(vertexOk == 0 ? vertex : fragment, logSize, nullptr, log);
    }
    // A linked program keeps its attached stages alive.
    gl.deleteShader(vertex);
    gl.deleteShader(fragment);
    log[logSize - 1] = '\0';
    if (*failure != StageFailure::None)
        describeFailure(*failure, log, logSize);
    return program;
}

void buildSceneProgramFrom(const char* vertexSource, const char* fragmentSource) {
    StageFailure failure = StageFailure::None;
    GLuint program =
        compileAndLinkStages(vertexSource, fragmentSource, compileLog, COMPILE_LOG_SIZE, &failure);
    if (failure != StageFailure::None) {
        // The report goes to the debugger output; the program's title shows it too (showCompileLogInTitle).
        writeDebugOutput(compileLog);
        shaderErrorFlag = true;
    }
    useSceneProgram(program);
}

void useSceneProgram(GLuint program) {
    sceneProgram = program;
    gl.useProgram(program);

    for (const UniformSlot& slot : UNIFORM_SLOTS)
        uniforms.*slot.location = gl.getUniformLocation(program, slot.name);
    gl.uniform1i(uniforms.uText, 0);
    forgetTrackValues();
}

void buildSceneProgram() {
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, SCENE_FRAGMENT_SOURCE);
}
