# The tools' release archive: glyphwork-check and glyphwork-devserver with the
# libraries they load, the schemas and a server-folder kit. `cpack` in a
# Linux build makes Glyphwork-<version>-tools-linux-x86_64.tar.gz, in the
# Windows build Glyphwork-<version>-tools-win64.zip. The plugin library is
# not in it: one built here is for the stand-in host only.
set(release_programs glyphwork-check glyphwork-devserver asa_host standin_game permissions)
# Everything in bin/, where Windows looks for a program's libraries and the
# Linux programs are told to look.
set_target_properties(${release_programs} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${release_programs} RUNTIME DESTINATION bin LIBRARY DESTINATION bin)
if(WIN32)
  install(FILES ${GLYPHWORK_RUNTIME_LIBRARIES} DESTINATION bin)
endif()
install(DIRECTORY schema/ DESTINATION schema)
install(DIRECTORY examples/kit/ DESTINATION server)
install(FILES LICENSE CHANGELOG.md DESTINATION .)
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
