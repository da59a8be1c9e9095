// The page around the player (zor.js / zor.wasm): it puts the demo's files
// into the player's working folder before anything starts, shows the set-up
// window, the player's messages and its end, and keeps the canvas at the
// display mode's shape, scaled to the window.
//
// Its scripts, loaded by index.html in this order, are plain scripts (a page
// opened from the disk may not import modules; the single-file page carries
// them written in) that add their parts to one object, zorPage:
//   zor-constants.js  the names and digits shared with the player and
//                     zor-publish, made by the build from their C++ homes
//   page-base.js      the query, the panels, messages, the canvas
//   page-blocks.js    files the page carries, and the single-file page's
//                     contract
//   page-fetch.js     downloads: the player and the page's own demo
//   page-folder.js    the player's working folder, the page's demo in it
//   page-audio.js     the music
//   page-open.js      a demo the viewer opens or drops
//   page-setup.js     the set-up window, what the page says of its demo
//   page.js           this: what the player calls, and the start
//
// Where the player and the demo come from:
// - The site: zor.js and zor.wasm beside the page, the demo's files beside
//   it too (or where the query says), those its demo-files.json names,
//   every download counted on a progress bar. zor.wasm is compiled while it
//   downloads when the host sends it as application/wasm; under another
//   type the page says so and starts it from the downloaded bytes. Opened
//   from the disk (file://), a browser fetches nothing, and the page says
//   why and what to do instead.
// - The page itself: a single-file page carries them in data blocks
//   (page-blocks.js gives the contract) and fetches nothing.
// - The viewer: "Open a demo…", or files dropped anywhere on the page: a
//   zor.dat (any NAME.dat) with or without its mp3.mp3, or the loose files of
//   a play folder (a dropped folder too). They are read in the browser and
//   played from memory; nothing is uploaded. What a file holds reaches the
//   page as text only, never as markup.
//
// Query: ?data=URL takes zor.dat from URL (an archive, or a folder holding
// zor.dat) instead of the page's own folder; mp3.mp3 and files that take
// precedence over the archive's entries lie in the same folder, named by
// its demo-files.json (the host of URL must allow the page's origin).
// ?dat=URL&mp3=URL take the archive and the music from those addresses of
// the page's own site (either alone: the other as before).
// Test hooks: ?frame=N&size=WxH shows frame N once at that size and stops;
// ?bench[&size=WxH][&smooth] shows every frame as fast as the browser allows
// (with smooth, the clock's moments at 60 passes a second) and prints
// "N.N frames/s" on the console.
"use strict";

(function (z) {
  const $ = z.$;

  // ---- what the player calls ------------------------------------------------
  const page = {
    audio: z.audio,
    dialog: z.dialog,
    async ready() {
      if (z.hook) document.body.classList.add("hook");
      if (z.hook && !z.hookSize) {
        z.fail([`size: "${z.params.get("size")}" is not WxH, e.g. 320x240`]);
        return;
      }
      $("version").textContent = Module.UTF8ToString(Module._zor_version());
      Module.FS.mkdir(z.kWorkFolder);
      Module.FS.chdir(z.kWorkFolder);
      z.playerReady = true;
      if (!(await z.loadPageDemo())) return;
      z.nameDemo(false);
      if (z.hook) {
        $("loading").hidden = true;
        Module._zor_set_sound(0);
        if (z.hookFrame !== null) {
          if (!Number.isFinite(z.hookFrame)) return z.fail([`frame: "${z.params.get("frame")}" is not a number`]);
          Module._zor_show_frame(z.hookFrame, z.hookSize.width, z.hookSize.height);
        } else {
          Module._zor_bench(z.hookSize.width, z.hookSize.height, z.params.has("smooth") ? 1 : 0);
        }
        return;
      }
      await z.loadPageMusic();
      z.log.length = 0;
      if (!Module._zor_open_setup()) z.fail(z.log.length ? z.log.slice() : ["zor: cannot show the set-up window"]);
    },
    started() {
      for (const id of ["loading", "setup", "box", "error-panel", "end-panel"]) $(id).hidden = true;
      document.body.dataset.state = "playing";
      z.canvas.focus();
      z.notice(z.log.splice(0));
    },
    ended(status) {
      if (status !== 0) {
        z.fail(z.log.length ? z.log.splice(0) : [`zor: the demo ended with status ${status}`]);
        return;
      }
      z.show("end-panel");
      document.body.dataset.state = "ended";
      $("again").focus();
    },
    frameShown(frame) {
      // Read now: the canvas keeps its picture only until this task ends.
      page.shot = z.canvas.toDataURL("image/png");
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
    z.unlockAudio();
    z.log.length = 0;
    $("end-panel").hidden = true;
    Module._zor_play_again();
  });

  window.Module = {
    page,
    canvas: z.canvas,
    instantiateWasm(imports, receiveInstance) {
      z.instantiateWasm(imports)
        .then((result) => receiveInstance(result.instance, result.module))
        .catch((e) => z.fail([`${z.kWasm}: ${e.message || e}`,
                              ...(z.fromDisk && !z.embedded.has(z.kWasm) ? z.kFromDisk : []),
                              "zor: the player cannot start"]));
      return {};  // the exports come later, through receiveInstance
    },
    print: (line) => console.log(line),
    printErr: (line) => {
      console.error(line);
      z.log.push(line);
    },
    onAbort: (what) => z.fail(z.log.splice(0).concat([`zor: the demo stopped: ${what}`])),
  };
  z.fitCanvas();
  z.showDemoInfo();
  z.startPageDemo();
  z.loadPlayer();
})(zorPage);
