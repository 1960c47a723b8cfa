target_link_libraries(${name} PRIVATE tapwell_stats)
