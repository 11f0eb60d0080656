# SPDX-License-Identifier: GPL-3.0-or-later
# Debian's build flags (fortify, stack protector, relro, bind now) for every
# optimised build, so that the programs the package holds are built as a
# Debian package's are. Debug, sanitizer and fuzz builds keep their own.

option(QUIL_DEBIAN_BUILDFLAGS "Compile and link optimised builds with the flags dpkg-buildflags gives" ON)

if(QUIL_DEBIAN_BUILDFLAGS AND NOT QUIL_SANITIZE AND NOT QUIL_FUZZ AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  find_program(QUIL_DPKG_BUILDFLAGS dpkg-buildflags)
  if(QUIL_DPKG_BUILDFLAGS)
    set(_maint "$ENV{DEB_BUILD_MAINT_OPTIONS}")
    if(_maint STREQUAL "")
      set(_maint "hardening=+all")
    endif()
    foreach(_var CPPFLAGS CXXFLAGS LDFLAGS)
      # Run in the source folder: its -ffile-prefix-map makes the debug
      # paths the same wherever the tree was checked out.
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${_maint}" ${QUIL_DPKG_BUILDFLAGS} --get ${_var}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE _rc)
      if(NOT _rc EQUAL 0)
        message(FATAL_ERROR "dpkg-buildflags --get ${_var} failed")
      endif()
      separate_arguments(_flags UNIX_COMMAND "${_flags}")
      if(_var STREQUAL "LDFLAGS")
        add_link_options(${_flags})
      else()
        add_compile_options(${_flags})
      endif()
    endforeach()
    message(STATUS "Debian build flags (${_maint}) from ${QUIL_DPKG_BUILDFLAGS}")
  endif()
endif()

# libetpan's pkg-config file hands on the link flags its own Debian package
# was built with, among them a gcc option file that turns
# position-independent executables off; the programs are linked as PIE like every other.
function(quil_drop_no_pie target)
  get_target_property(_opts ${target} INTERFACE_LINK_OPTIONS)
  if(_opts)
    list(FILTER _opts EXCLUDE REGEX "no-pie")
    set_target_properties(${target} PROPERTIES INTERFACE_LINK_OPTIONS "${_opts}")
  endif()
  get_target_property(_libs ${target} INTERFACE_LINK_LIBRARIES)
  if(_libs)
    list(FILTER _libs EXCLUDE REGEX "no-pie")
    set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES "${_libs}")
  endif()
endfunction()
