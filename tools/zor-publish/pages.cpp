#include "pages.h"
#include "release_texts.h"

#include <cctype>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "archive_bytes.h"
#include "scene/player_constants.h"
#include "system/process.h"
#include "system/text.h"

namespace zor::publish {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDataMarker = "<!-- zor:data -->";
constexpr const char* kHeadMarker = "<!-- zor:head -->";

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The runtime's one file of a role.
std::string runtimeFileOf(web::WebFileRole role) {
    for (const web::WebFile& file : web::kWebRuntimeFiles)
        if (file.role == role) return file.name;
    throw std::logic_error("the web runtime has no file of this role");
}

Bytes readRuntimeFile(const fs::path& runtime, const std::string& name) {
    ReadFailure failure;
    std::optional<Bytes> data = readWholeFile(runtime / pathFromUtf8(name), &failure);
    if (!data) throw std::runtime_error(utf8Of(runtime / pathFromUtf8(name)) + ": cannot read: " + failure.reason);
    return std::move(*data);
}

// Text for an HTML element or a quoted attribute.
std::string escaped(const std::string& in) {
    std::string out;
    for (char c : in) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

void replaceOnce(std::string& page, const std::string& what, const std::string& with, const std::string& where) {
    const std::size_t at = page.find(what);
    if (at == std::string::npos || page.find(what, at + 1) != std::string::npos)
        throw std::runtime_error(where + ": the page's template does not hold " + what + " exactly once");
    page.replace(at, what.size(), with);
}

// A data block of the page: gzip, then base85, or base85 alone where gzip
// does not shrink the file (the archive and the music are compressed).
std::string dataBlock(const std::string& name, const Bytes& data) {
    const Bytes packed = gzippedSmallest(data);
    const bool gzip = packed.size() < data.size();
    return "<script type=\"application/octet-stream\" data-zor-file=\"" + escaped(name) +
           "\" data-zor-encoding=\"" + (gzip ? "gzip+base85" : "base85") + "\">" + base85(gzip ? packed : data) +
           "</script>";
}

// The head's description, Open Graph tags and the start panel's demo block.
std::string headBlock(const DemoInfo& info, const std::string& posterUrl, const std::string& posterLink) {
    std::string head;
    nlohmann::ordered_json demo = nlohmann::ordered_json::object();
    if (!info.title.empty()) {
        head += "<meta property=\"og:title\" content=\"" + escaped(info.title) + "\">\n";
        demo["title"] = info.title;
    }
    if (!info.author.empty()) head += "<meta name=\"author\" content=\"" + escaped(info.author) + "\">\n";
    if (!info.description.empty()) {
        head += "<meta name=\"description\" content=\"" + escaped(info.description) + "\">\n";
        head += "<meta property=\"og:description\" content=\"" + escaped(info.description) + "\">\n";
        demo["description"] = info.description;
    }
    head += "<meta property=\"og:type\" content=\"website\">\n";
    if (!posterLink.empty()) head += "<meta property=\"og:image\" content=\"" + escaped(posterLink) + "\">\n";
    if (!posterUrl.empty()) demo["poster"] = posterUrl;
    std::string json = demo.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // Inside a script element "</" would end it.
    for (std::size_t at = 0; (at = json.find("</", at)) != std::string::npos; at += 3) json.replace(at, 2, "<\\/");
    return head + "<script type=\"application/json\" id=\"zor-demo\">" + json + "</script>";
}

// index.html with the demo's title and head filled in.
std::string pageWithHead(const fs::path& runtime, const DemoInfo& info, const std::string& posterUrl,
                         const std::string& posterLink) {
    const std::string name = runtimeFileOf(web::WebFileRole::Page);
    std::string page = text(readRuntimeFile(runtime, name));
    const std::string where = utf8Of(runtime / pathFromUtf8(name));
    if (!info.title.empty()) {
        const std::size_t open = page.find("<title>"), close = page.find("</title>");
        if (open == std::string::npos || close == std::string::npos || close < open)
            throw std::runtime_error(where + ": the page's template has no title element");
        page.replace(open, close + 8 - open, "<title>" + escaped(info.title) + "</title>");
    }
    replaceOnce(page, kHeadMarker, headBlock(info, posterUrl, posterLink), where);
    return page;
}

// A script without its lines that hold only a comment or nothing (the
// scripts hold no text that spans lines, so no such line is inside a string).
std::string withoutCommentLines(const std::string& script) {
    std::string out;
    out.reserve(script.size());
    for (std::size_t at = 0; at < script.size();) {
        std::size_t end = script.find('\n', at);
        end = end == std::string::npos ? script.size() : end + 1;
        const std::size_t first = script.find_first_not_of(" \t\r\n", at);
        const bool keep = first < end && script.compare(first, 2, "//") != 0;
        if (keep) out.append(script, at, end - at);
        at = end;
    }
    return out;
}

// The runtime's files a single-file page carries as data blocks: the player
// and the licence.
bool carriedAsData(web::WebFileRole role) {
    return role == web::WebFileRole::PlayerScript || role == web::WebFileRole::PlayerCode ||
           role == web::WebFileRole::Licence;
}

std::string demoFileBlocks(const DemoBundle& demo) {
    std::string blocks = dataBlock(kArchiveFileName, demo.archive);
    if (demo.music) blocks += "\n" + dataBlock(kMusicFileName, *demo.music);
    for (const write::DataFile& f : demo.diskOnly) blocks += "\n" + dataBlock(f.name, f.bytes);
    return blocks;
}

}  // namespace

bool sentGzipped(web::WebFileRole role) {
    return role != web::WebFileRole::Readme && role != web::WebFileRole::Licence;
}

std::string base64(std::span<const std::uint8_t> data) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
    }
    if (const std::size_t left = data.size() - i; left > 0) {
        const std::uint32_t v = (data[i] << 16) | (left == 2 ? data[i + 1] << 8 : 0);
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], left == 2 ? kDigits[(v >> 6) & 63] : '=', '='};
    }
    return out;
}

