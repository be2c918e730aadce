# Windows x64 in the live host's binary interface, from Linux: Clang in its
# MSVC mode (clang-cl) and lld-link, Microsoft's C++ standard library of the
# host's toolset (third_party/msvc-stl-17.9), Wine's headers for the C
# runtime and Windows, completed by toolchain/clang-msvc/include. The shared
# runtime's import libraries and the runtime's static part are made by
# cmake/runtime_clang_msvc.cmake. Results run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER clang-cl-19)
set(CMAKE_CXX_COMPILER clang-cl-19)
set(CMAKE_LINKER lld-link-19)
set(CMAKE_AR llvm-lib-19)
set(CMAKE_RC_COMPILER llvm-rc-19)
set(CMAKE_MT llvm-mt-19)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# The runtime's libraries are built by the project itself: checks compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreadedDLL)
set(GLYPHWORK_CLANG_MSVC ON)

get_filename_component(glyphwork_source ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(wine_include /usr/include/wine/wine)
# Ours first (they include Wine's next), then the C++ library, then Wine's.
set(GLYPHWORK_SYSTEM_INCLUDE_DIRS ${glyphwork_source}/toolchain/clang-msvc/include
    ${glyphwork_source}/third_party/msvc-stl-17.9/stl/inc ${wine_include}/msvcrt ${wine_include}/windows)
set(system_includes "")
foreach(dir ${GLYPHWORK_SYSTEM_INCLUDE_DIRS})
  string(APPEND system_includes " -imsvc ${dir}")
endforeach()
# The vectorised algorithms of the C++ library need AVX2 code that Clang
# compiles only with per-function target attributes; its plain loops serve.
# _MSC_VER as the host's toolset has it (19.39).
set(CMAKE_C_FLAGS_INIT "-fms-compatibility-version=19.39 ${system_includes}")
set(CMAKE_CXX_FLAGS_INIT "-fms-compatibility-version=19.39 ${system_includes} -D_USE_STD_VECTOR_ALGORITHMS=0")
# No manifest files beside the modules: they would say nothing Windows does
# not assume.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT /MANIFEST:NO)
endforeach()
# Windows' own libraries are named by the targets that use them.
set(CMAKE_C_STANDARD_LIBRARIES kernel32.lib CACHE STRING "Libraries every module links")
set(CMAKE_CXX_STANDARD_LIBRARIES kernel32.lib CACHE STRING "Libraries every module links")
# Threads are Windows' own: the checks, which compile without linking here,
# must not take a POSIX threads library for there.
foreach(check CMAKE_HAVE_PTHREAD_H CMAKE_HAVE_LIBC_PTHREAD CMAKE_HAVE_PTHREADS_CREATE CMAKE_HAVE_PTHREAD_CREATE
              THREADS_HAVE_PTHREAD_ARG)
  set(${check} FALSE CACHE INTERNAL "")
endforeach()
# Nothing of Linux's: packages and libraries are the build's own.
set(CMAKE_FIND_ROOT_PATH ${glyphwork_source}/toolchain/clang-msvc)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
