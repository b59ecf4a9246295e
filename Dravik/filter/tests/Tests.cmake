# Stand-in MICR locators for the filter tests: one that answers fixed texts
# chosen by the resolution it is asked with, one that lacks an export. Both
# carry the real file name, each in its own folder.
add_library(KZTLiteTest SHARED ${CMAKE_CURRENT_SOURCE_DIR}/filter/tests/locator/KZTLiteTest.cpp)
set_target_properties(KZTLiteTest PROPERTIES OUTPUT_NAME KZTLite
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/kzt/)
target_compile_definitions(KZTLiteTest PRIVATE KZT_FREE_LOG="${CMAKE_CURRENT_BINARY_DIR}/kzt/freed.log")
add_library(KZTLiteNoExports SHARED ${CMAKE_CURRENT_SOURCE_DIR}/filter/tests/locator/KZTLiteNoExports.cpp)
set_target_properties(KZTLiteNoExports PROPERTIES OUTPUT_NAME KZTLite
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/kzt-noexports/)
add_dependencies(DravikFilterTests KZTLiteTest KZTLiteNoExports)
target_compile_definitions(DravikFilterTests PRIVATE
  KZT_TEST_DIR="${CMAKE_CURRENT_BINARY_DIR}/kzt/"
  KZT_NOEXPORTS_DIR="${CMAKE_CURRENT_BINARY_DIR}/kzt-noexports/"
  KZT_FREE_LOG="${CMAKE_CURRENT_BINARY_DIR}/kzt/freed.log")
