// Starting ffmpeg with posix_spawn, feeding it frames and waiting for it to finalise the MP4.
#include "capture/ffmpeg_pipe.h"

#include "capture/interrupt.h"
#include "capture/output_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

static std::string findOnPath(const char* name) {
    const char* path = std::getenv("PATH");
    std::string all = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        std::string folder = all.substr(start, end - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// Runs `argv` with stdout captured (stderr dropped); returns its output, empty on failure.
static std::string readCommandOutput(const std::vector<const char*>& argv) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return std::string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int spawned =
        posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string output;
    if (spawned == 0) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                output.append(buffer, static_cast<size_t>(n));
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    close(fds[0]);
    return output;
}

std::string findFfmpeg(std::string* encoder, std::string* why) {
    std::string ffmpeg = findOnPath("ffmpeg");
    if (ffmpeg.empty()) {
        *why = "ffmpeg is not on PATH";
        return ffmpeg;
    }
    std::string encoders = readCommandOutput({ffmpeg.c_str(), "-hide_banner", "-encoders", nullptr});
    for (const char* name : {"libx264", "libopenh264"}) {
        if (encoders.find(std::string(" ") + name + " ") != std::string::npos) {
            *encoder = name;
            return ffmpeg;
        }
    }
    *why = ffmpeg + " has no H.264 encoder (libx264 or libopenh264)";
    return std::string();
}

// Starts ffmpeg in its own process group with a pipe to its stdin (`feed`) or from its stdout.
static bool spawnFfmpeg(const std::string& ffmpeg, const std::vector<const char*>& argv, bool feed,
                        FfmpegPipe* result, std::string* why) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *why = describeError("cannot make a pipe to ffmpeg");
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, feed ? fds[0] : fds[1], feed ? STDIN_FILENO : STDOUT_FILENO);
    // A reader checks files that may be damaged: its complaints are the caller's to word.
    if (!feed)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    // Until the child is registered, an abandoning signal must wait: it would leave ffmpeg writing.
    sigset_t interrupts, previous;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigaddset(&interrupts, SIGHUP);
    sigprocmask(SIG_BLOCK, &interrupts, &previous);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, ffmpeg.c_str(), &actions, &attributes,
                              const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(feed ? fds[0] : fds[1]);
    if (spawned == 0 && feed)
        registerAbandonChild(pid);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (spawned != 0) {
        close(feed ? fds[1] : fds[0]);
        errno = spawned;
        *why = describeError("cannot start " + ffmpeg);
        return false;
    }
    result->pid = pid;
    result->input = feed ? fds[1] : fds[0];
    return true;
}

bool startFfmpeg(const std::string& ffmpeg, const VideoFormat& format, FfmpegPipe* result, std::string* why) {
    result->feeds = true;
    char size[32], rate[32];
    std::snprintf(size, sizeof size, "%dx%d", format.width, format.height);
    // ffmpeg reads "name:" at the start of a path as a protocol ("take2:final.mp4" would be one);
    // the file protocol named outright takes every path as it stands.
    const std::string audioUrl = "file:" + format.audioWav, outputUrl = "file:" + format.output;
    std::snprintf(rate, sizeof rate, "%.9g", format.fps);
    std::vector<const char*> argv = {
        ffmpeg.c_str(), "-hide_banner", "-loglevel",   "error", "-nostats",   "-y", "-f", "rawvideo",
        "-pix_fmt",     "rgb24",        "-video_size", size,    "-framerate", rate, "-i", "pipe:0"};
    if (!format.audioWav.empty())
        argv.insert(argv.end(), {"-i", audioUrl.c_str()});
    argv.insert(argv.end(), {"-map", "0:v:0", "-c:v", format.encoder.c_str(), "-pix_fmt", "yuv420p"});
    if (format.encoder == "libx264")
        argv.insert(argv.end(), {"-preset", "medium", "-crf", "18"});
    if (!format.audioWav.empty())
        // The soundtrack runs as long as the frames; after a stop, -shortest cuts it to the frames done.
        argv.insert(argv.end(), {"-map", "1:a:0", "-c:a", "aac", "-b:a", "192k", "-shortest"});
    argv.insert(argv.end(), {"-movflags", "+faststart", "-f", "mp4", outputUrl.c_str(), nullptr});
    return spawnFfmpeg(ffmpeg, argv, true, result, why);
}

