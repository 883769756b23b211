# add_deliverable(NAME): one program of the product, built from ui/main.cpp and
# the shared ui and core libraries, differing from its twin only in its name,
# title and version information. On Windows it is a GUI program carrying its
# version information and icon group as resources; elsewhere it carries them
# as an ELF package-metadata note (its resource script is still generated and
# checked) and is installed with its desktop entry, icons and metainfo.
set(VC_RESOURCES "${PROJECT_SOURCE_DIR}/resources")
set(VC_ICON "${VC_RESOURCES}/icon.ico")
# The four numbers of a Windows file version, from the project's version.
math(EXPR VC_VERSION_MINOR_NUMBER "${PROJECT_VERSION_MINOR} + 0")
set(VC_FILEVERSION "${PROJECT_VERSION_MAJOR},${VC_VERSION_MINOR_NUMBER},0,0")
set(VC_FILEVERSION_DOTTED "${PROJECT_VERSION_MAJOR}.${VC_VERSION_MINOR_NUMBER}.0.0")

# vc_windows_resources(TARGET NAME FILE PRODUCT DESCRIPTION KIND): generates
# the resource script of the Windows file FILE (named NAME, of PRODUCT,
# described as DESCRIPTION) and, on Windows, compiles it into TARGET. KIND is
# window (icon group and manifest), console (manifest) or library (neither).
function(vc_windows_resources target VC_RC_NAME VC_RC_FILE VC_RC_PRODUCT VC_RC_DESCRIPTION kind)
  set(gen "${PROJECT_BINARY_DIR}/resources/${VC_RC_NAME}")
  set(VC_RC_FILETYPE 0x1L)
  set(VC_RC_ICON "")
  set(VC_RC_MANIFEST "")
  if(kind STREQUAL "library")
    set(VC_RC_FILETYPE 0x2L)
  else()
    configure_file(${VC_RESOURCES}/program.manifest.in ${gen}/${VC_RC_NAME}.manifest @ONLY)
    # RT_MANIFEST, under the id the system reads at a program's start.
    set(VC_RC_MANIFEST "1 24 \"${gen}/${VC_RC_NAME}.manifest\"")
  endif()
  if(kind STREQUAL "window")
    set(VC_RC_ICON "1 ICON \"${VC_ICON}\"")
  endif()
  configure_file(${VC_RESOURCES}/program.rc.in ${gen}/${VC_RC_NAME}.rc @ONLY)
  if(WIN32)
    target_sources(${target} PRIVATE ${gen}/${VC_RC_NAME}.rc)
  endif()
endfunction()

# vc_program_identity(TARGET NAME): compiles the program's name, the product's
# version, its maker and the program's application id into TARGET, for the
# program's own start-up.
function(vc_program_identity target name)
  target_compile_definitions(${target} PRIVATE
    VC_PROGRAM_NAME="${name}"
    VC_PROGRAM_VERSION="${VC_VERSION}"
    VC_COMPANY_NAME="${VC_COMPANY}"
    VC_APP_ID="${VC_APP_ID_PREFIX}.${name}")
endfunction()

# vc_install_program(TARGET): installs a program into the private folder, with
# a link to it from bin/.
function(vc_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${VC_INSTALL_PKGDIR})
  install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK \"../${VC_INSTALL_PKGDIR}/${target}\"
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}\" SYMBOLIC)")
endfunction()

function(add_deliverable VC_NAME)
  set(VC_APP_ID "${VC_APP_ID_PREFIX}.${VC_NAME}")
  set(gen "${PROJECT_BINARY_DIR}/resources/${VC_NAME}")
  configure_file(${VC_RESOURCES}/program.desktop.in ${gen}/${VC_APP_ID}.desktop @ONLY)
  configure_file(${VC_RESOURCES}/program.metainfo.xml.in ${gen}/${VC_APP_ID}.metainfo.xml @ONLY)

  if(WIN32)
    add_executable(${VC_NAME} WIN32 ${PROJECT_SOURCE_DIR}/ui/main.cpp)
  else()
    qt_add_executable(${VC_NAME} ${PROJECT_SOURCE_DIR}/ui/main.cpp)
  endif()
  target_link_libraries(${VC_NAME} PRIVATE ui)
  vc_windows_resources(${VC_NAME} ${VC_NAME} ${VC_NAME}.exe ${VC_NAME}
                       "${VC_NAME}: verifica conversione e prestazioni" window)
  vc_program_identity(${VC_NAME} ${VC_NAME})
  # The conversion library is bound at run time, so it is built, not linked.
  add_dependencies(${VC_NAME} quendril)

  if(WIN32)
    install(TARGETS ${VC_NAME} RUNTIME DESTINATION .)
    return()
  endif()

  set(metadata "{\"type\":\"app\",\"name\":\"${VC_NAME}\",\"version\":\"${VC_VERSION}\""
               ",\"fileVersion\":\"${VC_VERSION}\",\"productVersion\":\"${VC_VERSION}\""
               ",\"productName\":\"${VC_NAME}\",\"internalName\":\"${VC_NAME}\""
               ",\"originalFilename\":\"${VC_NAME}.exe\",\"companyName\":\"${VC_COMPANY}\""
               ",\"language\":\"0x0410\",\"codePage\":1200}")
  string(JOIN "" metadata ${metadata})
  target_link_options(${VC_NAME} PRIVATE "SHELL:-Xlinker '--package-metadata=${metadata}'")

  vc_install_program(${VC_NAME})
  install(FILES ${gen}/${VC_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${gen}/${VC_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(size 16 32 48 128)
    install(FILES ${VC_RESOURCES}/icon-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${VC_APP_ID}.png)
  endforeach()
endfunction()

# The programs' load rehearsal (the contract, the stand-in and the kit's commands install themselves).
if(NOT WIN32)
  install(TARGETS ${VC_REHEARSAL_PROGRAM} RUNTIME DESTINATION ${VC_INSTALL_PKGDIR})
endif()
