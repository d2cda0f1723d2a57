# Windows: the programs and the README in one folder. The windows_installer target stages that
# folder and makes a per-user NSIS installer and a zip of the same files in QUORVEL_PACKAGE_DIR.
install(TARGETS quorvel quorvel-cli RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/window.png ${PROJECT_SOURCE_DIR}/docs/window-wine.png
        DESTINATION docs)

set(QUORVEL_PACKAGE_DIR ${PROJECT_SOURCE_DIR}/out/package CACHE PATH
    "Where the Windows installer and zip are written")
find_program(QUORVEL_MAKENSIS makensis)
if(NOT QUORVEL_MAKENSIS)
  set(QUORVEL_MAKENSIS makensis)
endif()
add_custom_target(windows_installer
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DVERSION=${PROJECT_VERSION}
          -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/windows -DOUTPUT_DIR=${QUORVEL_PACKAGE_DIR}
          -DMAKENSIS=${QUORVEL_MAKENSIS} -DSCRIPT=${CMAKE_CURRENT_SOURCE_DIR}/windows/quorvel.nsi
          -DICON=${PROJECT_SOURCE_DIR}/app/win32/quorvel.ico
          -DPUBLISHER=${QUORVEL_PUBLISHER} -DHOMEPAGE=${QUORVEL_HOMEPAGE_URL}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/BuildInstaller.cmake
  COMMENT "Windows installer and zip in ${QUORVEL_PACKAGE_DIR}"
  VERBATIM)
add_dependencies(windows_installer quorvel quorvel-cli)
