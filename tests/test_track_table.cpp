// The track table as the rest of the program sees it: every track read by its name in a stage lands on the
// value its keys give, through the real frame pass and driver; a stage keeps its own line numbers with the
// names put in; and the authoring document lists the table's tracks in its order.
#define GL_GLEXT_PROTOTYPES 1
#include "app/frame_loop.h"
#include "platform/headless/headless.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "sync/sync_tracks.h"
#include "tests/build_paths.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

static const char* const STAGE_NAMES[SYNC_TRACK_COUNT] = {
#define SYNC_TRACK(id, name, slot, fallback, meaning) "TRACK_" #id,
#include "sync/track_table.h"
#undef SYNC_TRACK
};

TEST(TrackTable, EachTrackReadByItsNameInAStageIsItsKeyedValue) {
    openTestContext(4, 4);
    // Every track keyed to its own value, so that a name bound to the wrong slot shows another's.
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        ASSERT_EQ(setSyncKey(track, 0, static_cast<float>(track + 1) / 32.f, SYNC_STEP), SYNC_KEY_ADDED);
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        const std::string fragment = std::string("#version 330\nuniform vec3 iTrack[TRACK_VECTORS];\n") +
                                     "out vec4 O;\nvoid main() { O = vec4(" + STAGE_NAMES[track] +
                                     ", 0., 0., 1.); }\n";
        buildSceneProgramFrom(SCENE_VERTEX_SOURCE, fragment.c_str());
        ASSERT_FALSE(shaderErrorFlag) << compileLog;
        setHeadlessSoundPosition(10 * 44100);
        runFramePass();
        const Rgba pixel = pixelAt(readHeadlessPixels(), 4, 2, 2);
        EXPECT_LE(std::abs(pixel.r - (track + 1) * 255 / 32), 1) << STAGE_NAMES[track];
    }
}

TEST(TrackTable, AStageKeepsItsLineNumbersWithTheNamesPutIn) {
    openTestContext(4, 4);
    buildSceneProgramFrom(
        SCENE_VERTEX_SOURCE,
        "#version 330\nout vec4 O;\n\nvoid main() {\n    O = vec4(mistakeOnLineFive);\n}\n");
    ASSERT_TRUE(shaderErrorFlag);
    const std::string log = compileLog;
    EXPECT_NE(log.find("0:5("), std::string::npos) << log;
    // A stage without a version line gets the names first and keeps its numbers too.
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE,
                          "\nvoid main() {\n    gl_FragColor = vec4(mistakeOnLineThree);\n}\n");
    EXPECT_NE(std::string(compileLog).find("0:3("), std::string::npos) << compileLog;
    // Comments and blank lines may come before the version line: the names go after it all the same.
    const char* const LED = "// the scene\n\n/* two\n lines */ #version 330\nuniform vec3 iTrack[TRACK_VECTORS];\nout vec4 O;\n"
                            "void main() { O = vec4(TRACK_HERO_FOLD); }\n";
    shaderErrorFlag = false;
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, LED);
    EXPECT_FALSE(shaderErrorFlag) << compileLog;
    EXPECT_NE(sceneProgram, 0u);
    buildSceneProgramFrom(SCENE_VERTEX_SOURCE, "\n// the scene\n# version 330\nout vec4 O;\n\nvoid main() {\n"
                                               "    O = vec4(mistakeOnLineSeven);\n}\n");
    EXPECT_NE(std::string(compileLog).find("0:7("), std::string::npos) << compileLog;
}

TEST(TrackTable, TheAuthoringDocumentListsEveryTrackInTableOrder) {
    std::ifstream in(std::string(sourceDir()) + "/docs/authoring.md");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t start = text.find("| Track | Meaning of its value |");
    ASSERT_NE(start, std::string::npos);
    const size_t end = text.find("\n\n", start);
    const std::string list = text.substr(start, end - start);
    // The names in the list's first column, in order.
    std::vector<std::string> listed;
    const std::regex row("\n\\| ([^|]*)\\|");
    const std::regex name("`([a-z]+:[a-z.]+)`");
    for (auto r = std::sregex_iterator(list.begin(), list.end(), row); r != std::sregex_iterator(); ++r) {
        const std::string cell = (*r)[1];
        for (auto n = std::sregex_iterator(cell.begin(), cell.end(), name); n != std::sregex_iterator(); ++n)
            listed.push_back((*n)[1]);
    }
    ASSERT_EQ(listed.size(), static_cast<size_t>(SYNC_TRACK_COUNT));
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        EXPECT_EQ(listed[track], SYNC_TRACK_NAMES[track]);
}
