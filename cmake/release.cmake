# The tools' release archive: glyphwork-check and glyphwork-devserver with the
# libraries they load, the plugin built for the stand-in host where the dev
# server looks for it, the schemas, a server-folder kit with stand-in
# textures and a demo script. `cpack` in a Linux build makes
# Glyphwork-<version>-tools-linux-x86_64.tar.gz, in the Windows build
# Glyphwork-<version>-tools-win64.zip. No plugin for a live server is in it:
# that one is built against the host's own SDK.
set(release_programs glyphwork-check glyphwork-devserver asa_host standin_game permissions)
# Everything in bin/, where Windows looks for a program's libraries and the
# Linux programs are told to look.
set_target_properties(${release_programs} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${release_programs} RUNTIME DESTINATION bin LIBRARY DESTINATION bin)
if(WIN32)
  install(FILES ${GLYPHWORK_RUNTIME_LIBRARIES} DESTINATION bin)
endif()
# Under the dev server's own name for it (the top CMakeLists.txt), which no
# live host loads; it finds the host's library one folder up.
set(standin_plugin_destination bin/${GLYPHWORK_STANDIN_PLUGIN_FOLDER})
set_target_properties(Glyphwork PROPERTIES INSTALL_RPATH "$ORIGIN/..")
install(TARGETS Glyphwork LIBRARY DESTINATION ${standin_plugin_destination})
install(CODE "file(RENAME \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${standin_plugin_destination}/Glyphwork${CMAKE_SHARED_MODULE_SUFFIX}\"
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${standin_plugin_destination}/${GLYPHWORK_STANDIN_PLUGIN_NAME}${CMAKE_SHARED_MODULE_SUFFIX}\")")
install(FILES ${GLYPHWORK_KIT_PLUGIN_INFO} DESTINATION ${standin_plugin_destination})
install(DIRECTORY schema/ DESTINATION schema)
install(DIRECTORY examples/kit/ DESTINATION server)
install(FILES release/demo.txt DESTINATION .)
install(FILES LICENSE CHANGELOG.md DESTINATION .)
install(FILES docs/live-server.md DESTINATION docs)
configure_file(release/README.md ${CMAKE_BINARY_DIR}/release/README.md @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/release/README.md DESTINATION .)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(release_system win64)
else()
  set(CPACK_GENERATOR TGZ)
  set(release_system linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_NAME Glyphwork)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Glyphwork-${PROJECT_VERSION}-tools-${release_system})
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/dist)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
