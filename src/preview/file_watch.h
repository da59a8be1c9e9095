#pragma once
// Watching the files a load depended on, by polling their modification
// stamps. A file that did not exist is watched too: its appearing is a
// change (a file put beside the scene takes precedence over the archive).
//
// A change is acted on once the files have been still for one poll, so a
// file being written in several steps, or rewritten many times a second, is
// read once it settles; a file that never settles is read at most once every
// `longestWait`. The caller reloads synchronously, so at most one reload is
// ever in flight and nothing queues up behind it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace zor {

// What a poll compares: existence, size, modification time and the file's
// identity (a file replaced by a rename has a new one).
struct FileStamp {
    bool exists = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp stampOf(const std::filesystem::path& path);

using FileStamps = std::map<std::filesystem::path, FileStamp>;

// A stamp no file has: a file recorded with it counts as changed.
FileStamp unknownStamp();

// Stamps of every path, taken now.
FileStamps stampAll(const std::vector<std::filesystem::path>& paths);

// Files read for a load that changed while they were read (their stamp now
// is not the one recorded before), or were written so lately (less than
// `settleMilliseconds` ago) that their writer may not be done, get a stamp
// no file has, so a watch sees them as changed and acts again once they are
// still. A file whose stamp now is its entry in `trusted` (one this program
// wrote whole itself) counts as still. The first such file, in words
// ("demo.toml was written 12 ms ago and may not be whole yet; it is read
// again once it is still"); empty when every file was still.
std::string unsettleChanging(FileStamps& files, std::uint32_t settleMilliseconds, const FileStamps& trusted = {});

struct WatchTiming {
    std::uint32_t pollInterval = 50;   // milliseconds between polls
    std::uint32_t longestWait = 1000;  // a change is acted on after this at most
};

class ReloadWatch {
public:
    explicit ReloadWatch(WatchTiming timing = {}) : timing_(timing) {}

    // The files of the last load, with the stamps they had when it read them.
    // Forgets any change seen so far. A file recorded with the unknown stamp
    // (one the load could not take yet) is due once it is still for a poll.
    void watch(FileStamps files, std::uint32_t now);
    const FileStamps& files() const { return files_; }

    // Polls when the interval has passed; true when a reload should run now.
    bool due(std::uint32_t now);
    // Whether a change has been seen and not yet acted on.
    bool changeSeen() const { return pending_; }

private:
    WatchTiming timing_;
    FileStamps files_;
    FileStamps lastSeen_;
    bool polled_ = false;
    std::uint32_t lastPoll_ = 0;
    bool pending_ = false;
    std::uint32_t firstChange_ = 0;
};

}  // namespace zor
