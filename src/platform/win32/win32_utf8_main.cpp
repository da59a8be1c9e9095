// The entry of the command-line programs on Windows. They are written with
// main(argc, argv) in UTF-8, as on every other system; the build renames
// their main to zorUtf8Main (cmake/windows/WindowsPrograms.cmake), and this
// wmain, the real entry, hands it the wide command line's arguments in
// UTF-8.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/win32_console.h"
#include "platform/win32/win32_text.h"

int zorUtf8Main(int argc, char** argv);

int wmain(int argc, wchar_t** argv) {
    zor::win32::useUtf8Console();
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) arguments.push_back(zor::win32::narrow(argv[i]));
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return zorUtf8Main(argc, pointers.data());
}
