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
for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate lintian appstreamcli man lexgrog; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing; install dpkg-dev, desktop-file-utils, lintian, appstream and man-db (scripts/setup.sh lists them)"
done
[[ -f $build/CPackConfig.cmake ]] || fail "$build/CPackConfig.cmake is missing; configure the build first"

# Every source file names its licence in its first lines.
if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
    unlicensed=()
    while IFS= read -r f; do
        head -n 3 "$source/$f" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later' || unlicensed+=("$f")
    done < <(git -C "$source" ls-files -- '*.cpp' '*.h' '*.py' '*.sh' '*.cmake' '*CMakeLists.txt' 'scripts/*' '.ci/*')
    ((${#unlicensed[@]} == 0)) || fail "no SPDX line in: ${unlicensed[*]}"
fi
[[ -f $source/COPYING ]] || fail "COPYING is missing"

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
app_id=io.github.quillet.Quillet
has /usr/share/applications/$app_id.desktop
has /usr/share/metainfo/$app_id.metainfo.xml
has /usr/share/doc/quillet/copyright
has /usr/share/doc/quillet/changelog.gz
has /usr/share/doc-base/quillet
for page in quillet quillet-cli; do
    has /usr/share/man/man1/$page.1.gz
    has /usr/share/man/ja/man1/$page.1.gz
done
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
# The package's version is the one the about box shows.
version=$(dpkg-deb -f "$deb" Version)
grep -qF "\"Version $version\"" "$source/app/TAboutBox.cpp" || fail "package version $version is not the program's"
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
desktop=$tmp/root/usr/share/applications/$app_id.desktop
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

# The entry software centres list, on its own and with the desktop entry
# and icons it names. No network: nothing here may depend on it.
appstreamcli validate --strict --no-net "$tmp/root/usr/share/metainfo/$app_id.metainfo.xml" \
    || fail "appstreamcli rejects the metainfo"
appstreamcli validate-tree --strict --no-net "$tmp/root" >"$tmp/tree" 2>&1 || {
    cat "$tmp/tree" >&2
    fail "appstreamcli rejects the installed tree"
}

# Every manual page reads without a warning from man and groff, in both
# languages, and names its program for whatis.
for page in "$tmp"/root/usr/share/man/man1/*.1.gz "$tmp"/root/usr/share/man/ja/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man cannot show $page"
    [[ -z $warnings ]] || fail "man warns about ${page#"$tmp"/root}: $warnings"
    name=$(basename "$page" .1.gz)
    lexgrog "$page" | grep -qF "$name" || fail "${page#"$tmp"/root} has no NAME line for $name"
done

# The distribution's own judgement: no error and no warning.
lintian --fail-on error,warning "$deb" >"$tmp/lintian" 2>&1 || {
    cat "$tmp/lintian" >&2
    fail "lintian finds fault with the package"
}
cat "$tmp/lintian"

echo "package ok"
