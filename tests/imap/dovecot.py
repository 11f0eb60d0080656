# SPDX-License-Identifier: GPL-3.0-or-later
"""A real Dovecot on loopback for the mailbox tests and benchmarks.

Everything lives in one temporary folder: the authorities and certificates
made with openssl, Dovecot's own configuration, its sockets, state and log,
and the users' Maildirs. Nothing of the system's Dovecot is read or started.

    certs = Certificates(folder)          # test authority, a stranger's, their servers
    with Dovecot(folder, certs.server) as server:
        server.deliver("reader", "メルマガ", [b"..."])
        mark = server.mark()
        ...                               # a client reads imaps://reader@127.0.0.1:PORT/...
        server.wait_sessions(mark, 1)     # what each session fetched, from Dovecot's log

Runs as root (mail owned by nobody, the login and internal processes as
Dovecot's own users) and as an ordinary user (everything as that user).
"""

import atexit
import base64
import ctypes
import dataclasses
import imaplib
import os
import grp
import pwd
import re
import select
import signal
import shutil
import socket
import ssl
import subprocess
import threading
import time
import urllib.parse

DOVECOT = "/usr/sbin/dovecot"
OPENSSL = "/usr/bin/openssl"
INSTALL_HINT = "install it with: source scripts/setup.sh && quil_setup"

START_WAIT = 30.0   # seconds for Dovecot to greet on every port
STOP_WAIT = 15.0    # seconds for its processes to end
LOG_WAIT = 15.0     # seconds for a line to reach its log
IO_WAIT = 30.0      # seconds for one socket operation of the fixture's own

DEFAULT_PASSWORD = "secret"

PR_SET_PDEATHSIG = 1
_running = set()  # instances to stop when the test program ends without doing so


def _stop_all():
    for server in list(_running):
        try:
            server.kill()
        except Exception:
            pass


atexit.register(_stop_all)


def _die_with_parent():
    # Dovecot runs in a session of its own, so that one signal ends all of
    # it; without this, a test killed by its runner would leave it running.
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class FixtureError(RuntimeError):
    pass


def require_tools():
    """Fails loudly when a tool the fixture runs is missing."""
    for tool in (DOVECOT, OPENSSL):
        if not os.access(tool, os.X_OK):
            raise FixtureError(f"{tool} is missing; {INSTALL_HINT}")


def wait_until(predicate, timeout, interval=0.02):
    """Polls predicate until it gives something true, at most timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# --- names --------------------------------------------------------------------

def mutf7(name):
    """A mailbox name as IMAP and Dovecot's Maildir++ folders spell it (RFC 3501 5.1.3)."""
    out, pending = [], []

    def flush():
        if pending:
            data = "".join(pending).encode("utf-16-be")
            out.append("&" + base64.b64encode(data).decode().rstrip("=").replace("/", ",") + "-")
            pending.clear()

    for ch in name:
        if 0x20 <= ord(ch) <= 0x7E:
            flush()
            out.append("&-" if ch == "&" else ch)
        else:
            pending.append(ch)
    flush()
    return "".join(out)


def url(scheme, user, port, mailbox="", host="127.0.0.1"):
    """An imap:// or imaps:// address as RFC 5092 writes it: user and mailbox
    percent-encoded UTF-8."""
    return (f"{scheme}://{urllib.parse.quote(user, safe='')}@{host}:{port}/"
            + urllib.parse.quote(mailbox.encode("utf-8"), safe=""))


# --- certificates ---------------------------------------------------------------

def openssl(*args, cwd):
    result = subprocess.run([OPENSSL, *args], cwd=cwd, capture_output=True, timeout=60)
    if result.returncode != 0:
        raise FixtureError(f"openssl {' '.join(args)}: {result.stderr.decode(errors='replace')}")
    return result.stdout.decode().strip()


@dataclasses.dataclass
class ServerCertificate:
    cert: str
    key: str
    authority: str  # the PEM of the authority that signed it


