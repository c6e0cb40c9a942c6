# Install rules of the Windows build: the program's folder as the installer
# (packaging/windows/velmora.nsi, made by scripts/windows) lays it out:
# velmora.exe and velmora-jetwrite.exe, MinGW's runtime, Qt's DLLs with the
# windows platform plugin and the Windows style, and the Italian manual as
# HTML. Also the program's icon and version resource (velmora.rc).
set(VELMORA_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VELMORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/packaging)

# The icon: the menu icon's 48-pixel picture in an .ico (Windows reads PNG
# inside an .ico since Vista).
add_custom_command(OUTPUT ${VELMORA_GENERATED_DIR}/velmora.ico
    COMMAND perl ${VELMORA_PACKAGING_DIR}/windows/png-to-ico
            ${CMAKE_SOURCE_DIR}/docs/velmora-icon-48.png ${VELMORA_GENERATED_DIR}/velmora.ico
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/velmora-icon-48.png ${VELMORA_PACKAGING_DIR}/windows/png-to-ico
    VERBATIM)
set(VELMORA_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
configure_file(${VELMORA_PACKAGING_DIR}/windows/velmora.rc.in ${VELMORA_GENERATED_DIR}/velmora.rc @ONLY)
set_source_files_properties(${VELMORA_GENERATED_DIR}/velmora.rc PROPERTIES
    OBJECT_DEPENDS ${VELMORA_GENERATED_DIR}/velmora.ico)

# The manual page, in Italian, as an HTML page.
configure_file(${VELMORA_PACKAGING_DIR}/velmora.1.in ${VELMORA_GENERATED_DIR}/velmora.1 @ONLY)
add_custom_command(OUTPUT ${VELMORA_GENERATED_DIR}/manuale.html
    COMMAND groff -mandoc -Thtml -Kutf8 ${VELMORA_GENERATED_DIR}/velmora.1
            > ${VELMORA_GENERATED_DIR}/manuale.html
    DEPENDS ${VELMORA_GENERATED_DIR}/velmora.1 VERBATIM)
add_custom_target(velmora-package-data ALL
    DEPENDS ${VELMORA_GENERATED_DIR}/manuale.html ${VELMORA_GENERATED_DIR}/velmora.ico)

if(TARGET velmora)
  target_sources(velmora PRIVATE ${VELMORA_GENERATED_DIR}/velmora.rc)
  install(TARGETS velmora velmora-jetwrite RUNTIME DESTINATION .)
endif()
install(FILES ${VELMORA_MINGW_RUNTIME}
              $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
install(FILES ${VELMORA_GENERATED_DIR}/manuale.html ${VELMORA_GENERATED_DIR}/velmora.ico
        DESTINATION .)
# Qt's Italian texts, found through a qt.conf beside velmora.exe (without it
# Qt would look in the folder above the program's).
file(WRITE ${VELMORA_GENERATED_DIR}/qt.conf "[Paths]\nPrefix=.\nPlugins=.\nTranslations=translations\n")
install(FILES ${VELMORA_GENERATED_DIR}/qt.conf DESTINATION .)
install(FILES ${VELMORA_QT_TRANSLATIONS}/qtbase_it.qm DESTINATION translations)
