#pragma once
// A small, fresh file system for the tests of what happens when a disk fills
// up: a tmpfs of a given size mounted on a folder, unmounted again when the
// object goes. Mounting needs root (CI runs as root); elsewhere mounted() is
// false and the test skips.

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace zor::test {

class SmallDisk {
public:
    SmallDisk(const std::filesystem::path& at, std::size_t kib) : at_(at) {
        std::filesystem::create_directories(at_);
        const std::string options = "size=" + std::to_string(kib) + "k";
        mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::filesystem::path& path() const { return at_; }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};

}  // namespace zor::test
