// What the page fetches, counted on the progress bar: the player (zor.js and
// zor.wasm) and the page's own demo, unless the page carries them.
"use strict";

(function (z) {
  const $ = z.$;

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
  z.loadPlayer = function () {
    const script = document.createElement("script");
    if (z.embedded.has(z.kScript)) {
      $("progress-text").textContent = "Unpacking the player…";
      z.unpack(z.kScript).then((bytes) => {
        script.textContent = new TextDecoder().decode(bytes);
        document.body.appendChild(script);
      }, (e) => z.fail([`${z.kScript}: ${e.message}`, "zor: the player cannot start"]));
      return;
    }
    script.src = z.kScript;
    script.async = true;
    script.onerror = () => z.fail([`${z.kScript}: cannot load ${new URL(z.kScript, location.href)}`,
                                   ...(z.fromDisk ? z.kFromDisk : []), "zor: the player cannot start"]);
    document.body.appendChild(script);
  };

  // zor.wasm for zor.js: from the page, or compiled while it downloads when
  // the host sends the right type; otherwise said, and compiled from the bytes.
  z.instantiateWasm = async function (imports) {
    const kWasm = z.kWasm, kWasmType = z.kWasmType;
    if (z.embedded.has(kWasm)) return WebAssembly.instantiate(await z.unpack(kWasm), imports);
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
    z.notice([message]);
    return WebAssembly.instantiate(await response.arrayBuffer(), imports);
  };

  // ---- the page's own demo: carried, or fetched from the site ------------------
  // Addresses of the site's demo files: ?dat and ?mp3 (this site only), else
  // ?data, else beside the page.
  function sameSite(name) {
    const url = new URL(z.params.get(name), location.href);
    if (url.origin !== location.origin) {
      throw new Error(`${name}: ${url} is not on this site (${location.origin}); the page plays only files of ` +
                      `its own site from ?${name}=`);
    }
    return url;
  }

  function archiveLocation(data) {
    if (!data) return new URL(z.kArchive, location.href);
    const url = new URL(data, location.href);
    if (url.pathname.toLowerCase().endsWith(".dat")) return url;
    if (!url.pathname.endsWith("/")) url.pathname += "/";
    return new URL(z.kArchive, url);
  }

  z.carried = [...z.embedded.keys()].filter((name) => ![z.kWasm, z.kScript, z.kLicence].includes(name));
  // Files the query names by their own address are fetched whatever the
  // list beside them says.
  let archiveUrl = null, musicUrl = null, dataFolder = null, archiveNamed = false, musicNamed = false;
  z.queryError = null;
  try {
    const params = z.params;
    archiveUrl = params.has("dat") ? sameSite("dat") : archiveLocation(params.get("data"));
    dataFolder = new URL(".", archiveUrl);
    musicUrl = params.has("mp3") ? sameSite("mp3") : new URL(z.kMusic, dataFolder);
    archiveNamed = params.has("dat") || archiveUrl.href !== new URL(z.kArchive, dataFolder).href;
    musicNamed = params.has("mp3");
  } catch (e) {
    z.queryError = e.message;
  }

  const kMaxListed = 2000;  // names taken from a site's list

  // The site's list of its demo's files beside the archive (demo-files.json,
  // written by zor-publish --web and scripts/web): the page fetches only the
  // files it names, so a visit asks the server for nothing that is not there.
  // Without a list (a folder put up by hand, or one on a host the page may
  // not read) the archive and the music are fetched and nothing beside them.
  // The names, or null for no list.
  async function siteList() {
    const url = new URL(z.kDemoList, dataFolder);
    let response;
    try {
      response = await fetch(url);
    } catch (e) {
      console.log(`${z.kDemoList}: cannot fetch ${url} (${e.message || e}); taking ${z.kArchive} and ${z.kMusic}`);
      return null;
    }
    if (!response.ok) {
      console.log(`${z.kDemoList}: none at ${url}; taking ${z.kArchive} and ${z.kMusic}`);
      return null;
    }
    try {
      const list = await response.json();
      if (!list || !Array.isArray(list.files) || !list.files.every((name) => typeof name === "string")) {
        throw new Error('it holds no {"files": [names]}');
      }
      return new Set(list.files.slice(0, kMaxListed));
    } catch (e) {
      console.warn(`${z.kDemoList}: ${url} is not a list of files (${e.message || e}); ` +
                   `taking ${z.kArchive} and ${z.kMusic}`);
      return null;
    }
  }
  // The bytes of a fetched file, or why there are none.
  async function fetched(name, url) {
    try {
      const response = await download(name, url);
      if (!response.ok) return { why: `cannot fetch ${url}: ${response.status} ${response.statusText}`.trim() };
      return { bytes: new Uint8Array(await response.arrayBuffer()), url };
    } catch (e) {
      return { why: `cannot fetch ${url}: ${e.message || e}` };
    }
  }

  // The files of the page's own demo, started on their way at once, beside
  // zor.wasm: a promise of a Map from each name to a promise of { bytes }, or
  // of { why } there are none (with the address asked). The archive comes
  // first, the music is the player's music, every other file takes
  // precedence over the archive's entry of its name, as a file beside the
  // player does.
  z.pageDemo = Promise.resolve(new Map());
  z.startPageDemo = function () {
    if (z.carried.length) {
      const unpacked = (name) => z.unpack(name).then((bytes) => ({ bytes }), (e) => ({ why: e.message }));
      z.pageDemo = Promise.resolve(new Map(z.carried.map((name) => [name, unpacked(name)])));
    } else if (!z.queryError) {
      z.pageDemo = siteList().then((listed) => {
        const unlisted = { why: `the site has none (${new URL(z.kDemoList, dataFolder)} does not name it)` };
        const take = (name, url, named) =>
          (!listed || named || listed.has(name) ? fetched(name, url) : Promise.resolve(unlisted));
        const files = new Map([[z.kArchive, take(z.kArchive, archiveUrl, archiveNamed)],
                               [z.kMusic, take(z.kMusic, musicUrl, musicNamed)]]);
        for (const name of listed || []) {
          if (z.plainName(name) && ![z.kArchive, z.kMusic, z.kDemoList].includes(name)) {
            files.set(name, fetched(name, new URL(name, dataFolder)));
          }
        }
        return files;
      });
    }
  };
})(zorPage);
