# Install rules and the Debian package (CPack, DEB generator): velmora,
# velmora-jetwrite, the menu entry, the icon, the AppStream metadata, the
# manual pages and the daily job's example units. The version is the one of
# project(VERSION) in the top CMakeLists.txt.
include(GNUInstallDirs)

set(VELMORA_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VELMORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/packaging)

# Files that carry the version, and the gzip -9n copies Debian wants of the
# manual pages and the changelog (-n: no name or time stamp, so reproducible).
configure_file(${VELMORA_PACKAGING_DIR}/velmora.1.in ${VELMORA_GENERATED_DIR}/velmora.1 @ONLY)
configure_file(${VELMORA_PACKAGING_DIR}/velmora.metainfo.xml
               ${VELMORA_GENERATED_DIR}/velmora.metainfo.xml @ONLY)
configure_file(${VELMORA_PACKAGING_DIR}/changelog.Debian.in
               ${VELMORA_GENERATED_DIR}/changelog.Debian @ONLY)
set(VELMORA_GZIPPED)
foreach(source IN ITEMS ${VELMORA_GENERATED_DIR}/velmora.1
                        ${VELMORA_PACKAGING_DIR}/velmora-jetwrite.1
                        ${VELMORA_GENERATED_DIR}/changelog.Debian)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${VELMORA_GENERATED_DIR}/${name}.gz
      COMMAND gzip -9n -c ${source} > ${VELMORA_GENERATED_DIR}/${name}.gz
      DEPENDS ${source} VERBATIM)
  list(APPEND VELMORA_GZIPPED ${VELMORA_GENERATED_DIR}/${name}.gz)
endforeach()
add_custom_target(velmora-package-data ALL DEPENDS ${VELMORA_GZIPPED})

install(TARGETS velmora velmora-jetwrite RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELMORA_PACKAGING_DIR}/velmora.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${VELMORA_PACKAGING_DIR}/velmora.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES ${VELMORA_GENERATED_DIR}/velmora.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES ${VELMORA_GENERATED_DIR}/velmora.1.gz ${VELMORA_GENERATED_DIR}/velmora-jetwrite.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VELMORA_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# A package without an upstream source apart from its own keeps its Debian
# changelog as changelog.gz.
install(FILES ${VELMORA_GENERATED_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME changelog.gz)
install(FILES ${VELMORA_PACKAGING_DIR}/velmora-export.service
              ${VELMORA_PACKAGING_DIR}/velmora-export.timer
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <maintainers@velmora.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "sends a hotel's guest movements to the Istat service of Regione Sicilia")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Velmora reads the day's arrivals and departures from the hotel's guest
databases (Access/Jet .mdb files), writes them as XML documents and posts
them to the web service with which Regione Sicilia collects them for Istat,
optionally closing each day there. Every document, request and answer is
kept as a file. A check before sending lists the guests the service would
refuse or never receive. The window and the batch commands (velmora export,
velmora check) share one program; an example systemd timer sends every
morning.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to dpkg-shlibdeps: Qt's platform plugins
# (the window), Qt's Italian texts (qtbase_it.qm: the dialogs' buttons, the
# folder chooser) and the CA certificates for the service's https addresses.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, ca-certificates")
# The window's fall-back fonts when "Microsoft Sans Serif" and "Corbel" are missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-liberation")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
