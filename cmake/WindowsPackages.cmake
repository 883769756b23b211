# The Windows packages, made by the target windows_packages: a zip of the two
# programs, the conversion library, misura-libreria, the kit for library makers
# and the read-me, and an installer made with NSIS from
# resources/installer.nsi.in. Both take the stripped files of the install tree.
set(VC_STAGE "${PROJECT_BINARY_DIR}/package-stage")
set(zip "${PROJECT_BINARY_DIR}/${VC_PACKAGE_NAME}-${VC_VERSION}-${VC_WINEARCH}.zip")
set(VC_INSTALLER "${PROJECT_BINARY_DIR}/${VC_PACKAGE_NAME}-${VC_VERSION}-${VC_WINEARCH}-setup.exe")
# The 64-bit test build makes a 64-bit installer of its own, so that the
# installer test runs under 64-bit Wine too; the deliverable is the 32-bit one.
if(VC_WINDOWS_BITS EQUAL 64)
  set(VC_NSIS_TARGET "Target amd64-unicode")
  set(VC_NSIS_PROGRAM_FILES "$PROGRAMFILES64")
else()
  set(VC_NSIS_TARGET "Unicode true")
  set(VC_NSIS_PROGRAM_FILES "$PROGRAMFILES")
endif()
list(TRANSFORM VC_PROGRAMS APPEND ".exe" OUTPUT_VARIABLE program_files)
# The installer's lines for each program, and for each file that may be running.
set(VC_NSIS_FILES "")
set(VC_NSIS_DELETES "")
set(VC_NSIS_SHORTCUTS "")
set(VC_NSIS_REMOVE_SHORTCUTS "")
set(VC_NSIS_REFUSE "")
foreach(program IN LISTS VC_PROGRAMS)
  string(APPEND VC_NSIS_FILES "  File \"${VC_STAGE}\\${program}.exe\"\n")
  string(APPEND VC_NSIS_DELETES "  Delete \"$INSTDIR\\${program}.exe\"\n")
  string(APPEND VC_NSIS_SHORTCUTS
         "  CreateShortcut \"$SMPROGRAMS\\\${PRODUCT}\\${program}.lnk\" \"$INSTDIR\\${program}.exe\"\n")
  string(APPEND VC_NSIS_REMOVE_SHORTCUTS "  Delete \"$SMPROGRAMS\\\${PRODUCT}\\${program}.lnk\"\n")
endforeach()
foreach(file IN LISTS program_files ITEMS misura-libreria.exe verifica-libreria.exe)
  string(APPEND VC_NSIS_REFUSE "  !insertmacro RefuseWhileRunning \"${file}\"\n")
endforeach()
# The kit for library makers: the checker, the headers a library compiles
# against, as a library includes them, the module-definition file for
# Microsoft's linker and the example library, in the folders of the install
# tree; the uninstaller removes each folder once empty.
install(FILES ${PROJECT_SOURCE_DIR}/contract/quendril.h ${PROJECT_SOURCE_DIR}/contract/sysstring.h
              ${PROJECT_SOURCE_DIR}/contract/quendril.def DESTINATION include)
install(FILES ${PROJECT_SOURCE_DIR}/contract/example/mylib.c DESTINATION example)
set(VC_KIT_FILES verifica-libreria.exe include/quendril.h include/sysstring.h include/quendril.def example/mylib.c)
set(VC_NSIS_KIT_FILES "")
set(VC_NSIS_KIT_DELETES "")
set(kit_folders "")
foreach(file IN LISTS VC_KIT_FILES)
  get_filename_component(folder "${file}" DIRECTORY)
  string(REPLACE "/" "\\" native "${file}")
  string(REPLACE "/" "\\" native_folder "${folder}")
  string(APPEND VC_NSIS_KIT_FILES "  SetOutPath \"$INSTDIR\\${native_folder}\"\n  File \"${VC_STAGE}\\${native}\"\n")
  string(APPEND VC_NSIS_KIT_DELETES "  Delete \"$INSTDIR\\${native}\"\n")
  if(folder)
    list(PREPEND kit_folders "${native_folder}")
  endif()
endforeach()
list(REMOVE_DUPLICATES kit_folders)
foreach(folder IN LISTS kit_folders)
  string(APPEND VC_NSIS_KIT_DELETES "  RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
list(GET VC_PROGRAMS 0 VC_FIRST_PROGRAM)
configure_file(${VC_RESOURCES}/installer.nsi.in ${PROJECT_BINARY_DIR}/resources/installer.nsi @ONLY)
install(FILES ${VC_RESOURCES}/LEGGIMI.txt DESTINATION .)
# What the installer test checks the installed entry against.
list(JOIN VC_KIT_FILES " " kit_words)
file(WRITE ${PROJECT_BINARY_DIR}/package-facts.sh
  "version='${VC_VERSION}'\ncompany='${VC_COMPANY}'\ninstaller='${VC_INSTALLER}'\nwinearch='${VC_WINEARCH}'\n"
  "zip='${zip}'\nkit_files='${kit_words}'\n")

find_program(MAKENSIS makensis)
if(NOT MAKENSIS)
  message(STATUS "makensis not found: the Windows installer cannot be made")
endif()
add_custom_target(windows_packages
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VC_STAGE}
  COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${VC_STAGE} --strip
  COMMAND ${CMAKE_COMMAND} -E chdir ${VC_STAGE}
          ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${program_files} ${VC_STAND_IN_FOLDER}/quendril.dll
          misura-libreria.exe ${VC_KIT_FILES} LEGGIMI.txt
  COMMAND ${MAKENSIS} -V2 ${PROJECT_BINARY_DIR}/resources/installer.nsi
  DEPENDS ${VC_PROGRAMS} quendril misura-libreria verifica-libreria
  BYPRODUCTS ${zip} ${VC_INSTALLER}
  VERBATIM)