std::string base85(std::span<const std::uint8_t> data) {
    std::string out;
    out.reserve((data.size() + 3) / 4 * 5);
    for (std::size_t i = 0; i < data.size(); i += 4) {
        const std::size_t n = std::min<std::size_t>(4, data.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | (k < n ? data[i + k] : 0);
        char group[5];
        for (int k = 4; k >= 0; --k) {
            group[k] = web::kBase85Digits[v % 85];
            v /= 85;
        }
        out.append(group, n + 1);
    }
    return out;
}

fs::path findRuntime(const std::string& kind, const fs::path& given, const fs::path& buildOwn) {
    const auto complete = [&](const fs::path& dir, std::string* missing) {
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) {
            if (missing) *missing = utf8Of(dir) + " does not exist";
            return false;
        }
        const auto has = [&](const char* name) {
            if (fs::is_regular_file(dir / name, ec)) return true;
            if (missing) *missing = utf8Of(dir / name) + " is missing";
            return false;
        };
        if (kind == "web") {
            for (const web::WebFile& file : web::kWebRuntimeFiles)
                if (!has(file.name)) return false;
            return true;
        }
        return has(kWindowsPlayer);
    };
    std::string missing;
    if (!given.empty()) {
        if (complete(given, &missing)) return given;
        throw std::runtime_error("the " + kind + " runtime given: " + missing);
    }
    const fs::path own = programFolder();
    const fs::path installed = own.parent_path() / "share" / "zor" / kind;
    const fs::path beside = kind == "web" ? own / "web" : own;
    if (!own.empty() && complete(installed, nullptr)) return installed;
    if (!own.empty() && complete(beside, nullptr)) return beside;
    if (!buildOwn.empty() && complete(buildOwn, &missing)) return buildOwn;
    const std::string how = kind == "web" ? "scripts/web builds it" : "scripts/windows builds it";
    throw std::runtime_error("no " + kind + " runtime: neither " + utf8Of(installed) + " (installed with the package)" +
                             " nor " + utf8Of(beside) + " (beside the program)" +
                             (buildOwn.empty() ? std::string() : " nor " + utf8Of(buildOwn) + " (this build's own; " +
                                                                     how + ")") +
                             " holds it");
}

