#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""quillet-cli import-paradox over tables that pxlib's writer made.

Each case runs the real program in fresh data, settings and working folders,
and reads the register back with `list --format json` and the
publishing-system table with Python's sqlite3.

usage: test_import_paradox.py path/to/paradox_fixture path/to/quillet-cli [unittest arguments]
"""

import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest

FIXTURE = None
CLI = None
RUN_WAIT = 60

LONG_NAME = "あ" * 127 + "Z"
COLUMNS = ["発行媒体", "メールマガジン名", "マガジンＩＤ", "データタイプ", "発行周期",
           "関連Ｗｅｂページ", "発行者メールアドレス", "登録アドレス", "登録日時",
           "ＩＰアドレス", "有料／無料の区別", "説明", "削除状態"]
SAMPLE = [
    ["まぐまぐ", "ＡＢＣ通信～第①号", "123456", "テキスト", "週刊", "http://www.example.jp/abc/",
     "editor@example.jp", "reader@example.jp", "2003/04/05 12:34:56", "192.168.10.20", "無料",
     "毎週の話題を①から⑩まで", "購読中"],
    ["melma", LONG_NAME, "", "ＨＴＭＬ", "", "", "", "reader@example.jp", "2004/01/02", "", "有料", "", "解除"],
    ["独自システム", "Ｗｅｂ便り", "0", "", "不定期", "", "", "", "", "10.0.0.1", "", "", "解除候補"],
]


class ImportParadox(unittest.TestCase):

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="quillet-paradox-")
        self.root = self._tmp.name
        self.data = os.path.join(self.root, "data")
        self.cwd = os.path.join(self.root, "cwd")
        self.tables = os.path.join(self.root, "old")
        for d in (self.data, os.path.join(self.root, "config"), self.cwd):
            os.mkdir(d)
        subprocess.run([FIXTURE, self.tables], check=True, timeout=RUN_WAIT)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANGUAGE", "LOCPATH")}
        self.env.update({"XDG_DATA_HOME": self.data, "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
                         "LANG": "C.UTF-8"})

    def tearDown(self):
        self._tmp.cleanup()

    def run_cli(self, *args, env=None):
        return subprocess.run([CLI, *args], cwd=self.cwd, env=env or self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=RUN_WAIT)

    def old(self, name):
        return os.path.join(self.tables, name)

    def records(self):
        r = self.run_cli("list", "--format", "json")
        self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
        return [[row[c] for c in COLUMNS] for row in json.loads(r.stdout.decode("utf-8"))]

    def systems(self):
        db = sqlite3.connect(os.path.join(self.data, "quillet", "MMagaSys.DB"))
        try:
            return db.execute('SELECT "発行システムＩＤ", "発行システム名", "解除ページ", "マガジンＩＤの付加", '
                              '"会員ＩＤとパスワード有無", "パスワード" FROM MMagaSys').fetchall()
        finally:
            db.close()

    def test_both_tables_come_back_record_for_record_whatever_their_names(self):
        # Names that say nothing: the columns tell which table is which.
        shutil.copy(self.old("MMagaSys.DB"), os.path.join(self.cwd, "a.db"))
        shutil.copy(self.old("MMagaInfo.DB"), os.path.join(self.cwd, "b.DB"))
        r = self.run_cli("import-paradox", "a.db", "b.DB")
        self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
        self.assertEqual(r.stdout.decode("utf-8"),
                         "計 2 行の発行システムを追加しました（1 行は既にあるため変更していません）。\n"
                         "計 3 行のデータを書きこみました。\n")
        self.assertEqual(r.stderr, b"")
        self.assertEqual(self.records(), SAMPLE)
        systems = self.systems()
        self.assertEqual(systems[-2:], [(11, "ＡＢＣメール～", "http://abc.example.jp/cancel?id=①", 1, 0, None),
                                        (12, "会員制配信", "http://member.example.jp/", 0, 1, "ｐａｓｓ～①")])
        magmag = [row for row in systems if row[1] == "まぐまぐ"]
        self.assertEqual(magmag, [(1, "まぐまぐ", None, 0, 0, None)], "the built-in row stays ours")

        again = self.run_cli("import-paradox", "a.db")
        self.assertEqual(again.stdout.decode("utf-8"),
                         "計 0 行の発行システムを追加しました（3 行は既にあるため変更していません）。\n")
        self.assertEqual(self.systems(), systems)

    def test_many_records_in_order(self):
        r = self.run_cli("import-paradox", self.old("many.DB"), self.old("empty.DB"))
        self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
        self.assertEqual(r.stdout.decode("utf-8"), "計 60 行のデータを書きこみました。\n計 0 行のデータを書きこみました。\n")
        self.assertEqual([row[1] for row in self.records()], [f"第{i}号" for i in range(1, 61)])

    def test_a_column_missing_stores_nothing_and_names_the_column(self):
        for env, text in ((self.env, "has no column 説明"),
                          (dict(self.env, LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8"), "には列「説明」がありません")):
            r = self.run_cli("import-paradox", self.old("missing.DB"), env=env)
            self.assertEqual(r.returncode, 1)
            self.assertEqual(r.stdout, b"")
            self.assertEqual(r.stderr.decode("utf-8"), f"quillet-cli: {'file' if env is self.env else 'ファイル'} "
                             f"{self.old('missing.DB')} {text}\n")
        self.assertEqual(self.records(), [])

    def test_every_file_is_checked_before_any_is_imported(self):
        with open(self.old("MMagaInfo.DB"), "rb") as f:
            whole = f.read()
        cut = os.path.join(self.cwd, "cut.DB")
        with open(cut, "wb") as f:
            f.write(whole[:-100])
        r = self.run_cli("import-paradox", self.old("MMagaSys.DB"), cut)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout, b"")
        err = r.stderr.decode("utf-8")
        self.assertIn(f"file {cut} is a damaged Paradox table: the file's {len(whole) - 100} bytes are short of", err)
        self.assertFalse(os.path.exists(os.path.join(self.data, "quillet")), "the register was not even opened")

        lie = bytearray(whole)
        lie[6:10] = (4).to_bytes(4, "little")  # one record more than the blocks hold
        with open(cut, "wb") as f:
            f.write(lie)
        r = self.run_cli("import-paradox", cut)
        self.assertEqual(r.returncode, 1)
        self.assertIn("the header's 4 records differ from the 3 records in its blocks", r.stderr.decode("utf-8"))

        not_a_table = self.run_cli("import-paradox", "/etc/hostname")
        self.assertEqual(not_a_table.returncode, 1)
        self.assertEqual(not_a_table.stderr.decode("utf-8"), "quillet-cli: file /etc/hostname is no Paradox table\n")
        # tiny.DB has 発行システムＩＤ and 発行システム名, so it is taken for the
        # systems' table, and the columns it lacks stop the run before the next file.
        tiny = self.run_cli("import-paradox", self.old("tiny.DB"), self.old("MMagaInfo.DB"))
        self.assertEqual(tiny.returncode, 1)
        self.assertEqual(tiny.stderr.decode("utf-8"),
                         f"quillet-cli: file {self.old('tiny.DB')} has no column 解除ページ\n")
        self.assertEqual(self.records(), [])

    def test_usage(self):
        r = self.run_cli("import-paradox")
        self.assertEqual(r.returncode, 2)
        self.assertIn("import-paradox: missing file name", r.stderr.decode("utf-8"))
        r = self.run_cli("--help")
        self.assertIn("import-paradox FILE.DB...", r.stdout.decode("utf-8"))


def main():
    global FIXTURE, CLI
    if len(sys.argv) < 3:
        print(__doc__)
        sys.exit(2)
    FIXTURE = os.path.abspath(sys.argv.pop(1))
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
