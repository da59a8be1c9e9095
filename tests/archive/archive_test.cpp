// Archive tests: exact bytes against zlib and the layout rules, the name
// lookup rule, damaged archives, and that reading never writes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "archive/data_source.h"
#include "scratch_dir.h"

namespace zor {
namespace {

Bytes textBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes sampleData(std::size_t size, unsigned seed) {
    // Compressible but not trivial: words from a small vocabulary.
    static const char* words[] = {"Points ", "Polygons ", "Surface ", "Bone ", "Light ", "\n", "0.5 ", "-12 "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        std::string_view w = words[rng() % 8];
        out.insert(out.end(), w.begin(), w.end());
    }
    out.resize(size);
    return out;
}

void put32(Bytes& b, std::int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}

Bytes zlib9(const Bytes& data, std::size_t capacity) {
    Bytes out(capacity);
    uLongf n = capacity;
    EXPECT_EQ(compress2(out.data(), &n, data.data(), data.size(), 9), Z_OK);
    out.resize(n);
    return out;
}

// What an archive must hold, built from the layout rules alone.
struct ExpectedArchive {
    Bytes leading;
    std::vector<std::pair<std::string, Bytes>> entries;

    Bytes bytes() const {
        Bytes file = leading;
        Bytes records;
        for (const auto& [name, data] : entries) {
            Bytes block = zlib9(data, data.size() * 2);
            std::int32_t start = static_cast<std::int32_t>(file.size());
            file.insert(file.end(), block.begin(), block.end());
            Bytes rec(32, 0);
            std::memcpy(rec.data(), name.data(), name.size());
            put32(rec, start);
            put32(rec, start + static_cast<std::int32_t>(block.size()));
            put32(rec, static_cast<std::int32_t>(data.size()));
            put32(rec, static_cast<std::int32_t>(block.size()));
            records.insert(records.end(), rec.begin(), rec.end());
        }
        if (entries.empty()) return file;
        Bytes dir = zlib9(records, compressBound(records.size()));
        file.insert(file.end(), dir.begin(), dir.end());
        put32(file, static_cast<std::int32_t>(entries.size()));
        put32(file, static_cast<std::int32_t>(records.size()));
        put32(file, static_cast<std::int32_t>(dir.size()));
        for (char c : std::string(":-)")) file.push_back(static_cast<std::uint8_t>(c));
        return file;
    }
};

TEST(PackFileLayout, AddsRemovalsAndReopensGiveExactBytes) {
    test::ScratchDir dir("layout");
    const auto path = (dir / "a.dat");
    const Bytes leading = textBytes("leading content that was here first\n");
    dir.write("a.dat", leading);
    const Bytes scene = sampleData(5000, 1), ship = sampleData(70000, 2), logo = sampleData(1234, 3);

    ExpectedArchive want{leading, {}};
    {
        PackFile pack(path.string());
        ASSERT_TRUE(pack.isOpen());
        ASSERT_TRUE(pack.addData(scene, "glorp2.lws"));
        ASSERT_TRUE(pack.addData(ship, "Ship.lwo"));
    }
    want.entries = {{"glorp2.lws", scene}, {"Ship.lwo", ship}};
    EXPECT_EQ(dir.read("a.dat"), want.bytes());

    {
        PackFile pack(path.string());
        ASSERT_EQ(pack.entryCount(), 2);
        ASSERT_TRUE(pack.addData(logo, "skane.jpg"));
        pack.reopen(path.string());  // writes the directory, then reads it back
        EXPECT_EQ(pack.entryCount(), 3);
        ASSERT_TRUE(pack.removeEntry("Ship.lwo"));
        EXPECT_EQ(pack.entryCount(), 2);
        EXPECT_EQ(pack.readEntry("skane.jpg"), logo);
    }
    want.entries = {{"glorp2.lws", scene}, {"skane.jpg", logo}};
    EXPECT_EQ(dir.read("a.dat"), want.bytes());

    {
        PackFile pack(path.string());
        ASSERT_TRUE(pack.removeEntry("skane.jpg"));
        ASSERT_TRUE(pack.removeEntry("glorp2.lws"));
    }
    // The last removal leaves the leading content alone: no directory, no trailer.
    EXPECT_EQ(dir.read("a.dat"), leading);
}

TEST(PackFileLayout, RecordsFollowEachOtherAndSizesRoundTrip) {
    test::ScratchDir dir("records");
    const auto path = (dir / "b.dat").string();
    std::vector<Bytes> datas;
    {
        PackFile pack(path);
        for (int i = 0; i < 5; ++i) {
            datas.push_back(sampleData(1000 + 3000 * i, 10 + i));
            ASSERT_TRUE(pack.addData(datas.back(), "e" + std::to_string(i)));
        }
    }
    PackFile pack(path);
    ASSERT_EQ(pack.entryCount(), 5);
    std::int32_t expectedStart = 0;
    for (int i = 0; i < 5; ++i) {
        const PackEntry& e = pack.entry(i);
        EXPECT_EQ(e.start, expectedStart);
        EXPECT_EQ(e.end, e.start + e.compressedSize);
        EXPECT_EQ(pack.uncompressedSize(i), static_cast<std::int32_t>(datas[i].size()));
        EXPECT_EQ(pack.compressedSize(i), e.compressedSize);
        EXPECT_EQ(pack.readEntry("E" + std::to_string(i)), datas[i]);
        expectedStart = e.end;
    }
    EXPECT_EQ(pack.dataEnd(), expectedStart);
}

TEST(PackFileLookup, FoldingRuleAndLengths) {
    EXPECT_EQ(PackFile::namesMatch("glorp2.lws", "GLORP2.LWS"), 0);
    EXPECT_EQ(PackFile::namesMatch("glorp2.lws", "glorp2.lw"), 1);
    EXPECT_EQ(PackFile::namesMatch("", ""), 0);
    EXPECT_EQ(PackFile::namesMatch("a", ""), 1);
    // The rule folds more than letters: any pair 32 apart matches.
    EXPECT_EQ(PackFile::namesMatch("@", "`"), 0);
    EXPECT_EQ(PackFile::namesMatch("[", "{"), 0);
    EXPECT_EQ(PackFile::namesMatch("0", "\x10"), 0);
    EXPECT_EQ(PackFile::namesMatch(" ", "@"), 0);
    EXPECT_EQ(PackFile::namesMatch("a", "b"), 1);
    EXPECT_EQ(PackFile::namesMatch("A", "!"), 0);  // 'A' - 32 is '!'
    EXPECT_EQ(PackFile::namesMatch("a", std::string_view("A\0", 2)), 1);
}

TEST(PackFileLookup, DuplicatesEmptyNamesAndMissingEntries) {
    test::ScratchDir dir("lookup");
    const auto path = (dir / "c.dat").string();
    const Bytes first = sampleData(300, 4), second = sampleData(400, 5), empty = sampleData(200, 6);
    {
        PackFile pack(path);
        ASSERT_TRUE(pack.addData(first, "Ship.lwo"));
        ASSERT_TRUE(pack.addData(second, "ship.lwo"));
    }
    PackFile pack(path);
    EXPECT_EQ(pack.findEntry("SHIP.LWO"), 0);
    EXPECT_EQ(pack.findEntry("Ship.lw"), -1);
    EXPECT_EQ(pack.findEntry(""), -1);
    EXPECT_EQ(pack.readEntry("ship.lwo"), first);

    const Bytes before = dir.read("c.dat");
    EXPECT_FALSE(pack.readEntry("missing.lwo").has_value());
    EXPECT_NE(pack.error().find("missing.lwo"), std::string::npos);
    EXPECT_EQ(dir.read("c.dat"), before);

    // Removing a duplicated name removes only the first.
    ASSERT_TRUE(pack.removeEntry("ship.lwo"));
    EXPECT_EQ(pack.entryCount(), 1);
    EXPECT_EQ(pack.readEntry("Ship.lwo"), second);

    ASSERT_TRUE(pack.addData(empty, ""));
    EXPECT_EQ(pack.findEntry(""), 1);
}

TEST(PackFileLookup, NoArchiveSelectedOpensNothing) {
    test::ScratchDir dir("noselect");
    test::CurrentDir cwd(dir.path());
    PackFile pack;
    EXPECT_FALSE(pack.isOpen());
    EXPECT_EQ(pack.findEntry("x"), -1);
    EXPECT_FALSE(pack.readEntry("x").has_value());
    EXPECT_FALSE(pack.addData(sampleData(100, 1), "x"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PackFileLookup, TheSourceCarriesTheArchiveNameAndRefusesLongerNames) {
    test::ScratchDir dir("named");
    {
        PackFile pack((dir / "g.dat").string());
        ASSERT_TRUE(pack.addData(sampleData(500, 7), "x.lws"));
    }
    DataSource source;
    source.directory = dir.path();
    EXPECT_FALSE(source.selectsArchive());
    EXPECT_FALSE(readDataFile(source, "x.lws"));
    ASSERT_TRUE(source.setArchiveName("g.dat"));
    EXPECT_EQ(readDataFile(source, "x.lws"), sampleData(500, 7));
    // A longer name is refused whole, never cut to another file's name.
    EXPECT_FALSE(source.setArchiveName(std::string(200, 'a')));
    EXPECT_EQ(source.archiveName, "g.dat");
}

TEST(PackFileReadOnly, MissingArchiveReadsEmptyAndCreatesNothing) {
    test::ScratchDir dir("missing");
    const auto path = (dir / "zor.dat");
    {
        PackFile pack(path.string());
        EXPECT_TRUE(pack.isOpen());
        EXPECT_FALSE(pack.exists());
        EXPECT_EQ(pack.entryCount(), 0);
        EXPECT_EQ(pack.findEntry("glorp2.lws"), -1);
        EXPECT_FALSE(pack.readEntry("glorp2.lws").has_value());
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    // The write side creates it on the first write.
    {
        PackFile pack(path.string());
        ASSERT_TRUE(pack.addData(sampleData(100, 8), "a"));
    }
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(PackFileReadOnly, FilesWithoutSignatureAreEmptyArchives) {
    test::ScratchDir dir("nosig");
    for (const Bytes& content : {Bytes{}, Bytes{':', '-'}, textBytes("hello world :-("), textBytes(":-)x")}) {
        dir.write("p.dat", content);
        PackFile pack((dir / "p.dat").string());
        EXPECT_TRUE(pack.isOpen());
        EXPECT_EQ(pack.entryCount(), 0);
        EXPECT_EQ(pack.dataEnd(), static_cast<std::int64_t>(content.size()));
    }
}

// The archive made in memory is the one PackFile writes, byte for byte, and
// refuses what PackFile refuses.
TEST(PackFileWrite, AnArchiveInMemoryHasTheBytesOfOneOnDisk) {
    test::ScratchDir dir("memory");
    const std::vector<NamedBytes> files = {{"one.lwo", sampleData(4000, 1)}, {"Two.jpg", sampleData(900, 2)}};
    {
        PackFile pack((dir / "disk.dat").string());
        for (const NamedBytes& f : files) ASSERT_TRUE(pack.addData(f.bytes, f.name));
    }
    std::string why;
    const std::optional<Bytes> memory = packArchive(files, why);
    ASSERT_TRUE(memory) << why;
    EXPECT_EQ(*memory, dir.read("disk.dat"));
    EXPECT_EQ(packArchive({}, why), Bytes());
    EXPECT_FALSE(packArchive({{"tiny", textBytes("ab")}}, why));
    EXPECT_NE(why.find("too small to store"), std::string::npos) << why;
}

TEST(PackFileWrite, RefusesLongNamesTinyFilesAndMissingInputs) {
    test::ScratchDir dir("refuse");
    PackFile pack((dir / "r.dat").string());
    EXPECT_FALSE(pack.addData(sampleData(500, 1), std::string(32, 'n')));
    EXPECT_NE(pack.error().find("longer than 31"), std::string::npos);
    EXPECT_TRUE(pack.addData(sampleData(500, 1), std::string(31, 'n')));
    // A block that does not fit in twice the data's size cannot be stored.
    EXPECT_FALSE(pack.addData(textBytes("ab"), "tiny"));
    EXPECT_FALSE(pack.addFile((dir / "nothere.txt"), "nothere.txt"));
    EXPECT_NE(pack.error().find("nothere.txt"), std::string::npos);
    EXPECT_EQ(pack.entryCount(), 1);
}

// Damaged archives: each must be refused with a reason, never read wrongly.
class DamagedArchive : public ::testing::Test {
protected:
    void SetUp() override {
        const auto path = (dir / "good.dat").string();
        PackFile pack(path);
        ASSERT_TRUE(pack.addData(sampleData(4000, 1), "one.lwo"));
        ASSERT_TRUE(pack.addData(sampleData(9000, 2), "two.lwo"));
        ASSERT_TRUE(pack.flush());
        good = dir.read("good.dat");
    }

    // Rewrites the directory of `good` with records changed by `edit`.
    Bytes withDirectory(const std::function<void(Bytes&)>& edit, std::int32_t count = 2) {
        std::int32_t packed = 0;
        std::memcpy(&packed, good.data() + good.size() - 7, 4);
        const std::size_t dirStart = good.size() - 15 - packed;
        Bytes records(96);
        uLongf n = records.size();
        EXPECT_EQ(uncompress(records.data(), &n, good.data() + dirStart, packed), Z_OK);
        edit(records);
        Bytes block = zlib9(records, compressBound(records.size()));
        Bytes out(good.begin(), good.begin() + dirStart);
        out.insert(out.end(), block.begin(), block.end());
        put32(out, count);
        put32(out, static_cast<std::int32_t>(records.size()));
        put32(out, static_cast<std::int32_t>(block.size()));
        out.push_back(':');
        out.push_back('-');
        out.push_back(')');
        return out;
    }

    void expectRefused(const Bytes& content, std::string_view reason) {
        dir.write("bad.dat", content);
        PackFile pack((dir / "bad.dat").string());
        EXPECT_TRUE(pack.isCorrupt()) << reason;
        EXPECT_NE(pack.error().find(reason), std::string::npos) << pack.error();
        EXPECT_NE(pack.damage().find(reason), std::string::npos) << pack.damage();
        EXPECT_EQ(pack.findEntry("one.lwo"), -1);
        EXPECT_FALSE(pack.readEntry("one.lwo").has_value());
        // And it is never changed by the write side.
        EXPECT_FALSE(pack.addData(sampleData(500, 3), "new"));
        EXPECT_NE(pack.error().find("damaged"), std::string::npos);
        EXPECT_EQ(dir.read("bad.dat"), content);
    }

    static void set32(Bytes& b, std::size_t at, std::int32_t v) { std::memcpy(b.data() + at, &v, 4); }

    test::ScratchDir dir{"damaged"};
    Bytes good;
};

TEST_F(DamagedArchive, TruncatedTrailer) { expectRefused(textBytes("abc:-)"), "trailer is truncated"); }

// Content without a trailer is an archive with no entries yet, which writers
// append to; to a reader that wants entries it is damaged.
TEST_F(DamagedArchive, ContentWithoutATrailerIsDamagedToAReader) {
    Bytes cut(good.begin(), good.end() - 1);
    dir.write("cut.dat", cut);
    EXPECT_EQ(PackFile((dir / "cut.dat").string()).damage(), "no trailer");
    dir.write("empty.dat", Bytes());
    EXPECT_EQ(PackFile((dir / "empty.dat").string()).damage(), "");
    EXPECT_EQ(PackFile((dir / "missing.dat").string()).damage(), "");
    EXPECT_EQ(PackFile((dir / "good.dat").string()).damage(), "");
}

TEST_F(DamagedArchive, LyingTrailerFields) {
    Bytes b = good;
    set32(b, b.size() - 15, -1);
    expectRefused(b, "negative entry count");
    b = good;
    set32(b, b.size() - 11, 95);
    expectRefused(b, "is not 2 entries");
    b = good;
    set32(b, b.size() - 7, static_cast<std::int32_t>(b.size()));
    expectRefused(b, "does not fit");
    b = good;
    set32(b, b.size() - 15, 3);
    set32(b, b.size() - 11, 144);
    expectRefused(b, "directory: data inflates to 96 bytes");
}

TEST_F(DamagedArchive, DirectoryIsGarbage) {
    Bytes b = good;
    std::int32_t packed = 0;
    std::memcpy(&packed, b.data() + b.size() - 7, 4);
    for (std::int32_t i = 2; i < packed; ++i) b[b.size() - 15 - packed + i] ^= 0x5A;
    expectRefused(b, "directory: compressed data is corrupt");
}

TEST_F(DamagedArchive, EntryOutsideTheDataArea) {
    expectRefused(withDirectory([](Bytes& r) { set32(r, 48 + 32, -5); }), "disagree");
    expectRefused(withDirectory([](Bytes& r) { set32(r, 48 + 36, 1 << 30); }), "disagree");
    expectRefused(withDirectory([this](Bytes& r) {
                      std::int32_t size = static_cast<std::int32_t>(good.size());
                      set32(r, 48 + 32, size);
                      set32(r, 48 + 44, 10);
                      set32(r, 48 + 36, size + 10);
                  }),
                  "past the data area");
    expectRefused(withDirectory([](Bytes& r) { set32(r, 40, (1 << 30) + 1); }), "implausible size");
    expectRefused(withDirectory([](Bytes& r) { std::memset(r.data(), 'x', 32); }), "no terminator");
}

TEST_F(DamagedArchive, EntryThatDoesNotInflateToItsSize) {
    dir.write("bad.dat", withDirectory([](Bytes& r) { set32(r, 40, 3999); }));
    PackFile pack((dir / "bad.dat").string());
    ASSERT_TRUE(pack.isOpen());
    EXPECT_FALSE(pack.readEntry("one.lwo").has_value());
    EXPECT_NE(pack.error().find("more than the stated 3999"), std::string::npos) << pack.error();

    dir.write("bad.dat", withDirectory([](Bytes& r) { set32(r, 40, 4001); }));
    pack.reopen((dir / "bad.dat").string());
    EXPECT_FALSE(pack.readEntry("one.lwo").has_value());
    EXPECT_NE(pack.error().find("one.lwo"), std::string::npos);

    Bytes b = good;
    for (int i = 10; i < 200; ++i) b[i] ^= 0xFF;  // garbage inside the first block
    dir.write("bad.dat", b);
    pack.reopen((dir / "bad.dat").string());
    EXPECT_FALSE(pack.readEntry("one.lwo").has_value());
    EXPECT_TRUE(pack.readEntry("two.lwo").has_value());
}

TEST(DataSourceLookup, DiskFirstThenArchive) {
    test::ScratchDir dir("source");
    {
        PackFile pack((dir / "zor.dat").string());
        ASSERT_TRUE(pack.addData(textBytes("from the archive, long enough to compress"), "glorp2.lws"));
        ASSERT_TRUE(pack.addData(textBytes("only in the archive, long enough to compress"), "other.lws"));
    }
    dir.write("glorp2.lws", textBytes("from disk"));
    DataSource source{dir.path(), "zor.dat"};
    std::string origin;
    EXPECT_EQ(readDataFile(source, "glorp2.lws", nullptr, &origin), textBytes("from disk"));
    EXPECT_EQ(origin, "disk");
    EXPECT_EQ(readDataFile(source, "OTHER.LWS", nullptr, &origin),
              textBytes("only in the archive, long enough to compress"));
    EXPECT_EQ(origin, "archive");
    Diagnostics diags;
    EXPECT_FALSE(readDataFile(source, "none.lws", &diags).has_value());
    EXPECT_TRUE(diags.empty());

    dir.write("zor.dat", textBytes("xx:-)"));
    EXPECT_FALSE(readDataFile(source, "other.lws", &diags).has_value());
    EXPECT_TRUE(diags.contains("zor.dat: damaged archive: trailer is truncated"));
    // Content without a trailer is no archive to a reader either.
    dir.write("zor.dat", textBytes("random bytes, not an archive"));
    Diagnostics more;
    EXPECT_FALSE(readDataFile(source, "other.lws", &more).has_value());
    EXPECT_TRUE(more.contains("zor.dat: damaged archive: no trailer"));
    EXPECT_EQ(archiveDamage(source), "zor.dat: damaged archive: no trailer");
}

// Runs `body` in a child process and gives its exit status, or -1 when it
// has not ended after `seconds` (it is then killed).
int statusInChild(const std::function<int()>& body, int seconds) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int st = 0;
    while (waitpid(pid, &st, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST(DataSourceLookup, FifosAreRefusedWithoutWaiting) {
    test::ScratchDir dir("source-fifo");
    ASSERT_EQ(mkfifo((dir / "glorp2.lws").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((dir / "zor.dat").c_str(), 0644), 0);
    const int status = statusInChild(
        [&] {
            Diagnostics diags;
            const bool read = readDataFile(DataSource{dir.path(), "zor.dat"}, "glorp2.lws", &diags).has_value();
            diags.print(std::cerr);
            const bool named = diags.contains("glorp2.lws") && diags.contains("FIFO") &&
                               diags.contains("archive unusable");
            return !read && named ? 0 : 1;
        },
        20);
    EXPECT_EQ(status, 0) << "-1: the lookup hung";
}

TEST(DataSourceLookup, DirectoryIsReadOncePerLoad) {
    test::ScratchDir dir("source-once");
    {
        PackFile pack((dir / "zor.dat").string());
        ASSERT_TRUE(pack.addData(sampleData(4000, 3), "glorp2.lws"));
    }
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, (dir / "zor.dat").c_str(), IN_OPEN), 0);
    int opens = 0;
    // Read after every lookup: the kernel merges identical unread events.
    auto countOpens = [&] {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;)
            for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
                opens += (reinterpret_cast<inotify_event*>(p)->mask & IN_OPEN) != 0;
    };
    DataSource source{dir.path(), "zor.dat"};
    const DataSource copy = source;  // as handed to each loader of one load
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(readDataFile(i % 2 ? source : copy, "missing" + std::to_string(i) + ".lwo").has_value());
        countOpens();
    }
    EXPECT_EQ(readDataFile(copy, "glorp2.lws"), sampleData(4000, 3));
    countOpens();
    close(watch);
    EXPECT_EQ(opens, 1);
}

// A writer renames a new archive into place between two lookups of one
// load: the load reads the old archive to its end, the next load the new one.
TEST(DataSourceLookup, OneLoadReadsOneArchiveWhileItIsReplaced) {
    test::ScratchDir dir("source-replaced");
    const auto version = [&](char tag) {
        PackFile pack((dir / (std::string("v") + tag)).string());
        EXPECT_TRUE(pack.addData(Bytes(300, static_cast<std::uint8_t>(tag)), "one"));
        EXPECT_TRUE(pack.addData(Bytes(300, static_cast<std::uint8_t>(tag)), "two"));
    };
    version('a');
    version('b');
    std::filesystem::copy_file((dir / "va"), (dir / "zor.dat"));
    const DataSource source{dir.path(), "zor.dat"};
    {
        const auto hold = source.holdArchive();
        EXPECT_EQ(readDataFile(source, "one"), Bytes(300, 'a'));
        std::filesystem::rename((dir / "vb"), (dir / "zor.dat"));
        EXPECT_EQ(readDataFile(source, "two"), Bytes(300, 'a'));
    }
    EXPECT_EQ(readDataFile(source, "two"), Bytes(300, 'b'));
}

// The size fstat gives is not always what read() returns: a file that
// shrinks or grows under the read is refused, not taken cut or short.
TEST(DataSourceLookup, FilesThatChangeWhileReadAreRefused) {
    // Files of the kernel show both without a race: sysfs says 4096 bytes
    // and gives fewer, procfs says 0 and gives more.
    for (const char* path : {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/devices/system/cpu/online",
                             "/proc/self/status"}) {
        struct stat st {};
        if (stat(path, &st) != 0) continue;
        ReadFailure failure;
        EXPECT_FALSE(readWholeFile(path, &failure).has_value()) << path;
        EXPECT_NE(failure.reason.find("changed while it was read"), std::string::npos) << failure.reason;
    }
}

TEST(DataSourceLookup, NamesStayInsideThePlayFolder) {
    test::ScratchDir dir("source-inside");
    std::filesystem::create_directories((dir / "play/sub"));
    dir.write("secret.txt", textBytes("not for the player"));
    dir.write("play/sub/x.txt", textBytes("inside"));
    const DataSource source{(dir / "play"), "zor.dat"};
    Diagnostics diags;
    EXPECT_FALSE(readDataFile(source, "../secret.txt", &diags).has_value());
    EXPECT_FALSE(readDataFile(source, "sub/../../secret.txt", &diags).has_value());
    EXPECT_FALSE(readDataFile(source, (dir / "secret.txt").string(), &diags).has_value());
    EXPECT_EQ(diags.count(Severity::Warning), 3u);
    EXPECT_TRUE(diags.contains("../secret.txt: outside the play folder")) << diags.items().at(0).text();
    EXPECT_EQ(readDataFile(source, "sub/../sub/x.txt"), textBytes("inside"));
}

TEST(DataSourceLookup, NamesThatDifferOnlyInCaseAreFoundOnDisk) {
    test::ScratchDir dir("source-case");
    std::filesystem::create_directories((dir / "Tex"));
    std::filesystem::create_directories((dir / "twice"));
    dir.write("spaceshuttle.lwo", textBytes("shuttle"));
    dir.write("Tex/Wood.JPG", textBytes("wood"));
    dir.write("twice/a.jpg", textBytes("lower"));
    dir.write("twice/A.jpg", textBytes("upper"));
    const DataSource source{dir.path(), "zor.dat"};
    EXPECT_EQ(readDataFile(source, "SpaceShuttle.lwo"), textBytes("shuttle"));
    EXPECT_EQ(readDataFile(source, "tex/wood.jpg"), textBytes("wood"));
    EXPECT_EQ(readDataFile(source, "TWICE/A.JPG"), textBytes("upper"));  // first in byte order
    EXPECT_EQ(readDataFile(source, "twice/a.jpg"), textBytes("lower"));  // the exact name first
    EXPECT_FALSE(readDataFile(source, "spaceshuttle.lw").has_value());
}

}  // namespace
}  // namespace zor
