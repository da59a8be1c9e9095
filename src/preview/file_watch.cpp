#include "preview/file_watch.h"

#include <ctime>
#include <limits>

#include "system/files.h"
#include "system/text.h"

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

FileStamp unknownStamp() {
    FileStamp unknown;
    unknown.exists = true;
    unknown.size = std::numeric_limits<std::uint64_t>::max();
    return unknown;
}

FileStamps stampAll(const std::vector<std::filesystem::path>& paths) {
    FileStamps stamps;
    for (const auto& p : paths) stamps.emplace(p, stampOf(p));
    return stamps;
}

std::string unsettleChanging(FileStamps& files, std::uint32_t settleMilliseconds, const FileStamps& trusted) {
    timespec clock{};
    clock_gettime(CLOCK_REALTIME, &clock);
    const std::int64_t now = std::int64_t(clock.tv_sec) * 1'000'000'000 + clock.tv_nsec;
    const FileStamp unknown = unknownStamp();
    std::string first;
    for (auto& [path, stamp] : files) {
        const FileStamp current = stampOf(path);
        std::string why;
        if (!(current == stamp)) {
            why = "changed while it was read";
        } else if (current.exists) {
            const auto own = trusted.find(path);
            // A file from the future (another machine's clock) counts as still.
            const std::int64_t age = (now - current.modified) / 1'000'000;
            if (age >= 0 && age < settleMilliseconds && !(own != trusted.end() && own->second == current))
                why = "was written " + std::to_string(age) + " ms ago and may not be whole yet";
        }
        if (why.empty()) continue;
        if (first.empty()) first = utf8Of(path.filename()) + " " + why + "; it is read again once it is still";
        stamp = unknown;
    }
    return first;
}

void ReloadWatch::watch(FileStamps files, std::uint32_t now) {
    files_ = std::move(files);
    lastSeen_ = files_;
    // A file a load could not take yet (unsettleChanging) is due once it
    // has been still for one poll from now.
    for (auto& [path, stamp] : lastSeen_)
        if (stamp == unknownStamp()) stamp = stampOf(path);
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
