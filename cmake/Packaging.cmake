# What a distribution package holds beyond the program's own install rules (manual pages,
# copyright, the Debian changelog), and the Debian package that `cpack -G DEB` makes of a
# Release build installed to /usr (scripts/package.sh).

set(MIVO_PACKAGE_MAINTAINER "MIVO klient <podpora@tsa.example.net>" CACHE STRING
    "Maintainer of the Debian package (the name and address the changelog gives too)")
set(MIVO_PACKAGE_HOMEPAGE "https://tsa.example.net/mivoklient/" CACHE STRING
    "Home page named by the package")
# The Debian revision: the package of a version made again counts up.
set(MIVO_PACKAGE_RELEASE 1)

# Manual pages, gzip-compressed: man/*.1 (in Czech, the program's language) and man/en/*.1
# are the default pages, man/<lang>/*.1 those of another language (man/de/ ->
# share/man/de/man1).
file(GLOB_RECURSE mivo_man_sources CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}/man
     ${CMAKE_SOURCE_DIR}/man/*.1)
set(mivo_man_outputs)
set(mivo_man_destinations)
foreach(page IN LISTS mivo_man_sources)
  get_filename_component(lang "${page}" DIRECTORY)
  get_filename_component(name "${page}" NAME)
  # The desktop program's page goes with the desktop program.
  if(name STREQUAL "mivoklient.1" AND NOT MIVO_GUI)
    continue()
  endif()
  if(lang STREQUAL "" OR lang STREQUAL "en")
    set(destination ${CMAKE_INSTALL_MANDIR}/man1)
  elseif(lang MATCHES "/")
    message(FATAL_ERROR "man/${page}: manual pages lie in man/ or man/<language>/")
  else()
    set(destination ${CMAKE_INSTALL_MANDIR}/${lang}/man1)
  endif()
  if("${destination}/${name}" IN_LIST mivo_man_destinations)
    message(FATAL_ERROR "man/${page}: a page of that name and language exists already")
  endif()
  list(APPEND mivo_man_destinations "${destination}/${name}")
  set(copy ${CMAKE_BINARY_DIR}/man/${page})
  # -n: no name or time in the header, so that the same page gives the same bytes.
  add_custom_command(OUTPUT ${copy}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/man/${page} ${copy}
                     COMMAND gzip -9nf ${copy}
                     DEPENDS ${CMAKE_SOURCE_DIR}/man/${page} VERBATIM)
  list(APPEND mivo_man_outputs ${copy}.gz)
  install(FILES ${copy}.gz DESTINATION ${destination})
endforeach()

# The copyright belongs to every installation; the Debian changelog only to the package
# (component "debian", which a plain `cmake --install` leaves out).
install(FILES ${CMAKE_SOURCE_DIR}/res/package/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(mivo_changelog ${CMAKE_BINARY_DIR}/package/changelog.Debian)
add_custom_command(OUTPUT ${mivo_changelog}.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/res/package/changelog
                           ${mivo_changelog}
                   COMMAND gzip -9nf ${mivo_changelog}
                   DEPENDS ${CMAKE_SOURCE_DIR}/res/package/changelog VERBATIM)
add_custom_target(mivo_package_docs ALL DEPENDS ${mivo_man_outputs} ${mivo_changelog}.gz)
install(FILES ${mivo_changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian
        EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME mivoklient)
set(CPACK_PACKAGE_VENDOR "The MIVO klient developers")
set(CPACK_PACKAGE_CONTACT "${MIVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client for qualified RFC 3161 time stamps")
# Lines of at most 79 characters; "." alone is an empty line.
set(CPACK_PACKAGE_DESCRIPTION
    "MIVO klient proves that a document existed at a given moment: it hashes a
file, asks a time-stamp authority (RFC 3161) for a qualified time stamp,
checks the reply against its request and stores the stamp beside the file.
It keeps a list of stamped files, shows a stamp's details and verifies a
stamp against its file and its signer.
.
The package holds the desktop program (mivoklient, with a Czech user
interface) and the command-line client (mivoklient-cli).")
set(CPACK_STRIP_FILES ON)
# Everything the default install holds, and the Debian changelog.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/" "${CMAKE_BINARY_DIR};${PROJECT_NAME};debian;/")

set(CPACK_DEBIAN_PACKAGE_NAME mivoklient)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${MIVO_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MIVO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${MIVO_PACKAGE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries come from dpkg-shlibdeps (the web engine's library brings its helper
# process, libqt6webenginecore6-bin). Besides them the program needs at run time:
# - qt6-translations-l10n: Qt's own texts in Czech (buttons of the dialogs);
# - xdg-utils: opening files and links with the desktop's programs;
# - ca-certificates: the system's CA certificates, for HTTPS and the trust in a stamp's
#   signer.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-translations-l10n, xdg-utils, ca-certificates")
# libproxy is opened at run time (the program works without it, with the proxy variables of
# the environment), so dpkg-shlibdeps cannot see it; its web plug-in runs PAC scripts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libproxy1v5, libproxy1-plugin-webkit")

include(CPack)
