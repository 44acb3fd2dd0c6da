// Seeds author mode's default stage folder with the stages the executable carries.
#include "app/author_stage_folder.h"

#include "app/whole_file.h"

#include "render/stage_files.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

const char* const DEFAULT_SHADERS_FOLDER = "shaders";

bool writeMissingStages(const char* folder, const char* vertexText, const char* fragmentText,
                        std::string* written, char* why, size_t whySize) {
    written->clear();
    std::error_code error;
    const std::filesystem::path base(folder);
    if (!std::filesystem::is_directory(base, error)) {
        std::filesystem::create_directories(base, error);
        if (error) {
            std::snprintf(why, whySize, "cannot make the folder %s: %s", base.string().c_str(),
                          error.message().c_str());
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
        if (!writeWholeFile(path, stage.text, std::strlen(stage.text), why, whySize))
            return false;
        if (!written->empty())
            *written += ' ';
        *written += stage.name;
    }
    return true;
}
