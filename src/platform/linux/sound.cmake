# The Linux side of sound: the SDL2 device output, the paced null and real-time WAV outputs, and
# the PulseAudio device list for routing.
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(LIBPULSE REQUIRED IMPORTED_TARGET libpulse)

add_library(tapwell_platform_sound STATIC
  ${CMAKE_CURRENT_LIST_DIR}/NullAudioOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseDefaultSinkWatcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PulseOutputDevices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SdlAudioOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SoundOutputFactory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WavRealtimeAudioOutput.cpp)
target_include_directories(tapwell_platform_sound PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tapwell_platform_sound
  PUBLIC tapwell_sound
  PRIVATE tapwell_warnings PkgConfig::SDL2 PkgConfig::LIBPULSE)
