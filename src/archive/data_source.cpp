// Disk first, then the archive: a plain file beside the program always
// takes precedence over the archive entry of the same name.

#include <sys/stat.h>

#include <cstdio>
#include <new>

#include "archive/archive.h"

namespace zor {

std::optional<Bytes> readWholeFile(const std::filesystem::path& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    struct stat st {};
    std::optional<Bytes> out;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxEntrySize) {
        try {
            Bytes data(static_cast<std::size_t>(st.st_size));
            if (std::fread(data.data(), 1, data.size(), f) == data.size()) out = std::move(data);
        } catch (const std::bad_alloc&) {
        }
    }
    std::fclose(f);
    return out;
}

std::filesystem::path DataSource::archivePath() const {
    std::filesystem::path name = archiveName.empty() ? std::filesystem::path(ArchiveName) : std::filesystem::path(archiveName);
    return name.is_absolute() ? name : directory / name;
}

std::optional<Bytes> readDataFile(const DataSource& source, std::string_view name, Diagnostics* diags,
                                  std::string* origin) {
    const std::filesystem::path onDisk = source.directory / std::filesystem::path(name);
    DataLookup* lookup = nullptr;
    if (source.log) lookup = &source.log->lookups.emplace_back(DataLookup{std::string(name), onDisk, {}});
    if (std::optional<Bytes> data = readWholeFile(onDisk)) {
        if (origin) *origin = "disk";
        return data;
    }
    if (source.archiveName.empty() && std::string_view(ArchiveName) == "NO_FILE_SELECTED") return std::nullopt;

    if (lookup) lookup->archivePath = source.archivePath();
    PackFile pack(source.archivePath().string());
    if (pack.isCorrupt()) {
        if (diags) diags->error(name, 0, "archive unusable: " + pack.error());
        return std::nullopt;
    }
    if (pack.findEntry(name) < 0) return std::nullopt;
    std::optional<Bytes> data = pack.readEntry(name);
    if (!data) {
        if (diags) diags->error(name, 0, pack.error());
        return std::nullopt;
    }
    if (origin) *origin = "archive";
    return data;
}

}  // namespace zor
