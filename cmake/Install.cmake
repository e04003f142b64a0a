# Installation. The IDE, the assembler and the viewer module share one program folder: the IDE
# finds the other two beside its own executable, and keeps the untitled file and the assembler's
# report there too, so that folder must be writable by the IDE's user (install per user).
# A relative link in bin/ starts the IDE, so the whole prefix can move.

set(VORNEX_APP_ID org.vornex.VornexIDE)
set(VORNEX_INSTALL_PROGRAMDIR lib/vornex-ide)

install(TARGETS vornex-ide cvornex vornex_webview
  RUNTIME DESTINATION ${VORNEX_INSTALL_PROGRAMDIR}
  LIBRARY DESTINATION ${VORNEX_INSTALL_PROGRAMDIR})

# bin/vornex-ide -> ../lib/vornex-ide/vornex-ide, made here and installed as the link it is.
cmake_path(RELATIVE_PATH VORNEX_INSTALL_PROGRAMDIR BASE_DIRECTORY ${CMAKE_INSTALL_BINDIR}
  OUTPUT_VARIABLE vornex_program_from_bin)
set(vornex_link ${PROJECT_BINARY_DIR}/install/bin/vornex-ide)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/install/bin)
file(CREATE_LINK ${vornex_program_from_bin}/vornex-ide ${vornex_link} SYMBOLIC)
install(FILES ${vornex_link} DESTINATION ${CMAKE_INSTALL_BINDIR})

# The desktop entry starts the link by its full path, which is only known at install time.
install(CODE "
  set(VORNEX_DESKTOP_TEMPLATE \"${PROJECT_SOURCE_DIR}/data/${VORNEX_APP_ID}.desktop.in\")
  set(VORNEX_DESKTOP_OUTPUT \"${PROJECT_BINARY_DIR}/install/${VORNEX_APP_ID}.desktop\")
  set(VORNEX_DESKTOP_PROGRAM \"${CMAKE_INSTALL_BINDIR}/vornex-ide\")
  set(VORNEX_DESKTOP_DESTINATION \"${CMAKE_INSTALL_DATADIR}/applications\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallDesktopEntry.cmake)

configure_file(${PROJECT_SOURCE_DIR}/data/${VORNEX_APP_ID}.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/install/${VORNEX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/install/${VORNEX_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${PROJECT_SOURCE_DIR}/data/vornex-ide.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME ${VORNEX_APP_ID}.png)
foreach(size 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/data/vornex-ide-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${VORNEX_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/data/${VORNEX_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
