# One function per kind of target, so that adding one is a line.

set(ORVEX_WARNINGS -Wall -Wextra -Werror)

if(ORVEX_SANITIZE)
  set(ORVEX_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  add_compile_options(${ORVEX_SANITIZER_FLAGS})
  add_link_options(${ORVEX_SANITIZER_FLAGS})
  if(ORVEX_FUZZ)
    # Coverage for the fuzzers in everything they reach.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

# A module of the core library: a folder under src/ whose sources join orvex_core.
function(orvex_add_sources)
  target_sources(orvex_core PRIVATE ${ARGN})
endfunction()

# A GoogleTest suite: tests/<name>.cpp linked against the core library.
function(orvex_add_test name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE ${ORVEX_WARNINGS})
  target_link_libraries(${name} PRIVATE orvex_core orvex_testsupport GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "ORVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# A libFuzzer target. Its stored inputs in fuzz/corpus/<name>/ always run as an
# ordinary test through a small replay driver; the fuzzer itself needs clang.
function(orvex_add_fuzz name source)
  add_executable(${name}_replay ${source} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_compile_options(${name}_replay PRIVATE ${ORVEX_WARNINGS})
  target_link_libraries(${name}_replay PRIVATE orvex_core)
  add_test(NAME fuzz_replay_${name}
           COMMAND ${name}_replay ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(ORVEX_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE ${ORVEX_WARNINGS} -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE orvex_core)
  endif()
endfunction()

# A Google Benchmark program.
function(orvex_add_bench name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE ${ORVEX_WARNINGS})
  target_link_libraries(${name} PRIVATE orvex_core benchmark::benchmark)
endfunction()
