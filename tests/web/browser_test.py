#!/usr/bin/env python3
"""The page in a real browser: headless Chromium loads it from a local HTTP
server and is driven through the DevTools protocol.

  browser_test.py frames --page DIR --native BUILD
      frames 100, 800 and 1600 of the sample demo at 320x240 through
      ?frame=N match zor-render's within the tolerance below
  browser_test.py panels --page DIR
      the set-up panel starts the demo, Escape ends it, the end panel plays
      it again (full screen, with no pointer over the picture); the site is
      asked for no file it does not have
  browser_test.py phone --page DIR
      in Chromium's mobile emulation (390x844, touch, sound only after a
      gesture): a tap starts the demo and its music, the canvas stays 4:3 and
      centred in portrait and after turning to landscape, a tap ends it
  browser_test.py bad-input --page DIR
      each kind of bad data gives its message in the page and on the console
  browser_test.py open --page DIR --native BUILD
      another demo handed to "Open a demo..." (a glTF model imported with
      zor-import and published with zor-publish): a damaged archive is refused
      with a message naming it (as text, markup in its name and all), the
      sample stays; the published zor.dat plays in place of the sample,
      named by its title
  browser_test.py disk --page DIR --native BUILD
      the same model published: its site opened from the disk (file://) says
      why it cannot play and names the single-file page; its single file
      plays from the disk with no server, shows its title as text and its
      poster, with no console errors, under its title; its site, served,
      plays and is asked for no file it does not have
  browser_test.py bundle --bundle TARBALL
      scripts/web --dist's bundle, unpacked and served at about 1 MB/s: the
      progress bar moves before the start panel appears, the page shows the
      version and links the licence it carries, its README names the version; served with the wrong type for
      zor.wasm, the page says so and still starts
  browser_test.py bench --page DIR --native BUILD [--sizes WxH,...] [--without PART]
      a benchmark, not a test: ?bench in the page (whole frames; at 640x480
      also &smooth) and zor-render --bench at the same size, and their ratio,
      at 640x480 and 1920x1080; with --without present, draws, blended or
      opaque, the page leaves those draws out

DIR is the built page (scripts/web's build-web/) with the sample demo;
BUILD the native build folder holding zor-render and demo/.
"""

import argparse
import base64
import contextlib
import functools
import http.server
import os
import shutil
import gzip
import json
import re
import struct
import subprocess
import sys
import tarfile
import tempfile
import threading
import time
import zlib

from cdp import Browser

# At most this share of pixels may differ by more than this many levels in
# any channel: the JPEG decoders (libjpeg natively, stb_image in the page)
# and the rasterisers (Mesa llvmpipe, SwiftShader) round differently, most of
# all at the edges of the additive particle squares, where one step of the
# 5-bit channels is already 8 levels.
MAX_SHARE_OFF = 0.03
LEVELS = 16

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
LICENSE = os.path.join(SOURCE, "LICENSE")


def runtime_files():
    """The page's runtime as src/writers/web_page.h lists it: (name, role)."""
    with open(os.path.join(SOURCE, "src", "writers", "web_page.h")) as f:
        return re.findall(r'\{"([^"]+)", WebFileRole::(\w+)\}', f.read())


# The page and the player, which a site serves (and keeps gzip copies of).
PAGE_FILES = tuple(name for name, role in runtime_files() if role not in ("Readme", "Licence"))


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    requests = None  # when a list, every answer's (status, path) is noted in it: the server's log

    def log_message(self, *args):
        pass

    def log_request(self, code="-", size="-"):
        if self.requests is not None:
            self.requests.append((int(code) if str(code).isdigit() or isinstance(code, int) else code, self.path))


def not_found(requests):
    return [path for status, path in requests if status == 404]


@contextlib.contextmanager
def serving(root, requests=None):
    handler = type("LoggingHandler", (QuietHandler,), {"requests": requests})
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(handler, directory=root))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        server.server_close()


class Throttle:
    """Shared by every connection: the server as a whole sends about `rate`
    bytes a second, as a slow line would."""

    def __init__(self, rate):
        self.rate = rate
        self.lock = threading.Lock()
        self.next_free = time.monotonic()

    def wait_to_send(self, size):
        with self.lock:
            now = time.monotonic()
            self.next_free = max(self.next_free, now) + size / self.rate
            delay = self.next_free - size / self.rate - now
        if delay > 0:
            time.sleep(delay)


