// Disk first, then the archive: a plain file in the play folder always
// takes precedence over the archive entry of the same name.

#include "archive/data_source.h"

#include "system/text.h"
#include "system/files.h"
#include "system/text.h"

namespace zor {

namespace fs = std::filesystem;

bool DataSource::setArchiveName(std::string_view name) {
    if (name.size() >= kArchiveNameSize) return false;
    archiveName = name;
    return true;
}

fs::path DataSource::archivePath() const {
    const fs::path name = pathFromUtf8(archiveName);
    return name.is_absolute() ? name : directory / name;
}

namespace {

// The file `name` names inside the play folder. Scenes and objects were
// written where names ignore letter case, so when no file has the exact name
// one that differs only in case is taken.
// `tried` (if given) receives the path looked at: the file read, or where the
// exact name would be.
std::optional<Bytes> readFromDisk(const DataSource& source, std::string_view name, Diagnostics* diags,
                                  fs::path* tried) {
    if (name.empty()) return std::nullopt;
    const std::optional<fs::path> relative = nameInsideFolder(name);
    if (!relative) {
        if (diags)
            diags->warning(name, 0,
                           "outside the play folder (an absolute name, or one that climbs out with \"..\"); "
                           "not read from disk");
        return std::nullopt;
    }
    fs::path path = source.directory / *relative;
    if (tried) *tried = path;
    ReadFailure failure;
    std::optional<Bytes> data = readWholeFile(path, &failure);
    if (!data && failure.missing()) {
        const std::optional<fs::path> other = findIgnoringCase(source.directory, *relative);
        if (!other) return std::nullopt;
        path = *other;
        if (tried) *tried = path;
        data = readWholeFile(path, &failure);
    }
    if (!data && diags) diags->warning(name, 0, "cannot read " + utf8Of(path) + " from disk: " + failure.reason);
    return data;
}

}  // namespace

std::string nothingFoundHint(const std::filesystem::path& directory) {
    return "scenes, objects and images are looked for in the data folder (" + utf8Of(directory) +
           ") and its archive, not beside the scene: run in the scene's folder or use --dir FOLDER";
}

bool dataFileOnDisk(const DataSource& source, std::string_view name) {
    const std::optional<fs::path> relative = nameInsideFolder(name);
    if (!relative || relative->empty()) return false;
    std::optional<fs::path> path = source.directory / *relative;
    system_files::FileStatus st;
    if (!system_files::statusOf(*path, st)) path = findIgnoringCase(source.directory, *relative);
    return path && system_files::statusOf(*path, st) && st.kind == system_files::FileKind::Regular;
}

ArchiveCache::Hold::Hold(std::shared_ptr<ArchiveCache> cache) : cache_(std::move(cache)) {
    if (!cache_) return;
    std::lock_guard<std::mutex> hold(cache_->mutex_);
    // A new load says the archive's damage again, in its own list.
    if (cache_->holds_++ == 0) cache_->damageSaid_ = false;
}

ArchiveCache::Hold::~Hold() {
    if (!cache_) return;
    std::lock_guard<std::mutex> hold(cache_->mutex_);
    --cache_->holds_;
}

std::optional<Bytes> ArchiveCache::readEntry(const fs::path& path, std::string_view name, Diagnostics* diags) {
    std::lock_guard<std::mutex> hold(mutex_);
    // The directory read before is reused while the file is the same one,
    // unchanged since.
    system_files::FileStatus st;
    Identity now;
    if (system_files::statusOf(path, st))
        now = {true, st.device, st.inode, st.size, st.modified, st.modifiedNs, st.changed, st.changedNs};
    // During a load (a Hold) the archive open since its first lookup stays.
    if (!pack_ || path_ != path || (holds_ == 0 && !(identity_ == now))) {
        pack_ = std::make_unique<PackFile>(utf8Of(path));
        path_ = path;
        identity_ = now;
        damageSaid_ = false;
    }
    // A damaged archive is said once for the archive, not for each name;
    // one that cannot be opened at all, under each name wanted from it.
    if (const std::string damage = pack_->damage(); !damage.empty()) {
        if (diags && !damageSaid_) diags->error(utf8Of(path.filename()), 0, "damaged archive: " + damage);
        damageSaid_ = true;
        return std::nullopt;
    }
    if (pack_->isCorrupt()) {
        if (diags) diags->error(name, 0, "archive unusable: " + pack_->error());
        return std::nullopt;
    }
    if (pack_->findEntry(name) < 0) return std::nullopt;
    std::optional<Bytes> data = pack_->readEntry(name);
    if (!data && diags) diags->error(name, 0, pack_->error());
    return data;
}

std::string archiveDamage(const DataSource& source) {
    if (!source.selectsArchive()) return {};
    const std::string damage = PackFile(utf8Of(source.archivePath())).damage();
    return damage.empty() ? std::string() : source.archiveName + ": damaged archive: " + damage;
}

std::optional<Bytes> readDataFile(const DataSource& source, std::string_view name, Diagnostics* diags,
                                  std::string* origin) {
    DataLookup* lookup = nullptr;
    if (source.log) lookup = &source.log->lookups.emplace_back(DataLookup{std::string(name), {}, {}});
    if (std::optional<Bytes> data = readFromDisk(source, name, diags, lookup ? &lookup->diskPath : nullptr)) {
        if (origin) *origin = "disk";
        return data;
    }
    if (!source.selectsArchive()) return std::nullopt;
    if (lookup) lookup->archivePath = source.archivePath();
    std::optional<Bytes> data = source.archive->readEntry(source.archivePath(), name, diags);
    if (data && origin) *origin = "archive";
    return data;
}

}  // namespace zor
