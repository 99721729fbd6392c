# The printer-properties page: a toolkit-free page of option items shown by
# the common property sheet (ui/sheet_host), KLM71ui's two entry points, tests.
add_library(klm71_printer_page STATIC ${CMAKE_CURRENT_LIST_DIR}/printer_properties.cpp)
target_compile_options(klm71_printer_page PRIVATE ${KLM71_WARNINGS})
target_link_libraries(klm71_printer_page PUBLIC klm71_driver_core klm71_ui_core)
target_sources(KLM71ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/printer_properties_exports.cpp)
target_link_libraries(KLM71ui PRIVATE klm71_printer_page)

klm71_test(printer_properties_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/printer_properties_test.cpp
  LIBS klm71_printer_page klm71_sheet_host ${CMAKE_DL_LIBS})
target_compile_definitions(printer_properties_test PRIVATE KLM71_DATA_SOURCE_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(printer_properties_test KLM71ui compstui klm71_paperdata KLM71pc klm71_resource_files)

if(KLM71_WITH_QT)
  klm71_test(printer_properties_qt_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/printer_properties_qt_test.cpp
    LIBS klm71_printer_page klm71_sheet_qt)
  target_compile_definitions(printer_properties_qt_test PRIVATE KLM71_DATA_SOURCE_DIR="${PROJECT_SOURCE_DIR}/data")
  add_dependencies(printer_properties_qt_test klm71_paperdata KLM71pc klm71_resource_files)
endif()
