# bench_sound: cost of handing a click to the mixer and of mixing one callback block.
add_executable(bench_sound ${CMAKE_CURRENT_SOURCE_DIR}/bench_sound.cpp)
target_link_libraries(bench_sound PRIVATE metro_warnings metro_sound)
target_compile_definitions(bench_sound PRIVATE METRO_CLICKS_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/metro")
add_dependencies(bench_sound metro_clicks)
# bench_pulse_buffer: how each buffer size of the sound server's stream rides out a busy
# machine (runs short, requests, CPU).
add_executable(bench_pulse_buffer ${CMAKE_CURRENT_SOURCE_DIR}/pulse_buffer.cpp)
target_link_libraries(bench_pulse_buffer PRIVATE metro_warnings metro_sound)
# bench_take_back: how close before a click a change still reaches it, taking back what the
# stream holds or with a shorter queue.
add_executable(bench_take_back ${CMAKE_CURRENT_SOURCE_DIR}/take_back.cpp)
target_link_libraries(bench_take_back PRIVATE metro_warnings metro_sound)
# slow_sink: a private PipeWire's sink with 150 ms latency of its own that says so, for
# avsync.sh (PipeWire's own tunnel resamples and hides most of its delay).
pkg_check_modules(PIPEWIRE QUIET IMPORTED_TARGET libpipewire-0.3)
if(PIPEWIRE_FOUND)
    add_executable(slow_sink ${CMAKE_CURRENT_SOURCE_DIR}/slow_sink.cpp)
    target_link_libraries(slow_sink PRIVATE metro_warnings PkgConfig::PIPEWIRE)
endif()
