// The two stage files of a shaders folder, as an author edits them.
#pragma once
#include <cstddef>
#include <string>

extern const char* const VERTEX_STAGE_FILE;   // "scene.vert"
extern const char* const FRAGMENT_STAGE_FILE; // "scene.frag"
// Room for a separator and the longer of the two names.
constexpr int STAGE_NAME_ROOM = 16;

// True when `folder` is a folder holding both stage files; otherwise says what is missing in `missing`.
bool stageFolderComplete(const char* folder, char* missing, size_t missingSize);

// The whole text of folder/name; false when it cannot be read.
bool readStageFile(const char* folder, const char* name, std::string* text);
