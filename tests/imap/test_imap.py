#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""quillet-cli import-mail reading IMAP mailboxes of a real Dovecot.

Each case starts its own Dovecot on loopback (dovecot.py beside this file)
with certificates made by openssl, runs the real program in fresh data,
settings and home folders, and judges it by its output and exit status, by
the register read back with `list --format json`, and by what the server
itself logged: logins, and per session how many headers and bodies it sent.

usage: test_imap.py path/to/quillet-cli [unittest arguments]
"""

import collections
import datetime
import email.charset
import email.mime.text
import email.utils
import fcntl
import json
import os
import pty
import re
import select
import subprocess
import sys
import tempfile
import termios
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dovecot  # noqa: E402

CLI = None
RUN_WAIT = 90          # seconds for one run of the program
PROMPT_WAIT = 30       # seconds for the password prompt to show
CERTS = None           # the certificates, made once for all cases
_CERT_FOLDER = None

FOLDER = "メルマガ"
READER, READER_PASSWORD = "reader", "secret"
NEWS, NEWS_PASSWORD = "news@example.jp", "pw-news"
USERS = {READER: READER_PASSWORD, NEWS: NEWS_PASSWORD}


# --- mail ---------------------------------------------------------------------

_UTF8 = email.charset.Charset("utf-8")
_sequence = 0


def _next():
    global _sequence
    _sequence += 1
    return _sequence


def confirmation(mag_id, name, address="reader@example.jp", charset="utf-8", padding=0):
    """まぐまぐ's mail confirming a subscription, in the layout its parser knows.
    padding adds lines of greeting after it, for mail of some size."""
    block = "\n".join([
        "このたびはご登録ありがとうございます。",
        "",
        "●登録メールマガジン:", name,
        "●マガジンID:", mag_id,
        "●データタイプ:", "テキスト",
        "●発行周期:", "月刊",
        "●関連Webページ:", f"http://www.example.jp/mag/{mag_id}/",
        "●発行者メールアドレス:", f"henshu{mag_id}@example.jp",
        "●登録アドレス:", address,
        "●登録日時:", "2026/10/01 08:15:30",
        "●IPアドレス:", "203.0.113.7",
        "",
    ])
    block += "今後ともよろしくお願いいたします。\n" * padding
    msg = email.mime.text.MIMEText(block, "plain", charset)
    msg["From"] = email.utils.formataddr(("まぐまぐ", "regist@mag2.com"))
    msg["To"] = address
    msg["Subject"] = _UTF8.header_encode(f"【まぐまぐ】{name} 登録完了のお知らせ")
    msg["Date"] = "Thu, 01 Oct 2026 08:15:31 +0900"
    msg["Message-ID"] = f"<confirm-{mag_id}-{_next()}@mag2.com>"
    return msg.as_bytes().replace(b"\n", b"\r\n")


def list_mail(list_id, name, number, date="Mon, 02 Nov 2026 09:00:00 +0900", sender="editor@news.example.jp",
              to="reader@example.jp", padding=0):
    """A newsletter that announces its list: List-Id with its name as the
    phrase, List-Unsubscribe with a page and a mail address."""
    body = f"{name} {number}をお届けします。\n" + "今週の話題はこちらです。\n" * padding
    msg = email.mime.text.MIMEText(body, "plain", "utf-8")
    msg["From"] = email.utils.formataddr((name + "編集部", sender))
    msg["To"] = to
    msg["Subject"] = _UTF8.header_encode(f"{name} {number}")
    msg["Date"] = date
    msg["Message-ID"] = f"<{list_id}-{_next()}@news.example.jp>"
    domain = sender.split("@")[1]
    msg["List-Id"] = _UTF8.header_encode(name) + f" <{list_id}>"
    msg["List-Unsubscribe"] = f"<https://{domain}/leave?l={list_id}>, <mailto:leave@{domain}?subject=leave>"
    return msg.as_bytes().replace(b"\n", b"\r\n")


def letter(subject="お元気ですか"):
    """A personal mail: nothing in it to register."""
    msg = email.mime.text.MIMEText("先日はありがとうございました。\n", "plain", "utf-8")
    msg["From"] = "友人 <friend@example.jp>"
    msg["To"] = "reader@example.jp"
    msg["Subject"] = _UTF8.header_encode(subject)
    msg["Date"] = "Tue, 03 Nov 2026 20:00:00 +0900"
    msg["Message-ID"] = f"<letter-{_next()}@example.jp>"
    return msg.as_bytes().replace(b"\n", b"\r\n")


def day(n):
    """The date of a mail sent n days after 1 November 2026, 9:00 in Japan."""
    start = datetime.datetime(2026, 11, 1, 9, 0, tzinfo=datetime.timezone(datetime.timedelta(hours=9)))
    return email.utils.format_datetime(start + datetime.timedelta(days=n))


def registered(count, lists=0):
    line = f"{count}件が登録されました"
    if lists:
        line += f"（うちメーリングリスト {lists}件）"
    return line + "\n"


def fetched(sessions):
    """How many messages the sessions fetched: a message read whole counts as
    a body, one read by its header as a header; either way at most once."""
    t = dovecot.totals(sessions)
    return max(t["hdr_count"], t["body_count"])


# --- the cases' common ground ---------------------------------------------------

class MailboxCase(unittest.TestCase):
    """A Dovecot of its own with the users reader and news@example.jp, and
    fresh data, settings and home folders for the program."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="quillet-imap-")
        self.addCleanup(dovecot.remove_tree, self.root)
        self.home = os.path.join(self.root, "home")
        self.data = os.path.join(self.root, "data")
        self.cwd = os.path.join(self.root, "cwd")
        for d in (self.home, self.data, os.path.join(self.root, "config"), self.cwd):
            os.mkdir(d)
        # The keyring and proxies stay out of it, and only the test
        # authority is trusted beside the system's.
        dropped = ("LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANGUAGE", "LOCPATH", "SSL_CERT_DIR",
                   "DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY")
        self.env = {k: v for k, v in os.environ.items() if k not in dropped and not k.lower().endswith("_proxy")}
        self.env.update({
            "XDG_DATA_HOME": self.data,
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "HOME": self.home,
            "LANG": "C.UTF-8",
            "SSL_CERT_FILE": CERTS.authority,
        })
        self.server = self.start_server()

    def start_server(self, certificate=None, starttls=True, name="dovecot"):
        server = dovecot.Dovecot(self.root, certificate or CERTS.server, users=USERS, starttls=starttls,
                                 name=name)
        self.addCleanup(self.report_log, server)
        self.addCleanup(server.stop)
        server.start()
        return server

    def report_log(self, server):
        # The server's own account of a failed case.
        if self._outcome is not None and not self._outcome.success:
            print(f"\n--- {server.root} log ---\n{server.output_tail(60)}", file=sys.stderr)

    # the program

    def run_cli(self, *args, env=None, timeout=RUN_WAIT, **popen):
        popen.setdefault("stdin", subprocess.DEVNULL)
        return subprocess.run([CLI, *args], cwd=self.cwd, env=env or self.env, capture_output=True,
                              timeout=timeout, **popen)

    def import_mail(self, *sources, password=READER_PASSWORD, **kwargs):
        """import-mail with the password given by --password-command."""
        options = ["--password-command", f"printf '%s\\n' '{password}'"] if password is not None else []
        return self.run_cli("import-mail", *options, *sources, **kwargs)

    def ok(self, r):
        self.assertEqual(r.returncode, 0, f"exit {r.returncode}: {r.stderr.decode(errors='replace')}")
        return r.stdout.decode("utf-8")

    def records(self):
        r = self.run_cli("list", "--format", "json")
        return json.loads(self.ok(r))

    def counted(self):
        """How often each magazine ID of まぐまぐ and each list is registered."""
        magazines, lists = collections.Counter(), collections.Counter()
        for row in self.records():
            if row["発行媒体"] == "まぐまぐ":
                magazines[row["マガジンＩＤ"]] += 1
            elif (row.get("unsubscribe") or {}).get("list_id"):
                lists[row["unsubscribe"]["list_id"]] += 1
        return magazines, lists

    def url(self, mailbox="", user=READER, scheme="imaps", port=None, server=None):
        server = server or self.server
        port = port or (server.imaps_port if scheme == "imaps" else server.imap_port)
        return dovecot.url(scheme, user, port, mailbox)

    def assert_no_password_sent(self, server, mark):
        """No login was tried since mark, by Dovecot's own account."""
        server.barrier()
        tried = [e.line for e in server.logins(mark) if e.method or e.logged_in]
        self.assertEqual(tried, [], "the server saw a login attempt")

    def assert_names_server(self, r, *names):
        err = r.stderr.decode("utf-8", errors="replace")
        for name in names:
            self.assertIn(name, err, f"the message names {name}")
        return err


