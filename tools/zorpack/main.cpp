// zorpack: list, build, extract and check data archives.
//
// Exit status: 0 success, 1 failure (the message names the archive and the
// entry), 2 usage error.
//
// Writers (add, remove) hold the archive's lock from reading it to the rename
// that replaces it, and change it all or nothing.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "preview/tool_usage.h"
#include "archive/pack_file.h"
#include "archive/archive_lock.h"
#include "system/files.h"
#include "system/text.h"
#include "scene/player_constants.h"

namespace {

using zor::PackFile;

using zor::kUsageStatus;

int failure(const std::string& message) {
    std::cerr << "zorpack: " << message << '\n';
    return 1;
}

int usageError(const std::string& message) { return zor::usageError("zorpack", message); }

// A name as text safe for a terminal and for reading back: control
// characters, the backslash and bytes that are not UTF-8 become \xHH, so a
// name can neither fake rows nor reach the terminal as an escape sequence.
std::string printable(std::string_view name) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    auto escape = [&](unsigned char c) {
        out += "\\x";
        out += digits[c >> 4];
        out += digits[c & 15];
    };
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F || c == '\\') {
                escape(c);
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // A whole UTF-8 sequence stays, except the C1 controls (U+0080..U+009F).
        const std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        bool whole = length > 0 && i + length <= name.size();
        for (std::size_t k = 1; whole && k < length; ++k)
            whole = (static_cast<unsigned char>(name[i + k]) & 0xC0) == 0x80;
        if (whole && !(c == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0)) {
            out.append(name.substr(i, length));
            i += length;
        } else {
            escape(c);
            ++i;
        }
    }
    return out;
}

bool hasControlCharacter(std::string_view name) {
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

std::string entryName(const zor::PackEntry& e) { return std::string(e.name, strnlen(e.name, sizeof e.name)); }

std::string notAnArchive(const std::string& archive) { return archive + ": not an archive (no trailer)"; }

// A non-empty file without the trailer: plain content, not an archive.
bool isPlainContent(const PackFile& pack) { return pack.exists() && !pack.hasTrailer() && pack.dataEnd() > 0; }

// Opens an archive that must already exist and be one.
bool openExisting(PackFile& pack, const std::string& archive, std::string& why) {
    pack.reopen(archive);
    if (pack.isCorrupt()) {
        why = pack.error();
        return false;
    }
    if (!pack.exists()) {
        why = archive + ": no such archive";
        return false;
    }
    if (isPlainContent(pack)) {
        why = notAnArchive(archive);
        return false;
    }
    return true;
}

// An entry name is extracted only when it is a plain file name, so nothing
// can land outside the target folder.
bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

int cmdList(const std::string& archive) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    std::printf("%-31s %12s %12s %12s\n", "name", "size", "compressed", "offset");
    for (int i = 0; i < pack.entryCount(); ++i) {
        const zor::PackEntry& e = pack.entry(i);
        std::printf("%-31s %12d %12d %12d\n", printable(entryName(e)).c_str(), e.uncompressedSize, e.compressedSize,
                    e.start);
    }
    std::printf("%d entries\n", pack.entryCount());
    return 0;
}

struct AddOptions {
    std::vector<std::string> files;
    std::string as;
    bool keepBoth = false;
    bool appendTo = false;
    bool noWait = false;
    bool quiet = false;
};

// The files of a folder given to add, as FILE and entry name: its regular
// files and those of its sub-folders (named "sub/file"), in name order. Left
// out: hidden names, the archive and its lock, and the music, which the
// player reads from the folder only.
std::vector<std::pair<std::string, std::string>> folderFiles(const std::filesystem::path& folder,
                                                             const std::string& archive, bool quiet) {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, std::string>> found;
    std::error_code ec;
    const fs::path archivePath = fs::weakly_canonical(zor::pathFromUtf8(archive), ec);
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = zor::utf8Of(it->path().filename());
        if (name.starts_with('.')) {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(ec)) continue;
        const fs::path path = fs::weakly_canonical(it->path(), ec);
        if (path == archivePath || path == zor::ArchiveLock::lockFileOf(archivePath)) continue;
        const std::string entry = zor::genericUtf8Of(it->path().lexically_relative(folder));
        if (PackFile::namesMatch(entry, zor::kMusicFileName) == 0) {
            if (!quiet)
                std::cerr << "left out " << zor::utf8Of(it->path()) << ": the player reads " << zor::kMusicFileName
                          << " from the folder only\n";
            continue;
        }
        found.emplace_back(zor::utf8Of(it->path()), entry);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    return found;
}

