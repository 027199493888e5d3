# Reliability: random event storms against the window's logic.
metro_add_test(test_event_storm SOURCES test_event_storm.cpp LIBS metro_form metro_sound)
# The real metronome heard through private PulseAudio and PipeWire servers, each test alone
# (timed against what the server plays). Its own program: SDL reads which audio driver to use
# once, and this one needs PulseAudio.
metro_add_test(test_heard_clicks SOURCES test_heard_clicks.cpp LIBS metro_form metro_sound
               PROPERTIES RUN_SERIAL TRUE)
# The private sound servers' start-up, beside the test programs that use it.
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/support/sound_server.sh ${CMAKE_BINARY_DIR}/bin/sound_server.sh COPYONLY)
# The private PipeWire's sink with latency of its own, which sound_server.sh starts.
pkg_check_modules(PIPEWIRE QUIET IMPORTED_TARGET libpipewire-0.3)
if(PIPEWIRE_FOUND)
    add_executable(slow_sink ${CMAKE_CURRENT_SOURCE_DIR}/support/slow_sink.cpp)
    target_link_libraries(slow_sink PRIVATE metro_warnings PkgConfig::PIPEWIRE)
    foreach(served test_PulseAudioOutput test_heard_clicks)
        add_dependencies(${served} slow_sink)
    endforeach()
else()
    message(WARNING "libpipewire-0.3 not found: the tests on a private PipeWire are skipped")
endif()
