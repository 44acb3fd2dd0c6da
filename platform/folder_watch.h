// Author mode: notice changes in one folder (files written, created, renamed or removed), so that editors
// that save by writing a new file and renaming it over the old one are seen too.
#pragma once

// Starts watching `folder`; false when the system cannot watch it.
bool watchFolder(const char* folder);

// True when something changed in the folder since the last call. Never waits.
bool folderChanged();
