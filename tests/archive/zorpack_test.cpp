// The zorpack tool, run as a user would: exit statuses, messages and files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "archive/archive.h"
#include "test_dir.h"

namespace zor {
namespace {

struct ToolRun {
    int status;
    std::string out;  // standard output and error together
};

ToolRun zorpack(const std::string& args) {
    std::string cmd = std::string(ZORPACK_PATH) + " " + args + " 2>&1";
    ToolRun r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

Bytes text(std::size_t n, char c) {
    Bytes b;
    for (std::size_t i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(c + i % 7));
    return b;
}

TEST(Zorpack, AddListCatExtractRemoveVerify) {
    TestDir dir("zorpack");
    const std::string a = dir.path("t.dat").string();
    dir.write("scene.lws", text(3000, 'a'));
    dir.write("ship.lwo", text(5000, 'k'));

    ToolRun r = zorpack("add " + a + " " + dir.path("scene.lws").string() + " " + dir.path("ship.lwo").string());
    ASSERT_EQ(r.status, 0) << r.out;
    r = zorpack("add " + a + " " + dir.path("ship.lwo").string() + " --as Other.lwo");
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

    r = zorpack("extract " + a + " -C " + dir.path("out").string());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(dir.read("out/ship.lwo"), text(5000, 'k'));
    EXPECT_EQ(dir.read("out/Other.lwo"), text(5000, 'k'));

    r = zorpack("remove " + a + " ship.lwo");
    EXPECT_EQ(r.status, 0) << r.out;
    r = zorpack("verify " + a);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("2 entries OK"), std::string::npos);
}

TEST(Zorpack, FailuresNameTheArchiveAndEntry) {
    TestDir dir("zorpack-fail");
    const std::string a = dir.path("t.dat").string();
    ToolRun r = zorpack("list " + a);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no such archive"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(a));  // listing never creates it

    dir.write("x.txt", text(1000, 'x'));
    ASSERT_EQ(zorpack("add " + a + " " + dir.path("x.txt").string()).status, 0);
    r = zorpack("cat " + a + " nothere");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("nothere"), std::string::npos);
    EXPECT_NE(r.out.find(a), std::string::npos);

    r = zorpack("add " + a + " " + dir.path("x.txt").string() + " --as " + std::string(40, 'n'));
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
}

TEST(Zorpack, ExtractNeverWritesOutsideTheFolder) {
    TestDir dir("zorpack-escape");
    const std::string a = dir.path("t.dat").string();
    dir.write("x.txt", text(1000, 'x'));
    for (const char* name : {"../escaped.txt", "/tmp/zor-escaped-abs.txt", "..", "sub\\..\\up.txt"}) {
        PackFile pack(a);
        ASSERT_TRUE(pack.addFile(dir.path("x.txt"), name)) << pack.error();
    }
    {
        PackFile pack(a);
        ASSERT_TRUE(pack.addFile(dir.path("x.txt"), "fine.txt"));
    }
    // A link planted in the target folder is not followed.
    std::filesystem::create_directories(dir.path("out"));
    std::filesystem::create_symlink(dir.path("victim.txt"), dir.path("out/fine.txt"));

    ToolRun r = zorpack("extract " + a + " -C " + dir.path("out").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("not a plain file name"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path("escaped.txt")));
    EXPECT_FALSE(std::filesystem::exists("/tmp/zor-escaped-abs.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.path("victim.txt")));
    std::size_t files = 0;
    for (auto& f : std::filesystem::recursive_directory_iterator(dir.path("out"))) {
        (void)f;
        ++files;
    }
    EXPECT_EQ(files, 1u);  // only the planted link
}

}  // namespace
}  // namespace zor
