#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The page of cancel forms in a real browser.

The fixture writes Cancel.html with every service host pointed at a loopback
server of this script's own. Headless Chromium opens the page, each form's
cancel button is pressed, and the server checks what arrived: path, method and
the Shift_JIS-decoded fields. A name that carries markup must stay text, and
the まぐまぐ cancel-page address must reach the server too.

usage: test_cancel_page.py path/to/cancel_page_fixture
"""

import http.server
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import urllib.parse

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
INSTALL_HINT = "install them with: source scripts/setup.sh && quil_setup"

try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError as error:
    print(f"FAIL: selenium is not importable by {sys.executable} ({error}); {INSTALL_HINT}")
    sys.exit(1)

MAG2_NAME = "<script>window.pwned=1</script>まぐ誌 & Co"
NAMES = [MAG2_NAME, "Pubzine誌", "Clickincome誌", "melma誌", "一回で解除できる通信"]

# Row index (stored order) -> what its form must post.
EXPECTED_POSTS = [
    ("まぐまぐ", 0, "/mag2/scripts/magrddel.dll",
     {"MfcISAPICommand": ["MagRdDel"], "magid": ["0000000123"], "rdemail": ["reader@example.jp"]}),
    ("Pubzine", 1, "/listdel.asp",
     {"id": ["77"], "email": ["pub@example.jp"]}),
    ("Clickincome", 2, "/md/mailregi",
     {"mailmag": ["del"], "magid": ["m00045678"], "email": ["click@example.jp"]}),
    # A list's one-click form posts what a mail program's one-click sends.
    ("one-click list", 4, "/one-click?list=neko&u=1",
     {"List-Unsubscribe": ["One-Click"]}),
]
MELMA_ROW = 3

# Bounds on waits; all of them together stay below CTest's timeout, so the
# script always gets to close the browser itself.
FIXTURE_WAIT = 60     # seconds for the fixture to write the page
REQUEST_WAIT = 20.0   # seconds for a request to reach the server
PAGE_LOAD_WAIT = 20   # seconds for the browser to load a page

ANSWER = (b"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><link rel=\"icon\" href=\"data:,\">"
          b"<title>ok</title></head><body>ok</body></html>")


class Recorder:
    """Requests seen by the loopback server, in arrival order."""

    def __init__(self):
        self.requests = []
        self.changed = threading.Condition()

    def add(self, request):
        with self.changed:
            self.requests.append(request)
            self.changed.notify_all()

    def count(self):
        with self.changed:
            return len(self.requests)

    def wait_after(self, start, timeout):
        """The first request after index `start`, other than a favicon; None on timeout."""
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                for request in self.requests[start:]:
                    if request["path"] != "/favicon.ico":
                        return request
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    return None
                self.changed.wait(remaining)


def make_handler(recorder):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def record_and_answer(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length > 0 else b""
            recorder.add({
                "method": self.command,
                "path": self.path,
                "headers": {k.lower(): v for k, v in self.headers.items()},
                "body": body,
            })
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(ANSWER)))
            self.end_headers()
            self.wfile.write(ANSWER)

        do_GET = record_and_answer
        do_POST = record_and_answer

        def log_message(self, format, *args):
            pass

    return Handler


def write_settings(config_home, port):
    folder = os.path.join(config_home, "quillet")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    host = f"127.0.0.1:{port}"
    lines = ["REGEDIT4", "", "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]"]
    for name in ("HostMag2Page", "HostMag2Cancel", "HostPubzine", "HostMelma", "HostClickincome"):
        lines.append(f'"{name}"="{host}"')
    path = os.path.join(folder, "registry.reg")
    with open(path, "w", encoding="ascii", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")
    os.chmod(path, 0o600)


def start_browser(profile, log_path):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER, log_path=log_path), options=options)
    driver.set_page_load_timeout(PAGE_LOAD_WAIT)
    return driver


def candidate_rows(driver):
    """The table's rows after the header row, in page order."""
    return driver.find_elements(By.CSS_SELECTOR, "table tr")[1:]


class Check:
    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        # Checks repeated on every load report a failure once.
        if not condition and message not in self.failures:
            self.failures.append(message)
            print(f"FAIL: {message}", flush=True)
        return condition


def check_page(driver, check, url):
    """Loads the page afresh and checks what every load must show."""
    driver.get(url)
    check.expect(driver.execute_script("return window.pwned === undefined"),
                 "a script from a newsletter name ran in the page (window.pwned is set)")
    check.expect(driver.execute_script("return document.getElementsByTagName('script').length") == 0,
                 "the page holds a <script> element")
    rows = candidate_rows(driver)
    names = [driver.execute_script("return arguments[0].cells[0] ? arguments[0].cells[0].textContent : null", row)
             for row in rows]
    check.expect(names == NAMES, f"names in the candidate rows: expected {NAMES!r}, got {names!r}")
    return rows


def check_post(request, label, path, fields, check):
    if not check.expect(request is not None, f"{label}: no request reached the server within {REQUEST_WAIT} s"):
        return
    check.expect(request["method"] == "POST", f"{label}: method {request['method']!r}, expected POST")
    check.expect(request["path"] == path, f"{label}: path {request['path']!r}, expected {path!r}")
    kind = request["headers"].get("content-type", "")
    check.expect(kind.split(";")[0].strip() == "application/x-www-form-urlencoded",
                 f"{label}: content type {kind!r}, expected application/x-www-form-urlencoded")
    try:
        got = urllib.parse.parse_qs(request["body"].decode("ascii"), keep_blank_values=True,
                                    strict_parsing=True, encoding="shift_jis", errors="strict")
    except (UnicodeDecodeError, ValueError) as error:
        check.expect(False, f"{label}: form body {request['body']!r} does not decode: {error}")
        return
    check.expect(got == fields, f"{label}: fields {got!r}, expected {fields!r}")


