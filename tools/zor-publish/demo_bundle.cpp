#include "demo_bundle.h"

#include <cstring>
#include <map>
#include <stdexcept>

#include "scene/demo_info.h"
#include "scene/player_constants.h"
#include "system/text.h"

namespace zor::publish {
namespace {

namespace fs = std::filesystem;

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

Bytes readOrThrow(const fs::path& path) {
    ReadFailure failure;
    std::optional<Bytes> bytes = readWholeFile(path, &failure);
    if (!bytes) throw std::runtime_error(utf8Of(path) + ": cannot read: " + failure.reason);
    return std::move(*bytes);
}

// The entries of the folder's own archive, in its order; none when there is
// no archive. A corrupt one stops the publishing.
std::vector<write::DataFile> archiveEntries(const fs::path& archive) {
    std::vector<write::DataFile> entries;
    std::error_code ec;
    if (!fs::exists(archive, ec)) return entries;
    PackFile pack(utf8Of(archive));
    if (pack.isCorrupt()) throw std::runtime_error(utf8Of(archive) + ": " + pack.error());
    for (int i = 0; i < pack.entryCount(); ++i) {
        std::optional<Bytes> data = pack.readEntryAt(i);
        if (!data) throw std::runtime_error(utf8Of(archive) + ": " + pack.error());
        const PackEntry& e = pack.entry(i);
        entries.push_back({std::string(e.name, strnlen(e.name, sizeof e.name)), std::move(*data)});
    }
    return entries;
}

}  // namespace

DemoBundle bundleDemo(const fs::path& folder, const DemoInfo& naming) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw std::runtime_error(utf8Of(folder) + ": " + (fs::exists(folder, ec) ? "is not a folder" : "no such folder"));
    DemoBundle bundle;

    // The check, which loads the scene, its objects, images and logo as the
    // player does; the log says which names were asked for.
    DataLookupLog log;
    DataSource source;
    source.directory = folder;
    source.archiveName = kArchiveFileName;
    {
        const ArchiveCache::Hold oneArchive = source.holdArchive();
        DataSource logged = source;
        logged.log = &log;
        bundle.findings = check::checkScene(logged, kSceneFileName);
    }

    // The archive's entries, then every name the player read from the
    // folder in place of (or beside) them, in the order it asked.
    std::vector<write::DataFile> files = archiveEntries(folder / kArchiveFileName);
    std::map<std::string, std::size_t> byName;
    for (std::size_t i = 0; i < files.size(); ++i) byName.emplace(lowered(files[i].name), i);
    for (const DataLookup& lookup : log.lookups) {
        if (!lookup.archivePath.empty() || lookup.diskPath.empty() || !fs::is_regular_file(lookup.diskPath, ec))
            continue;  // not read from the folder
        const std::string key = lowered(lookup.name);
        if (lookup.name.size() > static_cast<std::size_t>(kMaxEntryNameLength))
            throw std::runtime_error(utf8Of(folder / pathFromUtf8(lookup.name)) + ": the name is longer than the archive's " +
                                     std::to_string(kMaxEntryNameLength) + " characters, so it cannot be packed");
        Bytes bytes = readOrThrow(lookup.diskPath);
        if (const auto at = byName.find(key); at != byName.end()) {
            if (files[at->second].bytes == bytes) continue;
            files[at->second].bytes = std::move(bytes);
        } else {
            byName.emplace(key, files.size());
            files.push_back({lookup.name, std::move(bytes)});
        }
        ++bundle.packedFromDisk;
    }
    if (files.empty())
        throw std::runtime_error(utf8Of(folder) + ": neither " + kArchiveFileName + " nor any file the scene " +
                                 kSceneFileName + " reads is here");

    // What the demo is called: the folder's demo-info.txt as the player reads
    // it (on disk, else in the archive) with the values given in place of its
    // own, in the archive whenever it says anything or the folder had one.
    const std::optional<Bytes> folderInfo = readDataFile(source, kDemoInfoFileName);
    DemoInfo info = folderInfo ? parseDemoInfo(*folderInfo) : DemoInfo{};
    if (!naming.title.empty()) info.title = naming.title;
    if (!naming.author.empty()) info.author = naming.author;
    if (!naming.description.empty()) info.description = naming.description;
    const std::string infoText = formatDemoInfo(info);
    bundle.info = parseDemoInfo({reinterpret_cast<const std::uint8_t*>(infoText.data()), infoText.size()});
    if (folderInfo || !bundle.info.empty()) {
        Bytes bytes(infoText.begin(), infoText.end());
        if (const auto at = byName.find(lowered(kDemoInfoFileName)); at != byName.end())
            files[at->second].bytes = std::move(bytes);
        else
            files.push_back({kDemoInfoFileName, std::move(bytes)});
    }
    bundle.entries = static_cast<int>(files.size());

    // Built as zorpack builds an archive, in memory.
    std::string why;
    std::optional<Bytes> archive = packArchive(files, why);
    if (!archive) throw std::runtime_error("cannot build the archive: " + why);
    bundle.archive = std::move(*archive);

    const fs::path music = folder / kMusicFileName;
    if (fs::exists(music, ec)) bundle.music = readOrThrow(music);
    // Companions the player looks for on disk only: NAME.avi beside NAME.jpg.
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = utf8Of(entry.path().filename());
        if (name.starts_with('.') || lowered(utf8Of(entry.path().extension())) != ".avi" ||
            !entry.is_regular_file(ec) || name.size() > static_cast<std::size_t>(kMaxEntryNameLength))
            continue;
        bundle.diskOnly.push_back({name, readOrThrow(entry.path())});
    }
    return bundle;
}

}  // namespace zor::publish
