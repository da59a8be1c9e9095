// The page around the player (zor.js / zor.wasm): it puts the demo's files
// into the player's working folder before anything starts, shows the set-up
// window, the player's messages and its end, and keeps the canvas at the
// display mode's shape, scaled to the window.
//
// Where the player and the demo come from:
// - The site: zor.js and zor.wasm beside the page, the demo's zor.dat and
//   mp3.mp3 beside it too (or where the query says), every download counted
//   on a progress bar. zor.wasm is compiled while it downloads when the host
//   sends it as application/wasm; under another type the page says so and
//   starts it from the downloaded bytes. Opened from the disk (file://), a
//   browser fetches nothing, and the page says why and what to do instead.
// - The page itself: a single-file page carries them in data blocks (below)
//   and fetches nothing.
// - The viewer: "Open a demo…", or files dropped anywhere on the page: a
//   zor.dat (any NAME.dat) with or without its mp3.mp3, or the loose files of
//   a play folder (a dropped folder too). They are read in the browser and
//   played from memory; nothing is uploaded. What a file holds reaches the
//   page as text only, never as markup.
//
// Query: ?data=URL takes zor.dat from URL (an archive, or a folder holding
// zor.dat) instead of the page's own folder; mp3.mp3 and files that take
// precedence over the archive's entries lie in the same folder (the host of
// URL must allow the page's origin). ?dat=URL&mp3=URL take the archive and the
// music from those addresses of the page's own site (either alone: the other
// as before).
// Test hooks: ?frame=N&size=WxH shows frame N once at that size and stops;
// ?bench[&size=WxH][&smooth] shows every frame as fast as the browser allows
// (with smooth, the clock's moments at 60 passes a second) and prints
// "N.N frames/s" on the console.
//
// ---- The single-file page: what a page may carry -------------------------
// One HTML file that plays from the disk is index.html with these changes
// and no others (a tool writes it from this template; SERVING.md shows the
// same in HTML):
//
// 1. The script elements that load zor-files.js and page.js by their src
//    become script elements holding the text of those files, whose lines of
//    only a comment or nothing may be left out (no text in them spans
//    lines). Neither file holds a closing script tag or the opening of an
//    HTML comment.
// 2. The HTML comment "zor:data" makes way for one block per file, a script
//    element of type "application/octet-stream" with the attributes
//    data-zor-file="NAME" and data-zor-encoding="gzip+base85" holding DATA.
//    NAME is zor.wasm or zor.js (the player), LICENSE.txt (the licence, which
//    the footer's link then opens), or a file of the demo's play folder:
//    zor.dat, mp3.mp3, or any other plain file name (letters, digits, "_",
//    "-", ".", " "; at most 31 characters), which takes precedence over the
//    archive's entry of that name as a file beside the player does. DATA is
//    the file gzipped, then in base85 ("gzip+base85", unpacked by the
//    browser's DecompressionStream), or the file in base85 ("base85", for
//    data that gzip does not shrink); "gzip+base64" and "base64" are read
//    too. White space in DATA is ignored. base85: each 4 bytes, read
//    big-endian, are 5 digits, the most significant first; a last group of
//    n < 4 bytes is padded with zero bytes and only its first n + 1 digits
//    are written. The digits, 0 to 84, are the printable ASCII characters
//    from "!" to "~" without < > & " ' \ ` / and =.
//    A page that carries zor.wasm fetches no player; one that carries any
//    file of the demo fetches no demo.
// 3. The title element may hold the demo's own title, and the HTML comment
//    "zor:head" may make way for the page's description, its Open Graph
//    tags, and what the start panel shows of the demo: a script element of
//    type "application/json" with the id "zor-demo" holding
//      {"title": "...", "description": "...", "poster": "URL"}
//    where every member may be left out. Title and description are shown as
//    text; the poster is a data:image/png, jpeg, gif or webp URL, or a
//    picture of the page's own site. In that JSON, "</" is written "<\/".
//
// The same blocks work in a site's index.html (a zor-demo block beside a
// poster file, say). zor-publish writes both kinds of page.
"use strict";

