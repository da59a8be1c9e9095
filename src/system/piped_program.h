#pragma once
// A program fed through a pipe to its standard input (zor-render's video
// encoder, zor-demo-gen's MP3 encoder). It runs in a process group of its
// own, so a Ctrl-C at the terminal reaches only the program that started it,
// which then closes the pipe and lets it finish with what it was given.
// POSIX in posix/piped_program_posix.cpp (posix_spawnp), Windows in
// win32/piped_program_win32.cpp (CreateProcess; the program found on PATH
// with PATHEXT's endings, windows_command_line.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor {

class PipedProgram {
public:
    PipedProgram() = default;
    // Finishes the program if that was not done.
    ~PipedProgram();
    PipedProgram(const PipedProgram&) = delete;
    PipedProgram& operator=(const PipedProgram&) = delete;

    // Starts `program` (found on PATH) with these arguments after its name;
    // false with `error` set.
    bool start(const std::string& program, const std::vector<std::string>& arguments, std::string& error);
    // False once the program no longer reads (it has ended).
    bool write(const std::uint8_t* data, std::size_t size);
    // Ends the input and waits for the program; true when it succeeded
    // (exit status 0).
    bool finish();

private:
    std::intptr_t process_ = -1;  // pid, or the process handle
    std::intptr_t input_ = -1;    // the pipe's writing end
};

// Whether a program of that name can be started from PATH (on Windows with
// the extensions PATHEXT lists, ".exe" among them).
bool programOnPath(const std::string& name);

}  // namespace zor
