#include "writers/folder_record.h"

#include <algorithm>
#include <system_error>

#include "system/text.h"

namespace zor::write {
namespace {

namespace fs = std::filesystem;

bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name != kFolderRecordName &&
           name.find_first_of("/\\:") == std::string::npos && name.find('\0') == std::string::npos;
}

void writeRecord(const fs::path& folder, const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += n + "\n";
    WriteFailure failure;
    const fs::path record = folder / kFolderRecordName;
    if (!writeFileByRename(record, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                           Replace::Always, failure))
        throw std::runtime_error(failure.describe(record, "--force"));
}

}  // namespace

std::vector<std::string> recordedNames(const fs::path& folder) {
    std::vector<std::string> names;
    const std::optional<Bytes> bytes = readWholeFile(folder / kFolderRecordName);
    if (!bytes) return names;
    std::string line;
    for (std::uint8_t b : *bytes) {
        if (b != '\n') {
            if (b != '\r') line += static_cast<char>(b);
            continue;
        }
        if (plainName(line) && std::find(names.begin(), names.end(), line) == names.end()) names.push_back(line);
        line.clear();
    }
    return names;
}

void recordWrittenNames(const PlayFolder& folder) { writeRecord(folder.folder, plannedNames(folder)); }

std::vector<std::string> rewritePlayFolder(const PlayFolder& folder, bool force) {
    const fs::path& dir = folder.folder;
    const std::vector<std::string> old = recordedNames(dir);
    const std::vector<std::string> planned = plannedNames(folder);
    const auto recorded = [&](const std::string& name) { return std::find(old.begin(), old.end(), name) != old.end(); };
    std::error_code ec;
    if (!force && fs::is_directory(dir, ec)) {
        std::vector<std::string> foreign;
        for (const std::string& name : planned)
            if (!recorded(name) && fs::exists(fs::symlink_status(dir / pathFromUtf8(name), ec))) foreign.push_back(name);
        if (!foreign.empty()) {
            std::string list = foreign.front();
            if (foreign.size() > 1) list += " and " + std::to_string(foreign.size() - 1) + " more";
            throw std::runtime_error(utf8Of(dir) + ": already holds " + list +
                                     ", which no earlier build wrote (--force replaces it)");
        }
    }
    std::vector<std::string> stale;
    for (const std::string& name : old)
        if (std::find(planned.begin(), planned.end(), name) == planned.end()) stale.push_back(name);

    PlayFolder write = folder;
    write.replace = Replace::Always;
    fs::create_directories(dir, ec);
    if (fs::is_directory(dir, ec)) {
        std::vector<std::string> both = planned;
        both.insert(both.end(), stale.begin(), stale.end());
        writeRecord(dir, both);
    }
    writePlayFolder(write);
    std::vector<std::string> removed;
    for (const std::string& name : stale) {
        const fs::path path = dir / pathFromUtf8(name);
        const fs::file_status status = fs::symlink_status(path, ec);
        if (!fs::exists(status) || fs::is_directory(status)) continue;
        if (fs::remove(path, ec)) removed.push_back(name);
        else if (ec) throw std::runtime_error(utf8Of(path) + ": cannot be removed: " + ec.message());
    }
    writeRecord(dir, planned);
    return removed;
}

}  // namespace zor::write
