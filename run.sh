#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Quillet and starts it. The program keeps
# its small files (MADDRESS.ini, Cancel.html, notices) in the folder it is
# started from, so it starts in the folder you called this script from.
set -euo pipefail
start_dir=$PWD
cd "$(dirname "$0")"
repo=$PWD
source scripts/setup.sh

quil_setup
quil_configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target quillet --parallel "$(nproc)"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "Quillet is built, but there is no display to show it on:" >&2
    echo "neither DISPLAY nor WAYLAND_DISPLAY is set. Start it from a desktop session," >&2
    echo "or under a virtual X server: xvfb-run ./run.sh" >&2
    exit 1
fi
cd "$start_dir"
exec "$repo/build/quillet"
