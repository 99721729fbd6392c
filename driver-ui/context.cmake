# The printer context, the no-prompt document properties, printer events and
# upgrade, and the port tests: core sources, KLM71ui's entry points, tests.
target_sources(klm71_driver_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/library_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/port_kind.cpp
  ${CMAKE_CURRENT_LIST_DIR}/printer_events.cpp
)

klm71_test(driver_events_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/port_kind_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/printer_events_test.cpp
  LIBS klm71_driver_core)
add_dependencies(driver_events_test klm71_spoolss klm71_spoolss_partial)

target_sources(klm71_driver_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/printer_context.cpp
  ${CMAKE_CURRENT_LIST_DIR}/document_properties.cpp
)
target_sources(KLM71ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dll_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sheet_exports.cpp
)

klm71_test(driver_context_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/printer_context_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/document_properties_test.cpp
  LIBS klm71_driver_core ${CMAKE_DL_LIBS})
target_compile_definitions(driver_context_test PRIVATE KLM71_DATA_SOURCE_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(driver_context_test klm71_paperdata KLM71pc)

# Through the built package: klm71 install, klm71 printer add, KLM71ui loaded.
klm71_test(driver_library_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/driver_library_test.cpp
  LIBS klm71_platform)
add_dependencies(driver_library_test klm71 KLM71ui klm71_spoolss klm71_paperdata KLM71pc klm71_data)