@contextlib.contextmanager
def serving_slowly(root, rate, wasm_type="application/wasm"):
    throttle = Throttle(rate)

    class SlowHandler(QuietHandler):
        extensions_map = dict(QuietHandler.extensions_map, **{".wasm": wasm_type})

        def copyfile(self, source, outputfile):
            while True:
                chunk = source.read(16384)
                if not chunk:
                    break
                throttle.wait_to_send(len(chunk))
                outputfile.write(chunk)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(SlowHandler, directory=root))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        server.server_close()


def rgb_pixels(png_path):
    return subprocess.run(["convert", png_path, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout


def compare(page_png, native_png):
    a, b = rgb_pixels(page_png), rgb_pixels(native_png)
    if len(a) != len(b):
        raise AssertionError(f"sizes differ: {len(a)} and {len(b)} bytes of RGB")
    pixels = len(a) // 3
    off = sum(1 for i in range(0, len(a), 3)
              if max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2])) > LEVELS)
    return off / pixels


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def share_of(png_bytes, test):
    """The share of a picture's pixels for which test(r, g, b) holds."""
    with tempfile.NamedTemporaryFile(suffix=".png") as f:
        f.write(png_bytes)
        f.flush()
        rgb = rgb_pixels(f.name)
    pixels = len(rgb) // 3
    return sum(1 for i in range(0, len(rgb), 3) if test(rgb[i], rgb[i + 1], rgb[i + 2])) / pixels


def errors_on_console(browser):
    return [text for kind, text in browser.console if kind in ("error", "exception")]


def play_and_look(browser):
    """Starts the demo from the set-up panel (without music) and gives the
    page as shown a second later."""
    browser.evaluate("document.getElementById('nosound').checked = true")
    browser.click("#control-1024")
    browser.wait_for("document.body.dataset.state === 'playing' || document.body.dataset.state === 'error'")
    check(browser.evaluate("document.body.dataset.state") == "playing",
          f"the demo does not play: {page_errors(browser)!r}")
    browser.pump(1.5)
    return browser.screenshot()


# ---- frames ------------------------------------------------------------------
def test_frames(args):
    render = os.path.join(args.native, "tools", "zor-render", "zor-render")
    demo = os.path.join(args.native, "demo")
    work = tempfile.mkdtemp(prefix="zor-web-frames-")
    try:
        with serving(args.page) as base, Browser(320, 240) as browser:
            for frame in (100, 800, 1600):
                native = os.path.join(work, f"native-{frame}.png")
                subprocess.run([render, "--dir", demo, "--size", "320x240", "--frame", str(frame), "--out", native],
                               check=True, capture_output=True, env=dict(os.environ, SDL_VIDEODRIVER="offscreen"))
                browser.open(f"{base}index.html?frame={frame}&size=320x240")
                state = browser.wait_for("document.body.dataset.state")
                check(state == "frame-shown", f"frame {frame}: the page ended in state {state}: {browser.console}")
                page = os.path.join(work, f"page-{frame}.png")
                with open(page, "wb") as f:
                    f.write(browser.data_url_bytes("Module.page.shot"))
                share = compare(page, native)
                print(f"frame {frame}: {share * 100:.2f}% of pixels off by more than {LEVELS} levels "
                      f"(at most {MAX_SHARE_OFF * 100:.0f}%)", flush=True)
                check(share <= MAX_SHARE_OFF, f"frame {frame} differs from zor-render's; pictures kept in {work}")
        shutil.rmtree(work)
    except Exception:
        print(f"pictures kept in {work}")
        raise


# ---- panels ------------------------------------------------------------------
def canvas_cursor(browser):
    return browser.evaluate("getComputedStyle(document.getElementById('screen')).cursor")


