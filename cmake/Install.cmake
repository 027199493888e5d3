# Install layout, the same under any prefix:
#   lib/metronome/metronome          the program
#   lib/metronome/metro/1.wav, 2.wav its clicks, looked up beside the program file
#   bin/metronome                    -> ../lib/metronome/metronome
#   share/applications, share/metainfo, share/icons/hicolor, share/doc/metronome
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
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/metronome RENAME copyright)

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
