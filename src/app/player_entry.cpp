#include "app/player_entry.h"

#include <new>
#include <ostream>
#include <system_error>

#include "app/player.h"
#include "archive/data_source.h"
#include "archive/pack_file.h"
#include "scene/demo_info.h"
#include "scene/player_constants.h"
#include "system/process.h"
#include "system/text.h"

namespace zor {

namespace fs = std::filesystem;

const char* const kPlayerUsage =
    "Usage: zor [--dir DIR] [-smooth] [--stretch] [-bass | -gaudio | -nosound]\n"
    "\n"
    "Plays the scene glorp2.lws from zor.dat in the current folder (a file of\n"
    "the same name beside it takes precedence) with the music mp3.mp3; on\n"
    "Windows, when the current folder has neither, the demo beside zor.exe.\n"
    "A set-up window asks for the display adapter and mode first. Escape, a\n"
    "mouse click or the end of the scene ends it.\n"
    "\n"
    "  --dir DIR  play in the folder DIR instead of the current one\n"
    "  -smooth    smooth motion: every pass shows the clock's own moment, not\n"
    "             the whole frame it falls in, at the display's refresh\n"
    "  --stretch  spread the view over the whole of a display mode that is not\n"
    "             4:3 (by default it keeps its shape between black bars)\n"
    "These may stand anywhere on the line. The set-up window also offers\n"
    "32-bit modes (8 bits a colour) and 32-bit modes with 4x multisampling\n"
    "beside the original 15- and 16-bit ones.\n"
    "\n"
    "What is left of the line is compared as one text:\n"
    "  -bass      music through the first music layer (also for any other\n"
    "             text, which the player names on standard error)\n"
    "  -gaudio    music through the second music layer\n"
    "  -nosound   no music at all\n"
    "Without a sound device the demo plays without music, and standard error\n"
    "says so. Without a screen on Linux, run it with SDL_VIDEODRIVER=offscreen:\n"
    "the set-up window's default choice is taken then.\n"
    "\n"
    "--version prints the version. SIGINT and SIGTERM (Ctrl-C in the console\n"
    "on Windows) end it at once.\n"
    "Exit status: 0 when it ends normally, 1 on failure, 2 on a usage error.\n";

namespace {

bool hasPlayableData(const fs::path& folder) {
    DataSource source;
    source.directory = folder;
    return dataFileOnDisk(source, kArchiveFileName) || dataFileOnDisk(source, kSceneFileName);
}

bool enterFolder(const fs::path& folder, std::string& why) {
    std::error_code ec;
    fs::current_path(folder, ec);
    if (ec) why = ec.message();
    return !ec;
}

}  // namespace

fs::path installedSampleDemo() {
    const fs::path own = programFolder();
    if (own.empty()) return {};
    const fs::path demo = own.parent_path() / "share" / "zor" / "demo";
    std::error_code ec;
    return fs::is_regular_file(demo / kArchiveFileName, ec) ? demo : fs::path();
}

int runPlayerEntry(const std::vector<std::string>& words, const PlayerEntry& entry) {
    const PlayerArguments arguments = parsePlayerArguments(words);
    if (arguments.folderMissing) {
        entry.fail("--dir wants the folder to play in\nRun with --help for more information.");
        return 2;
    }
    if (arguments.help) {
        entry.show(kPlayerUsage);
        return 0;
    }
    if (arguments.version) {
        entry.show("zor " ZOR_VERSION "\n");
        return 0;
    }
    if (!arguments.unknown.empty() && entry.warnings)
        *entry.warnings << "zor: \"" << arguments.unknown
                        << "\" is not understood; the music plays through the first music layer (-bass)\n";

    std::string why;
    std::string folder = "the current folder";
    if (arguments.folder) {
        folder = *arguments.folder;
        if (!enterFolder(pathFromUtf8(*arguments.folder), why)) {
            entry.fail("--dir " + *arguments.folder + ": " + why);
            return kPlayerFailureStatus;
        }
    } else if (!hasPlayableData(".") && !entry.fallbackFolder.empty() && hasPlayableData(entry.fallbackFolder)) {
        // Started from somewhere else (a shortcut, another folder): the demo
        // beside the program.
        enterFolder(entry.fallbackFolder, why);
    }
    if (!hasPlayableData(".")) {
        std::string text = std::string("nothing to play in ") + folder + ": no " + kArchiveFileName + " (and no " +
                           kSceneFileName + ") there";
        if (!entry.sampleDemo.empty())
            text += "\nzor: the sample demo plays with: zor --dir " + utf8Of(entry.sampleDemo);
        else if (entry.fallbackFolder.empty())
            text += "\nzor: make the sample demo with: zor-demo-gen --out DIR, then play it with: zor --dir DIR";
        entry.fail(text);
        return kPlayerFailureStatus;
    }
    // A damaged archive is named now, not as a scene it does not hold after
    // the set-up window.
    if (const std::string damage = PackFile(kArchiveFileName).damage(); !damage.empty()) {
        entry.fail(std::string(kArchiveFileName) + ": damaged archive: " + damage);
        return kPlayerFailureStatus;
    }
    // The demo's own name, where its folder gives one.
    DataSource source;
    source.setArchiveName(kArchiveFileName);
    const std::optional<Bytes> info = readDataFile(source, kDemoInfoFileName);
    const std::string title = windowTitleOf(info ? parseDemoInfo(*info) : DemoInfo{});
    try {
        return entry.play(arguments, title);
    } catch (const std::bad_alloc&) {
        if (entry.warnings) *entry.warnings << "OUT OF MEMORY!!!\n(Is that bad eh?)" << std::endl;
        return kPlayerFailureStatus;
    }
}

}  // namespace zor
