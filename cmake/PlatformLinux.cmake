# Linux: the native executable on SDL2, and the headless platform (EGL, no display) for tests and tools.
find_package(SDL2 REQUIRED)
set(OpenGL_GL_PREFERENCE GLVND)
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL GLX)

# Services shared by the native and headless builds.
add_library(doz_platform_shared OBJECT
    platform/shared/credits_raster_blank.cpp
    platform/shared/debug_output_stderr.cpp
    platform/shared/resources_none.cpp)
target_include_directories(doz_platform_shared PUBLIC ${CMAKE_SOURCE_DIR})

add_executable(doz-engine
    platform/sdl/entry_sdl.cpp
    platform/sdl/gl_loader_sdl.cpp
    platform/sdl/sound_sdl.cpp
    platform/sdl/ticks_sdl.cpp
    platform/sdl/window_sdl.cpp)
target_link_libraries(doz-engine PRIVATE doz_core doz_platform_shared SDL2::SDL2 OpenGL::OpenGL OpenGL::GLX)

add_library(doz_platform_headless OBJECT
    platform/headless/gl_loader_headless.cpp
    platform/headless/sound_headless.cpp
    platform/headless/ticks_headless.cpp
    platform/headless/window_headless.cpp)
target_include_directories(doz_platform_headless PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(doz_platform_headless PUBLIC OpenGL::OpenGL OpenGL::EGL)

if(DOZ_TESTS)
    enable_testing()
    add_subdirectory(tests)
    add_subdirectory(bench)
endif()
