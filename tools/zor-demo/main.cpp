// zor-demo-gen: writes the sample demo (zor.dat, mp3.mp3 and the avi
// companion file) into a play folder.
//
// Exit status: 0 success, 1 failure (the message names the file), 2 usage
// error.

#include <chrono>
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "preview/tool_usage.h"
#include "demo_set.h"

int main(int argc, char** argv) {
    zor::ProgramArguments arguments = zor::startProgram(argc, argv);
    CLI::App app{"Writes the sample demo: zor.dat (scene, objects, images), mp3.mp3 and water.avi."};
    app.set_version_flag("--version", std::string("zor-demo-gen ") + ZOR_VERSION);
    app.footer("Every file is written under a new name and renamed into place, so a link planted at a target is "
               "replaced, never written through.\n\nExit status: 0 success, 1 failure, 2 usage error.");
    zor::demo::DemoSetOptions options;
    std::string out, sources;
    bool quiet = false;
    app.add_option("--out", out, "Play folder to write (created if missing)")->required();
    app.add_option("--sources", sources, "Also write the loose data files into this folder");
    app.add_option("--lame", options.lame, "MP3 encoder program")->capture_default_str();
    app.add_option("--bitrate", options.bitrate, "MP3 bit rate in kbit/s")
        ->check(CLI::IsMember({64, 80, 96, 112, 128}))
        ->capture_default_str();
    app.add_flag("--quiet,-q", quiet, "No progress lines");
    if (const std::optional<int> status = zor::parseToolArguments(app, arguments)) return *status;

    options.out = out;
    options.sources = sources;
    if (!quiet) options.progress = [](const std::string& line) { std::cout << "zor-demo-gen: " << line << '\n'; };
    auto start = std::chrono::steady_clock::now();
    try {
        zor::demo::writeDemoSet(options);
    } catch (const std::exception& e) {
        std::cerr << "zor-demo-gen: error: " << e.what() << '\n';
        return 1;
    }
    if (!quiet) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        std::cout << "zor-demo-gen: done in " << ms.count() << " ms\n";
    }
    return 0;
}
