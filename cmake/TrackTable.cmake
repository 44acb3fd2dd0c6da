# Reads the track table (sync/track_table.h) at configure time and makes from it what the C++ compiler cannot:
# the track uniform's layout and the names the scene's stages use for each value (render/track_layout.h in
# the build tree), and the names of the track files every track has (TRACK_FILE_NAMES), so that a track
# without a committed file is carried with an empty one. Editing the table configures again.
# Sets TRACK_LAYOUT_ROOT (an include root holding render/track_layout.h) and TRACK_FILE_NAMES.
set(TRACK_TABLE ${CMAKE_SOURCE_DIR}/sync/track_table.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TRACK_TABLE})

# The track name as a file name's part, as sync/track_files escapes it: bytes other than letters, digits,
# '.', '_' and '/' become '-' and two upper-case hex digits.
function(escape_track_name name out)
    set(escaped "")
    string(LENGTH "${name}" length)
    math(EXPR last "${length} - 1")
    foreach(i RANGE ${last})
        string(SUBSTRING "${name}" ${i} 1 c)
        if(c MATCHES "^[A-Za-z0-9._/]$")
            string(APPEND escaped "${c}")
        else()
            string(HEX "${c}" hex)
            string(TOUPPER "${hex}" hex)
            string(APPEND escaped "-${hex}")
        endif()
    endforeach()
    set(${out} "${escaped}" PARENT_SCOPE)
endfunction()

file(STRINGS ${TRACK_TABLE} table_lines REGEX "^SYNC_TRACK\\(")
set(TRACK_FILE_NAMES "")
set(track_defines "")
set(used_slots "")
set(count 0)
set(components x y z)
foreach(line IN LISTS table_lines)
    if(NOT line MATCHES "^SYNC_TRACK\\(([A-Z][A-Z0-9_]*), *\"([^\"]+)\", *([0-9]+), *([-+0-9.eE]+), *\"[^\"]*\"\\)$")
        message(FATAL_ERROR "${TRACK_TABLE}: a line not in the table's form:\n${line}")
    endif()
    set(id ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    set(slot ${CMAKE_MATCH_3})
    if(slot IN_LIST used_slots)
        message(FATAL_ERROR "${TRACK_TABLE}: ${name} takes slot ${slot}, which another track has")
    endif()
    list(APPEND used_slots ${slot})
    math(EXPR vector "${slot} / 3")
    math(EXPR component "${slot} % 3")
    list(GET components ${component} letter)
    string(APPEND track_defines "#define TRACK_${id} iTrack[${vector}].${letter}\\n")
    escape_track_name("${name}" escaped)
    list(APPEND TRACK_FILE_NAMES "sync_${escaped}.track")
    math(EXPR count "${count} + 1")
endforeach()
foreach(slot IN LISTS used_slots)
    if(slot GREATER_EQUAL count)
        message(FATAL_ERROR "${TRACK_TABLE}: slot ${slot} is beyond the ${count} tracks' values")
    endif()
endforeach()
math(EXPR vectors "(${count} + 2) / 3")
math(EXPR values "${vectors} * 3")

set(TRACK_LAYOUT_ROOT ${CMAKE_BINARY_DIR}/generated/track_layout)
set(layout "// Generated from sync/track_table.h at configure time; do not edit.
#pragma once

// The track uniform holds every track's value at its slot, three to a vector.
constexpr int TRACK_UNIFORM_VECTORS = ${vectors};
constexpr int TRACK_UNIFORM_VALUES = ${values};

// Put into every stage after its #version line: the uniform's size and each track's name for its value.
constexpr char TRACK_STAGE_NAMES[] =
    \"#define TRACK_VECTORS ${vectors}\\n${track_defines}\";
")
file(WRITE ${TRACK_LAYOUT_ROOT}/render/track_layout.h.tmp "${layout}")
file(COPY_FILE ${TRACK_LAYOUT_ROOT}/render/track_layout.h.tmp ${TRACK_LAYOUT_ROOT}/render/track_layout.h
     ONLY_IF_DIFFERENT)
file(REMOVE ${TRACK_LAYOUT_ROOT}/render/track_layout.h.tmp)
