// Finding and reading the stage files of a shaders folder.
#include "render/stage_files.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

const char* const VERTEX_STAGE_FILE = "scene.vert";
const char* const FRAGMENT_STAGE_FILE = "scene.frag";

static std::filesystem::path stagePath(const char* folder, const char* name) {
    return std::filesystem::path(folder) / name;
}

bool stageFolderComplete(const char* folder, char* missing, size_t missingSize) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::snprintf(missing, missingSize, "no such folder");
        return false;
    }
    for (const char* name : {VERTEX_STAGE_FILE, FRAGMENT_STAGE_FILE}) {
        if (!std::filesystem::is_regular_file(stagePath(folder, name), error)) {
            std::snprintf(missing, missingSize, "the folder has no %s", name);
            return false;
        }
    }
    return true;
}

bool readStageFile(const char* folder, const char* name, std::string* text) {
    std::FILE* file = std::fopen(stagePath(folder, name).string().c_str(), "rb");
    if (file == nullptr)
        return false;
    text->clear();
    char block[4096];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        text->append(block, got);
    bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}
