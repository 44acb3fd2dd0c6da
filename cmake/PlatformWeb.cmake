# The browser: WebAssembly and WebGL 2 through emscripten, Web Audio and Canvas 2D from JavaScript, the
# page's own index.html beside the module's loader (doz-engine.js) and the module (doz-engine.wasm).
# The backends see the platform's interfaces only; the page program (programs/page/, with the readings the
# page's tests take) wires them to the demo.
add_library(doz_platform_web OBJECT
    platform/web/credits_raster_web.cpp
    platform/web/debug_output_web.cpp
    platform/web/folder_watch_web.cpp
    platform/web/gl_loader_web.cpp
    platform/web/resources_web.cpp
    platform/web/socket_web.cpp
    platform/web/sound_web.cpp
    platform/web/ticks_web.cpp
    platform/web/window_web.cpp
    platform/shared/held_input.cpp)
target_link_libraries(doz_platform_web PUBLIC doz_platform_api)

# The author's "#version 330" fragment stage beside its ES form: the page's editor starts from it.
set(AUTHOR_STAGE_CPP ${GENERATED_DIR}/page_author_stage.cpp)
add_custom_command(
    OUTPUT ${AUTHOR_STAGE_CPP}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${AUTHOR_STAGE_CPP} "-DENTRIES=PAGE_AUTHOR_FRAGMENT_STAGE=${DOZ_FRAGMENT_STAGE}"
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedText.cmake
    DEPENDS ${DOZ_FRAGMENT_STAGE} ${CMAKE_SOURCE_DIR}/cmake/EmbedText.cmake
    COMMENT "Embedding the author's fragment stage for the page's editor")

add_executable(doz-engine
    programs/page/main_page.cpp
    programs/page/page_probes.cpp
    programs/page/page_stage_calls.cpp
    ${AUTHOR_STAGE_CPP})
target_link_libraries(doz-engine PRIVATE doz_app doz_platform_web)
set_source_files_properties(platform/web/resources_web.cpp PROPERTIES
    COMPILE_DEFINITIONS "DOZ_SOUNDTRACK_FILE=\"${DOZ_SOUNDTRACK_MP3}\""
    OBJECT_DEPENDS "${DOZ_SOUNDTRACK_MP3}")
target_link_options(doz-engine PRIVATE
    -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
    -sENVIRONMENT=web
    # The 16-bit track is a 37 MB static array and the decoder's float track comes on top.
    -sINITIAL_MEMORY=134217728 -sALLOW_MEMORY_GROWTH=1
    -sEXPORTED_FUNCTIONS=_main,_dozReadMusicTime,_dozTimeSoundtrackDecode,_dozTrackFrames,_dozSoundInterrupted,_dozPageFrozen,_dozMusicClockOnTicks,_dozLastMusicTime,_dozAuthorFragmentStage,_dozBuildFragmentStage,_dozStageErrors,_dozStageReloads,_dozBuildVersion
    -sEXPORTED_RUNTIME_METHODS=ccall)
set_target_properties(doz-engine PROPERTIES SUFFIX ".js")

# The page is the project's own, next to the loader it names.
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/index.html
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/programs/page/index.html ${CMAKE_BINARY_DIR}/index.html
    DEPENDS ${CMAKE_SOURCE_DIR}/programs/page/index.html
    COMMENT "Page beside the module")

# The page's stage scripts, bundled by esbuild from the packages programs/page/editor/package-lock.json pins
# (tools/install-deps.sh runs npm ci there): doz-stages.js, small, always loaded (drafts, shared addresses,
# builds), and doz-editor.js, CodeMirror's panel, loaded only when the editor opens.
set(EDITOR_DIR ${CMAKE_SOURCE_DIR}/programs/page/editor)
set(ESBUILD ${EDITOR_DIR}/node_modules/.bin/esbuild)
if(NOT EXISTS ${ESBUILD})
    message(FATAL_ERROR "The page's editor packages are missing: run tools/install-deps.sh "
                        "(or: cd programs/page/editor && npm ci)")
endif()
file(GLOB EDITOR_SOURCES CONFIGURE_DEPENDS ${EDITOR_DIR}/src/*.js)
set(PAGE_SCRIPTS)
foreach(script stages editor)
    set(bundle ${CMAKE_BINARY_DIR}/doz-${script}.js)
    add_custom_command(
        OUTPUT ${bundle}
        COMMAND ${ESBUILD} ${EDITOR_DIR}/src/${script}.js --bundle --minify --format=iife --target=es2020
                --legal-comments=eof --log-level=warning --outfile=${bundle}
        DEPENDS ${EDITOR_SOURCES} ${EDITOR_DIR}/package-lock.json
        WORKING_DIRECTORY ${EDITOR_DIR}
        COMMENT "Bundling the page's doz-${script}.js")
    list(APPEND PAGE_SCRIPTS ${bundle})
endforeach()
add_custom_target(doz-engine-page ALL DEPENDS ${CMAKE_BINARY_DIR}/index.html ${PAGE_SCRIPTS})

# The ground stands alone: the backends link without the program (programs/platform_alone/).
add_executable(doz-platform-alone programs/platform_alone/main.cpp)
target_link_libraries(doz-platform-alone PRIVATE doz_platform_web)
set_target_properties(doz-platform-alone PROPERTIES SUFFIX ".js")
