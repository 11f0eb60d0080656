#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The password lookup of quillet-cli where only real programs show it.

keyring: gnome-keyring's Secret Service on a private session bus of the
test's own, holding items that secret-tool stores, found by the lookup.
prompt:  the question on a pseudo-terminal, answered without echo, and the
terminal as it was after a signal.

Each run gets a fresh home without .netrc; the reader's own bus, keyring and
terminal are never used.

usage: test_password.py path/to/password_fixture keyring|prompt [unittest arguments]
"""

import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import unittest

FIXTURE = None
WAIT = 30  # seconds for any one step


def plain_env(home, japanese=False):
    """The environment of a run: a fresh home, no session bus, no display."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY",
                        "LANG", "LANGUAGE", "LC_MESSAGES", "LC_CTYPE")}
    env["HOME"] = home
    env["LC_ALL"] = "ja_JP.UTF-8" if japanese else "C.UTF-8"
    return env


def run_fixture(env, host, user, expected):
    """The fixture in a session of its own, which has no terminal to ask on."""
    return subprocess.run([FIXTURE, host, user, expected], env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=WAIT, start_new_session=True)


# --- the keyring -----------------------------------------------------------------

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def stop(process):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=WAIT)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Keyring(unittest.TestCase):
    """Items stored with secret-tool are what the lookup finds."""

    @classmethod
    def setUpClass(cls):
        for tool in ("dbus-daemon", "gnome-keyring-daemon", "secret-tool", "gdbus"):
            if not shutil.which(tool):
                raise AssertionError(f"{tool} is missing; scripts/setup.sh installs it")
        cls.root = tempfile.mkdtemp(prefix="quil-keyring-")
        cls.bus = cls.keyring = None
        try:
            cls.start()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def start(cls):
        cls.home = os.path.join(cls.root, "home")
        cls.runtime = os.path.join(cls.root, "runtime")
        os.makedirs(cls.home)
        os.makedirs(cls.runtime, mode=0o700)
        socket = os.path.join(cls.runtime, "bus")
        config = os.path.join(cls.root, "bus.conf")
        with open(config, "w") as f:
            # No service folders: nothing is started on demand, so the one
            # keyring is the test's own.
            f.write(BUS_CONFIG.format(socket=socket))
        cls.env = plain_env(cls.home)
        cls.env.update(XDG_RUNTIME_DIR=cls.runtime,
                       XDG_DATA_HOME=os.path.join(cls.root, "data"),
                       XDG_CONFIG_HOME=os.path.join(cls.root, "config"),
                       XDG_CACHE_HOME=os.path.join(cls.root, "cache"),
                       DBUS_SESSION_BUS_ADDRESS="unix:path=" + socket)
        cls.bus = subprocess.Popen(["dbus-daemon", "--nofork", "--config-file", config, "--print-address"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=cls.env)
        ready, _, _ = select.select([cls.bus.stdout], [], [], WAIT)
        if not ready or not cls.bus.stdout.readline():
            raise AssertionError("the session bus did not start")
        # --unlock reads the login keyring's password from standard input
        # and creates that keyring, unlocked, in the fresh data folder.
        cls.keyring = subprocess.Popen(["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
                                       stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       env=cls.env)
        cls.keyring.stdin.write(b"keyring-unlock")
        cls.keyring.stdin.close()
        subprocess.run(["gdbus", "wait", "--session", "--timeout", str(WAIT), "org.freedesktop.secrets"],
                       env=cls.env, check=True, timeout=WAIT + 5)

    @classmethod
    def tearDownClass(cls):
        stop(cls.keyring)
        stop(cls.bus)
        if cls.bus is not None:
            cls.bus.stdout.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def store(self, host, user, password):
        subprocess.run(["secret-tool", "store", "--label=Quillet " + user + "@" + host,
                        "service", "quillet", "host", host, "user", user],
                       input=password, text=True, env=self.env, check=True, timeout=WAIT)

    def tearDown(self):
        netrc = os.path.join(self.home, ".netrc")
        if os.path.exists(netrc):
            os.remove(netrc)

    def test_the_item_stored_for_host_and_user_is_found(self):
        self.store("127.0.0.1", "taro@example.jp", "keyring pässword")
        r = run_fixture(self.env, "127.0.0.1", "taro@example.jp", "keyring pässword")
        self.assertEqual((r.returncode, r.stdout), (0, "match\n"), r.stderr)

        # The bus that $XDG_RUNTIME_DIR/bus leads to counts as the session's.
        env = dict(self.env)
        del env["DBUS_SESSION_BUS_ADDRESS"]
        r = run_fixture(env, "127.0.0.1", "taro@example.jp", "keyring pässword")
        self.assertEqual((r.returncode, r.stdout), (0, "match\n"), r.stderr)

    def test_an_item_of_another_host_or_user_does_not_fit(self):
        self.store("mail.example.jp", "hanako", "hanakos")
        for host, user in (("mail.example.jp", "jiro"), ("other.example.jp", "hanako")):
            r = run_fixture(self.env, host, user, "hanakos")
            self.assertEqual(r.returncode, 1, r.stdout)
            self.assertEqual(r.stdout, "")
            # The keyring was asked, and the error says how to fill it.
            self.assertIn(f"secret-tool store --label=Quillet service quillet host {host} user {user}", r.stderr)
            self.assertNotIn("hanakos", r.stderr)

    def test_netrc_comes_before_the_keyring(self):
        self.store("imap.example.jp", "saburo", "from the keyring")
        netrc = os.path.join(self.home, ".netrc")
        with open(os.open(netrc, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write('machine imap.example.jp login saburo password "from netrc"\n')
        r = run_fixture(self.env, "imap.example.jp", "saburo", "from netrc")
        self.assertEqual((r.returncode, r.stdout), (0, "match\n"), r.stderr)

    def test_without_a_session_bus_the_keyring_is_not_asked(self):
        self.store("imap.example.jp", "shiro", "unreachable")
        env = dict(self.env)
        del env["DBUS_SESSION_BUS_ADDRESS"]
        del env["XDG_RUNTIME_DIR"]
        r = run_fixture(env, "imap.example.jp", "shiro", "unreachable")
        self.assertEqual(r.returncode, 1, r.stdout)
        self.assertIn("no session bus", r.stderr)


# --- the prompt -------------------------------------------------------------------

class Terminal:
    """The fixture on a pseudo-terminal of its own."""

    def __init__(self, env, host="127.0.0.1", user="taro"):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.execve(FIXTURE, [FIXTURE, host, user, "typed secret"], env)
            finally:
                os._exit(127)
        self.output = b""
        self.status = None

    def read_until(self, text):
        """Output up to and including text; fails when it does not come."""
        deadline = time.monotonic() + WAIT
        while text not in self.output:
            left = deadline - time.monotonic()
            if left <= 0 or not self._read(left):
                raise AssertionError(f"{text!r} did not come; got {self.output!r}")
        return self.output

    def finish(self):
        """Everything until the program ends, and its wait status."""
        deadline = time.monotonic() + WAIT
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                os.kill(self.pid, signal.SIGKILL)
                raise AssertionError(f"the program did not end; got {self.output!r}")
            if not self._read(left):
                break
        _, self.status = os.waitpid(self.pid, 0)
        return self.output

    def echo(self):
        return bool(termios.tcgetattr(self.fd)[3] & termios.ECHO)

    def write(self, data):
        os.write(self.fd, data)

    def close(self):
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)

    def _read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.fd, 4096)
        except OSError:  # EIO: the program has closed the terminal
            return False
        self.output += data
        return bool(data)


class Prompt(unittest.TestCase):
    """With no other source, the reader is asked on the terminal."""

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="quil-prompt-")
        self.addCleanup(shutil.rmtree, self.home, ignore_errors=True)

    def terminal(self, japanese=False):
        t = Terminal(plain_env(self.home, japanese))
        self.addCleanup(t.close)
        return t

    def test_the_answer_is_read_without_echo_and_followed_by_a_newline(self):
        t = self.terminal()
        t.read_until(b"Password for taro@127.0.0.1: ")
        self.assertFalse(t.echo())
        t.write(b"typed secret\n")
        out = t.finish()
        self.assertEqual(out, b"Password for taro@127.0.0.1: \r\nmatch\r\n")
        self.assertTrue(os.WIFEXITED(t.status) and os.WEXITSTATUS(t.status) == 0, out)
        self.assertTrue(t.echo())

    def test_the_question_is_in_the_readers_language(self):
        t = self.terminal(japanese=True)
        t.read_until("taro@127.0.0.1 のパスワード: ".encode())
        t.write(b"typed secret\n")
        self.assertTrue(t.finish().endswith(b"match\r\n"), t.output)

    def test_an_empty_answer_is_no_password(self):
        t = self.terminal()
        t.read_until(b"Password for taro@127.0.0.1: ")
        t.write(b"\n")
        out = t.finish()
        self.assertIn(b"no password was entered", out)
        self.assertEqual(os.WEXITSTATUS(t.status), 1)

    def test_a_signal_at_the_prompt_ends_the_program_with_echo_restored(self):
        for sig, how in ((signal.SIGINT, "ctrl-c"), (signal.SIGTERM, "kill")):
            with self.subTest(signal=sig.name):
                t = self.terminal()
                t.read_until(b"Password for taro@127.0.0.1: ")
                t.write(b"half typ")
                self.assertFalse(t.echo())
                if how == "ctrl-c":
                    t.write(b"\x03")
                else:
                    os.kill(t.pid, sig)
                out = t.finish()
                self.assertTrue(os.WIFSIGNALED(t.status), out)
                self.assertEqual(os.WTERMSIG(t.status), sig)
                self.assertTrue(t.echo())
                self.assertNotIn(b"half typ", out)


def main():
    global FIXTURE
    if len(sys.argv) < 3 or sys.argv[2] not in ("keyring", "prompt"):
        sys.exit(__doc__)
    FIXTURE = os.path.abspath(sys.argv[1])
    case = {"keyring": "Keyring", "prompt": "Prompt"}[sys.argv[2]]
    unittest.main(argv=[sys.argv[0], case] + sys.argv[3:], verbosity=2)


if __name__ == "__main__":
    main()
