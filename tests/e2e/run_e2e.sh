#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program under a private X server with fresh folders: answer the
# first-start question, find the main window, close it, check what it left.
set -euo pipefail
binary=${1:?usage: run_e2e.sh path/to/quillet}
[[ -x "$binary" ]] || { echo "FAIL: $binary is not an executable" >&2; exit 1; }
binary=$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=xsession.sh
source "$here/xsession.sh"

xs_require_tools sqlite3
trap xs_cleanup EXIT
xs_start_x
xs_start_program "$binary"

question=$(xs_await_window "新しいバージョンのインストール")
xs_keys "$question" Return
main=$(xs_await_main_window)
echo "main window: $main"

# "終了(&Q)" on the menu bar.
xs_keys "$main" alt+q
xs_wait_for 100 xs_program_ended || xs_fail "the program did not end after 終了(&Q)"
status=0
wait "$XS_APP_PID" || status=$?
XS_APP_PID=
[[ $status -eq 0 ]] || xs_fail "exit code $status (log: $(cat "$XS_TMP/quillet.log"))"

data="$XDG_DATA_HOME/quillet"
for db in MMagaInfo.DB MMagaSys.DB; do
    [[ -f "$data/$db" ]] || xs_fail "$db was not created"
    tables=$(sqlite3 "$data/$db" "SELECT count(*) FROM sqlite_master WHERE type='table'")
    [[ $tables -ge 1 ]] || xs_fail "$db holds no table"
done
systems=$(sqlite3 "$data/MMagaSys.DB" "SELECT name FROM sqlite_master WHERE type='table' LIMIT 1")
rows=$(sqlite3 -separator '|' "$data/MMagaSys.DB" \
    "SELECT \"発行システムＩＤ\", \"発行システム名\" FROM \"$systems\" ORDER BY \"発行システムＩＤ\"")
expected=$'1|まぐまぐ\n2|Pubzine\n3|melma\n4|独自システム\n5|メーリングリスト'
[[ "$rows" == "$expected" ]] || xs_fail "built-in publishing systems: got '$rows'"
magazines=$(sqlite3 "$data/MMagaInfo.DB" "SELECT name FROM sqlite_master WHERE type='table' LIMIT 1")
sqlite3 "$data/MMagaInfo.DB" "SELECT \"発行媒体\", \"削除状態\" FROM \"$magazines\" LIMIT 0" >/dev/null ||
    xs_fail "the magazine table lacks its columns"

registry="$XDG_CONFIG_HOME/quillet/registry.reg"
[[ -f "$registry" ]] || xs_fail "no settings file"
grep -qF '"InstallVer"="4.00"' "$registry" || xs_fail "InstallVer is not 4.00: $(cat "$registry")"

echo "PASS: start-up, first-start question, main window, exit and stored state"
