set(GLYPHWORK_PLATFORM_SOURCE platform/platform_windows.cpp)
set(GLYPHWORK_EXPORT "__declspec(dllexport)")
set(GLYPHWORK_PLATFORM_LIBS "")
set(GLYPHWORK_HOST_LIBRARY_SOURCE library_windows.cpp)
set(GLYPHWORK_NO_UNIQUE "")
# The live SDK's text is wide: TCHAR is wchar_t, and so are the Windows
# functions without a suffix.
add_compile_definitions(UNICODE _UNICODE)

if(CMAKE_HOST_WIN32)
  # A live build with Visual Studio: the logging library comes with the SDK's
  # headers, nlohmann-json from the package manager.
  find_package(nlohmann_json 3.10 REQUIRED)
  return()
endif()

# A cross build from Linux (cmake/toolchain-clang-msvc.cmake), all of it run
# under wine. Every program and library in one folder, as Windows finds
# libraries next to the program.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The shared runtime is the system's: Visual C++ 2015-2022's (under wine,
# Wine's own DLLs).
set(GLYPHWORK_RUNTIME_LIBRARIES "")

# nlohmann-json, fmt, Asio and CLI11 header-only, from Debian's packages, and
# only their own folders on the include path (not the Linux system headers).
set(third_party_include ${CMAKE_BINARY_DIR}/third_party/include)
foreach(dir nlohmann fmt asio asio.hpp CLI)
  file(COPY /usr/include/${dir} DESTINATION ${third_party_include})
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include})
add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include}
                                          INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)

# The logging library the plugin shares sinks with the host through: the
# live host's own, spdlog 0.16.2 with its bundled fmt. Its fmt and Debian's,
# which the programs format with, are kept to files of their own.
add_library(glyphwork_logging INTERFACE)
target_include_directories(glyphwork_logging SYSTEM INTERFACE ${CMAKE_SOURCE_DIR}/third_party/spdlog-0.16.2)
# Log files by their wide names, as every other file is opened on Windows.
target_compile_definitions(glyphwork_logging INTERFACE SPDLOG_WCHAR_FILENAMES)
set(GLYPHWORK_LOGGING_SERIES spdlog0)
set(GLYPHWORK_SDK_LOGGING glyphwork_logging)

# Windows 10 and later; Winsock and its extensions (AcceptEx) under Asio.
add_library(asio::asio INTERFACE IMPORTED)
set_target_properties(asio::asio PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include}
                                            INTERFACE_COMPILE_DEFINITIONS "ASIO_STANDALONE;_WIN32_WINNT=0x0A00"
                                            INTERFACE_LINK_LIBRARIES "ws2_32;mswsock")
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include})

# SQLite compiled in, from its amalgamation made from Debian's source
# (scripts/sqlite-amalgamation.sh).
set(GLYPHWORK_SQLITE_SOURCE "" CACHE PATH "The folder of sqlite3.c and sqlite3.h")
enable_language(C)
add_library(glyphwork_sqlite3 STATIC ${GLYPHWORK_SQLITE_SOURCE}/sqlite3.c)
target_include_directories(glyphwork_sqlite3 SYSTEM PUBLIC ${GLYPHWORK_SQLITE_SOURCE})
target_compile_definitions(glyphwork_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
if(MSVC)
  target_compile_options(glyphwork_sqlite3 PRIVATE /w)
else()
  target_compile_options(glyphwork_sqlite3 PRIVATE -w)
endif()
add_library(SQLite::SQLite3 ALIAS glyphwork_sqlite3)

# Google Benchmark from Debian's sources too, when the benchmarks are asked
# for (scripts/bench-windows.sh).
if(GLYPHWORK_BENCH)
  set(GLYPHWORK_BENCHMARK_SOURCE "" CACHE PATH "The folder of Google Benchmark's source")
  set(BENCHMARK_ENABLE_TESTING OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_INSTALL OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_WERROR OFF CACHE BOOL "" FORCE)
  # Debian's source has no git history for the library to take its
  # version from.
  set(GIT_VERSION 0.0.0)
  # Windows has no librt; a check that only compiles would find one.
  set(HAVE_LIB_RT FALSE CACHE INTERNAL "")
  add_subdirectory(${GLYPHWORK_BENCHMARK_SOURCE} ${CMAKE_BINARY_DIR}/benchmark EXCLUDE_FROM_ALL)
  # Its system information calls Windows' narrow functions.
  target_compile_options(benchmark PRIVATE -UUNICODE -U_UNICODE)
endif()

# GoogleTest from Debian's sources, built for Windows.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Windows threads: GoogleTest has its own support of them.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Last, so that the libraries above, which are not ours, do not link the
# runtime's static part (a static library of theirs would export it).
if(GLYPHWORK_CLANG_MSVC)
  include(cmake/runtime_clang_msvc.cmake)
endif()
