#pragma once
// The pages and folders zor-publish makes from a demo and the runtimes the
// build already makes: the page for web browsers (index.html, page.js,
// zor-files.js, zor.js, zor.wasm, with SERVING.md and LICENSE.txt beside
// them) and the Windows player (zor.exe, the tools, README.txt,
// LICENSE.txt).
//
// The single-file page follows the contract at the top of page.js: the two
// scripts written into index.html, the player and the demo as data blocks
// (gzip, then base85) at the "zor:data" comment, the demo's title,
// description and poster at the "zor:head" comment.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "demo_bundle.h"

namespace zor::publish {

struct DemoInfo {
    std::optional<std::string> title;
    std::optional<std::string> description;
    std::optional<Bytes> poster;  // a JPEG
    std::string url;              // where a site will be served from; empty: unknown
};

// The runtimes' files (checked present when they are looked for).
inline constexpr const char* kWebRuntimeFiles[] = {"index.html", "page.js",    "zor-files.js", "zor.js",
                                                   "zor.wasm",   "SERVING.md", "LICENSE.txt"};
inline constexpr const char* kWindowsPlayer = "zor.exe";

// Where the runtime of `kind` ("web" or "windows") is: `given` when set,
// else the installed one beside the program (../share/zor/KIND), else the
// build's own (`buildOwn`, when the program runs from its build tree).
// Throws std::runtime_error saying what is missing and how to get it.
std::filesystem::path findRuntime(const std::string& kind, const std::filesystem::path& given,
                                  const std::filesystem::path& buildOwn);

// One HTML file that plays from the disk.
std::string singleFilePage(const std::filesystem::path& runtime, const DemoBundle& demo, const DemoInfo& info);

// The files of a web site, as scripts/web --dist lays one out: the page, the
// player, the demo, gzip copies of the text files and of zor.wasm, README
// (on serving it), LICENSE.txt and, with a poster, poster.jpg.
std::vector<write::DataFile> siteFiles(const std::filesystem::path& runtime, const DemoBundle& demo,
                                       const DemoInfo& info);

// The Windows player with the demo beside zor.exe.
std::vector<write::DataFile> windowsFiles(const std::filesystem::path& runtime, const DemoBundle& demo);

// gzip (no name, no time) of `data`: as gzip -9 makes it (zlib), and the
// smallest libdeflate makes (level 12), which every gunzip reads alike.
Bytes gzipped(std::span<const std::uint8_t> data);
Bytes gzippedSmallest(std::span<const std::uint8_t> data);
std::string base64(std::span<const std::uint8_t> data);

// base85 as the page reads it: each 4 bytes (big-endian) as 5 digits, the
// most significant first; a last group of n < 4 bytes padded with zeros and
// written as its first n + 1 digits. The digits are the printable ASCII
// characters but < > & " ' \ ` / =, so a data block never holds markup, an
// entity or an end tag.
inline constexpr char kBase85Digits[] =
    "!#$%()*+,-.0123456789:;?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_abcdefghijklmnopqrstuvwxyz{|}~";
static_assert(sizeof kBase85Digits == 86);
std::string base85(std::span<const std::uint8_t> data);

}  // namespace zor::publish
