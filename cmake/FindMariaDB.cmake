# Finds MariaDB Connector/C, the client library of MariaDB and MySQL, as
# MariaDB::MariaDB. In this order: vcpkg's package (`vcpkg install libmariadb`,
# config unofficial-libmariadb), pkg-config's libmariadb (Debian's
# libmariadb-dev), then mysql.h and the library by name under MariaDB_ROOT or
# the prefixes CMake searches (the Windows installer's "MariaDB Connector C
# 64-bit" folder: set MariaDB_ROOT to it). Sets MariaDB_FOUND.
find_package(unofficial-libmariadb CONFIG QUIET)
if(TARGET unofficial::libmariadb)
  find_path(MariaDB_INCLUDE_DIR mysql.h PATH_SUFFIXES mariadb mysql)
  add_library(MariaDB::MariaDB INTERFACE IMPORTED)
  target_link_libraries(MariaDB::MariaDB INTERFACE unofficial::libmariadb)
  if(MariaDB_INCLUDE_DIR)
    target_include_directories(MariaDB::MariaDB INTERFACE ${MariaDB_INCLUDE_DIR})
  endif()
  set(MariaDB_FOUND TRUE)
  return()
endif()

if(NOT CMAKE_CROSSCOMPILING)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(PC_MARIADB QUIET libmariadb)
  endif()
endif()
find_path(MariaDB_INCLUDE_DIR mysql.h HINTS ${PC_MARIADB_INCLUDE_DIRS} PATH_SUFFIXES mariadb mysql include
                                                                          include/mariadb include/mysql)
find_library(MariaDB_LIBRARY NAMES mariadb libmariadb HINTS ${PC_MARIADB_LIBRARY_DIRS} PATH_SUFFIXES lib lib/mariadb)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(MariaDB REQUIRED_VARS MariaDB_LIBRARY MariaDB_INCLUDE_DIR)
if(MariaDB_FOUND AND NOT TARGET MariaDB::MariaDB)
  add_library(MariaDB::MariaDB UNKNOWN IMPORTED)
  set_target_properties(MariaDB::MariaDB PROPERTIES IMPORTED_LOCATION ${MariaDB_LIBRARY}
                                                    INTERFACE_INCLUDE_DIRECTORIES ${MariaDB_INCLUDE_DIR})
endif()
mark_as_advanced(MariaDB_INCLUDE_DIR MariaDB_LIBRARY)
