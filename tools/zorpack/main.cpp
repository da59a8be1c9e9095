// zorpack: list, build, extract and check data archives.
//
// Exit status: 0 success, 1 failure (the message names the archive and the
// entry), 2 usage error.

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace {

using zor::PackFile;

int failure(const std::string& message) {
    std::cerr << "zorpack: " << message << '\n';
    return 1;
}

// Opens an archive that must already exist and be sound.
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
    return true;
}

std::string entryName(const zor::PackEntry& e) { return std::string(e.name, strnlen(e.name, sizeof e.name)); }

// An entry name is extracted only when it is a plain file name, so nothing
// can land outside the target folder.
bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

bool writeFileNoFollow(const std::filesystem::path& path, const zor::Bytes& data, std::string& why) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

int cmdList(const std::string& archive) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    std::printf("%-31s %12s %12s %12s\n", "name", "size", "compressed", "offset");
    for (int i = 0; i < pack.entryCount(); ++i) {
        const zor::PackEntry& e = pack.entry(i);
        std::printf("%-31s %12d %12d %12d\n", entryName(e).c_str(), e.uncompressedSize, e.compressedSize, e.start);
    }
    std::printf("%d entries\n", pack.entryCount());
    return 0;
}

int cmdAdd(const std::string& archive, const std::vector<std::string>& files, const std::string& as) {
    if (!as.empty() && files.size() != 1) {
        std::cerr << "zorpack add: --as names one entry, so give exactly one FILE\n";
        return 2;
    }
    PackFile pack(archive);
    if (pack.isCorrupt()) return failure(pack.error());
    for (const std::string& file : files) {
        std::string name = as.empty() ? std::filesystem::path(file).filename().string() : as;
        if (!pack.addFile(file, name)) return failure(pack.error());
        std::cerr << "added " << name << '\n';
    }
    if (!pack.flush()) return failure(pack.error());
    return 0;
}

int cmdExtract(const std::string& archive, const std::vector<std::string>& names, const std::string& dir) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    std::vector<int> wanted;
    if (names.empty()) {
        for (int i = 0; i < pack.entryCount(); ++i) wanted.push_back(i);
    } else {
        for (const std::string& n : names) {
            int i = pack.findEntry(n);
            if (i < 0) return failure(archive + ": no entry named '" + n + "'");
            wanted.push_back(i);
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return failure(dir + ": cannot create folder: " + ec.message());
    int status = 0;
    for (int i : wanted) {
        const std::string name = entryName(pack.entry(i));
        if (!isPlainName(name)) {
            status = failure(archive + ": entry '" + name + "' is not a plain file name; not extracted");
            continue;
        }
        std::optional<zor::Bytes> data = pack.readEntry(name);
        if (!data) {
            status = failure(pack.error());
            continue;
        }
        if (!writeFileNoFollow(std::filesystem::path(dir) / name, *data, why)) {
            status = failure(archive + ": entry '" + name + "': cannot write: " + why);
            continue;
        }
        std::cerr << "extracted " << name << '\n';
    }
    return status;
}

int cmdCat(const std::string& archive, const std::string& name) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    std::optional<zor::Bytes> data = pack.readEntry(name);
    if (!data) return failure(pack.error());
    if (std::fwrite(data->data(), 1, data->size(), stdout) != data->size() || std::fflush(stdout) != 0)
        return failure("cannot write to standard output");
    return 0;
}

int cmdRemove(const std::string& archive, const std::string& name) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    if (!pack.removeEntry(name)) return failure(pack.error());
    return 0;
}

int cmdVerify(const std::string& archive) {
    PackFile pack;
    std::string why;
    if (!openExisting(pack, archive, why)) return failure(why);
    int bad = 0;
    for (int i = 0; i < pack.entryCount(); ++i) {
        const std::string name = entryName(pack.entry(i));
        // By position, so an entry hidden behind an earlier one of the same
        // name is checked too.
        std::optional<zor::Bytes> data = pack.readEntryAt(i);
        if (!data) {
            failure(pack.error());
            ++bad;
        }
    }
    if (bad) return failure(archive + ": " + std::to_string(bad) + " of " + std::to_string(pack.entryCount()) +
                            " entries are damaged");
    std::cout << archive << ": " << pack.entryCount() << " entries OK\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"zorpack: build, list, extract and check zor data archives"};
    app.require_subcommand(1);
    std::string archive, name, as, dir = ".";
    std::vector<std::string> files, names;

    auto* list = app.add_subcommand("list", "List the entries: name, size, compressed size, offset");
    list->add_option("ARCHIVE", archive, "Archive file")->required();

    auto* add = app.add_subcommand("add", "Add files (the archive is created if missing)");
    add->add_option("ARCHIVE", archive, "Archive file")->required();
    add->add_option("FILE", files, "Files to add")->required();
    add->add_option("--as", as, "Entry name (one FILE only; default: the file's base name)");

    auto* extract = app.add_subcommand("extract", "Extract entries (all when no NAME is given)");
    extract->add_option("ARCHIVE", archive, "Archive file")->required();
    extract->add_option("NAME", names, "Entries to extract");
    extract->add_option("-C", dir, "Folder to extract into (default: current folder)");

    auto* cat = app.add_subcommand("cat", "Write one entry to standard output");
    cat->add_option("ARCHIVE", archive, "Archive file")->required();
    cat->add_option("NAME", name, "Entry name")->required();

    auto* remove = app.add_subcommand("remove", "Remove the first entry of that name");
    remove->add_option("ARCHIVE", archive, "Archive file")->required();
    remove->add_option("NAME", name, "Entry name")->required();

    auto* verify = app.add_subcommand("verify", "Check that every entry inflates to exactly its stated size");
    verify->add_option("ARCHIVE", archive, "Archive file")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }

    if (list->parsed()) return cmdList(archive);
    if (add->parsed()) return cmdAdd(archive, files, as);
    if (extract->parsed()) return cmdExtract(archive, names, dir);
    if (cat->parsed()) return cmdCat(archive, name);
    if (remove->parsed()) return cmdRemove(archive, name);
    if (verify->parsed()) return cmdVerify(archive);
    return 2;
}
