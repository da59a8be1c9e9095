#include "system/win32/console_win32.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace zor::win32 {

namespace {

UINT savedCodePage = 0;

void restoreCodePage() {
    if (savedCodePage) SetConsoleOutputCP(savedCodePage);
}

bool usable(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void attachToParentConsole() {
    const bool out = usable(STD_OUTPUT_HANDLE);
    const bool err = usable(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
}

bool hasStandardOutput() {
    if (!usable(STD_OUTPUT_HANDLE)) return false;
    // A console's handle counts once the program is attached to it.
    return GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_CHAR || GetConsoleWindow() != nullptr;
}

bool standardErrorIsConsole() {
    DWORD mode = 0;
    return usable(STD_ERROR_HANDLE) && GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
}

void useUtf8Console() {
    if (!GetConsoleWindow() || savedCodePage) return;
    savedCodePage = GetConsoleOutputCP();
    if (savedCodePage == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) {
        savedCodePage = 0;
        return;
    }
    std::atexit(restoreCodePage);
}

}  // namespace zor::win32
