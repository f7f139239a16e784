# VELMOR_VERSION from resources/version.h, the one place the version is written.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../resources/version.h line REGEX "^#define VELMOR_VERSION_TEXT ")
string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" VELMOR_VERSION "${line}")
if(NOT VELMOR_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no version in resources/version.h")
endif()
