# The system events adapters: power supplies (sysfs, udev), folder events (inotify), XDG folders.
pkg_check_modules(TAPWELL_SYSTEM_UDEV REQUIRED IMPORTED_TARGET libudev)
add_library(tapwell_platform_system STATIC
  ${CMAKE_CURRENT_LIST_DIR}/InotifyFolderEvents.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinuxSystemEvents.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SysfsPowerSource.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemFdWatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UdevPowerMonitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XdgDownloadsFolder.cpp)
target_include_directories(tapwell_platform_system PUBLIC "${PROJECT_SOURCE_DIR}/src")
target_link_libraries(tapwell_platform_system
  PUBLIC tapwell_system
  PRIVATE tapwell_warnings PkgConfig::TAPWELL_SYSTEM_UDEV)
