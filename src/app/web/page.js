// The page around the player (zor.js / zor.wasm): it fetches the data files
// into the player's working folder before anything starts, shows the set-up
// window, the player's messages and its end, and keeps the canvas at the
// display mode's shape, scaled to the window.
//
// Everything it downloads (zor.wasm, the archive, the music) is counted on a
// progress bar. zor.wasm is compiled while it downloads when the host sends
// it as application/wasm; under another type the page says so and starts it
// from the downloaded bytes.
//
// Query: ?data=URL takes zor.dat from URL (an archive, or a folder holding
// zor.dat) instead of the page's own folder; mp3.mp3 and files that take
// precedence over the archive's entries lie in the same folder.
// Test hooks: ?frame=N&size=WxH shows frame N once at that size and stops;
// ?bench[&size=WxH][&smooth] shows every frame as fast as the browser allows
// (with smooth, the clock's moments at 60 passes a second) and prints
// "N.N frames/s" on the console.
"use strict";

(function () {
  // The player's own names (zor-files.js, made from its header).
  const kArchive = zorFiles.Archive;
  const kMusic = zorFiles.Music;
  const kWorkFolder = "/demo";
  const kWasm = "zor.wasm";
  const kWasmType = "application/wasm";

  const params = new URLSearchParams(location.search);
  const archiveUrl = archiveLocation(params.get("data"));
  const dataFolder = new URL(".", archiveUrl);
  const hookFrame = params.has("frame") ? parseInt(params.get("frame"), 10) : null;
  const bench = params.has("bench");
  const hookSize = parseSize(params.get("size") || "640x480");

  const $ = (id) => document.getElementById(id);
  const canvas = $("screen");
  const log = [];  // the player's messages since the last start

  function archiveLocation(data) {
    if (!data) return new URL(kArchive, location.href);
    const url = new URL(data, location.href);
    if (url.pathname.toLowerCase().endsWith(".dat")) return url;
    if (!url.pathname.endsWith("/")) url.pathname += "/";
    return new URL(kArchive, url);
  }

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

  // zor.wasm for zor.js: compiled while it downloads when the host sends the
  // right type; otherwise said, and compiled from the bytes.
  async function instantiateWasm(imports) {
    const url = new URL(kWasm, location.href);
    const response = await download(kWasm, url);
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

  // The data starts downloading at once, beside zor.wasm; the player takes
  // it when it is ready.
  let archiveDownload = null, musicDownload = null;
  function startDataDownloads() {
    archiveDownload = download(kArchive, archiveUrl).catch((e) => e);
    musicDownload = download(kMusic, new URL(kMusic, dataFolder)).catch((e) => e);
  }

  // ---- messages -------------------------------------------------------------
  function fail(lines) {
    for (const line of lines) console.error(line);
    $("error-text").textContent = lines.join("\n");
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

  // ---- audio: the browser decodes the MP3; sound starts on a click ---------
  const audio = { context: null, buffers: {}, errors: {}, streams: [], error: "" };

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

  async function loadMusic() {
    const url = new URL(kMusic, dataFolder);
    let reason = null;
    try {
      const response = await musicDownload;
      if (response instanceof Error) throw response;
      if (!response.ok) {
        reason = `cannot fetch ${url}: ${response.status} ${response.statusText}`.trim();
      } else {
        const bytes = await response.arrayBuffer();
        const decoder = new OfflineAudioContext(2, 1, 44100);
        audio.buffers[kMusic] = await decoder.decodeAudioData(bytes);
      }
    } catch (e) {
      reason = audio.buffers[kMusic] ? null : `cannot play ${url}: ${e.message || e}`;
    }
    if (reason) {
      audio.errors[kMusic] = reason;
      // As with -nosound: the demo plays on, silently, and says why.
      $("nosound").checked = true;
      $("nosound").disabled = true;
      notice([`${kMusic}: ${reason}; the demo plays without music`]);
    }
  }

  // ---- files: the archive, and files beside it that take precedence ---------
  async function fetchBytes(url, started) {
    const response = started ? await started : await fetch(url);
    if (response instanceof Error) throw response;
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`.trim());
    return new Uint8Array(await response.arrayBuffer());
  }

  // Entry names that stay inside the working folder.
  const plainName = (name) => /^[A-Za-z0-9_][A-Za-z0-9_. -]{0,30}$/.test(name) && !name.includes("..");

  async function loadFiles() {
    const FS = Module.FS;
    FS.mkdir(kWorkFolder);
    FS.chdir(kWorkFolder);
    let archive;
    try {
      archive = await fetchBytes(archiveUrl, archiveDownload);
    } catch (e) {
      fail([`${kArchive}: cannot fetch ${archiveUrl}: ${e.message}`,
            "zor: the demo needs its archive zor.dat; nothing to play"]);
      return false;
    }
    FS.writeFile(kArchive, archive);
    archive = null;
    const report = Module.UTF8ToString(Module._zor_archive_report()).split("\n");
    if (report[0] !== "ok") {
      fail([report.slice(1).join("\n"), "zor: the archive cannot be read; nothing to play"]);
      return false;
    }
    // A file beside the archive takes precedence over its entry, as a file
    // beside the player does.
    const names = report.slice(1).filter((n) => n && plainName(n) && n !== kArchive);
    await Promise.all(names.map(async (name) => {
      try {
        FS.writeFile(name, await fetchBytes(new URL(name, dataFolder)));
        console.log(`${name}: taken from beside the archive`);
      } catch (e) {
        // Not there: the archive's entry is used.
      }
    }));
    return true;
  }

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
      show("setup");
      $("setup").dataset.open = "1";
    },
    addControl(kind, text, x, y, width, height, id) {
      let element;
      if (kind === "button") {
        element = document.createElement("button");
        element.textContent = text;
        element.addEventListener("click", () => {
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
      const hook = hookFrame !== null || bench;
      if (hook) document.body.classList.add("hook");
      if (hook && !hookSize) {
        fail([`size: "${params.get("size")}" is not WxH, e.g. 320x240`]);
        return;
      }
      $("version").textContent = Module.UTF8ToString(Module._zor_version());
      if (!(await loadFiles())) return;
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
      await loadMusic();
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
        .catch((e) => fail([`${kWasm}: ${e.message || e}`, "zor: the player cannot start"]));
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
  startDataDownloads();
})();
