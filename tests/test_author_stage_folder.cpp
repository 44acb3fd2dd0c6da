// Author mode's default stage folder: made and filled from the built-in stages, never overwriting an
// author's file, and a clear reason when it cannot be written.
#include "app/author_stage_folder.h"

#include "render/stage_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(AuthorStageFolder, WritesWhatIsMissingAndKeepsWhatIsThere) {
    const std::filesystem::path base = std::filesystem::path(testing::TempDir()) / "doz_stage_folder";
    std::filesystem::remove_all(base);
    const std::string folder = (base / "shaders").string();
    std::string written;
    char problem[512] = "";
    ASSERT_TRUE(
        writeMissingStages(folder.c_str(), "vertex text", "fragment text", &written, problem, sizeof problem))
        << problem;
    EXPECT_EQ(written, "scene.vert scene.frag");
    EXPECT_EQ(readAll(base / "shaders" / "scene.vert"), "vertex text");
    EXPECT_EQ(readAll(base / "shaders" / "scene.frag"), "fragment text");
    char missing[64];
    EXPECT_TRUE(stageFolderComplete(folder.c_str(), missing, sizeof missing));

    // The author's edit stays; only the removed stage comes back; nothing half-written is left.
    std::ofstream(base / "shaders" / "scene.frag", std::ios::binary) << "edited";
    std::filesystem::remove(base / "shaders" / "scene.vert");
    ASSERT_TRUE(
        writeMissingStages(folder.c_str(), "vertex text", "fragment text", &written, problem, sizeof problem))
        << problem;
    EXPECT_EQ(written, "scene.vert");
    EXPECT_EQ(readAll(base / "shaders" / "scene.frag"), "edited");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(base / "shaders"), {}), 2);

    // A folder that cannot be made: a file stands in its place.
    const std::string blocked = (base / "shaders" / "scene.frag" / "inner").string();
    EXPECT_FALSE(writeMissingStages(blocked.c_str(), "v", "f", &written, problem, sizeof problem));
    EXPECT_NE(std::string(problem).find("cannot make the folder"), std::string::npos) << problem;
    std::filesystem::remove_all(base);
}

} // namespace
