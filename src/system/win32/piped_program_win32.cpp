// PipedProgram on Windows: CreateProcess with a pipe as standard input and
// this program's own output and error; a process group of its own
// (CREATE_NEW_PROCESS_GROUP), which Ctrl-C does not reach.

#include "system/piped_program.h"

#include <windows.h>

#include "system/win32/text_win32.h"
#include "system/windows_command_line.h"

namespace zor {

namespace {

// The program's file on PATH, tried with each ending PATHEXT lists; empty
// when there is none.
std::wstring findOnPath(const std::string& name) {
    wchar_t pathext[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"PATHEXT", pathext, 1024);
    for (const std::wstring& candidate :
         programCandidates(win32::widen(name), length > 0 && length < 1024 ? pathext : L"")) {
        wchar_t found[MAX_PATH];
        if (SearchPathW(nullptr, candidate.c_str(), nullptr, MAX_PATH, found, nullptr) != 0) return found;
    }
    return {};
}

HANDLE inheritable(DWORD which) {
    HANDLE copy = nullptr;
    const HANDLE own = GetStdHandle(which);
    if (!own || own == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

}  // namespace

PipedProgram::~PipedProgram() { finish(); }

bool PipedProgram::start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& error) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE reading = nullptr, writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inherit, 1 << 20)) {
        error = "cannot make a pipe: " + win32::errorText(GetLastError());
        return false;
    }
    SetHandleInformation(writing, HANDLE_FLAG_INHERIT, 0);
    // The file found on PATH is started; its name as given is what it sees
    // as its own.
    const std::wstring file = findOnPath(program);
    std::wstring line = windowsQuoted(win32::widen(program));
    for (const std::string& argument : arguments) line += L" " + windowsQuoted(win32::widen(argument));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = reading;
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(file.empty() ? nullptr : file.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                                        nullptr, nullptr, &startup, &process);
    const DWORD code = GetLastError();
    CloseHandle(reading);
    if (startup.hStdOutput) CloseHandle(startup.hStdOutput);
    if (startup.hStdError) CloseHandle(startup.hStdError);
    if (!started) {
        CloseHandle(writing);
        error = "cannot start " + program + ": " + win32::errorText(code);
        return false;
    }
    CloseHandle(process.hThread);
    process_ = reinterpret_cast<std::intptr_t>(process.hProcess);
    input_ = reinterpret_cast<std::intptr_t>(writing);
    return true;
}

bool PipedProgram::write(const std::uint8_t* data, std::size_t size) {
    while (size > 0 && input_ != -1) {
        DWORD written = 0;
        const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!WriteFile(reinterpret_cast<HANDLE>(input_), data, asked, &written, nullptr)) return false;
        data += written;
        size -= written;
    }
    return input_ != -1;
}

bool PipedProgram::finish() {
    if (input_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(input_));
        input_ = -1;
    }
    if (process_ == -1) return false;
    const auto process = reinterpret_cast<HANDLE>(process_);
    WaitForSingleObject(process, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process, &status);
    CloseHandle(process);
    process_ = -1;
    return status == 0;
}

bool programOnPath(const std::string& name) { return !findOnPath(name).empty(); }

}  // namespace zor