def test_panels(args):
    requests = []
    with serving(args.page, requests) as base, Browser(800, 600) as browser:
        browser.open(base + "index.html")
        browser.wait_for("document.getElementById('setup').dataset.open === '1'")
        button = browser.evaluate("document.getElementById('control-1024').textContent")
        check(button == "Let\u00b4s go!!", f"the start button reads {button!r}")
        mode = browser.evaluate("(() => { const l = document.getElementById('control-2049');"
                                " return l.options[l.selectedIndex].textContent; })()")
        check(mode == "640x480x16Bpp", f"the preselected mode is {mode!r}")
        # With music: the browser decodes the MP3 and plays it (into no sound
        # card at all here).
        browser.click("#control-1024")
        browser.wait_for("document.body.dataset.state === 'playing'")
        playing = browser.evaluate("Module.page.audio.pieces.filter(p => p && p.source).length")
        check(playing == 1, f"{playing} pieces of music play")
        size = browser.evaluate("[document.getElementById('screen').width, document.getElementById('screen').height]")
        check(size == [640, 480], f"the canvas draws at {size}")
        # Kept at 4:3, as large as the window allows.
        shown = browser.evaluate("(() => { const r = document.getElementById('screen').getBoundingClientRect();"
                                 " return [r.width, r.height, innerWidth, innerHeight]; })()")
        check(abs(shown[0] * 3 - shown[1] * 4) <= 4 and (shown[0] == shown[2] or shown[1] == shown[3]),
              f"the canvas is shown at {shown[0]}x{shown[1]} in a window of {shown[2]}x{shown[3]}")
        browser.pump(1.0)
        browser.press_escape()
        # Long before the scene's own end (a minute in).
        browser.wait_for("document.body.dataset.state === 'ended'", timeout=15)
        check(not browser.evaluate("document.getElementById('end-panel').hidden"), "no end panel")
        check(browser.evaluate("Module.page.audio.pieces.filter(p => p && p.source).length") == 0,
              "the music plays on after the end")
        # What a play leaves behind in Emscripten's runtime: its GL names and
        # the page's key handlers; the next play must leave no more.
        leftovers = "[GL.counter, GL.textures.length, JSEvents.eventHandlers.length]"
        after_first = browser.evaluate(leftovers)
        # An Escape too many on the end panel belongs to the ended play.
        browser.press_escape()
        # Played again full screen: no pointer over the picture while it plays.
        browser.call("Runtime.evaluate", session=True, expression="document.documentElement.requestFullscreen()",
                     userGesture=True, awaitPromise=True)
        check(browser.evaluate("document.fullscreenElement === document.documentElement"), "no full screen")
        browser.click("#again")
        browser.wait_for("document.body.dataset.state === 'playing'")
        browser.pump(1.0)
        check(browser.evaluate("document.body.dataset.state") == "playing", "played again, the demo ended at once")
        check(canvas_cursor(browser) == "none", f"full screen, the pointer over the picture is {canvas_cursor(browser)!r}")
        check(browser.evaluate("document.title") == "ZOR @ QUENT7", "the sample plays under another title")
        check(browser.evaluate("Module.page.audio.pieces.filter(p => p && p.source).length") == 1,
              "no music when played again")
        # A click on the picture ends it as well; the pointer is back.
        browser.click("#screen")
        browser.wait_for("document.body.dataset.state === 'ended'", timeout=15)
        check(canvas_cursor(browser) != "none", "after the end the pointer stays hidden over the picture")
        after_second = browser.evaluate(leftovers)
        check(after_second == after_first, f"GL names, GL textures and event handlers after one play {after_first},"
                                           f" after two {after_second}")
        # The sample's site (scripts/web lists its files) was asked for nothing
        # it does not have.
        check(not not_found(requests), f"the page asked for files the site does not have: {not_found(requests)}")
    print("set-up panel, Escape, end panel, play again, click: as expected")


# ---- phone ---------------------------------------------------------------------
def canvas_box(browser):
    return browser.evaluate("(() => { const r = document.getElementById('screen').getBoundingClientRect();"
                            " return [r.left, r.top, r.width, r.height, innerWidth, innerHeight]; })()")


def check_centred(box, what):
    left, top, width, height, view_width, view_height = box
    check(abs(width * 3 - height * 4) <= 4, f"{what}: the canvas is shown at {width}x{height}, not 4:3")
    check(width <= view_width and height <= view_height and (width >= view_width - 1 or height >= view_height - 1),
          f"{what}: the canvas ({width}x{height}) is not the largest 4:3 box in {view_width}x{view_height}")
    check(abs(left - (view_width - width) / 2) <= 1 and abs(top - (view_height - height) / 2) <= 1,
          f"{what}: the canvas at {left},{top} is not centred in {view_width}x{view_height}")


