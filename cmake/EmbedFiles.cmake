# Turns the files of a folder into one C++ source: a table of their names (without the folder) and bytes,
# in name order, so that the binary holds the same bytes wherever and whenever it is built.
# Usage: cmake -DOUTPUT=out.cpp -DFOLDER=dir -DTABLE=NAME -DCOUNT=NAME -DHEADER=path/to.h -P EmbedFiles.cmake
file(GLOB paths LIST_DIRECTORIES false RELATIVE "${FOLDER}" "${FOLDER}/*")
list(SORT paths)
set(content "// Generated from the files of a folder at build time; do not edit.\n#include \"${HEADER}\"\n\n")
set(entries "")
set(index 0)
foreach(name IN LISTS paths)
    file(READ "${FOLDER}/${name}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    # An empty file still needs one byte: C++ has no empty arrays.
    if(size EQUAL 0)
        set(hex "00")
    endif()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND content "static const unsigned char file${index}[] = {${bytes}};\n")
    string(APPEND entries "    {\"${name}\", file${index}, ${size}},\n")
    math(EXPR index "${index} + 1")
endforeach()
if(index EQUAL 0)
    # No files: one entry that names nothing keeps the array legal; the count says there is none.
    set(entries "    {\"\", nullptr, 0},\n")
endif()
string(APPEND content "\nconst EmbeddedFile ${TABLE}[] = {\n${entries}};\nconst int ${COUNT} = ${index};\n")
file(WRITE "${OUTPUT}.tmp" "${content}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
