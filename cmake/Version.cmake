# FERROW_VERSION, FERROW_VERSION_MAJOR and FERROW_VERSION_MINOR as resources/version.h
# states them, for the manifest and the manual.
file(STRINGS ${CMAKE_SOURCE_DIR}/resources/version.h version_lines REGEX "^#define FERROW_VERSION")
foreach(line ${version_lines})
  if(line MATCHES "^#define (FERROW_VERSION[A-Z_]*) \"?([0-9.]+)\"?")
    set(${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  endif()
endforeach()
if(NOT FERROW_VERSION OR NOT DEFINED FERROW_VERSION_MAJOR OR NOT DEFINED FERROW_VERSION_MINOR)
  message(FATAL_ERROR "resources/version.h does not state the version")
endif()
