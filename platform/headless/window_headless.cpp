// EGL with no display: a surfaceless context (Mesa) or a device display (GPUs without a window system),
// drawing into a framebuffer object that stands in for the window.
#define GL_GLEXT_PROTOTYPES 1
#include "platform/headless/headless.h"
#include "platform/held_input.h"
#include "platform/input_event.h"
#include "platform/window.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>

static EGLDisplay display = EGL_NO_DISPLAY;
static EGLContext context = EGL_NO_CONTEXT;
static GLuint framebuffer = 0, colourBuffer = 0;
static int clientWidth = 0, clientHeight = 0;
static bool exists = false;
static const char* const CREATION_TITLE = "doz-engine";
static std::string title = CREATION_TITLE; // as at window creation
static int titleWrites = 0;
static int presents = 0;
static int swapInterval = -1; // never asked for

static EGLDisplay openDisplay() {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (getPlatformDisplay != nullptr) {
        EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
            return d;
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (queryDevices != nullptr && queryDevices(8, devices, &count)) {
            for (EGLint i = 0; i < count; ++i) {
                d = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
                    return d;
            }
        }
    }
    EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
        return d;
    return EGL_NO_DISPLAY;
}

bool openHeadlessContext(int width, int height, char* why, size_t whySize) {
    if (context == EGL_NO_CONTEXT) {
        display = openDisplay();
        if (display == EGL_NO_DISPLAY) {
            std::snprintf(why, whySize, "no EGL display could be initialised");
            return false;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) {
            std::snprintf(why, whySize, "the EGL display offers no desktop OpenGL");
            return false;
        }
        const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint configs = 0;
        eglChooseConfig(display, configAttributes, &config, 1, &configs);
        // No version or profile asked for: a compatibility context, as a plain WGL context is.
        const EGLint contextAttributes[] = {EGL_NONE};
        context =
            eglCreateContext(display, configs > 0 ? config : nullptr, EGL_NO_CONTEXT, contextAttributes);
        if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
            std::snprintf(why, whySize, "no surfaceless OpenGL context (EGL error 0x%x)", eglGetError());
            context = EGL_NO_CONTEXT;
            return false;
        }
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &colourBuffer);
    }
    exists = true;
    setHeadlessClientSize(width, height);
    return true;
}

void setHeadlessClientSize(int width, int height) {
    clientWidth = width;
    clientHeight = height;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width > 0 ? width : 1, height > 0 ? height : 1);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer);
}

std::vector<unsigned char> readHeadlessPixels() {
    std::vector<unsigned char> pixels(static_cast<size_t>(clientWidth) * clientHeight * 4);
    if (pixels.empty())
        return pixels;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, clientWidth, clientHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    // OpenGL's rows run bottom-up; images run top-down.
    size_t stride = static_cast<size_t>(clientWidth) * 4;
    std::vector<unsigned char> row(stride);
    for (int y = 0; y < clientHeight / 2; ++y) {
        unsigned char* a = pixels.data() + y * stride;
        unsigned char* b = pixels.data() + (clientHeight - 1 - y) * stride;
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
    return pixels;
}

std::string headlessRendererName() {
    const GLubyte* renderer = glGetString(GL_RENDERER);
    return renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "unknown";
}

bool openDemoWindow(const WindowCallbacks& given, char* why, size_t whySize) {
    setHeadlessWindowCallbacks(given);
    return openHeadlessContext(clientWidth > 0 ? clientWidth : 320, clientHeight > 0 ? clientHeight : 180,
                               why, whySize);
}

// Events a test queued, handed over by the next message step as a window's would be; a focus loss lets go of
// what is held, as the desktop windows do.
struct QueuedInput {
    RawInputEvent event;
    bool focusLoss;
};
static std::vector<QueuedInput> queuedInput;
static HeldInput held;
static WindowCallbacks callbacks;

void setHeadlessWindowCallbacks(const WindowCallbacks& given) {
    callbacks = given;
}

void queueHeadlessInput(const RawInputEvent& event) {
    queuedInput.push_back({event, false});
}

void queueHeadlessFocusLoss() {
    queuedInput.push_back({RawInputEvent(), true});
}

static void handleRelease(const RawInputEvent& release) {
    if (callbacks.input != nullptr)
        callbacks.input(release);
}

void pumpWindowMessages() {
    std::vector<QueuedInput> steps;
    steps.swap(queuedInput);
    for (const QueuedInput& step : steps) {
        if (step.focusLoss) {
            reportHeldReleases(&held, HELD_KEYS | HELD_BUTTONS, handleRelease);
            continue;
        }
        noteHeldInput(&held, step.event);
        if (callbacks.input != nullptr)
            callbacks.input(step.event);
    }
}

void readClientSize(int* width, int* height) {
    *width = clientWidth;
    *height = clientHeight;
}

void presentFrame() {
    glFinish();
    ++presents;
}

int headlessPresentCount() {
    return presents;
}

// No display to wait for: the interval is only kept, for tests to read.
void setSwapInterval(int interval) {
    swapInterval = interval;
}

int headlessSwapInterval() {
    return swapInterval;
}

// No display: no rate.
int readDisplayRefreshRate() {
    return 0;
}

bool windowExists() {
    return exists;
}

void setHeadlessWindowExists(bool value) {
    exists = value;
}

void setWindowTitle(const char* text) {
    title = text;
    ++titleWrites;
}

const std::string& headlessWindowTitle() {
    return title;
}

int headlessTitleWrites() {
    return titleWrites;
}

void formatWindowTitle(char* buffer, const char* format, unsigned fps, int frac, int reload) {
    std::snprintf(buffer, 64, format, fps, frac, reload);
}

const char* requiredGraphicsName() {
    return "OpenGL 3.3";
}

void showFatalError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

bool openAuthorWindow(const WindowCallbacks& given, int width, int height, char* why, size_t whySize) {
    setHeadlessWindowCallbacks(given);
    return openHeadlessContext(width, height, why, whySize);
}

// No display to cover.
void toggleBorderlessFullscreen() {}

void showUsageError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

void showInformation(const char* text) {
    std::printf("%s\n", text);
}

// The EGL context stays for the next run in the same process (tests and offline tools make many); the
// window counts as gone.
void closeDemoWindow() {
    exists = false;
}

void resetHeadlessWindow() {
    // The context stays, but with no error left pending from what drew on it before.
    if (context != EGL_NO_CONTEXT)
        for (int i = 0; i < 64 && glGetError() != GL_NO_ERROR; ++i) {
        }
    queuedInput.clear();
    callbacks = WindowCallbacks();
    held = HeldInput();
    exists = false;
    title = CREATION_TITLE;
    titleWrites = 0;
    presents = 0;
    swapInterval = -1;
}
