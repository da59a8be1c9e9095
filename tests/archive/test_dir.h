#pragma once
// A fresh folder per test under the system's temporary folder, removed at
// the end of the test.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "archive/archive.h"

namespace zor {

class TestDir {
public:
    explicit TestDir(const std::string& name)
        : root_(std::filesystem::temp_directory_path() /
                ("zor-test-" + name + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~TestDir() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path path(const std::string& name) const { return root_ / name; }

    void write(const std::string& name, const Bytes& data) const {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    Bytes read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    // Changes the working folder for the lifetime of the object.
    class Cwd {
    public:
        explicit Cwd(const std::filesystem::path& p) : old_(std::filesystem::current_path()) {
            std::filesystem::current_path(p);
        }
        ~Cwd() { std::filesystem::current_path(old_); }

    private:
        std::filesystem::path old_;
    };

private:
    std::filesystem::path root_;
};

}  // namespace zor
