# Printing: the spooler (libcups, which Debian ships without a pkg-config
# file) and zlib for the PDF stream.
find_package(ZLIB REQUIRED)
pkg_check_modules(CUPS QUIET IMPORTED_TARGET cups)
if(CUPS_FOUND)
  target_link_libraries(Tessel PUBLIC PkgConfig::CUPS)
else()
  find_path(CUPS_INCLUDE_DIR cups/cups.h REQUIRED)
  find_library(CUPS_LIBRARY cups REQUIRED)
  target_include_directories(Tessel PRIVATE ${CUPS_INCLUDE_DIR})
  target_link_libraries(Tessel PUBLIC ${CUPS_LIBRARY})
endif()
target_link_libraries(Tessel PUBLIC ZLIB::ZLIB)
