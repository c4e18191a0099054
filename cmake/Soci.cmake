# Debian's SOCI ships neither a CMake package nor a pkg-config file: find it by hand.
find_path(SOCI_INCLUDE_DIR soci/soci.h REQUIRED)
find_library(SOCI_CORE_LIB soci_core REQUIRED)
find_library(SOCI_SQLITE3_LIB soci_sqlite3 REQUIRED)
find_library(SOCI_POSTGRESQL_LIB soci_postgresql REQUIRED)
find_library(SOCI_ODBC_LIB soci_odbc REQUIRED)
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)

add_library(soci_all INTERFACE)
target_include_directories(soci_all INTERFACE ${SOCI_INCLUDE_DIR} ${LIBPQ_INCLUDE_DIRS})
target_link_libraries(soci_all INTERFACE
  ${SOCI_SQLITE3_LIB} ${SOCI_POSTGRESQL_LIB} ${SOCI_ODBC_LIB} ${SOCI_CORE_LIB}
  PkgConfig::LIBPQ PkgConfig::SQLITE3 ${CMAKE_DL_LIBS})
