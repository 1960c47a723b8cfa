# `make uninstall`: removes every file that the last install listed in install_manifest.txt (under
# $DESTDIR when it is set, as the install was), then every folder that the removal left empty, up
# to the install prefix. The prefix's common folders (bin/, share/, share/applications/, the icon
# theme's root, the manual's section folder, ...) stay even when empty: other programs use them.
#   cmake -DMANIFEST=<build>/install_manifest.txt -P Uninstall.cmake

cmake_policy(VERSION 3.25)

if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "nothing to uninstall: ${MANIFEST} does not exist (run make install first)")
endif()
file(STRINGS "${MANIFEST}" installed)

set(destdir "$ENV{DESTDIR}")
# The prefix is where the program went: <prefix>/bin/tapwell.
set(prefix "")
foreach(file IN LISTS installed)
  if(file MATCHES "^(.*)/bin/tapwell$")
    set(prefix "${destdir}${CMAKE_MATCH_1}")
  endif()
endforeach()
set(kept "${prefix}")
foreach(common IN ITEMS bin share share/applications share/icons share/icons/hicolor share/man
                        share/man/man1 share/metainfo share/doc)
  list(APPEND kept "${prefix}/${common}")
endforeach()

set(removed 0)
set(missing 0)
set(folders "")
foreach(file IN LISTS installed)
  set(path "${destdir}${file}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    file(REMOVE "${path}")
    if(EXISTS "${path}" OR IS_SYMLINK "${path}")
      message(FATAL_ERROR "cannot remove ${path}")
    endif()
    math(EXPR removed "${removed} + 1")
  else()
    message(STATUS "already gone: ${path}")
    math(EXPR missing "${missing} + 1")
  endif()
  # Without a known prefix only Tapwell's own folders are candidates.
  get_filename_component(folder "${path}" DIRECTORY)
  while(TRUE)
    if(prefix)
      string(FIND "${folder}" "${prefix}/" at)
      if(NOT at EQUAL 0 OR folder IN_LIST kept)
        break()
      endif()
    elseif(NOT folder MATCHES "/share/(doc/)?tapwell(/|$)")
      break()
    endif()
    list(APPEND folders "${folder}")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()

# Deepest first, so that a folder is empty once its children are gone.
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
  file(GLOB children "${folder}/*" "${folder}/.*")
  if(IS_DIRECTORY "${folder}" AND NOT children)
    execute_process(COMMAND rmdir "${folder}" RESULT_VARIABLE failed)
    if(failed)
      message(WARNING "cannot remove the folder ${folder}")
    endif()
  endif()
endforeach()
message(STATUS "removed ${removed} files (${missing} already gone)")
