target_link_libraries(${name} PRIVATE tapwell_core tapwell_keyboard)
