# Compiles the schema scripts into a target: each keeplib/scripts/NNN-*.sql becomes the embedded
# script NNN, its bytes unchanged.
function(keeplib_embed_scripts target)
    file(GLOB scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/scripts/*.sql)
    set(EMBED_ASM "")
    set(EMBED_DECLARATIONS "")
    set(EMBED_TABLE "")
    foreach(script IN LISTS scripts)
        get_filename_component(name ${script} NAME)
        string(REGEX MATCH "^[0-9]+" id ${name})
        if(NOT id)
            message(FATAL_ERROR "script ${name} does not start with its identifier")
        endif()
        set(symbol keeplib_script_${id})
        string(APPEND EMBED_ASM
            "    .global ${symbol}_begin\n    .hidden ${symbol}_begin\n    .global ${symbol}_end\n"
            "    .hidden ${symbol}_end\n    .balign 16\n${symbol}_begin:\n    .incbin \"${script}\"\n${symbol}_end:\n")
        string(APPEND EMBED_DECLARATIONS
            "__attribute__((visibility(\"hidden\"))) extern const std::uint8_t ${symbol}_begin[], ${symbol}_end[];\n")
        string(APPEND EMBED_TABLE "    EmbeddedScript{${id}, ${symbol}_begin, ${symbol}_end},\n")
    endforeach()
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/EmbeddedScripts.cpp)
    configure_file(${CMAKE_CURRENT_SOURCE_DIR}/scripts/EmbeddedScripts.cpp.in ${generated} @ONLY)
    target_sources(${target} PRIVATE ${generated})
    # The assembler reads the scripts: a changed script rebuilds the table.
    set_source_files_properties(${generated} PROPERTIES OBJECT_DEPENDS "${scripts}")
endfunction()
