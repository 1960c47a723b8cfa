# The key monitor and the global shortcut against fakes.
tapwell_test(NAME keyboard_monitor_tests
  SOURCES KeyMonitorTest.cpp GlobalShortcutTest.cpp
  LIBS tapwell_keyboard)

# The evdev adapter on folders of FIFOs fed with input_event records.
tapwell_test(NAME keyboard_evdev_tests
  SOURCES EvdevKeyTapTest.cpp
  LIBS tapwell_platform_keyboard)

# The X11 adapters and the hot key under an X server (Xvfb in CI) with xdotool; they skip
# themselves when DISPLAY is unset. Injected keys and the caps lock state are seen by every client
# of the server, so these tests hold the resource lock "x11-keyboard" (use it for any test that
# types into the shared X server) and never run beside each other.
pkg_check_modules(TAPWELL_X11_TEST REQUIRED IMPORTED_TARGET x11)
add_executable(keyboard_x11_tests X11KeyboardTest.cpp)
target_link_libraries(keyboard_x11_tests PRIVATE tapwell_platform_keyboard
  PkgConfig::TAPWELL_X11_TEST tapwell_testsupport GTest::gtest GTest::gtest_main tapwell_warnings)
gtest_discover_tests(keyboard_x11_tests
  DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS x11 RESOURCE_LOCK x11-keyboard ENVIRONMENT TAPWELL_LOG=off)
