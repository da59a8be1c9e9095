// Files a page carries, and the contract of the single-file page that
// carries them.
//
// ---- The single-file page: what a page may carry -------------------------
// One HTML file that plays from the disk is index.html with these changes
// and no others (a tool writes it from this template; SERVING.md shows the
// same in HTML):
//
// 1. The script elements that load the page's scripts by their src (every
//    script element with a src) become script elements holding the text of
//    those files, whose lines of only a comment or nothing may be left out
//    (no text in them spans lines). No script holds a closing script tag or
//    the opening of an HTML comment.
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
//    from "!" to "~" without < > & " ' \ ` / and = (zorBase85Digits, from
//    src/writers/web_page.h).
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
//    What the demo's own demo-info.txt says (the player reads it once the
//    files are in place) comes before the title and description given here.
//
// The same blocks work in a site's index.html (a zor-demo block beside a
// poster file, say). zor-publish writes both kinds of page.
"use strict";

(function (z) {
  const embedded = new Map();  // NAME -> its data block
  for (const block of document.querySelectorAll('script[type="application/octet-stream"][data-zor-file]')) {
    embedded.set(block.dataset.zorFile, block);
  }
  z.embedded = embedded;

  // base85 as the data-block contract above defines it; throws on a digit
  // outside the alphabet or a lone last digit.
  const base85Value = new Int8Array(128).fill(-1);
  for (let i = 0; i < zorBase85Digits.length; ++i) base85Value[zorBase85Digits.charCodeAt(i)] = i;
  const kHighestDigit = zorBase85Digits.charCodeAt(84);

  function fromBase85(text) {
    const tail = text.length % 5;
    if (tail === 1) throw new Error("a lone digit at the end");
    const bytes = new Uint8Array(Math.floor(text.length / 5) * 4 + (tail ? tail - 1 : 0));
    for (let at = 0, out = 0; at < text.length; at += 5) {
      let v = 0;
      const n = Math.min(5, text.length - at);
      for (let k = 0; k < 5; ++k) {
        const c = k < n ? text.charCodeAt(at + k) : kHighestDigit;  // the highest digit pads
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
  z.unpack = async function (name) {
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
  };
})(zorPage);
