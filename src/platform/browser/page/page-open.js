// A demo the viewer opens ("Open a demo…") or drops on the page: a zor.dat
// (any NAME.dat) with or without its mp3.mp3, or the loose files of a play
// folder (a dropped folder too), read in the browser and played from memory;
// nothing is uploaded. What a file holds reaches the page as text only,
// never as markup.
"use strict";

(function (z) {
  const $ = z.$;
  const { kArchive, kMusic, kScene } = z;
  // What a viewer may open at once.
  const kMaxOpenedBytes = 512 * 1024 * 1024;
  const kMaxOpenedFiles = 2000;

  z.opening = false;  // the files opened are being put into the player's folder

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
    if (skipped.length) z.notice(skipped.map((f) => `${f.path}: not a file name the player can look up; left out`));
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

    z.newWorkFolder();
    const check = () => {
      z.writeWorkFiles(written);
      const report = z.readArchive();
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
      z.keepFolderBefore();
      return problem;
    }
    z.keepNewFolder();
    if (music) {
      let bytes = null, why = null;
      try {
        bytes = await read(music);
      } catch (e) {
        why = e.message;
      }
      await z.useMusic(music.path, bytes, why);
    } else {
      await z.useMusic(kMusic, null, "not among the files opened");
    }
    z.nameDemo(true);
    $("demo-name").textContent = "Opened: " + describeFiles(archive ? [archive].concat(music ? [music] : []) : files);
    console.log(`opened: ${describeFiles(picked)}`);
    return [];
  }

  async function openDemo(picked) {
    if (z.hook) return;
    if (!z.playerReady || z.opening) {
      const state = z.opening ? "still opening the last files" : document.body.dataset.state === "error" ?
        "without its player, which did not start" : "still loading";
      z.notice([`${describeFiles(picked)}: the page is ${state}; try again ${z.opening ? "in a moment" : "later"}`]);
      return;
    }
    if (document.body.dataset.state === "playing") {
      z.notice([`${describeFiles(picked)}: end the demo first (Escape), then open another`]);
      return;
    }
    z.opening = true;
    $("open-message").hidden = true;
    let problem;
    try {
      problem = await takeOpened(picked);
    } catch (e) {
      problem = [`${describeFiles(picked)}: ${e.message || e}`];
    }
    z.opening = false;
    document.body.dataset.opened = String(Number(document.body.dataset.opened || 0) + 1);
    const setupOpen = $("setup").dataset.open === "1";
    if (problem.length) {
      for (const line of problem) console.error(line);
      if (setupOpen) {
        $("open-message").textContent = problem.join("\n") + "\n(the demo before is still the one that plays)";
        $("open-message").hidden = false;
      } else {
        z.fail(problem);
      }
      return;
    }
    if (!setupOpen) {
      z.log.length = 0;
      if (!Module._zor_open_setup()) z.fail(z.log.length ? z.log.slice() : ["zor: cannot show the set-up window"]);
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
    if (!z.hook) document.body.classList.add("dragging");
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
    const unreadable = (error) => z.notice([`the files dropped cannot be read: ${error.message || error}`]);
    droppedFiles(entries, files).then(openDemo, unreadable);
  });
})(zorPage);
