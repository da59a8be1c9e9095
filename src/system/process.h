#pragma once
// What a program asks the system about itself.

#include <filesystem>

namespace zor {

// This process's number, for names of its own temporary files.
unsigned long processId();
// The folder holding the running program's file; empty where the system does
// not say (a web page).
std::filesystem::path programFolder();
// Whether standard error is a terminal (a console on Windows) where someone
// reads it as it comes, rather than a file or a pipe.
bool standardErrorIsTerminal();

}  // namespace zor
