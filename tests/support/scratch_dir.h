#pragma once
// A fresh folder for one test (or one benchmark run) under the system's
// temporary folder, removed with everything in it when the object goes. Its
// name carries the process id, so tests run in parallel never share one.

#include <filesystem>
#include <string>
#include <string_view>

#include "system/disk_files.h"

namespace zor::test {

class ScratchDir {
public:
    // Named after the running GoogleTest case when `name` is empty.
    explicit ScratchDir(std::string_view name = {});
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Writes a whole file (replacing it), folders included; throws when it
    // cannot be written.
    void write(std::string_view name, const Bytes& data) const;
    void write(std::string_view name, std::string_view text) const;
    // The file's bytes; empty when it cannot be read.
    Bytes read(std::string_view name) const;

private:
    std::filesystem::path path_;
};

// Makes `to` the working folder for the lifetime of the object.
class CurrentDir {
public:
    explicit CurrentDir(const std::filesystem::path& to);
    ~CurrentDir();
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

private:
    std::filesystem::path old_;
};

}  // namespace zor::test
