target_link_libraries(${name} PRIVATE tapwell_app tapwell_platform_linux_keyboard
  tapwell_platform_fallback)
