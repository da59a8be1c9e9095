// The zorpack tool, run as a user would: exit statuses, messages and files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "archive/data_source.h"
#include "child_process.h"
#include "small_disk.h"
#include "scratch_dir.h"

namespace zor {
namespace {

using ToolRun = test::ShellRun;

// `wrapper` (e.g. "timeout 20") runs before the tool; .out holds standard
// output and error together.
ToolRun zorpack(const std::string& args, const std::string& wrapper = "") {
    return test::runShell(wrapper + " " + std::string(ZORPACK_PATH) + " " + args);
}

// Starts zorpack without a shell; its output in folder/NAME.out and .err.
std::unique_ptr<test::ChildProcess> startZorpack(std::vector<std::string> args, const test::ScratchDir& folder,
                                                 const std::string& name) {
    args.insert(args.begin(), ZORPACK_PATH);
    return std::make_unique<test::ChildProcess>(args, folder.path(), name);
}

// Its exit status once it ended (within a minute), else -1.
int exitStatus(test::ChildProcess& child) {
    return child.wait(std::chrono::minutes(1)) && WIFEXITED(child.status()) ? WEXITSTATUS(child.status()) : -1;
}

Bytes text(std::size_t n, char c) {
    Bytes b;
    for (std::size_t i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(c + i % 7));
    return b;
}

TEST(Zorpack, AddListCatExtractRemoveVerify) {
    test::ScratchDir dir("zorpack");
    const std::string a = (dir / "t.dat").string();
    dir.write("scene.lws", text(3000, 'a'));
    dir.write("ship.lwo", text(5000, 'k'));

    ToolRun r = zorpack("add " + a + " " + (dir / "scene.lws").string() + " " + (dir / "ship.lwo").string());
    ASSERT_EQ(r.status, 0) << r.out;
    r = zorpack("add " + a + " " + (dir / "ship.lwo").string() + " --as Other.lwo");
    ASSERT_EQ(r.status, 0) << r.out;

    r = zorpack("list " + a);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("scene.lws"), std::string::npos);
    EXPECT_NE(r.out.find("Other.lwo"), std::string::npos);
    EXPECT_NE(r.out.find("5000"), std::string::npos);
    EXPECT_NE(r.out.find("3 entries"), std::string::npos);

    r = zorpack("cat " + a + " SCENE.LWS");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), text(3000, 'a'));

    r = zorpack("extract " + a + " -C " + (dir / "out").string());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(dir.read("out/ship.lwo"), text(5000, 'k'));
    EXPECT_EQ(dir.read("out/Other.lwo"), text(5000, 'k'));

    r = zorpack("remove " + a + " ship.lwo");
    EXPECT_EQ(r.status, 0) << r.out;
    r = zorpack("verify " + a);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("2 entries OK"), std::string::npos);

    // A play folder given whole: its files and sub-folders, not the music
    // (read from disk only) nor the archive itself.
    dir.write("play/glorp2.lws", text(10, 's'));
    dir.write("play/tex/wood.jpg", text(10, 'w'));
    dir.write("play/mp3.mp3", text(10, 'm'));
    const std::string inside = (dir / "play/zor.dat").string();
    r = zorpack("add " + inside + " " + (dir / "play").string());
    ASSERT_EQ(r.status, 0) << r.out;
    r = zorpack("list " + inside);
    EXPECT_NE(r.out.find("glorp2.lws"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("tex/wood.jpg"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 entries"), std::string::npos) << r.out;
}

// On a disk that fills up, the archive stays as it was (here: none) and no
// temporary file is left; the message gives the system's reason.
TEST(Zorpack, AFullDiskLeavesTheArchiveAsItWas) {
    test::ScratchDir dir("zorpack-full-disk");
    const test::SmallDisk disk(dir / "disk", 64);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    Bytes noise(200000);
    std::uint32_t x = 12345;
    for (std::uint8_t& b : noise) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    dir.write("noise.bin", noise);
    const ToolRun r = zorpack("add " + (disk.path() / "t.dat").string() + " " + (dir / "noise.bin").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("o space left on device"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::is_empty(disk.path())) << "something was left on the disk";
}

TEST(Zorpack, FailuresNameTheArchiveAndEntry) {
    test::ScratchDir dir("zorpack-fail");
    const std::string a = (dir / "t.dat").string();
    ToolRun r = zorpack("list " + a);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no such archive"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(a));  // listing never creates it

    dir.write("x.txt", text(1000, 'x'));
    ASSERT_EQ(zorpack("add " + a + " " + (dir / "x.txt").string()).status, 0);
    r = zorpack("cat " + a + " nothere");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("nothere"), std::string::npos);
    EXPECT_NE(r.out.find(a), std::string::npos);

    r = zorpack("add " + a + " " + (dir / "x.txt").string() + " --as " + std::string(40, 'n'));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("longer than 31"), std::string::npos);

    // A damaged entry fails verify.
    Bytes b = dir.read("t.dat");
    for (int i = 3; i < 12; ++i) b[i] ^= 0xA5;  // inside the entry's block only
    dir.write("t.dat", b);
    r = zorpack("verify " + a);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("x.txt"), std::string::npos);

    EXPECT_EQ(zorpack("").status, 2);
    EXPECT_EQ(zorpack("frobnicate").status, 2);
    EXPECT_EQ(zorpack("add " + a).status, 2);
    EXPECT_EQ(zorpack("--help").status, 0);
    r = zorpack("--version");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind("zorpack ", 0), 0u) << r.out;
}

