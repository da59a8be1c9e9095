// The player's working folder (in Emscripten's file system): what the player
// reads as its play folder, and the page's own demo put into it.
"use strict";

(function (z) {
  const kWorkFolder = z.kWorkFolder;

  // Names of files beside the archive: plain names that stay in the folder.
  z.plainName = (name) => /^[A-Za-z0-9_][A-Za-z0-9_. -]{0,30}$/.test(name) && !name.includes("..");

  // The player's reading of zor.dat in the working folder: its entries'
  // names, or why it cannot be read (the archive's own text).
  z.readArchive = function () {
    const report = Module.UTF8ToString(Module._zor_archive_report()).split("\n");
    return report[0] === "ok" ? { names: report.slice(1).filter(Boolean) } : { error: report.slice(1).join("\n") };
  };

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
  z.newWorkFolder = function () {
    Module.FS.chdir("/");  // the folder one is in cannot be renamed
    Module.FS.rename(kWorkFolder, kFolderBefore);
    Module.FS.mkdir(kWorkFolder);
    Module.FS.chdir(kWorkFolder);
  };

  z.keepNewFolder = function () {
    removeFolder(kFolderBefore);
  };

  z.keepFolderBefore = function () {
    Module.FS.chdir("/");
    removeFolder(kWorkFolder);
    Module.FS.rename(kFolderBefore, kWorkFolder);
    Module.FS.chdir(kWorkFolder);
  };

  z.writeWorkFiles = function (files) {
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
  };

  // The page's own demo into the working folder; false (and said) when there
  // is nothing to play.
  z.loadPageDemo = async function () {
    const { kArchive, kMusic, fail } = z;
    if (z.queryError) {
      fail([z.queryError, "zor: nothing to play"]);
      return false;
    }
    const carried = z.carried.length > 0;
    const files = await z.pageDemo;
    if (!carried) {
      const archive = await files.get(kArchive);
      if (archive.why) {
        fail([`${kArchive}: ${archive.why}`, ...(z.fromDisk ? z.kFromDisk : []),
              "zor: the demo needs its archive zor.dat; nothing to play"]);
        return false;
      }
    }
    for (const [name, pending] of files) {
      if (name === kMusic) continue;
      const file = await pending;
      if (file.why && carried) {
        fail([`${name}: ${file.why}`, "zor: the page's copy of the demo is damaged; nothing to play"]);
        return false;
      }
      if (file.why) {
        z.notice([`${name}: ${file.why}; the archive's entry is used`]);
      } else if (!z.plainName(name)) {
        console.warn(`${name}: not a plain file name; left out`);
      } else {
        z.writeWorkFiles([{ path: name, bytes: file.bytes }]);
        if (!carried && name !== kArchive) console.log(`${name}: taken from beside the archive`);
      }
    }
    const report = z.readArchive();
    if (report.error !== undefined) {
      fail([report.error, "zor: the archive cannot be read; nothing to play"]);
      return false;
    }
    return true;
  };
})(zorPage);
