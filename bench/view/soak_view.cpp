// soak-view: the preview (SceneView over the real OpenGL display, headless)
// reloading again and again while another process rewrites the scene, an
// object and an image beside the archive, in place and in several steps, so
// the preview often finds them half written. After every reload the scene on
// screen must be a whole one: its frame range, its objects and the object's
// points those of a version that was written whole, and no finding that a
// whole version does not give (a cut JPEG or object says so). Prints
// resident memory over the run and judges its trend (memory_watch.h); PASS
// (exit status 0) when no torn scene was shown and the memory holds.

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "preview/scene_stage.h"
#include "preview/scene_view.h"
#include "archive/pack_file.h"
#include "memory_watch.h"
#include "platform/sdl/sdl_gl_host.h"
#include "render/gl_display_layer.h"
#include "wall_clock_system.h"
#include "system/process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One of the three files, in its two whole versions.
struct Rewritten {
    std::string name;
    zor::Bytes versions[2];
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The author's side, in a process of its own: a file at a time, written in
// place (truncated, then three pieces with pauses of up to 80 ms between
// them), then a rest of 100 to 400 ms. Ends when the soak ends it.
[[noreturn]] void rewriteForever(const fs::path& folder, const std::vector<Rewritten>& files, unsigned seed) {
    std::mt19937 random(seed);
    int version[3] = {0, 0, 0};
    for (;;) {
        const std::size_t which = random() % files.size();
        version[which] ^= 1;
        const zor::Bytes& data = files[which].versions[version[which]];
        const int fd = ::open((folder / files[which].name).c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0644);
        if (fd < 0) _exit(1);
        const std::size_t first = data.size() / 3 + random() % (data.size() / 3 + 1);
        const std::size_t second = first + random() % (data.size() - first + 1);
        writeAll(fd, data.data(), first);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 81));
        writeAll(fd, data.data() + first, second - first);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 81));
        writeAll(fd, data.data() + second, data.size() - second);
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 301));
    }
}

void writeWhole(const fs::path& path, const zor::Bytes& data) {
    zor::WriteFailure failure;
    if (!zor::writeFileByRename(path, data, zor::Replace::Always, failure)) throw std::runtime_error(failure.reason);
}

// What a whole version of the files gives when loaded.
struct Whole {
    std::set<std::int32_t> lastFrames;
    std::set<std::size_t> objectCounts;
    std::set<std::size_t> pointCounts;  // of the rewritten object
    std::set<std::string> findings;
};

std::string baseName(const std::string& name) {
    const std::string file = fs::path(name).filename().string();
    return file.substr(0, file.find('.'));
}

