# Shared build settings and the helpers every folder uses.

# Optimised builds link the program with the code a run executes side by side (see
# src/app/CMakeLists.txt): that takes a section per function, and lld to order them. Debug and
# sanitizer builds, which nobody runs for their footprint, link as they always did.
set(TAPWELL_ORDERED_LINK OFF)
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug" AND NOT TAPWELL_BUILD_FUZZERS)
  include(CheckLinkerFlag)
  check_linker_flag(CXX "-fuse-ld=lld" TAPWELL_LINKER_LLD)
  if(TAPWELL_LINKER_LLD)
    set(TAPWELL_ORDERED_LINK ON)
  endif()
endif()

add_library(tapwell_warnings INTERFACE)
target_compile_options(tapwell_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)

# tapwell_library(NAME <folder target> SOURCES ... [PUBLIC_DEPS ...] [PRIVATE_DEPS ...])
# Creates the static library tapwell_<NAME>; headers are included as "<folder>/<Header>.h".
function(tapwell_library)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(tapwell_${ARG_NAME} STATIC ${ARG_SOURCES})
  target_include_directories(tapwell_${ARG_NAME} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(tapwell_${ARG_NAME}
    PUBLIC ${ARG_PUBLIC_DEPS}
    PRIVATE tapwell_warnings ${ARG_PRIVATE_DEPS})
  if(TAPWELL_ORDERED_LINK)
    target_compile_options(tapwell_${ARG_NAME} PRIVATE -ffunction-sections)
  endif()
endfunction()

# tapwell_reader_module(NAME <module target> SOURCE <entry.cpp> READER <static library>)
# A module the program loads on first use (lib/tapwell/modules/lib<name>.so), so that a run that
# never needs the reader never maps the libraries behind it. Self-contained: it exports only its
# entry and resolves nothing against the executable.
function(tapwell_reader_module)
  cmake_parse_arguments(ARG "" "NAME;SOURCE;READER" "" ${ARGN})
  string(REPLACE "_" "-" output "${ARG_NAME}")
  add_library(${ARG_NAME} MODULE ${ARG_SOURCE})
  set_target_properties(${ARG_NAME} PROPERTIES
    OUTPUT_NAME ${output}
    # Beside the program in the build tree, where it looks first.
    LIBRARY_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/src/app")
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_READER} tapwell_warnings
    -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  install(TARGETS ${ARG_NAME} LIBRARY DESTINATION lib/tapwell/modules)
endfunction()

# tapwell_test(NAME <name> SOURCES ... LIBS ... [LABELS ...] [RESOURCE_LOCK lock] [ENVIRONMENT ...])
# One GoogleTest executable per test folder, registered case by case with CTest.
function(tapwell_test)
  cmake_parse_arguments(ARG "" "NAME;RESOURCE_LOCK" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} tapwell_testsupport
    GTest::gtest GTest::gmock GTest::gtest_main tapwell_warnings)
  set(props "")
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  if(ARG_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
  # The discovered tests' properties travel as one flat list that splits every list value, so
  # each property holds a single variable: the log switch, and at most one of the caller's.
  list(APPEND props ENVIRONMENT "TAPWELL_LOG=off")
  list(LENGTH ARG_ENVIRONMENT env_count)
  if(env_count GREATER 1)
    message(FATAL_ERROR "tapwell_test(${ARG_NAME}): at most one ENVIRONMENT variable")
  elseif(env_count EQUAL 1)
    string(REGEX REPLACE "^([^=]+)=" "\\1=set:" env_change "${ARG_ENVIRONMENT}")
    list(APPEND props ENVIRONMENT_MODIFICATION "${env_change}")
  endif()
  gtest_discover_tests(${ARG_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