# --- reading ------------------------------------------------------------------------

class FirstAndLaterImports(MailboxCase):
    """What is read, and what is read again."""

    def fill(self):
        """INBOX with two confirmations, the first two numbers of a list and a letter,
        some of them read or flagged; the Japanese folder with another
        confirmation, a second list and the third number of the first."""
        self.server.deliver(READER, "INBOX", [
            (confirmation("1230001", "週刊ねこ通信"), ""),
            (list_mail("neko.news.example.jp", "猫の手通信", "第1号"), "S"),
            (letter(), "S"),
            (confirmation("1230002", "月刊さかな便り", charset="iso-2022-jp"), "FS"),
            (list_mail("neko.news.example.jp", "猫の手通信", "第2号"), ""),
        ])
        self.server.deliver(READER, FOLDER, [
            (list_mail("inu.news.example.jp", "犬の散歩便り", "創刊号", sender="info@inu.example.jp"), ""),
            (confirmation("1230003", "旬の野菜だより"), "S"),
            (list_mail("neko.news.example.jp", "猫の手通信", "第3号"), ""),
        ])

    def test_a_first_import_reads_inbox_and_the_japanese_folder(self):
        self.fill()
        inbox, folder = self.url(), self.url(FOLDER)
        self.assertTrue(folder.endswith("/%E3%83%A1%E3%83%AB%E3%83%9E%E3%82%AC"), folder)
        mark = self.server.mark()
        out = self.ok(self.import_mail(inbox, folder))
        self.assertEqual(out, registered(5, lists=2))

        magazines, lists = self.counted()
        self.assertEqual(magazines, {"1230001": 1, "1230002": 1, "1230003": 1})
        self.assertEqual(lists, {"neko.news.example.jp": 1, "inu.news.example.jp": 1})
        rows = {r["マガジンＩＤ"]: r for r in self.records() if r["発行媒体"] == "まぐまぐ"}
        self.assertEqual(rows["1230002"]["メールマガジン名"], "月刊さかな便り", "read from ISO-2022-JP")
        self.assertEqual(rows["1230003"]["登録アドレス"], "reader@example.jp")
        by_list = {r["unsubscribe"]["list_id"]: r for r in self.records() if r.get("unsubscribe")}
        self.assertEqual(by_list["inu.news.example.jp"]["メールマガジン名"], "犬の散歩便り")
        self.assertEqual(by_list["inu.news.example.jp"]["発行媒体"], "メーリングリスト")
        self.assertEqual(by_list["neko.news.example.jp"]["削除状態"], "購読中")

        sessions = self.server.wait_sessions(mark, 1)
        self.assertTrue(all(s.tls and s.user == READER for s in sessions), sessions)
        self.assertEqual(fetched(sessions), 8, f"each message once: {dovecot.totals(sessions)}")

    def test_a_second_run_with_nothing_new_fetches_no_message(self):
        self.fill()
        self.ok(self.import_mail(self.url(), self.url(FOLDER)))
        before = self.records()
        mark = self.server.mark()
        # No mailbox at all is INBOX too, the same one as before.
        inbox = self.url().rstrip("/")
        out = self.ok(self.import_mail(inbox, self.url(FOLDER)))
        self.assertEqual(out, registered(0))
        sessions = self.server.wait_sessions(mark, 1)
        t = dovecot.totals(sessions)
        self.assertEqual((t["hdr_count"], t["body_count"]), (0, 0), f"fetched: {t}")
        self.assertEqual(self.records(), before)

    def test_messages_added_between_runs_are_the_only_ones_fetched(self):
        self.fill()
        self.ok(self.import_mail(self.url(), self.url(FOLDER)))
        self.server.deliver(READER, "INBOX", [
            confirmation("1230004", "季刊とり物語"),
            list_mail("neko.news.example.jp", "猫の手通信", "第4号"),
            list_mail("kame.news.example.jp", "亀の歩み", "第1号", sender="kame@kame.example.jp"),
        ])
        self.server.deliver(READER, FOLDER, [confirmation("1230005", "朝の一句")])
        mark = self.server.mark()
        out = self.ok(self.import_mail(self.url(), self.url(FOLDER)))
        self.assertEqual(out, registered(3, lists=1))
        sessions = self.server.wait_sessions(mark, 1)
        t = dovecot.totals(sessions)
        self.assertEqual(fetched(sessions), 4, f"the four new messages: {t}")
        self.assertLessEqual(t["hdr_count"], 4, t)
        self.assertLessEqual(t["body_count"], 4, t)

        magazines, lists = self.counted()
        self.assertEqual(set(magazines.values()), {1})
        self.assertEqual(sorted(magazines), ["1230001", "1230002", "1230003", "1230004", "1230005"])
        self.assertEqual(lists, {"neko.news.example.jp": 1, "inu.news.example.jp": 1, "kame.news.example.jp": 1})

    def test_a_new_uidvalidity_reads_the_mailbox_again(self):
        # Lists and letters only: read again, they add no record, so the
        # register shows that the second reading went well.
        messages = [list_mail(f"l{i % 3}.news.example.jp", f"週報{i % 3}", f"第{i}号", date=day(i))
                    for i in range(9)]
        self.server.deliver(READER, FOLDER, messages + [letter()])
        self.assertEqual(self.ok(self.import_mail(self.url(FOLDER))), registered(3, lists=3))
        before = self.records()

        self.server.renew_uidvalidity(READER, FOLDER)
        mark = self.server.mark()
        self.assertEqual(self.ok(self.import_mail(self.url(FOLDER))), registered(0))
        self.assertEqual(fetched(self.server.wait_sessions(mark, 1)), 10, "every message again")
        self.assertEqual(self.records(), before)

        # The new numbering is what the register remembers now.
        mark = self.server.mark()
        self.ok(self.import_mail(self.url(FOLDER)))
        t = dovecot.totals(self.server.wait_sessions(mark, 1))
        self.assertEqual((t["hdr_count"], t["body_count"]), (0, 0), f"fetched: {t}")

    def test_no_flag_changes_on_the_server(self):
        self.fill()
        before = {box: self.server.flags(READER, box) for box in ("INBOX", FOLDER)}
        self.assertIn(frozenset(), before["INBOX"].values(), "some messages are unread")
        self.assertIn(frozenset({"\\Seen", "\\Flagged"}), before["INBOX"].values())
        self.ok(self.import_mail(self.url(), self.url(FOLDER)))
        after = {box: self.server.flags(READER, box) for box in ("INBOX", FOLDER)}
        self.assertEqual(after, before, "not even \\Seen is set")


