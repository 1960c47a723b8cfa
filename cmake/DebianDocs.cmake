# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged files of the Debian package: a Debian
# package documents itself with /usr/share/doc/<package>/copyright (the license in Debian's
# machine-readable form, which replaces the plain LICENSE there) and changelog.gz.

set(doc "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/tapwell")
file(MAKE_DIRECTORY "${doc}")

# copyright: the license's copyright line and text under Debian's fields.
file(STRINGS "${CPACK_RESOURCE_FILE_LICENSE}" license_lines)
set(holder "")
set(text "")
foreach(line IN LISTS license_lines)
  if(line MATCHES "^Copyright \\(c\\) (.+)$")
    set(holder "${CMAKE_MATCH_1}")
  elseif(holder)
    if(line STREQUAL "")
      string(APPEND text " .\n")
    else()
      string(APPEND text " ${line}\n")
    endif()
  endif()
endforeach()
if(NOT holder)
  message(FATAL_ERROR "${CPACK_RESOURCE_FILE_LICENSE} has no \"Copyright (c)\" line")
endif()
string(REGEX REPLACE "^ \\.\n" "" text "${text}")
file(WRITE "${doc}/copyright"
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: Tapwell\n\n"
  "Files: *\n"
  "Copyright: ${holder}\n"
  "License: MIT\n\n"
  "License: MIT\n"
  "${text}")
file(REMOVE "${doc}/LICENSE")

# changelog.gz: a native package's one entry for this version, dated when it is packaged (or at
# SOURCE_DATE_EPOCH, for reproducible packages).
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
  "tapwell (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
  "  * Tapwell ${CPACK_PACKAGE_VERSION}.\n\n"
  " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
execute_process(COMMAND gzip --best --no-name --force "${doc}/changelog" RESULT_VARIABLE gzipped)
if(NOT gzipped EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${doc}/changelog")
endif()