def test_phone(args):
    # Sound only after a gesture, as on a phone.
    with serving(args.page) as base, Browser(390, 844, gesture_for_sound=True) as browser:
        browser.emulate_phone(390, 844)
        browser.open(base + "index.html")
        browser.wait_for("document.getElementById('setup').dataset.open === '1'")
        check(browser.evaluate("innerWidth") == 390, "the page is not laid out at the phone's width")
        button = browser.evaluate("(() => { const r = document.getElementById('control-1024')"
                                  ".getBoundingClientRect(); return r.right <= innerWidth && r.bottom <= innerHeight;"
                                  " })()")
        check(button, "the start button lies outside the phone's screen")
        browser.tap("#control-1024")
        browser.wait_for("document.body.dataset.state === 'playing'")
        browser.wait_for("Module.page.audio.context && Module.page.audio.context.state === 'running'", timeout=10)
        check(browser.evaluate("Module.page.audio.pieces.filter(p => p && p.source).length") == 1,
              "the tap did not start the music")
        check_centred(canvas_box(browser), "portrait")
        browser.emulate_phone(844, 390, landscape=True)
        browser.wait_for("innerWidth === 844")
        # The page fits the canvas on the resize event, which a busy machine
        # may deliver a while after the new width is there.
        browser.wait_for("(() => { const r = document.getElementById('screen').getBoundingClientRect();"
                         " return r.width >= innerWidth - 1 || r.height >= innerHeight - 1; })()", timeout=10)
        check_centred(canvas_box(browser), "landscape")
        check(browser.evaluate("document.body.dataset.state") == "playing", "turning the phone ended the demo")
        browser.tap("#screen")
        browser.wait_for("document.body.dataset.state === 'ended'", timeout=15)
        browser.tap("#again")
        browser.wait_for("document.body.dataset.state === 'playing'")
    print("phone: portrait and landscape centred at 4:3, a tap starts the demo with sound, a tap ends it")


# ---- bad input -----------------------------------------------------------------
def archive(entries):
    """An archive of (name, bytes) entries in the player's format."""
    data, records = b"", b""
    for name, content in entries:
        block = zlib.compress(content, 9)
        start = len(data)
        data += block
        records += name.encode().ljust(32, b"\0") + struct.pack("<iiii", start, start + len(block), len(content),
                                                                len(block))
    directory = zlib.compress(records, 9)
    return data + directory + struct.pack("<iii", len(entries), len(records), len(directory)) + b":-)"


def page_errors(browser):
    return browser.evaluate("document.getElementById('error-text').textContent")


def test_bad_input(args):
    root = tempfile.mkdtemp(prefix="zor-web-bad-")
    try:
        for name in PAGE_FILES:
            shutil.copy(os.path.join(args.page, name), root)
        with open(os.path.join(args.page, "zor.dat"), "rb") as f:
            good = f.read()

        def folder(name, files):
            path = os.path.join(root, name)
            os.makedirs(path)
            for file_name, content in files.items():
                with open(os.path.join(path, file_name), "wb") as f:
                    f.write(content)

        directory_start = len(good) - 15 - struct.unpack("<i", good[-7:-3])[0]
        corrupt = bytearray(good)
        corrupt[directory_start + 10] ^= 0xFF
        folder("truncated", {"zor.dat": good[: len(good) // 2]})
        folder("corrupt", {"zor.dat": bytes(corrupt)})
        folder("noscene", {"zor.dat": archive([("readme.txt", b"nothing to see here\n" * 4)])})
        folder("nomusic", {"zor.dat": good})
        folder("badjpeg", {"zor.dat": good, "skane.jpg": b"\xff\xd8\xff\xe0 this is no picture",
                           "demo-files.json": b'{"files": ["zor.dat", "skane.jpg"]}'})

        with serving(root) as base, Browser(800, 600) as browser:
            def start(query):
                browser.open(base + "index.html" + query)
                browser.wait_for("document.body.dataset.state === 'error' ||"
                                 " document.getElementById('setup').dataset.open === '1'")

            def expect_error(query, *texts):
                start(query)
                errors = page_errors(browser)
                check(not browser.evaluate("document.getElementById('error-panel').hidden"),
                      f"{query}: no error panel")
                for text in texts:
                    check(text in errors, f"{query}: {text!r} is not in the error panel: {errors!r}")
                    check(any(text in line for _, line in browser.console), f"{query}: {text!r} not on the console")
                print(f"{query}: {errors.splitlines()[0]}")

            def go():
                browser.evaluate("document.getElementById('nosound').checked = true")
                browser.click("#control-1024")
                browser.wait_for("document.body.dataset.state === 'playing' ||"
                                 " document.body.dataset.state === 'error'")

            expect_error("?data=missing/", "zor.dat: cannot fetch", "missing/zor.dat: 404")
            expect_error("?data=corrupt/", "zor.dat: damaged archive: directory")
            # Cut in half, the archive has no trailer: named as damaged
            # before the set-up, not as a scene it does not hold.
            expect_error("?data=truncated/", "zor.dat: damaged archive: no trailer")
            start("?data=noscene/zor.dat")
            go()
            check("cannot read the scene \"glorp2.lws\"" in page_errors(browser), "noscene: " + page_errors(browser))
            # Without music it plays, and says why there is none.
            start("?data=nomusic/")
            notice = browser.evaluate("document.getElementById('notice-text').textContent")
            check("mp3.mp3: cannot fetch" in notice and "plays without music" in notice, f"nomusic: {notice!r}")
            check(browser.evaluate("document.getElementById('nosound').checked"), "nomusic: -nosound not set")
            browser.click("#control-1024")
            browser.wait_for("document.body.dataset.state === 'playing'")
            print("?data=nomusic/: " + notice)
            # A damaged logo beside the archive takes its place, is refused, and
            # the demo plays on with the message shown.
            start("?data=badjpeg/")
            go()
            check(browser.evaluate("document.body.dataset.state") == "playing", "badjpeg: the demo does not play")
            notice = browser.evaluate("document.getElementById('notice-text').textContent")
            check("skane.jpg" in notice and "cannot decode JPEG" in notice, f"badjpeg: {notice!r}")
            print("?data=badjpeg/: " + notice.splitlines()[-1])
    finally:
        shutil.rmtree(root, ignore_errors=True)


# ---- an author's demo, published -------------------------------------------------
def green_square_gltf():
    """A glTF of one square in a green the sample never fills the screen
    with: two triangles, their normals, one material."""
    positions = [(-1, -1, 0), (1, -1, 0), (1, 1, 0), (-1, 1, 0)]
    data = b"".join(struct.pack("<3f", *p) for p in positions)
    data += b"".join(struct.pack("<3f", 0, 0, 1) for _ in positions)
    data += struct.pack("<6H", 0, 1, 2, 0, 2, 3)
    return json.dumps({
        "asset": {"version": "2.0"},
        "scene": 0, "scenes": [{"nodes": [0]}], "nodes": [{"mesh": 0, "name": "square"}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1}, "indices": 2, "material": 0}]}],
        "materials": [{"name": "green", "pbrMetallicRoughness": {"baseColorFactor": [0.0, 1.0, 0.0, 1],
                                                                 "metallicFactor": 0}}],
        "buffers": [{"byteLength": len(data),
                     "uri": "data:application/octet-stream;base64," + base64.b64encode(data).decode()}],
        "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 96},
                        {"buffer": 0, "byteOffset": 96, "byteLength": 12}],
        "accessors": [{"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3",
                       "min": [-1, -1, 0], "max": [1, 1, 0]},
                      {"bufferView": 0, "byteOffset": 48, "componentType": 5126, "count": 4, "type": "VEC3"},
                      {"bufferView": 1, "componentType": 5123, "count": 6, "type": "SCALAR"}],
    })


