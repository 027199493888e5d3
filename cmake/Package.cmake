# The Debian package: `cpack -G DEB` in the build folder makes
# metronome_<version>-<revision>_<arch>.deb
# from the install rules, for the /usr prefix.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME metronome)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Metronome developers")
set(CPACK_PACKAGE_CONTACT "Metronome developers <metronome@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mechanical metronome on the desktop")
# Lines of at most 80 characters in the package's description, as Debian wants them.
set(CPACK_PACKAGE_DESCRIPTION
    "One small window shows a wooden metronome whose rod and sliding weight swing
as a pendulum. A click sounds each time the rod passes the vertical and the
first beat of every measure is accented. Tempo 40 to 300 beats per minute, one
to eight beats per measure.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Debian revision; the changelog (Install.cmake) carries the same version.
set(CPACK_DEBIAN_PACKAGE_RELEASE ${METRO_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://metronome.example.org/)
# Libraries the program links come from dpkg-shlibdeps. Two needs it cannot see: Qt loads
# its platform plugin (xcb) at run time, and the labels ask for Arial, whose metric twin
# Liberation Sans keeps the layout as drawn.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, qt6-qpa-plugins")

include(CPack)
