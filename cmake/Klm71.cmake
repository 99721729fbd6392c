# Shared helpers for the folders' CMakeLists.

set(KLM71_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)

# klm71_test(NAME SOURCES... LIBS...) : one GoogleTest executable registered with CTest.
function(klm71_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/testing/test_environment.cpp)
  target_compile_options(${name} PRIVATE ${KLM71_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KLM71_BUILD_BIN=${CMAKE_BINARY_DIR}/bin")
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

# klm71_share(TARGET FILES...) : copies package data files into
# ${KLM71_SHARE_DIR} as part of TARGET's build (a custom target name).
function(klm71_share target)
  set(outputs)
  foreach(f ${ARGN})
    get_filename_component(name ${f} NAME)
    add_custom_command(OUTPUT ${KLM71_SHARE_DIR}/${name}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KLM71_SHARE_DIR}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${KLM71_SHARE_DIR}/${name}
      DEPENDS ${f})
    list(APPEND outputs ${KLM71_SHARE_DIR}/${name})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
