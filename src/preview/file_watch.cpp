#include "preview/file_watch.h"

#include "system/files.h"

namespace zor {

FileStamp stampOf(const std::filesystem::path& path) {
    system_files::FileStatus st;
    FileStamp s;
    if (!system_files::statusOf(path, st)) return s;
    s.exists = true;
    s.size = static_cast<std::uint64_t>(st.size);
    s.modified = st.modified * 1'000'000'000 + st.modifiedNs;
    s.device = st.device;
    s.inode = st.inode;
    return s;
}

FileStamps stampAll(const std::vector<std::filesystem::path>& paths) {
    FileStamps stamps;
    for (const auto& p : paths) stamps.emplace(p, stampOf(p));
    return stamps;
}

void ReloadWatch::watch(FileStamps files, std::uint32_t now) {
    files_ = std::move(files);
    lastSeen_ = files_;
    pending_ = false;
    polled_ = true;
    lastPoll_ = now;
}

bool ReloadWatch::due(std::uint32_t now) {
    if (polled_ && static_cast<std::uint32_t>(now - lastPoll_) < timing_.pollInterval) return false;
    polled_ = true;
    lastPoll_ = now;
    FileStamps current;
    for (const auto& [path, stamp] : files_) current.emplace(path, stampOf(path));
    const bool differs = current != files_;
    if (!differs) {
        // Changed and changed back: nothing to do.
        pending_ = false;
        lastSeen_ = std::move(current);
        return false;
    }
    const bool still = current == lastSeen_;
    if (!pending_) {
        pending_ = true;
        firstChange_ = now;
    }
    lastSeen_ = std::move(current);
    if (still) return true;
    return static_cast<std::uint32_t>(now - firstChange_) >= timing_.longestWait;
}

}  // namespace zor
