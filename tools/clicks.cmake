# The default clicks, made at build time beside the program: bin/metro/1.wav and 2.wav.
add_executable(metro_make_clicks ${CMAKE_CURRENT_SOURCE_DIR}/make_clicks.cpp)
target_include_directories(metro_make_clicks PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(metro_make_clicks PRIVATE metro_warnings)
# A build tool, not part of the program: keep it out of bin/.
set_target_properties(metro_make_clicks PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(METRO_CLICKS_DIR ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/metro)
set(METRO_CLICK_FILES ${METRO_CLICKS_DIR}/1.wav ${METRO_CLICKS_DIR}/2.wav)
add_custom_command(
    OUTPUT ${METRO_CLICK_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${METRO_CLICKS_DIR}
    COMMAND metro_make_clicks ${METRO_CLICKS_DIR}
    DEPENDS metro_make_clicks
    COMMENT "Making the default clicks in ${METRO_CLICKS_DIR}")
add_custom_target(metro_clicks ALL DEPENDS ${METRO_CLICK_FILES})
