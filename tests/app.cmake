metro_add_test(test_command_line SOURCES test_command_line.cpp LIBS metro_command_line)
target_compile_definitions(test_command_line PRIVATE METRO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# The real program where no display or platform can be opened.
metro_add_test(test_platform_opening OWN_MAIN SOURCES test_platform_opening.cpp
    LIBS metro_qt_test_main metro_command_line)
target_compile_definitions(test_platform_opening PRIVATE METRO_PROGRAM="$<TARGET_FILE:metronome>")
add_dependencies(test_platform_opening metronome)