# --- getting in -----------------------------------------------------------------------

class Refusals(MailboxCase):
    """Connections that must end before anything is read, or before a password goes out."""

    def test_a_wrong_password(self):
        self.server.deliver(READER, "INBOX", [confirmation("4560001", "週刊ねこ通信")])
        mark = self.server.mark()
        r = self.import_mail(self.url(), password="not-the-password")
        self.assertEqual(r.returncode, 1, r.stderr.decode(errors="replace"))
        self.assert_names_server(r, "127.0.0.1", READER)
        self.assertEqual(self.records(), [])
        failed = [e for e in self.server.wait_logins(mark) if e.method]
        self.assertTrue(failed and all(not e.logged_in and e.user == READER for e in failed), failed)
        self.assertEqual(self.server.sessions(mark), [])

    def test_a_certificate_the_test_authority_did_not_sign(self):
        stranger = self.start_server(CERTS.stranger, name="stranger")
        stranger.deliver(READER, "INBOX", [confirmation("4560002", "週刊ねこ通信")])
        mark = stranger.mark()
        r = self.import_mail(self.url(server=stranger))
        self.assertEqual(r.returncode, 1, r.stderr.decode(errors="replace"))
        err = self.assert_names_server(r, "127.0.0.1")
        self.assertRegex(err, r"(?i)certificate|証明書", "the message says why")
        self.assertEqual(self.records(), [])
        self.assertTrue(stranger.wait_logins(mark), "the client reached the server")
        self.assert_no_password_sent(stranger, mark)

    def test_imap_with_starttls(self):
        self.server.deliver(READER, "INBOX", [confirmation("4560003", "週刊ねこ通信")])
        mark = self.server.mark()
        out = self.ok(self.import_mail(self.url(scheme="imap")))
        self.assertEqual(out, registered(1))
        sessions = self.server.wait_sessions(mark, 1)
        self.assertTrue(sessions and all(s.tls for s in sessions), f"logged in over TLS: {sessions}")

    def test_imap_refused_without_starttls(self):
        plain = self.start_server(starttls=False, name="plain")
        plain.deliver(READER, "INBOX", [confirmation("4560004", "週刊ねこ通信")])
        mark = plain.mark()
        r = self.import_mail(self.url(scheme="imap", server=plain))
        self.assertEqual(r.returncode, 1, r.stderr.decode(errors="replace"))
        self.assert_names_server(r, "127.0.0.1")
        self.assertEqual(self.records(), [])
        self.assertTrue(plain.wait_logins(mark), "the client reached the server")
        self.assert_no_password_sent(plain, mark)


