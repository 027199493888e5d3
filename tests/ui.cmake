# The main of the Qt test programs: a QApplication on the offscreen platform.
add_library(metro_qt_test_main STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/QtTestMain.cpp)
target_link_libraries(metro_qt_test_main PUBLIC GTest::gtest Qt6::Widgets PRIVATE metro_warnings)
metro_add_test(test_metronome_window OWN_MAIN SOURCES test_metronome_window.cpp
    LIBS metro_qt_test_main metro_window Qt6::Test)
# The same window tests at twice the pixel density.
add_test(NAME window_at_double_density COMMAND test_metronome_window --gtest_filter=*Grab*)
set_tests_properties(window_at_double_density PROPERTIES
    ENVIRONMENT "QT_SCALE_FACTOR=2")
metro_add_test(test_tempo_change SOURCES test_tempo_change.cpp LIBS metro_form)
metro_add_test(test_start_stop SOURCES test_start_stop.cpp LIBS metro_form)
metro_add_test(test_pointer SOURCES test_pointer.cpp LIBS metro_form metro_window)
# Qt's key events need its application: without one, the keyboard device they name is never
# freed.
metro_add_test(test_keyboard OWN_MAIN SOURCES test_keyboard.cpp
    LIBS metro_qt_test_main metro_form metro_window)
metro_add_test(test_panels SOURCES test_panels.cpp LIBS metro_form)
# The real program as a screen reader meets it, over the desktop's accessibility bus; skipped
# where the bus or pyatspi is missing.
add_test(NAME atspi_real_program
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/atspi_test.sh $<TARGET_FILE:metronome>)
set_tests_properties(atspi_real_program PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
# The real program with neither a sound server nor a sound card: its one line on standard
# error and nothing else; skipped where Xvfb or xdotool is missing.
add_test(NAME no_sound_real_program
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/no_sound_test.sh $<TARGET_FILE:metronome>)
set_tests_properties(no_sound_real_program PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
# The real window moved by its top band under two window managers, on a bare X server and
# under a nested Weston (the Wayland platform), each on its own Xvfb; skipped where one is
# missing.
foreach(wm openbox icewm none weston)
    add_test(NAME window_move_${wm}
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/window_move_test.sh $<TARGET_FILE:metronome> ${wm})
    set_tests_properties(window_move_${wm} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
endforeach()