def green(r, g, b):
    return g > r + 30 and g > b + 30


PUBLISHED_TITLE = "Green <b>square</b> & co"


def publish_green(args, work):
    """The green square imported with zor-import and published with
    zor-publish as a single file and as a site folder: (single, site)."""
    model = os.path.join(work, "square.gltf")
    with open(model, "w") as f:
        f.write(green_square_gltf())
    imported = os.path.join(work, "imported")
    tools = os.path.join(args.native, "tools")
    subprocess.run([os.path.join(tools, "zor-import", "zor-import"), model, "--out", imported, "--quiet"], check=True)
    single, site = os.path.join(work, "square.html"), os.path.join(work, "square-site")
    subprocess.run([os.path.join(tools, "zor-publish", "zor-publish"), imported, "--html", single, "--web", site,
                    "--web-runtime", args.page, "--title", PUBLISHED_TITLE, "--description", "One green square."],
                   check=True, env=dict(os.environ, SDL_VIDEODRIVER="offscreen"))
    return single, site


def test_open(args):
    work = tempfile.mkdtemp(prefix="zor-web-open-")
    try:
        _, site = publish_green(args, work)
        # A damaged archive (its end cut off) under a name that is markup.
        with open(os.path.join(site, "zor.dat"), "rb") as f:
            good = f.read()
        bad = os.path.join(work, "<img src=x onerror=alert(1)>.dat")
        with open(bad, "wb") as f:
            f.write(good[:-8])

        with serving(args.page) as base, Browser(640, 480) as browser:
            browser.open(base + "index.html")
            browser.wait_for("document.getElementById('setup').dataset.open === '1'")
            browser.set_files("#open-demo", [bad])
            browser.wait_for("document.body.dataset.opened === '1'")
            message = browser.evaluate("document.getElementById('open-message').textContent")
            check(os.path.basename(bad) + ": holds no files: it is not an archive the player reads" in message,
                  f"the damaged archive: {message!r}")
            check(browser.evaluate("document.querySelectorAll('#setup img:not(#demo-poster)').length") == 0,
                  "a file's name became markup")
            print(f"damaged archive: {message.splitlines()[0]}")

            browser.set_files("#open-demo", [os.path.join(site, "zor.dat")])
            browser.wait_for("document.body.dataset.opened === '2'")
            check(browser.evaluate("document.getElementById('open-message').hidden"),
                  "the archive is refused: " + browser.evaluate("document.getElementById('open-message').textContent"))
            notice = browser.evaluate("document.getElementById('notice-text').textContent")
            check("mp3.mp3: not among the files opened; the demo plays without music" in notice, f"notice: {notice!r}")
            # Named by the demo-info.txt its archive carries.
            shown = browser.evaluate("[document.title, document.getElementById('demo-title').textContent]")
            check(shown == [PUBLISHED_TITLE, PUBLISHED_TITLE], f"the opened demo is named {shown}")
            share = share_of(play_and_look(browser), green)
            print(f"the published zor.dat opened in the sample's page plays: {share * 100:.0f}% of the page green")
            check(share > 0.10, f"the opened demo does not show: {share * 100:.1f}% green")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def test_disk(args):
    work = tempfile.mkdtemp(prefix="zor-web-disk-")
    try:
        single, site = publish_green(args, work)
        print(f"single file: {os.path.getsize(single)} bytes")
        with Browser(800, 600) as browser:
            # A site opened from the disk says why it cannot play.
            browser.open("file://" + os.path.join(site, "index.html"))
            browser.wait_for("document.body.dataset.state === 'error'")
            errors = page_errors(browser)
            for text in ("zor.wasm: cannot fetch", "opened from the disk (file://)", "zor-publish --html FILE"):
                check(text in errors, f"the site from the disk: {text!r} is not in {errors!r}")
            print("the site from the disk: " + errors.splitlines()[1])

            browser.open("file://" + single)
            browser.wait_for("document.getElementById('setup').dataset.open === '1' &&"
                             " document.getElementById('demo-poster').complete")
            shown = browser.evaluate("[document.title, document.getElementById('demo-title').textContent,"
                                     " document.getElementById('demo-title').children.length,"
                                     " document.getElementById('demo-poster').naturalWidth]")
            check(shown == [PUBLISHED_TITLE, PUBLISHED_TITLE, 0, 640], f"the start panel shows {shown}")
            check(browser.evaluate("document.getElementById('licence').href.startsWith('blob:')"),
                  "the licence link does not open the carried licence")
            share = share_of(play_and_look(browser), green)
            check(share > 0.10, f"the single file does not show the model: {share * 100:.1f}% green")
            title = browser.evaluate("document.title")
            check(title == PUBLISHED_TITLE, f"the single file plays under the title {title!r}")
            errors = errors_on_console(browser)
            check(not errors, f"errors on the console: {errors}")
            print(f"the single file from the disk plays: {share * 100:.0f}% of the page green, no errors")

        requests = []
        with serving(site, requests) as base, Browser(800, 600) as browser:
            browser.open(base + "index.html")
            browser.wait_for("document.getElementById('setup').dataset.open === '1'")
            share = share_of(play_and_look(browser), green)
            check(share > 0.10, f"the published site does not show the model: {share * 100:.1f}% green")
            check(not not_found(requests), f"the page asked for files the site does not have: {not_found(requests)}")
            print(f"the published site, served, plays: {share * 100:.0f}% of the page green")
    finally:
        shutil.rmtree(work, ignore_errors=True)


