#include "bundle_writer.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

#include "archive_bytes.h"
#include "system/files.h"
#include "system/text.h"

namespace zor::publish {
namespace {

namespace fs = std::filesystem;
namespace sys = system_files;

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::int64_t fileTime() {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) return std::strtoll(epoch, nullptr, 10);
    return std::time(nullptr);
}

// The archive's own folder: its name without the ending.
std::string topFolder(const fs::path& path) {
    std::string name = utf8Of(path.filename());
    for (const char* ending : {".tar.gz", ".tgz", ".zip"})
        if (lowered(name).ends_with(ending)) return name.substr(0, name.size() - std::strlen(ending));
    return name;
}

void writeFolder(const fs::path& folder, const std::vector<write::DataFile>& files) {
    for (const write::DataFile& f : files) {
        WriteFailure failure;
        const fs::path file = folder / pathFromUtf8(f.name);
        if (!writeFileByRename(file, f.bytes, Replace::Never, failure))
            throw std::runtime_error(failure.describe(file, "--force"));
    }
}

}  // namespace

BundleKind bundleKindOf(const fs::path& path) {
    const std::string name = lowered(utf8Of(path.filename()));
    if (name.ends_with(".tar.gz") || name.ends_with(".tgz")) return BundleKind::TarGz;
    if (name.ends_with(".zip")) return BundleKind::Zip;
    return BundleKind::Folder;
}

std::string unwrittenArchiveEnding(const fs::path& path) {
    const std::string name = lowered(utf8Of(path.filename()));
    if (bundleKindOf(path) != BundleKind::Folder) return {};
    // The longer endings first, so "x.tar.xz" names ".tar.xz".
    for (const char* ending : {".tar.bz2", ".tar.xz", ".tar", ".rar", ".7z", ".gz", ".bz2", ".xz", ".zst"})
        if (name.ends_with(ending) && name.size() > std::strlen(ending)) return ending;
    return {};
}

std::string archiveFolderName(const fs::path& path) { return topFolder(path); }

void writeBundle(const fs::path& path, const std::vector<write::DataFile>& files, Replace replace,
                 const std::string& folder) {
    std::error_code ec;
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::is_directory(parent, ec)) throw std::runtime_error(utf8Of(path) + ": the folder " + utf8Of(parent) + " does not exist");
    const bool present = fs::exists(fs::symlink_status(path, ec));
    if (present && replace == Replace::Never) throw std::runtime_error(utf8Of(path) + ": already exists (--force replaces it)");
    const BundleKind kind = bundleKindOf(path);
    if (kind != BundleKind::Folder) {
        WriteFailure failure;
        Bytes bytes;
        try {
            bytes = archiveBytes(kind == BundleKind::Zip ? ArchiveKind::Zip : ArchiveKind::TarGz,
                                 folder.empty() ? topFolder(path) : folder, files,
                                 fileTime());
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(utf8Of(path) + ": " + e.what());
        }
        if (!writeFileByRename(path, bytes, replace, failure))
            throw std::runtime_error(failure.describe(path, "--force"));
        return;
    }

    // A folder: made whole beside its place, then swapped in.
    if (present && !fs::is_directory(path, ec)) throw std::runtime_error(utf8Of(path) + ": exists and is not a folder");
    fs::path temporary = parent / ".";
    temporary += path.filename();
    temporary += ".XXXXXX";
    int error = 0;
    if (!sys::makeTemporaryFolder(temporary, error))
        throw std::runtime_error(utf8Of(path) + ": cannot create a temporary folder: " + sys::reasonFor(error));
    sys::setNewFolderPermissions(temporary);  // a folder like any other, not a private temporary one
    try {
        writeFolder(temporary, files);
    } catch (...) {
        fs::remove_all(temporary, ec);
        throw;
    }
    // The new folder takes the old one's place (where the system allows, at
    // once); the old one, now at the temporary name, goes.
    const bool moved = present ? sys::replaceFolder(temporary, path, error) : sys::renameNoReplace(temporary, path, error);
    fs::remove_all(temporary, ec);
    if (!moved) throw std::runtime_error(utf8Of(path) + ": cannot put it in place: " + sys::reasonFor(error));
}

}  // namespace zor::publish
