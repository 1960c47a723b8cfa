# The key monitor and the global shortcut: the keyboard's services above the OS adapters.
target_sources(tapwell_keyboard PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/KeyMonitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GlobalShortcut.cpp)
