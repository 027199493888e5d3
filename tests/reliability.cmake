# Reliability: random event storms against the window's logic.
metro_add_test(test_event_storm SOURCES test_event_storm.cpp LIBS metro_form metro_sound)
# The real metronome heard through private PulseAudio and PipeWire servers, each test alone
# (timed against what the server plays). Its own program: SDL reads which audio driver to use
# once, and this one needs PulseAudio.
metro_add_test(test_heard_clicks SOURCES test_heard_clicks.cpp LIBS metro_form metro_sound
               PROPERTIES RUN_SERIAL TRUE)
# The private sound servers' start-up, beside the test programs that use it.
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/support/sound_server.sh ${CMAKE_BINARY_DIR}/bin/sound_server.sh COPYONLY)
