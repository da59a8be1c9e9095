// Kills a process in the middle of changing an archive, at many moments, and
// checks that the archive afterwards holds exactly one of the states the
// process had committed: never a half-written one.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "archive/pack_file.h"
#include "scratch_dir.h"

namespace zor {
namespace {

Bytes content(const std::string& name, std::size_t size) {
    std::mt19937 rng(static_cast<unsigned>(std::hash<std::string>{}(name)));
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>('a' + rng() % 6);  // compressible, not trivial
    return out;
}

const std::map<std::string, std::size_t> kSizes = {
    {"base.lws", 20000}, {"big1.lwo", 600000}, {"big2.lwo", 600000}, {"big3.jpg", 600000}};

// Every state the writer below commits, in order.
const std::vector<std::set<std::string>> kStates = {
    {"base.lws"},
    {"base.lws", "big1.lwo", "big2.lwo"},
    {"base.lws", "big2.lwo"},
    {"base.lws", "big2.lwo", "big3.jpg"},
    {"big2.lwo", "big3.jpg"},
};

void writer(const std::string& path) {
    PackFile pack(path);
    bool ok = pack.addData(content("big1.lwo", kSizes.at("big1.lwo")), "big1.lwo") &&
              pack.addData(content("big2.lwo", kSizes.at("big2.lwo")), "big2.lwo") && pack.flush() &&
              pack.removeEntry("big1.lwo") &&
              pack.addData(content("big3.jpg", kSizes.at("big3.jpg")), "big3.jpg") && pack.flush() &&
              pack.removeEntry("base.lws");
    _exit(ok ? 0 : 3);
}

void resetArchive(const std::string& path) {
    std::filesystem::remove(path);
    PackFile pack(path);
    ASSERT_TRUE(pack.addData(content("base.lws", kSizes.at("base.lws")), "base.lws"));
    ASSERT_TRUE(pack.flush());
}

// Index of the state the archive is in, or -1.
int stateOf(const std::string& path, std::string& why) {
    PackFile pack(path);
    if (!pack.isOpen()) {
        why = pack.error();
        return -1;
    }
    std::set<std::string> names;
    for (int i = 0; i < pack.entryCount(); ++i) {
        std::string name = pack.entry(i).name;
        std::optional<Bytes> data = pack.readEntryAt(i);
        if (!data || *data != content(name, kSizes.at(name))) {
            why = "entry " + name + " does not read back: " + pack.error();
            return -1;
        }
        names.insert(name);
    }
    for (std::size_t s = 0; s < kStates.size(); ++s)
        if (kStates[s] == names) return static_cast<int>(s);
    why = "entries match no committed state";
    return -1;
}

TEST(ArchiveCrashSafety, KilledWriterLeavesACommittedState) {
    test::ScratchDir dir("crash");
    const std::string path = (dir / "zor.dat").string();

    // How long the whole change takes when left alone.
    resetArchive(path);
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) writer(path);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto total = std::chrono::steady_clock::now() - t0;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string why;
    ASSERT_EQ(stateOf(path, why), 4) << why;

    // Kills spread over the run. A loaded machine shifts the timing, so
    // while the kills keep landing in too few states the spread is moved:
    // later when they all landed before the first commit, earlier when they
    // all landed after the last.
    std::set<int> seen;
    constexpr int kKills = 16;
    auto span = total;
    for (int k = 0; k < 4 * kKills && (k < kKills || seen.size() < 3); ++k) {
        if (k > 0 && k % kKills == 0 && seen.size() < 2) {
            if (seen.count(0)) span *= 2;
            else span /= 2;
        }
        resetArchive(path);
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) writer(path);
        std::this_thread::sleep_for(span * ((k * 7) % kKills) / kKills);
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        int state = stateOf(path, why);
        ASSERT_GE(state, 0) << "after a kill at " << k << "/" << kKills << ": " << why;
        seen.insert(state);
        // Only the archive and leftover temporary files may be in the folder.
        for (const auto& f : std::filesystem::directory_iterator(dir.path())) {
            std::string n = f.path().filename().string();
            EXPECT_TRUE(n == "zor.dat" || n.rfind("zor.dat.tmp.", 0) == 0) << n;
            if (n != "zor.dat") std::filesystem::remove(f.path());
        }
    }
    // The kills must have landed between commits, not all before or after.
    EXPECT_GE(seen.size(), 2u);
}

}  // namespace
}  // namespace zor
