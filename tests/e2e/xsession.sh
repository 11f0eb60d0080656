# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the end-to-end test and the screenshot script: a private X server,
# fresh data folders and the real program, driven with xdotool.
# Source it; it defines functions only.

xs_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

xs_require_tools() {
    local tool
    for tool in Xvfb xdotool "$@"; do
        command -v "$tool" >/dev/null 2>&1 || xs_fail "'$tool' is not installed (Debian: xvfb, xdotool, imagemagick, sqlite3)"
    done
}

# Polls a command until it succeeds; at most $1 tries, 0.1 s apart.
xs_wait_for() {
    local tries=$1
    shift
    local i
    for ((i = 0; i < tries; i++)); do
        if "$@"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Starts Xvfb on a free display and exports DISPLAY.
xs_start_x() {
    XS_TMP=$(mktemp -d)
    local fifo="$XS_TMP/displayfd"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >"$XS_TMP/xvfb.log" 2>&1 &
    XS_XVFB_PID=$!
    local number
    read -r -t 20 number <"$fifo" || xs_fail "Xvfb did not start (see $XS_TMP/xvfb.log)"
    export DISPLAY=":$number"
}

# Fresh XDG folders and current folder; starts the program there.
xs_start_program() {
    local binary=$1
    mkdir -p "$XS_TMP/data" "$XS_TMP/config" "$XS_TMP/cwd"
    export XDG_DATA_HOME="$XS_TMP/data" XDG_CONFIG_HOME="$XS_TMP/config" XDG_RUNTIME_DIR="$XS_TMP"
    (cd "$XS_TMP/cwd" && QT_QPA_PLATFORM=xcb exec "$binary" >"$XS_TMP/quillet.log" 2>&1) &
    XS_APP_PID=$!
}

xs_cleanup() {
    if [[ -n "${XS_APP_PID:-}" ]] && kill -0 "$XS_APP_PID" 2>/dev/null; then
        kill "$XS_APP_PID" 2>/dev/null || true
        wait "$XS_APP_PID" 2>/dev/null || true
    fi
    if [[ -n "${XS_XVFB_PID:-}" ]]; then
        kill "$XS_XVFB_PID" 2>/dev/null || true
        wait "$XS_XVFB_PID" 2>/dev/null || true
    fi
    [[ -n "${XS_TMP:-}" && -z "${XS_KEEP:-}" ]] && rm -rf "$XS_TMP"
    return 0
}

# The id of the visible window whose title is exactly $1, or nothing.
xs_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1
}

xs_has_window() {
    [[ -n "$(xs_window "$1")" ]]
}

# Waits (bounded) for the window titled $1 and prints its id.
xs_await_window() {
    xs_wait_for "${2:-200}" xs_has_window "$1" || xs_fail "no window titled '$1' appeared (log: $(cat "$XS_TMP/quillet.log" 2>/dev/null))"
    xs_window "$1"
}

# Gives the window the keyboard and presses keys there.
xs_keys() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    xdotool key --clearmodifiers "$@"
}

xs_program_running() {
    kill -0 "$XS_APP_PID" 2>/dev/null
}

xs_program_ended() {
    ! xs_program_running
}

xs_width() {
    xwininfo -id "$1" 2>/dev/null | awk '/Width:/ {print $2}'
}

# Waits for the main window (titled "Quillet", 662 wide) and prints its id.
# Error boxes share the caption; each one met on the way is reported on
# stderr and dismissed with Return, as a reader would.
xs_await_main_window() {
    local i w
    for ((i = 0; i < 300; i++)); do
        for w in $(xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null); do
            if [[ "$(xs_width "$w")" == 662 ]]; then
                # An error box may still stand over it.
                if [[ $(xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null | wc -l) -eq 1 ]]; then
                    echo "$w"
                    return 0
                fi
            else
                echo "note: an error box captioned Quillet was shown at start-up; dismissed" >&2
                xs_keys "$w" Return
            fi
        done
        sleep 0.1
    done
    xs_fail "the main window did not appear (log: $(cat "$XS_TMP/quillet.log" 2>/dev/null))"
}
