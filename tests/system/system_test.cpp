// The operating system's services: whole files written by rename, temporary
// files, and the rules of a Windows command line, which are plain text and
// so tested here on every system.

#include <gtest/gtest.h>

#include <filesystem>

#include "scratch_dir.h"
#include "system/disk_files.h"
#include "system/windows_command_line.h"

namespace zor {
namespace {

Bytes textBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A write by rename says by its kind that something was in the way, and a
// temporary file goes unless it was kept.
TEST(DiskFiles, AWriteThatMayNotReplaceSaysSoAndTemporariesGo) {
    test::ScratchDir dir("disk");
    dir.write("kept.txt", textBytes("old"));
    WriteFailure failure;
    EXPECT_FALSE(writeFileByRename(dir / "kept.txt", textBytes("new"), Replace::Never, failure));
    EXPECT_TRUE(failure.exists());
    EXPECT_EQ(failure.describe(dir / "kept.txt", "--force"), (dir / "kept.txt").string() + ": already exists (--force replaces it)");
    EXPECT_EQ(dir.read("kept.txt"), textBytes("old"));
    EXPECT_TRUE(writeFileByRename(dir / "kept.txt", textBytes("new"), Replace::Always, failure));
    EXPECT_EQ(dir.read("kept.txt"), textBytes("new"));

    std::filesystem::path gone, kept;
    {
        TemporaryFile a, b;
        ASSERT_TRUE(a.create(dir / ".a-", failure, ".wav")) << failure.reason;
        ASSERT_TRUE(b.create(dir / ".b-", failure)) << failure.reason;
        ASSERT_TRUE(b.write(textBytes("kept"), failure) && b.finish(failure)) << failure.reason;
        gone = a.path();
        kept = b.path();
        EXPECT_EQ(gone.extension(), ".wav");
        b.release();
    }
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_EQ(dir.read(kept.filename().string()), textBytes("kept"));
}

// What CommandLineToArgvW reads back: quotes only where needed,
// backslashes doubled only before a quote or the closing quote.
TEST(WindowsCommandLine, ArgumentsAreQuotedAsTheRuntimeSplitsThem) {
    EXPECT_EQ(windowsQuoted(L"plain"), L"plain");
    EXPECT_EQ(windowsQuoted(L""), L"\"\"");
    EXPECT_EQ(windowsQuoted(L"two words"), L"\"two words\"");
    EXPECT_EQ(windowsQuoted(L"C:\\a b\\"), L"\"C:\\a b\\\\\"");
    EXPECT_EQ(windowsQuoted(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
    EXPECT_EQ(windowsQuoted(L"a\\\"b"), L"\"a\\\\\\\"b\"");
    EXPECT_EQ(windowsQuoted(L"no\\quote"), L"no\\quote");
}

TEST(WindowsCommandLine, ProgramsAreLookedForWithPathextsEndings) {
    EXPECT_EQ(programCandidates(L"ffmpeg", L""),
              (std::vector<std::wstring>{L"ffmpeg.COM", L"ffmpeg.EXE", L"ffmpeg.BAT", L"ffmpeg.CMD"}));
    EXPECT_EQ(programCandidates(L"ffmpeg.exe", L".COM;.EXE"), (std::vector<std::wstring>{L"ffmpeg.exe"}));
    EXPECT_EQ(programCandidates(L"lame", L".EXE;;.PS1"), (std::vector<std::wstring>{L"lame.EXE", L"lame.PS1"}));
    EXPECT_EQ(programCandidates(L"tool.v2", L".EXE"), (std::vector<std::wstring>{L"tool.v2.EXE"}));
}

}  // namespace
}  // namespace zor
