# Linux: the native executable on SDL2, and the headless platform (EGL, no display) for tests and tools.
find_package(SDL2 REQUIRED)
set(OpenGL_GL_PREFERENCE GLVND)
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL GLX)
find_package(Freetype REQUIRED)
# The credits font, carried inside the executables: bold Arial's metric twin from Debian's fonts-liberation.
set(DOZ_CREDITS_FONT "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf" CACHE FILEPATH
    "TrueType file linked in as the credits font")
if(NOT EXISTS "${DOZ_CREDITS_FONT}")
    message(FATAL_ERROR "No credits font at ${DOZ_CREDITS_FONT} (Debian package fonts-liberation)")
endif()
if(DOZ_RELEASE)
    include(cmake/SelfContainedLinux.cmake)
else()
    add_library(doz_freetype INTERFACE)
    target_link_libraries(doz_freetype INTERFACE Freetype::Freetype)
endif()

# Services shared by the native and headless builds.
add_library(doz_platform_shared OBJECT
    platform/shared/credits_font_linked.cpp
    platform/shared/credits_raster_freetype.cpp
    platform/shared/debug_output_stderr.cpp
    platform/shared/folder_watch_inotify.cpp
    platform/shared/held_input.cpp
    platform/shared/host_lookup.cpp
    platform/shared/socket_connection.cpp
    platform/shared/resources_linked.cpp
    platform/shared/socket_posix.cpp)
target_link_libraries(doz_platform_shared PUBLIC doz_platform_api doz_freetype)
set_source_files_properties(platform/shared/credits_font_linked.cpp PROPERTIES
    COMPILE_DEFINITIONS "DOZ_CREDITS_FONT_FILE=\"${DOZ_CREDITS_FONT}\""
    OBJECT_DEPENDS "${DOZ_CREDITS_FONT}")
# The soundtrack's bytes are pulled in by the assembler, which reports no dependency on them.
set_source_files_properties(platform/shared/resources_linked.cpp PROPERTIES
    COMPILE_DEFINITIONS "DOZ_SOUNDTRACK_FILE=\"${DOZ_SOUNDTRACK_MP3}\""
    OBJECT_DEPENDS "${DOZ_SOUNDTRACK_MP3}")

# The backends see the platform's interfaces only; the program (programs/linux/) wires them to the demo.
add_library(doz_platform_sdl OBJECT
    platform/sdl/gl_loader_sdl.cpp
    platform/sdl/sound_sdl.cpp
    platform/sdl/ticks_sdl.cpp
    platform/sdl/window_sdl.cpp)
target_link_libraries(doz_platform_sdl PUBLIC doz_platform_api SDL2::SDL2)

add_executable(doz-engine programs/linux/main_linux.cpp)
target_link_libraries(doz-engine PRIVATE doz_app doz_platform_sdl doz_platform_shared SDL2::SDL2)
if(DOZ_RELEASE)
    # libGL.so.1, which every desktop's GL driver provides (GLVND's split libOpenGL/libGLX is not always there).
    find_library(DOZ_LEGACY_GL_LIBRARY NAMES GL REQUIRED)
    target_link_libraries(doz-engine PRIVATE ${DOZ_LEGACY_GL_LIBRARY})
    doz_make_self_contained(doz-engine)
else()
    target_link_libraries(doz-engine PRIVATE OpenGL::OpenGL OpenGL::GLX)
endif()

# The ground stands alone: each backend links without the program (programs/platform_alone/).
add_executable(doz-platform-alone-sdl programs/platform_alone/main.cpp)
target_link_libraries(doz-platform-alone-sdl PRIVATE doz_platform_sdl doz_platform_shared SDL2::SDL2
    OpenGL::OpenGL OpenGL::GLX)

add_library(doz_platform_headless OBJECT
    platform/headless/gl_loader_headless.cpp
    platform/headless/sound_headless.cpp
    platform/headless/ticks_headless.cpp
    platform/headless/window_headless.cpp)
target_link_libraries(doz_platform_headless PUBLIC doz_platform_api OpenGL::OpenGL OpenGL::EGL)

add_executable(doz-platform-alone-headless programs/platform_alone/main.cpp)
target_link_libraries(doz-platform-alone-headless PRIVATE doz_platform_headless doz_platform_shared)

if(DOZ_TESTS OR DOZ_RELEASE)
    # doz-capture: the demo rendered offline on the headless platform; PNG through Debian's libstb.
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
    add_subdirectory(capture)
endif()
if(DOZ_TESTS)
    enable_testing()
    add_subdirectory(tests)
    add_subdirectory(tools/soundtrack)
    add_subdirectory(bench)
endif()
