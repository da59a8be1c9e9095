// The Debian package (scripts/package writes it into the build folder),
// unpacked into a scratch root with dpkg-deb -x: nothing is installed on the
// machine. Its files are where a desktop looks for them, and its zor-render
// plays its demo exactly as the build's zor-render plays the build's demo.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "child_process.h"
#include "display/png_file.h"
#include "writers/web_page.h"

namespace zor {
namespace {

namespace fs = std::filesystem;

const fs::path kBuild = ZOR_BINARY_DIR;
const fs::path kPackage = kBuild / ("zor_" ZOR_VERSION "_amd64.deb");

// Runs a shell command with its standard output and error in `log`.
test::ShellRun run(const std::string& command, const fs::path& log) {
    return test::runShell(command, log.parent_path(), test::Streams::Merged, log.stem().string());
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class Package : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kPackage)) GTEST_SKIP() << "no package " << kPackage << " (scripts/package builds it)";
        const fs::path render = kBuild / "tools" / "zor-render" / "zor-render";
        if (fs::last_write_time(kPackage) < fs::last_write_time(render))
            GTEST_SKIP() << kPackage << " is older than this build's programs (scripts/package builds it anew)";
        scratch_ = fs::temp_directory_path() / ("zor-package-" + std::to_string(::getpid()));
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
        root_ = scratch_ / "root";
        const test::ShellRun unpacked = run("dpkg-deb -x " + quoted(kPackage) + " " + quoted(root_), scratch_ / "unpack.log");
        ASSERT_EQ(unpacked.status, 0) << unpacked.out;
    }
    void TearDown() override {
        if (!scratch_.empty() && !HasFailure()) fs::remove_all(scratch_);
    }

    fs::path scratch_, root_;
};

TEST_F(Package, HoldsEveryProgramWithItsManualPageTheDemoAndTheDesktopEntry) {
    for (const char* program : {"zor", "zorpack", "zor-render", "zor-view", "zor-inspect", "zor-demo-gen", "zor-import", "zor-build",
                                "zor-publish"})
        EXPECT_TRUE(fs::exists(root_ / "usr/bin" / program)) << program;
    for (const auto& program : fs::directory_iterator(root_ / "usr/bin")) {
        const std::string name = program.path().filename().string();
        EXPECT_TRUE(fs::exists(root_ / "usr/share/man/man1" / (name + ".1.gz"))) << name << " has no manual page";
        const test::ShellRun version = run(quoted(program.path()) + " --version", scratch_ / "version.log");
        EXPECT_EQ(version.out, name + " " ZOR_VERSION "\n");
    }
    for (const char* file : {"zor.dat", "mp3.mp3", "water.avi"})
        EXPECT_EQ(fs::file_size(root_ / "usr/share/zor/demo" / file), fs::file_size(kBuild / "demo" / file)) << file;
    const std::string desktop = test::readText(root_ / "usr/share/applications/zor.desktop");
    EXPECT_NE(desktop.find("\nExec=zor --dir /usr/share/zor/demo\n"), std::string::npos) << desktop;
    EXPECT_NE(desktop.find("\nIcon=zor\n"), std::string::npos) << desktop;
    for (const char* size : {"16x16", "48x48", "256x256"})
        EXPECT_TRUE(fs::exists(root_ / "usr/share/icons/hicolor" / size / "apps/zor.png")) << size;
    // The guide and its worked example, named by every manual page.
    for (const char* file : {"authoring.md", "README.md", "examples/import/turntable.gltf"})
        EXPECT_TRUE(fs::exists(root_ / "usr/share/doc/zor" / file)) << file;
    const test::ShellRun page = run("zcat " + quoted(root_ / "usr/share/man/man1/zor-import.1.gz"), scratch_ / "man.log");
    EXPECT_NE(page.out.find("/usr/share/doc/zor/authoring.md"), std::string::npos) << page.out;
    // The installed copies name installed places, not a source tree's.
    const std::string guide = test::readText(root_ / "usr/share/doc/zor/authoring.md");
    for (const char* place : {"build/tools/", "`docs/", " examples/import", "`examples/"})
        EXPECT_EQ(guide.find(place), std::string::npos) << place;
    EXPECT_EQ(page.out.find("docs/authoring.md"), std::string::npos) << page.out;
    // Our own files are under the MIT (Expat) licence, and the copyright file says so.
    const std::string copyrightText = test::readText(root_ / "usr/share/doc/zor/copyright");
    EXPECT_NE(copyrightText.find("Files: *\nCopyright: 2026 the zor developers\nLicense: Expat\n"), std::string::npos)
        << copyrightText;
    // Dependencies found in the programs themselves.
    const test::ShellRun depends = run("dpkg-deb -f " + quoted(kPackage) + " Depends", scratch_ / "depends.log");
    for (const char* library : {"libc6", "libsdl2-2.0-0", "libjpeg62-turbo", "libpng16-16", "zlib1g"})
        EXPECT_NE(depends.out.find(library), std::string::npos) << depends.out;
}

