// Temporary outputs beside their targets, renamed into place when complete.
#include "capture/output_file.h"

#include "capture/interrupt.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string describeError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

static std::string temporaryBeside(const std::string& target) {
    size_t slash = target.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + ".partial-XXXXXX";
}

bool beginOutput(const std::string& target, bool folder, int slot, PendingOutput* out, std::string* why) {
    out->target = target;
    out->folder = folder;
    out->slot = slot;
    out->temp.clear();
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) {
        if (folder) {
            *why = "cannot write '" + target + "': it already exists";
            return false;
        }
        if (S_ISDIR(existing.st_mode)) {
            *why = "cannot write '" + target + "': it is a folder";
            return false;
        }
    }
    if (!target.empty() && target.back() == '/' && !folder) {
        *why = "cannot write '" + target + "': it names a folder";
        return false;
    }
    std::string temp =
        temporaryBeside(folder && target.back() == '/' ? target.substr(0, target.size() - 1) : target);
    std::vector<char> buffer(temp.begin(), temp.end());
    buffer.push_back('\0');
    if (folder) {
        if (mkdtemp(buffer.data()) == nullptr) {
            *why = describeError("cannot write '" + target + "'");
            return false;
        }
    } else {
        int fd = mkstemp(buffer.data());
        if (fd < 0) {
            *why = describeError("cannot write '" + target + "'");
            return false;
        }
        close(fd);
    }
    out->temp = buffer.data();
    if (folder)
        registerAbandonFolder(out->temp.c_str(), nullptr);
    else
        registerAbandonFile(slot, out->temp.c_str());
    return true;
}

// No signal may abandon the run between the rename and forgetting the temporary.
static void blockInterrupts(bool block) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

static void forget(PendingOutput* out) {
    if (out->folder)
        registerAbandonFolder(nullptr, nullptr);
    else
        registerAbandonFile(out->slot, nullptr);
    out->temp.clear();
}

bool commitOutput(PendingOutput* out, std::string* why) {
    // mkstemp and mkdtemp make private entries; a picture or video is an ordinary one.
    mode_t mask = umask(0);
    umask(mask);
    chmod(out->temp.c_str(), (out->folder ? 0777 : 0666) & ~mask);
    blockInterrupts(true);
    std::string target = out->target;
    if (out->folder && !target.empty() && target.back() == '/')
        target.pop_back();
    bool renamed = std::rename(out->temp.c_str(), target.c_str()) == 0;
    if (!renamed)
        *why = describeError("cannot rename '" + out->temp + "' to '" + target + "'");
    if (renamed)
        forget(out);
    blockInterrupts(false);
    if (!renamed)
        discardOutput(out);
    return renamed;
}

void discardOutput(PendingOutput* out) {
    if (out->temp.empty())
        return;
    if (out->folder) {
        if (DIR* dir = opendir(out->temp.c_str())) {
            while (dirent* entry = readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    unlink((out->temp + "/" + entry->d_name).c_str());
            }
            closedir(dir);
        }
        rmdir(out->temp.c_str());
    } else {
        unlink(out->temp.c_str());
    }
    forget(out);
}
