metro_add_test(test_command_line SOURCES test_command_line.cpp LIBS metro_command_line)
target_compile_definitions(test_command_line PRIVATE METRO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
