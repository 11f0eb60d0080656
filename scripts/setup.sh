# SPDX-License-Identifier: GPL-3.0-or-later
# Shared set-up of ./test.sh and ./run.sh: installs the Debian packages that
# are missing, nothing else. Sourced, not run.

# What building, testing and running need. qt6-base-dev itself pulls in the
# OpenGL and Vulkan headers that Qt's CMake package asks for; XKB is optional
# there. xvfb/xauth/xdotool/x11-utils/imagemagick serve the end-to-end test and
# the screenshots, clang and its runtime the fuzz targets, chromium with its
# driver and selenium the browser test of the page of cancel forms.
# dpkg-dev (dpkg-shlibdeps) and desktop-file-utils serve the Debian package
# and its test: the package's library dependencies and its desktop entry.
# fontconfig's and Xlib's headers serve the start-up: the program warms the
# font configuration, scripts/startup-bench's timer watches the X server;
# x11-xserver-utils gives the screenshots xmodmap for typing Japanese.
# locales brings localedef and the ja_JP source, from which the command-line
# test makes its own Japanese locales (UTF-8 and EUC-JP) in a temporary
# folder; with it comes libc-l10n, the C library's Japanese messages.
# openssl makes the one-click test's authorities and server certificates;
# ca-certificates holds the system's authorities that one-click leaving trusts.
# libetpan reads IMAP mailboxes, GnuTLS checks their servers' certificates; libsecret finds their passwords in the
# desktop's keyring (libsecret-tools' secret-tool puts them there); Dovecot is
# the real IMAP server the mailbox test starts on loopback.
# gnome-keyring is the real Secret Service of the keyring test, on a private
# bus of dbus-daemon's; gdbus (libglib2.0-bin) waits for it to be there.
# pxlib reads the old Windows program's Paradox tables for their import.
# lintian, appstream (appstreamcli) and man-db judge the package the way a
# distribution does: its contents, its software-centre entry, its manual pages.
QUIL_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-translations-l10n fonts-ipafont
    libsqlite3-dev sqlite3
    libgtest-dev libgmock-dev libbenchmark-dev
    libgmime-3.0-dev libfontconfig-dev libx11-dev
    xvfb xauth xdotool x11-utils x11-xserver-utils imagemagick
    clang libclang-rt-14-dev
    chromium chromium-driver python3-selenium
    dpkg-dev desktop-file-utils
    locales
    openssl ca-certificates
    libetpan-dev libgnutls28-dev libsecret-1-dev libsecret-tools dovecot-imapd
    gnome-keyring dbus-daemon libglib2.0-bin
    pxlib-dev
    lintian appstream man-db
)

quil_missing_packages() {
    local p
    for p in "${QUIL_PACKAGES[@]}"; do
        if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
            printf '%s\n' "$p"
        fi
    done
}

quil_setup() {
    local missing
    mapfile -t missing < <(quil_missing_packages)
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if ((EUID != 0)); then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "error: these packages are missing and I am not root: ${missing[*]}" >&2
            return 1
        fi
    fi
    # Dovecot is only the mailbox test's server, which the test starts on
    # loopback itself: the system's own service is kept from starting when
    # it is installed here, and left disabled.
    local new_dovecot=0 policy=/usr/sbin/policy-rc.d own_policy=0
    if [[ " ${missing[*]} " == *" dovecot-imapd "* ]]; then
        new_dovecot=1
        if [[ ! -e $policy ]]; then
            printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
            "${sudo[@]}" chmod 755 "$policy"
            own_policy=1
        fi
    fi
    "${sudo[@]}" apt-get update
    local rc=0
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" || rc=$?
    if ((own_policy)); then
        "${sudo[@]}" rm -f "$policy"
    fi
    if ((new_dovecot)) && [[ -d /run/systemd/system ]]; then
        "${sudo[@]}" systemctl disable --now dovecot.service dovecot.socket >/dev/null 2>&1 || true
    fi
    ((rc == 0)) || return "$rc"
    mapfile -t missing < <(quil_missing_packages)
    if ((${#missing[@]} != 0)); then
        echo "error: still missing after installation: ${missing[*]}" >&2
        return 1
    fi
}

# Configures build directory $1 with Ninja; further arguments go to cmake.
quil_configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@"
}
