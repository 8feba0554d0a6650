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
install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/de.corvana_halvern.pellquin.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

# What Debian policy asks of every package: the copyright file, the changelog and the manual
# pages, the last two compressed without a time stamp (gzip -n) so the package builds the same
# twice. The changelog's newest entry must name the version being built.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/packaging/changelog corvana_changelog_top LIMIT_COUNT 1)
string(FIND "${corvana_changelog_top}" "corvana-pellquin (${PROJECT_VERSION}) " corvana_at)
if(NOT corvana_at EQUAL 0)
  message(FATAL_ERROR "cmake/packaging/changelog: the newest entry is not ${PROJECT_VERSION}: "
                      "${corvana_changelog_top}")
endif()
set(corvana_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvana-pellquin)
set(corvana_gz)
foreach(doc changelog pellquin.1 pcorvanabrowser.1)
  set(gz ${PROJECT_BINARY_DIR}/packaging/${doc}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/packaging/${doc} > ${gz}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/packaging/${doc} VERBATIM)
  list(APPEND corvana_gz ${gz})
endforeach()
add_custom_target(corvana_package_docs ALL DEPENDS ${corvana_gz})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/copyright
              ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${corvana_doc_dir})
install(FILES ${PROJECT_BINARY_DIR}/packaging/pellquin.1.gz
              ${PROJECT_BINARY_DIR}/packaging/pcorvanabrowser.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

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
# Debian's extended description: lines of at most 80 characters, paragraphs apart.
set(CPACK_PACKAGE_DESCRIPTION [=[
The desktop tool for the customers of Corvana Halvern GmbH, a spare-parts
dealer. pcorvanabrowser is a browser on the dealer's portal that logs the user
in with stored credentials. When the portal opens an order page, its
programming wizard downloads the ordered QYX PQ remote control's code file from
the dealer's code server by FTP, writes it into the remote through a CP210x
USB-serial cable and reports the completed programming to the portal.

pellquin is the technician's command line for the same work: it checks code
files, programs and reads out remote controls, lists the attached cables and
fetches code files from the code server.]=])
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.corvana-halvern.de")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The programs ship stripped (the build tree keeps them with their debug information).
# CPack's own debug package is left out: its md5sums name the staging paths, which dpkg and
# lintian reject.
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
