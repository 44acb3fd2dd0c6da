// Seeds author mode's default stage folder with the stages the executable carries.
#include "app/author_stage_folder.h"

#include "render/stage_files.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

const char* const DEFAULT_SHADERS_FOLDER = "shaders";

// Writes the whole text under a temporary name, then renames it: an editor or the watch never sees half.
static bool writeStage(const std::filesystem::path& path, const char* text, std::string* problem) {
    const std::filesystem::path partial = path.string() + ".partial";
    FILE* file = std::fopen(partial.string().c_str(), "wb");
    if (file == nullptr) {
        *problem = "cannot create " + partial.string();
        return false;
    }
    const std::string content(text);
    const bool wrote = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    const bool closed = std::fclose(file) == 0;
    std::error_code error;
    if (!wrote || !closed) {
        std::filesystem::remove(partial, error);
        *problem = "cannot write " + partial.string();
        return false;
    }
    std::filesystem::rename(partial, path, error);
    if (error) {
        std::filesystem::remove(partial, error);
        *problem = "cannot rename " + partial.string() + " to " + path.string();
        return false;
    }
    return true;
}

bool writeMissingStages(const char* folder, const char* vertexText, const char* fragmentText,
                        std::string* written, std::string* problem) {
    written->clear();
    std::error_code error;
    const std::filesystem::path base(folder);
    if (!std::filesystem::is_directory(base, error)) {
        std::filesystem::create_directories(base, error);
        if (error) {
            *problem = "cannot make the folder " + base.string() + ": " + error.message();
            return false;
        }
    }
    const struct {
        const char* name;
        const char* text;
    } stages[] = {{VERTEX_STAGE_FILE, vertexText}, {FRAGMENT_STAGE_FILE, fragmentText}};
    for (const auto& stage : stages) {
        const std::filesystem::path path = base / stage.name;
        if (std::filesystem::exists(path, error))
            continue;
        if (!writeStage(path, stage.text, problem))
            return false;
        if (!written->empty())
            *written += ' ';
        *written += stage.name;
    }
    return true;
}
