// Builds the scene program from the two embedded stages and looks up its uniforms.
#pragma once
#include "render/gl_api.h"

struct UniformTable {
    GLint iResolution, iTime, iBeat, iBeatHalf, iZoom, iDepth, iFocus, uNodes, uNodeCount, iCam, iFractal,
        iSpider, iFScale, iCamPos, uText;
};

constexpr int UNIFORM_COUNT = 15;
constexpr int COMPILE_LOG_SIZE = 2048;

// The names in lookup order; entry i fills the i-th member of UniformTable.
extern const char* const UNIFORM_NAMES[UNIFORM_COUNT];

extern UniformTable uniforms;
extern GLuint sceneProgram;
// Set for good when a stage fails to compile: the title then keeps the compile log.
extern bool shaderErrorFlag;
extern char compileLog[COMPILE_LOG_SIZE];

// Builds from the embedded stage sources.
void buildSceneProgram();
// Builds from the given sources: the program, the uniform table, uText = 0, the error report.
void buildSceneProgramFrom(const char* vertexSource, const char* fragmentSource);

// Which part of a stage pair failed to build.
enum class StageFailure { None, Vertex, Fragment, Link };

// Compiles and links two stage texts. Returns the program, or 0 with the failing part's log in `log` (the
// vertex stage's when both fail). Leaves the current program and the uniform table alone.
GLuint compileAndLinkStages(const char* vertexSource, const char* fragmentSource, char* log, int logSize,
                            StageFailure* failure);

// Makes `program` the scene program: current, its uniform table looked up, uText on unit 0.
void useSceneProgram(GLuint program);
