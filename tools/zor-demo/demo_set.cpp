#include "demo_set.h"

#include <memory>
#include <stdexcept>
#include <system_error>

#include "demo_content.h"
#include "music.h"
#include "scene/player_constants.h"
#include "system/piped_program.h"
#include "system/text.h"
#include "textures.h"
#include "writers/jpeg_writer.h"
#include "writers/lwob_writer.h"
#include "writers/mesh3d_writer.h"
#include "writers/scene_writer.h"
#include "writers/wav_writer.h"

namespace zor::demo {

// The demo is written with the format writers.
using namespace zor::write;
namespace fs = std::filesystem;

namespace {

void say(const DemoSetOptions& o, const std::string& line) {
    if (o.progress) o.progress(line);
}

// A new, empty file of a unique name in `folder` (".STEM-XXXXXX.SUFFIX"),
// removed again when it goes.
std::unique_ptr<TemporaryFile> temporaryFile(const fs::path& folder, const std::string& stem,
                                             const std::string& suffix) {
    auto file = std::make_unique<TemporaryFile>();
    WriteFailure failure;
    if (!file->create(folder / ("." + stem + "-"), failure, suffix) || !file->finish(failure))
        throw std::runtime_error(failure.reason);
    return file;
}

void makeFolder(const fs::path& folder) {
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
        throw std::runtime_error(utf8Of(folder) + ": exists and is not a folder");
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error(utf8Of(folder) + ": cannot create folder: " + ec.message());
}

// Runs a program without a shell and waits for it; throws unless it exits 0.
void run(const std::vector<std::string>& args) {
    PipedProgram program;
    std::string error;
    if (!program.start(args[0], std::vector<std::string>(args.begin() + 1, args.end()), error))
        throw std::runtime_error(error);
    if (!program.finish()) throw std::runtime_error(args[0] + ": failed");
}

// The music, synthesised and encoded by lame; its bytes.
Bytes encodeMusic(const DemoSetOptions& o) {
    MusicPlan plan;
    std::vector<std::int16_t> samples = synthesiseMusic(plan);
    say(o, "music: " + std::to_string(samples.size() / 2 / plan.sampleRate) + " s synthesised");
    // Fresh files of unique names: the encoder writes into one the generator
    // made itself, never into whatever lies at a fixed name.
    const auto wav = temporaryFile(o.out, "mp3", ".wav");
    const auto partial = temporaryFile(o.out, "mp3", ".mp3");
    WriteFailure written;
    if (!writeFileByRename(wav->path(), writeWav(samples, 2, plan.sampleRate), Replace::Always, written))
        throw std::runtime_error(written.describe(wav->path(), "--force"));
    run(lameArguments(o, utf8Of(wav->path()), utf8Of(partial->path())));
    ReadFailure failure;
    std::optional<Bytes> mp3 = readWholeFile(partial->path(), &failure);
    if (!mp3) throw std::runtime_error(utf8Of(partial->path()) + ": cannot read what lame wrote: " + failure.reason);
    return std::move(*mp3);
}

}  // namespace

std::vector<DataFile> demoDataFiles() {
    DemoContent content = buildDemoContent();
    std::vector<DataFile> files;
    std::string text = writeScene(content.scene);
    files.push_back({kSceneFile, Bytes(text.begin(), text.end())});
    for (const NamedObject& o : content.objects) files.push_back({o.fileName, writeLwob(o.object)});
    files.push_back({content.binaryMeshFile, writeBinaryMesh(content.binaryMesh)});
    for (const DemoImage& image : paintDemoImages()) files.push_back({image.name, encodeJpeg(image.image, image.options)});
    return files;
}

std::vector<std::string> lameArguments(const DemoSetOptions& options, const std::string& wav,
                                       const std::string& mp3) {
    return {options.lame, "--quiet", "--cbr", "-b", std::to_string(options.bitrate), "--noreplaygain", "-q", "5",
            wav, mp3};
}

void writeDemoSet(const DemoSetOptions& o) {
    if (o.out.empty()) throw std::runtime_error("no output folder given");
    makeFolder(o.out);

    std::vector<DataFile> files = demoDataFiles();
    say(o, "made " + std::to_string(files.size()) + " data files");

    if (!o.sources.empty()) {
        PlayFolder loose;
        loose.folder = o.sources;
        loose.files = files;
        loose.pack = false;
        loose.replace = Replace::Always;
        writePlayFolder(loose);
        say(o, "wrote loose files to " + o.sources.string());
    }

    // A fresh archive every time (adding to an old one would keep stale
    // entries), the companion the player looks for on disk only, the music.
    const std::string companion = "Companion of water.jpg: its presence turns off that texture's mip levels.\n";
    PlayFolder play;
    play.folder = o.out;
    play.files = std::move(files);
    play.diskOnly.push_back({kNoMipCompanion, Bytes(companion.begin(), companion.end())});
    play.music = encodeMusic(o);
    play.replace = Replace::Always;
    play.progress = o.progress;
    writePlayFolder(play);
}

}  // namespace zor::demo