class Certificates:
    """The test authority with a server certificate for localhost and
    127.0.0.1, and an unrelated authority with one of its own for the same
    names: a client that trusts the first must refuse the second."""

    LOCAL = "DNS:localhost,IP:127.0.0.1"

    def __init__(self, folder):
        self.folder = os.path.join(folder, "certs")
        os.makedirs(self.folder, exist_ok=True)
        self.authority = self._authority("test-ca")
        self.server = self._server("server", "test-ca", self.LOCAL)
        self.stranger_authority = self._authority("stranger-ca")
        self.stranger = self._server("stranger", "stranger-ca", self.LOCAL)

    def _authority(self, name):
        openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", f"{name}.key", "-out", f"{name}.pem", "-days", "2",
                "-subj", f"/CN=Quillet mailbox test {name}",
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=self.folder)
        return os.path.join(self.folder, f"{name}.pem")

    def _server(self, name, authority, alt_names):
        with open(os.path.join(self.folder, f"{name}.ext"), "w") as f:
            f.write("basicConstraints=CA:FALSE\n"
                    "keyUsage=critical,digitalSignature\n"
                    "extendedKeyUsage=serverAuth\n"
                    f"subjectAltName={alt_names}\n")
        openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", f"{name}.key", "-out", f"{name}.csr", "-subj", f"/CN={name}", cwd=self.folder)
        openssl("x509", "-req", "-in", f"{name}.csr", "-CA", f"{authority}.pem", "-CAkey", f"{authority}.key",
                "-CAcreateserial", "-days", "2", "-extfile", f"{name}.ext", "-out", f"{name}.pem",
                cwd=self.folder)
        return ServerCertificate(os.path.join(self.folder, f"{name}.pem"),
                                 os.path.join(self.folder, f"{name}.key"),
                                 os.path.join(self.folder, f"{authority}.pem"))


# --- the log --------------------------------------------------------------------

@dataclasses.dataclass
class Session:
    """One logged-in IMAP session, from its Login line to its logout line."""
    id: str
    user: str
    method: str
    tls: bool = False
    ended: bool = False
    reason: str = ""
    bytes_in: int = 0
    bytes_out: int = 0
    hdr_count: int = 0
    hdr_bytes: int = 0
    body_count: int = 0
    body_bytes: int = 0


@dataclasses.dataclass
class LoginEvent:
    """What the login process said of one connection: a login, or a
    disconnection before one (with the method when a password was tried)."""
    line: str
    user: str
    method: str       # empty when no authentication was attempted
    logged_in: bool
    tls: bool


LOGIN_LINE = re.compile(r"imap-login: Info: (Login|Disconnected|Aborted login)\b(.*)$")
USER_FIELD = re.compile(r"\buser=<([^>]*)>")
METHOD_FIELD = re.compile(r"\bmethod=([A-Za-z0-9-]+)")
SESSION_FIELD = re.compile(r"\bsession=<([^>]+)>")
LOGOUT_LINE = re.compile(
    r"imap\(([^)]*)\)<(\d+)><([^>]+)>: Info: (.*?) ?in=(\d+) out=(\d+) "
    r"hdr_count=(\d+) hdr_bytes=(\d+) body_count=(\d+) body_bytes=(\d+)")


def totals(sessions):
    """The fetch counters of sessions added up."""
    out = {"sessions": len(sessions), "hdr_count": 0, "hdr_bytes": 0, "body_count": 0, "body_bytes": 0}
    for s in sessions:
        for key in ("hdr_count", "hdr_bytes", "body_count", "body_bytes"):
            out[key] += getattr(s, key)
    return out


# --- the server -----------------------------------------------------------------

