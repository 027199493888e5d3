metro_add_test(test_click_timing SOURCES test_click_timing.cpp LIBS metro_form metro_sound)
# Its own program: SDL reads which audio driver to use once, and this one needs PulseAudio.
# Timed against what a private server plays, so alone.
metro_add_test(test_device_return SOURCES test_device_return.cpp LIBS metro_form metro_sound
               PROPERTIES RUN_SERIAL TRUE)
