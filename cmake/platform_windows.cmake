set(GLYPHWORK_PLATFORM_SOURCE plugin/platform_windows.cpp)
set(GLYPHWORK_EXPORT "__declspec(dllexport)")
set(GLYPHWORK_PLATFORM_LIBS "")
set(GLYPHWORK_HOST_LIBRARY_SOURCE library_windows.cpp)
set(GLYPHWORK_NO_UNIQUE "")
# The live SDK's text is wide: TCHAR is wchar_t, and so are the Windows
# functions without a suffix.
add_compile_definitions(UNICODE _UNICODE)

if(NOT GLYPHWORK_STANDINS)
  # A live build: the logging library comes with the SDK's headers.
  find_package(nlohmann_json 3.10 REQUIRED)
  return()
endif()

# Our cross build with MinGW-w64, all of it run under wine.
if(MINGW)
  # Plugin_Init and Plugin_Unload are the only exports; without this the
  # linker would export every symbol.
  set(GLYPHWORK_PLUGIN_LINK_OPTIONS -Wl,--exclude-all-symbols)
endif()

# Every program and library in one folder, with the compiler's runtime
# libraries beside them, as Windows finds libraries next to the program.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE libstdcxx_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                OUTPUT_VARIABLE libgcc_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE winpthread_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
set(GLYPHWORK_RUNTIME_LIBRARIES ${libstdcxx_dll} ${libgcc_dll} ${winpthread_dll})
file(COPY ${GLYPHWORK_RUNTIME_LIBRARIES} DESTINATION ${CMAKE_BINARY_DIR}/bin)

# nlohmann-json, spdlog, fmt, Asio and CLI11 header-only, from Debian's
# packages, and only their own folders on the include path (not the Linux
# system headers).
set(third_party_include ${CMAKE_BINARY_DIR}/third_party/include)
foreach(dir nlohmann spdlog fmt asio asio.hpp CLI)
  file(COPY /usr/include/${dir} DESTINATION ${third_party_include})
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include})
add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include}
                                          INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)
add_library(spdlog::spdlog INTERFACE IMPORTED)
# Log files by their wide names, as every other file is opened on Windows.
set(GLYPHWORK_SDK_LOGGING spdlog::spdlog)
set_target_properties(spdlog::spdlog PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include}
                                                INTERFACE_COMPILE_DEFINITIONS "SPDLOG_HEADER_ONLY;SPDLOG_WCHAR_FILENAMES"
                                                INTERFACE_LINK_LIBRARIES fmt::fmt)

# Windows 10 and later; Winsock and its extensions (AcceptEx) under Asio.
add_library(asio::asio INTERFACE IMPORTED)
set_target_properties(asio::asio PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include}
                                            INTERFACE_COMPILE_DEFINITIONS "ASIO_STANDALONE;_WIN32_WINNT=0x0A00"
                                            INTERFACE_LINK_LIBRARIES "ws2_32;mswsock")
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${third_party_include})

# GoogleTest from Debian's sources, built for Windows.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
