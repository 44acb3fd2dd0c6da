# The GLSL ES 3.00 form of both stages, for WebGL 2: generated from the desktop stages at build time, so
# there is one scene. Replaces EMBEDDED_VERTEX_STAGE and EMBEDDED_FRAGMENT_STAGE with the generated files.
set(ES_VERTEX_STAGE ${GENERATED_DIR}/scene.es.vert)
set(ES_FRAGMENT_STAGE ${GENERATED_DIR}/scene.es.frag)
foreach(pair "${EMBEDDED_VERTEX_STAGE}=${ES_VERTEX_STAGE}" "${EMBEDDED_FRAGMENT_STAGE}=${ES_FRAGMENT_STAGE}")
    string(REPLACE "=" ";" paths "${pair}")
    list(GET paths 0 desktop)
    list(GET paths 1 es)
    add_custom_command(
        OUTPUT ${es}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${desktop} -DOUTPUT=${es} -P ${CMAKE_SOURCE_DIR}/cmake/GlslEs.cmake
        DEPENDS ${desktop} ${CMAKE_SOURCE_DIR}/cmake/GlslEs.cmake
        COMMENT "GLSL ES form of ${desktop}")
endforeach()
set(EMBEDDED_VERTEX_STAGE ${ES_VERTEX_STAGE})
set(EMBEDDED_FRAGMENT_STAGE ${ES_FRAGMENT_STAGE})