# --- the password -----------------------------------------------------------------

class Passwords(MailboxCase):
    """Where the password comes from when no command gives it."""

    def netrc(self, text, mode):
        path = os.path.join(self.home, ".netrc")
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, mode)
        return path

    def test_netrc_of_the_user_and_a_percent_encoded_user_name(self):
        self.server.deliver(NEWS, "INBOX", [confirmation("7890001", "週刊ねこ通信", address=NEWS)])
        self.netrc(f"machine example.jp login {NEWS} password wrong\n"
                   f"machine 127.0.0.1 login {READER} password wrong\n"
                   f"machine 127.0.0.1 login {NEWS} password {NEWS_PASSWORD}\n", 0o600)
        url = self.url(user=NEWS)
        self.assertIn("/news%40example.jp@127.0.0.1:", url)
        mark = self.server.mark()
        self.assertEqual(self.ok(self.import_mail(url, password=None)), registered(1))
        sessions = self.server.wait_sessions(mark, 1)
        self.assertEqual({s.user for s in sessions}, {NEWS})

    def test_netrc_readable_by_others_is_refused(self):
        self.server.deliver(READER, "INBOX", [confirmation("7890002", "週刊ねこ通信")])
        for mode in (0o644, 0o640, 0o604):
            with self.subTest(mode=oct(mode)):
                self.netrc(f"machine 127.0.0.1 login {READER} password {READER_PASSWORD}\n", mode)
                mark = self.server.mark()
                r = self.import_mail(self.url(), password=None)
                self.assertEqual(r.returncode, 1, r.stderr.decode(errors="replace"))
                self.assertIn(".netrc", r.stderr.decode(errors="replace"))
                self.assert_no_password_sent(self.server, mark)
        self.assertEqual(self.records(), [])

    def run_on_terminal(self, *args, answer):
        """Runs with a terminal of its own as controlling terminal, standard
        input elsewhere; types answer once a prompt has shown and the terminal
        stopped echoing (or gave up waiting for that). Returns (result, what
        the terminal showed, whether echo was off when the answer went in)."""
        master, slave = pty.openpty()

        def controlling_terminal():
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)

        try:
            proc = subprocess.Popen([CLI, *args], cwd=self.cwd, env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True,
                                    preexec_fn=controlling_terminal, pass_fds=(slave,))
        finally:
            os.close(slave)
        shown = bytearray()

        def read_terminal(wait):
            ready, _, _ = select.select([master], [], [], wait)
            if not ready:
                return True
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the terminal closed with the program
                return False
            shown.extend(chunk)
            return bool(chunk)

        def echoing():
            return bool(termios.tcgetattr(master)[3] & termios.ECHO)

        echo_off = None
        try:
            deadline = time.monotonic() + PROMPT_WAIT
            while not bytes(shown).strip() and proc.poll() is None and time.monotonic() < deadline:
                if not read_terminal(0.1):
                    break
            if bytes(shown).strip() and proc.poll() is None:
                echo_off = bool(dovecot.wait_until(lambda: not echoing(), 5))
                os.write(master, answer.encode() + b"\n")
            elif proc.poll() is None:
                proc.kill()  # no prompt came: nothing to answer
            stdout, stderr = proc.communicate(timeout=RUN_WAIT)
            while select.select([master], [], [], 0)[0] and read_terminal(0):
                pass
        finally:
            os.close(master)
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        result = subprocess.CompletedProcess(proc.args, proc.returncode, stdout, stderr)
        return result, bytes(shown).decode("utf-8", errors="replace"), echo_off

    def test_a_prompt_on_the_terminal_without_echo(self):
        self.server.deliver(READER, "INBOX", [confirmation("7890003", "週刊ねこ通信")])
        r, shown, echo_off = self.run_on_terminal("import-mail", self.url(), answer=READER_PASSWORD)
        self.assertTrue(shown.strip(), "a prompt on the terminal")
        self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
        self.assertEqual(r.stdout.decode(), registered(1))
        self.assertTrue(echo_off, "echo was off while the password was typed")
        self.assertNotIn(READER_PASSWORD, shown)

    def test_no_terminal_to_ask_on(self):
        self.server.deliver(READER, "INBOX", [confirmation("7890004", "週刊ねこ通信")])
        mark = self.server.mark()
        r = self.import_mail(self.url(), password=None, start_new_session=True)
        self.assertEqual(r.returncode, 1, r.stderr.decode(errors="replace"))
        self.assertTrue(r.stderr.strip(), "a message says why")
        self.assertEqual(self.records(), [])
        self.assert_no_password_sent(self.server, mark)


