// A page reads no folders: the stages are the ones built into the module.
#include "platform/folder_watch.h"

bool watchFolder(const char*) {
    return false;
}

bool folderChanged() {
    return false;
}
