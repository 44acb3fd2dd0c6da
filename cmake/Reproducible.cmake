# Everything that makes a build independent of where and when it was made, in one place: two checkouts of
# one commit in different folders, built at different times, give the same bytes.
#
# - Source and build folders are mapped out of every object (__FILE__, debug info, assertions), so no path
#   of the build machine reaches a binary.
# - DOZ_RELEASE (the release presets): the date stamped into a binary is the commit's date,
#   DOZ_SOURCE_DATE_EPOCH (default: the SOURCE_DATE_EPOCH environment variable at configure time, else the
#   checkout's last commit date), handed to the linker as SOURCE_DATE_EPOCH: GNU ld writes it as the PE
#   header's time stamp (never zero, which some scanners read as a packer's mark), then the PE checksum over
#   it. Binaries are stripped by the linker itself (-s), so no later tool rewrites the stamp.

add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>"
                    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>")

option(DOZ_RELEASE "Build the release: reproducible stamps, stripped, self-contained executables" OFF)
if(NOT DOZ_RELEASE)
    return()
endif()

set(default_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(NOT default_epoch)
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${CMAKE_SOURCE_DIR}" log -1 --format=%ct
                        OUTPUT_VARIABLE default_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
endif()
set(DOZ_SOURCE_DATE_EPOCH "${default_epoch}" CACHE STRING "Seconds since 1970 stamped into the binaries (the commit's date)")
if(NOT DOZ_SOURCE_DATE_EPOCH MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "A release build needs DOZ_SOURCE_DATE_EPOCH (the commit's date in seconds since 1970), "
                        "got '${DOZ_SOURCE_DATE_EPOCH}'")
endif()

# Every link runs with the commit's date as SOURCE_DATE_EPOCH, whatever the caller's environment holds.
foreach(language C CXX)
    set(CMAKE_${language}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${DOZ_SOURCE_DATE_EPOCH})
endforeach()
if(EMSCRIPTEN)
    return() # a release link carries no names or debug sections to strip
endif()
add_link_options(-s)
if(NOT WIN32)
    # The build id is a hash of the linked bytes: keep it, it names the same content the same way.
    add_link_options(-Wl,--build-id=sha1)
endif()