def run(fixture, work, check):
    data_home = os.path.join(work, "data")
    config_home = os.path.join(work, "config")
    cwd = os.path.join(work, "cwd")
    profile = os.path.join(work, "profile")
    for folder in (data_home, config_home, cwd, profile):
        os.makedirs(folder, mode=0o700)

    recorder = Recorder()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), make_handler(recorder))
    server.daemon_threads = True
    port = server.server_address[1]
    thread = threading.Thread(target=server.serve_forever, name="loopback-server", daemon=True)
    thread.start()
    driver = None
    log_path = os.path.join(work, "chromedriver.log")
    try:
        write_settings(config_home, port)
        env = dict(os.environ, XDG_DATA_HOME=data_home, XDG_CONFIG_HOME=config_home)
        result = subprocess.run([fixture], cwd=cwd, env=env, capture_output=True, timeout=FIXTURE_WAIT)
        if not check.expect(result.returncode == 0,
                            f"the fixture exited with {result.returncode}: "
                            f"{result.stderr.decode('utf-8', 'replace').strip()}"):
            return
        mag2_page = result.stdout.decode("utf-8").strip()
        expected_page = f"http://127.0.0.1:{port}/mag2/m/0000000123.htm"
        check.expect(mag2_page == expected_page,
                     f"まぐまぐ cancel-page address {mag2_page!r}, expected {expected_page!r}")
        page_path = os.path.join(cwd, "Cancel.html")
        if not check.expect(os.path.isfile(page_path), "the fixture wrote no Cancel.html"):
            return
        url = "file://" + urllib.parse.quote(page_path)

        try:
            driver = start_browser(profile, log_path)
        except WebDriverException as error:
            log = open(log_path, encoding="utf-8", errors="replace").read() if os.path.exists(log_path) else ""
            check.expect(False, f"headless Chromium did not start: {error.msg}\n{log[-4000:]}")
            return

        rows = check_page(driver, check, url)
        if len(rows) == len(NAMES):
            melma_submit = rows[MELMA_ROW].find_element(By.CSS_SELECTOR, "input[type=submit]")
            check.expect(driver.execute_script("return arguments[0].form === null", melma_submit),
                         "the melma row's button belongs to a form")
            check.expect(driver.execute_script(
                "return arguments[0].querySelectorAll('input:not([type=submit])').length", rows[MELMA_ROW]) == 0,
                "the melma row has form fields")

        for label, index, path, fields in EXPECTED_POSTS:
            rows = check_page(driver, check, url)
            if not check.expect(len(rows) > index, f"{label}: the page has no row {index + 1}"):
                continue
            submit = rows[index].find_element(By.CSS_SELECTOR, "input[type=submit]")
            check.expect(driver.execute_script("return arguments[0].form !== null", submit),
                         f"{label}: the row's button belongs to no form")
            start = recorder.count()
            submit.click()
            check_post(recorder.wait_after(start, REQUEST_WAIT), label, path, fields, check)

        start = recorder.count()
        driver.get(mag2_page)
        request = recorder.wait_after(start, REQUEST_WAIT)
        if check.expect(request is not None, f"opening {mag2_page}: no request reached the server"):
            check.expect(request["method"] == "GET" and request["path"] == "/mag2/m/0000000123.htm",
                         f"opening {mag2_page}: got {request['method']} {request['path']!r}, "
                         "expected GET '/mag2/m/0000000123.htm'")
    except Exception as error:
        check.expect(False, f"unexpected {type(error).__name__}: {error}\n{traceback.format_exc()}")
    finally:
        if driver is not None:
            try:
                driver.quit()
            except Exception as error:  # the browser may already be gone
                print(f"note: closing the browser: {error}")
        server.shutdown()
        server.server_close()
        thread.join(timeout=10)
        if check.failures:
            page_path = os.path.join(cwd, "Cancel.html")
            if os.path.isfile(page_path):
                with open(page_path, "rb") as f:
                    print("Cancel.html as written:\n" + f.read().decode("shift_jis", "replace"))
            print("requests seen by the server:")
            for request in recorder.requests:
                print(f"  {request['method']} {request['path']} {request['body']!r}")


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1])
        return 2
    fixture = os.path.abspath(sys.argv[1])
    missing = [p for p in (CHROMIUM, CHROMEDRIVER) if not os.access(p, os.X_OK)]
    if missing:
        print(f"FAIL: missing {', '.join(missing)}; {INSTALL_HINT}")
        return 1
    if not os.access(fixture, os.X_OK):
        print(f"FAIL: {fixture} is not an executable")
        return 1

    # A stop from CTest still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(f"FAIL: stopped by signal {signum}"))
    check = Check()
    began = time.monotonic()
    work = tempfile.mkdtemp(prefix="quil-browser-")
    try:
        run(fixture, work, check)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    elapsed = time.monotonic() - began
    if check.failures:
        print(f"{len(check.failures)} check(s) failed ({elapsed:.1f} s)")
        return 1
    print(f"cancel page in Chromium: all checks passed ({elapsed:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
