# Turns text files into one C++ source of NUL-terminated char arrays.
# Usage: cmake -DOUTPUT=out.cpp -DENTRIES="NAME=path;NAME=path" -P EmbedText.cmake
set(content "// Generated from the shader sources at build time; do not edit.\n")
foreach(entry IN LISTS ENTRIES)
    string(REPLACE "=" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 path)
    file(READ "${path}" text)
    # A raw string keeps the text byte for byte; the delimiter cannot occur in GLSL.
    string(APPEND content "extern const char ${name}[];\nconst char ${name}[] = R\"doz_glsl(${text})doz_glsl\";\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${content}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
