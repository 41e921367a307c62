# Installation: the program with its pictures and database scripts in a folder of its own,
# a launcher in bin/, a desktop entry and icons; and a Debian package built by CPack.
include(GNUInstallDirs)
set(TAVIMOR_APP_DIR ${CMAKE_INSTALL_LIBDIR}/tavimor-complaints)
if(CMAKE_INSTALL_LIBDIR MATCHES "/")  # Debian's multiarch libdir: keep one plain folder
  set(TAVIMOR_APP_DIR lib/tavimor-complaints)
endif()

install(TARGETS tavimor-complaints RUNTIME DESTINATION ${TAVIMOR_APP_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/banner.bmp ${PROJECT_SOURCE_DIR}/resources/MDI.BMP
        DESTINATION ${TAVIMOR_APP_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/db/schema.sqlite.sql ${PROJECT_SOURCE_DIR}/db/sqlserver.sql
              ${PROJECT_SOURCE_DIR}/db/demo.sql
        DESTINATION ${TAVIMOR_APP_DIR}/db)
# The launcher is a symbolic link: the program finds its pictures through its real folder.
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bin}\")
  file(CREATE_LINK ../${TAVIMOR_APP_DIR}/tavimor-complaints \"\${bin}/tavimor-complaints\" SYMBOLIC)
  message(STATUS \"Installing: \${bin}/tavimor-complaints -> ../${TAVIMOR_APP_DIR}/tavimor-complaints\")
")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tavimor-complaints.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${size}x${size}/tavimor-complaints.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavimor-complaints)
set(CPACK_PACKAGE_VENDOR "Tavimor")
set(CPACK_PACKAGE_CONTACT "Tavimor developers <dev@tavimor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Complaint management for property-management companies")
set(CPACK_PACKAGE_DESCRIPTION "Records and follows up the complaints of residents and tenants: reception,
routing to the accepting post, forwarding and handling, review comments, statistics and export to
xlsx workbooks. Works on the suite's SQL Server database or on an embedded SQLite database.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tavimor-complaints)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see: the Qt SQL drivers and the platform plugin loaded at run time,
# the SQL Server ODBC driver, a font with Chinese characters, and Qt's own texts in Chinese.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, qt6-qpa-plugins, unixodbc, tdsodbc, fonts-wqy-microhei, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
