// PipedProgram on Windows: CreateProcess with a pipe as standard input and
// this program's own output and error; a process group of its own
// (CREATE_NEW_PROCESS_GROUP), which Ctrl-C does not reach.

#include "system/piped_program.h"

#include <windows.h>

#include "system/win32/text_win32.h"

namespace zor {

namespace {

// One argument as the C runtime's parser will read it back.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
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
    std::wstring line = quoted(win32::widen(program));
    for (const std::string& argument : arguments) line += L" " + quoted(win32::widen(argument));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = reading;
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
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

bool programOnPath(const std::string& name) {
    wchar_t found[MAX_PATH];
    return SearchPathW(nullptr, win32::widen(name).c_str(), L".exe", MAX_PATH, found, nullptr) != 0;
}

}  // namespace zor
