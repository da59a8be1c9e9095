#!/usr/bin/env python3
"""Writes a single-file page by hand from a built page folder (scripts/web's
build-web/), to the contract at the top of page.js: zor-files.js and page.js
written into index.html, and zor.wasm, zor.js, LICENSE.txt and the demo's
files as data blocks (gzip, then base64) at the "zor:data" marker; the demo's
title, description and poster at the "zor:head" marker. The browser cases
open the result from the disk.

  single_file.py --page DIR --out FILE.html [--demo FOLDER] [--title T]
                 [--description D] [--poster PICTURE]

The demo is zor.dat and mp3.mp3 of --demo (default: the page's own).
"""

import argparse
import base64
import gzip
import html
import json
import os
import sys

INLINE_SCRIPTS = ("zor-files.js", "page.js")
DATA_MARKER = "<!-- zor:data -->"
HEAD_MARKER = "<!-- zor:head -->"
TEMPLATE_TITLE = "<title>ZOR @ QUENT7</title>"
POSTER_TYPES = {".png": "image/png", ".jpg": "image/jpeg", ".jpeg": "image/jpeg", ".gif": "image/gif",
                ".webp": "image/webp"}


class ContractError(Exception):
    pass


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def data_block(name, data):
    # Compressed data (the archive, the music) travels without gzip.
    packed = gzip.compress(data, 9, mtime=0)
    encoding = "gzip+base64" if len(packed) < len(data) else "base64"
    text = base64.b64encode(packed if encoding == "gzip+base64" else data).decode("ascii")
    return (f'<script type="application/octet-stream" data-zor-file="{html.escape(name)}" '
            f'data-zor-encoding="{encoding}">{text}</script>')


def replace_once(text, old, new, what):
    if text.count(old) != 1:
        raise ContractError(f"index.html: {what} ({old!r}) appears {text.count(old)} times, not once")
    return text.replace(old, new)


def build(page, demo=None, title=None, description=None, poster=None):
    """The single file's text."""
    demo = demo or page
    text = read(os.path.join(page, "index.html"), "r")
    files = [("zor.wasm", page), ("zor.js", page), ("LICENSE.txt", page), ("zor.dat", demo), ("mp3.mp3", demo)]
    blocks = [data_block(name, read(os.path.join(folder, name))) for name, folder in files
              if name != "LICENSE.txt" or os.path.exists(os.path.join(page, name))]
    text = replace_once(text, DATA_MARKER, "\n".join(blocks), "the data marker")
    head = []
    if title is not None:
        text = replace_once(text, TEMPLATE_TITLE, f"<title>{html.escape(title)}</title>", "the title")
        head.append(f'<meta property="og:title" content="{html.escape(title)}">')
    if description is not None:
        head.append(f'<meta name="description" content="{html.escape(description)}">')
        head.append(f'<meta property="og:description" content="{html.escape(description)}">')
    info = {key: value for key, value in (("title", title), ("description", description)) if value is not None}
    if poster:
        kind = POSTER_TYPES.get(os.path.splitext(poster)[1].lower())
        if not kind:
            raise ContractError(f"{poster}: a poster is a PNG, JPEG, GIF or WebP picture")
        info["poster"] = f"data:{kind};base64," + base64.b64encode(read(poster)).decode("ascii")
    if info:
        head.append('<script type="application/json" id="zor-demo">' +
                    json.dumps(info).replace("</", "<\\/") + "</script>")
    text = replace_once(text, HEAD_MARKER, "\n".join(head), "the head marker")
    for name in INLINE_SCRIPTS:
        script = read(os.path.join(page, name), "r")
        lowered = script.lower()
        if "</script" in lowered or "<!--" in lowered:
            raise ContractError(f"{name} holds a closing script tag or an HTML comment's opening")
        text = replace_once(text, f'<script src="{name}"></script>', f"<script>\n{script}\n</script>", name)
    return text


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--page", required=True, help="folder of the built page (build-web)")
    parser.add_argument("--out", required=True, help="the HTML file to write")
    parser.add_argument("--demo", help="folder holding the demo's zor.dat and mp3.mp3 (default: --page)")
    parser.add_argument("--title")
    parser.add_argument("--description")
    parser.add_argument("--poster", help="a PNG, JPEG, GIF or WebP picture for the start panel")
    args = parser.parse_args()
    try:
        text = build(args.page, args.demo, args.title, args.description, args.poster)
    except (OSError, ContractError) as e:
        sys.exit(f"single_file: {e}")
    temporary = args.out + ".part"
    with open(temporary, "w") as f:
        f.write(text)
    os.replace(temporary, args.out)
    print(f"single_file: {args.out}: {len(text.encode())} bytes")


if __name__ == "__main__":
    main()
