// What a program asks the system about itself, on POSIX systems (Linux, and
// Emscripten's libc in the page).

#include <unistd.h>

#include "system/process.h"
#include "system/text.h"

namespace zor {

unsigned long processId() { return static_cast<unsigned long>(::getpid()); }

std::filesystem::path programFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

ProgramArguments startProgram(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
    return ProgramArguments(std::move(arguments));
}

}  // namespace zor
