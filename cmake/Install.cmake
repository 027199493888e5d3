# Install layout, the same under any prefix:
#   lib/metronome/metronome          the program
#   lib/metronome/metro/1.wav, 2.wav its clicks, looked up beside the program file
#   bin/metronome                    -> ../lib/metronome/metronome
#   share/applications, share/metainfo, share/icons/hicolor, share/doc/metronome,
#   share/man/man1/metronome.1.gz
# The program finds metro/ through QCoreApplication::applicationDirPath(), which on Linux
# reads /proc/self/exe and so names the real file, not the link in bin/.

set(METRO_INSTALL_PROGRAM_DIR lib/metronome)
set(METRO_STAGE_DIR ${CMAKE_BINARY_DIR}/stage)

install(TARGETS metronome RUNTIME DESTINATION ${METRO_INSTALL_PROGRAM_DIR})
install(FILES $<TARGET_FILE_DIR:metronome>/metro/1.wav $<TARGET_FILE_DIR:metronome>/metro/2.wav
        DESTINATION ${METRO_INSTALL_PROGRAM_DIR}/metro)

# A relative link holds under any prefix and inside DESTDIR staging; install() copies
# links as links.
file(MAKE_DIRECTORY ${METRO_STAGE_DIR}/bin)
file(CREATE_LINK ../${METRO_INSTALL_PROGRAM_DIR}/metronome ${METRO_STAGE_DIR}/bin/metronome
     SYMBOLIC)
install(FILES ${METRO_STAGE_DIR}/bin/metronome DESTINATION bin)

# The icon at the usual hicolor sizes, rendered from the program's own SVG. The logging rule
# quiets Qt's note about a missing runtime folder on build machines; SVG warnings still show.
set(METRO_ICON_SVG ${PROJECT_SOURCE_DIR}/ui/assets/icon.svg)
set(METRO_ICON_PNGS)
foreach(size 16 24 32 48 64 128 256)
    set(dir ${METRO_STAGE_DIR}/icons/hicolor/${size}x${size}/apps)
    add_custom_command(
        OUTPUT ${dir}/metronome.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                QT_LOGGING_RULES=default.warning=false
                $<TARGET_FILE:svg_to_png> ${METRO_ICON_SVG} ${dir}/metronome.png ${size}
        DEPENDS svg_to_png ${METRO_ICON_SVG}
        COMMENT "Rendering the ${size}x${size} icon")
    list(APPEND METRO_ICON_PNGS ${dir}/metronome.png)
endforeach()
add_custom_target(metro_icons ALL DEPENDS ${METRO_ICON_PNGS})
install(DIRECTORY ${METRO_STAGE_DIR}/icons/ DESTINATION share/icons)
install(FILES ${METRO_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps
        RENAME metronome.svg)

install(FILES ${PROJECT_SOURCE_DIR}/desktop/org.example.metronome.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/desktop/org.example.metronome.metainfo.xml DESTINATION share/metainfo)

# Every folder the install makes is world-readable, whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Documents, as Debian keeps them: the copyright in its machine-readable form (the licence
# text from LICENSE), the package's changelog and the manual page, the last two compressed
# with gzip -9n (no name or time stamp inside, so the same sources give the same bytes).
set(METRO_DEBIAN_RELEASE 1)
set(METRO_DEBIAN_VERSION ${PROJECT_VERSION}-${METRO_DEBIAN_RELEASE})
file(READ ${PROJECT_SOURCE_DIR}/LICENSE METRO_LICENSE_TEXT)
string(FIND "${METRO_LICENSE_TEXT}" "Permission is hereby granted" permission)
string(SUBSTRING "${METRO_LICENSE_TEXT}" ${permission} -1 METRO_LICENSE_TEXT)
string(STRIP "${METRO_LICENSE_TEXT}" METRO_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" METRO_LICENSE_TEXT "${METRO_LICENSE_TEXT}")
string(REPLACE "\n" "\n " METRO_LICENSE_TEXT " ${METRO_LICENSE_TEXT}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${METRO_STAGE_DIR}/doc/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${METRO_STAGE_DIR}/doc/changelog.Debian
               @ONLY)
set(METRO_MAN_PAGE ${PROJECT_SOURCE_DIR}/docs/metronome.1)
add_custom_command(
    OUTPUT ${METRO_STAGE_DIR}/doc/changelog.Debian.gz ${METRO_STAGE_DIR}/man/metronome.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${METRO_STAGE_DIR}/man
    COMMAND gzip -9n -c ${METRO_STAGE_DIR}/doc/changelog.Debian > ${METRO_STAGE_DIR}/doc/changelog.Debian.gz
    COMMAND gzip -9n -c ${METRO_MAN_PAGE} > ${METRO_STAGE_DIR}/man/metronome.1.gz
    DEPENDS ${METRO_STAGE_DIR}/doc/changelog.Debian ${METRO_MAN_PAGE}
    COMMENT "Compressing the changelog and the manual page")
add_custom_target(metro_docs ALL DEPENDS ${METRO_STAGE_DIR}/doc/changelog.Debian.gz
                                         ${METRO_STAGE_DIR}/man/metronome.1.gz)
install(FILES ${METRO_STAGE_DIR}/doc/copyright ${METRO_STAGE_DIR}/doc/changelog.Debian.gz
        DESTINATION share/doc/metronome)
install(FILES ${METRO_STAGE_DIR}/man/metronome.1.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides DESTINATION share/lintian/overrides
        RENAME metronome)

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
