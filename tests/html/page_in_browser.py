#!/usr/bin/env python3
"""The results page in a real browser: Debian's chromium, run headless and driven through
chromedriver's WebDriver protocol. dwc writes the page for two small trees, one file named
to inject markup and script; the page must load without a script error, show every row,
bring in no element of a name, sort a column both ways and filter by a text.

Usage: page_in_browser.py DWC. Exits 77 (skipped) when chromium or chromedriver is missing.
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77
# No "/" in it: a file name cannot hold one.
HOSTILE = '<img src=x onerror="document.title=\'pwned\'">&amp;<script>document.title=\'pwned\''



def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Driver:
    def __init__(self, port):
        self.base = "http://127.0.0.1:%d" % port
        self.session = None

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(req, timeout=60) as r:
                return json.loads(r.read() or b"{}").get("value")
        except urllib.error.HTTPError as e:
            raise AssertionError("%s %s: %s" % (method, path, e.read().decode(errors="replace")))

    def start(self, profile):
        args = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                "--no-first-run", "--user-data-dir=" + profile]
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": shutil.which("chromium"), "args": args},
            "goog:loggingPrefs": {"browser": "ALL"}}}}
        self.session = self.call("POST", "/session", caps)["sessionId"]

    def s(self, path):
        return "/session/%s%s" % (self.session, path)

    def run(self, script, *args):
        return self.call("POST", self.s("/execute/sync"), {"script": script, "args": list(args)})

    def click(self, css):
        el = self.call("POST", self.s("/element"), {"using": "css selector", "value": css})
        self.call("POST", self.s("/element/%s/click" % list(el.values())[0]), {})

    def type(self, css, text):
        el = self.call("POST", self.s("/element"), {"using": "css selector", "value": css})
        self.call("POST", self.s("/element/%s/value" % list(el.values())[0]), {"text": text})


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    dwc = sys.argv[1]
    if not shutil.which("chromium") or not shutil.which("chromedriver"):
        print("chromium or chromedriver is not installed: skipped")
        return SKIP
    failures = []

    def check(what, ok, detail=""):
        if not ok:
            failures.append("%s %s" % (what, detail))

    with tempfile.TemporaryDirectory() as top:
        master, compare = os.path.join(top, "m"), os.path.join(top, "c")
        os.makedirs(os.path.join(master, "sub"))
        os.makedirs(compare)
        files = {"a.txt": (30, 3), "b.txt": (10, 10), "sub/c.txt": (20, None), HOSTILE: (5, 5)}
        for name, (m, c) in files.items():
            with open(os.path.join(master, name), "w") as f:
                f.write("x" * m)
            if c is not None:
                with open(os.path.join(compare, name), "w") as f:
                    f.write("x" * c)
        page = os.path.join(top, "page.html")
        with open(page, "wb") as out:
            status = subprocess.run([dwc, "-q", "--format", "html", master, compare],
                                    stdout=out).returncode
        check("dwc's status", status == 1, str(status))

        port = free_port()
        driver_log = open(os.path.join(top, "chromedriver.log"), "w")
        server = subprocess.Popen(["chromedriver", "--port=%d" % port], stdout=driver_log,
                                  stderr=subprocess.STDOUT)
        try:
            d = Driver(port)
            for _ in range(100):
                try:
                    d.call("GET", "/status")
                    break
                except Exception:
                    time.sleep(0.1)
            d.start(os.path.join(top, "profile"))
            d.call("POST", d.s("/url"), {"url": "file://" + page})
            state = d.run("return {title: document.title, rows: document.querySelectorAll("
                          "'#rows tbody tr').length, imgs: document.images.length, scripts: "
                          "document.scripts.length, names: Array.from(document.querySelectorAll("
                          "'#rows tbody td:nth-child(2)'), c => c.textContent)};")
            check("every row shown", state["rows"] == 4, str(state))
            check("no name became markup", state["imgs"] == 0 and state["scripts"] == 1, str(state))
            check("no name ran script", "pwned" not in state["title"], state["title"])
            check("the hostile name shows as text", HOSTILE in state["names"], str(state["names"]))

            def paths():
                return d.run("return Array.from(document.querySelectorAll('#rows tbody tr'), "
                             "r => r.cells[1].textContent + ':' + r.cells[2].textContent);")

            # Master Size, by number: the first click sorts descending, as in the window.
            sizes = ["000,000,030", "000,000,020", "000,000,010", "000,000,005"]
            d.click("#rows thead th:nth-child(3)")
            check("sorted descending by size", [p.rsplit(":", 1)[1] for p in paths()] == sizes,
                  str(paths()))
            d.click("#rows thead th:nth-child(3)")
            check("sorted ascending by size", [p.rsplit(":", 1)[1] for p in paths()] ==
                  sizes[::-1], str(paths()))
            d.type("#filter", "sub/")
            shown = d.run("return Array.from(document.querySelectorAll('#rows tbody tr'))"
                          ".filter(r => !r.hidden).map(r => r.cells[1].textContent);")
            check("filtered by text", shown == ["sub/c.txt"], str(shown))
            check("the count follows", d.run("return document.getElementById('shown')"
                                            ".textContent;") == "1 of 4 rows")
            logs = d.call("POST", d.s("/se/log"), {"type": "browser"}) or []
            errors = [e for e in logs if e.get("level") == "SEVERE"]
            check("no error in the console", not errors, str(errors))
            d.call("DELETE", d.s(""))
        finally:
            server.terminate()
            server.wait(10)
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