TEST(Zorpack, UnreadableInputsSayWhyWithoutWaiting) {
    test::ScratchDir dir("zorpack-inputs");
    const std::string a = (dir / "t.dat").string();
    ASSERT_EQ(mkfifo((dir / "pipe.lwo").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((dir / "pipe.dat").c_str(), 0644), 0);
    std::filesystem::create_directories((dir / "folder.lwo"));
    {
        std::ofstream huge((dir / "huge.lwo"));
    }
    std::filesystem::resize_file((dir / "huge.lwo"), (std::uintmax_t{1} << 30) + 1);  // sparse
    const std::string timeout = "timeout 20";

    ToolRun r = zorpack("add " + a + " " + (dir / "pipe.lwo").string(), timeout);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("pipe.lwo"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FIFO"), std::string::npos) << r.out;
    r = zorpack("list " + (dir / "pipe.dat").string(), timeout);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("FIFO"), std::string::npos) << r.out;
    r = zorpack("add " + a + " " + (dir / "folder.lwo").string(), timeout);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("folder.lwo: a folder with no files to add"), std::string::npos) << r.out;
    r = zorpack("add " + a + " " + (dir / "huge.lwo").string(), timeout);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("larger than the limit"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(a));
    r = zorpack("add " + (dir / "none/t.dat").string() + " " + (dir / "huge.lwo").string(), timeout);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("the folder " + (dir / "none").string() + " does not exist"), std::string::npos) << r.out;
}

TEST(Zorpack, ConcurrentWritersKeepEveryEntry) {
    test::ScratchDir dir("zorpack-race");
    const std::string a = (dir / "t.dat").string();
    dir.write("a.bin", text(200000, 'a'));
    dir.write("b.bin", text(200000, 'b'));
    for (int round = 0; round < 20; ++round) {
        const std::string n = std::to_string(round);
        auto first = startZorpack({"add", a, (dir / "a.bin").string(), "--as", "a" + n}, dir, "a");
        auto second = startZorpack({"add", a, (dir / "b.bin").string(), "--as", "b" + n}, dir, "b");
        ASSERT_EQ(exitStatus(*first), 0) << "round " << round << ": " << first->errors();
        ASSERT_EQ(exitStatus(*second), 0) << "round " << round << ": " << second->errors();
    }
    {
        PackFile pack(a);
        EXPECT_EQ(pack.entryCount(), 40);
        for (int round = 0; round < 20; ++round) {
            EXPECT_GE(pack.findEntry("a" + std::to_string(round)), 0) << round;
            EXPECT_GE(pack.findEntry("b" + std::to_string(round)), 0) << round;
        }
    }
    // The last writer takes its lock file with it, even from a failed add.
    EXPECT_FALSE(std::filesystem::exists(a + ".lock"));
    EXPECT_EQ(zorpack("add " + a + " " + (dir / "missing.bin").string()).status, 1);
    EXPECT_FALSE(std::filesystem::exists(a + ".lock"));
    // With the lock held elsewhere, --no-wait gives up at once and says so.
    int lock = ::open((a + ".lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    ToolRun r = zorpack("add --no-wait " + a + " " + (dir / "a.bin").string() + " --as late");
    ::close(lock);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("another program is changing it"), std::string::npos) << r.out;
    EXPECT_EQ(PackFile(a).findEntry("late"), -1);
}

// zorpack add rewrites the archive (a new file renamed into place) while
// loads read it: each load, holding the archive as the player and the tools
// do, sees the old archive or the new one, never a name of each.
TEST(Zorpack, LoadsDuringAnAddSeeOneArchive) {
    test::ScratchDir dir("zorpack-reading");
    const std::string archive = (dir / "zor.dat").string();
    const auto version = [&](int v) {
        dir.write("one.txt", text(3000, static_cast<char>('a' + v % 20)));
        dir.write("two.txt", text(3000, static_cast<char>('a' + v % 20)));
    };
    version(0);
    ASSERT_EQ(zorpack("add " + archive + " " + (dir / "one.txt").string() + " " + (dir / "two.txt").string()).status, 0);
    const DataSource source{dir.path(), "zor.dat"};
    std::filesystem::remove((dir / "one.txt"));
    std::filesystem::remove((dir / "two.txt"));
    std::filesystem::create_directories((dir / "in"));
    int mixed = 0, loads = 0;
    for (int v = 1; v <= 40; ++v) {
        dir.write("in/one.txt", text(3000, static_cast<char>('a' + v % 20)));
        dir.write("in/two.txt", text(3000, static_cast<char>('a' + v % 20)));
        const auto add =
            startZorpack({"add", archive, (dir / "in/one.txt").string(), (dir / "in/two.txt").string()}, dir, "add");
        for (int i = 0; i < 10; ++i, ++loads) {
            const auto oneArchive = source.holdArchive();
            const std::optional<Bytes> one = readDataFile(source, "one.txt");
            ::usleep(1000);
            const std::optional<Bytes> two = readDataFile(source, "two.txt");
            ASSERT_TRUE(one && two);
            mixed += *one != *two;
        }
        ASSERT_EQ(exitStatus(*add), 0) << add->errors();
    }
    EXPECT_EQ(mixed, 0) << "of " << loads << " loads";
}

TEST(Zorpack, LongPathsAreNeverCut) {
    test::ScratchDir dir("zorpack-long");
    const std::filesystem::path deep = dir.path() / std::string(120, 'A') / std::string(120, 'B');
    std::filesystem::create_directories(deep);
    const std::string a = (deep / "t.dat").string();
    ASSERT_GT(a.size(), 255u);
    // The file the first 255 characters name must stay as it is.
    const std::string cut = a.substr(0, 255);
    {
        std::ofstream victim(cut, std::ios::binary);
        victim << "someone else's file";
    }
    dir.write("x.txt", text(1000, 'x'));

    ToolRun r = zorpack("add " + a + " " + (dir / "x.txt").string());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(std::filesystem::file_size(cut), 19u);
    EXPECT_EQ(PackFile(a).findEntry("x.txt"), 0);

    // A name the system cannot take is refused, not shortened.
    const std::string tooLong = (dir / (std::string(300, 'n') + ".dat")).string();
    r = zorpack("add " + tooLong + " " + (dir / "x.txt").string());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("too long"), std::string::npos) << r.out;
    for (auto& f : std::filesystem::directory_iterator(dir.path()))
        EXPECT_LT(f.path().filename().string().size(), 256u);
}

