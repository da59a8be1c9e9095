#include "writers/play_folder.h"

#include <system_error>

#include "system/text.h"
#include "scene/player_constants.h"

namespace zor::write {
namespace {

namespace fs = std::filesystem;

void say(const PlayFolder& o, const std::string& line) {
    if (o.progress) o.progress(line);
}

void put(const fs::path& path, std::span<const std::uint8_t> bytes, Replace replace) {
    WriteFailure failure;
    if (!writeFileByRename(path, bytes, replace, failure)) throw std::runtime_error(failure.describe(path, "--force"));
}

}  // namespace

std::vector<std::string> plannedNames(const PlayFolder& o) {
    std::vector<std::string> names;
    if (o.pack) names.push_back(kArchiveFileName);
    else
        for (const DataFile& f : o.files) names.push_back(f.name);
    for (const DataFile& f : o.diskOnly) names.push_back(f.name);
    if (o.music) names.push_back(kMusicFileName);
    return names;
}

bool writeArchiveByRename(const fs::path& path, const std::vector<DataFile>& files, Replace replace,
                          WriteFailure& failure) {
    std::string why;
    const std::optional<Bytes> archive = packArchive(files, why);
    if (!archive) {
        failure = {WriteFailure::Kind::Failed, why};
        return false;
    }
    return writeFileByRename(path, *archive, replace, failure);
}

void writePlayFolder(const PlayFolder& o) {
    const fs::path& folder = o.folder;
    if (folder.empty()) throw std::runtime_error("no output folder given");
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
        throw std::runtime_error(utf8Of(folder) + ": exists and is not a folder");
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error(utf8Of(folder) + ": cannot create the folder: " + ec.message());

    // Refuse before writing anything when a file of this folder is there.
    if (o.replace == Replace::Never) {
        std::vector<std::string> present;
        for (const std::string& name : plannedNames(o))
            if (fs::exists(fs::symlink_status(folder / pathFromUtf8(name), ec))) present.push_back(name);
        if (!present.empty()) {
            std::string list = present.front();
            if (present.size() > 1) list += " and " + std::to_string(present.size() - 1) + " more of its files";
            throw std::runtime_error(utf8Of(folder) + ": already holds " + list + " (--force replaces them)");
        }
    }

    if (o.pack) {
        const fs::path archive = folder / kArchiveFileName;
        WriteFailure failure;
        if (!writeArchiveByRename(archive, o.files, o.replace, failure))
            throw std::runtime_error(failure.describe(archive, "--force"));
        say(o, std::string("wrote ") + kArchiveFileName + " (" + std::to_string(fs::file_size(archive, ec)) +
                   " bytes, " + std::to_string(o.files.size()) + " entries)");
    } else {
        for (const DataFile& f : o.files) put(folder / pathFromUtf8(f.name), f.bytes, o.replace);
        say(o, "wrote " + std::to_string(o.files.size()) + " files");
    }
    for (const DataFile& f : o.diskOnly) put(folder / pathFromUtf8(f.name), f.bytes, o.replace);
    if (o.music) {
        put(folder / kMusicFileName, *o.music, o.replace);
        say(o, std::string("wrote ") + kMusicFileName + " (" + std::to_string(o.music->size()) + " bytes)");
    }
}

}  // namespace zor::write
