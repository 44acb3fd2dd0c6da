// Signal handling for doz-capture. The handler only calls async-signal-safe functions.
#include "capture/interrupt.h"

#include <climits>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <new>
#include <unistd.h>

static volatile sig_atomic_t gracefulAllowed = 0;
static volatile sig_atomic_t stopSignalNumber = 0;
static const char* volatile abandonFiles[2] = {nullptr, nullptr};
static const char* volatile abandonFolder = nullptr;
static const char* volatile abandonFolderExtra = nullptr;
static volatile sig_atomic_t abandonFolderFrames = 0;
static volatile pid_t abandonChild = 0;

static void writeText(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

// Digits by hand: snprintf is not safe in a handler.
static void formatFrameName(int index, char* buffer, int size) {
    const char prefix[] = "frame-";
    char digits[12];
    int n = 0;
    unsigned value = static_cast<unsigned>(index);
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && n < 11);
    while (n < 6)
        digits[n++] = '0';
    int at = 0;
    for (const char* p = prefix; *p != '\0' && at < size - 1; ++p)
        buffer[at++] = *p;
    while (n > 0 && at < size - 1)
        buffer[at++] = digits[--n];
    for (const char* p = ".png"; *p != '\0' && at < size - 1; ++p)
        buffer[at++] = *p;
    buffer[at] = '\0';
}

void frameFileName(int index, char* buffer, int size) {
    formatFrameName(index, buffer, size);
}

static void joinPath(const char* folder, const char* name, char* buffer, size_t size) {
    size_t a = std::strlen(folder), b = std::strlen(name);
    if (a + 1 + b + 1 > size) {
        buffer[0] = '\0';
        return;
    }
    std::memcpy(buffer, folder, a);
    buffer[a] = '/';
    std::memcpy(buffer + a + 1, name, b + 1);
}

// Kills the encoder and removes every registered temporary; true when there was anything to remove.
static bool removeUnfinishedOutput() {
    bool removing = abandonChild > 0 || abandonFiles[0] != nullptr || abandonFiles[1] != nullptr ||
                    abandonFolder != nullptr;
    if (abandonChild > 0)
        kill(-abandonChild, SIGKILL);
    for (const char* path : abandonFiles)
        if (path != nullptr)
            unlink(path);
    if (const char* folder = abandonFolder) {
        char name[32], path[PATH_MAX];
        for (int i = 0; i <= abandonFolderFrames; ++i) {
            formatFrameName(i, name, sizeof name);
            joinPath(folder, name, path, sizeof path);
            unlink(path);
        }
        if (abandonFolderExtra != nullptr) {
            joinPath(folder, abandonFolderExtra, path, sizeof path);
            unlink(path);
        }
        rmdir(folder);
    }
    return removing;
}

static void abandonRun(int signal) {
    bool removed = removeUnfinishedOutput();
    writeText(removed ? "\ndoz-capture: interrupted; the unfinished output was removed\n"
                      : "\ndoz-capture: interrupted\n");
    _exit(128 + signal);
}

// A crash (in a driver that does not check its allocations, say) still removes the unfinished output,
// then ends the process by the same signal, so that it dumps its core as it would have.
static void onCrash(int signal) {
    removeUnfinishedOutput();
    raise(signal);
}

// Called by operator new when an allocation fails. Unwinding would run into the registered names'
// owners; stopping here leaves nothing behind and says why.
static void abandonOutOfMemory() {
    bool removed = removeUnfinishedOutput();
    writeText("doz-capture: out of memory: a picture this large needs more memory than the system gives; "
              "try a smaller --size\n");
    if (removed)
        writeText("doz-capture: the unfinished output was removed\n");
    _exit(1);
}

static void onSignal(int signal) {
    if (signal == SIGINT && gracefulAllowed && stopSignalNumber == 0) {
        stopSignalNumber = signal;
        writeText("\ndoz-capture: stopping after this frame (Ctrl-C again to abandon the video)\n");
        return;
    }
    abandonRun(signal);
}

void installInterruptHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Past the file size limit a write then fails with EFBIG and is reported like any failed write,
    // instead of the signal ending the run with its temporary left behind.
    signal(SIGXFSZ, SIG_IGN);
    std::set_new_handler(abandonOutOfMemory);
    struct sigaction crash;
    std::memset(&crash, 0, sizeof crash);
    crash.sa_handler = onCrash;
    sigemptyset(&crash.sa_mask);
    crash.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        sigaction(signal, &crash, nullptr);
}

void setGracefulStop(bool allowed) {
    gracefulAllowed = allowed ? 1 : 0;
}
bool stopRequested() {
    return stopSignalNumber != 0;
}
int stopSignal() {
    return stopSignalNumber;
}
void registerAbandonFile(int slot, const char* path) {
    abandonFiles[slot] = path;
}
void registerAbandonFolder(const char* path, const char* extraFile) {
    abandonFolderExtra = extraFile;
    abandonFolder = path;
}
void setAbandonFolderFrames(int framesStarted) {
    abandonFolderFrames = framesStarted;
}
void registerAbandonChild(pid_t processGroup) {
    abandonChild = processGroup;
}