class Dovecot:
    """One Dovecot instance with its own configuration, ports and mail.

    starttls=False gives an instance whose imap port offers no STARTTLS (and
    has no imaps port): ssl = no, with plain-text logins allowed, so that
    only the client's refusal keeps its password off the wire."""

    def __init__(self, folder, certificate, users=None, starttls=True, name="dovecot"):
        require_tools()
        self.root = os.path.join(folder, name)
        os.makedirs(self.root)
        self.certificate = certificate
        self.starttls = starttls
        self.users = dict(users or {"reader": DEFAULT_PASSWORD})
        self.imap_port = free_port()
        self.imaps_port = free_port() if starttls else None
        self.process = None
        self._output = None
        self.base_dir = os.path.join(self.root, "run")
        self.state_dir = os.path.join(self.root, "state")
        self.mail_dir = os.path.join(self.root, "mail")
        self.log_path = os.path.join(self.root, "dovecot.log")
        self.config_path = os.path.join(self.root, "dovecot.conf")
        self.passwd_path = os.path.join(self.root, "passwd")
        self._sequence = 0
        self._barriers = 0
        self._barrier_sessions = set()
        self._identities()
        for d in (self.base_dir, self.state_dir, self.mail_dir):
            os.makedirs(d)
        self._chown(self.mail_dir)
        if os.geteuid() == 0:
            # Dovecot's unprivileged processes read the user table and walk
            # to the mail: the folders on the way must let them through.
            for d in (folder, self.root):
                os.chmod(d, 0o755)
        self._write_passwd()
        self._write_config()

    # identities

    def _identities(self):
        if os.geteuid() == 0:
            # Dovecot refuses to run its login processes or mail access as root.
            nobody = pwd.getpwnam("nobody")
            self.mail_uid, self.mail_gid = nobody.pw_uid, nobody.pw_gid
            self.login_user, self.internal_user = "dovenull", "dovecot"
            self.internal_group = "dovecot"
            for user in (self.login_user, self.internal_user):
                try:
                    pwd.getpwnam(user)
                except KeyError:
                    raise FixtureError(f"the system user {user} is missing; {INSTALL_HINT}") from None
        else:
            me = pwd.getpwuid(os.getuid())
            self.mail_uid, self.mail_gid = me.pw_uid, me.pw_gid
            self.login_user = self.internal_user = me.pw_name
            # Its sockets are given to this group, which must be one of ours.
            self.internal_group = grp.getgrgid(os.getgid()).gr_name

    def _chown(self, path):
        if os.geteuid() == 0:
            os.chown(path, self.mail_uid, self.mail_gid)

    def _write_passwd(self):
        lines = []
        for user, password in self.users.items():
            home = os.path.join(self.root, "home", user)
            lines.append(f"{user}:{{PLAIN}}{password}:{self.mail_uid}:{self.mail_gid}::{home}::\n")
        with open(self.passwd_path, "w") as f:
            f.writelines(lines)
        os.chmod(self.passwd_path, 0o644)

    def _write_config(self):
        listeners = f"  inet_listener imap {{\n    port = {self.imap_port}\n  }}\n"
        if self.starttls:
            listeners += f"  inet_listener imaps {{\n    port = {self.imaps_port}\n    ssl = yes\n  }}\n"
            tls = (f"ssl = yes\n"
                   f"ssl_cert = <{self.certificate.cert}\n"
                   f"ssl_key = <{self.certificate.key}\n")
        else:
            tls = "ssl = no\n"
        # Dovecot takes a loopback connection for a secure one and lets a
        # password through on it all the same; the instance without TLS says
        # so outright. Whether a login came over TLS is in its log line.
        plaintext = "yes" if self.starttls else "no"
        text = f"""# Written by the mailbox test fixture; read by nothing but this instance.
base_dir = {self.base_dir}
state_dir = {self.state_dir}
log_path = {self.log_path}
info_log_path = {self.log_path}
protocols = imap
listen = 127.0.0.1
default_login_user = {self.login_user}
default_internal_user = {self.internal_user}
default_internal_group = {self.internal_group}
first_valid_uid = 1
{tls}
disable_plaintext_auth = {plaintext}
auth_mechanisms = plain login
auth_verbose = yes
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {self.passwd_path}
}}
userdb {{
  driver = passwd-file
  args = {self.passwd_path}
}}
mail_location = maildir:{self.mail_dir}/%u
# The fixture's barrier() names its connection with ID.
imap_id_log = name
imap_logout_format = in=%i out=%o hdr_count=%{{fetch_hdr_count}} hdr_bytes=%{{fetch_hdr_bytes}} \
body_count=%{{fetch_body_count}} body_bytes=%{{fetch_body_bytes}}
# No chroot, which only root may do: the fixture also runs as a user.
service anvil {{
  chroot =
}}
service imap-login {{
  chroot =
{listeners}}}
"""
        with open(self.config_path, "w") as f:
            f.write(text)

    # running

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    @property
    def running(self):
        return self.process is not None and self.process.poll() is None

    def start(self):
        """Starts Dovecot in its own process group and waits until every port greets."""
        if self.running:
            raise FixtureError("Dovecot is running already")
        # A master killed earlier left its pid file behind.
        try:
            os.unlink(os.path.join(self.base_dir, "master.pid"))
        except FileNotFoundError:
            pass
        self._output = open(os.path.join(self.root, "dovecot.out"), "ab")
        start_mark = self.mark()
        self.process = subprocess.Popen([DOVECOT, "-c", self.config_path, "-F"], stdin=subprocess.DEVNULL,
                                        stdout=self._output, stderr=subprocess.STDOUT, start_new_session=True,
                                        preexec_fn=_die_with_parent)
        _running.add(self)
        deadline = time.monotonic() + START_WAIT
        ports = [(self.imap_port, False)] + ([(self.imaps_port, True)] if self.imaps_port else [])
        for port, tls in ports:
            while True:
                fatal = [line for line in self.log_since(start_mark) if ": Fatal: " in line]
                if fatal:
                    self.kill()
                    raise FixtureError(f"Dovecot failed to start:\n{self.output_tail()}")
                if self.process.poll() is not None:
                    status = self.process.returncode
                    self._reap()
                    raise FixtureError(f"Dovecot ended with status {status} while starting:\n{self.output_tail()}")
                if self._greets(port, tls):
                    break
                if time.monotonic() >= deadline:
                    self.kill()
                    raise FixtureError(f"Dovecot did not greet on port {port} within {START_WAIT} s:\n"
                                       f"{self.output_tail()}")
                time.sleep(0.05)

    def _greets(self, port, tls):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as raw:
                if not tls:
                    return raw.makefile("rb").readline(1024).startswith(b"* OK")
                with self.client_context().wrap_socket(raw, server_hostname="127.0.0.1") as sock:
                    return sock.makefile("rb").readline(1024).startswith(b"* OK")
        except (OSError, ssl.SSLError):
            return False

    def client_context(self):
        """A TLS context that trusts the authority of this instance's certificate."""
        context = ssl.create_default_context(cafile=self.certificate.authority)
        return context

    def _group(self):
        """The pids of the processes still in Dovecot's process group, zombies aside."""
        if self.process is None:
            return []
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as f:
                    stat = f.read()
            except OSError:
                continue
            # The command may hold spaces and parentheses: the fields follow its last ')'.
            fields = stat[stat.rfind(")") + 2:].split()
            if len(fields) > 2 and fields[0] != "Z" and int(fields[2]) == self.process.pid:
                pids.append(int(entry))
        return pids

    def _reap(self):
        if self.process is not None:
            try:
                self.process.wait(timeout=STOP_WAIT)
            except subprocess.TimeoutExpired:
                pass
        if self._output is not None:
            self._output.close()
            self._output = None

    def _sweep(self):
        """Ends with SIGKILL what is left of the group, and waits for it to go."""
        if self.process is None:
            return
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self._reap()
        left = wait_until(lambda: not self._group(), STOP_WAIT)
        if not left and self._group():
            raise FixtureError(f"Dovecot's processes {self._group()} did not end")

    def kill(self):
        """SIGKILL to the master and all its children at once, as a crash would end them."""
        if self.process is None:
            return
        self._sweep()
        self.process = None
        _running.discard(self)

    def stop(self):
        """A clean shutdown, then whatever is left killed; safe to call twice."""
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=STOP_WAIT)
            except subprocess.TimeoutExpired:
                pass
        self._sweep()
        self.process = None
        _running.discard(self)

    def restart(self):
        self.stop()
        self.start()

    def output_tail(self, lines=30):
        text = ""
        for path in (os.path.join(self.root, "dovecot.out"), self.log_path):
            try:
                with open(path, errors="replace") as f:
                    text += "".join(f.readlines()[-lines:])
            except FileNotFoundError:
                pass
        return text

    # the log

    def mark(self):
        """Where the log ends now: later questions are about what came after."""
        try:
            return os.path.getsize(self.log_path)
        except FileNotFoundError:
            return 0

    def log_since(self, mark):
        try:
            with open(self.log_path, "rb") as f:
                f.seek(mark)
                data = f.read()
        except FileNotFoundError:
            return []
        # A line being written is left for the next look.
        end = data.rfind(b"\n")
        return data[:end + 1].decode("utf-8", errors="replace").splitlines() if end >= 0 else []

    def barrier(self):
        """Returns once the log holds what the login process says of a connection
        of the fixture's own, made now. A client that has ended had its
        connections end before, so what they brought is in the log too."""
        self._barriers += 1
        name = f"quillet-test-barrier-{os.getpid()}-{self._barriers}"
        mark = self.mark()
        with socket.create_connection(("127.0.0.1", self.imap_port), timeout=IO_WAIT) as s:
            f = s.makefile("rb")
            f.readline(4096)
            s.sendall(f'b1 ID ("name" "{name}")\r\nb2 LOGOUT\r\n'.encode())
            while f.readline(4096).split(b" ")[0] not in (b"b2", b""):
                pass
        pattern = f"ID sent: name={name}:"

        def logged():
            for line in self.log_since(mark):
                if pattern in line:
                    sid = SESSION_FIELD.search(line)
                    return sid.group(1) if sid else "?"
            return None

        sid = wait_until(logged, LOG_WAIT)
        if not sid:
            raise FixtureError(f"the barrier connection did not reach Dovecot's log within {LOG_WAIT} s")
        self._barrier_sessions.add(sid)
        # Its disconnection follows its ID line; the next look may find it
        # and leave it out by its session.

    def logins(self, mark):
        """What the login process reported of each connection since mark
        (the fixture's barrier connections left out)."""
        events = []
        for line in self.log_since(mark):
            m = LOGIN_LINE.search(line)
            if not m:
                continue
            rest = m.group(2)
            sid = SESSION_FIELD.search(rest)
            if sid and sid.group(1) in self._barrier_sessions:
                continue
            user = USER_FIELD.search(rest)
            method = METHOD_FIELD.search(rest)
            events.append(LoginEvent(line=line, user=user.group(1) if user else "",
                                     method=method.group(1) if method else "",
                                     logged_in=m.group(1) == "Login",
                                     tls=", TLS" in rest and "TLS handshaking" not in rest))
        return events

    def wait_logins(self, mark, count=1, timeout=LOG_WAIT):
        """The login process's reports since mark, once there are count of them."""
        return wait_until(lambda: (lambda e: e if len(e) >= count else None)(self.logins(mark)), timeout) \
            or self.logins(mark)

    def sessions(self, mark):
        """Each session logged in since mark; those whose logout line has not
        come (or never will, the server killed) have ended False. Sessions
        that logged in before mark are left out, also when they end after it."""
        found = {}
        order = []
        for line in self.log_since(mark):
            m = LOGIN_LINE.search(line)
            if m and m.group(1) == "Login":
                sid = SESSION_FIELD.search(m.group(2))
                user = USER_FIELD.search(m.group(2))
                method = METHOD_FIELD.search(m.group(2))
                if sid:
                    session = found.setdefault(sid.group(1), Session(sid.group(1), "", ""))
                    session.user = user.group(1) if user else ""
                    session.method = method.group(1) if method else ""
                    session.tls = ", TLS" in m.group(2)
                    if sid.group(1) not in order:
                        order.append(sid.group(1))
                continue
            m = LOGOUT_LINE.search(line)
            if m:
                session = found.setdefault(m.group(3), Session(m.group(3), m.group(1), "", False))
                if m.group(3) not in order:
                    order.append(m.group(3))
                session.ended = True
                session.reason = m.group(4)
                (session.bytes_in, session.bytes_out, session.hdr_count, session.hdr_bytes,
                 session.body_count, session.body_bytes) = (int(g) for g in m.groups()[4:])
        return [found[sid] for sid in order if found[sid].method]

    def wait_sessions(self, mark, count=1, timeout=LOG_WAIT):
        """The sessions since mark once at least count have logged in and every
        one that did has logged out; raises when that takes longer than timeout."""

        def settled():
            sessions = self.sessions(mark)
            if len(sessions) >= count and all(s.ended for s in sessions):
                return sessions
            return None

        # Login lines come from the login processes, each on its own way to
        # the log: one of the fixture's own, made now, comes after them.
        if self.running:
            self.barrier()
        sessions = wait_until(settled, timeout)
        if not sessions:
            raise FixtureError(f"expected {count} finished session(s) in Dovecot's log within {timeout} s, "
                               f"found {self.sessions(mark)}")
        return sessions

    # mail

    def folder_path(self, user, mailbox="INBOX"):
        """The Maildir++ folder of a mailbox: INBOX is the user's root, others
        are '.' and their modified UTF-7 name."""
        root = os.path.join(self.mail_dir, user)
        if mailbox.upper() == "INBOX":
            return root
        return os.path.join(root, "." + mutf7(mailbox))

    def _make_folder(self, user, mailbox):
        root = os.path.join(self.mail_dir, user)
        path = self.folder_path(user, mailbox)
        for d in (root, path, *(os.path.join(path, sub) for sub in ("cur", "new", "tmp"))):
            if not os.path.isdir(d):
                os.mkdir(d)
                self._chown(d)
        if path != root:
            marker = os.path.join(path, "maildirfolder")
            if not os.path.exists(marker):
                open(marker, "wb").close()
                self._chown(marker)
        return path

    def deliver(self, user, mailbox, messages, flags=""):
        """Writes messages as Maildir files, as a delivery agent would: unflagged
        ones into new/, those with flags (Maildir letters such as "S" or "FS")
        into cur/. A message is bytes or (bytes, flags). Quick for thousands;
        Dovecot gives them UIDs in the given order when it next looks.
        Returns the files' base names."""
        path = self._make_folder(user, mailbox)
        names = []
        now = int(time.time())
        for item in messages:
            data, message_flags = item if isinstance(item, tuple) else (item, flags)
            self._sequence += 1
            # Dovecot orders files it has not seen by the time in their name.
            base = f"{now}.M{self._sequence:07d}P{os.getpid()}Q{self._sequence}.quillet-test"
            temporary = os.path.join(path, "tmp", base)
            fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            try:
                os.write(fd, data)
                if os.geteuid() == 0:
                    os.fchown(fd, self.mail_uid, self.mail_gid)
            finally:
                os.close(fd)
            letters = "".join(sorted(set(message_flags)))
            if letters:
                final = os.path.join(path, "cur", f"{base}:2,{letters}")
            else:
                final = os.path.join(path, "new", base)
            os.rename(temporary, final)
            names.append(base)
        return names

    def imap(self, user, password=None):
        """A logged-in imaplib connection over the imaps port (the imap port
        for the instance without TLS). Close it with logout()."""
        password = self.users[user] if password is None else password
        if self.imaps_port:
            connection = imaplib.IMAP4_SSL("127.0.0.1", self.imaps_port, ssl_context=self.client_context(),
                                           timeout=IO_WAIT)
        else:
            connection = imaplib.IMAP4("127.0.0.1", self.imap_port, timeout=IO_WAIT)
        try:
            connection.login(user, password)
        except Exception:
            connection.shutdown()
            raise
        return connection

    @staticmethod
    def _quoted(mailbox):
        return '"' + mutf7(mailbox).replace("\\", "\\\\").replace('"', '\\"') + '"'

    def create(self, user, mailbox):
        connection = self.imap(user)
        try:
            status, data = connection.create(self._quoted(mailbox))
            if status != "OK":
                raise FixtureError(f"CREATE {mailbox}: {data}")
        finally:
            connection.logout()

    def append(self, user, mailbox, messages, flags=""):
        """Puts messages into a mailbox by IMAP APPEND, for a few messages on a
        running server. A message is bytes or (bytes, flags as IMAP names
        such as "\\Seen")."""
        connection = self.imap(user)
        try:
            if mailbox.upper() != "INBOX":
                connection.create(self._quoted(mailbox))  # answers NO when it exists
            for item in messages:
                data, message_flags = item if isinstance(item, tuple) else (item, flags)
                status, answer = connection.append(self._quoted(mailbox),
                                                   f"({message_flags})" if message_flags else None, None, data)
                if status != "OK":
                    raise FixtureError(f"APPEND to {mailbox}: {answer}")
        finally:
            connection.logout()

    def flags(self, user, mailbox="INBOX"):
        """{uid: frozenset of flags} of every message, read through EXAMINE,
        which changes nothing. \\Recent belongs to a session and is left out."""
        connection = self.imap(user)
        try:
            status, data = connection.select(self._quoted(mailbox), readonly=True)
            if status != "OK":
                raise FixtureError(f"EXAMINE {mailbox}: {data}")
            if int(data[0]) == 0:
                return {}
            status, data = connection.uid("FETCH", "1:*", "(UID FLAGS)")
            if status != "OK":
                raise FixtureError(f"FETCH FLAGS in {mailbox}: {data}")
            out = {}
            for item in data:
                text = item.decode() if isinstance(item, bytes) else item[0].decode()
                uid = re.search(r"\bUID (\d+)", text)
                flags = re.search(r"\bFLAGS \(([^)]*)\)", text)
                if uid and flags:
                    out[int(uid.group(1))] = frozenset(f for f in flags.group(1).split() if f != "\\Recent")
            return out
        finally:
            connection.logout()

    def status(self, user, mailbox="INBOX"):
        """MESSAGES, UIDNEXT and UIDVALIDITY of a mailbox."""
        connection = self.imap(user)
        try:
            status, data = connection.status(self._quoted(mailbox), "(MESSAGES UIDNEXT UIDVALIDITY)")
            if status != "OK":
                raise FixtureError(f"STATUS {mailbox}: {data}")
            text = data[0].decode()
            return {key: int(re.search(rf"\b{key} (\d+)", text).group(1))
                    for key in ("MESSAGES", "UIDNEXT", "UIDVALIDITY")}
        finally:
            connection.logout()

    def renew_uidvalidity(self, user, mailbox="INBOX"):
        """Makes Dovecot number the mailbox anew, as after a restore: with the
        server stopped, its UID list and indexes go, the messages stay.
        Returns the new UIDVALIDITY."""
        was_running = self.running
        if not was_running:
            self.start()
        old = self.status(user, mailbox)["UIDVALIDITY"]
        self.stop()
        path = self.folder_path(user, mailbox)
        root = os.path.join(self.mail_dir, user)
        for folder in {path, root}:
            for entry in os.listdir(folder):
                # The folder's own numbering, and the list index that caches it.
                if entry == "dovecot-uidlist" or entry.startswith("dovecot.index") or \
                        (folder == root and entry.startswith("dovecot.list.index")):
                    os.unlink(os.path.join(folder, entry))
        self.start()
        new = self.status(user, mailbox)["UIDVALIDITY"]
        if not was_running:
            self.stop()
        if new == old:
            raise FixtureError(f"UIDVALIDITY of {mailbox} stayed {old}")
        return new

    def recreate(self, user, mailbox):
        """Deletes a mailbox and makes it again, empty, over IMAP: a new UIDVALIDITY."""
        connection = self.imap(user)
        try:
            for command in (connection.delete, connection.create):
                status, data = command(self._quoted(mailbox))
                if status != "OK":
                    raise FixtureError(f"{command.__name__.upper()} {mailbox}: {data}")
        finally:
            connection.logout()


