# The release archives, which `cpack` makes from a build:
#  - the tools (component "tools"): glyphwork-check and glyphwork-devserver
#    with the libraries they load, the plugin built for the stand-in host
#    where the dev server looks for it, the schemas, a server-folder kit with
#    stand-in textures and a demo script;
#    Glyphwork-<version>-tools-linux-x86_64.tar.gz from the Linux build,
#    Glyphwork-<version>-tools-win64.zip from the Windows build;
#  - the plugin for live servers (component "plugin", the Windows build in the
#    live host's binary interface only): Glyphwork.dll in its folder with a
#    starting configuration and an example pack, and INSTALL.txt;
#    Glyphwork-<version>-plugin-win64.zip.
# Each with a .sha256 beside it.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(release_system win64)
else()
  set(CPACK_GENERATOR TGZ)
  set(release_system linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
# Each archive's files in one folder named as the archive.
set(tools Glyphwork-${PROJECT_VERSION}-tools-${release_system})
set(plugin Glyphwork-${PROJECT_VERSION}-plugin-${release_system})

set(release_programs glyphwork-check glyphwork-devserver asa_host standin_game permissions)
# The programs and the stand-in host's, game's and permissions plugin's
# libraries, under their live names (AsaApi.dll, Permissions.dll), in one
# folder whose name says what they are not for: copied onto a server they
# would replace the real host. Windows looks for a program's libraries beside
# it, and the Linux programs are told to look there. The programs are
# started through launchers at the top of the archive.
set(standin_folder standin-never-copy-to-a-server)
set_target_properties(${release_programs} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${release_programs} RUNTIME DESTINATION ${tools}/${standin_folder} COMPONENT tools
        LIBRARY DESTINATION ${tools}/${standin_folder} COMPONENT tools)
install(FILES release/STANDIN-README.txt DESTINATION ${tools}/${standin_folder} RENAME README.txt COMPONENT tools)
foreach(program glyphwork-check glyphwork-devserver)
  if(WIN32)
    configure_file(release/launcher.cmd ${CMAKE_BINARY_DIR}/release/${program}.cmd @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/release/${program}.cmd DESTINATION ${tools} COMPONENT tools)
  else()
    # A link: the programs find their folder through it.
    install(CODE "file(CREATE_LINK ${standin_folder}/${program}
                   \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${tools}/${program}\" SYMBOLIC)" COMPONENT tools)
  endif()
endforeach()
# Under the dev server's own name for it (the top CMakeLists.txt), which no
# live host loads; it finds the host's library one folder up.
set(standin_plugin_destination ${tools}/${standin_folder}/${GLYPHWORK_STANDIN_PLUGIN_FOLDER})
set_target_properties(Glyphwork PROPERTIES INSTALL_RPATH "$ORIGIN/..")
install(TARGETS Glyphwork LIBRARY DESTINATION ${standin_plugin_destination} COMPONENT tools)
install(CODE "file(RENAME \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${standin_plugin_destination}/Glyphwork${CMAKE_SHARED_MODULE_SUFFIX}\"
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${standin_plugin_destination}/${GLYPHWORK_STANDIN_PLUGIN_NAME}${CMAKE_SHARED_MODULE_SUFFIX}\")"
        COMPONENT tools)
install(FILES ${GLYPHWORK_KIT_PLUGIN_INFO} DESTINATION ${standin_plugin_destination} COMPONENT tools)
# The stand-in permissions library beside it, which the dev server loads as a
# plugin (programs/devserver/dev_server.h).
install(TARGETS permissions RUNTIME DESTINATION ${standin_plugin_destination} COMPONENT tools
        LIBRARY DESTINATION ${standin_plugin_destination} COMPONENT tools)
install(DIRECTORY schema/ DESTINATION ${tools}/schema COMPONENT tools)
install(DIRECTORY examples/kit/ DESTINATION ${tools}/server COMPONENT tools)
install(FILES release/demo.txt DESTINATION ${tools} COMPONENT tools)
install(FILES LICENSE CHANGELOG.md DESTINATION ${tools} COMPONENT tools)
install(FILES docs/live-server.md DESTINATION ${tools}/docs COMPONENT tools)
# The archive's README carries the project README's reference: its parts
# between "<!-- reference -->" and "<!-- /reference -->", links within that
# README made plain text.
file(READ README.md project_readme)
set(GLYPHWORK_REFERENCE "")
set(rest "${project_readme}")
while(TRUE)
  string(FIND "${rest}" "<!-- reference -->\n" start)
  string(FIND "${rest}" "<!-- /reference -->" end)
  if(start EQUAL -1 OR end EQUAL -1)
    break()
  endif()
  math(EXPR from "${start} + 19")
  math(EXPR length "${end} - ${from}")
  string(SUBSTRING "${rest}" ${from} ${length} part)
  string(REGEX REPLACE "\\[([^]]*)\\]\\(#[^)]*\\)" "\\1" part "${part}")
  string(APPEND GLYPHWORK_REFERENCE "${part}\n")
  math(EXPR after "${end} + 19")
  string(SUBSTRING "${rest}" ${after} -1 rest)
endwhile()
configure_file(release/README.md ${CMAKE_BINARY_DIR}/release/README.md @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/release/README.md DESTINATION ${tools} COMPONENT tools)
set(release_components tools)

if(GLYPHWORK_LIVE_HOST_IMPORTS)
  # The plugin's folder as it goes into ArkApi/Plugins/ on a live server.
  set(kit_plugin_folder examples/kit/ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork)
  install(TARGETS Glyphwork LIBRARY DESTINATION ${plugin}/Glyphwork COMPONENT plugin)
  install(FILES ${kit_plugin_folder}/PluginInfo.json ${kit_plugin_folder}/config.json DESTINATION ${plugin}/Glyphwork
          COMPONENT plugin)
  install(FILES ${kit_plugin_folder}/Packs/faces.json DESTINATION ${plugin}/Glyphwork/Packs COMPONENT plugin)
  configure_file(release/INSTALL.txt ${CMAKE_BINARY_DIR}/release/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/release/INSTALL.txt LICENSE DESTINATION ${plugin} COMPONENT plugin)
  list(APPEND release_components plugin)
endif()

set(CPACK_PACKAGE_NAME Glyphwork)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${release_components})
set(CPACK_ARCHIVE_TOOLS_FILE_NAME ${tools})
set(CPACK_ARCHIVE_PLUGIN_FILE_NAME ${plugin})
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/dist)
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
