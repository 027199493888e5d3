# Tests of the sound subsystem: the mixer, the heard clock, the sound class and its wave
# decoding (with the hand-over between the window and the audio thread), the SDL device.
metro_add_test(test_Mixer SOURCES test_Mixer.cpp LIBS metro_sound)
metro_add_test(test_HeardClock SOURCES test_HeardClock.cpp LIBS metro_sound)
metro_add_test(test_Cls_DX7_JP SOURCES test_Cls_DX7_JP.cpp LIBS metro_sound)
metro_add_test(test_SdlAudioOutput SOURCES test_SdlAudioOutput.cpp LIBS metro_sound)

# The load path under libFuzzer (clang, -DMETRO_FUZZ=ON): decoding wave files from memory.
if(METRO_FUZZ)
    add_executable(fuzz_WaveDecoder ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/fuzz_WaveDecoder.cpp)
    target_link_libraries(fuzz_WaveDecoder PRIVATE metro_warnings metro_sound)
    target_include_directories(fuzz_WaveDecoder PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(fuzz_WaveDecoder PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_WaveDecoder PRIVATE -fsanitize=fuzzer)
endif()
# Timed against what a private server plays: alone, so that no other test takes the processors.
metro_add_test(test_PulseAudioOutput SOURCES test_PulseAudioOutput.cpp LIBS metro_sound
               PROPERTIES RUN_SERIAL TRUE)
