# `make deb` (CPack) and `make uninstall`.

# --- The Debian package ---------------------------------------------------------------------------
set(TAPWELL_PACKAGE_MAINTAINER "The Tapwell developers <developers@tapwell.invalid>" CACHE STRING
  "The Maintainer field of the Debian package (name <address>)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tapwell)
set(CPACK_PACKAGE_VENDOR "The Tapwell developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "typing sounds, private typing statistics and gentle nudges")
# The control file's long description under the summary: lines of at most 80 columns.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Tapwell answers every key press and release anywhere on the desktop with a
sample of the chosen sound theme: a deep linear board, a crisp clicky switch,
a typewriter or bubbles. It keeps private typing statistics (never which key
was pressed), gives gentle break, late-night and wrap-up nudges, plays short
alert sounds for caps lock, power, downloads and screenshots, and renders a
shareable daily recap card. It speaks English, Simplified Chinese and
Japanese.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAPWELL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library packages come from what the program links (dpkg-shlibdeps); the calendar reads the
# zone files of tzdata.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tzdata")
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/DebianDocs.cmake")
# Icon caches and the desktop database are refreshed by the triggers of the packages that own
# them, so the package needs no maintainer scripts.
include(CPack)

# --- Uninstalling what `make install` installed ----------------------------------------------------
add_custom_target(uninstall
  COMMAND "${CMAKE_COMMAND}" -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P "${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake"
  COMMENT "Removing the installed files"
  VERBATIM)
