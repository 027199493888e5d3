# Reliability: random event storms against the window's logic, a month of play, and closing,
# muting and changing the measure at every phase of a beat.
metro_add_test(test_event_storm SOURCES test_event_storm.cpp LIBS metro_form metro_sound)
metro_add_test(test_month_of_play SOURCES test_month_of_play.cpp LIBS metro_form metro_sound)
metro_add_test(test_beat_phases SOURCES test_beat_phases.cpp LIBS metro_form metro_sound)
