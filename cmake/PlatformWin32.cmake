# The Windows executable: Win32 window and WGL, winmm, GDI text, resources; statically linked so that it
# needs nothing but system DLLs.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)

add_executable(doz-engine WIN32
    platform/win32/credits_raster_gdi.cpp
    platform/win32/debug_output_win32.cpp
    platform/win32/entry_win32.cpp
    platform/win32/gl_loader_win32.cpp
    platform/win32/sound_winmm.cpp
    platform/win32/ticks_win32.cpp
    platform/win32/window_win32.cpp
    platform/shared/resources_none.cpp
    resources/doz-engine.rc)
target_link_libraries(doz-engine PRIVATE doz_core opengl32 gdi32 user32 kernel32 winmm)
target_link_options(doz-engine PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(doz-engine PROPERTIES OUTPUT_NAME doz-engine)