TEST_F(Package, UnpackedZorRenderPlaysTheUnpackedDemoAsTheBuildDoes) {
    const std::string frames = " --size 160x120 --frames 0-1600:400 --quiet --out ";
    const test::ShellRun packaged = run("SDL_VIDEODRIVER=offscreen " + quoted(root_ / "usr/bin/zor-render") + " --dir " +
                                    quoted(root_ / "usr/share/zor/demo") + frames + quoted(scratch_ / "packaged"),
                                scratch_ / "packaged.log");
    ASSERT_EQ(packaged.status, 0) << packaged.out;
    const test::ShellRun built = run("SDL_VIDEODRIVER=offscreen " + quoted(kBuild / "tools/zor-render/zor-render") + " --dir " +
                                 quoted(kBuild / "demo") + frames + quoted(scratch_ / "built"),
                             scratch_ / "built.log");
    ASSERT_EQ(built.status, 0) << built.out;
    int compared = 0;
    for (const auto& file : fs::directory_iterator(scratch_ / "built")) {
        RgbPicture expected, actual;
        std::string error;
        ASSERT_TRUE(readPng(file.path(), expected, error)) << error;
        ASSERT_TRUE(readPng(scratch_ / "packaged" / file.path().filename(), actual, error)) << error;
        EXPECT_EQ(actual.width, expected.width);
        EXPECT_TRUE(actual.pixels == expected.pixels) << file.path().filename() << " differs";
        ++compared;
    }
    EXPECT_EQ(compared, 5);
}

TEST_F(Package, UnpackedPlayerNamesItsDemoWhereThereIsNothingToPlay) {
    fs::create_directories(scratch_ / "empty");
    const test::ShellRun player = run("cd " + quoted(scratch_ / "empty") + " && SDL_VIDEODRIVER=offscreen " +
                                  quoted(root_ / "usr/bin/zor") + " -nosound",
                              scratch_ / "player.log");
    EXPECT_EQ(player.status, 1);
    EXPECT_NE(player.out.find("zor --dir " + (root_ / "usr/share/zor/demo").string() + "\n"), std::string::npos)
        << player.out;
}

// The packaged zor-publish finds the page it carries (../share/zor/web) and
// writes, outside any build tree, the single file the build's zor-publish
// writes from the same page (which the browser cases play).
TEST_F(Package, UnpackedZorPublishWritesTheBuildsSingleFile) {
    for (const web::WebFile& file : web::kWebRuntimeFiles)
        ASSERT_TRUE(fs::exists(root_ / "usr/share/zor/web" / file.name)) << file.name;
    for (const char* file : {"zor.exe", "zorpack.exe", "README.txt", "LICENSE.txt"})
        EXPECT_TRUE(fs::exists(root_ / "usr/share/zor/windows" / file)) << file;
    const test::ShellRun packaged =
        run("SDL_VIDEODRIVER=offscreen " + quoted(root_ / "usr/bin/zor-publish") + " " +
                quoted(root_ / "usr/share/zor/demo") + " --no-poster --title Sample --html " + quoted(scratch_ / "p.html"),
            scratch_ / "publish-packaged.log");
    ASSERT_EQ(packaged.status, 0) << packaged.out;
    const test::ShellRun built =
        run("SDL_VIDEODRIVER=offscreen " + quoted(kBuild / "tools/zor-publish/zor-publish") + " " +
                quoted(kBuild / "demo") + " --no-poster --title Sample --web-runtime " + quoted(root_ / "usr/share/zor/web") +
                " --html " + quoted(scratch_ / "b.html"),
            scratch_ / "publish-built.log");
    ASSERT_EQ(built.status, 0) << built.out;
    EXPECT_TRUE(test::readText(scratch_ / "p.html") == test::readText(scratch_ / "b.html"));
}

}  // namespace
}  // namespace zor