# --- a proxy that ends the server ---------------------------------------------------

class KillingProxy:
    """Forwards connections on its own loopback port to a Dovecot port. Once
    limit bytes have come from the server (over all connections), those bytes
    are passed on, Dovecot is killed with SIGKILL and every connection is
    dropped: the client sees its server die at a point the test chose.
    limit=None only forwards."""

    def __init__(self, server, limit=None, port=None):
        self.server = server
        self.target = port or server.imaps_port
        self.limit = limit
        self.from_server = 0
        self.tripped = threading.Event()
        self.connections = 0
        self._lock = threading.Lock()
        self._pairs = []
        self._closing = False
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self._wake_r, self._wake_w = os.pipe()
        self._threads = []
        self._acceptor = threading.Thread(target=self._accept, name="proxy-accept", daemon=True)
        self._acceptor.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _accept(self):
        while True:
            ready, _, _ = select.select([self.listener, self._wake_r], [], [])
            if self._wake_r in ready:
                return
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            with self._lock:
                if self._closing or self.tripped.is_set():
                    client.close()
                    continue
                self.connections += 1
            try:
                upstream = socket.create_connection(("127.0.0.1", self.target), timeout=IO_WAIT)
            except OSError:
                client.close()
                continue
            upstream.settimeout(None)
            with self._lock:
                self._pairs.append((client, upstream))
            thread = threading.Thread(target=self._pump, args=(client, upstream), name="proxy-pump", daemon=True)
            self._threads.append(thread)
            thread.start()

    def _pump(self, client, upstream):
        try:
            while True:
                ready, _, _ = select.select([client, upstream, self._wake_r], [], [])
                if self._wake_r in ready:
                    return
                if client in ready:
                    data = client.recv(65536)
                    if not data:
                        return
                    upstream.sendall(data)
                if upstream in ready:
                    data = upstream.recv(65536)
                    if not data:
                        return
                    with self._lock:
                        room = None if self.limit is None else self.limit - self.from_server
                        if room is not None and len(data) >= room:
                            data = data[:room]
                        self.from_server += len(data)
                        trip = room is not None and self.from_server >= self.limit
                    if data:
                        client.sendall(data)
                    if trip:
                        self._trip()
                        return
        except (OSError, ValueError):  # a socket dropped by another thread
            return
        finally:
            self._drop(client, upstream)

    def _trip(self):
        with self._lock:
            if self.tripped.is_set():
                return
            self.tripped.set()
        self.server.kill()
        with self._lock:
            pairs = list(self._pairs)
        for client, upstream in pairs:
            self._drop(client, upstream)

    @staticmethod
    def _drop(client, upstream):
        for s in (client, upstream):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()

    def close(self):
        with self._lock:
            if self._closing:
                return
            self._closing = True
            pairs = list(self._pairs)
        os.write(self._wake_w, b"x")
        self._acceptor.join(timeout=IO_WAIT)
        for thread in self._threads:
            thread.join(timeout=IO_WAIT)
        for client, upstream in pairs:
            self._drop(client, upstream)
        self.listener.close()
        os.close(self._wake_r)
        os.close(self._wake_w)


def remove_tree(folder):
    """Removes a fixture folder, also the mail that Dovecot's user owns."""
    shutil.rmtree(folder, ignore_errors=True)
