# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in a build folder makes
# quillet_<version>_<arch>.deb from what `cmake --install` puts in place.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VENDOR "Quillet developers")
set(CPACK_PACKAGE_VERSION "${QUIL_PACKAGE_VERSION}")
set(CPACK_PACKAGE_CONTACT "${QUIL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "register of Japanese e-mail newsletters")
set(CPACK_PACKAGE_DESCRIPTION
"Quillet keeps a register of the Japanese e-mail newsletters you have
subscribed to (publishing service, name and ID, registered address, date
and state) and helps you leave them again: it opens cancel pages, writes a
page of ready-filled cancel forms and keeps cancellation notices. Records
are typed in, taken from confirmation mails or imported from CSV; all files
are Shift_JIS. quillet-cli feeds the register from a mail system.

購読中のメールマガジンを登録・管理し、解除を手助けします。")

# The package installs under /usr whatever prefix the build was configured with.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt 6, SQLite and GMime come from dpkg-shlibdeps. The program substitutes
# the IPA fonts for the Japanese faces it was designed with and loads Qt's
# Japanese catalogue for its standard buttons: neither is a linked library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont, qt6-translations-l10n")
# Web pages open through the desktop's opener.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

include(CPack)
