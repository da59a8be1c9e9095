#include "play_folder.h"

#include <unistd.h>

#include <system_error>

#include "archive/archive.h"
#include "readers.h"

namespace zor::import {
namespace {

namespace fs = std::filesystem;

void say(const FolderOptions& o, const std::string& line) {
    if (o.progress) o.progress(line);
}

void put(const fs::path& path, std::span<const std::uint8_t> bytes, bool force) {
    std::string why;
    if (!writeFileByRename(path, bytes, force ? Replace::Always : Replace::Never, why))
        throw ImportError(path.string() + ": " + (why == "exists" ? "already exists (--force replaces it)" : why));
}

// An MP3 stream starts with an ID3 tag or an MPEG audio frame header.
bool looksLikeMp3(const Bytes& b) {
    if (b.size() >= 3 && b[0] == 'I' && b[1] == 'D' && b[2] == '3') return true;
    return b.size() >= 4 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && (b[1] & 0x06) != 0;
}

}  // namespace

std::vector<std::string> plannedNames(const Conversion& conversion, const FolderOptions& options) {
    std::vector<std::string> names;
    if (options.pack) names.push_back("zor.dat");
    else
        for (const OutputFile& f : conversion.files) names.push_back(f.name);
    if (!options.music.empty()) names.push_back("mp3.mp3");
    return names;
}

void writePlayFolder(const Conversion& conversion, const FolderOptions& o) {
    const fs::path& folder = o.folder;
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
        throw ImportError(folder.string() + ": exists and is not a folder");
    fs::create_directories(folder, ec);
    if (ec) throw ImportError(folder.string() + ": cannot create the folder: " + ec.message());

    // Read the music first: a bad music file stops the import before
    // anything is written.
    Bytes music;
    if (!o.music.empty()) {
        ReadFailure failure{};
        std::optional<Bytes> bytes = readWholeFile(o.music, &failure);
        if (!bytes) throw ImportError(o.music.string() + ": cannot be read");
        if (!looksLikeMp3(*bytes)) throw ImportError(o.music.string() + ": is not an MP3 file");
        music = std::move(*bytes);
    }

    // Refuse before writing anything when a file of this import is there.
    if (!o.force) {
        std::vector<std::string> present;
        for (const std::string& name : plannedNames(conversion, o))
            if (fs::exists(fs::symlink_status(folder / name, ec))) present.push_back(name);
        if (!present.empty()) {
            std::string list = present.front();
            if (present.size() > 1) list += " and " + std::to_string(present.size() - 1) + " more of its files";
            throw ImportError(folder.string() + ": already holds " + list + " (--force replaces them)");
        }
    }

    if (o.pack) {
        // A fresh archive under a temporary name, renamed into place.
        const fs::path temporary = folder / (".zor-import-" + std::to_string(::getpid()) + ".dat");
        fs::remove(temporary, ec);
        {
            PackFile pack(temporary.string());
            for (const OutputFile& f : conversion.files)
                if (!pack.addData(f.bytes, f.name)) {
                    const std::string why = pack.error();
                    fs::remove(temporary, ec);
                    throw ImportError((folder / "zor.dat").string() + ": cannot add " + f.name + ": " + why);
                }
            if (!pack.flush()) {
                const std::string why = pack.error();
                fs::remove(temporary, ec);
                throw ImportError((folder / "zor.dat").string() + ": " + why);
            }
        }
        fs::remove(fs::path(temporary.string() + ".lock"), ec);
        if (!o.force && fs::exists(fs::symlink_status(folder / "zor.dat", ec))) {
            fs::remove(temporary, ec);
            throw ImportError((folder / "zor.dat").string() + ": already exists (--force replaces it)");
        }
        fs::rename(temporary, folder / "zor.dat", ec);
        if (ec) {
            fs::remove(temporary, ec);
            throw ImportError((folder / "zor.dat").string() + ": cannot put it in place: " + ec.message());
        }
        say(o, "wrote zor.dat (" + std::to_string(conversion.files.size()) + " entries)");
    } else {
        for (const OutputFile& f : conversion.files) put(folder / f.name, f.bytes, o.force);
        say(o, "wrote " + std::to_string(conversion.files.size()) + " files");
    }
    if (!o.music.empty()) {
        put(folder / "mp3.mp3", music, o.force);
        say(o, "copied " + o.music.string() + " to mp3.mp3");
    }
}

}  // namespace zor::import