int cmdAdd(const std::string& archive, AddOptions o) {
    // A folder stands for its files.
    std::vector<std::string> files, entries;
    for (const std::string& file : o.files) {
        std::error_code ec;
        if (!std::filesystem::is_directory(zor::pathFromUtf8(file), ec)) {
            files.push_back(file);
            entries.push_back(zor::utf8Of(zor::pathFromUtf8(file).filename()));
            continue;
        }
        if (!o.as.empty()) return usageError("add: --as names one entry, not a folder: " + file);
        const auto inside = folderFiles(zor::pathFromUtf8(file), archive, o.quiet);
        if (inside.empty()) return failure(file + ": a folder with no files to add; nothing was added to " + archive);
        for (const auto& [path, entry] : inside) {
            files.push_back(path);
            entries.push_back(entry);
        }
    }
    o.files = files;
    if (!o.as.empty() && o.files.size() != 1) return usageError("add: --as names one entry, so give exactly one FILE");
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < o.files.size(); ++i) {
        names.push_back(o.as.empty() ? entries[i] : o.as);
        // Two files under one name would silently keep only the last.
        bool clash = false;
        for (const std::string& earlier : seen) clash = clash || PackFile::namesMatch(earlier, names.back()) == 0;
        if (clash && !o.keepBoth)
            return usageError("add: two files would both be stored as '" + printable(names.back()) +
                              "'; give --keep-both to keep both");
        seen.insert(names.back());
    }

    zor::ArchiveLock lock;
    if (!lock.acquire(zor::pathFromUtf8(archive), !o.noWait)) return failure(lock.error());
    lock.removeStaleTemporaries();
    PackFile pack(archive);
    if (pack.isCorrupt()) return failure(pack.error());
    if (isPlainContent(pack) && !o.appendTo)
        return failure(notAnArchive(archive) +
                       "; nothing was added (give --append-to to add entries after its content)");

    // All or nothing: a failure on any file leaves the archive as it was.
    std::vector<std::string> done;
    for (std::size_t i = 0; i < o.files.size(); ++i) {
        zor::ReadFailure problem;
        std::optional<zor::Bytes> data = zor::readWholeFile(zor::pathFromUtf8(o.files[i]), &problem);
        if (!data) {
            pack.discardChanges();
            return failure(o.files[i] + ": cannot read: " + problem.reason + "; nothing was added to " + archive);
        }
        bool replaced = false;
        if (!o.keepBoth) {
            for (int at; (at = pack.findEntry(names[i])) >= 0; replaced = true) {
                if (!pack.dropEntry(at)) {
                    pack.discardChanges();
                    return failure(pack.error() + "; nothing was added");
                }
            }
        }
        if (!pack.addData(*data, names[i])) {
            const std::string why = pack.error();
            pack.discardChanges();
            return failure(why + "; nothing was added");
        }
        done.push_back((replaced ? "replaced " : "added ") + printable(names[i]));
    }
    if (!pack.flush()) {
        const std::string why = pack.error();
        pack.discardChanges();
        return failure(why + "; nothing was added");
    }
    if (!o.quiet)
        for (const std::string& line : done) std::cerr << line << '\n';
    return 0;
}

struct ExtractOptions {
    std::vector<std::string> names;
    std::string dir = ".";
    bool overwrite = false;
    bool quiet = false;
};

