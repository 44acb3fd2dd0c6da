# The Windows executable: Win32 window and WGL, winmm, GDI text, resources; statically linked so that it
# needs nothing but system DLLs.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)

# The backends see the platform's interfaces only; the program (programs/windows/) wires them to the demo.
add_library(doz_platform_win32 OBJECT
    platform/win32/credits_raster_gdi.cpp
    platform/win32/debug_output_win32.cpp
    platform/win32/folder_watch_win32.cpp
    platform/win32/gl_loader_win32.cpp
    platform/win32/resources_win32.cpp
    platform/win32/socket_winsock.cpp
    platform/win32/sound_winmm.cpp
    platform/win32/ticks_win32.cpp
    platform/win32/window_win32.cpp
    # The connection's and the host lookup's rules are portable; only their system calls are Winsock's
    # (socket_winsock.cpp).
    platform/shared/host_lookup.cpp
    platform/shared/held_input.cpp
    platform/shared/socket_connection.cpp)
target_link_libraries(doz_platform_win32 PUBLIC doz_platform_api)

add_executable(doz-engine WIN32
    programs/windows/main_windows.cpp
    resources/doz-engine.rc)
# windres reports no dependency on the files the script pulls in.
set_source_files_properties(resources/doz-engine.rc PROPERTIES
    OBJECT_DEPENDS "${DOZ_SOUNDTRACK_MP3};${CMAKE_SOURCE_DIR}/resources/doz-engine.manifest")
# The system's libraries come after the portable layers on the link line: they call into OpenGL too.
target_link_libraries(doz_platform_api INTERFACE opengl32 gdi32 user32 kernel32 winmm ws2_32)
target_link_libraries(doz-engine PRIVATE doz_app doz_platform_win32)
target_link_options(doz-engine PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(doz-engine PROPERTIES OUTPUT_NAME doz-engine)

# Probe of the wave device's position over a looping buffer, run under Wine by the tests.
add_executable(winmm_position_probe tests/wine/winmm_position_probe.cpp platform/win32/sound_winmm.cpp)
target_include_directories(winmm_position_probe PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(winmm_position_probe PRIVATE winmm)
target_link_options(winmm_position_probe PRIVATE -static -static-libgcc -static-libstdc++)

# The ground stands alone: the backends link without the program (programs/platform_alone/).
add_executable(doz-platform-alone programs/platform_alone/main.cpp)
target_link_libraries(doz-platform-alone PRIVATE doz_platform_win32)
target_link_options(doz-platform-alone PRIVATE -static -static-libgcc -static-libstdc++)
