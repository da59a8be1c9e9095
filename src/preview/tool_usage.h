#pragma once
// The tools' command-line rule, in one place: --help and --version print and
// end with status 0; a usage error prints what is wrong and ends with status
// 2 (other failures end with 1). Header-only over CLI11, which only the
// tools link.

#include <iostream>
#include <optional>
#include <string_view>

#include <CLI/CLI.hpp>

#include "system/text.h"

namespace zor {

inline constexpr int kUsageStatus = 2;

// Options are written "-x" and "--name" on every system: CLI11 would take
// "/x" for an option on Windows, and a path from the root of the drive
// ("/demos/zor.dat") with it.
inline void withoutWindowsStyleOptions(CLI::App& app) {
    app.allow_windows_style_options(false);
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) withoutWindowsStyleOptions(*sub);
}

// Parses the command line (from startProgram: UTF-8 everywhere). Nothing when
// the program goes on; otherwise the status to end with (0 after --help or
// --version, 2 after a usage error, which CLI11 has printed).
inline std::optional<int> parseToolArguments(CLI::App& app, ProgramArguments& arguments) {
    withoutWindowsStyleOptions(app);
    try {
        app.parse(arguments.argc(), arguments.argv());
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : kUsageStatus;
    }
    return std::nullopt;
}

// "TOOL: message" and the way to --help on standard error; the usage status.
inline int usageError(std::string_view tool, std::string_view message) {
    std::cerr << tool << ": " << message << "\nRun with --help for more information.\n";
    return kUsageStatus;
}

}  // namespace zor
