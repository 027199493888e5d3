# Tests of the sound subsystem: the mixer, wave decoding, the sound class, the SDL device,
# the hand-over between the window and the audio thread and the click set-up.
metro_add_test(test_Mixer SOURCES test_Mixer.cpp LIBS metro_sound)
metro_add_test(test_HeardClock SOURCES test_HeardClock.cpp LIBS metro_sound)
metro_add_test(test_Cls_DX7_JP SOURCES test_Cls_DX7_JP.cpp LIBS metro_sound)
metro_add_test(test_WaveDecoder SOURCES test_WaveDecoder.cpp LIBS metro_sound)
metro_add_test(test_SdlAudioOutput SOURCES test_SdlAudioOutput.cpp LIBS metro_sound)
metro_add_test(test_HandOverStress SOURCES test_HandOverStress.cpp LIBS metro_sound)
metro_add_test(test_SoundInit SOURCES test_SoundInit.cpp LIBS metro_form)

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
