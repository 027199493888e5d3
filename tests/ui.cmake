metro_add_test(test_window_layout SOURCES test_window_layout.cpp LIBS metro_model)
metro_add_test(test_startup SOURCES test_startup.cpp LIBS metro_form)
metro_add_test(test_metronome_window OWN_MAIN SOURCES test_metronome_window.cpp LIBS metro_window
    Qt6::Test)
# The same window tests at twice the pixel density.
add_test(NAME window_at_double_density COMMAND test_metronome_window --gtest_filter=*Grab*)
set_tests_properties(window_at_double_density PROPERTIES
    ENVIRONMENT "QT_SCALE_FACTOR=2")
metro_add_test(test_tempo_change SOURCES test_tempo_change.cpp LIBS metro_form)
metro_add_test(test_start_stop SOURCES test_start_stop.cpp LIBS metro_form)
metro_add_test(test_pointer SOURCES test_pointer.cpp LIBS metro_form)
metro_add_test(test_keyboard SOURCES test_keyboard.cpp LIBS metro_form)
metro_add_test(test_panels SOURCES test_panels.cpp LIBS metro_form)
metro_add_test(test_window_accessibility OWN_MAIN SOURCES test_window_accessibility.cpp
    LIBS metro_window Qt6::Test)
