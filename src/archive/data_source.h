#pragma once
// Where loaders find a named data file: the play folder on disk first, then
// the archive it names, read through a cache that keeps one archive for the
// whole of a load.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/diagnostics.h"
#include "archive/pack_file.h"

namespace zor {

// The archive of a DataSource, opened at its first lookup and kept with its
// directory while the file stays the same (same file, size and times), so a
// load reads the directory once however many names it asks for.
//
// A writer replaces the archive by renaming a new file into place. Between
// two lookups of one load that can happen, and a load that opened the
// archive again would take some names from the old archive and some from
// the new one. A load therefore holds the cache: while any Hold lives, every
// lookup reads the archive that was open when the first one was made (its
// directory and its open file, which the rename leaves readable), and the
// file is looked at again only once the last Hold is gone.
class ArchiveCache {
public:
    class Hold {
    public:
        explicit Hold(std::shared_ptr<ArchiveCache> cache);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        std::shared_ptr<ArchiveCache> cache_;
    };

    // The entry's bytes as readDataFile gives them; nullopt when there is no
    // such entry (silently) or the archive or entry is unusable (in diags).
    std::optional<Bytes> readEntry(const std::filesystem::path& path, std::string_view name, Diagnostics* diags);

private:
    int holds_ = 0;
    struct Identity {
        bool exists = false;
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, modified = 0, modifiedNs = 0, changed = 0, changedNs = 0;
        bool operator==(const Identity&) const = default;
    };
    std::mutex mutex_;
    std::filesystem::path path_;
    Identity identity_;
    bool damageSaid_ = false;  // the open archive's damage is in a list already
    std::unique_ptr<PackFile> pack_;
};

// One lookup of readDataFile: the file tried on disk (found or not) and the
// archive asked when the disk had nothing (empty when none was asked).
struct DataLookup {
    std::string name;
    std::filesystem::path diskPath;
    std::filesystem::path archivePath;
};

// Every lookup made through a DataSource that carries the log, in order;
// tools use it to learn which files a load depended on.
struct DataLookupLog {
    std::vector<DataLookup> lookups;
};

// Where loaders find a named data file: a plain file in `directory` first,
// then the entry of that name in the archive `archiveName` (relative names are
// taken inside `directory`). Until an archive is selected there is none, and
// names are looked up on disk only. Copies share `archive`.
struct DataSource {
    std::filesystem::path directory = ".";
    std::string archiveName{kNoFileSelected};
    std::shared_ptr<ArchiveCache> archive = std::make_shared<ArchiveCache>();
    DataLookupLog* log = nullptr;  // when set, readDataFile records each lookup

    // Selects the archive. A name of kArchiveNameSize characters or more
    // does not fit and is refused whole (false, the selection unchanged).
    bool setArchiveName(std::string_view name);
    // One load: every lookup until the Hold is gone reads one archive.
    ArchiveCache::Hold holdArchive() const { return ArchiveCache::Hold(archive); }
    // False while no archive is selected (kNoFileSelected, or no name).
    bool selectsArchive() const { return !archiveName.empty() && archiveName != kNoFileSelected; }
    std::filesystem::path archivePath() const;
};

// Reads a data file, disk first. On success `origin` (if given) says where it
// came from ("disk" or "archive"). nullopt when neither has it; problems
// other than plain absence (a corrupt archive, an entry that does not
// inflate, a name outside the folder, a file on disk that cannot be read) are
// added to diags under the file's name.
//
// On disk, names stay inside `directory`: absolute names and names that climb
// out of it ("../x", "a/../../x") are not read there (a warning). When no
// file has the exact name, a file whose name differs only in ASCII letter
// case is taken, folder by folder; among several the first in byte order.
// The archive keeps its own lookup rule (PackFile::namesMatch).
std::optional<Bytes> readDataFile(const DataSource& source, std::string_view name,
                                  Diagnostics* diags = nullptr, std::string* origin = nullptr);

// "zor.dat: damaged archive: REASON" when the source's archive is there but
// cannot be read as one (PackFile::damage(): a broken trailer or directory,
// or content without a trailer); "" when it is usable or absent. A tool says
// this instead of "not found" for what the archive should have held.
std::string archiveDamage(const DataSource& source);

// What a tool says when a scene or its objects were not found: files are
// looked for in the data folder (`directory`) and its archive, never beside
// the scene, so a scene named with a folder finds none of its objects.
std::string nothingFoundHint(const std::filesystem::path& directory);

// Whether a regular file of that name lies on disk, found as readDataFile
// finds it (inside the folder, letter case ignored when needed).
bool dataFileOnDisk(const DataSource& source, std::string_view name);

}  // namespace zor
