# What MSVC's own libraries give a link, made here for a build with
# cmake/toolchain-clang-msvc.cmake:
#  - import libraries of the shared runtime and of Windows, from the export
#    tables of Wine's DLLs (the ones the programs run with under wine), made
#    when the build is configured into runtime-lib/, on every link's search
#    path, under the names MSVC's libraries have: msvcrt.lib (vcruntime140.dll
#    and ucrtbase.dll), msvcprt.lib (msvcp140.dll and its satellites),
#    kernel32.lib, ...;
#  - the live host's import library, AsaApi.lib of exactly the names
#    tests/abi/expected.txt lists, into live-sdk/, which the plugin links;
#  - the runtime's static part, linked into every module: our startup code
#    (toolchain/clang-msvc/crt) and the C++ library's static sources.
# The ABI check (tests/abi/abi_check.py) compiles with the plugin's flags.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

set(GLYPHWORK_WINE_DLL_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH
    "Wine's Windows x64 DLLs, whose export tables the import libraries are made from")
find_program(GLYPHWORK_DLLTOOL NAMES llvm-dlltool-19 llvm-dlltool REQUIRED)
find_program(GLYPHWORK_READOBJ NAMES llvm-readobj-19 llvm-readobj REQUIRED)

set(runtime_lib_dir ${CMAKE_BINARY_DIR}/runtime-lib)
file(MAKE_DIRECTORY ${runtime_lib_dir} ${CMAKE_BINARY_DIR}/live-sdk)

# OUT_LIB from a .def file naming DLL and its exports NAMES.
function(glyphwork_def_import_library out_lib dll names)
  set(def "LIBRARY ${dll}\nEXPORTS\n")
  foreach(name IN LISTS names)
    string(APPEND def "\"${name}\"\n")
  endforeach()
  file(WRITE ${out_lib}.def "${def}")
  execute_process(COMMAND ${GLYPHWORK_DLLTOOL} -m i386:x86-64 -d ${out_lib}.def -l ${out_lib}
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# runtime-lib/NAME.lib: the imports of every named export of the Wine DLLs.
# A name two of them export is taken from the first: Wine's ucrtbase.dll
# also exports most of vcruntime140.dll's functions, which Microsoft's
# modules import from vcruntime140.dll.
function(glyphwork_runtime_import_library name)
  set(parts "")
  set(taken "")
  foreach(dll IN LISTS ARGN)
    execute_process(COMMAND ${GLYPHWORK_READOBJ} --coff-exports ${GLYPHWORK_WINE_DLL_DIR}/${dll}.dll
                    OUTPUT_VARIABLE exports COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "\n  Name: [^\n]+" lines "${exports}")
    list(TRANSFORM lines REPLACE "^\n  Name: " "")
    list(REMOVE_ITEM lines ${taken})
    list(APPEND taken ${lines})
    glyphwork_def_import_library(${runtime_lib_dir}/${dll}.imports.lib ${dll}.dll "${lines}")
    list(APPEND parts ${runtime_lib_dir}/${dll}.imports.lib)
  endforeach()
  execute_process(COMMAND ${CMAKE_AR} /nologo /out:${runtime_lib_dir}/${name}.lib ${parts} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

if(NOT EXISTS ${runtime_lib_dir}/msvcrt.lib)
  glyphwork_runtime_import_library(msvcrt vcruntime140 vcruntime140_1 ucrtbase)
  glyphwork_runtime_import_library(msvcprt msvcp140 msvcp140_1 msvcp140_2 msvcp140_atomic_wait)
  foreach(system kernel32 user32 advapi32 shell32 shlwapi ws2_32 mswsock)
    glyphwork_runtime_import_library(${system} ${system})
  endforeach()
  # The POSIX names of the C library: Wine's headers define them inline.
  execute_process(COMMAND ${CMAKE_AR} /nologo /llvmlibempty /out:${runtime_lib_dir}/oldnames.lib
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
link_directories(${runtime_lib_dir})

# The live host's exports, as the ABI check lists them: the plugin can link
# nothing the live host lacks.
file(STRINGS ${CMAKE_SOURCE_DIR}/tests/abi/expected.txt live_imports REGEX "^import ")
list(TRANSFORM live_imports REPLACE "^import " "")
glyphwork_def_import_library(${CMAKE_BINARY_DIR}/live-sdk/AsaApi.lib AsaApi.dll "${live_imports}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/abi/expected.txt)
set(GLYPHWORK_LIVE_HOST_IMPORTS ${CMAKE_BINARY_DIR}/live-sdk/AsaApi.lib)

set(crt ${CMAKE_SOURCE_DIR}/toolchain/clang-msvc/crt)
set(stl_src ${CMAKE_SOURCE_DIR}/third_party/msvc-stl-17.9/stl/src)
add_library(glyphwork_msvc_runtime STATIC
  ${crt}/startup.cpp ${crt}/dll_startup.cpp ${crt}/dll_main_default.cpp ${crt}/exe_startup.cpp
  ${crt}/thread_safe_statics.cpp ${crt}/tls.cpp ${crt}/security_cookie.cpp ${crt}/compiler_support.cpp
  ${crt}/new_delete.cpp
  ${stl_src}/filesystem.cpp ${stl_src}/nothrow.cpp ${stl_src}/syserror_import_lib.cpp ${stl_src}/locale0_implib.cpp
  ${stl_src}/sharedmutex.cpp ${stl_src}/format.cpp)
# The cookie check cannot check itself, nor the entry that sets the cookie.
target_compile_options(glyphwork_msvc_runtime PRIVATE /GS-)
# Microsoft's sources, as they are: their warnings are not ours to mend.
set_source_files_properties(${stl_src}/filesystem.cpp ${stl_src}/nothrow.cpp ${stl_src}/syserror_import_lib.cpp
                            ${stl_src}/locale0_implib.cpp ${stl_src}/sharedmutex.cpp ${stl_src}/format.cpp
                            PROPERTIES COMPILE_OPTIONS /w)
link_libraries(glyphwork_msvc_runtime)
