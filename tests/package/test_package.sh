#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a build folder, as `cpack -G DEB` there does,
# and checks what it holds and what it declares.
# Usage: test_package.sh CPACK BUILD_DIR SOURCE_DIR
set -euo pipefail

cpack=${1:?cpack command}
build=${2:?build folder}
source=${3:?source folder}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Without these tools nothing here can be checked; that is a failure, not a pass.
[[ -x $cpack ]] || fail "cpack is missing ($cpack)"
for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing; install dpkg-dev and desktop-file-utils (scripts/setup.sh lists them)"
done
[[ -f $build/CPackConfig.cmake ]] || fail "$build/CPackConfig.cmake is missing; configure the build first"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! "$cpack" -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log" >&2
    fail "cpack -G DEB failed"
fi
shopt -s nullglob
debs=("$tmp"/out/quillet_*.deb)
((${#debs[@]} == 1)) || { cat "$tmp/cpack.log" >&2; fail "expected one quillet_*.deb, found ${#debs[@]}"; }
deb=${debs[0]}
echo "built $(basename "$deb")"

# The packed paths, "./usr/bin/quillet" becoming "/usr/bin/quillet".
dpkg-deb -c "$deb" | sed -E 's/^([^ ]+ +){5}\.//; s/ -> .*$//' >"$tmp/files"
has() { grep -qxF "$1" "$tmp/files" || fail "$1 is not in the package"; }

has /usr/bin/quillet
has /usr/bin/quillet-cli
has /usr/share/applications/quillet.desktop
for size in 16 24 32 48 64 128 256; do
    has "/usr/share/icons/hicolor/${size}x${size}/apps/quillet.png"
done
has /usr/share/icons/hicolor/scalable/apps/quillet.svg
has /usr/share/doc/quillet/README.md
has /usr/share/doc/quillet/Manual/QUIL.html
has /usr/lib/systemd/user/quillet-import-mail.service
has /usr/lib/systemd/user/quillet-import-mail.timer
# The manual goes as a folder: whatever lies beside QUIL.html goes with it.
while IFS= read -r f; do
    has "/usr/share/doc/quillet/Manual/${f#"$source"/docs/Manual/}"
done < <(find "$source/docs/Manual" -type f)

# The two programs and nothing else that the build makes.
bins=$(grep -E '^/usr/bin/.' "$tmp/files" | sort | tr '\n' ' ')
[[ $bins == "/usr/bin/quillet /usr/bin/quillet-cli " ]] || fail "unexpected programs in /usr/bin: $bins"
if grep -vE '^/usr/lib/(systemd/(user/.*)?)?$' "$tmp/files" | grep -E '\.(a|o|so)$|/lib/|/include/|test_|bench|fixture' >"$tmp/stray"; then
    cat "$tmp/stray" >&2
    fail "libraries, tests or benchmarks are packed"
fi

[[ $(dpkg-deb -f "$deb" Package) == quillet ]] || fail "the package is not named quillet"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in libqt6widgets6 libsqlite3-0 libgmime-3.0 pxlib1 fonts-ipafont qt6-translations-l10n; do
    # A package name at the start of an entry: "name", "name (>= x)" or "name-0 (...)".
    tr ',' '\n' <<<"$depends" | sed 's/^ *//' | grep -q "^${dep//./\\.}" || fail "Depends lacks $dep"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -qw xdg-utils <<<"$recommends" || fail "Recommends lacks xdg-utils (has: $recommends)"
[[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || fail "no Maintainer"
[[ -n $(dpkg-deb -f "$deb" Section) ]] || fail "no Section"

# The installed desktop entry is valid and starts the installed program with its icon.
dpkg-deb -x "$deb" "$tmp/root"
desktop=$tmp/root/usr/share/applications/quillet.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the installed desktop entry"
grep -qx 'Exec=quillet' "$desktop" || fail "the desktop entry does not start quillet"
grep -qx 'Icon=quillet' "$desktop" || fail "the desktop entry does not name the quillet icon"

# The hourly import's units are valid as systemd reads them, and not enabled.
if command -v systemd-analyze >/dev/null 2>&1; then
    units=$tmp/root/usr/lib/systemd/user
    sed -i "s|/usr/bin/quillet-cli|$tmp/root/usr/bin/quillet-cli|" "$units/quillet-import-mail.service"
    mkdir -m 700 "$tmp/runtime"
    # It exits 0 on a key it ignores: anything it says about the units fails.
    XDG_RUNTIME_DIR=$tmp/runtime systemd-analyze verify --user "$units/quillet-import-mail.service" \
        "$units/quillet-import-mail.timer" >"$tmp/verify" 2>&1 || fail "systemd-analyze fails: $(cat "$tmp/verify")"
    if grep -F "$units" "$tmp/verify"; then
        fail "systemd-analyze finds fault with the import units"
    fi
fi
if grep -E '^/etc/systemd/' "$tmp/files"; then
    fail "the import timer is enabled by the package"
fi

echo "package ok"
