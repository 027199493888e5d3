# Reliability: random event storms against the window's logic.
metro_add_test(test_event_storm SOURCES test_event_storm.cpp LIBS metro_form metro_sound)
