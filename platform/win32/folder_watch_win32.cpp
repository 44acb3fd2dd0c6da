// Folder watch on Windows: a change notification handle, tested without waiting.
#include "platform/folder_watch.h"

#include <windows.h>

static HANDLE notification = INVALID_HANDLE_VALUE;

bool watchFolder(const char* folder) {
    notification = FindFirstChangeNotificationA(folder, FALSE,
                                                FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                                    FILE_NOTIFY_CHANGE_SIZE);
    return notification != INVALID_HANDLE_VALUE;
}

bool folderChanged() {
    if (notification == INVALID_HANDLE_VALUE)
        return false;
    bool changed = false;
    while (WaitForSingleObject(notification, 0) == WAIT_OBJECT_0) {
        changed = true;
        if (!FindNextChangeNotification(notification))
            break;
    }
    return changed;
}
