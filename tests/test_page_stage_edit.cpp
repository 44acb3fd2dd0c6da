// The page's stage editing: the run-time GLSL ES conversion is the build's own (cmake/GlslEs.cmake), byte
// for byte; a compiler's line in the converted text maps back to the author's; the three drivers' log forms
// are read for their lines; and on the headless context an edited text builds and counts, while a broken
// one keeps the program and lists its errors at the author's lines.
#define GL_GLEXT_PROTOTYPES 1
#include "app/page_stage_edit.h"
#include "render/glsl_es.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "render/stage_log_lines.h"
#include "render/stage_reloader.h"
#include "tests/build_paths.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines{""}; // numbered from 1
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// What the build's conversion makes of `desktop`; empty when it refuses the text.
std::string buildsConversion(const std::string& desktop) {
    const fs::path dir = fs::temp_directory_path() / ("doz-glsl-es-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "in.frag", std::ios::binary) << desktop;
    const std::string command = std::string("\"") + cmakePath() + "\" -DINPUT=" + (dir / "in.frag").string() +
                                " -DOUTPUT=" + (dir / "out.frag").string() + " -P " + sourceDir() +
                                "/cmake/GlslEs.cmake > /dev/null 2>&1";
    const bool converted = std::system(command.c_str()) == 0;
    std::string es = converted ? readText(dir / "out.frag") : "";
    fs::remove_all(dir);
    return es;
}

} // namespace

TEST(GlslEs, TheRunTimeConversionIsTheBuildsAndItsLinesMapBack) {
    for (const char* stage : {"scene.frag", "scene.vert"}) {
        const std::string desktop = readText(fs::path(sourceDir()) / "shaders" / stage);
        std::string es;
        ASSERT_TRUE(glslEsFromDesktop(desktop.c_str(), &es)) << stage;
        EXPECT_EQ(es, buildsConversion(desktop)) << stage << ": the page would compile another text";
        // Every line of the ES form past its head is the author's line it maps to.
        const std::vector<std::string> authors = linesOf(desktop), converted = linesOf(es);
        ASSERT_EQ(converted.size(), authors.size() + ES_PRECISION_LINES);
        for (size_t line = 2 + ES_PRECISION_LINES; line < converted.size(); ++line)
            ASSERT_EQ(converted[line], authors[authorLineOfEsLine(static_cast<int>(line))])
                << stage << ":" << line;
        EXPECT_EQ(authorLineOfEsLine(3), 1) << "the head is the version line's";
    }
    // Spaces around the version line are the build's too; other versions are refused by both.
    const std::string spaced = "  #version 330 \t\nvoid main() {}\n";
    std::string es;
    ASSERT_TRUE(glslEsFromDesktop(spaced.c_str(), &es));
    EXPECT_EQ(es, buildsConversion(spaced));
    for (const std::string refused :
         {"#version 450\nvoid main() {}\n", "void main() {}\n", "#version 3300\n"}) {
        es = "untouched";
        EXPECT_FALSE(glslEsFromDesktop(refused.c_str(), &es)) << refused;
        EXPECT_EQ(es, "untouched");
        EXPECT_EQ(buildsConversion(refused), "") << refused;
    }
}

TEST(StageLogLines, TheDriversLogFormsAreReadAndRewritten) {
    const char* log = "WARNING: 0:3: 'x' : unused\n"
                      "ERROR: 0:12: 'oops' : undeclared identifier\n"
                      "0:40(7): error: `oops' undeclared\n"
                      "0(57) : error C1008: undefined variable \"oops\"\n"
                      "ERROR: 3 compilation errors.  No code generated.\n";
    const std::vector<StageLogError> errors = stageLogErrors(log);
    ASSERT_EQ(errors.size(), 3u) << "warnings, and errors at no line, mark nothing";
    EXPECT_EQ(errors[0].line, 12);
    EXPECT_EQ(errors[0].message, "ERROR: 0:12: 'oops' : undeclared identifier");
    EXPECT_EQ(errors[1].line, 40);
    EXPECT_EQ(errors[2].line, 57);
    EXPECT_EQ(withAuthorLines(log, authorLineOfEsLine), "WARNING: 0:1: 'x' : unused\n"
                                                        "ERROR: 0:9: 'oops' : undeclared identifier\n"
                                                        "0:37(7): error: `oops' undeclared\n"
                                                        "0(54) : error C1008: undefined variable \"oops\"\n"
                                                        "ERROR: 3 compilation errors.  No code generated.\n");
    LogLocation location{};
    EXPECT_FALSE(findLogLocation("error: 12 things at 3 places", &location)) << "numbers that name no line";
}

TEST(PageStageEdit, AGoodTextCountsABrokenOneKeepsTheProgramAndListsItsLines) {
    // The page's program: both stages in their ES form, which Mesa's desktop contexts take too.
    std::string vertex, fragment;
    ASSERT_TRUE(glslEsFromDesktop(SCENE_VERTEX_SOURCE, &vertex));
    ASSERT_TRUE(glslEsFromDesktop(SCENE_FRAGMENT_SOURCE, &fragment));
    openTestContext(4, 4);
    buildSceneProgramFrom(vertex.c_str(), fragment.c_str());
    ASSERT_FALSE(shaderErrorFlag);
    startPageStageEditing(vertex.c_str(), fragment.c_str());
    const GLuint builtIn = sceneProgram;

    // A mistake on the author's line 4, as the page compiles it: converted, then named by the driver.
    const std::string broken = "#version 330\nout vec4 O;\nvoid main() {\n    O = vec4(oops);\n}\n";
    EXPECT_FALSE(buildPageFragmentStage(broken.c_str()));
    EXPECT_EQ(sceneProgram, builtIn) << "the last good program runs on";
    const std::string errors = pageStageErrorList();
    EXPECT_EQ(errors.substr(0, 2), "4\t") << errors;
    EXPECT_NE(std::string(stageReloader.failure).find("0:4"), std::string::npos) << stageReloader.failure;
    EXPECT_EQ(pageStageReloads(), 0);

    const std::string good = "#version 330\nout vec4 O;\nvoid main() {\n    O = vec4(1.);\n}\n";
    EXPECT_TRUE(buildPageFragmentStage(good.c_str()));
    EXPECT_NE(sceneProgram, builtIn);
    EXPECT_EQ(pageStageErrorList(), "");
    EXPECT_FALSE(stageReloader.failed);
    EXPECT_EQ(pageStageReloads(), 1);

    EXPECT_FALSE(buildPageFragmentStage("#version 450\nvoid main() {}\n"));
    EXPECT_EQ(pageStageErrorList().substr(0, 2), "1\t")
        << "a text the page cannot convert is refused at its first line";
    EXPECT_EQ(pageStageReloads(), 1);
}