(function () {
  // The player's own names (zor-files.js, made from its header).
  const kArchive = zorFiles.Archive;
  const kMusic = zorFiles.Music;
  const kScene = zorFiles.Scene;
  const kWorkFolder = "/demo";
  const kWasm = "zor.wasm";
  const kScript = "zor.js";
  const kLicence = "LICENSE.txt";
  const kWasmType = "application/wasm";
  // What a viewer may open at once.
  const kMaxOpenedBytes = 512 * 1024 * 1024;
  const kMaxOpenedFiles = 2000;

  const params = new URLSearchParams(location.search);
  const fromDisk = location.protocol === "file:";
  const hookFrame = params.has("frame") ? parseInt(params.get("frame"), 10) : null;
  const bench = params.has("bench");
  const hook = hookFrame !== null || bench;
  const hookSize = parseSize(params.get("size") || "640x480");

  const $ = (id) => document.getElementById(id);
  const canvas = $("screen");
  const log = [];  // the player's messages since the last start

  // Said whenever something beside a page on the disk cannot be fetched.
  const kFromDisk = [
    "This page was opened from the disk (file://), and this browser does not let such a page fetch the files " +
      "beside it.",
    "To play it, put its folder on a web server (the README beside it says how; to try it on this computer, run " +
      "\"python3 -m http.server\" in the folder and open http://127.0.0.1:8000/).",
    "Or play the single-file page instead: one HTML file that holds the player and the demo and plays from the " +
      "disk in any browser, written by \"zor-publish --html FILE\".",
  ];

  function parseSize(text) {
    const m = /^(\d{1,4})x(\d{1,4})$/.exec(text);
    if (!m) return null;
    const w = +m[1], h = +m[2];
    return w >= 1 && h >= 1 && w <= 8192 && h <= 8192 ? { width: w, height: h } : null;
  }

  function show(id) {
    for (const panel of ["loading", "setup", "box", "error-panel", "end-panel"]) $(panel).hidden = panel !== id;
  }

  // ---- the canvas: the mode's shape, as large as the window allows --------
  function fitCanvas() {
    const w = canvas.width, h = canvas.height;
    if (document.body.classList.contains("hook")) {
      canvas.style.width = w + "px";
      canvas.style.height = h + "px";
      return;
    }
    const scale = Math.min(innerWidth / w, innerHeight / h);
    canvas.style.width = Math.floor(w * scale) + "px";
    canvas.style.height = Math.floor(h * scale) + "px";
  }
  addEventListener("resize", fitCanvas);
  new MutationObserver(fitCanvas).observe(canvas, { attributes: true, attributeFilter: ["width", "height"] });
  canvas.addEventListener("contextmenu", (e) => e.preventDefault());

  // ---- files the page carries (a single-file page) --------------------------
  const embedded = new Map();  // NAME -> its data block
  for (const block of document.querySelectorAll('script[type="application/octet-stream"][data-zor-file]')) {
    embedded.set(block.dataset.zorFile, block);
  }

  // base85 as the data-block contract above defines it; throws on a digit
  // outside the alphabet or a lone last digit.
  const BASE85 = "!#$%()*+,-.0123456789:;?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_abcdefghijklmnopqrstuvwxyz{|}~";
  const base85Value = new Int8Array(128).fill(-1);
  for (let i = 0; i < BASE85.length; ++i) base85Value[BASE85.charCodeAt(i)] = i;

  function fromBase85(text) {
    const tail = text.length % 5;
    if (tail === 1) throw new Error("a lone digit at the end");
    const bytes = new Uint8Array(Math.floor(text.length / 5) * 4 + (tail ? tail - 1 : 0));
    for (let at = 0, out = 0; at < text.length; at += 5) {
      let v = 0;
      const n = Math.min(5, text.length - at);
      for (let k = 0; k < 5; ++k) {
        const c = k < n ? text.charCodeAt(at + k) : 126;  // "~", the highest digit, pads
        const digit = c < 128 ? base85Value[c] : -1;
        if (digit < 0) throw new Error(`"${text[at + k]}" is not a base85 digit`);
        v = v * 85 + digit;
      }
      if (v > 0xffffffff) throw new Error("a group beyond 32 bits");
      for (let k = 0; k < n - 1; ++k) bytes[out++] = (v >>> (24 - 8 * k)) & 255;
    }
    return bytes;
  }

  function fromBase64(text) {
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // The bytes of an embedded file; throws with what is wrong.
  async function unpack(name) {
    const block = embedded.get(name);
    const encoding = block.dataset.zorEncoding || "base64";
    const [packing, digits] = encoding.includes("+") ? encoding.split("+") : ["", encoding];
    if ((packing !== "" && packing !== "gzip") || (digits !== "base64" && digits !== "base85")) {
      throw new Error(`the page's copy has the unknown encoding "${encoding}"`);
    }
    let bytes;
    try {
      const text = block.textContent.replace(/\s+/g, "");
      bytes = digits === "base85" ? fromBase85(text) : fromBase64(text);
    } catch (e) {
      throw new Error(`the page's copy is not ${digits} (${e.message || e})`);
    }
    block.textContent = "";  // the text is not needed again
    if (packing === "") return bytes;
    if (typeof DecompressionStream === "undefined") {
      throw new Error("this browser cannot unpack the page's copy (it has no DecompressionStream); " +
                      "a current Chromium, Firefox or Safari can");
    }
    try {
      const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("gzip"));
      return new Uint8Array(await new Response(stream).arrayBuffer());
    } catch (e) {
      throw new Error(`the page's copy does not unpack (${e.message || e})`);
    }
  }

  // ---- downloads, counted on the progress bar --------------------------------
  const downloads = [];  // { name, loaded, total }: total 0 when not known

  function kilobytes(bytes) {
    return (bytes / 1024).toFixed(0) + " KB";
  }

  function showProgress() {
    let loaded = 0, total = 0, known = true;
    for (const d of downloads) {
      loaded += d.loaded;
      total += d.total;
      known = known && d.total > 0;
    }
    const bar = $("progress");
    if (known) {
      bar.max = total;
      bar.value = loaded;
    } else {
      bar.removeAttribute("value");  // a moving bar: the whole size is not known
    }
    $("progress-text").textContent = downloads.map((d) => d.name).join(", ") + ": " + kilobytes(loaded) +
      (known ? " of " + kilobytes(total) : "");
  }

  // fetch(url), with the body counted as it arrives. The answer is a Response
  // like fetch's, so that it can still be streamed into the compiler.
  async function download(name, url) {
    const response = await fetch(url);
    if (!response.ok || !response.body) return response;
    // A compressed transfer announces the compressed length.
    const encoded = (response.headers.get("Content-Encoding") || "identity") !== "identity";
    const entry = { name, loaded: 0, total: encoded ? 0 : Number(response.headers.get("Content-Length")) || 0 };
    downloads.push(entry);
    showProgress();
    const reader = response.body.getReader();
    const counted = new ReadableStream({
      async pull(controller) {
        const { done, value } = await reader.read();
        if (done) {
          if (!entry.total) entry.total = entry.loaded;
          showProgress();
          controller.close();
          return;
        }
        entry.loaded += value.byteLength;
        showProgress();
        controller.enqueue(value);
      },
      cancel(reason) { return reader.cancel(reason); },
    });
    return new Response(counted, { status: response.status, statusText: response.statusText,
                                   headers: response.headers });
  }

  // ---- the player: zor.js, and zor.wasm for it --------------------------------
  function loadPlayer() {
    const script = document.createElement("script");
    if (embedded.has(kScript)) {
      $("progress-text").textContent = "Unpacking the player…";
      unpack(kScript).then((bytes) => {
        script.textContent = new TextDecoder().decode(bytes);
        document.body.appendChild(script);
      }, (e) => fail([`${kScript}: ${e.message}`, "zor: the player cannot start"]));
      return;
    }
    script.src = kScript;
    script.async = true;
    script.onerror = () => fail([`${kScript}: cannot load ${new URL(kScript, location.href)}`,
                                 ...(fromDisk ? kFromDisk : []), "zor: the player cannot start"]);
    document.body.appendChild(script);
  }

  // zor.wasm for zor.js: from the page, or compiled while it downloads when
  // the host sends the right type; otherwise said, and compiled from the bytes.
  async function instantiateWasm(imports) {
    if (embedded.has(kWasm)) return WebAssembly.instantiate(await unpack(kWasm), imports);
    const url = new URL(kWasm, location.href);
    let response;
    try {
      response = await download(kWasm, url);
    } catch (e) {
      throw new Error(`cannot fetch ${url}: ${e.message || e}`);
    }
    if (!response.ok) throw new Error(`cannot fetch ${url}: ${response.status} ${response.statusText}`.trim());
    const type = (response.headers.get("Content-Type") || "").split(";")[0].trim().toLowerCase();
    if (type === kWasmType && WebAssembly.instantiateStreaming) {
      return WebAssembly.instantiateStreaming(response, imports);
    }
    const message = `${kWasm}: the web server sends it as "${type || "no type"}", not "${kWasmType}", so the ` +
      `browser cannot compile it while it downloads; it is compiled after the download instead. ` +
      `Serve .wasm files as ${kWasmType} (see the README beside the page).`;
    console.warn(message);
    notice([message]);
    return WebAssembly.instantiate(await response.arrayBuffer(), imports);
  }

  // ---- the page's own demo: carried, or fetched from the site ------------------
  // Addresses of the site's demo files: ?dat and ?mp3 (this site only), else
  // ?data, else beside the page.
  function sameSite(name) {
    const url = new URL(params.get(name), location.href);
    if (url.origin !== location.origin) {
      throw new Error(`${name}: ${url} is not on this site (${location.origin}); the page plays only files of ` +
                      `its own site from ?${name}=`);
    }
    return url;
  }

  function archiveLocation(data) {
    if (!data) return new URL(kArchive, location.href);
    const url = new URL(data, location.href);
    if (url.pathname.toLowerCase().endsWith(".dat")) return url;
    if (!url.pathname.endsWith("/")) url.pathname += "/";
    return new URL(kArchive, url);
  }

  const carried = [...embedded.keys()].filter((name) => ![kWasm, kScript, kLicence].includes(name));
  let archiveUrl = null, musicUrl = null, dataFolder = null, queryError = null;
  try {
    archiveUrl = params.has("dat") ? sameSite("dat") : archiveLocation(params.get("data"));
    dataFolder = new URL(".", archiveUrl);
    musicUrl = params.has("mp3") ? sameSite("mp3") : new URL(kMusic, dataFolder);
  } catch (e) {
    queryError = e.message;
  }

  // Every file starts on its way at once, beside zor.wasm; the player takes
  // them when they are there (a failure as an Error in place of the answer).
  const pageDemo = new Map();  // name -> promise of bytes (carried) or of a Response (fetched)
  function startPageDemo() {
    if (carried.length) {
      for (const name of carried) pageDemo.set(name, unpack(name).catch((e) => e));
    } else if (!queryError) {
      pageDemo.set(kArchive, download(kArchive, archiveUrl).catch((e) => e));
      pageDemo.set(kMusic, download(kMusic, musicUrl).catch((e) => e));
    }
  }

  // ---- messages -------------------------------------------------------------
  let playerReady = false;  // zor.wasm runs and its working folder is made

  function fail(lines) {
    for (const line of lines) console.error(line);
    $("error-text").textContent = lines.join("\n");
    $("error-open").hidden = !playerReady || hook;
    show("error-panel");
    document.body.dataset.state = "error";
  }

  function notice(lines) {
    if (!lines.length) return;
    const text = $("notice-text");
    text.textContent += (text.textContent ? "\n" : "") + lines.join("\n");
    $("notices").hidden = false;
  }

  $("notices-close").addEventListener("click", () => { $("notices").hidden = true; });
  $("box-ok").addEventListener("click", () => { $("box").hidden = true; });
  $("reload").addEventListener("click", () => location.reload());

  // ---- what the page says of its demo, and the licence -------------------------
  function showDemoInfo() {
    const block = $("zor-demo");
    if (!block) return;
    let info;
    try {
      info = JSON.parse(block.textContent);
    } catch (e) {
      console.warn(`zor-demo: not JSON (${e.message})`);
      return;
    }
    if (!info || typeof info !== "object") return;
    // Title and description are cut to a length a panel can show; a poster
    // given as a data: URL is whole (a cut one is a broken picture).
    const text = (value, most) => (typeof value === "string" && value.length <= most ? value : "");
    const shown = (value) => (typeof value === "string" ? value.slice(0, 4000) : "");
    const title = shown(info.title), description = shown(info.description), poster = text(info.poster, 16 << 20);
    $("demo-title").textContent = title;
    $("demo-description").textContent = description;
    if (poster && posterAllowed(poster)) {
      $("demo-poster").src = poster;
      $("demo-poster").alt = title;
      $("demo-poster").hidden = false;
    } else if (poster) {
      console.warn("zor-demo: the poster is neither a data:image URL nor a picture of this site; not shown");
    }
    $("demo-info").hidden = !(title || description || !$("demo-poster").hidden);
  }

  function posterAllowed(address) {
    if (/^data:image\/(png|jpeg|gif|webp)[;,]/i.test(address)) return true;
    try {
      const url = new URL(address, location.href);
      return url.protocol !== "data:" && url.origin === location.origin;
    } catch (e) {
      return false;
    }
  }

  if (embedded.has(kLicence)) {
    unpack(kLicence).then((bytes) => {
      $("licence").href = URL.createObjectURL(new Blob([bytes], { type: "text/plain;charset=utf-8" }));
    }, (e) => console.warn(`${kLicence}: ${e.message}`));
  }

  // ---- audio: the browser decodes the MP3; sound starts on a click ---------
  const audio = { context: null, buffers: {}, errors: {}, streams: [], error: "" };
  let musicMissing = false, chosenNoSound = false;

  function unlockAudio() {
    if ($("nosound").checked) return;
    try {
      if (!audio.context) audio.context = new AudioContext();
      if (audio.context.state !== "running") audio.context.resume();
    } catch (e) {
      audio.context = null;
      audio.error = "the browser gives no audio output (" + e + ")";
    }
  }

  // The demo's music for the player, decoded from `bytes`; else (no bytes,
  // or they do not decode) the demo plays on silently, as with -nosound, and
  // the notice says why, naming the file as `name`.
  async function useMusic(name, bytes, reason, where) {
    delete audio.buffers[kMusic];
    delete audio.errors[kMusic];
    if (bytes) {
      try {
        const decoder = new OfflineAudioContext(2, 1, 44100);
        audio.buffers[kMusic] = await decoder.decodeAudioData(bytes.buffer);
      } catch (e) {
        reason = `cannot play ${where || "it"}: ${e.message || e}`;
      }
    }
    if (audio.buffers[kMusic]) {
      if (musicMissing) {
        $("nosound").checked = chosenNoSound;
        $("nosound").disabled = false;
      }
      musicMissing = false;
      return;
    }
    audio.errors[kMusic] = reason;
    if (!musicMissing) chosenNoSound = $("nosound").checked;
    musicMissing = true;
    $("nosound").checked = true;
    $("nosound").disabled = true;
    notice([`${name}: ${reason}; the demo plays without music`]);
  }

  async function loadPageMusic() {
    const pending = pageDemo.get(kMusic);
    if (!pending) return useMusic(kMusic, null, "the page holds no music");
    const answer = await pending;
    if (answer instanceof Error) {
      return useMusic(kMusic, null, carried.length ? answer.message : `cannot fetch ${musicUrl}: ${answer.message}`);
    }
    if (answer instanceof Uint8Array) return useMusic(kMusic, answer, null);
    if (!answer.ok) {
      return useMusic(kMusic, null, `cannot fetch ${musicUrl}: ${answer.status} ${answer.statusText}`.trim());
    }
    let bytes;
    try {
      bytes = new Uint8Array(await answer.arrayBuffer());
    } catch (e) {
      return useMusic(kMusic, null, `cannot fetch ${musicUrl}: ${e.message || e}`);
    }
    return useMusic(kMusic, bytes, null, musicUrl);
  }

  // ---- the working folder ---------------------------------------------------
  // Names of files beside the archive: plain names that stay in the folder.
  const plainName = (name) => /^[A-Za-z0-9_][A-Za-z0-9_. -]{0,30}$/.test(name) && !name.includes("..");

  // The player's reading of zor.dat in the working folder: its entries'
  // names, or why it cannot be read (the archive's own text).
  function readArchive() {
    const report = Module.UTF8ToString(Module._zor_archive_report()).split("\n");
    return report[0] === "ok" ? { names: report.slice(1).filter(Boolean) } : { error: report.slice(1).join("\n") };
  }

  function removeFolder(folder) {
    const FS = Module.FS;
    for (const name of FS.readdir(folder)) {
      if (name === "." || name === "..") continue;
      const path = folder + "/" + name;
      if (FS.isDir(FS.stat(path).mode)) removeFolder(path);
      else FS.unlink(path);
    }
    FS.rmdir(folder);
  }

  // The working folder made anew; the one before is kept aside (nothing is
  // copied) until keepNewFolder() or keepFolderBefore().
  const kFolderBefore = kWorkFolder + "-before";
  function newWorkFolder() {
    Module.FS.chdir("/");  // the folder one is in cannot be renamed
    Module.FS.rename(kWorkFolder, kFolderBefore);
    Module.FS.mkdir(kWorkFolder);
    Module.FS.chdir(kWorkFolder);
  }

  function keepNewFolder() {
    removeFolder(kFolderBefore);
  }

  function keepFolderBefore() {
    Module.FS.chdir("/");
    removeFolder(kWorkFolder);
    Module.FS.rename(kFolderBefore, kWorkFolder);
    Module.FS.chdir(kWorkFolder);
  }

  function writeWorkFiles(files) {
    const FS = Module.FS;
    for (const { path, bytes } of files) {
      const parts = path.split("/");
      let folder = kWorkFolder;
      for (const part of parts.slice(0, -1)) {
        folder += "/" + part;
        if (!FS.analyzePath(folder).exists) FS.mkdir(folder);
      }
      FS.writeFile(kWorkFolder + "/" + path, bytes);
    }
  }

  async function fetchBytes(url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`.trim());
    return new Uint8Array(await response.arrayBuffer());
  }

  // The page's own demo into the working folder; false (and said) when there
  // is nothing to play.
  async function loadPageDemo() {
    if (queryError) {
      fail([queryError, "zor: nothing to play"]);
      return false;
    }
    if (carried.length) {
      for (const name of carried) {
        if (name === kMusic) continue;
        const bytes = await pageDemo.get(name);
        if (bytes instanceof Error) {
          fail([`${name}: ${bytes.message}`, "zor: the page's copy of the demo is damaged; nothing to play"]);
          return false;
        }
        if (!plainName(name)) {
          console.warn(`${name}: not a plain file name; left out`);
          continue;
        }
        writeWorkFiles([{ path: name, bytes }]);
      }
    } else {
      let archive;
      try {
        const response = await pageDemo.get(kArchive);
        if (response instanceof Error) throw response;
        if (!response.ok) throw new Error(`${response.status} ${response.statusText}`.trim());
        archive = new Uint8Array(await response.arrayBuffer());
      } catch (e) {
        fail([`${kArchive}: cannot fetch ${archiveUrl}: ${e.message}`, ...(fromDisk ? kFromDisk : []),
              "zor: the demo needs its archive zor.dat; nothing to play"]);
        return false;
      }
      writeWorkFiles([{ path: kArchive, bytes: archive }]);
    }
    const report = readArchive();
    if (report.error !== undefined) {
      fail([report.error, "zor: the archive cannot be read; nothing to play"]);
      return false;
    }
    if (carried.length) return true;
    // A file beside the archive takes precedence over its entry, as a file
    // beside the player does.
    const names = report.names.filter((n) => plainName(n) && n !== kArchive);
    await Promise.all(names.map(async (name) => {
      try {
        writeWorkFiles([{ path: name, bytes: await fetchBytes(new URL(name, dataFolder)) }]);
        console.log(`${name}: taken from beside the archive`);
      } catch (e) {
        // Not there: the archive's entry is used.
      }
    }));
    return true;
  }

  // ---- a demo the viewer opens or drops ------------------------------------------
  let opening = false;

  // A path inside the working folder: plain parts, none climbing out.
  function folderPath(path) {
    const parts = path.split("/");
    return parts.length <= 16 && parts.every((p) => p && p !== "." && p !== ".." && !/[\\\u0000-\u001f]/.test(p) &&
                                                    p.length <= 255);
  }

  function describeFiles(files) {
    const names = files.map((f) => f.path);
    return names.length <= 4 ? names.join(", ") : `${names.slice(0, 3).join(", ")} and ${names.length - 3} more`;
  }

  // The one file of a kind: the player's own name first, else the only one
  // ending in `ending`; an Error when several could be meant.
  function theOne(files, playerName, ending, what) {
    const top = files.filter((f) => !f.path.includes("/"));
    const named = top.find((f) => f.path.toLowerCase() === playerName);
    if (named) return named;
    const ending_ = top.filter((f) => f.path.toLowerCase().endsWith(ending));
    if (ending_.length > 1) {
      return new Error(`${describeFiles(ending_)}: ${ending_.length} ${what} among the files opened; open one ` +
                       `(or name it ${playerName})`);
    }
    return ending_[0] || null;
  }

  // The demo in `picked` ({ path, file }: a File and its path in the play
  // folder) into the working folder; the lines of what is wrong, or none.
  // When it cannot be played, the demo before stays.
  async function takeOpened(picked) {
    if (picked.length === 0) return ["no files were opened"];
    if (picked.length > kMaxOpenedFiles) {
      return [`${picked.length} files opened; the page takes at most ${kMaxOpenedFiles}`];
    }
    const size = picked.reduce((sum, f) => sum + f.file.size, 0);
    if (size > kMaxOpenedBytes) {
      return [`the files opened hold ${(size / 1048576).toFixed(0)} MB; the page takes at most ` +
              `${kMaxOpenedBytes / 1048576} MB`];
    }
    const skipped = picked.filter((f) => !folderPath(f.path));
    if (skipped.length) notice(skipped.map((f) => `${f.path}: not a file name the player can look up; left out`));
    const files = picked.filter((f) => folderPath(f.path));
    const archive = theOne(files, kArchive.toLowerCase(), ".dat", "archives");
    const music = theOne(files, kMusic.toLowerCase(), ".mp3", "music files");
    for (const problem of [archive, music]) if (problem instanceof Error) return [problem.message];
    const loose = files.filter((f) => f !== archive && f !== music);

    const read = async (f) => {
      try {
        return new Uint8Array(await f.file.arrayBuffer());
      } catch (e) {
        throw new Error(`${f.path}: cannot read it: ${e.message || e}`);
      }
    };
    let written;
    try {
      written = await Promise.all(loose.map(async (f) => ({ path: f.path, bytes: await read(f) })));
      if (archive) written.push({ path: kArchive, bytes: await read(archive) });
    } catch (e) {
      return [e.message];
    }

    newWorkFolder();
    const check = () => {
      writeWorkFiles(written);
      const report = readArchive();
      if (report.error !== undefined) {
        // The archive's text names the file as the player opened it.
        const why = report.error.startsWith(kArchive + ": ") ? report.error.slice(kArchive.length + 2) : report.error;
        return [`${archive ? archive.path : kArchive}: not an archive the player can read: ${why}`];
      }
      if (archive && report.names.length === 0) {
        return [`${archive.path}: holds no files: it is not an archive the player reads, or an empty one`];
      }
      if (Module._zor_scene_found()) return null;
      if (archive) {
        return [`${archive.path}: holds no ${kScene}, the scene the player plays, and no file opened beside it is ` +
                `one; nothing to play`];
      }
      return [`${describeFiles(files)}: none of the files opened is an archive (${kArchive}) or a play folder's ` +
              `scene (${kScene}); nothing to play`];
    };
    let problem;
    try {
      problem = check();
    } catch (e) {
      problem = [`${describeFiles(files)}: cannot be put into the player's folder: ${e.message || e}`];
    }
    written = null;
    if (problem) {
      keepFolderBefore();
      return problem;
    }
    keepNewFolder();
    if (music) {
      let bytes = null, why = null;
      try {
        bytes = await read(music);
      } catch (e) {
        why = e.message;
      }
      await useMusic(music.path, bytes, why);
    } else {
      await useMusic(kMusic, null, "not among the files opened");
    }
    $("demo-info").hidden = true;
    $("demo-name").textContent = "Opened: " + describeFiles(archive ? [archive].concat(music ? [music] : []) : files);
    console.log(`opened: ${describeFiles(picked)}`);
    return [];
  }

  async function openDemo(picked) {
    if (hook) return;
    if (!playerReady || opening) {
      const state = opening ? "still opening the last files" : document.body.dataset.state === "error" ?
        "without its player, which did not start" : "still loading";
      notice([`${describeFiles(picked)}: the page is ${state}; try again ${opening ? "in a moment" : "later"}`]);
      return;
    }
    if (document.body.dataset.state === "playing") {
      notice([`${describeFiles(picked)}: end the demo first (Escape), then open another`]);
      return;
    }
    opening = true;
    $("open-message").hidden = true;
    let problem;
    try {
      problem = await takeOpened(picked);
    } catch (e) {
      problem = [`${describeFiles(picked)}: ${e.message || e}`];
    }
    opening = false;
    document.body.dataset.opened = String(Number(document.body.dataset.opened || 0) + 1);
    const setupOpen = $("setup").dataset.open === "1";
    if (problem.length) {
      for (const line of problem) console.error(line);
      if (setupOpen) {
        $("open-message").textContent = problem.join("\n") + "\n(the demo before is still the one that plays)";
        $("open-message").hidden = false;
      } else {
        fail(problem);
      }
      return;
    }
    if (!setupOpen) {
      log.length = 0;
      if (!Module._zor_open_setup()) fail(log.length ? log.slice() : ["zor: cannot show the set-up window"]);
    }
  }

  for (const input of document.querySelectorAll('input[type="file"]')) {
    input.addEventListener("change", () => {
      const picked = [...input.files].map((file) => ({ path: file.name, file }));
      input.value = "";  // the same files again are a new choice
      openDemo(picked);
    });
  }

  // Dropped files or folders; a single folder dropped is the play folder.
  async function droppedFiles(entries, files) {
    if (!entries.length) return files.map((file) => ({ path: file.name, file }));
    const found = [];
    const walk = async (entry, prefix) => {
      if (found.length > kMaxOpenedFiles) return;
      if (entry.isFile) {
        found.push({ path: prefix + entry.name, file: await new Promise((ok, no) => entry.file(ok, no)) });
      } else if (entry.isDirectory) {
        const reader = entry.createReader();
        for (;;) {
          const batch = await new Promise((ok, no) => reader.readEntries(ok, no));
          if (!batch.length) break;
          for (const child of batch) await walk(child, prefix + entry.name + "/");
        }
      }
    };
    if (entries.length === 1 && entries[0].isDirectory) {
      const reader = entries[0].createReader();
      for (;;) {
        const batch = await new Promise((ok, no) => reader.readEntries(ok, no));
        if (!batch.length) break;
        for (const child of batch) await walk(child, "");
      }
    } else {
      for (const entry of entries) await walk(entry, "");
    }
    return found;
  }

  const carriesFiles = (e) => e.dataTransfer && [...e.dataTransfer.types].includes("Files");
  addEventListener("dragover", (e) => {
    if (!carriesFiles(e)) return;
    e.preventDefault();  // else the browser opens the file in place of the page
    if (!hook) document.body.classList.add("dragging");
  });
  addEventListener("dragleave", (e) => {
    if (!e.relatedTarget) document.body.classList.remove("dragging");
  });
  addEventListener("drop", (e) => {
    if (!carriesFiles(e)) return;
    e.preventDefault();
    document.body.classList.remove("dragging");
    // Entries must be taken while the event lasts.
    const entries = [...e.dataTransfer.items].filter((i) => i.kind === "file" && i.webkitGetAsEntry)
      .map((i) => i.webkitGetAsEntry()).filter(Boolean);
    const files = [...e.dataTransfer.files];
    const unreadable = (error) => notice([`the files dropped cannot be read: ${error.message || error}`]);
    droppedFiles(entries, files).then(openDemo, unreadable);
  });

  // ---- the set-up window, drawn for the player's set-up logic ---------------
  const dialog = {
    controls: {},
    create(title, x, y, width, height, report) {
      this.report = report;
      this.controls = {};
      const box = $("setup-controls");
      box.textContent = "";
      box.style.width = width + "px";
      box.style.height = height + "px";
      $("setup-title").textContent = title;
      $("open-message").hidden = true;
      show("setup");
      $("setup").dataset.open = "1";
    },
    addControl(kind, text, x, y, width, height, id) {
      let element;
      if (kind === "button") {
        element = document.createElement("button");
        element.textContent = text;
        element.addEventListener("click", () => {
          if (opening) return;  // the demo in the folder is being replaced
          // The click that starts the demo is the one that may start sound.
          unlockAudio();
          Module._zor_set_sound($("nosound").checked ? 0 : 1);
          Module._zor_set_smooth($("smooth").checked ? 1 : 0);
          this.report(id, 0);
        });
      } else if (kind === "list") {
        element = document.createElement("select");
        element.title = text;
        element.addEventListener("change", () => this.report(id, 1));
        height = 22;
      } else {
        element = document.createElement("div");
        element.textContent = text;
      }
      Object.assign(element.style, { left: x + "px", top: y + "px", width: width + "px", height: height + "px" });
      if (id) {
        element.id = "control-" + id;
        this.controls[id] = element;
      }
      $("setup-controls").appendChild(element);
    },
    addString(id, text) {
      const list = this.controls[id];
      if (!list) return;
      // A new item selects nothing, as in the set-up window's lists.
      const selected = list.selectedIndex;
      const option = document.createElement("option");
      option.textContent = text;
      list.appendChild(option);
      list.selectedIndex = selected;
    },
    setCurSel(id, index) {
      const list = this.controls[id];
      if (list) list.selectedIndex = index >= 0 && index < list.options.length ? index : -1;
    },
    getCurSel(id) {
      const list = this.controls[id];
      return list ? list.selectedIndex : -1;
    },
    resetContent(id) {
      const list = this.controls[id];
      if (list) list.textContent = "";
    },
    messageBox(caption, text) { page.messageBox(caption, text); },
    destroy() {
      $("setup").hidden = true;
      $("setup").dataset.open = "";
    },
  };

  // ---- what the player calls ------------------------------------------------
  const page = {
    audio,
    dialog,
    async ready() {
      if (hook) document.body.classList.add("hook");
      if (hook && !hookSize) {
        fail([`size: "${params.get("size")}" is not WxH, e.g. 320x240`]);
        return;
      }
      $("version").textContent = Module.UTF8ToString(Module._zor_version());
      Module.FS.mkdir(kWorkFolder);
      Module.FS.chdir(kWorkFolder);
      playerReady = true;
      if (!(await loadPageDemo())) return;
      if (hook) {
        $("loading").hidden = true;
        Module._zor_set_sound(0);
        if (hookFrame !== null) {
          if (!Number.isFinite(hookFrame)) return fail([`frame: "${params.get("frame")}" is not a number`]);
          Module._zor_show_frame(hookFrame, hookSize.width, hookSize.height);
        } else {
          Module._zor_bench(hookSize.width, hookSize.height, params.has("smooth") ? 1 : 0);
        }
        return;
      }
      await loadPageMusic();
      log.length = 0;
      if (!Module._zor_open_setup()) fail(log.length ? log.slice() : ["zor: cannot show the set-up window"]);
    },
    started() {
      for (const id of ["loading", "setup", "box", "error-panel", "end-panel"]) $(id).hidden = true;
      document.body.dataset.state = "playing";
      canvas.focus();
      notice(log.splice(0));
    },
    ended(status) {
      if (status !== 0) {
        fail(log.length ? log.splice(0) : [`zor: the demo ended with status ${status}`]);
        return;
      }
      show("end-panel");
      document.body.dataset.state = "ended";
      $("again").focus();
    },
    frameShown(frame) {
      // Read now: the canvas keeps its picture only until this task ends.
      page.shot = canvas.toDataURL("image/png");
      $("notices").hidden = true;
      document.body.dataset.state = "frame-shown";
      console.log(`frame ${frame} shown`);
    },
    benchDone(rate) {
      document.body.dataset.state = "bench-done";
      page.rate = rate;
    },
    messageBox(caption, text) {
      $("box-caption").textContent = caption;
      $("box-text").textContent = text;
      $("box").hidden = false;
    },
  };

  $("again").addEventListener("click", () => {
    unlockAudio();
    log.length = 0;
    $("end-panel").hidden = true;
    Module._zor_play_again();
  });

  window.Module = {
    page,
    canvas,
    instantiateWasm(imports, receiveInstance) {
      instantiateWasm(imports)
        .then((result) => receiveInstance(result.instance, result.module))
        .catch((e) => fail([`${kWasm}: ${e.message || e}`, ...(fromDisk && !embedded.has(kWasm) ? kFromDisk : []),
                            "zor: the player cannot start"]));
      return {};  // the exports come later, through receiveInstance
    },
    print: (line) => console.log(line),
    printErr: (line) => {
      console.error(line);
      log.push(line);
    },
    onAbort: (what) => fail(log.splice(0).concat([`zor: the demo stopped: ${what}`])),
  };
  fitCanvas();
  showDemoInfo();
  startPageDemo();
  loadPlayer();
})();
