// zor-demo-gen run as a program: the same set from every run (and the same
// as the build's), its command line, and no writing through links planted
// where its files go.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/pack_file.h"
#include "demo_set.h"
#include "child_process.h"
#include "scratch_dir.h"

namespace zor {
namespace {

namespace fs = std::filesystem;

const fs::path kDemoDir = ZOR_DEMO_DIR;

using test::readText;

test::ShellRun runGenerator(const std::string& args, const fs::path& scratch) {
    return test::runShell(std::string("\"") + ZOR_DEMO_GEN + "\" " + args, scratch, test::Streams::Separate, "generator");
}

Bytes bytesOf(const fs::path& p) {
    auto bytes = readWholeFile(p);
    return bytes ? *bytes : Bytes{};
}

TEST(DemoGenerator, TwoRunsGiveByteIdenticalSets) {
    const test::ScratchDir dir;
    const fs::path& scratch = dir.path();
    // Every file gets 0666 less the umask, those renamed into place too.
    const mode_t mask = umask(027);
    test::ShellRun a = runGenerator("--out \"" + (scratch / "a").string() + "\" --quiet", scratch);
    umask(mask);
    test::ShellRun b = runGenerator("--out \"" + (scratch / "b").string() + "\" --sources \"" + (scratch / "src").string() + "\"",
                         scratch);
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_TRUE(a.out.empty());
    EXPECT_NE(b.out.find("wrote zor.dat"), std::string::npos);
    for (const char* name : {"zor.dat", "mp3.mp3", "water.avi"}) {
        auto first = bytesOf(scratch / "a" / name);
        EXPECT_FALSE(first.empty()) << name;
        EXPECT_EQ(first, bytesOf(scratch / "b" / name)) << name;
        EXPECT_EQ(first, bytesOf(kDemoDir / name)) << name << " differs from the build's set";
    }
    for (const auto& file : fs::directory_iterator(scratch / "a")) {
        const auto mode = static_cast<unsigned>(fs::status(file.path()).permissions());
        EXPECT_EQ(mode, 0640u) << file.path() << " has mode " << std::oct << mode;
    }
    // The loose copies are the archive's entries.
    PackFile pack((scratch / "a" / "zor.dat").string());
    ASSERT_GT(pack.entryCount(), 20);
    for (int i = 0; i < pack.entryCount(); ++i) {
        std::string name = pack.entry(i).name;
        auto entry = pack.readEntry(name);
        ASSERT_TRUE(entry) << name;
        EXPECT_EQ(*entry, bytesOf(scratch / "src" / name)) << name;
    }
}

TEST(DemoGenerator, CommandLineHelpAndFailures) {
    const test::ScratchDir dir;
    const fs::path& scratch = dir.path();
    test::ShellRun help = runGenerator("--help", scratch);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--out"), std::string::npos);

    test::ShellRun version = runGenerator("--version", scratch);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("zor-demo-gen ", 0), 0u) << version.out;

    test::ShellRun missing = runGenerator("", scratch);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("--out"), std::string::npos);
    EXPECT_EQ(runGenerator("--out x --frobnicate", scratch).status, 2);
    EXPECT_EQ(runGenerator("--out x --bitrate 7", scratch).status, 2);

    // A missing encoder fails the run, names the program and leaves no
    // half-made music behind.
    fs::path out = scratch / "noenc";
    test::ShellRun noEncoder = runGenerator("--out \"" + out.string() + "\" --lame /nonexistent/lame-encoder", scratch);
    EXPECT_NE(noEncoder.status, 0);
    EXPECT_NE(noEncoder.err.find("lame-encoder"), std::string::npos) << noEncoder.err;
    EXPECT_FALSE(fs::exists(out / "mp3.mp3"));
    for (const auto& left : fs::directory_iterator(out))
        EXPECT_NE(left.path().filename().string()[0], '.') << left.path() << " left behind";
}

TEST(DemoGenerator, NeverWritesThroughPlantedLinks) {
    const test::ScratchDir dir;
    const fs::path& scratch = dir.path();
    const fs::path out = scratch / "out", sources = scratch / "src";
    fs::create_directories(out);
    fs::create_directories(sources);
    std::vector<fs::path> planted;
    for (const char* name : {"zor.dat", "mp3.mp3", "water.avi", "mp3.wav.tmp", "mp3.mp3.tmp"})
        planted.push_back(out / name);
    for (const demo::DataFile& f : demo::demoDataFiles()) planted.push_back(sources / f.name);
    for (std::size_t i = 0; i < planted.size(); ++i) {
        const fs::path victim = scratch / ("victim" + std::to_string(i));
        std::ofstream(victim) << "not yours";
        fs::create_symlink(victim, planted[i]);
    }
    test::ShellRun run = runGenerator("--out \"" + out.string() + "\" --sources \"" + sources.string() + "\" --quiet",
                                    scratch);
    ASSERT_EQ(run.status, 0) << run.err;
    for (std::size_t i = 0; i < planted.size(); ++i) {
        EXPECT_TRUE(readText(scratch / ("victim" + std::to_string(i))) == "not yours") << planted[i] << " was followed";
        if (planted[i].filename().string().ends_with(".tmp")) {
            EXPECT_TRUE(fs::is_symlink(planted[i])) << planted[i] << " is not the generator's to replace";
        } else {
            EXPECT_FALSE(fs::is_symlink(planted[i])) << planted[i];
            EXPECT_TRUE(fs::is_regular_file(planted[i])) << planted[i];
        }
    }
}

}  // namespace
}  // namespace zor