std::string singleFilePage(const fs::path& runtime, const DemoBundle& demo, const PageInfo& info) {
    const std::string posterUrl = info.poster ? "data:image/jpeg;base64," + base64(*info.poster) : std::string();
    std::string page = pageWithHead(runtime, demo.info, posterUrl, {});
    const std::string where = utf8Of(runtime / pathFromUtf8(runtimeFileOf(web::WebFileRole::Page)));
    std::string blocks;
    for (const web::WebFile& file : web::kWebRuntimeFiles) {
        const std::string name = file.name;
        if (file.role == web::WebFileRole::Script) {
            std::string script = text(readRuntimeFile(runtime, name));
            std::string lower = script;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower.find("</script") != std::string::npos || lower.find("<!--") != std::string::npos)
                throw std::runtime_error(utf8Of(runtime / pathFromUtf8(name)) +
                                         ": holds a closing script tag or a comment's opening");
            replaceOnce(page, "<script src=\"" + name + "\"></script>",
                        "<script>\n" + withoutCommentLines(script) + "</script>", where);
        } else if (carriedAsData(file.role)) {
            blocks += dataBlock(name, readRuntimeFile(runtime, name)) + "\n";
        }
    }
    replaceOnce(page, kDataMarker, blocks + demoFileBlocks(demo), where);
    return page;
}

std::vector<write::DataFile> siteFiles(const fs::path& runtime, const DemoBundle& demo, const PageInfo& info) {
    const std::string poster = info.poster ? "poster.jpg" : "";
    const std::string link = info.poster ? (info.url.empty() ? poster : info.url + (info.url.ends_with('/') ? "" : "/") +
                                                                            poster)
                                         : "";
    std::vector<write::DataFile> files;
    // For hosts that send a stored .gz copy to browsers that accept gzip (the
    // archive and the music are compressed already).
    std::vector<write::DataFile> copies;
    for (const web::WebFile& file : web::kWebRuntimeFiles) {
        if (file.role == web::WebFileRole::Readme) continue;
        files.push_back({file.name, file.role == web::WebFileRole::Page
                                        ? bytes(pageWithHead(runtime, demo.info, poster, link))
                                        : readRuntimeFile(runtime, file.name)});
        if (sentGzipped(file.role))
            copies.push_back({files.back().name + ".gz", gzippedSmallest(files.back().bytes)});
    }
    files.insert(files.end(), copies.begin(), copies.end());
    // The demo's files, and the list of them the page fetches by.
    const std::size_t demoStart = files.size();
    files.push_back({kArchiveFileName, demo.archive});
    if (demo.music) files.push_back({kMusicFileName, *demo.music});
    for (const write::DataFile& f : demo.diskOnly) files.push_back(f);
    nlohmann::ordered_json list = {{"files", nlohmann::ordered_json::array()}};
    for (std::size_t i = demoStart; i < files.size(); ++i) list["files"].push_back(files[i].name);
    files.push_back({web::kDemoListFileName, bytes(list.dump() + "\n")});
    if (info.poster) files.push_back({poster, *info.poster});
    files.push_back({"README", readRuntimeFile(runtime, runtimeFileOf(web::WebFileRole::Readme))});
    return files;
}

std::vector<write::DataFile> windowsFiles(const fs::path& runtime, const DemoBundle& demo,
                                          const WindowsRelease& release) {
    std::vector<write::DataFile> files;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(runtime, ec)) {
        const std::string name = utf8Of(entry.path().filename());
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        // The player, the tools when asked for, and the texts; a demo beside
        // them (the download's sample) is not the runtime's.
        const bool program = lower.ends_with(".exe") && (release.withTools || name == kWindowsPlayer);
        const bool text = name == "LICENSE.txt" || (name == "README.txt" && !release.authors);
        if (!entry.is_regular_file(ec) || !(program || text)) continue;
        files.push_back({name, readRuntimeFile(runtime, name)});
    }
    if (ec) throw std::runtime_error(utf8Of(runtime) + ": cannot list: " + ec.message());
    if (release.authors) {
        files.push_back({"README.txt", bytes(authorReadme(demo.info, release.folderName, ZOR_VERSION))});
        files.push_back({"FILE_ID.DIZ", bytes(fileIdDiz(demo.info, release.folderName))});
        if (release.screenshot) files.push_back({release.folderName + ".png", *release.screenshot});
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    files.push_back({kArchiveFileName, demo.archive});
    if (demo.music) files.push_back({kMusicFileName, *demo.music});
    for (const write::DataFile& f : demo.diskOnly) files.push_back(f);
    return files;
}

}  // namespace zor::publish
