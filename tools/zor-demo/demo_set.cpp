#include "demo_set.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "demo_content.h"
#include "music.h"
#include "scene/player_constants.h"
#include "textures.h"
#include "writers/jpeg_writer.h"
#include "writers/lwob_writer.h"
#include "writers/mesh3d_writer.h"
#include "writers/scene_writer.h"
#include "writers/wav_writer.h"

extern char** environ;

namespace zor::demo {

// The demo is written with the format writers.
using namespace zor::write;
namespace fs = std::filesystem;

namespace {

void say(const DemoSetOptions& o, const std::string& line) {
    if (o.progress) o.progress(line);
}

// A new, empty file of a unique name in `folder`, removed again unless it
// was renamed into place.
class TemporaryFile {
public:
    TemporaryFile(const fs::path& folder, const std::string& stem, const std::string& suffix) {
        std::string pattern = (folder / ("." + stem + "-XXXXXX" + suffix)).string();
        const int fd = mkstemps(pattern.data(), static_cast<int>(suffix.size()));
        if (fd < 0) throw std::runtime_error(folder.string() + ": cannot create a temporary file: " + std::strerror(errno));
        // Renamed into place, it is a data file like the others, not
        // mkstemp's private 0600.
        fchmod(fd, static_cast<mode_t>(newFileMode()));
        ::close(fd);
        path_ = pattern;
    }
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }
    void renameTo(const fs::path& target) {
        if (std::rename(path_.c_str(), target.c_str()) != 0)
            throw std::runtime_error(target.string() + ": cannot put it in place: " + std::strerror(errno));
        path_.clear();
    }

private:
    std::string path_;
};

void makeFolder(const fs::path& folder) {
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
        throw std::runtime_error(folder.string() + ": exists and is not a folder");
    fs::create_directories(folder, ec);
    if (ec) throw std::runtime_error(folder.string() + ": cannot create folder: " + ec.message());
}

// Runs a program without a shell and waits for it; throws unless it exits 0.
void run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (rc != 0) throw std::runtime_error(args[0] + ": cannot start: " + std::strerror(rc));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error(args[0] + ": cannot wait: " + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + ": failed (status " + std::to_string(status) + ")");
}

// The music, synthesised and encoded by lame; its bytes.
Bytes encodeMusic(const DemoSetOptions& o) {
    MusicPlan plan;
    std::vector<std::int16_t> samples = synthesiseMusic(plan);
    say(o, "music: " + std::to_string(samples.size() / 2 / plan.sampleRate) + " s synthesised");
    // Fresh files of unique names: the encoder writes into one the generator
    // made itself, never into whatever lies at a fixed name.
    TemporaryFile wav(o.out, "mp3", ".wav");
    TemporaryFile partial(o.out, "mp3", ".mp3");
    std::string why;
    if (!writeFileByRename(wav.path(), writeWav(samples, 2, plan.sampleRate), Replace::Always, why))
        throw std::runtime_error(wav.path() + ": " + why);
    run(lameArguments(o, wav.path(), partial.path()));
    ReadFailure failure;
    std::optional<Bytes> mp3 = readWholeFile(partial.path(), &failure);
    if (!mp3) throw std::runtime_error(partial.path() + ": cannot read what lame wrote: " + failure.reason);
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
