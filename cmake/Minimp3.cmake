# The MP3 decoder (minimp3 with its minimp3_ex loader), header-only and not committed here.
#
# By default the headers come from the npm registry package pinned in cmake/minimp3.lock: the tarball is
# downloaded at configure time into the build tree and checked against the pinned digest. That package
# changed two include lines of upstream's public-domain headers (it includes <iostream>, which keeps the
# implementation from compiling as C); the build puts them back and checks the result against the pinned
# digests, so what gets compiled is byte for byte upstream's code.
#
# DOZ_MINIMP3_INCLUDE_DIR names a directory holding minimp3.h and minimp3_ex.h to use instead (a system or
# developer's own copy); nothing is downloaded then.
#
# Defines the interface target `minimp3` (include directory as SYSTEM, so the decoder's own warnings do not
# break -Werror builds, and the configuration shared by every file that includes it).

set(DOZ_MINIMP3_INCLUDE_DIR "" CACHE PATH
    "Directory with minimp3.h and minimp3_ex.h to use instead of the pinned registry package")

function(doz_read_lock lock_file)
    file(STRINGS "${lock_file}" lines REGEX "^[^#].*=")
    foreach(line IN LISTS lines)
        string(FIND "${line}" "=" eq)
        string(SUBSTRING "${line}" 0 ${eq} key)
        math(EXPR value_start "${eq} + 1")
        string(SUBSTRING "${line}" ${value_start} -1 value)
        set("LOCK_${key}" "${value}" PARENT_SCOPE)
    endforeach()
endfunction()

# True when `path` exists and has the SHA-256 digest `expected`.
function(doz_file_has_digest path expected out)
    set(${out} FALSE PARENT_SCOPE)
    if(EXISTS "${path}")
        file(SHA256 "${path}" actual)
        if(actual STREQUAL expected)
            set(${out} TRUE PARENT_SCOPE)
        endif()
    endif()
endfunction()

# Replaces exactly one occurrence of the line `from` by `to` (an empty `to` drops the line).
function(doz_patch_line text_var from to what)
    set(text "${${text_var}}")
    string(REPLACE "${from}\n" "@DOZ_PATCH_MARK@" marked "${text}")
    string(REGEX MATCHALL "@DOZ_PATCH_MARK@" hits "${marked}")
    list(LENGTH hits count)
    if(NOT count EQUAL 1)
        message(FATAL_ERROR "minimp3: expected one line '${from}' in ${what}, found ${count}")
    endif()
    if(to STREQUAL "")
        string(REPLACE "@DOZ_PATCH_MARK@" "" text "${marked}")
    else()
        string(REPLACE "@DOZ_PATCH_MARK@" "${to}\n" text "${marked}")
    endif()
    set(${text_var} "${text}" PARENT_SCOPE)
endfunction()

function(doz_fetch_minimp3 out_dir)
    set(lock_file "${CMAKE_SOURCE_DIR}/cmake/minimp3.lock")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${lock_file}")
    doz_read_lock("${lock_file}")
    set(deps_dir "${CMAKE_BINARY_DIR}/_deps/minimp3-${LOCK_version}")
    set(include_dir "${deps_dir}/include")
    set(${out_dir} "${include_dir}" PARENT_SCOPE)

    doz_file_has_digest("${include_dir}/minimp3.h" "${LOCK_minimp3.h.sha256}" have_main)
    doz_file_has_digest("${include_dir}/minimp3_ex.h" "${LOCK_minimp3_ex.h.sha256}" have_ex)
    if(have_main AND have_ex)
        return()
    endif()

    set(tarball "${deps_dir}/${LOCK_name}-${LOCK_version}.tgz")
    message(STATUS "minimp3: downloading ${LOCK_resolved}")
    file(DOWNLOAD "${LOCK_resolved}" "${tarball}" EXPECTED_HASH SHA512=${LOCK_sha512} TLS_VERIFY ON
         STATUS status)
    list(GET status 0 code)
    if(NOT code EQUAL 0)
        list(GET status 1 reason)
        file(REMOVE "${tarball}")
        message(FATAL_ERROR "minimp3: could not download ${LOCK_resolved}: ${reason}\n"
                            "Set DOZ_MINIMP3_INCLUDE_DIR to a directory with minimp3.h and minimp3_ex.h.")
    endif()

    set(unpacked "${deps_dir}/unpacked")
    file(REMOVE_RECURSE "${unpacked}")
    file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${unpacked}"
         PATTERNS package/lib/minimp3.h package/lib/minimp3_ex.h)

    file(READ "${unpacked}/package/lib/minimp3.h" main_text)
    doz_patch_line(main_text "#include <iostream>" "#include <stdint.h>" "minimp3.h")
    file(READ "${unpacked}/package/lib/minimp3_ex.h" ex_text)
    doz_patch_line(ex_text "#include <iostream>" "" "minimp3_ex.h")

    file(MAKE_DIRECTORY "${include_dir}")
    file(WRITE "${include_dir}/minimp3.h" "${main_text}")
    file(WRITE "${include_dir}/minimp3_ex.h" "${ex_text}")
    foreach(header minimp3.h minimp3_ex.h)
        doz_file_has_digest("${include_dir}/${header}" "${LOCK_${header}.sha256}" ok)
        if(NOT ok)
            file(REMOVE "${include_dir}/${header}")
            message(FATAL_ERROR "minimp3: ${header} does not have the pinned digest after patching")
        endif()
    endforeach()
endfunction()

if(DOZ_MINIMP3_INCLUDE_DIR)
    foreach(header minimp3.h minimp3_ex.h)
        if(NOT EXISTS "${DOZ_MINIMP3_INCLUDE_DIR}/${header}")
            message(FATAL_ERROR "minimp3: ${DOZ_MINIMP3_INCLUDE_DIR} has no ${header}")
        endif()
    endforeach()
    set(MINIMP3_INCLUDE_DIR "${DOZ_MINIMP3_INCLUDE_DIR}")
else()
    doz_fetch_minimp3(MINIMP3_INCLUDE_DIR)
endif()

add_library(minimp3 INTERFACE)
target_include_directories(minimp3 SYSTEM INTERFACE "${MINIMP3_INCLUDE_DIR}")
# Float output (16-bit full scale is 1.0); the loader only ever works on a buffer in memory.
target_compile_definitions(minimp3 INTERFACE MINIMP3_FLOAT_OUTPUT MINIMP3_NO_STDIO)
