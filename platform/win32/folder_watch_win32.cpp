// Folder watch on Windows: a change notification handle, tested without waiting. A handle follows its
// folder when that is renamed, and one whose folder is deleted may stay signalled for good; so the path is
// checked too, a few times a second: a folder gone from it closes the handle, and a folder found there
// again (the same or a new one) is watched afresh.
#include "platform/folder_watch.h"

#include <windows.h>

#include <string>

constexpr DWORD IDENTITY_CHECK_MS = 250;

struct FolderIdentity {
    DWORD volume, indexHigh, indexLow;
};

static HANDLE notification = INVALID_HANDLE_VALUE;
static std::string watchedPath;
static FolderIdentity watchedIdentity = {0, 0, 0};
static DWORD lastCheckTick = 0;

// The folder now at the path; false when there is none.
static bool identityAtPath(FolderIdentity* identity) {
    HANDLE folder =
        CreateFileA(watchedPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    bool known = GetFileInformationByHandle(folder, &info) != 0 &&
                 (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(folder);
    *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return known;
}

static bool sameFolder(const FolderIdentity& a, const FolderIdentity& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

static void closeNotification() {
    if (notification != INVALID_HANDLE_VALUE)
        FindCloseChangeNotification(notification);
    notification = INVALID_HANDLE_VALUE;
}

static bool openNotification() {
    closeNotification();
    if (!identityAtPath(&watchedIdentity))
        return false;
    notification = FindFirstChangeNotificationA(watchedPath.c_str(), FALSE,
                                                FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                                    FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE |
                                                    FILE_NOTIFY_CHANGE_ATTRIBUTES);
    return notification != INVALID_HANDLE_VALUE;
}

bool watchFolder(const char* folder) {
    watchedPath = folder;
    lastCheckTick = GetTickCount();
    return openNotification();
}

bool folderChanged() {
    if (watchedPath.empty())
        return false;
    bool changed = false;
    if (notification != INVALID_HANDLE_VALUE && WaitForSingleObject(notification, 0) == WAIT_OBJECT_0) {
        changed = true;
        if (!FindNextChangeNotification(notification))
            closeNotification();
    }
    DWORD now = GetTickCount();
    if (!changed && now - lastCheckTick < IDENTITY_CHECK_MS)
        return false;
    // After a signal (it may be the folder's own end) and now and then: is the watched folder still there?
    lastCheckTick = now;
    FolderIdentity atPath = {0, 0, 0};
    bool present = identityAtPath(&atPath);
    if (notification != INVALID_HANDLE_VALUE && present && sameFolder(atPath, watchedIdentity))
        return changed;
    // Gone (said once, not at every call while it stays gone), or another folder in its place: stop watching
    // the old one, and watch the new one if there is.
    bool wasWatching = notification != INVALID_HANDLE_VALUE;
    closeNotification();
    if (present && openNotification())
        return true;
    return changed || wasWatching;
}