int cmdExtract(const std::string& archive, const ExtractOptions& o) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    std::vector<int> wanted;
    if (o.names.empty()) {
        for (int i = 0; i < pack.entryCount(); ++i) wanted.push_back(i);
    } else {
        for (const std::string& n : o.names) {
            int i = pack.findEntry(n);
            if (i < 0) return failure(archive + ": no entry named '" + printable(n) + "'");
            wanted.push_back(i);
        }
    }
    std::error_code ec;
    const std::filesystem::path folder = zor::pathFromUtf8(o.dir);
    std::filesystem::create_directories(folder, ec);
    if (ec) return failure(o.dir + ": cannot create folder: " + ec.message());
    zor::system_files::FileStatus self;
    const bool selfKnown = zor::system_files::statusOf(zor::pathFromUtf8(archive), self);
    int status = 0;
    for (int i : wanted) {
        const std::string name = entryName(pack.entry(i));
        const std::string shown = printable(name);
        if (hasControlCharacter(name)) {
            status = failure(archive + ": entry '" + shown + "' has a control character in its name; not extracted");
            continue;
        }
        if (!isPlainName(name)) {
            status = failure(archive + ": entry '" + shown + "' is not a plain file name; not extracted");
            continue;
        }
        const std::filesystem::path target = folder / zor::pathFromUtf8(name);
        zor::system_files::FileStatus there;
        if (selfKnown && zor::system_files::statusOf(target, there) && there.device == self.device &&
            there.inode == self.inode) {
            status = failure(archive + ": entry '" + shown + "' would replace the archive being read; not extracted");
            continue;
        }
        std::optional<zor::Bytes> data = pack.readEntryAt(i);
        if (!data) {
            status = failure(pack.error());
            continue;
        }
        zor::WriteFailure written;
        if (!zor::writeFileByRename(target, *data, o.overwrite ? zor::Replace::Always : zor::Replace::Never, written)) {
            status = failure(written.exists()
                                 ? zor::utf8Of(target) + " exists; not replaced (give --overwrite to replace it)"
                                 : archive + ": entry '" + shown + "': " + zor::utf8Of(target) + ": " + written.reason);
            continue;
        }
        if (!o.quiet) std::cerr << "extracted " << shown << '\n';
    }
    return status;
}

int cmdCat(const std::string& archive, const std::string& name) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    const int i = pack.findEntry(name);
    if (i < 0) return failure(archive + ": no entry named '" + printable(name) + "'");
    std::optional<zor::Bytes> data = pack.readEntryAt(i);
    if (!data) return failure(pack.error());
    if (std::fwrite(data->data(), 1, data->size(), stdout) != data->size() || std::fflush(stdout) != 0)
        return failure("cannot write to standard output");
    return 0;
}

int cmdRemove(const std::string& archive, const std::string& name, bool noWait) {
    zor::ArchiveLock lock;
    if (!lock.acquire(zor::pathFromUtf8(archive), !noWait)) return failure(lock.error());
    lock.removeStaleTemporaries();
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    const int i = pack.findEntry(name);
    if (i < 0) return failure(archive + ": no entry named '" + printable(name) + "'");
    if (!pack.dropEntry(i) || !pack.flush()) {
        why = pack.error();
        pack.discardChanges();
        return failure(why);
    }
    return 0;
}

int cmdVerify(const std::string& archive) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    int bad = 0;
    for (int i = 0; i < pack.entryCount(); ++i) {
        // By position, so an entry hidden behind an earlier one of the same
        // name is checked too.
        if (!pack.readEntryAt(i)) {
            failure(pack.error());
            ++bad;
        }
    }
    if (bad) return failure(archive + ": " + std::to_string(bad) + " of " + std::to_string(pack.entryCount()) +
                            " entries are damaged");
    std::cout << archive << ": " << pack.entryCount() << " entries OK\n";
    return 0;
}

