#include "bundle_writer.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace zor::publish {
namespace {

namespace fs = std::filesystem;

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
    std::string name = path.filename().string();
    for (const char* ending : {".tar.gz", ".tgz", ".zip"})
        if (lowered(name).ends_with(ending)) return name.substr(0, name.size() - std::strlen(ending));
    return name;
}

struct ArchiveFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

void writeArchive(const std::string& temporary, const fs::path& path, BundleKind kind,
                  const std::vector<write::DataFile>& files) {
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
        return std::runtime_error(path.string() + ": " + what + ": " + (why ? why : "failed"));
    };
    if (archive_write_open_filename(a.get(), temporary.c_str()) != ARCHIVE_OK) throw failed("cannot write");
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
}

void writeFolder(const fs::path& folder, const std::vector<write::DataFile>& files) {
    for (const write::DataFile& f : files) {
        std::string why;
        if (!writeFileByRename(folder / f.name, f.bytes, Replace::Never, why))
            throw std::runtime_error((folder / f.name).string() + ": " + why);
    }
}

}  // namespace

BundleKind bundleKindOf(const fs::path& path) {
    const std::string name = lowered(path.filename().string());
    if (name.ends_with(".tar.gz") || name.ends_with(".tgz")) return BundleKind::TarGz;
    if (name.ends_with(".zip")) return BundleKind::Zip;
    return BundleKind::Folder;
}

void writeBundle(const fs::path& path, const std::vector<write::DataFile>& files, Replace replace) {
    std::error_code ec;
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::is_directory(parent, ec)) throw std::runtime_error(path.string() + ": the folder " + parent.string() + " does not exist");
    const bool present = fs::exists(fs::symlink_status(path, ec));
    if (present && replace == Replace::Never) throw std::runtime_error(path.string() + ": already exists (--force replaces it)");
    const BundleKind kind = bundleKindOf(path);
    if (kind != BundleKind::Folder) {
        std::string temporary = (parent / ("." + path.filename().string() + ".XXXXXX")).string();
        const int fd = mkstemp(temporary.data());
        if (fd < 0) throw std::runtime_error(path.string() + ": cannot create a temporary file: " + std::strerror(errno));
        fchmod(fd, static_cast<mode_t>(newFileMode()));
        ::close(fd);
        try {
            writeArchive(temporary, path, kind, files);
        } catch (...) {
            ::unlink(temporary.c_str());
            throw;
        }
        std::string why;
        if (!renameIntoPlace(temporary, path, replace, why))
            throw std::runtime_error(path.string() + ": " + (why == "exists" ? "already exists (--force replaces it)" : why));
        return;
    }

    // A folder: made whole beside its place, then swapped in.
    if (present && !fs::is_directory(path, ec)) throw std::runtime_error(path.string() + ": exists and is not a folder");
    std::string temporary = (parent / ("." + path.filename().string() + ".XXXXXX")).string();
    if (!mkdtemp(temporary.data())) throw std::runtime_error(path.string() + ": cannot create a temporary folder: " + std::strerror(errno));
    const mode_t mask = umask(0);  // reading the mask means setting it
    umask(mask);
    ::chmod(temporary.c_str(), 0777 & ~mask);  // a folder like any other, not mkdtemp's private 0700
    try {
        writeFolder(temporary, files);
    } catch (...) {
        fs::remove_all(temporary, ec);
        throw;
    }
    if (!present) {
        if (std::rename(temporary.c_str(), path.c_str()) != 0) {
            const int error = errno;
            fs::remove_all(temporary, ec);
            throw std::runtime_error(path.string() + ": cannot put it in place: " + std::strerror(error));
        }
        return;
    }
    // The old folder and the new change places at once; the old one goes.
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
        const int error = errno;
        fs::remove_all(temporary, ec);
        throw std::runtime_error(path.string() + ": cannot put it in place: " + std::strerror(error));
    }
    fs::remove_all(temporary, ec);
}

}  // namespace zor::publish
