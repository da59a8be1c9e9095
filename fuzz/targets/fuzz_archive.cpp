// Archive reading from hostile bytes: the input is written to a file, opened
// as an archive, and every entry is read by position and by name, then once
// more through the disk-first lookup. Nothing may be written back.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/data_source.h"
#include "system/process.h"

namespace {

// One folder per process, removed when the fuzzer exits.
struct WorkFolder {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("zor-fuzz-archive-" + std::to_string(zor::processId()));
    WorkFolder() { std::filesystem::create_directories(path); }
    ~WorkFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const std::filesystem::path& workFolder() {
    static const WorkFolder folder;
    return folder.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path archive = workFolder() / "zor.dat";
    {
        std::FILE* f = std::fopen(archive.c_str(), "wb");
        if (!f) return 0;
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }

    std::string firstName;
    {
        zor::PackFile pack(archive.string());
        for (int i = 0; i < pack.entryCount(); ++i) {
            (void)pack.readEntryAt(i);
            const zor::PackEntry& e = pack.entry(i);
            std::string name(e.name, strnlen(e.name, sizeof e.name));
            if (i == 0) firstName = name;
            int found = pack.findEntry(name);
            if (found < 0 || found > i) __builtin_trap();  // a stored name must find itself or an earlier twin
            (void)pack.readEntry(name);
        }
    }

    // Reading must leave the file exactly as it was.
    if (std::filesystem::file_size(archive) != size) __builtin_trap();

    zor::DataSource source{workFolder(), "zor.dat"};
    zor::Diagnostics diags;
    (void)zor::readDataFile(source, firstName.empty() ? "glorp2.lws" : firstName, &diags);
    return 0;
}
