# cmake -DBUILD_DIR= -DVERSION= -DWORK_DIR= -DOUTPUT_DIR= -DMAKENSIS= -DSCRIPT= -DICON=
#       -DPUBLISHER= -DHOMEPAGE= -P BuildInstaller.cmake
# Stages the Windows build's install, then makes quorvel-VERSION-win64-setup.exe from it with
# makensis and quorvel-VERSION-win64.zip of the same folder.
set(name quorvel-${VERSION}-win64)
set(stage ${WORK_DIR}/${name})
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage} --strip
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

# What the installer copies and its uninstaller removes: the staged files, one by one, so that
# uninstalling never deletes anything else the user put in the folder.
file(GLOB_RECURSE files RELATIVE ${stage} ${stage}/*)
list(SORT files)
set(install_list "")
set(uninstall_list "")
set(folders "")
foreach(file ${files})
  get_filename_component(folder "${file}" DIRECTORY)
  string(REPLACE "/" "\\" windows_file "${file}")
  string(REPLACE "/" "\\" windows_folder "${folder}")
  if(folder STREQUAL "")
    string(APPEND install_list "SetOutPath \"$INSTDIR\"\n")
  else()
    string(APPEND install_list "SetOutPath \"$INSTDIR\\${windows_folder}\"\n")
    list(APPEND folders "${windows_folder}")
  endif()
  string(APPEND install_list "File \"${stage}/${file}\"\n")
  string(APPEND uninstall_list "Delete \"$INSTDIR\\${windows_file}\"\n")
endforeach()
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder ${folders})
  string(APPEND uninstall_list "RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
file(WRITE ${WORK_DIR}/install-files.nsh "${install_list}")
file(WRITE ${WORK_DIR}/uninstall-files.nsh "${uninstall_list}")

file(MAKE_DIRECTORY ${OUTPUT_DIR})
execute_process(
  COMMAND ${MAKENSIS} -V2 -DVERSION=${VERSION} -DOUTFILE=${OUTPUT_DIR}/${name}-setup.exe
          -DICON=${ICON} -DPUBLISHER=${PUBLISHER} -DHOMEPAGE=${HOMEPAGE}
          -DINSTALL_FILES=${WORK_DIR}/install-files.nsh
          -DUNINSTALL_FILES=${WORK_DIR}/uninstall-files.nsh ${SCRIPT}
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT_DIR}/${name}.zip --format=zip ${name}
                WORKING_DIRECTORY ${WORK_DIR} COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Windows installer: ${OUTPUT_DIR}/${name}-setup.exe")
message(STATUS "Windows zip:       ${OUTPUT_DIR}/${name}.zip")
