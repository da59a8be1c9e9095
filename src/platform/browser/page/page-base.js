// The page's common ground (page.js says what the page does and how its
// scripts share it): the names it uses, what the query asks for, the panels,
// the messages, and the canvas kept at the display mode's shape.
"use strict";

const zorPage = (() => {
  const z = {};

  // The player's own names (zor-constants.js, made from their C++ homes).
  z.kArchive = zorFiles.Archive;
  z.kMusic = zorFiles.Music;
  z.kScene = zorFiles.Scene;
  z.kDemoList = zorFiles.DemoList;
  z.kWasm = zorRuntime.PlayerCode;
  z.kScript = zorRuntime.PlayerScript;
  z.kLicence = zorRuntime.Licence;
  z.kWorkFolder = "/demo";
  z.kWasmType = "application/wasm";

  z.params = new URLSearchParams(location.search);
  z.fromDisk = location.protocol === "file:";
  z.hookFrame = z.params.has("frame") ? parseInt(z.params.get("frame"), 10) : null;
  z.bench = z.params.has("bench");
  z.hook = z.hookFrame !== null || z.bench;
  z.hookSize = parseSize(z.params.get("size") || "640x480");

  z.$ = (id) => document.getElementById(id);
  const $ = z.$;
  z.canvas = $("screen");
  z.log = [];  // the player's messages since the last start
  z.playerReady = false;  // zor.wasm runs and its working folder is made

  // Said whenever something beside a page on the disk cannot be fetched.
  z.kFromDisk = [
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

  z.show = function (id) {
    for (const panel of ["loading", "setup", "box", "error-panel", "end-panel"]) $(panel).hidden = panel !== id;
  };

  // ---- messages -------------------------------------------------------------
  z.fail = function (lines) {
    for (const line of lines) console.error(line);
    $("error-text").textContent = lines.join("\n");
    $("error-open").hidden = !z.playerReady || z.hook;
    z.show("error-panel");
    document.body.dataset.state = "error";
  };

  z.notice = function (lines) {
    if (!lines.length) return;
    const text = $("notice-text");
    text.textContent += (text.textContent ? "\n" : "") + lines.join("\n");
    $("notices").hidden = false;
  };

  $("notices-close").addEventListener("click", () => { $("notices").hidden = true; });
  $("box-ok").addEventListener("click", () => { $("box").hidden = true; });
  $("reload").addEventListener("click", () => location.reload());

  // ---- the canvas: the mode's shape, as large as the window allows --------
  z.fitCanvas = function () {
    const canvas = z.canvas, w = canvas.width, h = canvas.height;
    if (document.body.classList.contains("hook")) {
      canvas.style.width = w + "px";
      canvas.style.height = h + "px";
      return;
    }
    const scale = Math.min(innerWidth / w, innerHeight / h);
    canvas.style.width = Math.floor(w * scale) + "px";
    canvas.style.height = Math.floor(h * scale) + "px";
  };
  addEventListener("resize", z.fitCanvas);
  new MutationObserver(z.fitCanvas).observe(z.canvas, { attributes: true, attributeFilter: ["width", "height"] });
  z.canvas.addEventListener("contextmenu", (e) => e.preventDefault());

  return z;
})();
