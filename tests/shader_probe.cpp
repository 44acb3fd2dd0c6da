// Shader probe harness over the headless EGL context.
#define GL_GLEXT_PROTOTYPES 1
#include "tests/shader_probe.h"

#include "render/shader_sources.h"
#include "render/stage_track_names.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

std::string probeSource(const std::string& probeCode) {
    std::string source = withTrackNames(SCENE_FRAGMENT_SOURCE);
    size_t lineEnd = source.find('\n');
    EXPECT_EQ(source.compare(0, 12, "#version 330"), 0) << "the stage must start with its version line";
    source.insert(lineEnd + 1, "#define main sceneMain\n");
    source += "\n#undef main\n";
    source += probeCode;
    source += "\n";
    return source;
}

static GLuint compileStage(GLenum type, const std::string& source, std::string* log) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char buffer[4096] = {};
        glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
        *log = buffer;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

unsigned buildProbeProgramWithMain(const std::string& probeCodeWithMain) {
    std::string log;
    GLuint vertex = compileStage(GL_VERTEX_SHADER, SCENE_VERTEX_SOURCE, &log);
    GLuint fragment = compileStage(GL_FRAGMENT_SHADER, probeSource(probeCodeWithMain), &log);
    if (vertex == 0 || fragment == 0) {
        ADD_FAILURE() << "probe does not compile:\n" << log;
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        char buffer[4096] = {};
        glGetProgramInfoLog(program, sizeof buffer, nullptr, buffer);
        ADD_FAILURE() << "probe does not link:\n" << buffer;
        return 0;
    }
    return program;
}

unsigned buildProbeProgram(const std::string& probeCode) {
    return buildProbeProgramWithMain(probeCode + "\nvoid main() { O = probe(int(gl_FragCoord.x)); }\n");
}

std::vector<Vec4> runProbe(unsigned program, int width, int height, const ProbeUniforms& uniforms) {
    std::vector<Vec4> values(static_cast<size_t>(width) * height, Vec4{0.f, 0.f, 0.f, 0.f});
    if (program == 0)
        return values;
    static GLuint framebuffer = 0, target = 0;
    if (framebuffer == 0) {
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &target);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, target);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, target);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));

    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "iResolution"), uniforms.resolutionX, uniforms.resolutionY);
    glUniform1f(glGetUniformLocation(program, "iTime"), uniforms.time);
    glUniform1f(glGetUniformLocation(program, "iBeat"), uniforms.beat);
    glUniform1f(glGetUniformLocation(program, "iBeatHalf"), uniforms.beatHalf);
    glUniform1i(glGetUniformLocation(program, "uText"), 0);

    glViewport(0, 0, width, height);
    glClearColor(-7.f, -7.f, -7.f, -7.f); // a pixel the probe never wrote stands out
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, values.data());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return values;
}

std::vector<Vec4> runProbeCases(unsigned program, int cases, const ProbeUniforms& uniforms) {
    return runProbe(program, cases, 1, uniforms);
}
