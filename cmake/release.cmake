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
# Everything in bin/, where Windows looks for a program's libraries and the
# Linux programs are told to look.
set_target_properties(${release_programs} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${release_programs} RUNTIME DESTINATION ${tools}/bin COMPONENT tools
        LIBRARY DESTINATION ${tools}/bin COMPONENT tools)
# Under the dev server's own name for it (the top CMakeLists.txt), which no
# live host loads; it finds the host's library one folder up.
set(standin_plugin_destination ${tools}/bin/${GLYPHWORK_STANDIN_PLUGIN_FOLDER})
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
