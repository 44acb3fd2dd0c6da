// Folder watch on Linux: one inotify descriptor, read without waiting. The watch is on the folder's path:
// when the folder is deleted or renamed away it is dropped, and taken up again on whatever folder is made
// at that path later.
#include "platform/folder_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <string>

static int watcher = -1;
static int watch = -1; // -1 while the folder is missing
static std::string watchedPath;

static bool addWatch() {
    const uint32_t events = IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                            IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    watch = inotify_add_watch(watcher, watchedPath.c_str(), events);
    return watch >= 0;
}

bool watchFolder(const char* folder) {
    if (watcher < 0)
        watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watcher < 0)
        return false;
    if (watch >= 0)
        inotify_rm_watch(watcher, watch);
    watchedPath = folder;
    return addWatch();
}

bool folderChanged() {
    if (watcher < 0)
        return false;
    alignas(inotify_event) char events[4096];
    bool changed = false;
    ssize_t got = 0;
    while ((got = read(watcher, events, sizeof events)) > 0) {
        changed = true;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            // The folder itself went (a renamed folder is still watched where it went): drop the watch.
            if (event->wd == watch && (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
                inotify_rm_watch(watcher, watch);
                watch = -1;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    // While the folder is missing, every call looks for a new one at its path; finding it is a change.
    if (watch < 0 && !watchedPath.empty() && addWatch())
        changed = true;
    return changed;
}
