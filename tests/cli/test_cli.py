#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""quillet-cli as a user and a mail system run it.

Every case runs the real program in fresh data, settings and working folders
and looks at what it prints, its exit status and what the register holds
afterwards (read back with `list --format json`, and the publishing-system
table with Python's sqlite3).

usage: test_cli.py path/to/quillet-cli [unittest arguments]
"""

import email.charset
import email.mime.application
import email.mime.multipart
import email.mime.text
import email.utils
import fcntl
import json
import mailbox
import os
import pty
import resource
import select
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import unittest

CLI = None
RUN_WAIT = 60  # seconds for one run of the program
_LOCALES = None  # folder of the locales the tests made, for LOCPATH

COLUMNS = ["発行媒体", "メールマガジン名", "マガジンＩＤ", "データタイプ", "発行周期",
           "関連Ｗｅｂページ", "発行者メールアドレス", "登録アドレス", "登録日時",
           "ＩＰアドレス", "有料／無料の区別", "説明", "削除状態"]


# --- confirmation mails, as text ------------------------------------------------

def magmag_mail(name="週刊ニュース速報", mag_id="123456", address="reader@example.com"):
    return "\r\n".join([
        "●登録メールマガジン:", name,
        "●マガジンID:", mag_id,
        "●データタイプ:", "テキスト",
        "●発行周期:", "週刊",
        "●関連Webページ:", "http://www.example.jp/news/",
        "●発行者メールアドレス:", "editor@example.jp",
        "●登録アドレス:", address,
        "●登録日時:", "2003/04/05 12:34:56",
        "●IPアドレス:", "192.168.10.20",
    ]) + "\r\n"


def magmag_record(name="週刊ニュース速報", mag_id="123456", address="reader@example.com"):
    return {
        "発行媒体": "まぐまぐ", "メールマガジン名": name, "マガジンＩＤ": mag_id,
        "データタイプ": "テキスト", "発行周期": "週刊",
        "関連Ｗｅｂページ": "http://www.example.jp/news/",
        "発行者メールアドレス": "editor@example.jp", "登録アドレス": address,
        "登録日時": "2003/04/05 12:34:56", "ＩＰアドレス": "192.168.10.20",
        "有料／無料の区別": "", "説明": "", "削除状態": "購読中",
    }


def melma_mail():
    return "\r\n".join([
        "★マガジンID：", "m00098765",
        "★マガジン名：", "メルマ通信",
        "★データタイプ：", "テキスト",
        "★発行周期：", "不定期",
        "★有料／無料の区別：", "無料",
        "★発行者メールアドレス：", "pub@example.ne.jp",
        "★関連Webページ：", "http://www.example.ne.jp/",
        "★説明：", "一行目", "二行目",
        "★登録アドレス：", "reader@example.com",
        "★IPアドレス：", "10.0.0.1",
    ]) + "\r\n"


MELMA_RECORD = {
    "発行媒体": "melma", "メールマガジン名": "メルマ通信", "マガジンＩＤ": "98765",
    "データタイプ": "テキスト", "発行周期": "不定期", "関連Ｗｅｂページ": "http://www.example.ne.jp/",
    "発行者メールアドレス": "pub@example.ne.jp", "登録アドレス": "reader@example.com",
    "登録日時": "", "ＩＰアドレス": "10.0.0.1", "有料／無料の区別": "無料",
    "説明": "一行目\r\n二行目\r\n", "削除状態": "購読中",
}


def pubzine_mail():
    return "メールマガジンID  12345\r\nメールマガジン名\r\n：パブジン通信\r\n"


def kav_block(system="ClickBox", mag_id="777"):
    return "\r\n".join([
        "[KAV-PBL]",
        "▼発行システム：", system,
        "▼マガジンID：", mag_id,
        "▼マガジン名：", "独自配信",
        "▼データタイプ：", "HTML",
        "▼発行周期：", "日刊",
        "▼有料/無料の区別：", "有料",
        "▼管理者アドレス：", "admin@example.org",
        "▼関連Webページ：", "http://example.org/",
        "▼説明：", "説明",
        "▼登録アドレス：", "reader@example.com",
        "▼登録日時：", "2004/01/02 3:04:05",
        "▼登録に利用されたIPアドレス：", "172.16.0.9",
        "[/KAV-PBL]",
    ]) + "\r\n"


def sjis(text):
    return text.encode("cp932")


def record(**values):
    """A record with the given columns set and the others empty. Pass names with
    full-width letters as a dict: Python folds them in keyword names."""
    out = {c: "" for c in COLUMNS}
    assert set(values) <= set(COLUMNS), values
    out.update(values)
    return out


# --- mail files --------------------------------------------------------------

def message(body, charset, subject="登録のお知らせ"):
    """A message as a mail program keeps it; the body encoded as the charset wants
    (UTF-8: base64; ISO-2022-JP: 7bit)."""
    msg = email.mime.text.MIMEText(body.replace("\r\n", "\n"), "plain", charset)
    msg["From"] = "info@mag2.com"
    msg["To"] = "reader@example.com"
    msg["Subject"] = email.charset.Charset("utf-8").header_encode(subject)
    msg["Date"] = email.utils.formatdate(0)
    msg["Message-ID"] = email.utils.make_msgid()
    return msg


def message_bytes(body, charset):
    return message(body, charset).as_bytes()


def made_locales():
    """A folder with ja_JP.UTF-8 and ja_JP.eucJP, made once with the C library's
    localedef (Debian's locales package, which scripts/setup.sh installs), so that
    the tests need no locale installed on the machine."""
    global _LOCALES
    if _LOCALES is None:
        folder = tempfile.mkdtemp(prefix="quillet-cli-locales-")
        for name, charmap in (("ja_JP.UTF-8", "UTF-8"), ("ja_JP.eucJP", "EUC-JP")):
            r = subprocess.run(["localedef", "-i", "ja_JP", "-f", charmap, os.path.join(folder, name)],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            # localedef also ends with 1 for mere warnings; what counts is the locale it made.
            if not os.path.exists(os.path.join(folder, name, "LC_CTYPE")):
                raise AssertionError(f"cannot make the {name} locale (is Debian's locales package installed?): "
                                     + r.stdout.decode(errors="replace"))
        _LOCALES = folder
    return _LOCALES


class CliTest(unittest.TestCase):
    """Each case has its own data, settings and working folders."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="quillet-cli-")
        self.root = self._tmp.name
        self.data = os.path.join(self.root, "data")
        self.cwd = os.path.join(self.root, "cwd")
        for d in (self.data, os.path.join(self.root, "config"), self.cwd):
            os.mkdir(d)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANGUAGE", "LOCPATH")}
        self.env.update({
            "XDG_DATA_HOME": self.data,
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "LANG": "C.UTF-8",
        })

    def tearDown(self):
        self._tmp.cleanup()

    # helpers

    def japanese(self, lang="ja_JP.UTF-8"):
        """The environment in a Japanese locale the C library has."""
        return dict(self.env, LANG=lang, LOCPATH=made_locales())

    def run_cli(self, *args, stdin=b"", env=None, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=RUN_WAIT,
                **popen):
        return subprocess.run([CLI, *args], input=stdin, cwd=self.cwd, env=env or self.env,
                              stdout=stdout, stderr=stderr, timeout=timeout, **popen)

    def fresh_register(self):
        """From here on the commands work on a new, empty register."""
        self.data = tempfile.mkdtemp(prefix="data-", dir=self.root)
        self.env["XDG_DATA_HOME"] = self.data

    def ok(self, *args, stdin=b""):
        r = self.run_cli(*args, stdin=stdin)
        self.assertEqual(r.returncode, 0, f"{args}: {r.stderr.decode(errors='replace')}")
        return r.stdout.decode("utf-8")

    def records(self):
        out = self.ok("list", "--format", "json")
        rows = json.loads(out)
        for row in rows:
            keys = [k for k in row.keys() if k != "unsubscribe"]
            self.assertEqual(keys, COLUMNS, "columns in stored order")
        return rows

    def systems(self):
        db = sqlite3.connect(os.path.join(self.data, "quillet", "MMagaSys.DB"))
        try:
            return {name: sid for sid, name in db.execute('SELECT "発行システムＩＤ", "発行システム名" FROM MMagaSys')}
        finally:
            db.close()

    def write(self, name, data):
        path = os.path.join(self.cwd, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def magazine_table(self):
        return os.path.join(self.data, "quillet", "MMagaInfo.DB")


def list_message(list_id, name, subject, date, to="reader@example.jp", one_click=True, sender="editor@news.example"):
    """A newsletter as large senders send it: List-Id, List-Unsubscribe with a page
    and a mail address, the one-click header, and the receiving server's verdict
    on a signature that covers both list headers."""
    msg = email.mime.text.MIMEText("今週のお知らせです。\n", "plain", "utf-8")
    msg["From"] = email.utils.formataddr((name + "編集部", sender))
    msg["To"] = to
    msg["Subject"] = email.charset.Charset("utf-8").header_encode(subject)
    msg["Date"] = date
    msg["Message-ID"] = email.utils.make_msgid()
    domain = sender.split("@")[1]
    msg["List-Id"] = email.charset.Charset("utf-8").header_encode(name) + f" <{list_id}>"
    msg["List-Unsubscribe"] = f"<https://{domain}/leave?l={list_id}>, <mailto:leave@{domain}?subject=leave>"
    if one_click:
        msg["List-Unsubscribe-Post"] = "List-Unsubscribe=One-Click"
    msg["DKIM-Signature"] = (f"v=1; a=rsa-sha256; d={domain}; s=s1; "
                             "h=from:to:subject:date:list-unsubscribe:list-unsubscribe-post; b=AAAA")
    body = msg.as_bytes()
    return f"Authentication-Results: mx.example.jp; dkim=pass header.d={domain}\n".encode() + body


class ImportMailPlainText(CliTest):
    """Text that is no mail is taken as Shift_JIS, as a dropped text file is."""

    def test_standard_input_registers_a_magmag_mail(self):
        out = self.ok("import-mail", stdin=sjis("挨拶の行\r\n" + magmag_mail() + "署名\r\n"))
        self.assertEqual(out, "1件が登録されました\n")
        self.assertEqual(self.records(), [magmag_record()])

    def test_every_layout_in_one_text_and_a_new_publishing_system(self):
        text = magmag_mail() + "\r\n" + pubzine_mail() + "\r\n" + melma_mail() + "\r\n" + kav_block()
        out = self.ok("import-mail", "-", stdin=sjis(text))
        self.assertEqual(out, "4件が登録されました\n")
        rows = self.records()
        self.assertEqual(rows[0], magmag_record())
        self.assertEqual(rows[1], record(**{"発行媒体": "Pubzine", "メールマガジン名": "パブジン通信",
                                            "マガジンＩＤ": "12345", "削除状態": "購読中"}))
        self.assertEqual(rows[2], MELMA_RECORD)
        self.assertEqual(rows[3], record(**{
            "発行媒体": "ClickBox", "メールマガジン名": "独自配信", "マガジンＩＤ": "777",
            "データタイプ": "HTML", "発行周期": "日刊", "有料／無料の区別": "有料",
            "発行者メールアドレス": "admin@example.org", "関連Ｗｅｂページ": "http://example.org/",
            "説明": "説明", "登録アドレス": "reader@example.com", "登録日時": "2004/01/02 3:04:05",
            "ＩＰアドレス": "172.16.0.9"}))
        self.assertEqual(self.systems().get("ClickBox"), 11, "a new system row numbered after the locked ones")

    def test_each_file_is_its_own_paste(self):
        # The second mail starts right where the first one's last consumed line
        # would leave it: pasted together it would not be recognised, as
        # separate files it is.
        first = self.write("a.txt", sjis(magmag_mail(name="一号")))
        second = self.write("b.txt", sjis(magmag_mail(name="二号", mag_id="654321")))
        out = self.ok("import-mail", first, second)
        self.assertEqual(out, "2件が登録されました\n")
        self.assertEqual([r["メールマガジン名"] for r in self.records()], ["一号", "二号"])

    def test_nothing_recognised_registers_nothing(self):
        out = self.ok("import-mail", stdin=sjis("こんにちは\r\nただの手紙です。\r\n"))
        self.assertEqual(out, "0件が登録されました\n")
        self.assertEqual(self.records(), [])


class ImportMailMessages(CliTest):
    """Message files, mboxes and Maildirs go through the mail reader."""

    def test_eml_in_utf8_base64(self):
        data = message_bytes(magmag_mail(), "utf-8")
        self.assertIn(b"Content-Transfer-Encoding: base64", data)
        path = self.write("confirm.eml", data)
        self.assertEqual(self.ok("import-mail", path), "1件が登録されました\n")
        self.assertEqual(self.records(), [magmag_record()])

    def test_eml_in_iso_2022_jp(self):
        data = message_bytes(melma_mail(), "iso-2022-jp")
        self.assertIn(b"\x1b$B", data, "the body is 7-bit JIS")
        path = self.write("melma.eml", data)
        self.assertEqual(self.ok("import-mail", path), "1件が登録されました\n")
        self.assertEqual(self.records(), [MELMA_RECORD])

    def test_message_on_standard_input(self):
        out = self.ok("import-mail", stdin=message_bytes(magmag_mail(), "utf-8"))
        self.assertEqual(out, "1件が登録されました\n")
        self.assertEqual(self.records(), [magmag_record()])

    def test_mbox_gives_each_message(self):
        path = os.path.join(self.cwd, "inbox.mbox")
        box = mailbox.mbox(path)
        box.add(message(magmag_mail(name="一号"), "utf-8"))
        box.add(message(magmag_mail(name="二号", mag_id="222"), "iso-2022-jp"))
        box.flush()
        box.close()
        self.assertEqual(self.ok("import-mail", path), "2件が登録されました\n")
        self.assertEqual([r["メールマガジン名"] for r in self.records()], ["一号", "二号"])

    def test_maildir_new_and_cur_but_not_tmp(self):
        md = os.path.join(self.cwd, "Maildir")
        self.write("Maildir/new/1000000001.M1P1.host", message_bytes(magmag_mail(name="新着"), "utf-8"))
        self.write("Maildir/cur/1000000002.M2P2.host:2,S",
                   message_bytes(magmag_mail(name="既読", mag_id="2"), "iso-2022-jp"))
        self.write("Maildir/tmp/1000000003.M3P3.host",
                   message_bytes(magmag_mail(name="配送中", mag_id="3"), "utf-8"))
        self.assertEqual(self.ok("import-mail", md), "2件が登録されました\n")
        self.assertEqual(sorted(r["メールマガジン名"] for r in self.records()), ["新着", "既読"])
        self.assertTrue(os.path.exists(os.path.join(md, "new", "1000000001.M1P1.host")),
                        "messages are read, not moved")

    def test_maildir_with_only_new_or_only_cur_is_read_whole(self):
        self.write("OnlyNew/new/1000000001.M1P1.host", message_bytes(magmag_mail(name="一号"), "utf-8"))
        self.write("OnlyNew/new/1000000002.M2P2.host", message_bytes(magmag_mail(name="二号", mag_id="2"), "utf-8"))
        self.write("OnlyCur/cur/1000000003.M3P3.host:2,S",
                   message_bytes(magmag_mail(name="三号", mag_id="3"), "iso-2022-jp"))
        out = self.ok("import-mail", os.path.join(self.cwd, "OnlyNew"), os.path.join(self.cwd, "OnlyCur"))
        self.assertEqual(out, "3件が登録されました\n")
        self.assertEqual([r["メールマガジン名"] for r in self.records()], ["一号", "二号", "三号"])

    def test_mbox_on_a_pipe_is_read_message_by_message(self):
        # 400 MB of mail, each message 1 MB with an attachment: what the
        # program holds stays near one message, not the whole stream.
        attachment = email.mime.application.MIMEApplication(os.urandom(750 * 1024))
        msg = email.mime.multipart.MIMEMultipart()
        msg["From"] = "info@mag2.com"
        msg["Subject"] = "ご登録"
        msg.attach(email.mime.text.MIMEText(magmag_mail().replace("\r\n", "\n"), "plain", "utf-8"))
        msg.attach(attachment)
        one = b"From info@mag2.com Sat Apr  5 12:34:56 2003\n" + msg.as_bytes() + b"\n"
        count = 400 * 1024 * 1024 // len(one)
        env = dict(self.env)
        # A sanitizer build would otherwise hold freed messages for a while.
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=8"
        proc = subprocess.Popen([CLI, "import-mail"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=self.cwd, env=env)
        batches = count // 16

        def feed():
            try:
                for _ in range(batches):
                    proc.stdin.write(one * 16)
            except BrokenPipeError:
                pass  # the program ended early; its status tells why
            finally:
                proc.stdin.close()

        writer = threading.Thread(target=feed)
        writer.start()
        watchdog = threading.Timer(RUN_WAIT, proc.kill)
        watchdog.start()
        # Its own peak memory; the program prints too little to fill a pipe.
        try:
            _, status, usage = os.wait4(proc.pid, 0)
        finally:
            watchdog.cancel()
        proc.returncode = os.waitstatus_to_exitcode(status)
        writer.join(RUN_WAIT)
        out, err = proc.stdout.read(), proc.stderr.read()
        proc.stdout.close()
        proc.stderr.close()
        self.assertEqual(proc.returncode, 0, err.decode(errors="replace"))
        self.assertEqual(out.decode(), f"{batches * 16}件が登録されました\n")
        self.assertLess(usage.ru_maxrss * 1024, 250 * 1024 * 1024, "peak memory")

    def test_message_as_a_mail_system_pipes_it(self):
        # procmail and maildrop hand a message over with the mbox envelope line first.
        data = b"From info@mag2.com Sat Apr  5 12:34:56 2003\n" + message_bytes(magmag_mail(), "utf-8")
        self.assertEqual(self.ok("import-mail", stdin=data), "1件が登録されました\n")
        self.assertEqual(self.records(), [magmag_record()])

    def test_undecodable_message_stops_the_import(self):
        good = self.write("1-good.eml", message_bytes(magmag_mail(), "utf-8"))
        bad = self.write("2-bad.eml", b"From: info@mag2.com\r\nSubject: odd\r\nMIME-Version: 1.0\r\n"
                                      b"Content-Type: text/plain; charset=x-no-such-charset\r\n"
                                      b"Content-Transfer-Encoding: 8bit\r\n\r\n" + sjis(melma_mail()))
        after = self.write("3-after.eml", message_bytes(melma_mail(), "utf-8"))
        r = self.run_cli("import-mail", good, bad, after)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout, b"")
        err = r.stderr.decode("utf-8")
        self.assertIn("2-bad.eml", err)
        self.assertIn("x-no-such-charset", err)
        self.assertEqual(self.records(), [magmag_record()], "earlier messages stay, later ones are not read")

    def test_failing_message_in_an_mbox_is_named(self):
        path = os.path.join(self.cwd, "inbox.mbox")
        box = mailbox.mbox(path)
        box.add(message(magmag_mail(), "utf-8"))
        box.add(message(kav_block(mag_id="12x"), "utf-8"))
        box.flush()
        box.close()
        for env, text in ((self.env, "'12x' is not a valid integer for column 'マガジンＩＤ'"),
                          (self.japanese(), "'12x' は項目 'マガジンＩＤ' に適した整数値ではありません")):
            r = self.run_cli("import-mail", path, env=env)
            self.assertEqual(r.returncode, 1)
            err = r.stderr.decode("utf-8")
            self.assertIn("inbox.mbox#2", err)
            self.assertIn(text, err)
        self.assertEqual(self.records()[0], magmag_record())


class ImportMailFailures(CliTest):

    def test_failure_stops_with_the_records_before_it_stored(self):
        good = self.write("good.txt", sjis(magmag_mail()))
        bad = self.write("bad.txt", sjis(kav_block(mag_id="12x")))
        after = self.write("after.txt", sjis(melma_mail()))
        r = self.run_cli("import-mail", good, bad, after)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout, b"", "no count for an import that failed")
        err = r.stderr.decode("utf-8")
        self.assertIn("bad.txt", err)
        self.assertIn("'12x' is not a valid integer for column 'マガジンＩＤ'", err)
        rows = self.records()
        self.assertEqual(rows[0], magmag_record())
        # Nothing of the failing message is registered, so that it can be
        # handed over again, and nothing after the failure is read.
        self.assertEqual(len(rows), 1)
        self.assertNotIn("melma", [row["発行媒体"] for row in rows])
        r = self.run_cli("import-mail", bad, env=self.japanese())
        self.assertEqual(r.returncode, 1)
        self.assertIn("'12x' は項目 'マガジンＩＤ' に適した整数値ではありません", r.stderr.decode("utf-8"))
        self.assertEqual(len(self.records()), 1)

    def test_missing_file_stores_nothing(self):
        good = self.write("good.txt", sjis(magmag_mail()))
        r = self.run_cli("import-mail", good, os.path.join(self.cwd, "missing.eml"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("missing.eml", r.stderr.decode("utf-8"))
        self.assertEqual(self.records(), [])

    def test_unreadable_part_of_a_maildir_is_an_error_naming_it(self):
        self.write("Maildir/new/1000000001.M1P1.host", message_bytes(magmag_mail(name="新着"), "utf-8"))
        self.write("Maildir/cur/1000000002.M2P2.host:2,S", message_bytes(magmag_mail(name="既読", mag_id="2"), "utf-8"))
        cur = os.path.join(self.cwd, "Maildir", "cur")
        as_user = {}
        if os.geteuid() == 0:
            # Permissions do not stop root: the program runs as nobody, who
            # owns the test's folders but may not read cur/.
            for folder, dirs, files in os.walk(self.root):
                for name in [folder] + [os.path.join(folder, n) for n in dirs + files]:
                    os.chown(name, 65534, 65534)
            as_user = {"user": 65534, "group": 65534, "extra_groups": []}
        os.chmod(cur, 0)
        try:
            r = self.run_cli("import-mail", os.path.join(self.cwd, "Maildir"), **as_user)
            self.assertEqual(r.returncode, 1)
            self.assertEqual(r.stdout, b"")
            self.assertIn(f"'{cur}'", r.stderr.decode("utf-8"))
        finally:
            os.chmod(cur, 0o755)
        self.assertEqual(self.records(), [], "new/ is not read alone")

    def test_fifo_and_devices_are_refused_before_the_tables_are_opened(self):
        good = self.write("good.txt", sjis(magmag_mail()))
        fifo = os.path.join(self.cwd, "pipe")
        os.mkfifo(fifo)
        self.ok("list")
        # Holding the register: had the tables been opened first, that would
        # be the error, and a FIFO without a writer would wait for ever.
        fd = os.open(self.magazine_table(), os.O_RDONLY)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            for bad in (fifo, "/dev/zero"):
                r = self.run_cli("import-mail", good, bad, timeout=20)
                self.assertEqual(r.returncode, 1, bad)
                err = r.stderr.decode("utf-8")
                self.assertIn(f"'{bad}' is neither a regular file nor a folder", err)
                self.assertNotIn(self.magazine_table(), err)
        finally:
            os.close(fd)
        self.assertEqual(self.records(), [])

    def test_endless_standard_input_ends_with_a_message(self):
        good = self.write("good.txt", sjis(magmag_mail()))
        limits = {}
        with open(CLI, "rb") as program:
            sanitized = b"__asan_init" in program.read()
        if not sanitized:
            # Without a bound the program would take all the memory there is.
            limits["preexec_fn"] = lambda: resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
        with open("/dev/zero", "rb") as zero:
            r = subprocess.run([CLI, "import-mail", good, "-"], stdin=zero, cwd=self.cwd, env=self.env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=RUN_WAIT, **limits)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.decode("utf-8"), "quillet-cli: 'standard input' is too large to read (over 64 MB)\n")
        self.assertEqual(self.records(), [magmag_record()], "what was stored before stays")
        with open("/dev/zero", "rb") as zero:
            r = subprocess.run([CLI, "import-mail"], stdin=zero, cwd=self.cwd, env=self.japanese(),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=RUN_WAIT, **limits)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.decode("utf-8"),
                         "quillet-cli: '標準入力' は大きすぎて読み込めません (64 MB を超えています)。\n")

    def test_message_past_the_limit_is_named_and_ends_the_import(self):
        path = os.path.join(self.cwd, "big.mbox")
        with open(path, "wb") as f:
            f.write(b"From info@mag2.com Sat Apr  5 12:34:56 2003\n" + message_bytes(magmag_mail(), "utf-8") + b"\n")
            big = message("x", "utf-8", subject="大きな添付")
            f.write(b"From info@mag2.com Sat Apr  5 12:34:57 2003\n" + big.as_bytes() + b"\n")
            f.write((b"x" * 75 + b"\n") * (65 * 1024 * 1024 // 76) + b"\n")
            f.write(b"From info@mag2.com Sat Apr  5 12:34:58 2003\n" + message_bytes(melma_mail(), "utf-8") + b"\n")
        for env, text in ((self.env, "the message is too large (over 64 MB)"),
                          (self.japanese(), "メールが大きすぎます (64 MB を超えています)")):
            r = self.run_cli("import-mail", path, env=env)
            self.assertEqual(r.returncode, 1)
            self.assertEqual(r.stderr.decode("utf-8"), f"quillet-cli: {path}#2 (大きな添付): {text}\n")
        self.assertEqual(self.records(), [magmag_record()] * 2, "the messages before it stay, none after it is read")

    def test_names_from_a_mail_are_cut_in_the_error(self):
        charset = "x" * 5000
        subject = "件" * 5000
        bad = self.write("bad.eml", b"From: info@mag2.com\r\nSubject: " + email.charset.Charset("utf-8").header_encode(
            subject).encode() + b"\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=" +
            charset.encode() + b"\r\n\r\nbody\r\n")
        for env, text in ((self.env, f"the message's charset \"{'x' * 64}…\" cannot be read"),
                          (self.japanese(), f"メールの文字コード「{'x' * 64}…」を読めません")):
            r = self.run_cli("import-mail", bad, env=env)
            self.assertEqual(r.returncode, 1)
            self.assertEqual(r.stderr.decode("utf-8"), f"quillet-cli: {bad} ({'件' * 64}…): {text}\n")

    def test_folder_that_is_no_maildir(self):
        os.mkdir(os.path.join(self.cwd, "plain"))
        r = self.run_cli("import-mail", os.path.join(self.cwd, "plain"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("plain", r.stderr.decode("utf-8"))
        self.assertIn("Maildir", r.stderr.decode("utf-8"))


class ListCommand(CliTest):

    def fill(self):
        # Values with a tab, a backslash and line breaks, set through a CSV file.
        csv_text = ('"メールマガジン名","説明","削除状態","マガジンＩＤ","登録日時"\r\n'
                    '"タブ\tと\\記号","一行目\r\n二行目","購読中","12","2003/04/05"\r\n'
                    '"二つ目","","解除","","2003/04/05 9:08:07"\r\n'
                    '"三つ目","","解除候補","3",""\r\n'
                    '"四つ目","","","4",""\r\n')
        path = self.write("fill.csv", sjis(csv_text))
        self.ok("import-csv", path)

    def test_json_holds_every_column_in_its_text_form(self):
        self.fill()
        rows = self.records()
        self.assertEqual(len(rows), 4)
        self.assertEqual(rows[0], record(**{"メールマガジン名": "タブ\tと\\記号", "説明": "一行目\r\n二行目",
                                            "削除状態": "購読中", "マガジンＩＤ": "12", "登録日時": "2003/04/05"}))
        self.assertEqual(rows[1]["登録日時"], "2003/04/05 9:08:07")
        self.assertEqual([r["メールマガジン名"] for r in rows], ["タブ\tと\\記号", "二つ目", "三つ目", "四つ目"])

    def test_tsv_escapes_tabs_line_breaks_and_backslashes(self):
        self.fill()
        out = self.ok("list")
        lines = out.split("\n")
        self.assertEqual(lines[-1], "", "every line ends with a line feed")
        lines = lines[:-1]
        self.assertEqual(lines[0], "\t".join(COLUMNS))
        self.assertEqual(len(lines), 5, "one line per record, whatever the values hold")
        first = lines[1].split("\t")
        self.assertEqual(len(first), 13)
        self.assertEqual(first[COLUMNS.index("メールマガジン名")], "タブ\\tと\\\\記号")
        self.assertEqual(first[COLUMNS.index("説明")], "一行目\\r\\n二行目")

        def unescape(v):
            out, i = [], 0
            while i < len(v):
                if v[i] == "\\":
                    out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[v[i + 1]])
                    i += 2
                else:
                    out.append(v[i])
                    i += 1
            return "".join(out)

        as_tsv = [dict(zip(COLUMNS, map(unescape, line.split("\t")))) for line in lines[1:]]
        self.assertEqual(as_tsv, self.records())

    def test_state_keeps_exact_matches_in_stored_order(self):
        self.fill()
        self.ok("import-mail", stdin=sjis(magmag_mail(name="後から")))
        subscribed = json.loads(self.ok("list", "--state", "購読中", "--format", "json"))
        self.assertEqual([r["メールマガジン名"] for r in subscribed], ["タブ\tと\\記号", "後から"])
        cancelled = json.loads(self.ok("list", "--format", "json", "--state=解除"))
        self.assertEqual([r["メールマガジン名"] for r in cancelled], ["二つ目"], "解除候補 is another state")
        empty = json.loads(self.ok("list", "--state", "", "--format", "json"))
        self.assertEqual([r["メールマガジン名"] for r in empty], ["四つ目"])
        tsv = self.ok("list", "--state", "解除候補").split("\n")
        self.assertEqual(len(tsv), 3)
        self.assertTrue(tsv[1].startswith("\t三つ目\t"))

    def test_empty_register(self):
        self.assertEqual(self.ok("list", "--format", "json").strip(), "[]")
        self.assertEqual(self.ok("list"), "\t".join(COLUMNS) + "\n")


class CsvCommands(CliTest):

    def test_export_then_import_into_a_fresh_register_gives_the_same_register(self):
        text = magmag_mail() + "\r\n" + pubzine_mail() + "\r\n" + melma_mail() + "\r\n" + kav_block()
        self.ok("import-mail", stdin=sjis(text))
        before = self.records()
        out = self.ok("export-csv", "all.csv")
        self.assertEqual(out, "計 4 件保存しました。\n")
        with open(os.path.join(self.cwd, "all.csv"), "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(sjis(",".join(f'"{c}"' for c in COLUMNS) + "\r\n")))

        exported = os.path.join(self.cwd, "all.csv")
        fresh = os.path.join(self.root, "fresh")
        os.mkdir(fresh)
        self.env["XDG_DATA_HOME"] = fresh
        self.assertEqual(self.records(), [])
        self.assertEqual(self.ok("import-csv", exported), "計 4 行のデータを書きこみました。\n")
        self.assertEqual(self.records(), before)

    def test_chosen_columns_in_their_order(self):
        self.ok("import-mail", stdin=sjis(magmag_mail()))
        self.ok("export-csv", "two.csv", "--columns", "削除状態,メールマガジン名")
        with open(os.path.join(self.cwd, "two.csv"), "rb") as f:
            self.assertEqual(f.read(), sjis('"削除状態","メールマガジン名"\r\n"購読中","週刊ニュース速報"\r\n'))

    def test_unknown_column_writes_nothing(self):
        self.ok("import-mail", stdin=sjis(magmag_mail()))
        r = self.run_cli("export-csv", "out.csv", "--columns", "メールマガジン名,名前")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("名前", r.stderr.decode("utf-8"))
        self.assertFalse(os.path.exists(os.path.join(self.cwd, "out.csv")))

    def test_import_failure_keeps_the_lines_before(self):
        path = self.write("bad.csv", sjis('"メールマガジン名","マガジンＩＤ"\r\n"一","1"\r\n"二","x"\r\n"三","3"\r\n'))
        for env, text in ((self.env, "'x' is not a valid integer for column 'マガジンＩＤ'"),
                          (self.japanese(), "'x' は項目 'マガジンＩＤ' に適した整数値ではありません")):
            r = self.run_cli("import-csv", path, env=env)
            self.assertEqual(r.returncode, 1)
            self.assertEqual(r.stderr.decode("utf-8"), f"quillet-cli: {text}\n")
            self.assertEqual(r.stdout, b"")
        names = [row["メールマガジン名"] for row in self.records()]
        self.assertEqual(names[0], "一")
        self.assertNotIn("三", names)

    def test_the_count_is_what_was_stored(self):
        # The export of no columns: an empty header and empty records. The
        # window shows the same text for the same file.
        self.ok("import-mail", stdin=sjis(magmag_mail()))
        before = self.records()
        path = self.write("none.csv", b"\r\n" * 5)
        self.assertEqual(self.ok("import-csv", path), "計 0 行のデータを書きこみました。\n")
        self.assertEqual(self.records(), before)

    def test_a_line_short_of_values_is_named(self):
        lines = ['"メールマガジン名","説明","削除状態"'] + [f'"誌{i}","説明{i}","購読中"' for i in range(2, 10)]
        lines += ['"誌10","説明10', '"誌11","説明11","購読中"']
        path = self.write("open.csv", sjis("\r\n".join(lines) + "\r\n"))
        for env, text in (
                (self.env, "list index out of bounds (2): line 10 has no value for column 3 (削除状態)"),
                (self.japanese(), "リストのインデックスが範囲を超えています (2): 10 行目に 3 列目「削除状態」の値がありません")):
            self.fresh_register()
            r = self.run_cli("import-csv", path, env=dict(env, XDG_DATA_HOME=self.data))
            self.assertEqual(r.returncode, 1)
            self.assertEqual(r.stderr.decode("utf-8"), f"quillet-cli: {text}\n")
            self.assertEqual(r.stdout, b"")
            names = [row["メールマガジン名"] for row in self.records()]
            self.assertEqual(names, [f"誌{i}" for i in range(2, 11)], "the lines before and what line 10 had")

    def test_a_file_in_another_encoding_is_refused(self):
        path = self.write("utf8.csv", '\ufeff"メールマガジン名"\r\n"誌"\r\n'.encode("utf-8"))
        for env, text in ((self.env, "is written in UTF-8; only Shift_JIS files can be read"),
                          (self.japanese(), "は UTF-8 で書かれています。読みこめるのは Shift_JIS のファイルだけです")):
            r = self.run_cli("import-csv", path, env=env)
            self.assertEqual(r.returncode, 1)
            self.assertIn(text, r.stderr.decode("utf-8"))
        self.assertEqual(self.records(), [])

    def test_file_errors(self):
        r = self.run_cli("import-csv", "missing.csv")
        self.assertEqual(r.returncode, 1)
        self.assertIn("missing.csv", r.stderr.decode("utf-8"))
        r = self.run_cli("import-csv", self.write("empty.csv", b""))
        self.assertEqual(r.returncode, 1)
        self.assertTrue(r.stderr.strip())
        r = self.run_cli("export-csv", os.path.join(self.cwd, "no", "such", "dir.csv"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("dir.csv", r.stderr.decode("utf-8"))


class CommandLine(CliTest):

    def test_help_in_japanese(self):
        env = dict(self.env, LANG="ja_JP.UTF-8")
        for args in (["--help"], ["-h"], ["import-mail", "--help"], ["list", "--help"]):
            r = self.run_cli(*args, env=env)
            self.assertEqual(r.returncode, 0)
            out = r.stdout.decode("utf-8")
            self.assertIn("使い方: quillet-cli", out)
            for command in ("import-mail", "list", "export-csv", "import-csv"):
                self.assertIn(command, out)
            self.assertIn("タブ区切り", out)
            self.assertNotIn("Usage", out)

    def test_help_in_english(self):
        for env in (dict(self.env, LANG="C"), dict(self.env, LANG="ja_JP.UTF-8", LC_ALL="C")):
            r = self.run_cli("--help", env=env)
            self.assertEqual(r.returncode, 0)
            out = r.stdout.decode("utf-8")
            self.assertIn("Usage: quillet-cli", out)
            self.assertIn("\\t, \\n, \\r or \\\\", out, "the TSV escapes are told")
            self.assertNotIn("使い方", out)

    def test_version(self):
        r = self.run_cli("--version")
        self.assertEqual(r.returncode, 0)
        self.assertRegex(r.stdout.decode(), r"^quillet-cli \d+\.\d+\n$")

    def test_usage_errors_exit_2_with_the_usage(self):
        for args in ([], ["frobnicate"], ["list", "--bogus"], ["list", "--format", "xml"],
                     ["list", "extra"], ["export-csv"], ["import-csv", "a.csv", "b.csv"],
                     ["list", "--state"]):
            r = self.run_cli(*args)
            self.assertEqual(r.returncode, 2, f"{args}")
            self.assertIn("Usage: quillet-cli", r.stderr.decode("utf-8"), f"{args}")
            self.assertEqual(r.stdout, b"", f"{args}")


class WriteFailures(CliTest):
    """Output that did not reach its file is a failure, as with GNU tools: a
    backup that was never written must not look done."""

    def test_every_command_fails_when_its_output_cannot_be_written(self):
        self.ok("import-mail", stdin=sjis(magmag_mail()))
        mail = self.write("more.txt", sjis(melma_mail()))
        for args in (["list"], ["list", "--format", "json"], ["--help"], ["--version"],
                     ["export-csv", "backup.csv"], ["import-mail", mail]):
            with open("/dev/full", "wb") as full:
                r = self.run_cli(*args, stdout=full)
            self.assertEqual(r.returncode, 1, f"{args}")
            self.assertEqual(r.stderr.decode("utf-8"),
                             "quillet-cli: write error on standard output: No space left on device\n", f"{args}")
        with open(os.path.join(self.cwd, "backup.csv"), "rb") as f:
            self.assertIn("週刊ニュース速報".encode("cp932"), f.read(), "the file itself was written")
        self.assertEqual([r["発行媒体"] for r in self.records()], ["まぐまぐ", "melma"], "what was stored stays")

        with open("/dev/full", "wb") as full:
            r = self.run_cli("list", stdout=full, env=self.japanese())
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.decode("utf-8"), "quillet-cli: 標準出力に書き込めません: デバイスに空き領域がありません\n")

    def test_a_closed_standard_output(self):
        self.ok("import-mail", stdin=sjis(magmag_mail()))
        before = self.records()
        for args in (["list"], ["--version"]):
            r = self.run_cli(*args, preexec_fn=lambda: os.close(1))
            self.assertEqual(r.returncode, 1, f"{args}")
            self.assertEqual(r.stderr.decode("utf-8"),
                             "quillet-cli: write error on standard output: Bad file descriptor\n", f"{args}")
        self.assertEqual(self.records(), before)
        with sqlite3.connect(self.magazine_table()) as db:
            self.assertEqual(db.execute("PRAGMA integrity_check").fetchone()[0], "ok",
                             "the listing went nowhere, not into a file the program had open")


class MessagesFollowTheLocale(CliTest):
    """Messages are in the language that --help is in, and a failure the system
    reported ends with its reason."""

    def test_file_errors_end_with_the_reason(self):
        readonly = self.write("ro.csv", b"kept")
        os.chmod(readonly, 0o444)
        os.mkdir(os.path.join(self.cwd, "folder"))
        cases = [
            (["import-csv", "nosuch.csv"], "cannot open file nosuch.csv: No such file or directory",
             "ファイル nosuch.csv を開けません: そのようなファイルやディレクトリはありません"),
            (["import-mail", "nosuch.eml"], "cannot open file 'nosuch.eml': No such file or directory",
             "ファイル 'nosuch.eml' を開けません: そのようなファイルやディレクトリはありません"),
            (["import-csv", "folder"], "cannot open file folder: Is a directory",
             "ファイル folder を開けません: ディレクトリです"),
            (["export-csv", "no/such.csv"], "cannot create file no/such.csv: No such file or directory",
             "ファイル no/such.csv を作成できません: そのようなファイルやディレクトリはありません"),
            (["export-csv", "ro.csv"], "cannot create file ro.csv: Permission denied",
             "ファイル ro.csv を作成できません: 許可がありません"),
        ]
        for args, english, japanese in cases:
            for env, text in ((self.env, english), (self.japanese(), japanese)):
                r = self.run_cli(*args, env=env)
                self.assertEqual(r.returncode, 1, f"{args}")
                self.assertEqual(r.stderr.decode("utf-8"), f"quillet-cli: {text}\n", f"{args}")
                self.assertEqual(r.stdout, b"")
        with open(readonly, "rb") as f:
            self.assertEqual(f.read(), b"kept")

    def test_the_language_is_chosen_as_for_the_help(self):
        english = "quillet-cli: cannot open file nosuch.csv: No such file or directory\n"
        japanese = "quillet-cli: ファイル nosuch.csv を開けません: そのようなファイルやディレクトリはありません\n"
        for env, text in ((dict(self.japanese(), LC_ALL="C"), english),
                          (dict(self.japanese(), LANG="C", LC_MESSAGES="ja_JP.UTF-8"), japanese),
                          (dict(self.japanese(), LC_MESSAGES="C"), english)):
            r = self.run_cli("import-csv", "nosuch.csv", env=env)
            self.assertEqual(r.stderr.decode("utf-8"), text, {k: env.get(k) for k in ("LANG", "LC_ALL", "LC_MESSAGES")})
        # Without the locale on the machine the system's own words are English.
        r = self.run_cli("import-csv", "nosuch.csv", env=dict(self.env, LANG="ja_JP.UTF-8"))
        self.assertEqual(r.stderr.decode("utf-8"),
                         "quillet-cli: ファイル nosuch.csv を開けません: No such file or directory\n")

    def test_usage_errors_name_what_is_wrong(self):
        cases = [
            (["list", "--bogus"], "unknown option: --bogus", "不明なオプション: --bogus"),
            (["--bogus=1", "list"], "unknown option: --bogus", "不明なオプション: --bogus"),
            (["list", "-x"], "unknown option: -x", "不明なオプション: -x"),
            (["list", "--state"], "missing value after --state", "--state の値がありません"),
            (["export-csv"], "export-csv: missing file name", "export-csv: ファイル名がありません"),
            (["import-csv"], "import-csv: missing file name", "import-csv: ファイル名がありません"),
            (["import-csv", "a.csv", "b.csv"], "import-csv: unexpected argument: b.csv",
             "import-csv: 余分な引数があります: b.csv"),
            (["list", "extra"], "list: unexpected argument: extra", "list: 余分な引数があります: extra"),
        ]
        for args, english, japanese in cases:
            for env, text, usage in ((self.env, english, "Usage: quillet-cli"),
                                     (self.japanese(), japanese, "使い方: quillet-cli")):
                r = self.run_cli(*args, env=env)
                self.assertEqual(r.returncode, 2, f"{args}")
                lines = r.stderr.decode("utf-8").split("\n")
                self.assertEqual(lines[0], f"quillet-cli: {text}", f"{args}")
                self.assertTrue(lines[1].startswith(usage), f"{args}")


class OutputEncoding(CliTest):
    """Standard output and standard error are in the locale's encoding."""

    def test_output_and_errors_in_euc_jp(self):
        self.ok("import-mail", stdin=sjis(magmag_mail()))
        listing = self.ok("list")
        records = self.records()
        for env in (self.japanese("ja_JP.eucJP"), dict(self.env, LANG="ja_JP.eucJP")):
            # The second: the locale is not on the machine, its name still says EUC-JP.
            r = self.run_cli("list", env=env)
            self.assertEqual(r.returncode, 0)
            self.assertEqual(r.stdout, listing.encode("euc_jp"))
            r = self.run_cli("list", "--format", "json", env=env)
            self.assertEqual(json.loads(r.stdout.decode("euc_jp")), records)
            r = self.run_cli("--help", env=env)
            self.assertIn("使い方: quillet-cli", r.stdout.decode("euc_jp"))
        r = self.run_cli("import-csv", "nosuch.csv", env=self.japanese("ja_JP.eucJP"))
        self.assertEqual(r.stderr, "quillet-cli: ファイル nosuch.csv を開けません: "
                                   "そのようなファイルやディレクトリはありません\n".encode("euc_jp"))

    def test_characters_the_encoding_cannot_hold(self):
        self.ok("import-mail", self.write("face.eml", message_bytes(magmag_mail(name="顔文字😀"), "utf-8")))
        env = self.japanese("ja_JP.eucJP")
        r = self.run_cli("list", env=env)
        self.assertEqual(r.returncode, 0)
        self.assertIn("\t顔文字?\t".encode("euc_jp"), r.stdout)
        self.assertEqual(r.stderr.decode("euc_jp"), "quillet-cli: EUC-JP で表せない 1 文字を「?」として書きました\n")
        r = self.run_cli("list", env=dict(env, LANG="en_US.eucJP"))
        self.assertEqual(r.stderr.decode("utf-8"), "quillet-cli: 1 characters that EUC-JP cannot hold were written as \"?\"\n")
        # JSON escapes them and so keeps them.
        r = self.run_cli("list", "--format", "json", env=env)
        self.assertEqual(r.returncode, 0)
        self.assertEqual(r.stderr, b"")
        self.assertIn(b"\\ud83d\\ude00", r.stdout)
        self.assertEqual(json.loads(r.stdout.decode("euc_jp"))[0]["メールマガジン名"], "顔文字😀")


class SharingTheRegister(CliTest):
    """The window program and quillet-cli share the tables through file locks."""

    def commands(self):
        mail = self.write("mail.txt", sjis(magmag_mail(name="割り込み")))
        csv = self.write("in.csv", sjis('"メールマガジン名"\r\n"割り込み"\r\n'))
        return [["import-mail", mail], ["list"], ["list", "--format", "json"],
                ["export-csv", "out.csv"], ["import-csv", csv]]

    def test_every_command_fails_at_once_while_the_register_is_held_exclusively(self):
        self.ok("import-mail", stdin=sjis(magmag_mail()))
        before = self.records()
        table = self.magazine_table()
        fd = os.open(table, os.O_RDONLY)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            for args in self.commands():
                started = time.monotonic()
                r = self.run_cli(*args)
                elapsed = time.monotonic() - started
                self.assertNotEqual(r.returncode, 0, f"{args}")
                self.assertLess(elapsed, 3.0, f"{args} waited for the lock")
                self.assertIn(table, r.stderr.decode("utf-8"), f"{args}")
                self.assertEqual(r.stdout, b"", f"{args}")
        finally:
            os.close(fd)
        self.assertFalse(os.path.exists(os.path.join(self.cwd, "out.csv")))
        self.assertEqual(self.records(), before, "nothing was stored")

    def test_commands_run_beside_a_program_that_has_the_register_open(self):
        self.ok("list")
        fd = os.open(self.magazine_table(), os.O_RDONLY)
        try:
            fcntl.flock(fd, fcntl.LOCK_SH | fcntl.LOCK_NB)
            for args in self.commands():
                r = self.run_cli(*args)
                self.assertEqual(r.returncode, 0, f"{args}: {r.stderr.decode(errors='replace')}")
        finally:
            os.close(fd)
        self.assertEqual([r["メールマガジン名"] for r in self.records()], ["割り込み", "割り込み"])


class Progress(CliTest):
    """Long work shows a progress line only to a person at a terminal."""

    def many_mails(self, count):
        return [self.write(f"mails/{i:04}.txt", sjis(magmag_mail(mag_id=str(i)))) for i in range(count)]

    def big_csv(self, rows):
        lines = ['"メールマガジン名","マガジンＩＤ"'] + [f'"誌{i}","{i}"' for i in range(rows)]
        return self.write("big.csv", sjis("\r\n".join(lines) + "\r\n"))

    def run_on_terminal(self, *args):
        """Runs with standard error on a pseudo-terminal; returns (status, what it showed)."""
        master, slave = pty.openpty()
        try:
            proc = subprocess.Popen([CLI, *args], cwd=self.cwd, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=slave)
        finally:
            os.close(slave)
        shown = b""
        deadline = time.monotonic() + RUN_WAIT
        try:
            while time.monotonic() < deadline:
                ready, _, _ = select.select([master], [], [], 0.5)
                if ready:
                    try:
                        chunk = os.read(master, 65536)
                    except OSError:  # the terminal closed with the program
                        break
                    if not chunk:
                        break
                    shown += chunk
                elif proc.poll() is not None:
                    break
            proc.stdout.read()
            status = proc.wait(timeout=RUN_WAIT)
        finally:
            os.close(master)
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            proc.stdout.close()
        return status, shown.decode("utf-8", errors="replace")

    def test_nothing_on_standard_error_that_is_no_terminal(self):
        r = self.run_cli("import-mail", *self.many_mails(250))
        self.assertEqual(r.returncode, 0)
        self.assertEqual(r.stdout.decode(), "250件が登録されました\n")
        self.assertEqual(r.stderr, b"")
        r = self.run_cli("import-csv", self.big_csv(3000))
        self.assertEqual(r.returncode, 0)
        self.assertEqual(r.stderr, b"")

    def test_a_progress_line_on_a_terminal(self):
        status, shown = self.run_on_terminal("import-mail", *self.many_mails(250))
        self.assertEqual(status, 0)
        self.assertIn("messages read", shown)
        self.assertIn("\r", shown, "the line is redrawn in place")
        status, shown = self.run_on_terminal("import-csv", self.big_csv(3000))
        self.assertEqual(status, 0)
        self.assertIn("3000 lines read", shown, "the last count is shown")
        self.assertEqual(len(self.records()), 3250)


class ListsThatAnnounceThemselves(CliTest):
    """Newsletters found by their List-Id and List-Unsubscribe headers."""

    def maildir(self, messages):
        for i, data in enumerate(messages):
            self.write(f"Maildir/cur/{1000000000 + i}.M{i}P1.host:2,S", data)
        return os.path.join(self.cwd, "Maildir")

    def test_each_list_is_one_record_and_reading_again_adds_nothing(self):
        md = self.maildir([
            list_message("neko.news.example", "猫の手通信", "第1号", "Mon, 02 Nov 2026 09:00:00 +0900"),
            list_message("inu.other.example", "犬の散歩便り", "創刊号", "Tue, 03 Nov 2026 09:00:00 +0900",
                         sender="info@other.example"),
            list_message("neko.news.example", "猫の手通信", "第2号", "Mon, 09 Nov 2026 09:00:00 +0900"),
        ])
        self.assertEqual(self.ok("import-mail", md), "2件が登録されました（うちメーリングリスト 2件）\n")
        rows = self.records()
        self.assertEqual([r["メールマガジン名"] for r in rows], ["猫の手通信", "犬の散歩便り"])
        self.assertEqual(rows[0]["発行媒体"], "メーリングリスト")
        self.assertEqual(rows[0]["発行者メールアドレス"], "editor@news.example")
        self.assertEqual(rows[0]["登録アドレス"], "reader@example.jp")
        self.assertEqual(rows[0]["登録日時"], "2026/11/02 9:00:00")
        self.assertEqual(rows[0]["説明"], "第2号")
        self.assertEqual(rows[0]["削除状態"], "購読中")
        self.assertEqual(rows[0]["unsubscribe"], {
            "list_id": "neko.news.example",
            "one_click": "https://news.example/leave?l=neko.news.example",
            "web": "https://news.example/leave?l=neko.news.example",
            "mailto": "mailto:leave@news.example?subject=leave",
            "last_seen": "2026/11/09 09:00:00",
            "left": None,
        })
        self.assertEqual(self.ok("import-mail", md), "0件が登録されました\n")
        self.assertEqual(len(self.records()), 2)

    def test_mail_more_than_two_days_after_leaving_is_reported(self):
        md = self.maildir([list_message("neko.news.example", "猫の手通信", "第1号",
                                        "Mon, 02 Nov 2026 09:00:00 +0900")])
        self.ok("import-mail", md)
        # Left on 4 November at noon, as quillet-cli unsubscribe records it.
        db = sqlite3.connect(self.magazine_table())
        db.execute("UPDATE quil_list SET left_at = '2026-11-04T12:00:00.000', left_how = 'one-click'")
        db.execute('UPDATE MMagaInfo SET "削除状態" = \'解除\'')
        db.commit()
        db.close()
        within = self.write("within.eml", list_message("neko.news.example", "猫の手通信", "第2号",
                                                       "Fri, 06 Nov 2026 11:00:00 +0900"))
        self.assertEqual(self.ok("import-mail", within), "0件が登録されました\n")
        self.assertEqual(self.records()[0]["削除状態"], "解除", "the sender still had time")
        late = self.write("late.eml", list_message("neko.news.example", "猫の手通信", "第3号",
                                                   "Sat, 07 Nov 2026 09:00:00 +0900"))
        self.assertEqual(self.ok("import-mail", late),
                         "0件が登録されました\n解除後も配信が続いています: 猫の手通信（最終 2026/11/07 09:00:00）\n")
        self.assertEqual(self.records()[0]["削除状態"], "解除候補")

    def test_a_confirmation_mail_with_list_headers_registers_what_it_did(self):
        data = list_message("0000123456.mag2.example", "週刊ニュース速報", "登録のお知らせ",
                            "Mon, 02 Nov 2026 09:00:00 +0900")
        # The list headers of a known service's confirmation mail only add ways to leave.
        msg = email.message_from_bytes(data)
        msg.set_payload(None)
        del msg["Content-Transfer-Encoding"]
        msg.set_payload(magmag_mail().replace("\r\n", "\n"), "utf-8")
        out = self.ok("import-mail", self.write("confirm.eml", msg.as_bytes()))
        self.assertEqual(out, "1件が登録されました\n")
        rows = self.records()
        self.assertEqual(len(rows), 1)
        self.assertEqual(rows[0]["発行媒体"], "まぐまぐ")
        self.assertEqual(rows[0]["unsubscribe"]["list_id"], "0000123456.mag2.example")


def utf16_export(lines):
    """A key as the Windows registry editor exports it: UTF-16LE after a BOM, CR LF."""
    return b"\xff\xfe" + "\r\n".join(["Windows Registry Editor Version 5.00", ""] + lines + ["", ""]).encode("utf-16-le")


def regedit4_export(lines):
    """The older format of the editor, in the code page."""
    return "\r\n".join(["REGEDIT4", ""] + lines + ["", ""]).encode("cp932")


class ImportRegistryExport(CliTest):
    """import-reg brings the key the Windows program kept into the settings file."""

    def settings(self):
        return os.path.join(self.root, "config", "quillet", "registry.reg")

    def settings_bytes(self):
        try:
            with open(self.settings(), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def test_a_unicode_export_goes_in_beside_what_the_settings_file_had(self):
        os.makedirs(os.path.dirname(self.settings()))
        with open(self.settings(), "wb") as f:
            f.write(b"REGEDIT4\n; by hand\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                    b"\"HostMelma\"=\"127.0.0.1:8000\"\n\"CNMCheck\"=\"1\"\n\n")
        path = self.write("quil.reg", utf16_export([
            "[HKEY_CURRENT_USER\\Software\\KAV]", "",
            "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]",
            '"CNMCheck"=dword:00000000', '"PIPCheck"="1"', '"InstallVer"="3.00"']))
        self.assertEqual(self.ok("import-reg", path),
                         "設定を 3 個読みこみました（ほかのキー 1 個は読みこんでいません）。\n")
        self.assertEqual(self.settings_bytes(),
                         b"REGEDIT4\n; by hand\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                         b"\"HostMelma\"=\"127.0.0.1:8000\"\n\"CNMCheck\"=dword:00000000\n"
                         b"\"PIPCheck\"=\"1\"\n\"InstallVer\"=\"3.00\"\n\n")
        self.assertFalse(os.path.exists(os.path.join(self.data, "quillet")), "the register is not opened")

    def test_a_regedit4_export_in_shift_jis(self):
        path = self.write("quil.reg", regedit4_export([
            "[hkey_current_user\\SOFTWARE\\kav\\quil]", '"InstallVer"="4.00"', '"Note"="表示ソフト"']))
        self.assertEqual(self.ok("import-reg", path),
                         "設定を 2 個読みこみました（ほかのキー 0 個は読みこんでいません）。\n")
        text = self.settings_bytes().decode("utf-8")
        self.assertIn('"InstallVer"="4.00"\n', text)
        self.assertIn('"Note"="表示ソフト"\n', text)

    def test_refused_files_write_nothing(self):
        cut = utf16_export(["[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]", '"InstallVer"="4.00"'])[:-9]
        cases = [
            (b'"Name","ID"\r\n', "was not exported by the registry editor (its first line is neither "
             '"Windows Registry Editor Version 5.00" nor "REGEDIT4")',
             "はレジストリエディタで書き出したファイルではありません"),
            (cut, "is cut short: it ends inside a UTF-16 character",
             "は途中で切れています: UTF-16 の文字の途中で終わっています"),
            (regedit4_export(["[HKCU\\software\\KAV\\QUIL]", '"A"="1"', '"B"=dword:xyz']),
             "cannot read line 5 of file {}: a dword is a hexadecimal number of up to 8 digits",
             "の 5 行目を読めません: dword の値は 16 進 8 桁までの数です"),
            (regedit4_export(["[HKCU\\software\\KAV]"]),
             "has no key HKEY_CURRENT_USER\\software\\KAV\\QUIL", "にはキー HKEY_CURRENT_USER\\software\\KAV\\QUIL がありません"),
        ]
        for content, english, japanese in cases:
            path = self.write("bad.reg", content)
            for env, text in ((self.env, english.format(path)), (self.japanese(), japanese)):
                r = self.run_cli("import-reg", path, env=env)
                self.assertEqual(r.returncode, 1, text)
                self.assertIn(path, r.stderr.decode("utf-8"))
                self.assertIn(text, r.stderr.decode("utf-8"))
                self.assertEqual(r.stdout, b"")
                self.assertIsNone(self.settings_bytes(), text)
        r = self.run_cli("import-reg", "nosuch.reg")
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.decode("utf-8"), "quillet-cli: cannot open file nosuch.reg: No such file or directory\n")

    def test_usage_and_help(self):
        for args, text in ((["import-reg"], "import-reg: missing file name"),
                           (["import-reg", "a.reg", "b.reg"], "import-reg: unexpected argument: b.reg")):
            r = self.run_cli(*args)
            self.assertEqual(r.returncode, 2)
            self.assertTrue(r.stderr.decode("utf-8").startswith(f"quillet-cli: {text}\nUsage: quillet-cli"))
            self.assertIn("quillet-cli import-reg FILE.reg", r.stderr.decode("utf-8"))
        self.assertIn("import-reg FILE.reg", self.ok("--help"))
        r = self.run_cli("--help", env=dict(self.env, LANG="ja_JP.UTF-8"))
        self.assertIn("import-reg ファイル.reg", r.stdout.decode("utf-8"))


class LockedRegister(CliTest):
    """Another program holds the write lock: a mail system is told to try later."""

    def test_import_mail_waits_briefly_names_the_holder_and_exits_75(self):
        self.ok("list")  # the tables exist
        holder = sqlite3.connect(self.magazine_table(), isolation_level=None)
        try:
            holder.execute("BEGIN IMMEDIATE")
            mail = self.write("mail.txt", sjis(magmag_mail()))
            for env, named, unchanged in (
                    (self.env, f" (process {os.getpid()})", "this operation changed nothing"),
                    (self.japanese(), f"（プロセス番号 {os.getpid()}）", "この操作では何も変更していません")):
                started = time.monotonic()
                r = self.run_cli("import-mail", mail, env=env)
                waited = time.monotonic() - started
                self.assertEqual(r.returncode, 75, r.stderr.decode("utf-8"))
                err = r.stderr.decode("utf-8")
                self.assertIn("mail.txt", err)
                self.assertIn(named, err, "the program holding the register is named")
                self.assertIn(unchanged, err)
                self.assertEqual(r.stdout, b"")
                self.assertLess(waited, 20, "a few seconds, not a hang")
            # A CSV import is tried again the same way.
            csv_file = self.write("one.csv", sjis('"メールマガジン名","削除状態"\r\n"一つ","購読中"\r\n'))
            r = self.run_cli("import-csv", csv_file)
            self.assertEqual(r.returncode, 75, r.stderr.decode("utf-8"))
            self.assertIn("this operation changed nothing", r.stderr.decode("utf-8"))
            # Reading goes on beside the writer.
            self.assertEqual(self.records(), [])
        finally:
            holder.execute("ROLLBACK")
            holder.close()
        self.ok("import-mail", mail)
        self.assertEqual(self.records(), [magmag_record()], "handed over again, the mail is registered once")


class FullDisk(CliTest):
    """The data folder on a small disk of the test's own, filled to the last byte."""

    def setUp(self):
        super().setUp()
        self.folder = os.path.join(self.data, "quillet")
        os.mkdir(self.folder, 0o700)
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512k,mode=0700", "tmpfs", self.folder],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.mounted = r.returncode == 0
        if not self.mounted:
            self.skipTest("cannot mount a small tmpfs here (the full-disk case needs root): "
                          + r.stdout.decode(errors="replace").strip())

    def tearDown(self):
        if self.mounted:
            subprocess.run(["umount", "-l", self.folder])
        super().tearDown()

    def fill(self):
        fd = os.open(os.path.join(self.folder, ".filler"), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o600)
        try:
            size = 65536
            while size:
                try:
                    while os.write(fd, b"x" * size) == size:
                        pass
                except OSError:
                    pass
                size //= 2
        finally:
            os.close(fd)

    def test_reading_works_and_writing_fails_clearly(self):
        self.ok("import-mail", self.write("a.txt", sjis(magmag_mail())))
        self.fill()
        self.assertEqual(self.records(), [magmag_record()], "list reads the register")
        out = os.path.join(self.cwd, "backup.csv")
        self.ok("export-csv", out)
        with open(out, "rb") as f:
            self.assertIn("週刊ニュース速報".encode("cp932"), f.read())

        mail = self.write("b.txt", sjis(melma_mail()))
        for env, text in ((self.env, f"cannot write database '{self.magazine_table()}': the disk is full"),
                          (self.japanese(), f"ディスクに空きがないため、データベース '{self.magazine_table()}' に書き込めません")):
            r = self.run_cli("import-mail", mail, env=env)
            self.assertEqual(r.returncode, 1, "an error, not a crash: " + r.stderr.decode("utf-8", "replace"))
            self.assertIn(text, r.stderr.decode("utf-8"))
            r = self.run_cli("import-csv", out, env=env)
            self.assertEqual(r.returncode, 1)
            self.assertIn(text, r.stderr.decode("utf-8"))

        os.remove(os.path.join(self.folder, ".filler"))
        self.assertEqual(self.records(), [magmag_record()], "what was stored stays, and nothing half-stored")
        with sqlite3.connect(self.magazine_table()) as db:
            self.assertEqual(db.execute("PRAGMA integrity_check").fetchone()[0], "ok")


def main():
    global CLI
    if len(sys.argv) < 2:
        print(__doc__)
        sys.exit(2)
    CLI = os.path.abspath(sys.argv.pop(1))
    try:
        unittest.main(verbosity=2)
    finally:
        if _LOCALES:
            shutil.rmtree(_LOCALES, ignore_errors=True)


if __name__ == "__main__":
    main()
