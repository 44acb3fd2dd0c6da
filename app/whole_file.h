// Files that author mode writes into a watched folder: whole or not at all.
#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

// Writes `size` bytes under a temporary name beside `path`, then renames it over `path`: an editor or the
// folder's watch never sees half a file. False, with the reason in `why`, leaving nothing behind.
bool writeWholeFile(const std::filesystem::path& path, const void* bytes, size_t size, char* why,
                    size_t whySize);