TEST(Zorpack, ExtractReplacesNothingUnlessAskedAndNeverTheArchive) {
    test::ScratchDir dir("zorpack-replace");
    const std::string a = (dir / "t.dat").string();
    dir.write("x.txt", text(1000, 'x'));
    {
        PackFile pack(a);
        ASSERT_TRUE(pack.addFile((dir / "x.txt"), "x.txt"));
        ASSERT_TRUE(pack.addFile((dir / "x.txt"), "t.dat"));  // the archive's own name
    }
    const Bytes archive = dir.read("t.dat");
    dir.write("x.txt", text(50, 'm'));  // the user's own newer copy

    ToolRun r = zorpack("extract " + a + " -C " + dir.path().string());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("--overwrite"), std::string::npos) << r.out;
    EXPECT_EQ(dir.read("x.txt"), text(50, 'm'));
    EXPECT_EQ(dir.read("t.dat"), archive);

    r = zorpack("extract --overwrite " + a + " -C " + dir.path().string());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("the archive being read"), std::string::npos) << r.out;
    EXPECT_EQ(dir.read("x.txt"), text(1000, 'x'));
    EXPECT_EQ(dir.read("t.dat"), archive);
    // Nothing but the two files: no temporary left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(Zorpack, RefusesToWriteIntoWhatIsNotAnArchive) {
    test::ScratchDir dir("zorpack-notarchive");
    dir.write("my.lws", text(2000, 's'));
    dir.write("Box.lwo", text(2000, 'b'));
    const std::string scene = (dir / "my.lws").string(), box = (dir / "Box.lwo").string();

    ToolRun r = zorpack("add " + scene + " " + box);  // arguments swapped
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("not an archive (no trailer)"), std::string::npos) << r.out;
    EXPECT_EQ(dir.read("my.lws"), text(2000, 's'));

    // An archive with its last byte cut off.
    ASSERT_EQ(zorpack("add " + (dir / "t.dat").string() + " " + box).status, 0);
    Bytes cut = dir.read("t.dat");
    cut.pop_back();
    dir.write("cut.dat", cut);
    const std::string c = (dir / "cut.dat").string();
    for (const std::string& command : {"list " + c, "verify " + c, "add " + c + " " + scene, "remove " + c + " Box.lwo"}) {
        r = zorpack(command);
        EXPECT_EQ(r.status, 1) << command << "\n" << r.out;
        EXPECT_NE(r.out.find("not an archive (no trailer)"), std::string::npos) << command << "\n" << r.out;
    }
    EXPECT_EQ(dir.read("cut.dat"), cut);

    // Said on purpose, the old content stays in front of the entries.
    r = zorpack("add --append-to " + scene + " " + box);
    EXPECT_EQ(r.status, 0) << r.out;
    const Bytes now = dir.read("my.lws"), old = text(2000, 's');
    ASSERT_GT(now.size(), old.size());
    EXPECT_TRUE(std::equal(old.begin(), old.end(), now.begin()));
    EXPECT_EQ(PackFile(scene).findEntry("Box.lwo"), 0);
}

