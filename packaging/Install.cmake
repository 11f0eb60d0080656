# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` puts in place: the two programs and what a desktop
# and a distribution need around them. The static libraries, tests and
# benchmarks stay in the build.

set(QUIL_APP_ID io.github.quillet.Quillet)

set(QUIL_PACKAGE_MAINTAINER_DEFAULT "Quillet developers <quillet@example.org>")
# Debian's tools take the packager from DEBFULLNAME and DEBEMAIL; so does the
# first configuration of a build folder.
if(DEFINED ENV{DEBFULLNAME} AND DEFINED ENV{DEBEMAIL})
  set(QUIL_PACKAGE_MAINTAINER_DEFAULT "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
set(QUIL_PACKAGE_MAINTAINER "${QUIL_PACKAGE_MAINTAINER_DEFAULT}"
    CACHE STRING "Maintainer named in the Debian package and its changelog")
# The program's own version as the about box shows it.
set(QUIL_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.00")

install(TARGETS quillet quillet-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (cpack, `cmake --install --strip`) also drops the
# compiler's version notes, as Debian's own packages do.
install(CODE "set(_quil_objcopy \"${CMAKE_OBJCOPY}\")
set(_quil_bindir \"${CMAKE_INSTALL_BINDIR}\")")
install(CODE [[
  if(CMAKE_INSTALL_DO_STRIP AND _quil_objcopy)
    foreach(_p quillet quillet-cli)
      set(_f "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${_quil_bindir}/${_p}")
      execute_process(COMMAND "${_quil_objcopy}" --remove-section=.comment --remove-section=.note "${_f}"
                      RESULT_VARIABLE _rc)
      if(NOT _rc EQUAL 0)
        message(FATAL_ERROR "objcopy could not strip ${_f}")
      endif()
    endforeach()
  endif()
]])

install(FILES packaging/${QUIL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${QUIL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The hourly mailbox import, for the reader to enable (systemctl --user).
install(FILES packaging/quillet-import-mail.service packaging/quillet-import-mail.timer
        DESTINATION lib/systemd/user)
foreach(size 16 24 32 48 64 128 256)
  install(FILES packaging/icons/quillet-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quillet.png)
endforeach()
install(FILES packaging/icons/quillet.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog go compressed, as Debian keeps them;
# gzip -n leaves the time out, so the same tree gives the same bytes.
configure_file(packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(_quil_gz)
function(quil_gzip src out)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/ja
    COMMAND gzip -9n -c ${src} > ${out}
    DEPENDS ${src} VERBATIM)
  set(_quil_gz ${_quil_gz} ${out} PARENT_SCOPE)
endfunction()
set(_pk ${CMAKE_BINARY_DIR}/packaging)
quil_gzip(${_pk}/changelog ${_pk}/changelog.gz)
foreach(_page quillet quillet-cli)
  quil_gzip(${CMAKE_SOURCE_DIR}/packaging/man/${_page}.1 ${_pk}/${_page}.1.gz)
  quil_gzip(${CMAKE_SOURCE_DIR}/packaging/man/ja/${_page}.1 ${_pk}/ja/${_page}.1.gz)
  install(FILES ${_pk}/${_page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_pk}/ja/${_page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
endforeach()
add_custom_target(quillet_compressed_docs ALL DEPENDS ${_quil_gz})

# The whole folder, so that the manual's pictures come along with it.
install(DIRECTORY docs/Manual DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES README.md packaging/copyright ${_pk}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The manual is listed with the system's other documentation (doc-base).
install(FILES packaging/quillet.doc-base DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base RENAME quillet)
