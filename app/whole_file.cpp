// A temporary beside the target, renamed over it once complete.
#include "app/whole_file.h"

#include "app/own_writes.h"

#include <cstdio>
#include <system_error>

bool writeWholeFile(const std::filesystem::path& path, const void* bytes, size_t size, char* why,
                    size_t whySize) {
    const std::filesystem::path partial = path.string() + ".partial";
    FILE* file = std::fopen(partial.string().c_str(), "wb");
    if (file == nullptr) {
        std::snprintf(why, whySize, "cannot create %s", partial.string().c_str());
        return false;
    }
    const bool wrote = std::fwrite(bytes, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    std::error_code error;
    if (!wrote || !closed) {
        std::filesystem::remove(partial, error);
        std::snprintf(why, whySize, "cannot write %s", partial.string().c_str());
        return false;
    }
    std::filesystem::rename(partial, path, error);
    if (error) {
        std::filesystem::remove(partial, error);
        std::snprintf(why, whySize, "cannot rename %s to %s", partial.string().c_str(),
                      path.string().c_str());
        return false;
    }
    rememberOwnWrite(path);
    return true;
}
