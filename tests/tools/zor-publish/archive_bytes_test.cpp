// zor-publish's archives, built twice: once on libarchive and libdeflate, once
// on the zlib writer the Windows build uses. Both are read back with
// libarchive, and zips with unzip -t, against the same expectations.

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "archive_bytes.h"
#include "child_process.h"
#include "scratch_dir.h"

namespace zor::publish {
namespace {

struct ReadEntry {
    std::string name;
    bool folder = false;
    int mode = 0;
    std::int64_t time = 0, uid = -1, gid = -1;
    std::string data;
    bool operator==(const ReadEntry&) const = default;
};

void PrintTo(const ReadEntry& e, std::ostream* out) {
    *out << e.name << (e.folder ? " (folder)" : "") << " mode " << std::oct << e.mode << std::dec << " time " << e.time
         << " owner " << e.uid << ":" << e.gid << " " << e.data.size() << " bytes";
}

std::vector<ReadEntry> readBack(const Bytes& bytes) {
    // libarchive reads names into the locale's encoding: UTF-8 here.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::unique_ptr<archive, decltype(&archive_read_free)> a(archive_read_new(), archive_read_free);
    archive_read_support_format_zip(a.get());
    archive_read_support_format_tar(a.get());
    archive_read_support_filter_gzip(a.get());
    EXPECT_EQ(archive_read_open_memory(a.get(), bytes.data(), bytes.size()), ARCHIVE_OK);
    std::vector<ReadEntry> entries;
    archive_entry* entry = nullptr;
    for (int result; (result = archive_read_next_header(a.get(), &entry)) != ARCHIVE_EOF;) {
        EXPECT_EQ(result, ARCHIVE_OK) << archive_error_string(a.get());
        if (result != ARCHIVE_OK) break;
        ReadEntry e;
        const char* name = archive_entry_pathname_utf8(entry);
        e.name = name ? name : "(not UTF-8)";
        e.folder = archive_entry_filetype(entry) == AE_IFDIR;
        e.mode = archive_entry_perm(entry);
        e.time = archive_entry_mtime(entry);
        e.uid = archive_entry_uid(entry);
        e.gid = archive_entry_gid(entry);
        char buffer[4096];
        for (la_ssize_t n; (n = archive_read_data(a.get(), buffer, sizeof buffer)) > 0;) e.data.append(buffer, n);
        entries.push_back(e);
    }
    return entries;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

constexpr std::int64_t kWhen = 1700000000;  // 2023-11-14 22:13:20 UTC

// A player, a text, an empty file, a name that is not ASCII and one that is
// longer than a tar header's name field, in an order that is not sorted.
const std::vector<write::DataFile> kFiles = {
    {"zor.exe", bytesOf("MZ" + std::string(3000, 'x'))},
    {"README.txt", bytesOf("how to play\r\n")},
    {"empty", {}},
    {"k\xC3\xBC" "be\xF0\x9F\x98\x80.txt", bytesOf("a cube")},
    {std::string(120, 'n') + ".jpg", bytesOf("not really an image")},
};

std::vector<ReadEntry> expected(const std::string& top) {
    std::vector<ReadEntry> entries = {{top + "/", true, 0755, kWhen, 0, 0, ""}};
    for (const write::DataFile& f : kFiles)
        entries.push_back({top + "/" + f.name, false, f.name.ends_with(".exe") ? 0755 : 0644, kWhen, 0, 0,
                           std::string(f.bytes.begin(), f.bytes.end())});
    return entries;
}

TEST(ArchiveBytes, AZipHoldsOneFolderOfTheFilesInOrderWithModesAndTime) {
    SCOPED_TRACE(archiveWriter());
    const std::string top = "d\xC3\xA9mo";
    const Bytes zip = archiveBytes(ArchiveKind::Zip, top, kFiles, kWhen);
    EXPECT_EQ(readBack(zip), expected(top));
    test::ScratchDir dir;
    dir.write("demo.zip", std::string(zip.begin(), zip.end()));
    const test::ShellRun tested = test::runShell("unzip -t demo.zip", dir.path());
    EXPECT_EQ(tested.status, 0) << tested.out;
    EXPECT_NE(tested.out.find("No errors detected"), std::string::npos) << tested.out;
    EXPECT_EQ(archiveBytes(ArchiveKind::Zip, top, kFiles, kWhen), zip) << "not the same bytes twice";
}

TEST(ArchiveBytes, ATarGzHoldsTheSameWithoutATimeInItsGzipHeader) {
    SCOPED_TRACE(archiveWriter());
    const Bytes tarGz = archiveBytes(ArchiveKind::TarGz, "site", kFiles, kWhen);
    EXPECT_EQ(readBack(tarGz), expected("site"));
    ASSERT_GT(tarGz.size(), 10u);
    EXPECT_EQ(tarGz[3], 0) << "no name or other fields in the gzip header";
    EXPECT_EQ(tarGz[4] | tarGz[5] | tarGz[6] | tarGz[7], 0) << "no time in the gzip header";
}

}  // namespace
}  // namespace zor::publish
