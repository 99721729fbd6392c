# Shared helpers for the folders' CMakeLists.

set(KLM71_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)

# klm71_test(NAME SOURCES... LIBS...) : one GoogleTest executable registered with CTest.
function(klm71_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${KLM71_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KLM71_BUILD_BIN=${CMAKE_BINARY_DIR}/bin;QT_QPA_PLATFORM=offscreen")
endfunction()

# klm71_fuzz(NAME SOURCES... LIBS...) : a libFuzzer target, only in the fuzz preset.
function(klm71_fuzz name)
  if(NOT KLM71_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
endfunction()

# klm71_benchmark(NAME SOURCES... LIBS...) : a Google Benchmark program (not a test).
function(klm71_benchmark name)
  if(NOT KLM71_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()
