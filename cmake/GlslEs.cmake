# Turns a "#version 330" stage into GLSL ES 3.00 for WebGL 2: only the version line changes, and default
# precisions follow it (ES fragment stages have none for floats). The rest of the text stays byte for byte.
# Usage: cmake -DINPUT=scene.frag -DOUTPUT=scene.es.frag -P GlslEs.cmake
file(READ "${INPUT}" text)
string(FIND "${text}" "\n" end_of_first_line)
string(SUBSTRING "${text}" 0 ${end_of_first_line} first_line)
string(STRIP "${first_line}" first_line)
if(NOT first_line STREQUAL "#version 330")
    message(FATAL_ERROR "${INPUT}: the first line is '${first_line}', not '#version 330'")
endif()
string(SUBSTRING "${text}" ${end_of_first_line} -1 rest)
# highp everywhere: music time reaches 124 s and the march needs full float precision, as on the desktop.
set(es_text "#version 300 es\nprecision highp float;\nprecision highp int;\nprecision highp sampler2D;${rest}")
file(WRITE "${OUTPUT}.tmp" "${es_text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
