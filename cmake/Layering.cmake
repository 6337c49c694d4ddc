# Checks that the include folders keep the layers apart: compiled with a target's own include
# folders, a header of a layer below it is found and one of a layer above it, or of a program, is
# not. Each check is a test that runs the compiler on a one-line source.

# vestrel_check_layering(TARGET REACHABLE_HEADER UNREACHABLE_HEADER)
function(vestrel_check_layering target reachable unreachable)
    set(includes "-I$<JOIN:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>,$<SEMICOLON>-I>")
    foreach(kind reachable unreachable)
        string(MAKE_C_IDENTIFIER ${${kind}} header_id)
        set(source ${CMAKE_BINARY_DIR}/layering/${target}-${header_id}.cpp)
        file(WRITE ${source} "#include \"${${kind}}\"\n")
        set(test layering.${target}.${kind}.${${kind}})
        add_test(NAME ${test}
                 COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only ${includes} ${source}
                 COMMAND_EXPAND_LISTS)
        if(kind STREQUAL "unreachable")
            string(REPLACE "." "\\." pattern ${${kind}})
            set_tests_properties(${test} PROPERTIES PASS_REGULAR_EXPRESSION "${pattern}'? file not found|${pattern}: No such file")
        endif()
    endforeach()
endfunction()
