# DEVMODE merge and paper resolution, the capability and print queries:
# core sources, KLM71ui's entry points, tests and the merge fuzz target.
target_sources(klm71_driver_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/devmode_merge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_strings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capabilities.cpp
  ${CMAKE_CURRENT_LIST_DIR}/print_query.cpp
)
# Resource strings (bin name, custom size) come through the toolkit-free reader.
target_link_libraries(klm71_driver_core PUBLIC klm71_resources)
target_sources(KLM71ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/query_exports.cpp)

klm71_test(driver_merge_test
  SOURCES devmode_merge_test.cpp
  LIBS klm71_driver_core)
target_compile_definitions(driver_merge_test PRIVATE KLM71_DATA_SOURCE_DIR="${PROJECT_SOURCE_DIR}/data")

klm71_test(driver_queries_test
  SOURCES capabilities_test.cpp
  LIBS klm71_driver_core)
# The test installs the package with the klm71 command, so all it places is built first.
add_dependencies(driver_queries_test klm71 KLM71ui klm71_paperdata KLM71pc klm71_data klm71_resource_files)

klm71_fuzz(driver_merge_fuzz SOURCES devmode_merge_fuzz.cpp LIBS klm71_driver_core)

# DrvDeviceCapabilities per call next to the bare catalogue read it contains.
klm71_benchmark(driver_capabilities_benchmark SOURCES capabilities_benchmark.cpp
  LIBS klm71_driver_core klm71_paperdata_install)
if(TARGET driver_capabilities_benchmark)
  add_dependencies(driver_capabilities_benchmark klm71_paperdata KLM71pc klm71_data klm71_resource_files)
  target_compile_definitions(driver_capabilities_benchmark PRIVATE
    KLM71_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KLM71_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
endif()
