# Installation and the Debian package. The program directory (the real executables beside what
# they ship, read-only once installed) is <prefix>/lib/kzplayer/; <prefix>/bin holds relative
# links to the programs, and <prefix>/share the desktop entry, the icon and the MIME types.
include(GNUInstallDirs)
# Not the multiarch library folder: this is a program's own folder.
set(KZ_INSTALL_PROGRAM_DIR lib/kzplayer)

install(TARGETS KZPlayer kztool vupdate RUNTIME DESTINATION ${KZ_INSTALL_PROGRAM_DIR})
# An installed copy takes its updates from the package manager, never from the maker's site.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kzplayer.packaged
  DESTINATION ${KZ_INSTALL_PROGRAM_DIR})
install(PROGRAMS ${KZ_BIN_DIR}/Vantrel.dat ${KZ_BIN_DIR}/VSaver.data
  DESTINATION ${KZ_INSTALL_PROGRAM_DIR})
install(FILES ${KZ_BIN_DIR}/sample.tpl DESTINATION ${KZ_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${KZ_BIN_DIR}/res ${KZ_BIN_DIR}/inflash ${KZ_BIN_DIR}/inweb
  DESTINATION ${KZ_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${KZ_BIN_DIR}/ruffle DESTINATION ${KZ_INSTALL_PROGRAM_DIR}
  PATTERN .staged EXCLUDE)

# The programs on the path: relative links, so the tree can move and the package can be staged.
foreach(program KZPlayer kztool)
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(REMOVE \"\${link}\")
    file(CREATE_LINK \"../${KZ_INSTALL_PROGRAM_DIR}/${program}\" \"\${link}\" SYMBOLIC)
    message(STATUS \"Installing: \${link} -> ../${KZ_INSTALL_PROGRAM_DIR}/${program}\")")
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/kzplayer.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kzplayer.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${KZ_BIN_DIR}/res/KZPlayer.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME kzplayer.png)

set(CPACK_PACKAGE_NAME kzplayer)
set(CPACK_PACKAGE_VENDOR "KZPlayer")
set(CPACK_PACKAGE_CONTACT "KZPlayer developers <kzplayer@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Player and organiser for Flash movies (SWF)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The libraries' packages come from dpkg-shlibdeps (the web engine's brings its helper process,
# libqt6webenginecore6-bin); the desktop tools the player runs and the SQLite driver Qt loads
# as a plug-in are not linked, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils, shared-mime-info, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-zenhei, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