# ---- the web bundle ---------------------------------------------------------------
RATE = 1024 * 1024  # bytes a second


def test_bundle(args):
    root = tempfile.mkdtemp(prefix="zor-web-bundle-")
    try:
        with tarfile.open(args.bundle) as bundle:
            bundle.extractall(root, filter="data") if hasattr(tarfile, "data_filter") else bundle.extractall(root)
        folders = os.listdir(root)
        check(len(folders) == 1 and folders[0].startswith("zor-web-"), f"the bundle holds {folders}")
        version = folders[0][len("zor-web-"):]
        page = os.path.join(root, folders[0])
        for name in PAGE_FILES + ("zor.dat", "mp3.mp3", "README", "LICENSE.txt"):
            check(os.path.isfile(os.path.join(page, name)), f"the bundle has no {name}")
        with open(os.path.join(page, "LICENSE.txt"), "rb") as carried, open(LICENSE, "rb") as licence:
            check(carried.read().startswith(licence.read()), "the bundle's LICENSE.txt does not begin with the licence")
        with open(os.path.join(page, "README")) as readme:
            heading = readme.readline().strip()
        check(heading == f"zor {version} for web browsers", f"the bundle's README begins {heading!r}")
        for name in PAGE_FILES:
            with gzip.open(os.path.join(page, name + ".gz")) as packed, open(os.path.join(page, name), "rb") as plain:
                check(packed.read() == plain.read(), f"{name}.gz is not {name}")
        size = sum(os.path.getsize(os.path.join(page, name)) for name in PAGE_FILES + ("zor.dat", "mp3.mp3"))

        with serving_slowly(page, RATE) as base, Browser(800, 600) as browser:
            began = time.monotonic()
            browser.open(base + "index.html")
            seen = []  # the progress texts, in the order they were shown
            while time.monotonic() - began < 120:
                try:
                    state = browser.evaluate("[document.getElementById('progress-text').textContent,"
                                             " document.getElementById('setup').dataset.open === '1',"
                                             " document.body.dataset.state || '']")
                except Exception:
                    state = None
                if state:
                    text, ready, body = state
                    if text and (not seen or seen[-1] != text):
                        seen.append(text)
                    if ready or body == "error":
                        break
                time.sleep(0.02)
            took = time.monotonic() - began
            check(browser.evaluate("document.getElementById('setup').dataset.open === '1'"),
                  f"no start panel after {took:.1f} s: {browser.console[-10:]}")
            # The bar moved: several states, each with more bytes, the last
            # with everything.
            loaded = [int(m.group(1)) for m in (re.search(r": (\d+) KB", t) for t in seen) if m]
            check(len(loaded) >= 3 and loaded == sorted(loaded) and loaded[0] < loaded[-1],
                  f"the progress did not move: {seen}")
            print(f"progress seen {len(seen)} times, from {seen[0]!r} to {seen[-1]!r}")
            footer = browser.evaluate("document.getElementById('version').textContent")
            check(footer == f"zor {version}", f"the page shows the version as {footer!r}")
            licence = browser.evaluate("[document.getElementById('licence').textContent,"
                                       " document.getElementById('licence').href]")
            check(licence == ["MIT licence (Expat)", base + "LICENSE.txt"], f"the footer's licence: {licence}")
            print(f"{size} bytes at {RATE / 1024 / 1024:.0f} MiB/s: the start panel after {took:.1f} s")

        with serving_slowly(page, 100 * RATE, wasm_type="application/octet-stream") as base, \
                Browser(800, 600) as browser:
            browser.open(base + "index.html")
            browser.wait_for("document.getElementById('setup').dataset.open === '1'")
            notice = browser.evaluate("document.getElementById('notice-text').textContent")
            check('"application/octet-stream", not "application/wasm"' in notice, f"wrong type: {notice!r}")
            print("zor.wasm as application/octet-stream: " + notice.split(";")[0])
    finally:
        shutil.rmtree(root, ignore_errors=True)


