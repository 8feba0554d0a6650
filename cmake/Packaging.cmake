# Installation: the tool and its "Bilder" folder side by side (the tool finds its pictures
# beside itself). On Linux they go under lib/corvana, with a command on the PATH, the desktop
# entry and icon, and the udev rule for the programming cable; `cpack -G DEB` turns that into
# a Debian package. On Windows the programs are the top of the installed folder, which
# `cpack -G ZIP` packs.
include(GNUInstallDirs)

if(WIN32)
  set(CORVANA_PROGRAM_DIR .)
  function(corvana_install_command name)
  endfunction()
  set(CPACK_PACKAGE_NAME corvana-pellquin)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_GENERATOR ZIP)
  include(CPack)
  return()
endif()

set(CORVANA_PROGRAM_DIR lib/corvana)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/corvana-pellquin.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/corvana-pellquin.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/70-corvana-cp210x.rules
        DESTINATION lib/udev/rules.d)

# bin/<name> -> ../lib/corvana/<name>, for each program installed in CORVANA_PROGRAM_DIR
function(corvana_install_command name)
  install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK ../lib/corvana/${name}
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${name}\" SYMBOLIC)")
endfunction()

set(CPACK_PACKAGE_NAME corvana-pellquin)
set(CPACK_PACKAGE_VENDOR "Corvana Halvern GmbH")
set(CPACK_PACKAGE_CONTACT "Corvana Halvern GmbH <support@corvana-halvern.de>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Dealer portal browser and Pellquin remote-control programmer")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_GENERATOR DEB)
include(CPack)
