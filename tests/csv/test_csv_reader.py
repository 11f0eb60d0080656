#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The exported CSV file as another program reads it.

The fixture fills a register in fresh directories with values that need
quoting, exports all 13 columns and prints what the register holds. Python's
csv module, as a spreadsheet or a reader's own script would use it, must read
from the file exactly those values: the header, then one row per record in
stored order, a quote, a comma, blanks and a two-line description included.

usage: test_csv_reader.py path/to/csv_export_fixture
"""

import csv
import io
import json
import os
import subprocess
import sys
import tempfile

FIXTURE_WAIT = 60  # seconds

COLUMNS = ["発行媒体", "メールマガジン名", "マガジンＩＤ", "データタイプ", "発行周期",
           "関連Ｗｅｂページ", "発行者メールアドレス", "登録アドレス", "登録日時",
           "ＩＰアドレス", "有料／無料の区別", "説明", "削除状態"]


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def run_fixture(fixture, workdir):
    env = dict(os.environ)
    for name in ("data", "config", "cwd"):
        os.mkdir(os.path.join(workdir, name))
    env["XDG_DATA_HOME"] = os.path.join(workdir, "data")
    env["XDG_CONFIG_HOME"] = os.path.join(workdir, "config")
    cwd = os.path.join(workdir, "cwd")
    result = subprocess.run([fixture, "export.csv"], cwd=cwd, env=env, capture_output=True,
                            timeout=FIXTURE_WAIT)
    if result.returncode != 0:
        fail(f"fixture exited with {result.returncode}: {result.stderr.decode(errors='replace')}")
    expected = json.loads(result.stdout.decode("utf-8"))
    with open(os.path.join(cwd, "export.csv"), "rb") as f:
        data = f.read()
    return expected, data


def check_register_is_hard_enough(rows):
    """The comparison only means something if the register holds the hard cases."""
    values = [v for row in rows for v in row]
    wanted = {
        "a double quote": lambda v: '"' in v,
        "a comma": lambda v: "," in v,
        "a blank": lambda v: " " in v,
        "a two-line value": lambda v: "\r\n" in v.strip("\r\n"),
        "an empty value": lambda v: v == "",
        "a Shift_JIS second byte 0x5C": lambda v: "ソ" in v or "表" in v,
    }
    for what, test in wanted.items():
        if not any(test(v) for v in values):
            fail(f"the fixture's register holds no value with {what}")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        sys.exit(2)
    fixture = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="quillet-csv-") as workdir:
        expected, data = run_fixture(fixture, workdir)

    if expected["columns"] != COLUMNS:
        fail(f"the fixture exported other columns: {expected['columns']}")
    check_register_is_hard_enough(expected["rows"])

    if not data.endswith(b"\r\n"):
        fail("the last line does not end with CR LF")
    try:
        text = data.decode("cp932")
    except UnicodeDecodeError as error:
        fail(f"the file is not Shift_JIS (cp932): {error}")
    try:
        rows = list(csv.reader(io.StringIO(text, newline=""), strict=True))
    except csv.Error as error:
        fail(f"csv module refuses the file: {error}")

    if not rows:
        fail("the file holds no rows")
    if rows[0] != COLUMNS:
        fail(f"header reads as {rows[0]!r}")
    body = rows[1:]
    if len(body) != len(expected["rows"]):
        fail(f"{len(body)} rows read, the register holds {len(expected['rows'])}")
    failures = 0
    for i, (got, want) in enumerate(zip(body, expected["rows"])):
        if len(got) != len(COLUMNS):
            print(f"FAIL: row {i + 1} has {len(got)} values: {got!r}")
            failures += 1
            continue
        for name, g, w in zip(COLUMNS, got, want):
            if g != w:
                print(f"FAIL: row {i + 1}, {name}: read {g!r}, the register holds {w!r}")
                failures += 1
    if failures:
        sys.exit(1)
    print(f"ok: {len(body)} records, {len(COLUMNS)} columns read back by the csv module")


if __name__ == "__main__":
    main()
