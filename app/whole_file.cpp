// A temporary beside the target, renamed over it once complete.
#include "app/whole_file.h"

#include "app/own_writes.h"

#include <cstdio>
#include <system_error>

bool writeWholeFile(const std::filesystem::path& path, const void* bytes, size_t size, std::string* problem) {
    const std::filesystem::path partial = path.string() + ".partial";
    FILE* file = std::fopen(partial.string().c_str(), "wb");
    if (file == nullptr) {
        *problem = "cannot create " + partial.string();
        return false;
    }
    const bool wrote = std::fwrite(bytes, 1, size, file) == size;
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
    rememberOwnWrite(path);
    return true;
}
