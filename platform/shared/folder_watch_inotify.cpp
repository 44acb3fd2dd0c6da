// Folder watch on Linux: one inotify descriptor, read without waiting.
#include "platform/folder_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

static int watcher = -1;

bool watchFolder(const char* folder) {
    if (watcher < 0)
        watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watcher < 0)
        return false;
    const uint32_t events = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                            IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
    return inotify_add_watch(watcher, folder, events) >= 0;
}

bool folderChanged() {
    if (watcher < 0)
        return false;
    // Only whether anything happened matters; the events themselves are drained and dropped.
    alignas(inotify_event) char events[4096];
    bool changed = false;
    while (read(watcher, events, sizeof events) > 0)
        changed = true;
    return changed;
}