constexpr const char* kLookupRule =
    "Entry names are looked up as the player looks them up: two names match when they have the same length and, "
    "byte for byte, are equal or differ by exactly 32 as signed bytes. So letter case is ignored (a and A), but so "
    "are a few other pairs (@ and `, [ and {, the blank and @); lookups find the first match.";

}  // namespace

int main(int argc, char** argv) {
    zor::ProgramArguments arguments = zor::startProgram(argc, argv);
    CLI::App app{"zorpack: build, list, extract and check zor data archives"};
    app.set_version_flag("--version", std::string("zorpack ") + ZOR_VERSION);
    app.require_subcommand(1);
    app.footer(std::string(kLookupRule) +
               "\n\nExit status: 0 success, 1 failure, 2 usage error.");
    std::string archive, name;
    AddOptions addOptions;
    ExtractOptions extractOptions;
    bool removeNoWait = false;

    auto* list = app.add_subcommand("list", "List the entries: name, size, compressed size, offset");
    list->add_option("ARCHIVE", archive, "Archive file")->required();

    auto* add = app.add_subcommand(
        "add", "Add files (the archive is created if missing); an entry of the same name is replaced");
    add->add_option("ARCHIVE", archive, "Archive file")->required();
    add->add_option("FILE", addOptions.files, "Files to add; a folder adds its files (and those of its sub-folders)")
        ->required();
    add->add_option("--as", addOptions.as, "Entry name (one FILE only; default: the file's base name)");
    add->add_flag("--keep-both", addOptions.keepBoth,
                  "Keep an entry of the same name and add a second one after it (lookups find the first)");
    add->add_flag("--append-to", addOptions.appendTo,
                  "ARCHIVE is a file of other content (no archive trailer): add the entries after that content");
    add->add_flag("--no-wait", addOptions.noWait,
                  "Fail at once when another program is changing the archive (default: wait for it)");
    add->add_flag("--quiet,-q", addOptions.quiet, "No line per file added or replaced");
    add->footer(std::string(kLookupRule) +
                " An entry whose name matches a FILE's entry name is replaced unless --keep-both is given. "
                "Either every FILE is added or, on any failure, none. Writers lock ARCHIVE.lock beside the "
                "archive while they work; temporary files of killed writers (ARCHIVE.tmp.XXXXXX) are removed.");

    auto* extract = app.add_subcommand("extract", "Extract entries (all when no NAME is given)");
    extract->add_option("ARCHIVE", archive, "Archive file")->required();
    extract->add_option("NAME", extractOptions.names, "Entries to extract");
    extract->add_option("-C", extractOptions.dir, "Folder to extract into (default: current folder)");
    extract->add_flag("--overwrite", extractOptions.overwrite,
                      "Replace existing files (never the archive being read)");
    extract->add_flag("--quiet,-q", extractOptions.quiet, "No line per file extracted (failures are still said)");

    auto* cat = app.add_subcommand("cat", "Write one entry to standard output");
    cat->add_option("ARCHIVE", archive, "Archive file")->required();
    cat->add_option("NAME", name, "Entry name")->required();

    auto* remove = app.add_subcommand("remove", "Remove the first entry of that name");
    remove->add_option("ARCHIVE", archive, "Archive file")->required();
    remove->add_option("NAME", name, "Entry name")->required();
    remove->add_flag("--no-wait", removeNoWait, "Fail at once when another program is changing the archive");

    auto* verify = app.add_subcommand("verify", "Check that every entry inflates to exactly its stated size");
    verify->add_option("ARCHIVE", archive, "Archive file")->required();

    if (const std::optional<int> status = zor::parseToolArguments(app, arguments)) return *status;

    if (list->parsed()) return cmdList(archive);
    if (add->parsed()) return cmdAdd(archive, addOptions);
    if (extract->parsed()) return cmdExtract(archive, extractOptions);
    if (cat->parsed()) return cmdCat(archive, name);
    if (remove->parsed()) return cmdRemove(archive, name, removeNoWait);
    if (verify->parsed()) return cmdVerify(archive);
    return kUsageStatus;
}
