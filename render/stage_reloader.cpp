// The reload rules. A reload that builds replaces the program and counts; one that fails leaves the last
// good program in place, puts the first line of the log in the title and the whole log in the debug output.
#include "render/stage_reloader.h"

#include "platform/debug_output.h"
#include "platform/folder_watch.h"
#include "render/gl_api.h"
#include "render/stage_files.h"
#include "render/stage_log_lines.h"

#include <cctype>
#include <cstdio>
#include <cstring>

StageReloader stageReloader;

// The line the title shows: the first that reports an error, since compilers list warnings first; else the
// first line.
static const char* headlineOf(const char* log, int* length) {
    for (const char* line = log; *line != '\0';) {
        size_t size = std::strcspn(line, "\r\n");
        for (size_t i = 0; i + 5 <= size; ++i) {
            if (std::tolower(static_cast<unsigned char>(line[i])) == 'e' &&
                std::tolower(static_cast<unsigned char>(line[i + 1])) == 'r' &&
                std::tolower(static_cast<unsigned char>(line[i + 2])) == 'r' &&
                std::tolower(static_cast<unsigned char>(line[i + 3])) == 'o' &&
                std::tolower(static_cast<unsigned char>(line[i + 4])) == 'r') {
                *length = static_cast<int>(size);
                return line;
            }
        }
        line += size;
        line += std::strspn(line, "\r\n");
    }
    *length = static_cast<int>(std::strcspn(log, "\r\n"));
    return log;
}

// As much of `text` as fits, always ended.
static void copyText(char* to, size_t size, const std::string& text) {
    size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(to, text.data(), length);
    to[length] = '\0';
}

// The title's text: a folder problem first, since the build failure is that of an older pair.
static void showProblems() {
    StageReloader& r = stageReloader;
    r.failed = r.folderProblem || r.buildFailed;
    copyText(r.failure, sizeof r.failure,
             r.folderProblem ? r.folderFailure
             : r.buildFailed ? r.buildFailure
                             : "");
}

// Returns true when the title changes.
static bool setFolderProblem(const char* text) {
    StageReloader& r = stageReloader;
    bool same =
        r.folderProblem == (text != nullptr) && (text == nullptr || std::strcmp(r.folderFailure, text) == 0);
    r.folderProblem = text != nullptr;
    copyText(r.folderFailure, sizeof r.folderFailure, text != nullptr ? text : "");
    showProblems();
    return !same;
}

static void reportFailure(const char* file, const char* log) {
    StageReloader& r = stageReloader;
    r.buildFailed = true;
    r.buildLog = log;
    int length = 0;
    const char* headline = headlineOf(log, &length);
    std::snprintf(r.buildFailure, sizeof r.buildFailure, "reload failed: %.*s", length, headline);
    showProblems();
    std::string text = std::string("doz-engine: reload of ") + file + " failed:\n" + log;
    if (text.back() != '\n')
        text += '\n';
    writeDebugOutput(text.c_str());
}

// Builds the tried pair; returns true when the title changes.
static bool build(const std::string& vertex, const std::string& fragment, bool counts,
                  int (*authorLine)(int) = nullptr) {
    StageReloader& r = stageReloader;
    r.triedVertex = vertex;
    r.triedFragment = fragment;
    char log[COMPILE_LOG_SIZE];
    StageFailure failure = StageFailure::None;
    GLuint program = compileAndLinkStages(vertex.c_str(), fragment.c_str(), log, sizeof log, &failure);
    if (program == 0) {
        const char* file = failure == StageFailure::Vertex     ? VERTEX_STAGE_FILE
                           : failure == StageFailure::Fragment ? FRAGMENT_STAGE_FILE
                                                               : "scene.vert + scene.frag (link)";
        reportFailure(file, authorLine != nullptr ? withAuthorLines(log, authorLine).c_str() : log);
        return true;
    }
    GLuint previous = sceneProgram;
    useSceneProgram(program);
    if (previous != 0)
        gl.deleteProgram(previous);
    r.runningVertex = vertex;
    r.runningFragment = fragment;
    r.buildFailed = false;
    r.buildLog.clear();
    showProblems();
    if (counts)
        r.reloadCounter += 1;
    return true;
}

// Reads both files; `force` rebuilds a pair that was tried already.
static bool load(bool force, bool counts) {
    StageReloader& r = stageReloader;
    if (r.folder[0] == '\0')
        return false;
    // A folder deleted, renamed away or being copied back: the last good program runs on, and the title
    // says what is missing until a complete pair is there.
    char missing[64];
    if (!stageFolderComplete(r.folder, missing, sizeof missing))
        return setFolderProblem((std::string("stages missing: ") + missing + ": " + r.folder).c_str());
    std::string vertex, fragment;
    const char* unread = !readStageFile(r.folder, VERTEX_STAGE_FILE, &vertex)       ? VERTEX_STAGE_FILE
                         : !readStageFile(r.folder, FRAGMENT_STAGE_FILE, &fragment) ? FRAGMENT_STAGE_FILE
                                                                                    : nullptr;
    if (unread != nullptr)
        return setFolderProblem((std::string("reload failed: ") + unread + " cannot be read").c_str());
    bool cleared = setFolderProblem(nullptr);
    if (!force && vertex == r.triedVertex && fragment == r.triedFragment)
        return cleared;
    return build(vertex, fragment, counts) || cleared;
}

void startStageReloader(const char* folder, const char* runningVertex, const char* runningFragment) {
    StageReloader& r = stageReloader;
    r.folder[0] = '\0';
    r.pending = false;
    r.lastChangeTick = 0;
    r.runningVertex = r.triedVertex = runningVertex;
    r.runningFragment = r.triedFragment = runningFragment;
    r.reloadCounter = 0;
    r.folderProblem = r.buildFailed = false;
    r.folderFailure[0] = r.buildFailure[0] = '\0';
    showProblems();
    if (folder == nullptr)
        return;
    std::snprintf(r.folder, sizeof r.folder, "%s", folder);
    if (!watchFolder(folder))
        writeDebugOutput("doz-engine: the shaders folder cannot be watched; R reloads it\n");
    load(false, false);
}

bool pollStageReloader(uint32_t now) {
    StageReloader& r = stageReloader;
    if (r.folder[0] == '\0')
        return false;
    if (folderChanged()) {
        r.pending = true;
        r.lastChangeTick = now;
    }
    if (!r.pending || now - r.lastChangeTick < RELOAD_SETTLE_MS)
        return false;
    r.pending = false;
    return load(false, true);
}

bool reloadStagesNow() {
    stageReloader.pending = false;
    return load(true, true);
}

bool reloadStagesFromTexts(const std::string& vertex, const std::string& fragment, int (*authorLine)(int)) {
    build(vertex, fragment, true, authorLine);
    return !stageReloader.buildFailed;
}

void refuseFragmentText(const char* log) {
    reportFailure(FRAGMENT_STAGE_FILE, log);
}
