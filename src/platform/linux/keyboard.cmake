# The keyboard's Linux adapters: evdev devices through libevdev, X11 raw key events (XInput 2)
# and the X11 hot key.
pkg_check_modules(TAPWELL_EVDEV REQUIRED IMPORTED_TARGET libevdev)
pkg_check_modules(TAPWELL_X11_INPUT REQUIRED IMPORTED_TARGET x11 xi)

tapwell_library(NAME platform_keyboard
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/KeyTapPoller.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EvdevStreamParser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EvdevProbe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EvdevKeyTap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11ErrorTrap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11KeyTap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EvdevX11KeyTap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11HotKeyService.cpp
  PUBLIC_DEPS
    tapwell_keyboard tapwell_core
  PRIVATE_DEPS
    PkgConfig::TAPWELL_EVDEV PkgConfig::TAPWELL_X11_INPUT)
