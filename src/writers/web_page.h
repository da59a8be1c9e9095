#pragma once
// What the page for web browsers is made of, and the names and digits it
// shares with what writes pages: the runtime's files (what scripts/web
// builds, the package installs and zor-publish reads), the name of a site's
// list of its demo's files, and the digits of the data blocks a single-file
// page carries. The page reads what zor-publish writes with
// them, so they belong with the writers of the formats the player reads.
//
// The build reads this file as text (cmake/WebPage.cmake), and so do the
// browser cases: kWebRuntimeFiles, a name and a role a line, tells it what to
// put in the runtime and which scripts index.html loads; the digits and the
// k...FileName names go into the page's zor-constants.js. No copy of them is
// written anywhere else.

namespace zor::web {

// What a file of the runtime is to a page.
enum class WebFileRole {
    Page,          // index.html: every page is made from it
    Script,        // the page's own scripts, loaded by index.html in the list's order
    PlayerScript,  // zor.js, Emscripten's part of the player
    PlayerCode,    // zor.wasm, the player compiled to WebAssembly
    Readme,        // SERVING.md: what a site's server must do; a site's README
    Licence,       // LICENSE.txt: the licence and the notices of what the player carries
};

struct WebFile {
    const char* name;
    WebFileRole role;
};

inline constexpr WebFile kWebRuntimeFiles[] = {
    {"index.html", WebFileRole::Page},
    {"zor-constants.js", WebFileRole::Script},
    {"page-base.js", WebFileRole::Script},
    {"page-blocks.js", WebFileRole::Script},
    {"page-fetch.js", WebFileRole::Script},
    {"page-folder.js", WebFileRole::Script},
    {"page-audio.js", WebFileRole::Script},
    {"page-open.js", WebFileRole::Script},
    {"page-setup.js", WebFileRole::Script},
    {"page.js", WebFileRole::Script},
    {"zor.js", WebFileRole::PlayerScript},
    {"zor.wasm", WebFileRole::PlayerCode},
    {"SERVING.md", WebFileRole::Readme},
    {"LICENSE.txt", WebFileRole::Licence},
};

// The list of a site's demo files, beside its archive: JSON, {"files":
// ["zor.dat", "mp3.mp3", ...]}, the plain names of the files of the demo's
// play folder that lie there. The page fetches only the files it names.
inline constexpr const char* kDemoListFileName = "demo-files.json";

// The digits of base85 as the page reads it, 0 to 84: the printable ASCII
// characters but < > & " ' \ ` / =, so a data block never holds markup, an
// entity or an end tag. Each 4 bytes (big-endian) are 5 digits, the most
// significant first; a last group of n < 4 bytes is padded with zeros and
// written as its first n + 1 digits.
inline constexpr char kBase85Digits[] = "!#$%()*+,-.0123456789:;?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_abcdefghijklmnopqrstuvwxyz{|}~";
static_assert(sizeof kBase85Digits == 86);

}  // namespace zor::web
