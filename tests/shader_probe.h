// Shader probes: the real fragment stage with its entry point renamed, followed by probe code with its own
// main, drawn into a float framebuffer so that values come back unclamped and unquantised.
#pragma once
#include <array>
#include <string>
#include <vector>

using Vec4 = std::array<float, 4>;

// Uniform values of one probe draw; the rest stay at their linked value 0.
struct ProbeUniforms {
    float time = 0.f;
    float beat = 0.f;
    float beatHalf = 0.f;
    float resolutionX = 1.f;
    float resolutionY = 1.f;
};

// The scene's fragment source, with the track names put in as the program compiles it, and with
// "#define main sceneMain" after its "#version" line, then "#undef main"
// and `probeCode`, which must define main and write O.
std::string probeSource(const std::string& probeCode);

// Builds a program from the scene's vertex stage and the probe source. `probeCode` defines
// `vec4 probe(int i)`; the appended main writes probe(pixel column) to O. Fails the test and returns 0 when
// either stage does not compile or the program does not link; the message holds the log.
unsigned buildProbeProgram(const std::string& probeCode);
// The same with probe code that brings its own main (for instance one that calls sceneMain).
unsigned buildProbeProgramWithMain(const std::string& probeCodeWithMain);

// Draws the program over a width x height RGBA32F target with the uniforms set; returns the values row by
// row, bottom row first (row y holds gl_FragCoord.y = y + .5).
std::vector<Vec4> runProbe(unsigned program, int width, int height, const ProbeUniforms& uniforms);
// One row of `cases` pixels: element i is probe(i).
std::vector<Vec4> runProbeCases(unsigned program, int cases, const ProbeUniforms& uniforms = {});
