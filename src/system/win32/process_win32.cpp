// What a program asks the system about itself, on Windows.

#include <windows.h>

#include "system/process.h"
#include "system/text.h"
#include "system/win32/console_win32.h"
#include "system/win32/text_win32.h"

namespace zor {

unsigned long processId() { return GetCurrentProcessId(); }

std::filesystem::path programFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);  // cut short: a longer buffer
    }
}

bool standardErrorIsTerminal() { return win32::standardErrorIsConsole(); }

ProgramArguments startProgram(int, char**) {
    // A windows-subsystem program (the player, zor-view) writes to the
    // console it was started from; a console program has its own already.
    win32::attachToParentConsole();
    win32::useUtf8Console();
    return ProgramArguments(win32::utf8Arguments());
}

}  // namespace zor
