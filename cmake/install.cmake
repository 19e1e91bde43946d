# Installation (cmake --install) and the Debian package (cpack -G DEB): programs, desktop
# entry, MIME types, icon, AppStream metainfo, Qt's German translations, and the manual page
# and bash completion of quillon-cli generated from its help texts.
include(GNUInstallDirs)

install(TARGETS quillon-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual page and bash completion: written by running the freshly built quillon-cli, so
# they always match its --help texts.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(QUILLON_DOCS_DIR ${CMAKE_BINARY_DIR}/cli-docs)
add_custom_command(
  OUTPUT ${QUILLON_DOCS_DIR}/quillon-cli.1.gz ${QUILLON_DOCS_DIR}/quillon-cli
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLON_DOCS_DIR}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/cli_docs.py $<TARGET_FILE:quillon-cli>
          ${QUILLON_DOCS_DIR}/quillon-cli.1 ${QUILLON_DOCS_DIR}/quillon-cli
  COMMAND gzip -9 -n -f ${QUILLON_DOCS_DIR}/quillon-cli.1
  DEPENDS quillon-cli ${CMAKE_SOURCE_DIR}/cmake/cli_docs.py
  COMMENT "Manual page and bash completion of quillon-cli"
  VERBATIM)
add_custom_target(quillon_cli_docs ALL
  DEPENDS ${QUILLON_DOCS_DIR}/quillon-cli.1.gz ${QUILLON_DOCS_DIR}/quillon-cli)
install(FILES ${QUILLON_DOCS_DIR}/quillon-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUILLON_DOCS_DIR}/quillon-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(TARGET quillon)
  install(TARGETS quillon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/data/quillon.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/quillon.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME org.quillon.Quillon.metainfo.xml)
  install(FILES ${CMAKE_SOURCE_DIR}/data/quillon-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME quillon.xml)
  install(FILES ${CMAKE_SOURCE_DIR}/src/app/resources/icons/quillon.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_SOURCE_DIR}/src/app/resources/icons/LICENSE
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillon RENAME icons-LICENSE)
  # Qt's German texts (file dialogs, message box buttons) travel with the program, which
  # looks for them in <prefix>/share/quillon/translations before Qt's own folder.
  get_target_property(_qmake Qt6::qmake IMPORTED_LOCATION)
  execute_process(COMMAND ${_qmake} -query QT_INSTALL_TRANSLATIONS
                  OUTPUT_VARIABLE QUILLON_QT_TRANSLATIONS OUTPUT_STRIP_TRAILING_WHITESPACE)
  # The program's own English texts are built into it; Qt's English texts (plural forms)
  # travel along for the English interface.
  if(EXISTS ${QUILLON_QT_TRANSLATIONS}/qtbase_de.qm)
    install(FILES ${QUILLON_QT_TRANSLATIONS}/qtbase_de.qm
            DESTINATION ${CMAKE_INSTALL_DATADIR}/quillon/translations)
    if(EXISTS ${QUILLON_QT_TRANSLATIONS}/qtbase_en.qm)
      install(FILES ${QUILLON_QT_TRANSLATIONS}/qtbase_en.qm
              DESTINATION ${CMAKE_INSTALL_DATADIR}/quillon/translations)
    endif()
  else()
    message(WARNING "qtbase_de.qm not found (Debian: qt6-translations-l10n): the installed "
                    "program shows Qt's dialogs in English")
  endif()
endif()

# Debian package of what is installed above, from the binaries of this build (stripped):
# cpack -G DEB in the build folder. Depends come from dpkg-shlibdeps; the SVG icon engine
# and the fonts of the WMF import are loaded at run time, so they are named here.
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "astrophotography image processing")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillon opens FITS, SBIG, OES-Astro, camera RAW and raster exposures, calibrates them\n"
    "with dark and flat frames, filters, stacks and measures them. German user interface;\n"
    "quillon-cli runs the same operations in batch.")
set(CPACK_PACKAGE_CONTACT "Quillon developers <quillon@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, fonts-urw-base35")
# Plate solving runs astrometry.net's solver with the Tycho-2 index files.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "astrometry.net, astrometry-data-tycho2-09-littleendian, astrometry-data-tycho2-10-19-littleendian")
set(CPACK_GENERATOR DEB)
include(CPack)