// Why the scene on screen is not one of the whole versions; empty when it is.
std::string torn(const zor::SceneStage& stage, const Whole& whole, const std::string& object, bool accepted) {
    const zor::Scene* scene = stage.scene();
    if (!scene) return "no scene on screen";
    if (!whole.lastFrames.count(scene->lastFrame)) return "last frame " + std::to_string(scene->lastFrame);
    if (!whole.objectCounts.count(scene->objects.size()))
        return std::to_string(scene->objects.size()) + " objects";
    for (const zor::SceneObject& o : scene->objects)
        if (o.name == baseName(object) && !whole.pointCounts.count(o.restPoints.size()))
            return object + " with " + std::to_string(o.restPoints.size()) + " points";
    if (accepted)
        for (const zor::Diagnostic& d : stage.diagnostics().items())
            if (!whole.findings.count(d.text())) return "a finding no whole version gives: " + d.text();
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Reloads the preview while another process rewrites the scene, an object and an image in place; "
                 "checks that no torn scene is ever shown and reports resident memory."};
    long long reloads = 1000;
    std::string demo = ZOR_DEMO_DIR;
    int settle = 60;
    unsigned seed = 1;
    app.add_option("--reloads", reloads, "Reloads to run")->capture_default_str()->check(CLI::PositiveNumber);
    app.add_option("--dir", demo, "Folder holding the sample demo's zor.dat")->capture_default_str();
    app.add_option("--settle", settle, "Seconds before the reading the end is held against")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    std::uint32_t stageSettle = 2 * zor::WatchTiming{}.pollInterval;  // as zor-view
    app.add_option("--stage-settle", stageSettle,
                   "Milliseconds a file must have been still before a load takes it (0: none; shows torn scenes)")
        ->capture_default_str();
    std::string only;
    app.add_option("--only", only, "Rewrite only this one of the three: scene, object or image")
        ->check(CLI::IsMember({"scene", "object", "image"}));
    app.add_option("--seed", seed, "Seed of the writer's choices")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    ::setenv("SDL_VIDEODRIVER", "offscreen", 0);

    const fs::path folder = fs::temp_directory_path() / ("zor-soak-view-" + std::to_string(zor::processId()));
    fs::create_directories(folder);
    std::vector<Rewritten> files;
    try {
        fs::copy_file(fs::path(demo) / "zor.dat", folder / "zor.dat");
        zor::PackFile archive((folder / "zor.dat").string());
        const auto entry = [&](const std::string& name) {
            std::optional<zor::Bytes> bytes = archive.readEntry(name);
            if (!bytes) throw std::runtime_error(name + " is not in " + demo + "/zor.dat");
            return *bytes;
        };
        // The scene, and its first object and the first image beside it in
        // the archive, each with a second whole version: the scene with
        // another last frame, the object and the image with the bytes of
        // another object and image.
        std::vector<std::string> objects, images;
        for (int i = 0; i < archive.entryCount(); ++i) {
            const std::string name = archive.entry(i).name;
            if (name.ends_with(".lwo")) objects.push_back(name);
            if (name.ends_with(".jpg") && name != "skane.jpg") images.push_back(name);
        }
        if (objects.size() < 2 || images.size() < 2) throw std::runtime_error("too few objects or images in zor.dat");
        const zor::Bytes sceneBytes = entry("glorp2.lws");
        const std::string sceneText(sceneBytes.begin(), sceneBytes.end());
        const std::string shorter = std::regex_replace(sceneText, std::regex("LastFrame [0-9]+"), "LastFrame 1000");
        files.push_back({"glorp2.lws", {sceneBytes, zor::Bytes(shorter.begin(), shorter.end())}});
        files.push_back({objects[0], {entry(objects[0]), entry(objects[1])}});
        files.push_back({images[0], {entry(images[0]), entry(images[1])}});
    } catch (const std::exception& e) {
        std::cerr << "soak-view: " << e.what() << '\n';
        fs::remove_all(folder);
        return 1;
    }

    zor::WallClockSystem system;
    std::ostringstream log;
    const zor::GlDisplayOptions hidden{false, false};
    zor::GlDisplayLayer layer(std::make_unique<zor::SdlGlHost>(hidden), hidden);
    zor::StageOptions options;
    options.directory = folder;
    options.width = 320;
    options.height = 240;
    options.settleMilliseconds = stageSettle;
    zor::SceneStage stage(layer, options);
    std::string error;
    if (!stage.start(nullptr, error)) {
        std::cerr << "soak-view: " << error << '\n';
        fs::remove_all(folder);
        return 1;
    }

    // Every whole combination once, for what whole files give.
    Whole whole;
    for (int combination = 0; combination < 8; ++combination) {
        for (std::size_t f = 0; f < files.size(); ++f)
            writeWhole(folder / files[f].name, files[f].versions[(combination >> f) & 1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        const zor::StageLoad load = stage.load();
        if (!load.replaced || !stage.scene()) {
            std::cerr << "soak-view: a whole version does not load: " << load.error << '\n';
            fs::remove_all(folder);
            return 1;
        }
        whole.lastFrames.insert(stage.scene()->lastFrame);
        whole.objectCounts.insert(stage.scene()->objects.size());
        for (const zor::SceneObject& o : stage.scene()->objects)
            if (o.name == baseName(files[1].name)) whole.pointCounts.insert(o.restPoints.size());
        for (const zor::Diagnostic& d : load.diagnostics.items()) whole.findings.insert(d.text());
    }
    for (const Rewritten& f : files) writeWhole(folder / f.name, f.versions[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));

    std::vector<Rewritten> rewritten = files;
    if (!only.empty()) rewritten = {files[only == "scene" ? 0 : only == "object" ? 1 : 2]};
    const pid_t writer = ::fork();
    if (writer == 0) rewriteForever(folder, rewritten, seed);
    if (writer < 0) {
        std::cerr << "soak-view: cannot start the writer\n";
        fs::remove_all(folder);
        return 1;
    }

    zor::SceneView view(zor::ViewServices{system, stage, log}, zor::ViewOptions{});
    view.begin();
    zor::soak::MemoryWatch memory("soak-view", "reloads", reloads, std::chrono::seconds(settle));
    long long accepted = 0, refused = 0, tornShown = 0;
    std::set<std::string> reasons;
    std::uint64_t seen = view.reloads();
    while (static_cast<long long>(view.reloads()) < reloads) {
        view.turn();
        if (view.reloads() == seen) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        seen = view.reloads();
        const bool took = view.lastReloadTook();
        (took ? accepted : refused) += 1;
        if (!took)
            reasons.insert(std::regex_replace(view.loadError().empty() ? std::string("a file was still being written")
                                                                       : view.loadError(),
                                              std::regex("[0-9]+"), "N"));
        if (const std::string why = torn(stage, whole, files[1].name, took); !why.empty()) {
            ++tornShown;
            std::printf("soak-view: reload %llu shows a torn scene: %s\n%s",
                        static_cast<unsigned long long>(seen), why.c_str(), log.str().c_str());
        }
        memory.poll(static_cast<long long>(seen));
        if (seen % 100 == 0)
            std::printf("soak-view: %llu reloads: resident %ld KiB, heap in use %zu KiB\n",
                        static_cast<unsigned long long>(seen), zor::soak::residentNowKiB(), mallinfo2().uordblks / 1024);
        log.str({});
    }
    ::kill(writer, SIGKILL);  // SDL's handler, inherited, would only note a SIGTERM
    ::waitpid(writer, nullptr, 0);
    std::printf("soak-view: %lld reloads: %lld took a whole new scene, %lld kept the last good one; torn scenes "
                "shown: %lld\n",
                accepted + refused, accepted, refused, tornShown);
    for (const std::string& reason : reasons) std::printf("soak-view: kept the last good scene because: %s\n", reason.c_str());
    const bool pass = memory.finish(accepted + refused);
    fs::remove_all(folder);
    return pass && tornShown == 0 ? 0 : 1;
}