# ---- bench (not a test) ---------------------------------------------------------
# --without PART: a script the page runs first turns those draws into no-ops,
# to tell what each part of a frame costs. The present is the one draw of
# three vertices with no depth test; "draws" leaves out every draw call.
WITHOUT_SCRIPT = """(() => {
  const gl = WebGL2RenderingContext.prototype, without = %s;
  const enable = gl.enable, disable = gl.disable, drawArrays = gl.drawArrays;
  let depth = false, blend = false;
  gl.enable = function (c) { if (c === this.DEPTH_TEST) depth = true; if (c === this.BLEND) blend = true;
                             return enable.call(this, c); };
  gl.disable = function (c) { if (c === this.DEPTH_TEST) depth = false; if (c === this.BLEND) blend = false;
                              return disable.call(this, c); };
  gl.drawArrays = function (mode, first, count) {
    const present = mode === this.TRIANGLES && count === 3 && !depth;
    if (without === "draws" || (without === "present" && present) ||
        (!present && (without === "blended" ? blend : without === "opaque" && !blend))) return;
    return drawArrays.call(this, mode, first, count);
  };
})();"""


def bench(args):
    def page_rate(size, query=""):
        width, height = (int(n) for n in size.split("x"))
        with serving(args.page) as base, Browser(width, height) as browser:
            if args.without:
                browser.call("Page.addScriptToEvaluateOnNewDocument", session=True,
                             source=WITHOUT_SCRIPT % json.dumps(args.without))
            browser.open(f"{base}index.html?bench&size={size}{query}")
            browser.wait_for("document.body.dataset.state === 'bench-done' || "
                             "document.body.dataset.state === 'error'", timeout=1800)
            lines = [text for _, text in browser.console if text.endswith(" frames/s")]
            check(lines, f"the page printed no rate: {browser.console[-10:]}")
            return float(lines[-1].split()[0])

    def native_rate(size):
        render = os.path.join(args.native, "tools", "zor-render", "zor-render")
        out = subprocess.run([render, "--dir", os.path.join(args.native, "demo"), "--size", size, "--bench"],
                             check=True, capture_output=True, text=True,
                             env=dict(os.environ, SDL_VIDEODRIVER="offscreen")).stdout.split()
        return float(out[0])

    for size in args.sizes.split(","):
        page = page_rate(size)
        print(f"page (headless Chromium, SwiftShader) {size}: {page:.1f} frames/s", flush=True)
        if size == "640x480":
            print(f"page {size}, smooth (the clock at 60 passes a second): {page_rate(size, '&smooth'):.1f} passes/s",
                  flush=True)
        native = native_rate(size)
        print(f"zor-render --bench {size}: {native:.1f} frames/s", flush=True)
        print(f"ratio page / native at {size}: {page / native:.2f}", flush=True)


