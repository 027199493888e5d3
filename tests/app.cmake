# The program's start: the command line, and the real program where no display or platform
# can be opened.
metro_add_test(test_command_line OWN_MAIN SOURCES test_command_line.cpp
    LIBS metro_qt_test_main metro_command_line)
target_compile_definitions(test_command_line PRIVATE METRO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    METRO_PROGRAM="$<TARGET_FILE:metronome>")
add_dependencies(test_command_line metronome)
