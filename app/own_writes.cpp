// The demo's own writes, remembered by path with the state each file was left in.
#include "app/own_writes.h"

#include <system_error>

namespace {
std::map<std::string, std::string> ownWrites; // absolute path -> state after the write
}

static std::string key(const std::filesystem::path& file) {
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(file, error);
    return (error ? file : whole).lexically_normal().string();
}

std::string fileState(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error)
        return std::string();
    const auto time = std::filesystem::last_write_time(file, error);
    return std::to_string(size) + ' ' +
           std::to_string(error ? 0 : static_cast<long long>(time.time_since_epoch().count()));
}

std::map<std::string, std::string> folderFileStates(const std::filesystem::path& folder) {
    std::map<std::string, std::string> states;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        states[entry->path().filename().string()] = fileState(entry->path());
    return states;
}

void rememberOwnWrite(const std::filesystem::path& file) {
    ownWrites[key(file)] = fileState(file);
}

void rememberOwnWritesSince(const std::filesystem::path& folder,
                            const std::map<std::string, std::string>& before) {
    for (const auto& [name, state] : folderFileStates(folder)) {
        const auto was = before.find(name);
        if (was == before.end() || was->second != state)
            ownWrites[key(folder / name)] = state;
    }
}

bool isOwnWrite(const std::filesystem::path& file, const std::string& state) {
    const auto found = ownWrites.find(key(file));
    return found != ownWrites.end() && !state.empty() && found->second == state;
}