def page_memory(browser):
    """The page's JavaScript heap after a collection and its WebAssembly memory, in KiB."""
    browser.call("HeapProfiler.collectGarbage", session=True)
    heap = browser.call("Runtime.getHeapUsage", session=True)["usedSize"]
    wasm = browser.evaluate("Module.HEAPU8.buffer.byteLength")
    return heap // 1024, wasm // 1024


def soak(args):
    """The demo played again and again through "Play it again": each time a
    few seconds of play, then Escape. The page's JavaScript heap plus its
    WebAssembly memory, judged as bench/soak/memory_trend.py says."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench", "soak"))
    from memory_trend import MemoryTrend

    with serving(args.page) as base, Browser(640, 480) as browser:
        browser.open(base + "index.html")
        browser.wait_for("document.getElementById('setup').dataset.open === '1'")
        browser.click("#control-1024")
        browser.wait_for("document.body.dataset.state === 'playing'")
        trend = MemoryTrend("soak-page", "replays", args.replays, args.settle)

        def read(done):
            heap, wasm = page_memory(browser)
            trend.take(done, heap + wasm, f" (JS heap {heap} KiB + wasm memory {wasm} KiB)")

        # Read on the end panel each time: `replay` replays done.
        for replay in range(args.replays + 1):
            browser.pump(args.play_seconds)
            browser.press_escape()
            browser.wait_for("document.body.dataset.state === 'ended'", timeout=30)
            if trend.due(replay):
                read(replay)
            if replay == args.replays:
                break
            browser.click("#again")
            browser.wait_for("document.body.dataset.state === 'playing'", timeout=60)
        if trend.readings[-1][0] != args.replays:
            read(args.replays)
        errors = page_errors(browser)
        check(not errors, f"the page reported errors: {errors}")
    check(trend.finish(), "the page's memory does not hold")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=["frames", "panels", "phone", "bad-input", "open", "disk", "bundle", "bench",
                                         "soak"])
    parser.add_argument("--page", help="folder of the built page (build-web)")
    parser.add_argument("--native", help="native build folder (zor-render, demo/)")
    parser.add_argument("--bundle", help="the web bundle (zor-web-VERSION.tar.gz)")
    parser.add_argument("--sizes", default="640x480,1920x1080", help="bench: picture sizes (default 640x480,1920x1080)")
    parser.add_argument("--without", choices=["present", "draws", "blended", "opaque"],
                        help="bench: leave these draws out of the page's frames, to see what they cost")
    parser.add_argument("--replays", type=int, default=50, help="soak: times played again (default 50)")
    parser.add_argument("--play-seconds", type=float, default=2.0, help="soak: seconds of each play (default 2)")
    parser.add_argument("--settle", type=float, default=60.0,
                        help="soak: seconds before the reading the end is held against (default 60)")
    args = parser.parse_args()
    if args.case == "bundle":
        if not args.bundle or not os.path.isfile(args.bundle):
            sys.exit(f"browser_test: no bundle {args.bundle}; run scripts/web --dist first")
        test_bundle(args)
        return
    if not args.page:
        parser.error("--page is needed")
    for name in PAGE_FILES + ("zor.dat",):
        if not os.path.exists(os.path.join(args.page, name)):
            sys.exit(f"browser_test: {args.page} has no {name}; run scripts/web first")
    {"frames": test_frames, "panels": test_panels, "phone": test_phone, "bad-input": test_bad_input,
     "open": test_open, "disk": test_disk, "bench": bench, "soak": soak}[args.case](args)


if __name__ == "__main__":
    main()
