#include "bundle_writer.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

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

std::time_t fileTime() {
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

struct ArchiveFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

// The archive's bytes, gathered in memory: a bundle is a few megabytes.
la_ssize_t appendBytes(archive*, void* bytes, const void* data, std::size_t size) {
    const auto* begin = static_cast<const std::uint8_t*>(data);
    static_cast<Bytes*>(bytes)->insert(static_cast<Bytes*>(bytes)->end(), begin, begin + size);
    return static_cast<la_ssize_t>(size);
}

Bytes archiveBytes(const fs::path& path, BundleKind kind, const std::vector<write::DataFile>& files) {
    Bytes bytes;
    std::unique_ptr<archive, ArchiveFree> a(archive_write_new());
    if (kind == BundleKind::Zip) {
        archive_write_set_format_zip(a.get());
    } else {
        archive_write_set_format_pax_restricted(a.get());
        archive_write_add_filter_gzip(a.get());
        archive_write_set_filter_option(a.get(), "gzip", "compression-level", "9");
        archive_write_set_filter_option(a.get(), "gzip", "timestamp", nullptr);  // no time in the gzip header
    }
    const auto failed = [&](const std::string& what) {
        const char* why = archive_error_string(a.get());
        return std::runtime_error(utf8Of(path) + ": " + what + ": " + (why ? why : "failed"));
    };
    // Output in blocks of one byte's padding: the archive ends where its data does.
    archive_write_set_bytes_in_last_block(a.get(), 1);
    if (archive_write_open(a.get(), &bytes, nullptr, appendBytes, nullptr) != ARCHIVE_OK) throw failed("cannot write");
    const std::string top = topFolder(path);
    const std::time_t when = fileTime();
    const auto header = [&](const std::string& name, mode_t type, int mode, la_int64_t size) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), name.c_str());
        archive_entry_set_filetype(entry.get(), type);
        archive_entry_set_perm(entry.get(), mode);
        archive_entry_set_size(entry.get(), size);
        archive_entry_set_mtime(entry.get(), when, 0);
        archive_entry_set_uid(entry.get(), 0);
        archive_entry_set_gid(entry.get(), 0);
        if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK) throw failed("cannot write " + name);
    };
    header(top + "/", AE_IFDIR, 0755, 0);
    for (const write::DataFile& f : files) {
        header(top + "/" + f.name, AE_IFREG, f.name.ends_with(".exe") ? 0755 : 0644,
               static_cast<la_int64_t>(f.bytes.size()));
        if (!f.bytes.empty() &&
            archive_write_data(a.get(), f.bytes.data(), f.bytes.size()) != static_cast<la_ssize_t>(f.bytes.size()))
            throw failed("cannot write " + f.name);
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK) throw failed("cannot write");
    return bytes;
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

void writeBundle(const fs::path& path, const std::vector<write::DataFile>& files, Replace replace) {
    std::error_code ec;
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::is_directory(parent, ec)) throw std::runtime_error(utf8Of(path) + ": the folder " + utf8Of(parent) + " does not exist");
    const bool present = fs::exists(fs::symlink_status(path, ec));
    if (present && replace == Replace::Never) throw std::runtime_error(utf8Of(path) + ": already exists (--force replaces it)");
    const BundleKind kind = bundleKindOf(path);
    if (kind != BundleKind::Folder) {
        WriteFailure failure;
        if (!writeFileByRename(path, archiveBytes(path, kind, files), replace, failure))
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
