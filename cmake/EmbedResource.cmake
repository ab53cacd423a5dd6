# qel_embed_resource(INPUT SYMBOL OUTPUT)
# Generates OUTPUT, a C++ source that defines
#   extern const char SYMBOL[]; extern const unsigned long SYMBOL_size;
# holding the bytes of INPUT, regenerated whenever INPUT changes.
function(qel_embed_resource input symbol output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedResourceScript.cmake
    DEPENDS ${input} ${CMAKE_SOURCE_DIR}/cmake/EmbedResourceScript.cmake
    COMMENT "Embedding ${input}"
    VERBATIM)
endfunction()
