// Files this run wrote itself into folders it also watches: each one's size and time right after the write,
// so that a watch tells the demo's own write (a sync editor's save, a seeded folder) from someone else's
// change, whatever the file is called.
#pragma once
#include <filesystem>
#include <map>
#include <string>

// A file's size and time as text ("SIZE TIME"); "" when it is not there.
std::string fileState(const std::filesystem::path& file);
// Every file directly in `folder`, by name, with its state; empty without the folder.
std::map<std::string, std::string> folderFileStates(const std::filesystem::path& folder);

// Notes `file` as written by this run, as it stands now.
void rememberOwnWrite(const std::filesystem::path& file);
// Notes every file in `folder` whose state is not the one in `before` (taken just before this run wrote
// there), for writers that do not name what they write.
void rememberOwnWritesSince(const std::filesystem::path& folder,
                            const std::map<std::string, std::string>& before);
// True when `file` is, in `state`, just as this run last wrote it.
bool isOwnWrite(const std::filesystem::path& file, const std::string& state);
