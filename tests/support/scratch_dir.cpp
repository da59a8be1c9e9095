#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "system/process.h"

namespace zor::test {
namespace {

std::string runningTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info) return "scratch";
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    // Parameterised names hold '/'.
    for (char& c : name)
        if (c == '/') c = '_';
    return name;
}

void writeFile(const std::filesystem::path& path, const char* data, std::size_t size) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

ScratchDir::ScratchDir(std::string_view name)
    : path_(std::filesystem::temp_directory_path() /
            ("zor-" + (name.empty() ? runningTestName() : std::string(name)) + "-" + std::to_string(zor::processId()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::write(std::string_view name, const Bytes& data) const {
    writeFile(path_ / name, reinterpret_cast<const char*>(data.data()), data.size());
}

void ScratchDir::write(std::string_view name, std::string_view text) const {
    writeFile(path_ / name, text.data(), text.size());
}

Bytes ScratchDir::read(std::string_view name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

CurrentDir::CurrentDir(const std::filesystem::path& to) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(to);
}

CurrentDir::~CurrentDir() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
}

}  // namespace zor::test