TEST(Zorpack, AddReplacesByTheLookupRuleAllOrNothing) {
    test::ScratchDir dir("zorpack-readd");
    const std::string a = (dir / "t.dat").string();
    dir.write("one.txt", text(1000, 'a'));
    dir.write("two.txt", text(1200, 'b'));
    ASSERT_EQ(zorpack("add " + a + " " + (dir / "one.txt").string() + " --as x.txt").status, 0);
    // Another spelling of the same name by the lookup rule replaces it.
    ToolRun r = zorpack("add " + a + " " + (dir / "two.txt").string() + " --as X.TXT");
    ASSERT_EQ(r.status, 0) << r.out;
    {
        PackFile pack(a);
        EXPECT_EQ(pack.entryCount(), 1);
        EXPECT_EQ(pack.readEntry("x.txt"), text(1200, 'b'));
    }
    ASSERT_EQ(zorpack("add --keep-both " + a + " " + (dir / "one.txt").string() + " --as x.txt").status, 0);
    EXPECT_EQ(PackFile(a).entryCount(), 2);

    // One unreadable file of several: nothing is added.
    const Bytes before = dir.read("t.dat");
    r = zorpack("add " + a + " " + (dir / "one.txt").string() + " " + (dir / "missing.txt").string());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("missing.txt"), std::string::npos) << r.out;
    EXPECT_EQ(dir.read("t.dat"), before);

    // A temporary file left by a killed writer goes with the next write.
    dir.write("t.dat.tmp.Ab12Cd", text(300, 'z'));
    ASSERT_EQ(zorpack("add " + a + " " + (dir / "one.txt").string()).status, 0);
    EXPECT_FALSE(std::filesystem::exists((dir / "t.dat.tmp.Ab12Cd")));

    r = zorpack("add --help");
    EXPECT_NE(r.out.find("letter case"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("32"), std::string::npos) << r.out;
}

TEST(Zorpack, ListingEscapesControlCharactersAndExtractRefusesThem) {
    test::ScratchDir dir("zorpack-control");
    const std::string a = (dir / "t.dat").string();
    dir.write("x.txt", text(1000, 'x'));
    {
        PackFile pack(a);
        ASSERT_TRUE(pack.addFile((dir / "x.txt"), "evil\nfake.lwo 1 2 3"));
        ASSERT_TRUE(pack.addFile((dir / "x.txt"), "bell\a\x1b[2J.jpg"));
    }
    ToolRun r = zorpack("list " + a);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;  // heading, two rows, total
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("evil\\x0afake.lwo"), std::string::npos) << r.out;

    r = zorpack("extract " + a + " -C " + (dir / "out").string());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("control character"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::is_empty((dir / "out")));
}

TEST(Zorpack, ExtractNeverWritesOutsideTheFolder) {
    test::ScratchDir dir("zorpack-escape");
    const std::string a = (dir / "t.dat").string();
    dir.write("x.txt", text(1000, 'x'));
    for (const char* name : {"../escaped.txt", "/tmp/zor-escaped-abs.txt", "..", "sub\\..\\up.txt"}) {
        PackFile pack(a);
        ASSERT_TRUE(pack.addFile((dir / "x.txt"), name)) << pack.error();
    }
    {
        PackFile pack(a);
        ASSERT_TRUE(pack.addFile((dir / "x.txt"), "fine.txt"));
    }
    // A link planted in the target folder is not followed.
    std::filesystem::create_directories((dir / "out"));
    std::filesystem::create_symlink((dir / "victim.txt"), (dir / "out/fine.txt"));

    ToolRun r = zorpack("extract " + a + " -C " + (dir / "out").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("not a plain file name"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists((dir / "escaped.txt")));
    EXPECT_FALSE(std::filesystem::exists("/tmp/zor-escaped-abs.txt"));
    EXPECT_FALSE(std::filesystem::exists((dir / "victim.txt")));
    std::size_t files = 0;
    for (auto& f : std::filesystem::recursive_directory_iterator((dir / "out"))) {
        (void)f;
        ++files;
    }
    EXPECT_EQ(files, 1u);  // only the planted link
}

}  // namespace
}  // namespace zor
