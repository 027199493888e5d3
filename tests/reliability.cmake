# Reliability: random event storms against the window's logic and a month of play.
metro_add_test(test_event_storm SOURCES test_event_storm.cpp LIBS metro_form metro_sound)
metro_add_test(test_month_of_play SOURCES test_month_of_play.cpp LIBS metro_form metro_sound)
