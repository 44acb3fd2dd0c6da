# The release's Linux executable needs only glibc, a GL driver and the desktop's display and sound client
# libraries (X11 or Wayland, PulseAudio or ALSA):
# - the C++ runtime (libstdc++, libgcc) and FreeType are linked in statically, with the PNG, zlib, Brotli and bzip2 decoders it was built with;
# - the credits font is linked in by every native build (platform/shared/credits_font_linked.cpp);
# - SDL2 and the few libraries it needs that a desktop may lack (libsamplerate, libdecor, libXss) are
#   copied into lib/ beside the executable, which finds them through an $ORIGIN run path. The run path is
#   an old-style DT_RPATH, which also serves the lookups made by the bundled libraries themselves.
set(DOZ_BUNDLED_LIBRARIES libSDL2-2.0.so.0 libsamplerate.so.0 libdecor-0.so.0 libXss.so.1)
set(DOZ_BUNDLE_DIR ${CMAKE_BINARY_DIR}/lib)

set(static_freetype)
foreach(archive libfreetype.a libpng16.a libz.a libbrotlidec.a libbrotlicommon.a libbz2.a)
    find_library(DOZ_STATIC_${archive} NAMES ${archive})
    if(NOT DOZ_STATIC_${archive})
        message(FATAL_ERROR "The release build links FreeType statically and needs ${archive} "
                            "(Debian packages libfreetype-dev, libpng-dev, zlib1g-dev, libbrotli-dev, libbz2-dev)")
    endif()
    list(APPEND static_freetype ${DOZ_STATIC_${archive}})
endforeach()
add_library(doz_freetype INTERFACE)
target_include_directories(doz_freetype INTERFACE ${FREETYPE_INCLUDE_DIRS})
target_link_libraries(doz_freetype INTERFACE ${static_freetype} m)

set(bundled_copies)
foreach(library IN LISTS DOZ_BUNDLED_LIBRARIES)
    find_library(DOZ_BUNDLE_${library} NAMES ${library})
    if(NOT DOZ_BUNDLE_${library})
        message(FATAL_ERROR "The release build bundles ${library} and cannot find it")
    endif()
    add_custom_command(OUTPUT ${DOZ_BUNDLE_DIR}/${library}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${DOZ_BUNDLE_DIR}
        # The file itself, under the name the loader asks for (the system's name is a link to it).
        COMMAND ${CMAKE_COMMAND} -E copy ${DOZ_BUNDLE_${library}} ${DOZ_BUNDLE_DIR}/${library}
        DEPENDS ${DOZ_BUNDLE_${library}}
        COMMENT "Bundling ${library}")
    list(APPEND bundled_copies ${DOZ_BUNDLE_DIR}/${library})
endforeach()
add_custom_target(doz_bundled_libraries ALL DEPENDS ${bundled_copies})

function(doz_make_self_contained target)
    add_dependencies(${target} doz_bundled_libraries)
    set_target_properties(${target} PROPERTIES BUILD_RPATH "$ORIGIN/lib" BUILD_WITH_INSTALL_RPATH OFF)
    # The C++ runtime goes in too: only glibc's own libraries are left to the system.
    target_link_options(${target} PRIVATE -Wl,--disable-new-dtags -static-libstdc++ -static-libgcc)
endfunction()
