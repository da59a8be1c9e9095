#include "writers/play_folder.h"

#include <system_error>

#include "archive/system_files.h"
#include "scene/player_constants.h"

namespace zor::write {
namespace {

namespace fs = std::filesystem;

void say(const PlayFolder& o, const std::string& line) {
    if (o.progress) o.progress(line);
}

void put(const fs::path& path, std::span<const std::uint8_t> bytes, Replace replace) {
    std::string why;
    if (!writeFileByRename(path, bytes, replace, why))
        throw std::runtime_error(path.string() + ": " + (why == "exists" ? "already exists (--force replaces it)" : why));
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
                          std::string& why) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    // The name is reserved by making the file; the archive is built in that (empty)
    // file, which PackFile takes as an archive with no entries yet.
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    int error = 0;
    const int fd = system_files::makeTemporary(temporary, error);
    if (fd < 0) {
        why = "cannot create a temporary file in " + folder.string() + ": " + system_files::reasonFor(error);
        return false;
    }
    system_files::setPermissions(fd, newFileMode());  // a data file, not a private temporary one
    system_files::closeFile(fd);
    {
        PackFile pack(temporary);
        for (const DataFile& f : files)
            if (!pack.addData(f.bytes, f.name)) {
                why = "cannot add " + f.name + ": " + pack.error();
                pack.discardChanges();
                system_files::removeFile(temporary);
                return false;
            }
        if (!pack.flush()) {
            why = pack.error();
            pack.discardChanges();
            system_files::removeFile(temporary);
            return false;
        }
    }
    return renameIntoPlace(temporary, path, replace, why);
}

void writePlayFolder(const PlayFolder& o) {
    const fs::path& folder = o.folder;
    if (folder.empty()) throw std::runtime_error("no output folder given");
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
        throw std::runtime_error(folder.string() + ": exists and is not a folder");
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error(folder.string() + ": cannot create the folder: " + ec.message());

    // Refuse before writing anything when a file of this folder is there.
    if (o.replace == Replace::Never) {
        std::vector<std::string> present;
        for (const std::string& name : plannedNames(o))
            if (fs::exists(fs::symlink_status(folder / name, ec))) present.push_back(name);
        if (!present.empty()) {
            std::string list = present.front();
            if (present.size() > 1) list += " and " + std::to_string(present.size() - 1) + " more of its files";
            throw std::runtime_error(folder.string() + ": already holds " + list + " (--force replaces them)");
        }
    }

    if (o.pack) {
        const fs::path archive = folder / kArchiveFileName;
        std::string why;
        if (!writeArchiveByRename(archive, o.files, o.replace, why))
            throw std::runtime_error(archive.string() + ": " +
                                     (why == "exists" ? "already exists (--force replaces it)" : why));
        say(o, std::string("wrote ") + kArchiveFileName + " (" + std::to_string(fs::file_size(archive, ec)) +
                   " bytes, " + std::to_string(o.files.size()) + " entries)");
    } else {
        for (const DataFile& f : o.files) put(folder / f.name, f.bytes, o.replace);
        say(o, "wrote " + std::to_string(o.files.size()) + " files");
    }
    for (const DataFile& f : o.diskOnly) put(folder / f.name, f.bytes, o.replace);
    if (o.music) {
        put(folder / kMusicFileName, *o.music, o.replace);
        say(o, std::string("wrote ") + kMusicFileName + " (" + std::to_string(o.music->size()) + " bytes)");
    }
}

}  // namespace zor::write
