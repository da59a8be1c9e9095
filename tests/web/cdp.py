"""Headless Chromium driven through the DevTools protocol over a pipe.

Chromium reads commands from file descriptor 3 and writes answers and events
to file descriptor 4, each message JSON ending in a zero byte; no WebSocket
client and no browser download are needed. Debian's chromium runs headless as
root with --no-sandbox; SwiftShader gives it WebGL2 without a GPU.
"""

import base64
import json
import os
import select
import shutil
import subprocess
import tempfile
import time


class BrowserError(Exception):
    pass


class Browser:
    def __init__(self, width, height, executable="chromium", gesture_for_sound=False):
        self.profile = tempfile.mkdtemp(prefix="zor-chromium-")
        to_child_read, self.to_child = os.pipe()
        self.from_child, from_child_write = os.pipe()

        def wire():
            # Out of the way first, so neither lands on the other's number.
            a, b = os.dup(to_child_read), os.dup(from_child_write)
            os.dup2(a, 3)
            os.dup2(b, 4)

        args = [
            executable, "--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
            "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
            "--disable-gpu-vsync", "--hide-scrollbars", "--mute-audio",
            f"--user-data-dir={self.profile}",
            f"--window-size={width},{height}", "--remote-debugging-pipe", "about:blank",
        ]
        if not gesture_for_sound:
            args.insert(-3, "--autoplay-policy=no-user-gesture-required")
        self.process = subprocess.Popen(args, preexec_fn=wire, pass_fds=(3, 4), stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_child_read)
        os.close(from_child_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.console = []
        targets = self.call("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.call("Target.attachToTarget", targetId=page["targetId"], flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(f"{domain}.enable", session=True)

    def close(self):
        try:
            self.call("Browser.close", timeout=10)
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_child)
        os.close(self.from_child)
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # ---- protocol ------------------------------------------------------------
    def _read_message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise BrowserError("no answer from chromium in time")
            ready, _, _ = select.select([self.from_child], [], [], left)
            if ready:
                chunk = os.read(self.from_child, 1 << 20)
                if not chunk:
                    raise BrowserError("chromium has gone away")
                self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def _note(self, message):
        method = message.get("method")
        params = message.get("params", {})
        if method == "Runtime.consoleAPICalled":
            text = " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", []))
            self.console.append((params.get("type"), text))
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            self.console.append(("exception", details.get("exception", {}).get("description", details.get("text"))))
        elif method == "Log.entryAdded":
            entry = params.get("entry", {})
            self.console.append((entry.get("level"), entry.get("text")))
        self.events.append(message)

    def call(self, method, session=False, timeout=60, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = self.session
        os.write(self.to_child, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise BrowserError(f"{method}: {answer['error']}")
                return answer.get("result", {})
            self._note(answer)

    def pump(self, seconds):
        """Takes events for a while (console messages)."""
        deadline = time.monotonic() + seconds
        try:
            while True:
                self._note(self._read_message(deadline))
        except BrowserError:
            pass

    # ---- page ----------------------------------------------------------------
    def open(self, url):
        self.console.clear()
        self.call("Page.navigate", session=True, url=url)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", session=True, expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            raise BrowserError(f"{expression}: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout=120):
        """Waits until the expression is true in the page; returns its last value."""
        deadline = time.monotonic() + timeout
        value = None
        while time.monotonic() < deadline:
            try:
                value = self.evaluate(expression)
            except BrowserError:
                value = None
            if value:
                return value
            self.pump(0.2)
        raise BrowserError(f"timed out waiting for {expression} (last: {value!r}); console: {self.console[-10:]}")

    def click(self, selector):
        box = self.evaluate(
            f"(() => {{ const r = document.querySelector({json.dumps(selector)}).getBoundingClientRect();"
            " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", session=True, type=kind, x=box[0], y=box[1], button="left",
                      clickCount=1)

    def tap(self, selector):
        """A finger's tap on the element's centre (touch emulation must be on)."""
        box = self.evaluate(
            f"(() => {{ const r = document.querySelector({json.dumps(selector)}).getBoundingClientRect();"
            " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
        self.call("Input.dispatchTouchEvent", session=True, type="touchStart", touchPoints=[{"x": box[0], "y": box[1]}])
        self.call("Input.dispatchTouchEvent", session=True, type="touchEnd", touchPoints=[])

    def emulate_phone(self, width, height, landscape=False):
        """Chromium's mobile emulation: a phone's viewport, touch, an orientation."""
        self.call("Emulation.setDeviceMetricsOverride", session=True, width=width, height=height,
                  deviceScaleFactor=3, mobile=True,
                  screenOrientation={"type": "landscapePrimary" if landscape else "portraitPrimary",
                                     "angle": 90 if landscape else 0})
        self.call("Emulation.setTouchEmulationEnabled", session=True, enabled=True, maxTouchPoints=5)

    def press_escape(self):
        for kind in ("rawKeyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", session=True, type=kind, key="Escape", code="Escape",
                      windowsVirtualKeyCode=27, nativeVirtualKeyCode=27)

    def set_files(self, selector, paths):
        """Hands files to an <input type="file"> as if they were picked."""
        found = self.call("Runtime.evaluate", session=True, expression=f"document.querySelector({json.dumps(selector)})")
        self.call("DOM.setFileInputFiles", session=True, files=paths, objectId=found["result"]["objectId"])

    def screenshot(self):
        """The page as shown, as PNG bytes."""
        return base64.b64decode(self.call("Page.captureScreenshot", session=True, format="png")["data"])

    def data_url_bytes(self, expression):
        url = self.evaluate(expression)
        if not url or "," not in url:
            raise BrowserError(f"{expression} gave no data URL")
        return base64.b64decode(url.split(",", 1)[1])
