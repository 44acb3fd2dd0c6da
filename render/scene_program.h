// Builds the scene program from the two embedded stages and looks up its uniforms.
#pragma once
#include "render/gl_api.h"
#include <cstddef>

struct UniformTable {
    GLint iResolution, iTime, iBeat, iBeatHalf, iZoom, iDepth, iFocus, uNodes, uNodeCount, iCam, iFractal,
        iSpider, iFScale, iCamPos, uText;
};

constexpr int UNIFORM_COUNT = 15;
constexpr int COMPILE_LOG_SIZE = 2048;

// The names in lookup order, each with the member of UniformTable that its location fills.
struct UniformSlot {
    const char* name;
    GLint UniformTable::*location;
};
extern const UniformSlot UNIFORM_SLOTS[UNIFORM_COUNT];

extern UniformTable uniforms;
extern GLuint sceneProgram;
// Set for good when a stage fails to compile or the stages fail to link: the report is then in compileLog.
extern bool shaderErrorFlag;
extern char compileLog[COMPILE_LOG_SIZE];

// Builds from the embedded stage sources.
void buildSceneProgram();
// Builds from the given sources: the program, the uniform table, uText = 0, the error report. A failed
// build leaves no program (0) and the report in compileLog: the driver's log, introduced by the failed
// stage's name for a link failure, or that name alone when the driver gave no log.
void buildSceneProgramFrom(const char* vertexSource, const char* fragmentSource);

// Reports used when a build fails; a compile log of the driver's own stands alone.
constexpr const char* LINK_FAILURE_REPORT = "Link stage: the vertex and fragment stages do not link";
constexpr const char* NO_LOG_REPORT = " (the driver gave no log)";

// Which part of a stage pair failed to build.
enum class StageFailure { None, Vertex, Fragment, Link };

// Compiles and links two stage texts, each with the track names put in (withTrackNames). Returns the program,
// or 0 with the failing part's log in `log` (the vertex stage's when both fail). Leaves the current program
// and the uniform table alone.
GLuint compileAndLinkStages(const char* vertexSource, const char* fragmentSource, char* log, size_t logSize,
                            StageFailure* failure);

// Makes `program` the scene program: current, its uniform table looked up, uText on unit 0.
void useSceneProgram(GLuint program);