bool sendFrame(FfmpegPipe* pipe, const unsigned char* rgb, size_t size) {
    while (size > 0) {
        ssize_t n = write(pipe->input, rgb, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        rgb += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool finishFfmpeg(FfmpegPipe* pipe, std::string* why) {
    if (pipe->input >= 0)
        close(pipe->input);
    pipe->input = -1;
    int status = 0;
    pid_t waited = 0;
    while ((waited = waitpid(pipe->pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (pipe->feeds)
        registerAbandonChild(0);
    pipe->pid = 0;
    if (waited < 0) {
        *why = describeError("lost track of ffmpeg");
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    char text[96];
    if (WIFEXITED(status))
        std::snprintf(text, sizeof text, "ffmpeg failed with exit status %d (its message is above)",
                      WEXITSTATUS(status));
    else
        std::snprintf(text, sizeof text, "ffmpeg was ended by signal %d", WTERMSIG(status));
    *why = text;
    return false;
}

std::string findFfmpegProgram(std::string* why) {
    std::string ffmpeg = findOnPath("ffmpeg");
    if (ffmpeg.empty())
        *why = "ffmpeg is not on PATH";
    return ffmpeg;
}

bool startLosslessWriter(const std::string& ffmpeg, int width, int height, double fps,
                         const std::string& output, FfmpegPipe* pipe, std::string* why) {
    char size[32], rate[32];
    std::snprintf(size, sizeof size, "%dx%d", width, height);
    std::snprintf(rate, sizeof rate, "%.9g", fps);
    const std::string outputUrl = "file:" + output;
    // FFV1 keeps RGB exactly (as planar GBR); every frame a key frame, so a damaged one spoils only itself.
    std::vector<const char*> argv = {ffmpeg.c_str(),
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-nostats",
                                     "-y",
                                     "-f",
                                     "rawvideo",
                                     "-pix_fmt",
                                     "rgb24",
                                     "-video_size",
                                     size,
                                     "-framerate",
                                     rate,
                                     "-i",
                                     "pipe:0",
                                     "-c:v",
                                     "ffv1",
                                     "-level",
                                     "3",
                                     "-g",
                                     "1",
                                     "-slicecrc",
                                     "1",
                                     "-f",
                                     "matroska",
                                     outputUrl.c_str(),
                                     nullptr};
    pipe->feeds = true;
    return spawnFfmpeg(ffmpeg, argv, true, pipe, why);
}

bool startFrameReader(const std::string& ffmpeg, const std::string& input, FfmpegPipe* pipe,
                      std::string* why) {
    const std::string inputUrl = "file:" + input;
    std::vector<const char*> argv = {ffmpeg.c_str(), "-hide_banner", "-loglevel", "error",
                                     "-nostats",     "-nostdin",     "-i",        inputUrl.c_str(),
                                     "-map",         "0:v:0",        "-f",        "rawvideo",
                                     "-pix_fmt",     "rgb24",        "pipe:1",    nullptr};
    pipe->feeds = false;
    return spawnFfmpeg(ffmpeg, argv, false, pipe, why);
}

int readFrame(FfmpegPipe* pipe, unsigned char* rgb, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(pipe->input, rgb + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            return got == 0 ? 0 : -1;
        got += static_cast<size_t>(n);
    }
    return 1;
}

void stopFrameReader(FfmpegPipe* pipe) {
    if (pipe->pid > 0)
        kill(pipe->pid, SIGKILL);
    std::string ignored;
    finishFfmpeg(pipe, &ignored);
}
