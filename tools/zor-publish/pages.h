#pragma once
// The pages and folders zor-publish makes from a demo and the runtimes the
// build already makes: the page for web browsers (the files
// writers/web_page.h lists: index.html, the page's scripts, zor.js,
// zor.wasm, with SERVING.md and LICENSE.txt beside them) and the Windows
// player (zor.exe, the tools, README.txt, LICENSE.txt).
//
// The single-file page follows the contract at the top of page-blocks.js:
// the page's scripts written into index.html, the player and the demo as
// data blocks (gzip, then base85) at the "zor:data" comment, the demo's
// title, description and poster at the "zor:head" comment.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "demo_bundle.h"
#include "writers/web_page.h"

namespace zor::publish {

// What a page shows beside the demo's own name (the bundle's demo-info.txt,
// which gives the page's title and description).
struct PageInfo {
    std::optional<Bytes> poster;  // a JPEG
    std::string url;              // where a site will be served from; empty: unknown
};

// The Windows runtime's player (the web runtime's files: web::kWebRuntimeFiles;
// both checked present when they are looked for).
inline constexpr const char* kWindowsPlayer = "zor.exe";

// Where the runtime of `kind` ("web" or "windows") is: `given` when set,
// else the installed one beside the program (../share/zor/KIND, the Debian
// package's layout), else one beside the program itself (the Windows
// download's layout: zor.exe in the program's own folder is the Windows
// runtime, a web folder beside it the web runtime, which the download does
// not carry), else the build's own (`buildOwn`, when the program runs from
// its build tree).
// Throws std::runtime_error saying what is missing and how to get it.
std::filesystem::path findRuntime(const std::string& kind, const std::filesystem::path& given,
                                  const std::filesystem::path& buildOwn);

// One HTML file that plays from the disk.
std::string singleFilePage(const std::filesystem::path& runtime, const DemoBundle& demo, const PageInfo& info);

// The files of a web site, as scripts/web --dist lays one out: the page, the
// player, the demo with the list of its files (web::kDemoListFileName), gzip
// copies of the page and the player, README (on serving it: the runtime's
// SERVING.md), LICENSE.txt and, with a poster, poster.jpg.
std::vector<write::DataFile> siteFiles(const std::filesystem::path& runtime, const DemoBundle& demo,
                                       const PageInfo& info);

// What a Windows release holds beside the player and the demo.
struct WindowsRelease {
    bool withTools = false;  // the authoring programs (every .exe but zor.exe)
    // An author's release (the demo says what it is called): README.txt and
    // FILE_ID.DIZ made from the demo's info, and the screenshot. Otherwise
    // (the sample) the runtime's own README.txt.
    bool authors = false;
    std::string folderName;          // the zip's one folder
    std::optional<Bytes> screenshot;  // a PNG, FOLDERNAME.png
};

// The Windows player with the demo beside zor.exe: zor.exe (with
// `release.withTools` every other program of the runtime), README.txt and
// LICENSE.txt (and for an author's release FILE_ID.DIZ and the screenshot),
// then the demo's files.
std::vector<write::DataFile> windowsFiles(const std::filesystem::path& runtime, const DemoBundle& demo,
                                          const WindowsRelease& release);

// Whether a site holds a gzip copy of a runtime file of this role, for
// servers that send one: the page and the player, not the texts.
bool sentGzipped(web::WebFileRole role);

std::string base64(std::span<const std::uint8_t> data);

// base85 as the page reads it, in web::kBase85Digits (web_page.h says how).
std::string base85(std::span<const std::uint8_t> data);

}  // namespace zor::publish
