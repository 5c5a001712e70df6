# What an installation holds, and the Debian package made of it (cpack -G DEB).
install(TARGETS polizas-script polizas-db polizas-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET polizas)
  install(TARGETS polizas RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The component is a plug-in of the programs, not a library for others to link.
install(TARGETS nv407 LIBRARY DESTINATION ${POLIZAS_PLUGIN_DIR})

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# docs/ as a folder beside the README, whose links name its files there.
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR} PATTERN "man" EXCLUDE)
install(DIRECTORY examples DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/polizas.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/icons/polizas.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES packaging/icons/polizas-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME polizas.png)
endforeach()

# Manual pages and the changelog are installed gzipped, as Debian wants them.
find_program(GZIP gzip REQUIRED)
file(GLOB manual_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.1)
foreach(page ${manual_pages} ${PROJECT_SOURCE_DIR}/packaging/changelog)
  get_filename_component(name ${page} NAME)
  set(zipped ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${zipped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND ${GZIP} -9 -n -c ${page} > ${zipped}
    DEPENDS ${page} VERBATIM)
  list(APPEND zipped_files ${zipped})
  if(name STREQUAL "changelog")
    install(FILES ${zipped} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  else()
    install(FILES ${zipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${zipped_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME polizas)
set(CPACK_PACKAGE_VENDOR "The polizas developers")
set(CPACK_PACKAGE_CONTACT "The polizas developers <polizas@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service-policy capture screen with its desktop and script hosts")
set(CPACK_PACKAGE_DESCRIPTION "Captures and maintains service policies: a policy binds a client,
a branch and a seller to a policy type for a span of dates, with
the services it includes counted in hours or events. Holds the
desktop program, the scripted host, the database tool and the
reports.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the window loads besides the libraries it links: Qt's Spanish texts for its dialogs'
# buttons, and the metric match of the screen's design font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-crosextra-carlito")
# The ODBC drivers of the server databases (--odbc): PostgreSQL's, and FreeTDS for SQL Server.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, tdsodbc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
