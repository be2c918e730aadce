set(GLYPHWORK_PLATFORM_SOURCE platform/platform_linux.cpp)
set(GLYPHWORK_EXPORT "__attribute__((visibility(\"default\")))")
set(GLYPHWORK_PLATFORM_LIBS ${CMAKE_DL_LIBS})
set(GLYPHWORK_HOST_LIBRARY_SOURCE library_linux.cpp)
set(GLYPHWORK_PLUGIN_LINK_OPTIONS "")
# g++ marks some inline statics STB_GNU_UNIQUE, which keeps a library loaded
# after dlclose; the plugin must really go away at unload.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(GLYPHWORK_NO_UNIQUE -fno-gnu-unique)
else()
  set(GLYPHWORK_NO_UNIQUE "")  # clang makes no such symbols
endif()

find_package(nlohmann_json 3.10 REQUIRED)
if(GLYPHWORK_STANDINS)
  # The stand-in host's logging library: Debian's spdlog (and its fmt).
  find_package(fmt REQUIRED)
  find_package(spdlog REQUIRED)
  set(GLYPHWORK_SDK_LOGGING spdlog::spdlog)
  set(GLYPHWORK_LOGGING_SERIES spdlog1)

  # Standalone Asio and CLI11, header-only. Debian's libasio-dev ships no
  # CMake files: the target is made here.
  find_package(Threads REQUIRED)
  find_path(GLYPHWORK_ASIO_INCLUDE_DIR asio.hpp REQUIRED)
  add_library(asio::asio INTERFACE IMPORTED)
  set_target_properties(asio::asio PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${GLYPHWORK_ASIO_INCLUDE_DIR}
                                              INTERFACE_COMPILE_DEFINITIONS ASIO_STANDALONE
                                              INTERFACE_LINK_LIBRARIES Threads::Threads)
  find_package(CLI11 2.1 CONFIG REQUIRED)
endif()
