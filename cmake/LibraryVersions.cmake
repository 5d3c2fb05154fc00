# The versions of the third-party libraries this build uses, read from the
# stamps the build scripts leave in the deps folder (each names the Debian
# source package it built, "libheif_1.15.1-1+deb12u1") and from dpkg for the
# libraries taken from Debian's binary packages. Writes
#   generated/library_versions.h   kLibraryVersions, for moravel --version
#   library-versions.txt           "name source-package version" per line,
#                                  for the read-me and the release test
include_guard(GLOBAL)

# One line per library: shown name | where the version comes from | source
# package. "stamp:<folder>" reads <deps>/<folder>-<target>/.stamp;
# "dpkg:<package>" asks dpkg. A stamp that does not exist leaves its library
# out (one more line adds a library once its build script stamps it).
if(WIN32)
  set(_moravel_zlib_package libz-mingw-w64-dev)
  set(_moravel_zlib_source libz-mingw-w64)
else()
  set(_moravel_zlib_package zlib1g-dev)
  set(_moravel_zlib_source zlib)
endif()
set(MORAVEL_LIBRARY_SOURCES
  "libjpeg-turbo|stamp:libjpeg|libjpeg-turbo"
  "zlib|dpkg:${_moravel_zlib_package}|${_moravel_zlib_source}"
  "libwebp|stamp:libwebp|libwebp"
  "libheif|stamp:libheif|libheif"
  "libde265|stamp:libheif|libde265"
  "dav1d|stamp:libheif|dav1d"
  "lcms2|stamp:lcms2|lcms2")

set(_moravel_entries "")
set(_moravel_lines "")
foreach(_entry IN LISTS MORAVEL_LIBRARY_SOURCES)
  string(REPLACE "|" ";" _fields "${_entry}")
  list(GET _fields 0 _name)
  list(GET _fields 1 _origin)
  list(GET _fields 2 _package)
  set(_version "")
  if(_origin MATCHES "^stamp:(.*)$")
    set(_stamp "${MORAVEL_DEPS_DIR}/${CMAKE_MATCH_1}-${MORAVEL_PLATFORM}/.stamp")
    if(EXISTS "${_stamp}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_stamp}")
      file(STRINGS "${_stamp}" _stamp_lines REGEX "^${_package}_")
      if(_stamp_lines)
        list(GET _stamp_lines 0 _first)
        string(REGEX REPLACE "^${_package}_" "" _version "${_first}")
      endif()
    endif()
  elseif(_origin MATCHES "^dpkg:(.*)$")
    execute_process(COMMAND dpkg-query -W -f=\${Version} ${CMAKE_MATCH_1}
                    OUTPUT_VARIABLE _version ERROR_QUIET RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      set(_version "")
    endif()
  endif()
  if(NOT _version STREQUAL "")
    string(APPEND _moravel_entries "    {\"${_name}\", \"${_version}\"},\n")
    string(APPEND _moravel_lines "${_name} ${_package} ${_version}\n")
  endif()
endforeach()

file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/library_versions.h" CONTENT
"// The third-party libraries of this build and their Debian versions,
// written by CMake (cmake/LibraryVersions.cmake).
#pragma once

struct LibraryVersion {
    const char* name;
    const char* version;
};

inline constexpr LibraryVersion kLibraryVersions[] = {
${_moravel_entries}};
")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/library-versions.txt" CONTENT "${_moravel_lines}")
