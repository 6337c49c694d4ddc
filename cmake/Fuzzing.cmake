# Fuzz harnesses for the parsers of outside input. Each harness defines LLVMFuzzerTestOneInput.
# With clang in the sanitizer build it is a libFuzzer target; elsewhere it is linked with a
# replay driver that feeds it the seed corpus, so that it always builds and runs with the tests.

set(VESTREL_LIBFUZZER OFF)
if(VESTREL_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(VESTREL_LIBFUZZER ON)
    # Everything the harnesses reach carries libFuzzer's coverage counters: without them it sees
    # only the harness itself and finds no more than random bytes hit. The sanitizer runtime
    # answers the counters' calls in the programs that are no fuzzers.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# vestrel_add_fuzzer(NAME SOURCE CORPUS_DIR LIBS...)
function(vestrel_add_fuzzer name source corpus)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${ARGN})
    if(VESTREL_LIBFUZZER)
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        # libFuzzer adds what it finds to its first folder: keep that out of the source tree.
        set(found ${CMAKE_CURRENT_BINARY_DIR}/${name}-found)
        file(MAKE_DIRECTORY ${found})
        add_test(NAME ${name}
                 COMMAND ${name} -max_total_time=15 -rss_limit_mb=2048 -artifact_prefix=${found}/ ${found} ${corpus})
    else()
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tools/fuzz/ReplayDriver.cpp)
        add_test(NAME ${name} COMMAND ${name} ${corpus})
    endif()
endfunction()