# --- a server that goes away ----------------------------------------------------------

class ServerGone(MailboxCase):
    """Failures of the server are temporary: exit 75, what was stored stays,
    and the next run completes it."""

    COUNT = 1200        # messages, enough for several batches
    LISTS = 10          # lists among them, each sending several numbers
    CUT = 0.7           # share of the mail's bytes the server sends before it dies

    def fill(self):
        messages, ids = [], []
        for i in range(self.COUNT):
            if i % 20 == 7:
                n = (i // 20) % self.LISTS
                messages.append(list_mail(f"list{n}.news.example.jp", f"お知らせ便{n}", f"第{i}号", padding=30))
            else:
                mag_id = str(900000 + i)
                ids.append(mag_id)
                messages.append(confirmation(mag_id, f"メルマガ{i}号", padding=30))
        self.server.deliver(READER, "INBOX", messages)
        return ids, sum(len(m) for m in messages)

    def test_killed_mid_fetch_then_completed_by_the_next_run(self):
        ids, size = self.fill()
        lists = {f"list{n}.news.example.jp" for n in range(self.LISTS)}
        with dovecot.KillingProxy(self.server, limit=int(size * self.CUT)) as proxy:
            r = self.import_mail(self.url(port=proxy.port))
            self.assertTrue(proxy.tripped.is_set(), "the server was killed mid-fetch")
        self.assertFalse(self.server.running)
        self.assertEqual(r.returncode, 75, r.stderr.decode(errors="replace"))
        self.assert_names_server(r, "127.0.0.1")

        magazines, stored_lists = self.counted()
        self.assertEqual(set(magazines.values()) | set(stored_lists.values()), {1}, "nothing twice")
        self.assertTrue(set(magazines) <= set(ids) and set(stored_lists) <= lists)
        self.assertGreater(len(magazines), 0, "the batches before the kill stay")
        self.assertLess(len(magazines), len(ids) * self.CUT + 1, "stored from what came before the kill")
        stored = len(magazines) + len(stored_lists)
        stored_confirmations = len(magazines)

        # With the port closed it is as temporary, and stores nothing.
        r = self.import_mail(self.url())
        self.assertEqual(r.returncode, 75, r.stderr.decode(errors="replace"))
        self.assert_names_server(r, "127.0.0.1")
        self.assertEqual(len(self.records()), stored)

        self.server.start()
        mark = self.server.mark()
        out = self.ok(self.import_mail(self.url()))
        match = re.fullmatch(r"(\d+)件が登録されました(?:（うちメーリングリスト (\d+)件）)?\n", out)
        self.assertTrue(match, out)
        self.assertEqual(int(match.group(1)), len(ids) + len(lists) - stored)
        magazines, stored_lists = self.counted()
        self.assertEqual(magazines, {mag_id: 1 for mag_id in ids}, "every confirmation exactly once")
        self.assertEqual(stored_lists, {list_id: 1 for list_id in lists}, "every list exactly once")
        self.assertEqual(len(self.records()), len(ids) + len(lists))
        # Each stored confirmation came with a UID the register remembers.
        again = fetched(self.server.wait_sessions(mark, 1))
        self.assertLessEqual(again, self.COUNT - stored_confirmations, "what was stored is not fetched again")


def setUpModule():
    global CERTS, _CERT_FOLDER
    dovecot.require_tools()
    _CERT_FOLDER = tempfile.mkdtemp(prefix="quillet-imap-certs-")
    CERTS = dovecot.Certificates(_CERT_FOLDER)


def tearDownModule():
    if _CERT_FOLDER:
        dovecot.remove_tree(_CERT_FOLDER)


def main():
    global CLI
    if len(sys.argv) < 2:
        print(__doc__)
        sys.exit(2)
    CLI = os.path.abspath(sys.argv.pop(1))
    if not os.access(CLI, os.X_OK):
        print(f"FAIL: {CLI} is not an executable")
        sys.exit(1)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
