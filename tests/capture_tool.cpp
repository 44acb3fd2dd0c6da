// Running doz-capture as a child process, reading PNGs back, and drawing reference frames in-process.
#define GL_GLEXT_PROTOTYPES 1
#include "tests/capture_tool.h"
#include "tests/build_paths.h"

#include "app/demo_preparation.h"
#include "app/frame_loop.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "render/gl_api.h"
#include "render/scene_program.h"
#include "tests/gl_context.h"

#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ScratchFolder::ScratchFolder() {
    char name[] = "/tmp/doz-capture-test-XXXXXX";
    if (mkdtemp(name) == nullptr)
        ADD_FAILURE() << "cannot make a scratch folder";
    path = name;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

static std::vector<char*> toArgv(std::vector<std::string>& strings) {
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

int startCapture(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                 const std::string& logs, const std::vector<std::string>& wrapper) {
    std::vector<std::string> command = wrapper;
    command.push_back(capturePath());
    command.insert(command.end(), args.begin(), args.end());
    // The given entries replace those of the same name.
    std::vector<std::string> env = environment;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& given : environment)
            replaced = replaced || given.rfind(name, 0) == 0;
        if (!replaced)
            env.push_back(entry);
    }
    std::vector<char*> argv = toArgv(command), envp = toArgv(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (logs + ".out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (logs + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << "cannot start " << command[0];
    return spawned == 0 ? pid : -1;
}

static std::string readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

ToolRun waitCapture(int pid, const std::string& logs) {
    int status = 0;
    waitpid(pid, &status, 0);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    ToolRun run = {code, readWholeFile(logs + ".out"), readWholeFile(logs + ".err")};
    unlink((logs + ".out").c_str());
    unlink((logs + ".err").c_str());
    return run;
}

ToolRun runCapture(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                   const std::vector<std::string>& wrapper) {
    // The logs live outside every scratch folder, so that they never count as output.
    char logs[] = "/tmp/doz-capture-log-XXXXXX";
    int fd = mkstemp(logs);
    close(fd);
    unlink(logs);
    return waitCapture(startCapture(args, environment, logs, wrapper), logs);
}

std::string commandOutput(const std::vector<std::string>& argv) {
    std::vector<std::string> copy = argv;
    std::vector<char*> args = toArgv(copy);
    int fds[2];
    if (pipe(fds) != 0)
        return std::string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string output;
    char buffer[65536];
    ssize_t n = 0;
    while (spawned == 0 && (n = read(fds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    if (spawned == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return output;
}

bool commandExists(const char* name) {
    std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

RgbImage loadPng(const std::string& path) {
    RgbImage image;
    int channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &image.width, &image.height, &channels, 3);
    EXPECT_NE(pixels, nullptr) << "cannot read " << path;
    if (pixels != nullptr) {
        image.rgb.assign(pixels, pixels + static_cast<size_t>(image.width) * image.height * 3);
        stbi_image_free(pixels);
    }
    return image;
}

RgbImage cropImage(const RgbImage& image, int x, int y, int width, int height) {
    RgbImage part;
    part.width = width;
    part.height = height;
    for (int r = 0; r < height; ++r) {
        const unsigned char* row = image.rgb.data() + (static_cast<size_t>(y + r) * image.width + x) * 3;
        part.rgb.insert(part.rgb.end(), row, row + width * 3);
    }
    return part;
}

RgbImage averageBlocks(const RgbImage& image, int block) {
    RgbImage small;
    small.width = image.width / block;
    small.height = image.height / block;
    for (int y = 0; y < small.height; ++y)
        for (int x = 0; x < small.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < block; ++dy)
                    for (int dx = 0; dx < block; ++dx)
                        sum +=
                            image.rgb[(static_cast<size_t>(y * block + dy) * image.width + x * block + dx) *
                                          3 +
                                      c];
                small.rgb.push_back(static_cast<unsigned char>((sum + block * block / 2) / (block * block)));
            }
    return small;
}

double meanAbsoluteDifference(const RgbImage& a, const RgbImage& b) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty())
        return 1e9;
    double sum = 0.0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    return sum / a.rgb.size();
}

void prepareReferenceDemo(int width, int height) {
    openTestContext(width, height);
    char why[512] = "";
    ASSERT_TRUE(prepareDemo(why, sizeof why)) << why;
    ASSERT_FALSE(shaderErrorFlag) << compileLog;
}

void restartReferenceRun() {
    setHeadlessSoundPosition(0);
    startLoopingPlayback();
    beatOnsetState = {0.0f, 0};
}

RgbImage drawReferenceFrame(double seconds) {
    setHeadlessSoundPosition(static_cast<uint32_t>(std::llround(seconds * 44100.0)));
    runFramePass();
    GLfloat time = -1.0f;
    glGetUniformfv(sceneProgram, uniforms.iTime, &time);
    EXPECT_EQ(time, static_cast<float>(seconds));
    int width = 0, height = 0;
    readClientSize(&width, &height);
    std::vector<unsigned char> rgba = readHeadlessPixels();
    RgbImage image;
    image.width = width;
    image.height = height;
    for (size_t i = 0; i < rgba.size(); i += 4)
        image.rgb.insert(image.rgb.end(), rgba.begin() + i, rgba.begin() + i + 3);
    // Captures are compared with these frames: a black or flat reference would pass against a capture that
    // drew nothing too.
    EXPECT_TRUE(showsAPicture(image)) << "the reference frame at " << seconds << " s is flat";
    return image;
}

bool showsAPicture(const RgbImage& image) {
    std::set<unsigned> colours;
    double sum = 0.0, squares = 0.0;
    const size_t pixels = image.rgb.size() / 3;
    for (size_t i = 0; i < pixels; ++i) {
        const unsigned char* p = image.rgb.data() + 3 * i;
        colours.insert(unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | p[2]);
        const double luminance = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
        sum += luminance;
        squares += luminance * luminance;
    }
    if (pixels == 0)
        return false;
    const double mean = sum / pixels, spread = std::sqrt(std::max(0.0, squares / pixels - mean * mean));
    return colours.size() > 8 && spread > 2.0;
}
